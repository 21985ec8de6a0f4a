#pragma once

#include <string>

#include "kernelcad/core/vrml_reader.h"

// VRML text shared by the reader tests, and what the reader says about a text.
namespace reader_text {

inline const std::string kV2 = "#VRML V2.0 utf8\n";
inline const std::string kV1 = "#VRML V1.0 ascii\n";
inline const std::string kTriangle =
    "Shape { geometry IndexedFaceSet { coord Coordinate { point [0 0 0, 1 0 0, 0 1 0] }\n"
    "coordIndex [0 1 2 -1] } }\n";

// The VrmlError message, or "" when the read succeeded.
inline std::string ErrorOf(const std::string& text, const std::string& name = "scan.wrl") {
  try {
    kernelcad::ReadVrmlBuffer(text, name);
  } catch (const kernelcad::VrmlError& e) {
    return e.what();
  }
  return "";
}

}  // namespace reader_text
