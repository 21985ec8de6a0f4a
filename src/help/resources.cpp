#include "help/resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void initHelpQrc() { Q_INIT_RESOURCE(help); }

namespace help {

void initResources() {
  static const bool once = (initHelpQrc(), true);
  (void)once;
}

}  // namespace help
