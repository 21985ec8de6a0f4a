#include "cli/arguments.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "kernelcad/core/text.h"

namespace cli {

namespace {

std::string shortNumber(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", v);
  return text;
}

}  // namespace

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

std::optional<double> number(std::string_view text) {
  text = trim(text);
  double v = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() ||
      !std::isfinite(v))
    return std::nullopt;
  return v;
}

std::optional<kernelcad::Vec3> point(std::string_view text) {
  std::array<double, 3> v{};
  for (std::size_t i = 0; i < v.size(); ++i) {
    const std::size_t comma = i + 1 < v.size() ? text.find(',') : text.size();
    if (comma == std::string_view::npos) return std::nullopt;
    const auto n = number(text.substr(0, comma));
    if (!n) return std::nullopt;
    v[i] = *n;
    text.remove_prefix(std::min(text.size(), comma + 1));
  }
  return kernelcad::Vec3(v[0], v[1], v[2]);
}

std::optional<alignment::Side> parseSide(std::string_view text) {
  if (text == "Left") return alignment::Side::Left;
  if (text == "Right") return alignment::Side::Right;
  return std::nullopt;
}

std::optional<alignment::Axis> parseAxis(std::string_view text) {
  if (text == "Lateral") return alignment::Axis::Lateral;
  if (text == "Medial") return alignment::Axis::Medial;
  return std::nullopt;
}

Units parseUnits(std::string_view text) {
  if (text == "auto") return std::nullopt;
  if (const auto unit = kernelcad::ParseUnit(text)) return unit;
  throw UsageError("--units must be auto, mm, cm, m or in, not \"" + std::string(text) + "\"");
}

ScanInMillimetres readScan(const std::string& path, Units units) {
  ScanInMillimetres read{
      kernelcad::WhileDoing("read " + path, [&] { return kernelcad::ReadScanFile(path); }),
      units.value_or(kernelcad::LengthUnit::Millimetre)};
  const double longest = kernelcad::LongestSide(read.scan.mesh);
  if (!units) {
    read.unit = kernelcad::GuessUnit(longest);
    const std::string mm = std::to_string(int(kernelcad::kPlausibleFootMinMm)) + " to " +
                           std::to_string(int(kernelcad::kPlausibleFootMaxMm)) + " mm";
    std::string why;
    if (kernelcad::PlausibleFootSize(longest))
      why = "a foot's size in millimetres (" + mm + ")";
    else if (read.unit != kernelcad::LengthUnit::Millimetre)
      why = "in " + std::string(kernelcad::UnitName(read.unit)) + " that is " +
            shortNumber(longest * kernelcad::MillimetresPer(read.unit)) + " mm, a foot's size (" +
            mm + ")";
    else
      why = "no unit makes that a foot's size (" + mm + "), so it is kept";
    say("quarnel-scan: " + path + ": --units auto took " +
        std::string(kernelcad::UnitName(read.unit)) + ": the longest side is " +
        shortNumber(longest) + " units, " + why);
  }
  kernelcad::ConvertToMillimetres(read.scan.mesh, read.unit);
  read.longestSideMm = longest * kernelcad::MillimetresPer(read.unit);
  return read;
}

std::string jsonString(std::string_view s) {
  std::string out = "\"";
  for (const char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(c));
          out += buf;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

namespace {

template <typename Number>
std::string shortest(Number v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

}  // namespace

std::string jsonNumber(double v) { return shortest(v); }

std::string jsonNumber(float v) { return shortest(v); }

void say(const std::string& line) {
  const std::string text = kernelcad::EscapeInvalidUtf8(line) + '\n';
  std::fputs(text.c_str(), stderr);
}

}  // namespace cli
