#include "platform/system.h"

#include <QDir>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace platform {

QString labFolder() {
#ifdef Q_OS_WIN
  return QStringLiteral("C:\\Kelvard\\");
#else
  return QDir::homePath() + QStringLiteral("/Kelvard/");
#endif
}

bool runningAsRoot() {
#ifdef Q_OS_WIN
  return false;
#else
  return geteuid() == 0;
#endif
}

}  // namespace platform
