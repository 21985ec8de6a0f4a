#include <QVTKOpenGLNativeWidget.h>

#include <QSurfaceFormat>
#include <QTimer>

#include "app/scan_browser_window.h"
#include "platform/error_reporting.h"
#include "state/window_registry.h"

int main(int argc, char** argv) {
  // VTK's view needs its surface format and shared contexts before the application exists.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QSurfaceFormat::setDefaultFormat(QVTKOpenGLNativeWidget::defaultFormat());
  platform::ErrorReportingApplication application(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("QUARNEL"));

  app::Forms::get<app::MainForm>().show();
  // For the smoke test: start as a user does, then end as "Exit" does after the given time.
  if (const int quitAfterMs = qEnvironmentVariableIntValue("QUARNEL_QUIT_AFTER_MS");
      quitAfterMs > 0) {
    QTimer::singleShot(quitAfterMs, [] { app::Forms::endProgram(0); });
  }
  const int exitCode = QApplication::exec();
  app::Forms::destroyAll();
  return exitCode;
}
