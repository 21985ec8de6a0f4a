#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kernelcad::vrml {

// True when the bytes start with the gzip magic number.
bool LooksGzipped(std::string_view bytes);

// Inflates a complete gzip stream (concatenated members included). Throws VrmlError naming
// fileName when the stream is damaged, cut off, or would inflate beyond maxOutput bytes.
std::string Gunzip(std::string_view bytes, const std::string& fileName, std::size_t maxOutput);

}  // namespace kernelcad::vrml
