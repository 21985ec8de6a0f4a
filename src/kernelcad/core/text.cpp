#include "kernelcad/core/text.h"

#include "kernelcad/core/vrml_messages.h"

namespace kernelcad {

// The reader quotes file text with the same escaping; here without its length cut.
std::string EscapeInvalidUtf8(std::string_view text) { return vrml::Escaped(text, text.size()); }

}  // namespace kernelcad
