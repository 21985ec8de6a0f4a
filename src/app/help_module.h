#pragma once

namespace app {

// The Help menu's command, which the help module carries (help::showHelp): the module is loaded
// the first time; when it cannot be, a message says why and the program goes on.
void openHelp();

}  // namespace app
