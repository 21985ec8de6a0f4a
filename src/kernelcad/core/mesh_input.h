#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "kernelcad/core/mesh.h"
#include "kernelcad/core/plain_decimal.h"
#include "kernelcad/core/scan_meter.h"

// What the STL, OBJ and PLY readers share: walking text line by line with its line number,
// numbers checked as the VRML reader checks them, polygons cut into triangles.
namespace kernelcad::mesh_input {

// "file, place: what", the form of every message of the readers.
[[noreturn]] void Fail(const std::string& file, const std::string& place, const std::string& what);

// A buffer read from start to end whose memory goes back to the system as the reader moves
// through it, when the buffer is the reader's own (files::ReleasePages): the mesh grows while the
// file shrinks, so a load peaks near the larger of the two rather than at their sum.
class Consumed {
 public:
  Consumed(const char* begin, bool owned) : released_(begin), owned_(owned) {}
  // Everything before `p` is read and never looked at again.
  void Upto(const char* p);

 private:
  const char* released_;  // from here on nothing has been given back
  bool owned_;
};

// A text format read line by line. Lines end in "\n" or "\r\n"; blanks are spaces and tabs.
class TextCursor {
 public:
  // `owned`: the text is the reader's own, to give back as it is read (Consumed). `firstLine`:
  // the line the text starts on in its file.
  TextCursor(std::string_view text, const std::string& file, Meter& meter, bool owned,
             int firstLine = 1)
      : begin_(text.data()),
        p_(text.data()),
        end_(text.data() + text.size()),
        file_(file),
        meter_(meter),
        consumed_(text.data(), owned),
        line_(firstLine) {}

  bool AtEnd() const { return p_ == end_; }
  int line() const { return line_; }
  std::size_t offset() const { return static_cast<std::size_t>(p_ - begin_); }

  // The next word of this line; empty at the line's end.
  std::string_view Word() {
    while (p_ != end_ && Blank(*p_)) ++p_;
    const char* s = p_;
    while (p_ != end_ && *p_ != '\n' && !Blank(*p_)) ++p_;
    return {s, static_cast<std::size_t>(p_ - s)};
  }
  // Past the end of this line, whatever is left on it. Reports progress now and then.
  void NextLine() {
    const void* nl = std::memchr(p_, '\n', static_cast<std::size_t>(end_ - p_));
    p_ = nl ? static_cast<const char*>(nl) + 1 : end_;
    ++line_;
    if (!metered_ || p_ - metered_ >= kMeterStep) Tick();
  }
  // Past lines that hold nothing but blanks, up to the next one that holds something.
  void SkipBlankLines() {
    for (;;) {
      const char* q = p_;
      while (q != end_ && Blank(*q)) ++q;
      if (q != end_ && *q != '\n') return;
      p_ = q;
      if (q == end_) return;
      NextLine();
    }
  }
  // What is left of this line, without the blanks around it; stays on the line.
  std::string_view Rest();
  // The next word as a coordinate in single precision: NaN, infinities and numbers beyond
  // single precision are refused with the line, as is a missing or malformed number.
  float Coordinate(const char* what) {
    const double v = Number(what);
    if (std::abs(v) > std::numeric_limits<float>::max()) OutOfRange(what, v);
    return static_cast<float>(v);
  }
  // The next word as a whole number (a sign allowed), refused beyond 32 bits.
  std::int64_t Integer(const char* what);
  // The next word as any number; refused when missing, malformed or not finite.
  double Number(const char* what) {
    const std::string_view w = Word();
    const char* end = w.data() + w.size();
    double v = 0;
    // A word that ends before the text does ends in a blank or a line end, where the fast path
    // stops.
    if (!w.empty() && end != end_ && PlainDecimal(w.data(), v) == end) return v;
    return GeneralNumber(w, what);
  }

  [[noreturn]] void Fail(const std::string& what) const;

 private:
  // Progress is told every megabyte: often enough for a bar, rarely enough to cost nothing.
  static constexpr std::ptrdiff_t kMeterStep = std::ptrdiff_t{1} << 20;

  static bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }
  void Tick();
  double GeneralNumber(std::string_view w, const char* what) const;
  [[noreturn]] void OutOfRange(const char* what, double v) const;

  const char* begin_;
  const char* p_;
  const char* end_;
  const char* metered_ = nullptr;
  const std::string& file_;
  Meter& meter_;
  Consumed consumed_;
  int line_ = 1;
};

// `s` with its ASCII capitals in lower case, whatever the locale: file names' extensions and the
// keywords of text formats.
std::string AsciiLower(std::string_view s);

// The text after a UTF-8 byte order mark, which some Windows programs write before the first
// line of a text format; the text itself where it has none.
inline std::string_view WithoutByteOrderMark(std::string_view text) {
  return text.starts_with("\xEF\xBB\xBF") ? text.substr(3) : text;
}

// A word as a whole number with an optional sign, or false when it is anything else or is
// beyond 32 bits.
bool ParseInteger(std::string_view word, std::int64_t& out);

// A polygon's corners fan-triangulated onto `triangles`: (0, i, i + 1). Fewer than three corners
// draw nothing.
void AppendFan(std::vector<std::int32_t>& triangles, const std::int32_t* corners, std::size_t n);

// A triangle strip's corners a b c d e ... cut into triangles all turned as the first one:
// (a, b, c), (c, b, d), (c, d, e), ... A negative corner ends one strip and
// starts the next; triangles with a repeated corner (the strip's turns) draw nothing.
void AppendStrip(std::vector<std::int32_t>& triangles, const std::int32_t* corners, std::size_t n);

// Drops the points no triangle uses (and their colours), numbering the rest in order, as the
// VRML reader does: a scan's stray points would only stretch its bounds.
void DropUnusedPoints(Mesh& mesh);

// A scanned surface has about two triangles per corner (a closed one 2 V - 4), so triangles that
// far outnumber their corners repeat one another: one triangle copied a million times draws no
// more than itself, yet every frame and every measurement would go through all the copies. A
// few repeats are let be.
inline bool TooFewCorners(std::size_t triangles, std::size_t corners) {
  return triangles > 8 * corners + 10'000;
}
// Refuses a mesh whose triangles repeat, named where they begin to.
void RequireFewRepeats(const Mesh& mesh, const std::string& file);

// Refuses a file whose mesh has no triangle, as the VRML reader refuses one without a surface.
void RequireSurface(const Mesh& mesh, const std::string& file, std::string_view format);

}  // namespace kernelcad::mesh_input
