#include "state/status_line.h"

namespace app {

namespace {
StatusWriter statusWriter = nullptr;
}

void setStatusWriter(StatusWriter writer) { statusWriter = writer; }

void Show_Status(const QString& text) {
  if (statusWriter) statusWriter(text);
}

}  // namespace app
