#pragma once

// Shared by the window tests: a program started as main() starts it, with a home folder of its
// own (so the lab's data folder is whatever the test puts there), and helpers that click the real
// controls.

#include <QVTKOpenGLNativeWidget.h>

#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSurfaceFormat>
#include <QTemporaryDir>
#include <QTest>

#include "platform/error_reporting.h"
#include "platform/runtime.h"
#include "state/window_registry.h"

namespace testing_support {

// Clicks the entry of a list that reads `text` (folders are indented) as the operator does.
inline bool clickItem(QListWidget* list, const QString& text, bool twice = false) {
  for (int i = 0; i < list->count(); ++i) {
    if (list->item(i)->text().trimmed() != text) continue;
    list->scrollToItem(list->item(i));
    const QPoint at = list->visualItemRect(list->item(i)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    if (twice) QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    return true;
  }
  return false;
}

// Opens `menu` from the window's menu bar and clicks `item` in it.
inline bool chooseMenu(QMainWindow* window, QMenu* menu, QAction* item) {
  QMenuBar* bar = window->menuBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
  if (!QTest::qWaitFor([menu] { return menu->isVisible(); }, 5000)) return false;
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
  return QTest::qWaitFor([menu] { return !menu->isVisible(); }, 5000);
}

}  // namespace testing_support

// main() for a window test: the program's own application object and the surface format VTK
// needs, both before any window, and an empty command line for the program.
#define QUARNEL_WINDOW_TEST_MAIN(TestClass)                                    \
  int main(int argc, char** argv) {                                            \
    QTemporaryDir home;                                                        \
    qputenv("QT_FONT_DPI", "96");                                              \
    qputenv("HOME", home.path().toLocal8Bit());                                \
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);                \
    QSurfaceFormat::setDefaultFormat(QVTKOpenGLNativeWidget::defaultFormat()); \
    platform::ErrorReportingApplication application(argc, argv);               \
    platform::setCommandArguments({});                                         \
    TestClass test;                                                            \
    const int failures = QTest::qExec(&test, argc, argv);                      \
    app::Forms::destroyAll();                                                  \
    return failures;                                                           \
  }
