#include "platform/filedialog.h"

#include <QFileDialog>

namespace platform {

namespace {
SaveFileNameScript* activeScript = nullptr;
}

QString SaveFileName(QWidget* parent, const QString& caption, const QString& suggested,
                     const QString& filter) {
  if (activeScript) return activeScript->take(suggested);
  return QFileDialog::getSaveFileName(parent, caption, suggested, filter);
}

SaveFileNameScript::SaveFileNameScript() : previous_(activeScript) { activeScript = this; }

SaveFileNameScript::~SaveFileNameScript() { activeScript = previous_; }

QString SaveFileNameScript::take(const QString& suggested) {
  suggested_.push_back(suggested);
  if (answers_.empty()) return suggested;
  QString path = answers_.front();
  answers_.pop_front();
  return path;
}

}  // namespace platform
