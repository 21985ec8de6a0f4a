#include "app/appstate.h"

#include <QDir>

namespace app {

QString defaultDataFolder() {
#ifdef Q_OS_WIN
  return QStringLiteral("C:\\Kelvard\\Data\\");
#else
  return QDir::homePath() + QStringLiteral("/Kelvard/Data/");
#endif
}

AppState& state() {
  static AppState instance;
  return instance;
}

}  // namespace app
