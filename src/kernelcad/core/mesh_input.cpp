#include "kernelcad/core/mesh_input.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "kernelcad/core/file_access.h"
#include "kernelcad/core/vrml_messages.h"

namespace kernelcad::mesh_input {

namespace {

[[noreturn]] void RefuseRepeats(const std::string& file, std::size_t triangles,
                                std::size_t corners) {
  throw ScanError(file + ": its first " + std::to_string(triangles) + " triangles have only " +
                  std::to_string(corners) +
                  " corners, where a scanned surface has about two triangles per corner: the "
                  "file repeats its triangles; refused");
}

}  // namespace
void Fail(const std::string& file, const std::string& place, const std::string& what) {
  throw ScanError(file + ", " + place + ": " + what);
}

void Consumed::Upto(const char* p) {
  // In steps of some megabytes, from the start of the 2 MB block the last step ended in, so
  // that block goes back once the next step covers it whole.
  constexpr std::ptrdiff_t kStep = 8 << 20;
  constexpr std::uintptr_t kBlock = std::uintptr_t{2} << 20;
  if (!owned_ || p - released_ < kStep) return;
  files::ReleasePages(released_, static_cast<std::size_t>(p - released_));
  const auto block = reinterpret_cast<std::uintptr_t>(p) & ~(kBlock - 1);
  released_ = std::max(released_, p - (reinterpret_cast<std::uintptr_t>(p) - block));
}

void TextCursor::Tick() {
  metered_ = p_;
  meter_.At(offset());
  consumed_.Upto(p_);
}

std::string_view TextCursor::Rest() {
  while (p_ != end_ && Blank(*p_)) ++p_;
  const char* e = p_;
  while (e != end_ && *e != '\n') ++e;
  const char* t = e;
  while (t != p_ && Blank(t[-1])) --t;
  return {p_, static_cast<std::size_t>(t - p_)};
}

double TextCursor::GeneralNumber(std::string_view w, const char* what) const {
  if (w.empty()) Fail(std::string("expected ") + what + ", found the end of the line");
  double v = 0;
  const char* s = w.data() + (w.starts_with('+') ? 1 : 0);
  const auto [ptr, ec] = std::from_chars(s, w.data() + w.size(), v);
  if (ptr != w.data() + w.size() || ec == std::errc::invalid_argument)
    Fail(std::string("expected ") + what + ", found " + vrml::Quoted(w));
  if (ec == std::errc::result_out_of_range || !std::isfinite(v))
    Fail("NaN, infinite or out of range value " + vrml::Quoted(w) + " in " + what);
  return v;
}

void TextCursor::OutOfRange(const char* what, double v) const {
  Fail(std::string(what) + " value " + vrml::Quoted(std::to_string(v)) + " is out of range");
}

std::int64_t TextCursor::Integer(const char* what) {
  const std::string_view w = Word();
  std::int64_t v = 0;
  if (!ParseInteger(w, v))
    Fail(std::string("expected ") + what + ", found " +
         (w.empty() ? std::string("the end of the line") : vrml::Quoted(w)));
  return v;
}

void TextCursor::Fail(const std::string& what) const {
  mesh_input::Fail(file_, "line " + std::to_string(line_), what);
}

std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  return out;
}

bool ParseInteger(std::string_view word, std::int64_t& out) {
  std::size_t i = !word.empty() && (word[0] == '-' || word[0] == '+') ? 1 : 0;
  if (i == word.size() || word.size() - i > 10) return false;
  std::int64_t v = 0;
  for (; i < word.size(); ++i) {
    if (word[i] < '0' || word[i] > '9') return false;
    v = v * 10 + (word[i] - '0');
  }
  out = word[0] == '-' ? -v : v;
  return v <= std::numeric_limits<std::uint32_t>::max();
}

void AppendFan(std::vector<std::int32_t>& triangles, const std::int32_t* corners, std::size_t n) {
  for (std::size_t i = 1; i + 1 < n; ++i)
    triangles.insert(triangles.end(), {corners[0], corners[i], corners[i + 1]});
}

void AppendStrip(std::vector<std::int32_t>& triangles, const std::int32_t* corners, std::size_t n) {
  std::size_t start = 0;  // of the strip the corner belongs to
  for (std::size_t i = 0; i < n; ++i) {
    if (corners[i] < 0) {
      start = i + 1;
      continue;
    }
    if (i < start + 2) continue;
    const std::int32_t a = corners[i - 2], b = corners[i - 1], c = corners[i];
    if (a == b || b == c || a == c) continue;
    if ((i - start) % 2 == 0)
      triangles.insert(triangles.end(), {a, b, c});
    else
      triangles.insert(triangles.end(), {b, a, c});
  }
}

void DropUnusedPoints(Mesh& mesh) {
  std::vector<std::int32_t> index(mesh.pointCount(), -1);
  for (const std::int32_t t : mesh.triangles) index[static_cast<std::size_t>(t)] = 0;
  if (std::find(index.begin(), index.end(), -1) == index.end()) return;
  std::int32_t next = 0;
  const bool colored = mesh.hasColors();
  for (std::size_t i = 0; i < index.size(); ++i) {
    if (index[i] < 0) continue;
    const auto to = static_cast<std::size_t>(next);
    for (std::size_t a = 0; a < 3; ++a) {
      mesh.points[3 * to + a] = mesh.points[3 * i + a];
      if (colored) mesh.colors[3 * to + a] = mesh.colors[3 * i + a];
    }
    index[i] = next++;
  }
  mesh.points.resize(3 * static_cast<std::size_t>(next));
  if (colored) mesh.colors.resize(3 * static_cast<std::size_t>(next));
  for (std::int32_t& t : mesh.triangles) t = index[static_cast<std::size_t>(t)];
}

void RequireFewRepeats(const Mesh& mesh, const std::string& file) {
  const std::size_t triangles = mesh.triangleCount();
  if (!TooFewCorners(triangles, mesh.pointCount())) return;
  std::vector<bool> seen(mesh.pointCount());
  std::size_t corners = 0;
  for (std::size_t t = 0; t < triangles; ++t) {
    for (std::size_t c = 3 * t; c < 3 * t + 3; ++c) {
      const auto i = static_cast<std::size_t>(mesh.triangles[c]);
      corners += !seen[i];
      seen[i] = true;
    }
    if (TooFewCorners(t + 1, corners)) RefuseRepeats(file, t + 1, corners);
  }
}

void RequireSurface(const Mesh& mesh, const std::string& file, std::string_view format) {
  if (mesh.triangleCount() == 0)
    throw ScanError(file + ": the file holds no surface geometry (no " + std::string(format) +
                    " faces with three corners or more)");
}

}  // namespace kernelcad::mesh_input
