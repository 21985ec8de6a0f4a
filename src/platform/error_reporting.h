#pragma once

#include <QApplication>

namespace platform {

// The application object. Failures that no handler traps end the handler where they happen and
// arrive here; the operator is told in a message box titled "Error" and the program goes on.
class ErrorReportingApplication : public QApplication {
  Q_OBJECT

 public:
  ErrorReportingApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;
};

// Tells the operator about a failure the way the event loop does.
void reportError(const QString& description);

}  // namespace platform
