#include "platform/shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace platform {

namespace {
ShellOpenScript* activeScript = nullptr;
}  // namespace

ShellOpenScript::ShellOpenScript(bool result) : result_(result), previous_(activeScript) {
  activeScript = this;
}

ShellOpenScript::~ShellOpenScript() { activeScript = previous_; }

bool ShellOpen(const QString& address) {
  if (activeScript) {
    activeScript->opened_.push_back(address);
    return activeScript->result_;
  }
  // A bare path opens as a local file, anything with a scheme as it is.
  return QDesktopServices::openUrl(QUrl::fromUserInput(address));
}

}  // namespace platform
