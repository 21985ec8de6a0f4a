#include "kernelcad/core/file_access.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <optional>
#include <system_error>
#include <utility>

#include "kernelcad/core/bare_thread.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace kernelcad::files {

namespace {

// Largest single read: both systems take at least this much in one call.
constexpr std::size_t kMaxReadCall = std::size_t{1} << 30;

}  // namespace

#ifdef _WIN32

namespace {

[[noreturn]] void ThrowLastError() {
  throw FileError(std::system_category().message(static_cast<int>(GetLastError())));
}

[[noreturn]] void ThrowCode(int error) { throw FileError(std::system_category().message(error)); }

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                    static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0) throw FileError("the file name is not valid UTF-8");
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
  return w;
}

}  // namespace

ReadOnlyFile::ReadOnlyFile(const std::string& path) : handle_(INVALID_HANDLE_VALUE) {
  const std::wstring name = Wide(path);
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) ThrowLastError();
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) {
    throw FileError("not a regular file");
  }
  // Others may go on reading, writing or deleting it: a scan being copied must not be locked.
  handle_ = CreateFileW(name.c_str(), GENERIC_READ,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle_ == INVALID_HANDLE_VALUE) ThrowLastError();
  if (GetFileType(handle_) != FILE_TYPE_DISK) {
    CloseHandle(handle_);
    throw FileError("not a regular file");
  }
  size_ = CurrentSize();
}

ReadOnlyFile::~ReadOnlyFile() { CloseHandle(handle_); }

std::uint64_t ReadOnlyFile::CurrentSize() const {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(handle_, &size)) ThrowLastError();
  return static_cast<std::uint64_t>(size.QuadPart);
}

std::size_t ReadOnlyFile::ReadAt(char* into, std::size_t n, std::uint64_t at,
                                 int& error) const noexcept {
  OVERLAPPED where{};
  where.Offset = static_cast<DWORD>(at);
  where.OffsetHigh = static_cast<DWORD>(at >> 32);
  DWORD got = 0;
  if (!ReadFile(handle_, into, static_cast<DWORD>(std::min(n, kMaxReadCall)), &got, &where)) {
    const DWORD code = GetLastError();
    if (code != ERROR_HANDLE_EOF) error = static_cast<int>(code);
    return 0;
  }
  return got;
}

// Windows has no such advice for memory from the heap; only the peak of a load differs.
void AdviseHugePages(const void*, std::size_t) {}
void ReleasePages(const void*, std::size_t) {}

#else

namespace {

[[noreturn]] void ThrowCode(int error) { throw FileError(std::generic_category().message(error)); }

[[noreturn]] void ThrowErrno() { ThrowCode(errno); }

}  // namespace

ReadOnlyFile::ReadOnlyFile(const std::string& path) : fd_(-1) {
  // Opening a FIFO for reading waits for a writer: look before opening, and open without
  // blocking in case the name was swapped for one in between.
  struct stat before {};
  if (::stat(path.c_str(), &before) != 0) ThrowErrno();
  if (!S_ISREG(before.st_mode)) throw FileError("not a regular file");
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd_ < 0) ThrowErrno();
  struct stat opened {};
  if (::fstat(fd_, &opened) != 0 || !S_ISREG(opened.st_mode)) {
    ::close(fd_);
    throw FileError("not a regular file");
  }
  size_ = static_cast<std::uint64_t>(opened.st_size);
  ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

ReadOnlyFile::~ReadOnlyFile() { ::close(fd_); }

std::uint64_t ReadOnlyFile::CurrentSize() const {
  struct stat now {};
  if (::fstat(fd_, &now) != 0) ThrowErrno();
  return static_cast<std::uint64_t>(now.st_size);
}

std::size_t ReadOnlyFile::ReadAt(char* into, std::size_t n, std::uint64_t at,
                                 int& error) const noexcept {
  for (;;) {
    const ssize_t got = ::pread(fd_, into, std::min(n, kMaxReadCall), static_cast<off_t>(at));
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) {
      error = errno;
      return 0;
    }
  }
}

namespace {

// The 2 MB blocks wholly inside [data, data + bytes), as (start, length); length 0 when none.
std::pair<void*, std::size_t> HugeBlocks(const void* data, std::size_t bytes) {
  constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
  const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kHuge - 1);
  if (!data || end <= begin) return {nullptr, 0};
  return {reinterpret_cast<void*>(begin), end - begin};
}

}  // namespace

void AdviseHugePages(const void* data, std::size_t bytes) {
  const auto [start, length] = HugeBlocks(data, bytes);
  if (length) ::madvise(start, length, MADV_HUGEPAGE);
}

void ReleasePages(const void* data, std::size_t bytes) {
  const auto [start, length] = HugeBlocks(data, bytes);
  if (length) ::madvise(start, length, MADV_DONTNEED);
}

#endif

namespace {

constexpr std::uint64_t kChunk = std::uint64_t{4} << 20;  // a millisecond or two per read

FileError Shrank(std::uint64_t from, std::uint64_t to) {
  return FileError("the file shrank from " + std::to_string(from) + " to " + std::to_string(to) +
                   " bytes while it was read (is it still being written?)");
}

}  // namespace

void ReadOnlyFile::ReadExactly(char* into, std::size_t n, std::uint64_t at) const {
  for (std::size_t filled = 0; filled < n;) {
    int error = 0;
    const std::size_t got = ReadAt(into + filled, n - filled, at + filled, error);
    if (error) ThrowCode(error);
    if (got == 0) throw Shrank(size_, at + filled);
    filled += got;
  }
}

void ReadOnlyFile::CheckUnchanged() const {
  char more;
  int error = 0;
  if (ReadAt(&more, 1, size_, error) != 0 || error || CurrentSize() != size_) {
    throw FileError("the file changed size while it was read (" + std::to_string(size_) +
                    " bytes when opened, " + std::to_string(CurrentSize()) +
                    " now; is it still being written?)");
  }
}

void ReadOnlyFile::ReadAll(char* into, const std::function<void(std::uint64_t)>& progress,
                           std::uint64_t from) {
  // Copying from the system's cache is as fast as one core moves memory: a second thread
  // copying the back half took a 100 MB scan's read from 18 ms to 12 ms.
  constexpr std::uint64_t kSplit = std::uint64_t{16} << 20;
  const std::uint64_t mid =
      size_ - from >= kSplit ? from + ((size_ - from) / 2 & ~std::uint64_t{4095}) : size_;
  std::atomic<std::uint64_t> back{0};  // bytes of the back half read so far
  std::atomic<bool> stop{false};
  std::uint64_t backEnd = size_;  // where the back half found the file's end
  int backError = 0;
  {
    std::optional<BareThread> second;
    if (mid < size_) {
      second.emplace([&] {
        for (std::uint64_t at = mid; at < size_ && !stop.load(std::memory_order_relaxed);) {
          const std::size_t got = ReadAt(
              into + at, static_cast<std::size_t>(std::min(kChunk, size_ - at)), at, backError);
          if (got == 0) {
            backEnd = at;
            return;
          }
          at += got;
          back += got;
        }
      });
    }
    // Declared after the thread, so an early end (a cancel, an error) stops it before waiting.
    struct StopOnExit {
      std::atomic<bool>& stop;
      ~StopOnExit() { stop = true; }
    } stopOnExit{stop};
    for (std::uint64_t at = from; at < mid;) {
      const std::size_t want = static_cast<std::size_t>(std::min(kChunk, mid - at));
      ReadExactly(into + at, want, at);
      at += want;
      progress(at + back.load(std::memory_order_relaxed));
    }
    if (second) second->join();
  }
  if (backError) ThrowCode(backError);
  if (backEnd != size_) throw Shrank(size_, backEnd);
  progress(size_);
  CheckUnchanged();
}

void ReadOnlyFile::ReadInPieces(const std::function<std::span<char>(std::uint64_t)>& room,
                                const std::function<void(std::uint64_t)>& read,
                                std::uint64_t from) {
  for (std::uint64_t got = from; got < size_; read(got)) {
    const std::span<char> to = room(got);
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(to.size(), size_ - got));
    ReadExactly(to.data(), want, got);
    got += want;
  }
  CheckUnchanged();
}

HeapWarmer::~HeapWarmer() {
  for (auto block = blocks_.rbegin(); block != blocks_.rend(); ++block) std::free(*block);
}

bool HeapWarmer::Step() {
  // Below the size the heap hands to mappings of their own, which go back to the system when
  // freed; a millisecond or two of touching at a time.
  constexpr std::size_t kBlock = std::size_t{8} << 20;
  constexpr std::size_t kPage = 4096;
  if (left_ == 0) return false;
  const std::size_t bytes = std::min(left_, kBlock);
  auto* block = static_cast<volatile char*>(std::malloc(bytes));
  if (!block) {
    left_ = 0;
    return false;
  }
  blocks_.push_back(const_cast<char*>(block));
  for (std::size_t i = 0; i < bytes; i += kPage) block[i] = 0;
  left_ -= bytes;
  return left_ != 0;
}

}  // namespace kernelcad::files
