#include "platform/error_reporting.h"

#include <exception>

#include "platform/msgbox.h"

namespace platform {

ErrorReportingApplication::ErrorReportingApplication(int& argc, char** argv)
    : QApplication(argc, argv) {}

bool ErrorReportingApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    reportError(QString::fromLocal8Bit(error.what()));
  } catch (...) {
    reportError(QStringLiteral("Unknown error"));
  }
  // The event counts as handled: what the handler did before the failure stays done.
  return true;
}

void reportError(const QString& description) {
  MsgBox(description, MsgBoxButtons::OkOnly, MsgBoxIcon::Critical, QStringLiteral("Error"));
}

}  // namespace platform
