#include "platform/filedialog.h"

#include <QFileDialog>

namespace platform {

QString SaveFileName(QWidget* parent, const QString& caption, const QString& suggested,
                     const QString& filter) {
  if (SaveFileNameScript* script = SaveFileNameScript::active()) return script->take(suggested);
  return QFileDialog::getSaveFileName(parent, caption, suggested, filter);
}

QString SaveFileNameScript::take(const QString& suggested) {
  suggested_.push_back(suggested);
  if (answers_.empty()) return suggested;
  QString path = answers_.front();
  answers_.pop_front();
  return path;
}

}  // namespace platform
