#pragma once

#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace kernelcad {

// `text` as valid UTF-8 on one line, for a message: every byte that is not part of a well-formed
// UTF-8 sequence (a binary file's bytes, a name in a legacy code page) and every control
// character becomes "\xhh", so a terminal, a log or a message box shows what the bytes were
// instead of garbage or a replacement mark.
std::string EscapeInvalidUtf8(std::string_view text);

// A step that ran out of memory, told in words: "not enough memory to read foot.wrl".
class NotEnoughMemory : public std::runtime_error {
 public:
  explicit NotEnoughMemory(const std::string& doing)
      : std::runtime_error("not enough memory to " + doing) {}
};

// Runs `step`; if it runs out of memory, throws NotEnoughMemory naming `doing`. The memory the
// step held is freed by then, so the message itself can still be built.
template <typename Step>
decltype(auto) WhileDoing(const std::string& doing, Step&& step) {
  try {
    return std::forward<Step>(step)();
  } catch (const std::bad_alloc&) {
    throw NotEnoughMemory(doing);
  }
}

}  // namespace kernelcad
