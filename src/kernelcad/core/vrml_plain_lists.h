#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>

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
// malformed). It reads on while it sees digits, so the text must end in something else.
inline const char* PlainIndex(const char* s, std::int32_t& out) {
  const bool minus = *s == '-';
  s += minus;
  std::uint64_t v = 0;  // wraps past 19 digits, far past the nine taken
  const char* first = s;
  while (static_cast<unsigned char>(*s - '0') < 10)
    v = v * 10 + static_cast<std::uint64_t>(*s++ - '0');
  if (s == first || s - first > 9 || (!(ClassOf(*s) & kSpace) && *s != ']')) return nullptr;
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
// own finds its end and takes chunks from its back, and they meet wherever their speeds have
// brought them, so neither waits for the other when the system slows one of them down. The
// parser takes each chunk the other thread read over as it arrives there, as `scan` read it; a
// chunk that holds anything else the parser reads the general way.
template <typename T, typename Run>
class SharedList {
 public:
  using Scan = Run (*)(const char*, const char*, T*, const std::atomic<bool>&);
  // Lists shorter than this are read by the parser alone: a thread's start would be a
  // noticeable share of the work. No ']' lies this near the start of a list to be shared.
  static constexpr std::ptrdiff_t kShareBytes = 8 << 20;

  explicit SharedList(Scan scan) : scan_(scan) {}
  // A reading that ends early (an error, a cancel) stops the thread first, then waits for it.
  ~SharedList() { stop_ = true; }
  SharedList(const SharedList&) = delete;
  SharedList& operator=(const SharedList&) = delete;

  // For a list from `from` on, with no ']' before from + kShareBytes, in a text that ends at
  // `textEnd`: starts the other thread, and says where the parser's first chunk ends, which is
  // where it must first call Arrive(); nullptr when the list cannot be shared.
  const char* Start(const char* from, const char* textEnd) {
    if (textEnd - from < kShareBytes) return nullptr;
    // The parser's chunk ends at the first token of a line past half the length: a blank ends
    // each chunk there, never inside a token.
    const char* half = from + kShareBytes / 2;
    const char* nl = static_cast<const char*>(
        std::memchr(half, '\n', static_cast<std::size_t>(kShareBytes / 2)));
    if (!nl) return nullptr;
    int lines = 0;  // the chunk before counts these
    const char* first = SkipBlanks(nl, from + kShareBytes, lines);
    if (first == from + kShareBytes) return nullptr;
    // Allocated here for the longest list the text can hold: that thread allocates nothing.
    // Room nobody writes to is never touched.
    const auto most = static_cast<std::size_t>((textEnd - first) / kChunkBytes) + 2;
    chunks_ = std::make_unique<Chunk[]>(most + 1);
    chunks_[0].start = from;
    chunks_[1].start = first;
    const std::size_t room = static_cast<std::size_t>(textEnd - first) / 2 + most;
    out_ = std::make_unique_for_overwrite<T[]>(room);
    files::AdviseHugePages(out_.get(), room * sizeof(T));
    textEnd_ = textEnd;
    thread_.emplace([this] {
      if (Cut()) ReadFromBack();
    });
    next_ = first;
    return next_;
  }

  // Where the parser must next call Arrive(); nullptr once it reads on to the list's end.
  const char* next() const { return next_; }
  // The list's ']' as the other thread found it, once the parser has arrived; nullptr when the
  // text holds none.
  const char* end() const { return end_; }

  // The parser's reading is at p, at or past next(). Answers a chunk read by the other thread
  // that starts there, for the parser to take over as if it had read it itself (its values in
  // `values`), or nullptr when the parser reads on by itself up to next().
  const Run* Arrive(const char* p, const T*& values) {
    if (!cut_) {
      // That thread finds the end in the time this one reads its chunk; when no thread could
      // be had, the work is done here.
      while (thread_->running() && !cutDone_.load(std::memory_order_acquire))
        std::this_thread::yield();
      if (!cutDone_.load(std::memory_order_acquire)) Join();
      cut_ = true;
    }
    for (;;) {
      if (!joined_) {
        int c = 0;
        if (Claim(true, c)) {
          next_ = c + 1 < count_ ? chunks_[c + 1].start : nullptr;
          if (next_ && p >= next_) continue;  // the parser's general reading went past it
          return nullptr;
        }
        Join();  // the other thread has claimed the rest
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
  // Small enough that the side that arrives last waits a fraction of a millisecond.
  static constexpr std::ptrdiff_t kChunkBytes = 512 << 10;

  // On the other thread: finds the list's end and cuts the rest of the list into chunks, each
  // starting at the first token of a line. False when there is nothing to share.
  bool Cut() {
    const char* from = chunks_[0].start + kShareBytes;
    end_ =
        static_cast<const char*>(std::memchr(from, ']', static_cast<std::size_t>(textEnd_ - from)));
    int n = 1;  // the parser's chunk
    if (end_) {
      const char* first = chunks_[1].start;
      const std::ptrdiff_t cuts = (end_ - first) / kChunkBytes + 1;
      n = 2;
      for (std::ptrdiff_t c = 1; c < cuts; ++c) {
        const char* at = first + (end_ - first) / cuts * c;
        if (at <= chunks_[n - 1].start) continue;  // the last chunk's line reached past here
        at = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end_ - at)));
        if (!at) break;
        int lines = 0;
        at = SkipBlanks(at, end_, lines);
        if (at == end_) break;
        chunks_[n++].start = at;
      }
      chunks_[n].start = end_;
    }
    count_ = n;
    claims_ = Pack(1, n);
    cutDone_.store(true, std::memory_order_release);
    return n > 1;
  }

  void Join() {
    thread_->join();
    joined_ = true;
    taken_ = static_cast<int>(claims_.load() >> 32);
  }

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
  const char* textEnd_ = nullptr;
  // Written by the other thread before cutDone_, read by the parser after it.
  std::unique_ptr<Chunk[]> chunks_;  // and one more for the list's end
  int count_ = 0;
  const char* end_ = nullptr;
  std::atomic<bool> cutDone_{false};
  std::atomic<std::uint64_t> claims_{0};
  // The parser's own.
  const char* next_ = nullptr;
  bool cut_ = false;
  bool joined_ = false;
  int taken_ = 0;  // once joined: the next chunk the parser comes to
  std::unique_ptr<T[]> out_;
  std::atomic<bool> stop_{false};
  std::optional<BareThread> thread_;  // last: joined before what it writes to goes
};

}  // namespace kernelcad::vrml
