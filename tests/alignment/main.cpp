// Runs the reference point tests and the distances window tests in one program: both need the
// foot view on a real screen, set up as the program sets it up.

#include <QApplication>
#include <QSurfaceFormat>
#include <QTemporaryDir>
#include <QTest>
#include <QVTKOpenGLNativeWidget.h>
#include <memory>

#include "app/forms.h"
#include "platform/error_reporting.h"

std::unique_ptr<QObject> makeRefPointsTest();
std::unique_ptr<QObject> makeDFormTest();

int main(int argc, char** argv) {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QSurfaceFormat::setDefaultFormat(QVTKOpenGLNativeWidget::defaultFormat());
  platform::ErrorReportingApplication application(argc, argv);
  int failures = 0;
  for (const auto& test : {makeRefPointsTest(), makeDFormTest()}) {
    failures += QTest::qExec(test.get(), argc, argv);
    app::Forms::destroyAll();
  }
  return failures;
}
