#include <QVTKOpenGLNativeWidget.h>

#include <QSurfaceFormat>
#include <QTimer>

#include "app/scan_browser_window.h"
#include "kernelcad/widget/kernelcad.h"
#include "platform/error_reporting.h"
#include "platform/heap.h"
#include "state/window_registry.h"

int main(int argc, char** argv) {
  platform::preferLargeHeapPages();
  // A scan named on the command line is read while the windows are built: its load takes what
  // was read when the file is still the same.
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  if (const QString scan = app::readCommandLine(arguments).scan; !scan.isEmpty())
    kernelcad::KernelCAD::readAhead(scan);
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
