#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>

#include "kernelcad/core/bare_thread.h"
#include "kernelcad/core/file_access.h"
#include "kernelcad/core/plain_decimal.h"
#include "kernelcad/core/vrml_chars.h"

// The fast path of a scan's long lists: point coordinates in plain decimals and face indices in
// plain integers are nearly all of a scan's bytes. A long list is read in two halves at once,
// the second on a thread of its own by these rules alone.
namespace kernelcad::vrml {

// A plain index at s: an optional minus and one to nine digits, then a blank or the list's ']'.
// Returns its end, or nullptr when the text needs the general parser (longer numbers, anything
// malformed).
inline const char* PlainIndex(const char* s, std::int32_t& out) {
  const bool minus = *s == '-';
  s += minus;
  if (static_cast<unsigned char>(*s - '0') >= 10) return nullptr;
  std::uint32_t v = 0;
  const char* first = s;
  while (static_cast<unsigned char>(*s - '0') < 10 && s - first < 9)
    v = v * 10 + static_cast<std::uint32_t>(*s++ - '0');
  if (!(ClassOf(*s) & kSpace) && *s != ']') return nullptr;
  out = minus ? -static_cast<std::int32_t>(v) : static_cast<std::int32_t>(v);
  return s;
}

// A plain number at s as PlainDecimal reads it, ending where a word cannot go on.
inline const char* PlainSingle(const char* s, float& out) {
  double v;  // below 2^53: within single precision's range
  const char* e = PlainDecimal(s, v);
  if (!e || (ClassOf(*e) & kWord)) return nullptr;  // exponents, long mantissas, malformed
  out = static_cast<float>(v);
  return e;
}

// What a run of plain face indices holds, read apart from the rest of its list; lines and
// positions count from the start of the run. A face that begins before the run (its `lead`
// indices) or goes on after it (its `tail`) is completed by the caller.
struct IndexRun {
  const char* end = nullptr;  // where reading stopped: the run's end, or what is not plain
  bool plain = false;         // the whole run was plain indices and blanks, up to its end
  std::size_t count = 0;
  int lines = 0;
  bool faceEnded = false;  // it holds a face end (a negative index)
  std::int64_t lead = 0, tail = 0;
  std::int64_t triangles = 0;  // of the faces wholly inside
  bool onlyTriangles = true;   // those faces are all triangles
  std::int32_t maxIndex = -1, minIndex = -1;
  int maxIndexLine = 0, minIndexLine = 0;
};

// A run of plain numbers read the same way.
struct NumberRun {
  const char* end = nullptr;
  bool plain = false;
  std::size_t count = 0;
  int lines = 0;
};

// Read the values from s up to `stop`: blanks and plain values alone, into `out`, which has room
// for one value per two bytes and one more. A value that begins before `stop` is read to its
// end, so `stop` must lie at or before the list's ']'. Anything else (a comment, a longer
// number, a stray character) ends the run there, and the caller reads on the general way. They
// look at `cancelled` every megabyte and give up when it is set.
IndexRun ScanPlainIndices(const char* s, const char* stop, std::int32_t* out,
                          const std::atomic<bool>& cancelled);
NumberRun ScanPlainNumbers(const char* s, const char* stop, float* out,
                           const std::atomic<bool>& cancelled);

// For runs read where nobody cancels them.
inline const std::atomic<bool> kNoCancel{false};

// The second half of a long list, read on a thread of its own while the parser reads the first.
// The parser takes it over when its own reading arrives where the half starts, as `scan` read
// it; when the half holds anything else, the parser reads it the general way.
template <typename T, typename Run>
class SecondHalf {
 public:
  using Scan = Run (*)(const char*, const char*, T*, const std::atomic<bool>&);
  explicit SecondHalf(Scan scan) : scan_(scan) {}
  // A reading that ends early (an error, a cancel) stops the thread first, then waits for it.
  ~SecondHalf() { stop_ = true; }
  SecondHalf(const SecondHalf&) = delete;
  SecondHalf& operator=(const SecondHalf&) = delete;

  // For a list of [from, stop), where its ']' is: starts reading from the first token of a line
  // past its middle, and says where that is; nullptr when the list is too short to split.
  const char* Start(const char* from, const char* stop) {
    // Below this a thread's start is a noticeable share of the work.
    constexpr std::ptrdiff_t kSplitBytes = 8 << 20;
    if (stop - from < kSplitBytes) return nullptr;
    // The parser's part is a little shorter: it also gathers its values into the list, and
    // takes the second part's over at the end. (Measured on a 1M-vertex scan: parts of 45 and
    // 55 % read 3 ms sooner than halves, 42 and 58 % 1 ms.) A blank ends the first part there,
    // never inside a token.
    const char* mid = from + (stop - from) * 45 / 100;
    mid = static_cast<const char*>(std::memchr(mid, '\n', static_cast<std::size_t>(stop - mid)));
    if (!mid) return nullptr;
    int lines = 0;  // the first half's reading counts these
    start_ = SkipBlanks(mid, stop, lines);
    if (start_ == stop) return nullptr;
    end_ = stop;
    // Allocated here: that thread allocates nothing. Room nobody writes to is never touched.
    const std::size_t room = static_cast<std::size_t>(stop - start_) / 2 + 1;
    out_ = std::make_unique_for_overwrite<T[]>(room);
    files::AdviseHugePages(out_.get(), room * sizeof(T));
    thread_.emplace([this] { run_ = scan_(start_, end_, out_.get(), stop_); });
    return start_;
  }

  // Waits for the half to be read.
  const Run& Join() {
    thread_->join();
    return run_;
  }
  const T* values() const { return out_.get(); }
  const char* start() const { return start_; }
  const char* end() const { return end_; }

 private:
  Scan scan_;
  const char* start_ = nullptr;
  const char* end_ = nullptr;
  std::unique_ptr<T[]> out_;
  Run run_;
  std::atomic<bool> stop_{false};
  std::optional<BareThread> thread_;  // last: joined before what it writes to goes
};

}  // namespace kernelcad::vrml
