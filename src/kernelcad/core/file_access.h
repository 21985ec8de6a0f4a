#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

// The one place that talks to the operating system's files and memory, for POSIX systems and
// for Windows; everything else in the core is portable C++.
namespace kernelcad::files {

// A file could not be opened or read. The message is the reason alone; callers add the name.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A regular file opened for reading. Anything else that carries a file's name (a FIFO, a
// device, a folder) is refused before it is opened, and the file is opened without blocking
// and checked again once open, so a name swapped in between cannot make the open wait forever.
class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::string& path);  // UTF-8 on Windows; throws FileError
  ~ReadOnlyFile();
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  std::uint64_t size() const { return size_; }  // when it was opened

  // Reads the file from offset `from` to its end, size() bytes in all, into `into + from`,
  // telling `progress` the bytes read so far, counted from the start, every few megabytes (it may
  // throw to stop). A large file is read in two halves at once. A file that shrinks or grows
  // meanwhile (a copy still in progress) throws FileError.
  void ReadAll(char* into, const std::function<void(std::uint64_t)>& progress,
               std::uint64_t from = 0);

  // Reads the file from offset `from` on in pieces: `room(got)` says where the bytes from offset
  // `got` go and how many may (at least one), and once that room is full, or the file ends,
  // `read(got)` is told the bytes read so far (it may throw to stop). For a file read as it
  // goes, never whole in memory. Throws FileError as ReadAll does.
  void ReadInPieces(const std::function<std::span<char>(std::uint64_t)>& room,
                    const std::function<void(std::uint64_t)>& read, std::uint64_t from = 0);

  // Fills `into` with the n bytes from offset `at`; throws FileError when the file ends first.
  void ReadExactly(char* into, std::size_t n, std::uint64_t at) const;

 private:
  std::uint64_t CurrentSize() const;
  // Up to n bytes from offset `at`; 0 at the end, or on an error, whose code goes to `error`.
  // Safe to call from two threads at once.
  std::size_t ReadAt(char* into, std::size_t n, std::uint64_t at, int& error) const noexcept;
  // Throws FileError when the file is no longer size() bytes long.
  void CheckUnchanged() const;
#ifdef _WIN32
  void* handle_;
#else
  int fd_;
#endif
  std::uint64_t size_ = 0;
};

// Asks the system to back the aligned interior of a large block with 2 MB pages where it can:
// faulting memory in 4 KB pages costs as much as parsing hundreds of numbers per page. Memory
// outside the block is left alone.
void AdviseHugePages(const void* data, std::size_t bytes);

// Gives the memory of the 2 MB blocks that lie wholly inside [data, data + bytes) back to the
// system; they read as zeros afterwards. For text already parsed, so a load's memory does not
// hold the text and everything parsed from it at once.
void ReleasePages(const void* data, std::size_t bytes);

// Memory of the calling thread's heap touched ahead, a block per step, and handed back to the
// heap when the warmer goes. The system zeroes memory on its first touch, and on a virtual
// machine that can be half of a large scan's first frame; a thread that would only wait (the
// user-interface thread while a scan is read) takes that cost for what it allocates next. It
// pays where the heap keeps what is freed, as the program's heap settings make glibc's do;
// elsewhere it only costs the touching.
class HeapWarmer {
 public:
  explicit HeapWarmer(std::size_t bytes) : left_(bytes) {}
  ~HeapWarmer();
  HeapWarmer(const HeapWarmer&) = delete;
  HeapWarmer& operator=(const HeapWarmer&) = delete;

  // Touches one more block; false once all of them are, or when memory runs short.
  bool Step();

 private:
  std::size_t left_;
  std::vector<void*> blocks_;
};

}  // namespace kernelcad::files
