// The help browser and the About window on real widgets: a real web engine loading the bundled
// pages and pages from a local server that answers only when the test lets it.
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>
#include <memory>
#include <vector>

#include "app/appstate.h"
#include "app/forms.h"
#include "help/aboutform.h"
#include "help/browser.h"
#include "platform/msgbox.h"
#include "platform/runtime.h"
#include "platform/shell.h"

namespace {

// Serves one small page per request, but while held it keeps every request waiting, so a test
// sees the browser in the middle of a load for as long as it likes.
class HeldPageServer : public QObject {
 public:
  HeldPageServer() {
    server_.listen(QHostAddress::LocalHost);
    QObject::connect(&server_, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) {
        QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
          if (!socket->readAll().contains("\r\n\r\n")) return;
          ++requests_;
          if (held_) waiting_.emplace_back(socket);
          else answer(socket);
        });
      }
    });
  }

  QString url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1/%2").arg(server_.serverPort()).arg(path);
  }
  void hold(const QString& title) { held_ = true; title_ = title; }
  void release() {
    held_ = false;
    for (const QPointer<QTcpSocket>& socket : waiting_)
      if (socket) answer(socket);
    waiting_.clear();
  }
  int requests() const { return requests_; }

 private:
  void answer(QTcpSocket* socket) {
    const QByteArray body = QStringLiteral("<html><head><title>%1</title></head><body>%1</body></html>")
                                .arg(title_).toUtf8();
    socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n"
                  "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    socket->disconnectFromHost();
  }

  QTcpServer server_;
  std::vector<QPointer<QTcpSocket>> waiting_;
  bool held_ = false;
  int requests_ = 0;
  QString title_ = QStringLiteral("Served Page");
};

QAction* button(help::Browser& browser, const char* key) {
  return browser.tbToolBar->findChild<QAction*>(QString::fromLatin1(key));
}

const QString startTitle = QStringLiteral("QUARNEL Help");

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
  }

  void helpPageIsInstalledOneOrBundled() {
    const QString installed = QDir::homePath() + QStringLiteral("/Kelvard/Help8.Htm");
    QVERIFY(!QFile::exists(installed));
    QCOMPARE(help::helpPageAddress(), QStringLiteral("qrc:/help/Help8.Htm"));

    QVERIFY(QDir().mkpath(QFileInfo(installed).path()));
    QFile page(installed);
    QVERIFY(page.open(QIODevice::WriteOnly));
    page.write("<html><head><title>Lab Help</title></head><body>ours</body></html>");
    page.close();
    QCOMPARE(help::helpPageAddress(), installed);
    help::showHelp();
    help::Browser* browser = app::Forms::loaded<help::Browser>();
    QVERIFY(browser);
    QTRY_COMPARE_WITH_TIMEOUT(browser->windowTitle(), QStringLiteral("Lab Help"), 20000);
    QCOMPARE(browser->cboAddress->currentText(), installed);
    QVERIFY(QFile::remove(installed));
  }

  void bundledPagesLoadAndLink() {
    help::Browser& browser = openOn(QStringLiteral("qrc:/help/Help8.Htm"), startTitle);
    QCOMPARE(browser.cboAddress->count(), 1);
    QCOMPARE(browser.cboAddress->itemText(0), QStringLiteral("qrc:/help/Help8.Htm"));

    // Every page the contents links to exists and has a title of its own.
    QStringList links;
    browser.brwWebBrowser->page()->runJavaScript(
        QStringLiteral("Array.from(document.querySelectorAll('a')).map(a => a.href)"),
        [&](const QVariant& result) { links = result.toStringList(); });
    QTRY_VERIFY(!links.isEmpty());
    QVERIFY(links.size() >= 9);
    for (const QString& link : links) {
      QVERIFY2(QFile::exists(QLatin1Char(':') + QUrl(link).path()), qPrintable(link));
    }

    // A link clicked in the page: the caption follows from the download-complete event alone.
    browser.brwWebBrowser->page()->runJavaScript(
        QStringLiteral("document.querySelector('a[href=\"points.htm\"]').click()"));
    QTRY_COMPARE_WITH_TIMEOUT(browser.windowTitle(),
                              QStringLiteral("Placing and moving the three points"), 10000);
    QVERIFY(!browser.timTimer->isActive());

    QTest::mouseClick(browser.tbToolBar->widgetForAction(button(browser, "Search")), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(browser.windowTitle(), QStringLiteral("Find a topic"), 10000);
    QTest::mouseClick(browser.tbToolBar->widgetForAction(button(browser, "Home")), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(browser.windowTitle(), startTitle, 10000);
    QTest::mouseClick(browser.tbToolBar->widgetForAction(button(browser, "Back")), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(browser.windowTitle(), QStringLiteral("Find a topic"), 10000);
    QTest::mouseClick(browser.tbToolBar->widgetForAction(button(browser, "Forward")), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(browser.windowTitle(), startTitle, 10000);
  }

  void captionReadsWorkingUntilThePageIsIn() {
    HeldPageServer server;
    server.hold(QStringLiteral("Slow Page"));
    app::state().HelpAddress = server.url(QStringLiteral("slow.htm"));
    help::Browser& browser = app::Forms::get<help::Browser>();
    QVERIFY(browser.isVisible());
    QCOMPARE(browser.cboAddress->currentText(), server.url(QStringLiteral("slow.htm")));
    QTRY_VERIFY_WITH_TIMEOUT(server.requests() > 0, 20000);
    QCOMPARE(browser.windowTitle(), QStringLiteral("Working..."));
    QVERIFY(browser.timTimer->isActive());

    server.release();
    QTRY_COMPARE_WITH_TIMEOUT(browser.windowTitle(), QStringLiteral("Slow Page"), 10000);
    QTRY_VERIFY(!browser.timTimer->isActive());
  }

  void stopDuringALoadShowsTheCurrentPageAtOnce() {
    HeldPageServer server;
    help::Browser& browser = openOn(QStringLiteral("qrc:/help/scan.htm"),
                                    QStringLiteral("Choosing a scan and the foot side"));
    server.hold(QStringLiteral("Never Shown"));
    browser.cboAddress->setEditText(server.url(QStringLiteral("held.htm")));
    browser.cboAddress_KeyPress(13);
    QTRY_VERIFY_WITH_TIMEOUT(server.requests() > 0, 10000);
    QTRY_COMPARE(browser.windowTitle(), QStringLiteral("Working..."));

    button(browser, "Stop")->trigger();
    QCOMPARE(browser.windowTitle(), QStringLiteral("Choosing a scan and the foot side"));
    QVERIFY(!browser.timTimer->isActive());
    QVERIFY(!browser.Busy());
    QSignalSpy captions(&browser, &QWidget::windowTitleChanged);
    server.release();  // an answer after the stop must not bring the page in
    QVERIFY(!captions.wait(300));
    QCOMPARE(browser.windowTitle(), QStringLiteral("Choosing a scan and the foot side"));
  }

  void backAndForwardWithNoHistoryDoNothing() {
    platform::MsgBoxScript messages;
    help::Browser& browser = openOn(QStringLiteral("qrc:/help/Help8.Htm"), startTitle);
    const QUrl start = browser.brwWebBrowser->url();
    QSignalSpy loads(browser.brwWebBrowser, &QWebEngineView::loadStarted);
    for (const char* key : {"Back", "Forward"}) {
      QTest::mouseClick(browser.tbToolBar->widgetForAction(button(browser, key)), Qt::LeftButton);
      QTRY_VERIFY(!browser.timTimer->isActive());
      QCOMPARE(browser.windowTitle(), startTitle);
    }
    QVERIFY(!loads.wait(300));
    QCOMPARE(browser.brwWebBrowser->url(), start);
    QVERIFY(messages.shown().empty());
  }

  void typedAddressAndEnterNavigateWithoutJoiningTheList() {
    help::Browser& browser = openOn(QStringLiteral("qrc:/help/Help8.Htm"), startTitle);
    QLineEdit* edit = browser.cboAddress->lineEdit();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("qrc:/help/align.htm"));
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(browser.windowTitle(),
                              QStringLiteral("Aligning the foot and the roll angle"), 10000);
    QCOMPARE(browser.cboAddress->count(), 1);
    QCOMPARE(browser.cboAddress->itemText(0), QStringLiteral("qrc:/help/Help8.Htm"));

    // Picking the one list entry goes back to the start address.
    browser.cboAddress->setCurrentIndex(0);
    emit browser.cboAddress->activated(0);
    QTRY_COMPARE_WITH_TIMEOUT(browser.windowTitle(), startTitle, 10000);
    QCOMPARE(browser.cboAddress->count(), 1);
  }

  void helpMenuTwiceKeepsThePageAndCloseStartsOver() {
    help::showHelp();
    help::Browser* first = app::Forms::loaded<help::Browser>();
    QVERIFY(first);
    QTRY_COMPARE_WITH_TIMEOUT(first->windowTitle(), startTitle, 20000);
    first->Navigate(QStringLiteral("qrc:/help/print.htm"));
    QTRY_COMPARE_WITH_TIMEOUT(first->windowTitle(), QStringLiteral("Printing"), 10000);

    QSignalSpy loads(first->brwWebBrowser, &QWebEngineView::loadStarted);
    help::showHelp();
    QCOMPARE(app::Forms::loaded<help::Browser>(), first);
    QVERIFY(!loads.wait(300));
    QCOMPARE(first->windowTitle(), QStringLiteral("Printing"));
    QCOMPARE(first->cboAddress->count(), 1);

    QPointer<help::Browser> closed = first;
    QTest::mouseClick(first->Command1, Qt::LeftButton);
    QVERIFY(!app::Forms::loaded<help::Browser>());
    QTRY_VERIFY(closed.isNull());
    help::showHelp();
    help::Browser* again = app::Forms::loaded<help::Browser>();
    QVERIFY(again);
    QTRY_COMPARE_WITH_TIMEOUT(again->windowTitle(), startTitle, 20000);
  }

  void resizeFollowsTheWindowAndSurvivesTinySizes() {
    help::Browser& browser = openOn(QStringLiteral("qrc:/help/Help8.Htm"), startTitle);
    QVERIFY(QTest::qWaitForWindowExposed(&browser));
    const QRect close = browser.Command1->geometry();
    browser.resize(1000, 700);
    QTRY_COMPARE(browser.size(), QSize(1000, 700));
    // The page keeps 180 twips on the right and 200 below; the address box ends 5000 twips
    // short of the right edge.
    const auto near = [](int a, int b) { return std::abs(a - b) <= 1; };
    const QRect page = browser.brwWebBrowser->geometry();
    QVERIFY(near(page.right() + 1, 1000 - platform::twipsToPixelsX(180)));
    QVERIFY(near(page.bottom() + 1, 700 - platform::twipsToPixelsY(200)));
    QVERIFY(near(browser.cboAddress->geometry().right() + 1,
                 1000 - platform::twipsToPixelsX(5000 - 3120)));
    QCOMPARE(browser.Command1->geometry(), close);

    browser.resize(120, 30);
    QTRY_COMPARE(browser.size(), QSize(120, 30));
    QCOMPARE(browser.cboAddress->width(), 0);
    QCOMPARE(browser.brwWebBrowser->height(), 0);
    const QSize before = browser.brwWebBrowser->size();
    browser.showMinimized();
    QTRY_VERIFY(browser.isMinimized());
    QCOMPARE(browser.brwWebBrowser->size(), before);
  }
};

class AboutTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { app::Forms::destroyAll(); }

  void showsItsTextsAndStaysUnique() {
    help::showAbout();
    help::AboutForm* about = app::Forms::loaded<help::AboutForm>();
    QVERIFY(about);
    QVERIFY(QTest::qWaitForWindowExposed(about));
    QCOMPARE(about->windowTitle(), QStringLiteral("About QUARNEL"));
    QCOMPARE(about->Label1->text(), QStringLiteral("PEDALOX                Scan File Printer"));
    QCOMPARE(about->Label3->text(), QStringLiteral("Version 1.90               April 2016"));
    QVERIFY(!about->Label2->text().isEmpty());
    for (QLabel* area : {static_cast<QLabel*>(about->Label4), static_cast<QLabel*>(about->Label5),
                         static_cast<QLabel*>(about->Label6)})
      QVERIFY(area->text().isEmpty());
    QVERIFY(!(about->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(about->size(), QSize(platform::twipsToPixelsX(8520), platform::twipsToPixelsY(6480)));

    help::showAbout();
    QCOMPARE(app::Forms::loaded<help::AboutForm>(), about);
    QPointer<help::AboutForm> closed = about;
    QTest::mouseClick(about->Command1, Qt::LeftButton);
    QVERIFY(!app::Forms::loaded<help::AboutForm>());
    QTRY_VERIFY(closed.isNull());
  }

  void eachLinkAreaOpensItsOwnAddress() {
    platform::ShellOpenScript shell;
    help::showAbout();
    help::AboutForm* about = app::Forms::loaded<help::AboutForm>();
    QVERIFY(QTest::qWaitForWindowExposed(about));
    QTest::mouseClick(about->Label4, Qt::LeftButton);
    QTest::mouseClick(about->Label5, Qt::LeftButton);
    QTest::mouseClick(about->Label6, Qt::LeftButton);
    QCOMPARE(shell.opened().size(), 3u);
    const QUrl site(shell.opened()[0]), updates(shell.opened()[1]), supplies(shell.opened()[2]);
    QVERIFY(site.isValid() && site.scheme().startsWith(QLatin1String("http")));
    QCOMPARE(updates.host(), site.host());
    QCOMPARE(updates.path(), QStringLiteral("/downloads.php"));
    QVERIFY(supplies.isValid() && supplies.host() != site.host());
    QVERIFY(about->isVisible());
    QCOMPARE(app::Forms::loaded<help::AboutForm>(), about);
  }

  // A click anywhere on the written addresses opens one of them; elsewhere on the picture nothing.
  void theAddressColumnIsCoveredAndNothingElse() {
    platform::ShellOpenScript shell;
    help::showAbout();
    help::AboutForm* about = app::Forms::loaded<help::AboutForm>();
    QVERIFY(QTest::qWaitForWindowExposed(about));
    const double sx = about->width() / 568.0, sy = about->height() / 431.0;
    const auto clickAt = [&](int px, int py) {
      const QPoint at(int(px * sx), int(py * sy));
      QWidget* target = about->childAt(at);
      QTest::mouseClick(target ? target : about, Qt::LeftButton, {},
                        target ? target->mapFrom(about, at) : at);
    };
    // Rows of the picture where the addresses are written, from their pixels.
    const QImage picture = help::aboutPicture().toImage();
    int top = 431, bottom = -1, left = 568, right = -1;
    for (int y = 108; y < 198; ++y)
      for (int x = 0; x < 568; ++x) {
        const QColor c = picture.pixelColor(x, y);
        if (c.blue() > 150 && c.red() < 100 && c.green() < 100) {
          top = std::min(top, y), bottom = std::max(bottom, y);
          left = std::min(left, x), right = std::max(right, x);
        }
      }
    QVERIFY(left >= 224 && right <= 537);
    QVERIFY(top >= 112 && bottom <= 186);
    QVERIFY(top <= 125 && bottom >= 174);
    for (int y = top; y <= bottom; y += 3)
      for (int x = left; x <= right; x += 40) {
        shell.clear();
        clickAt(x, y);
        QVERIFY2(shell.opened().size() == 1, qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
      }
    shell.clear();
    for (const QPoint& outside : {QPoint(60, 55), QPoint(120, 150), QPoint(300, 60), QPoint(300, 300)})
      clickAt(outside.x(), outside.y());
    QVERIFY(shell.opened().empty());
  }
};

int main(int argc, char** argv) {
  // The web engine shares OpenGL contexts and must be told so before the application exists;
  // its sandbox is off when run as root.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  help::prepareWebEngine();
  // A home of our own: the installed-help test writes there, and nothing of the user's leaks in.
  QTemporaryDir home;
  qputenv("HOME", home.path().toLocal8Bit());
  // The About window's link areas are laid out in twips over a picture in pixels: at 96 dpi,
  // the screens it was drawn for, the two meet exactly at the address column's edges.
  qputenv("QT_FONT_DPI", "96");
  QApplication application(argc, argv);
  int failed = 0;
  {
    BrowserTest browser;
    failed += QTest::qExec(&browser, argc, argv);
  }
  {
    AboutTest about;
    failed += QTest::qExec(&about, argc, argv);
  }
  return failed;
}

#include "help_test.moc"
