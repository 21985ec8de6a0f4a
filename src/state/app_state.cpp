#include "state/app_state.h"

#include <QDir>

#include "platform/system.h"

namespace app {

QString defaultDataFolder() {
  return platform::labFolder() + QStringLiteral("Data") + QDir::separator();
}

AppState& state() {
  static AppState instance;
  return instance;
}

}  // namespace app
