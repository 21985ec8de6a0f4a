#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace kernelcad::vrml {

// True when the bytes start with the gzip magic number.
bool LooksGzipped(std::string_view bytes);

// Inflates a complete gzip stream (concatenated members included). Throws ScanError naming
// fileName when the stream is damaged, cut off, or would inflate beyond the limits of
// vrml_limits.h. `consumed` is told, every megabyte or so of output, how many input bytes are
// used up; it may throw to stop.
std::string Gunzip(std::string_view bytes, const std::string& fileName,
                   const std::function<void(std::size_t)>& consumed);

}  // namespace kernelcad::vrml
