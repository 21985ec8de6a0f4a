#pragma once

namespace help {

// Registers the bundled help pages and pictures; the library is static, so its resources are
// linked in only when someone asks for them.
void initResources();

}  // namespace help
