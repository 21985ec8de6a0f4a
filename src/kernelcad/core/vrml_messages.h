#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Pieces of the scan reader's messages. Messages reach message boxes and terminals, which
// expect UTF-8; a scan file, and even its name, may hold any bytes.
namespace kernelcad::vrml {

// `text` with every byte that is not part of valid, printable UTF-8 written as \xNN, cut after
// about maxBytes bytes of input with "..." so one huge token cannot make a huge message.
std::string Escaped(std::string_view text, std::size_t maxBytes);

// Text of the file in single quotes, for messages: see Escaped.
std::string Quoted(std::string_view text);

// "512 bytes", "1.5 kB", "12.3 MB".
std::string ByteSize(std::uint64_t bytes);

}  // namespace kernelcad::vrml
