// The help browser and the About window on real widgets: a real web engine loading the bundled
// pages, and pages from a local server that answers only when the test lets it.
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QToolBar>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>
#include <vector>

#include "help/about_window.h"
#include "help/browser.h"
#include "platform/msgbox.h"
#include "platform/runtime.h"
#include "platform/shell.h"
#include "state/app_state.h"
#include "state/window_registry.h"

namespace {

// Answers each request with a small page titled as last asked; while held it keeps every request
// waiting, so a test sees the browser in the middle of a load for as long as it likes.
struct HeldPageServer : QTcpServer {
  HeldPageServer() {
    listen(QHostAddress::LocalHost);
    connect(this, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* socket = nextPendingConnection())
        connect(socket, &QTcpSocket::readyRead, [this, socket] {
          if (!socket->readAll().contains("\r\n\r\n")) return;
          waiting.emplace_back(socket);
          if (!held) release();
        });
    });
  }
  QString url(const char* path) const {
    return QStringLiteral("http://127.0.0.1:%1/%2").arg(serverPort()).arg(path);
  }
  void release() {
    held = false;
    const QByteArray body = "<html><head><title>" + title.toUtf8() + "</title></head></html>";
    for (const QPointer<QTcpSocket>& socket : waiting)
      if (socket)
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                      QByteArray::number(body.size()) + "\r\n\r\n" + body);
    waiting.clear();
  }

  bool held = true;
  QString title;
  std::vector<QPointer<QTcpSocket>> waiting;
};

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

  // "Working..." while a page is on its way and its title once in; Stop brings back the shown
  // page's title at once. A typed address and Enter go there without joining the list.
  void captionReadsWorkingUntilThePageIsInOrStopped() {
    HeldPageServer server;
    server.title = QStringLiteral("Slow Page");
    app::state().HelpAddress = server.url("slow.htm");
    help::Browser& browser = app::Forms::get<help::Browser>();
    QVERIFY(browser.isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!server.waiting.empty(), 20000);
    QCOMPARE(browser.windowTitle(), QStringLiteral("Working..."));
    server.release();
    QTRY_COMPARE_WITH_TIMEOUT(browser.windowTitle(), QStringLiteral("Slow Page"), 10000);
    QTRY_VERIFY(!browser.timTimer->isActive());

    server.held = true;
    QLineEdit* edit = browser.cboAddress->lineEdit();
    edit->selectAll();
    QTest::keyClicks(edit, server.url("held.htm"));
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(!server.waiting.empty(), 10000);
    QTRY_COMPARE(browser.windowTitle(), QStringLiteral("Working..."));
    QCOMPARE(browser.cboAddress->count(), 1);
    press(browser, "Stop");
    QCOMPARE(browser.windowTitle(), QStringLiteral("Slow Page"));
    QVERIFY(!browser.timTimer->isActive() && !browser.Busy());

    // Picking the one list entry goes back to the start address.
    server.title = QStringLiteral("Picked");
    server.release();
    browser.cboAddress->setCurrentIndex(0);
    emit browser.cboAddress->activated(0);
    QTRY_COMPARE_WITH_TIMEOUT(browser.windowTitle(), QStringLiteral("Picked"), 10000);
    QCOMPARE(browser.brwWebBrowser->url(), QUrl(server.url("slow.htm")));
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

  void eachLinkAreaOpensItsOwnAddressAndTheWindowStaysUnique() {
    platform::ShellOpenScript shell;
    help::showAbout();
    auto* about = app::Forms::loaded<help::AboutForm>();
    QVERIFY(about && QTest::qWaitForWindowExposed(about));
    for (QWidget* area : {about->Label4, about->Label5, about->Label6})
      QTest::mouseClick(area, Qt::LeftButton);
    QCOMPARE(shell.opened().size(), 3u);
    const QUrl site(shell.opened()[0]), updates(shell.opened()[1]), supplies(shell.opened()[2]);
    QVERIFY(site.scheme().startsWith(QLatin1String("http")));
    QCOMPARE(updates.host(), site.host());
    QCOMPARE(updates.path(), QStringLiteral("/downloads.php"));
    QVERIFY(supplies.isValid() && supplies.host() != site.host());
    help::showAbout();
    QCOMPARE(app::Forms::loaded<help::AboutForm>(), about);
    QTest::mouseClick(about->Command1, Qt::LeftButton);
    QVERIFY(!app::Forms::loaded<help::AboutForm>());
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
