#pragma once

#include <QString>
#include <deque>
#include <vector>

#include "platform/scoped_hook.h"

class QWidget;

namespace platform {

// The save-file dialog every "save as" of the system goes through, so a test can answer it.
// Returns the chosen path, or an empty string when the operator cancels.
QString SaveFileName(QWidget* parent, const QString& caption, const QString& suggested,
                     const QString& filter);

// While one of these lives, SaveFileName shows nothing: it records the suggested path and
// answers from the script in order, then with the suggestion. An empty answer cancels.
class SaveFileNameScript : public ScopedHook<SaveFileNameScript> {
 public:
  void answer(const QString& path) { answers_.push_back(path); }
  const std::vector<QString>& suggested() const { return suggested_; }

 private:
  friend QString SaveFileName(QWidget*, const QString&, const QString&, const QString&);
  QString take(const QString& suggested);

  std::deque<QString> answers_;
  std::vector<QString> suggested_;
};

}  // namespace platform
