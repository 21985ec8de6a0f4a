#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "kernelcad/core/scan_reader.h"

// VRML text shared by the reader tests, and what the reader says about a text.
namespace reader_text {

inline const std::string kV2 = "#VRML V2.0 utf8\n";
inline const std::string kV1 = "#VRML V1.0 ascii\n";
inline const std::string kTriangle =
    "Shape { geometry IndexedFaceSet { coord Coordinate { point [0 0 0, 1 0 0, 0 1 0] }\n"
    "coordIndex [0 1 2 -1] } }\n";

// The ScanError message, or "" when the read succeeded.
inline std::string ErrorOf(const std::string& text, const std::string& name = "scan.wrl") {
  try {
    kernelcad::ReadScanBuffer(text, name);
  } catch (const kernelcad::ScanError& e) {
    return e.what();
  }
  return "";
}

inline std::string Gzip(const std::string& text) {
  z_stream zs{};
  EXPECT_EQ(deflateInit2(&zs, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&zs, text.size()) + 64, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  zs.avail_in = static_cast<uInt>(text.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

}  // namespace reader_text
