#include "kernelcad/core/vrml_plain_lists.h"

#include <algorithm>

namespace kernelcad::vrml {

namespace {

// How far a run reads between looks at its cancel flag.
constexpr std::ptrdiff_t kPoll = 1 << 20;

// Hands each value from s on to `take(at)`, which reads it and answers its end, or nullptr when
// it is not plain. Stops there, at `stop`, or on a cancel; answers where, counting lines.
template <typename Take>
const char* EachPlainValue(const char* s, const char* stop, int& lines,
                           const std::atomic<bool>& cancelled, Take take) {
  const char* poll = s;
  for (;;) {
    // Between two values on one line stands ", " or " " nearly always: stepped over at once,
    // as a loop over blanks would take most of the time of a value.
    if (s + 2 < stop && !(ClassOf(s[2]) & kSpace) && s[1] == ' ' && s[0] == ',') {
      s += 2;
    } else if (s + 1 < stop && !(ClassOf(s[1]) & kSpace) && s[0] == ' ') {
      s += 1;
    } else {
      s = SkipBlanks(s, stop, lines);
      if (s >= stop) return s;
    }
    if (s >= poll) {
      if (cancelled.load(std::memory_order_relaxed)) return s;
      poll = s + kPoll;
    }
    const char* e = take(s);
    if (!e) return s;
    s = e;
  }
}

}  // namespace

IndexRun ScanPlainIndices(const char* s, const char* stop, std::int32_t* out,
                          const std::atomic<bool>& cancelled) {
  IndexRun r;
  std::int64_t run = 0;
  r.end = EachPlainValue(s, stop, r.lines, cancelled, [&](const char* at) {
    std::int32_t i;
    const char* e = PlainIndex(at, i);
    if (!e) return e;
    out[r.count++] = i;
    if (i >= 0) {
      ++run;
      if (i > r.maxIndex) {
        r.maxIndex = i;
        r.maxIndexLine = r.lines;
      }
      return e;
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
    return e;
  });
  if (r.faceEnded)
    r.tail = run;
  else
    r.lead = run;
  r.plain = r.end >= stop;
  return r;
}

NumberRun ScanPlainNumbers(const char* s, const char* stop, float* out,
                           const std::atomic<bool>& cancelled) {
  NumberRun r;
  r.end = EachPlainValue(s, stop, r.lines, cancelled, [&](const char* at) {
    const char* e = PlainSingle(at, out[r.count]);
    r.count += e != nullptr;
    return e;
  });
  r.plain = r.end >= stop;
  return r;
}

}  // namespace kernelcad::vrml
