#pragma once

#include <QString>
#include <QWidget>

class QAction;
class QComboBox;
class QPushButton;
class QTimer;
class QToolBar;
class QWebEngineView;

namespace help {

// Address of the first help page: the page installed beside the scan data ("C:\Kelvard\Help8.Htm",
// ~/Kelvard/Help8.Htm elsewhere) when it is there, otherwise the pages bundled with the program.
QString helpPageAddress();

// The bundled pages; "Home" of the browser leads to the first, "Search" to the topic index.
inline constexpr const char* bundledHelpPage = "qrc:/help/Help8.Htm";
inline constexpr const char* bundledSearchPage = "qrc:/help/search.htm";

// The web engine's sandbox refuses to start as root (a lab PC where the operator is root, or a
// container): switch it off in that case only. Must run before the first web view exists.
void prepareWebEngine();

// The small web browser of the help pages. It opens on AppState's HelpAddress when it loads; the
// caption reads "Working..." while a page loads and the page's title afterwards.
class Browser : public QWidget {
  Q_OBJECT

 public:
  Browser();

  void Form_Load();

  // The web control's members the window relies on.
  void Navigate(const QString& address);
  bool Busy() const { return busy_; }
  QString LocationName() const;

  QToolBar* tbToolBar = nullptr;
  QComboBox* cboAddress = nullptr;
  QPushButton* Command1 = nullptr;
  QWebEngineView* brwWebBrowser = nullptr;
  QTimer* timTimer = nullptr;

 public slots:
  void Form_Resize();
  void Command1_Click();
  void cboAddress_Click();
  void cboAddress_KeyPress(int keyAscii);
  void timTimer_Timer();
  void tbToolBar_ButtonClick(QAction* button);
  void brwWebBrowser_DownloadComplete();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool busy_ = false;
};

// The Help menu's command: HelpAddress := the help page, then the browser is loaded and shown;
// when it is already open it only comes to the front and keeps its page.
void showHelp();

}  // namespace help
