#pragma once

#include <QString>

namespace app {

// Puts `text` into the status line of the scan file browser and repaints it at once, whichever
// window calls. The browser lives in a library above the windows that report progress, so it
// hands its writer down here when it is built.
void Show_Status(const QString& text);

using StatusWriter = void (*)(const QString& text);
void setStatusWriter(StatusWriter writer);

}  // namespace app
