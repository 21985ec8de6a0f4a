// The help browser on real widgets: a real web engine loading the bundled pages and an installed
// one.
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolBar>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>

#include "help/browser.h"
#include "platform/msgbox.h"
#include "platform/runtime.h"
#include "state/app_state.h"
#include "state/window_registry.h"

namespace {

const QString startPage = QStringLiteral("qrc:/help/Help8.Htm");
const QString startTitle = QStringLiteral("QUARNEL Help");

QString installedPage() { return QDir::homePath() + QStringLiteral("/Kelvard/Help8.Htm"); }

void press(help::Browser& browser, const char* key) {
  QAction* button = browser.tbToolBar->findChild<QAction*>(QString::fromLatin1(key));
  QTest::mouseClick(browser.tbToolBar->widgetForAction(button), Qt::LeftButton);
}

}  // namespace

class BrowserTest : public QObject {
  Q_OBJECT

 private:
  // Opens the browser on `address` and waits until the page is in and the caption settled.
  help::Browser& openOn(const QString& address, const QString& title) {
    app::state().HelpAddress = address;
    help::Browser& browser = app::Forms::get<help::Browser>();
    [&] { QTRY_COMPARE_WITH_TIMEOUT(browser.windowTitle(), title, 20000); }();
    [&] { QTRY_VERIFY(!browser.timTimer->isActive()); }();
    return browser;
  }

 private slots:
  void cleanup() {
    app::Forms::destroyAll();
    app::state() = app::AppState();
    QFile::remove(installedPage());
  }

  // Back and Forward with no history do nothing and wait for nothing; a link clicked in the page
  // sets the caption from the download-complete event alone; then the buttons.
  void bundledPagesLinkAndButtonsNavigate() {
    platform::MsgBoxScript messages;
    help::Browser& browser = openOn(startPage, startTitle);
    for (const char* key : {"Back", "Forward"}) {
      press(browser, key);
      QVERIFY(!browser.Busy());
      QTRY_COMPARE(browser.windowTitle(), startTitle);
    }
    QVERIFY(messages.shown().empty());
    browser.brwWebBrowser->page()->runJavaScript(
        QStringLiteral("document.querySelector('a[href=\"points.htm\"]').click()"));
    const std::pair<const char*, QString> steps[] = {
        {nullptr, QStringLiteral("Placing and moving the three points")},
        {"Search", QStringLiteral("Find a topic")},
        {"Home", startTitle},
        {"Back", QStringLiteral("Find a topic")},
        {"Forward", startTitle}};
    for (const auto& [key, title] : steps) {
      if (key) press(browser, key);
      QTRY_COMPARE_WITH_TIMEOUT(browser.windowTitle(), title, 10000);
    }
  }

  // An installed help page comes before the bundled one; help opened again only brings the
  // browser up with its page; after Close it starts over.
  void helpMenuTwiceKeepsThePageAndCloseStartsOver() {
    QCOMPARE(help::helpPageAddress(), startPage);
    QVERIFY(QDir().mkpath(QFileInfo(installedPage()).path()));
    QFile page(installedPage());
    QVERIFY(page.open(QIODevice::WriteOnly));
    page.write("<html><head><title>Lab Help</title></head><body>ours</body></html>");
    page.close();
    QCOMPARE(help::helpPageAddress(), installedPage());

    help::showHelp();
    help::Browser* first = app::Forms::loaded<help::Browser>();
    QVERIFY(first);
    QTRY_COMPARE_WITH_TIMEOUT(first->windowTitle(), QStringLiteral("Lab Help"), 20000);
    QCOMPARE(first->cboAddress->currentText(), installedPage());
    first->Navigate(QStringLiteral("qrc:/help/print.htm"));
    QTRY_COMPARE_WITH_TIMEOUT(first->windowTitle(), QStringLiteral("Printing"), 10000);
    help::showHelp();
    QCOMPARE(app::Forms::loaded<help::Browser>(), first);
    QVERIFY(!first->Busy());  // a reload would be under way from the request on

    QVERIFY(QFile::remove(installedPage()));
    QPointer<help::Browser> closed = first;
    QTest::mouseClick(first->Command1, Qt::LeftButton);
    QVERIFY(!app::Forms::loaded<help::Browser>());
    QTRY_VERIFY(closed.isNull());
    help::showHelp();
    QTRY_COMPARE_WITH_TIMEOUT(app::Forms::loaded<help::Browser>()->windowTitle(), startTitle,
                              20000);
  }
};

int main(int argc, char** argv) {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  help::prepareWebEngine();
  QTemporaryDir home;
  qputenv("HOME", home.path().toLocal8Bit());
  // Link areas are laid out in twips over a picture in pixels, drawn for 96 dpi.
  qputenv("QT_FONT_DPI", "96");
  QApplication application(argc, argv);
  BrowserTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "help_test.moc"
