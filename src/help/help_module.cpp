// The help browser's entry for the program, which loads this module when the help is first
// opened (see CMakeLists.txt).
#include <QtGlobal>

#include "help/browser.h"

extern "C" Q_DECL_EXPORT void quarnelShowHelp() { help::showHelp(); }
