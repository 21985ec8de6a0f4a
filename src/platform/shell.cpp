#include "platform/shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace platform {

bool ShellOpen(const QString& address) {
  if (ShellOpenScript* script = ShellOpenScript::active()) {
    script->opened_.push_back(address);
    return script->result_;
  }
  // A bare path opens as a local file, anything with a scheme as it is.
  return QDesktopServices::openUrl(QUrl::fromUserInput(address));
}

}  // namespace platform
