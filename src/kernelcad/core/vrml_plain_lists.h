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
// plain integers are nearly all of a scan's bytes. A long list is read from both ends at once,
// its back on a thread of its own by these rules alone.
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

// A long list read from both ends at once: the parser reads it from its front, a thread of its
// own takes chunks from its back, and they meet wherever their speeds have brought them, so
// neither waits for the other when the system slows one of them down. The parser takes each
// chunk the other thread read over as it arrives there, as `scan` read it; a chunk that holds
// anything else the parser reads the general way.
template <typename T, typename Run>
class SharedList {
 public:
  using Scan = Run (*)(const char*, const char*, T*, const std::atomic<bool>&);
  explicit SharedList(Scan scan) : scan_(scan) {}
  // A reading that ends early (an error, a cancel) stops the thread first, then waits for it.
  ~SharedList() { stop_ = true; }
  SharedList(const SharedList&) = delete;
  SharedList& operator=(const SharedList&) = delete;

  // For a list of [from, stop), where its ']' is: cuts it into chunks, each starting at the
  // first token of a line, and starts reading them from the back. Says where the parser must
  // first call Arrive(); nullptr when the list is too short to share.
  const char* Start(const char* from, const char* stop) {
    // Below this a thread's start is a noticeable share of the work.
    constexpr std::ptrdiff_t kShareBytes = 8 << 20;
    // Small enough that the side that arrives last waits a fraction of a millisecond.
    constexpr std::ptrdiff_t kChunkBytes = 512 << 10;
    if (stop - from < kShareBytes) return nullptr;
    const std::ptrdiff_t cuts = (stop - from) / kChunkBytes;
    // Allocated here: that thread allocates nothing.
    chunks_ = std::make_unique<Chunk[]>(static_cast<std::size_t>(cuts) + 1);
    // A blank ends each chunk there, never inside a token.
    int n = 1;
    chunks_[0].start = from;
    for (std::ptrdiff_t c = 1; c < cuts; ++c) {
      const char* at = from + (stop - from) / cuts * c;
      if (at <= chunks_[n - 1].start) continue;  // the last chunk's line reached past here
      at = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(stop - at)));
      if (!at) break;
      int lines = 0;  // the chunk before counts these
      at = SkipBlanks(at, stop, lines);
      if (at == stop) break;
      chunks_[n++].start = at;
    }
    if (n < 2) return nullptr;
    count_ = n;
    chunks_[n].start = stop;
    claims_ = Pack(1, n);  // the first chunk is the parser's
    // Room nobody writes to is never touched.
    const std::size_t room =
        static_cast<std::size_t>(stop - chunks_[1].start) / 2 + static_cast<std::size_t>(n);
    out_ = std::make_unique_for_overwrite<T[]>(room);
    files::AdviseHugePages(out_.get(), room * sizeof(T));
    thread_.emplace([this] { ReadFromBack(); });
    next_ = chunks_[1].start;
    return next_;
  }

  // Where the parser must next call Arrive(); nullptr once it reads on to the list's end.
  const char* next() const { return next_; }

  // The parser's reading is at p, at or past next(). Answers a chunk read by the other thread
  // that starts there, for the parser to take over as if it had read it itself (its values in
  // `values`), or nullptr when the parser reads on by itself up to next().
  const Run* Arrive(const char* p, const T*& values) {
    for (;;) {
      if (!joined_) {
        int c = 0;
        if (Claim(true, c)) {
          next_ = c + 1 < count_ ? chunks_[c + 1].start : nullptr;
          if (next_ && p >= next_) continue;  // the parser's general reading went past it
          return nullptr;
        }
        thread_->join();  // the other thread has claimed the rest
        joined_ = true;
        taken_ = static_cast<int>(claims_.load() >> 32);
      }
      if (taken_ == count_) {
        next_ = nullptr;
        return nullptr;
      }
      const Chunk& c = chunks_[taken_++];
      next_ = taken_ < count_ ? chunks_[taken_].start : nullptr;
      if (p == c.start && c.run.plain) {
        values = c.values;
        return &c.run;
      }
      if (!next_ || p < next_) return nullptr;
    }
  }

 private:
  // The chunks not yet claimed are [front, back).
  static std::uint64_t Pack(int front, int back) {
    return static_cast<std::uint64_t>(front) << 32 | static_cast<std::uint32_t>(back);
  }
  // Claims the first chunk not yet claimed for the parser, or the last one for the other thread.
  bool Claim(bool front, int& chunk) {
    std::uint64_t v = claims_.load();
    for (;;) {
      const int f = static_cast<int>(v >> 32), b = static_cast<int>(v & 0xffffffffu);
      if (f >= b) return false;
      chunk = front ? f : b - 1;
      if (claims_.compare_exchange_weak(v, front ? Pack(f + 1, b) : Pack(f, b - 1))) return true;
    }
  }

  // On the other thread: chunks from the back, each one's values after the last one's.
  void ReadFromBack() {
    T* at = out_.get();
    int c = 0;
    while (!stop_.load(std::memory_order_relaxed) && Claim(false, c)) {
      Chunk& k = chunks_[c];
      k.run = scan_(k.start, chunks_[c + 1].start, at, stop_);
      k.values = at;
      at += k.run.count;
    }
  }

  struct Chunk {
    const char* start = nullptr;
    Run run;  // as the other thread read it; not plain when it read nothing
    const T* values = nullptr;
  };

  Scan scan_;
  std::unique_ptr<Chunk[]> chunks_;  // and one more for the list's end
  int count_ = 0;
  std::atomic<std::uint64_t> claims_{0};
  const char* next_ = nullptr;
  bool joined_ = false;
  int taken_ = 0;  // once joined: the next chunk the parser comes to
  std::unique_ptr<T[]> out_;
  std::atomic<bool> stop_{false};
  std::optional<BareThread> thread_;  // last: joined before what it writes to goes
};

}  // namespace kernelcad::vrml
