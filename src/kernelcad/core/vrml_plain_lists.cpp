#include "kernelcad/core/vrml_plain_lists.h"

#include <algorithm>

namespace kernelcad::vrml {

namespace {

// How far a run reads between looks at its cancel flag.
constexpr std::ptrdiff_t kPoll = 1 << 20;

}  // namespace

IndexRun ScanPlainIndices(const char* s, const char* stop, std::int32_t* out,
                          const std::atomic<bool>& cancelled) {
  IndexRun r;
  std::int64_t run = 0;
  const char* poll = s;
  for (;;) {
    s = SkipBlanks(s, stop, r.lines);
    if (s >= stop) break;
    if (s >= poll) {
      if (cancelled.load(std::memory_order_relaxed)) break;
      poll = s + kPoll;
    }
    std::int32_t i;
    const char* e = PlainIndex(s, i);
    if (!e) break;
    s = e;
    out[r.count++] = i;
    if (i >= 0) {
      ++run;
      if (i > r.maxIndex) {
        r.maxIndex = i;
        r.maxIndexLine = r.lines;
      }
      continue;
    }
    if (!r.faceEnded) {
      r.lead = run;
      r.faceEnded = true;
    } else {
      r.triangles += std::max<std::int64_t>(run - 2, 0);
      r.onlyTriangles = r.onlyTriangles && run == 3;
    }
    run = 0;
    if (i < r.minIndex) {
      r.minIndex = i;
      r.minIndexLine = r.lines;
    }
  }
  if (r.faceEnded)
    r.tail = run;
  else
    r.lead = run;
  r.end = s;
  r.plain = s >= stop;
  return r;
}

NumberRun ScanPlainNumbers(const char* s, const char* stop, float* out,
                           const std::atomic<bool>& cancelled) {
  NumberRun r;
  const char* poll = s;
  for (;;) {
    s = SkipBlanks(s, stop, r.lines);
    if (s >= stop) break;
    if (s >= poll) {
      if (cancelled.load(std::memory_order_relaxed)) break;
      poll = s + kPoll;
    }
    const char* e = PlainSingle(s, out[r.count]);
    if (!e) break;
    s = e;
    ++r.count;
  }
  r.end = s;
  r.plain = s >= stop;
  return r;
}

}  // namespace kernelcad::vrml
