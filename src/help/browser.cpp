#include "help/browser.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QWebEngineHistory>
#include <QWebEngineView>
#include <QtGlobal>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "help/resources.h"
#include "platform/runtime.h"
#include "platform/system.h"
#include "state/app_state.h"
#include "state/window_registry.h"

namespace help {

namespace {

// The steps the browser window marks as "errors ignored" go on whatever a call throws.
template <class Step>
void ignoringErrors(Step step) {
  try {
    step();
  } catch (...) {
  }
}

// imlIcons: the six 24 x 24 button pictures, drawn here so they scale with the screen.
QIcon buttonImage(const QString& key) {
  QPixmap pixmap(48, 48);
  pixmap.setDevicePixelRatio(2.0);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor ink(0, 70, 140);
  p.setPen(QPen(ink, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  if (key == QLatin1String("Back") || key == QLatin1String("Forward")) {
    const bool back = key == QLatin1String("Back");
    QPainterPath arrow;
    const double tip = back ? 3 : 21, tail = back ? 21 : 3, neck = 12;
    arrow.moveTo(tip, 12);
    arrow.lineTo(neck, 4);
    arrow.lineTo(neck, 8.5);
    arrow.lineTo(tail, 8.5);
    arrow.lineTo(tail, 15.5);
    arrow.lineTo(neck, 15.5);
    arrow.lineTo(neck, 20);
    arrow.closeSubpath();
    p.setBrush(QColor(90, 160, 60));
    p.setPen(QPen(QColor(40, 90, 30), 1.2));
    p.drawPath(arrow);
  } else if (key == QLatin1String("Stop")) {
    QPainterPath octagon;
    for (int i = 0; i < 8; ++i) {
      const double angle = (22.5 + 45 * i) * std::numbers::pi / 180;
      const QPointF corner(12 + 10 * std::cos(angle), 12 + 10 * std::sin(angle));
      i == 0 ? octagon.moveTo(corner) : octagon.lineTo(corner);
    }
    octagon.closeSubpath();
    p.setBrush(QColor(200, 30, 30));
    p.setPen(QPen(QColor(120, 0, 0), 1.2));
    p.drawPath(octagon);
    p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 8), QPointF(16, 16));
    p.drawLine(QPointF(16, 8), QPointF(8, 16));
  } else if (key == QLatin1String("Refresh")) {
    p.drawArc(QRectF(4, 4, 16, 16), 60 * 16, 290 * 16);
    p.setBrush(ink);
    p.drawPolygon(QPolygonF({QPointF(14, 1.5), QPointF(19.5, 5.5), QPointF(13.5, 8.5)}));
  } else if (key == QLatin1String("Home")) {
    p.setBrush(QColor(240, 200, 120));
    p.drawPolygon(QPolygonF({QPointF(12, 3), QPointF(22, 12), QPointF(19, 12), QPointF(19, 21),
                             QPointF(5, 21), QPointF(5, 12), QPointF(2, 12)}));
    p.setBrush(QColor(140, 80, 40));
    p.drawRect(QRectF(10, 14, 4, 7));
  } else if (key == QLatin1String("Search")) {
    p.setBrush(QColor(210, 230, 250));
    p.drawEllipse(QRectF(3, 3, 12, 12));
    p.setPen(QPen(ink, 3.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(14, 14), QPointF(21, 21));
  }
  return QIcon(pixmap);
}

}  // namespace

QString helpPageAddress() {
  const QString installed = platform::labFolder() + QStringLiteral("Help8.Htm");
  return QFileInfo::exists(installed) ? installed : QString::fromLatin1(bundledHelpPage);
}

void prepareWebEngine() {
  initResources();
  if (platform::runningAsRoot() && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

Browser::Browser() {
  prepareWebEngine();
  setFont(platform::designFont(9.75));
  resize(platform::twipsToPixelsX(13050), platform::twipsToPixelsY(9840));

  brwWebBrowser = new QWebEngineView(this);
  platform::placeControl(brwWebBrowser, "brwWebBrowser", 120, 600, 12735, 9135);

  tbToolBar = new QToolBar(this);
  platform::placeControl(tbToolBar, "tbToolBar", 0, 0, 13050, 540);
  tbToolBar->setIconSize(QSize(24, 24));
  tbToolBar->setMovable(false);
  for (const char* key : {"Back", "Forward", "Stop", "Refresh", "Home", "Search"}) {
    const QString name = QString::fromLatin1(key);
    QAction* button = tbToolBar->addAction(buttonImage(name), QString());
    button->setObjectName(name);
    button->setData(name);
    button->setToolTip(name);
  }

  // The address box sits on the toolbar at a place of its own, not in the toolbar's row.
  cboAddress = new QComboBox(tbToolBar);
  platform::placeControl(cboAddress, "cboAddress", 3120, 120, 6915, 315);
  cboAddress->setEditable(true);
  // Typed addresses are navigated to, never added: the list holds the start address only.
  cboAddress->setInsertPolicy(QComboBox::NoInsert);
  cboAddress->setCompleter(nullptr);
  cboAddress->setFont(platform::designFont(9.75));
  cboAddress->setStyleSheet(QStringLiteral("QComboBox { background: rgb(255, 224, 192); }"));
  cboAddress->setEditText(QStringLiteral("default.htm"));
  // A key typed by the operator reaches the combo, which hands it to its line edit directly,
  // past any filter there: Enter is caught on the combo itself.
  cboAddress->installEventFilter(this);

  Command1 = new QPushButton(tr("Close"), this);
  platform::placeControl(Command1, "Command1", 11280, 120, 1575, 375);
  Command1->setFont(platform::designFont(9.75, true));
  Command1->setAutoDefault(false);

  setTabOrder(cboAddress, Command1);
  setTabOrder(Command1, brwWebBrowser);

  timTimer = new QTimer(this);
  timTimer->setObjectName(QStringLiteral("timTimer"));
  timTimer->setInterval(5);

  connect(Command1, &QPushButton::clicked, this, &Browser::Command1_Click);
  connect(cboAddress, qOverload<int>(&QComboBox::activated), this, &Browser::cboAddress_Click);
  connect(timTimer, &QTimer::timeout, this, &Browser::timTimer_Timer);
  connect(tbToolBar, &QToolBar::actionTriggered, this, &Browser::tbToolBar_ButtonClick);
  connect(brwWebBrowser, &QWebEngineView::loadStarted, this, [this] { busy_ = true; });
  connect(brwWebBrowser, &QWebEngineView::loadFinished, this, [this] {
    busy_ = false;
    brwWebBrowser_DownloadComplete();
  });
}

void Browser::Form_Load() {
  ignoringErrors([this] { show(); });
  ignoringErrors([this] { tbToolBar->update(); });
  ignoringErrors([this] { Form_Resize(); });
  const QString address = app::state().HelpAddress;
  if (address.isEmpty()) return;
  ignoringErrors([&] { cboAddress->setEditText(address); });
  ignoringErrors([&] { cboAddress->addItem(address); });
  ignoringErrors([this] { timTimer->start(); });
  ignoringErrors([&] { Navigate(address); });
}

void Browser::Navigate(const QString& address) {
  // Busy from the request on, as the page may take a moment to report that it started.
  busy_ = true;
  brwWebBrowser->load(
      QUrl::fromUserInput(address.trimmed(), QDir::currentPath(), QUrl::AssumeLocalFile));
}

QString Browser::LocationName() const {
  const QString title = brwWebBrowser->title();
  return title.isEmpty() ? brwWebBrowser->url().toDisplayString() : title;
}

void Browser::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Form_Resize();
}

void Browser::Form_Resize() {
  // Minimised or very small windows would give negative sizes: skip or clamp at zero.
  if (isMinimized()) return;
  const double w = platform::pixelsToTwipsX(width());
  const double h = platform::pixelsToTwipsY(height());
  tbToolBar->resize(width(), tbToolBar->height());
  cboAddress->resize(platform::twipsToPixelsX(std::max(0.0, w - 5000)), cboAddress->height());
  brwWebBrowser->resize(platform::twipsToPixelsX(std::max(0.0, w - 300)),
                        platform::twipsToPixelsY(std::max(0.0, h - 800)));
}

void Browser::Command1_Click() { close(); }

void Browser::closeEvent(QCloseEvent* event) {
  timTimer->stop();
  QWidget::closeEvent(event);
  app::Forms::unload(this);
}

void Browser::cboAddress_Click() {
  timTimer->start();
  Navigate(cboAddress->currentText());
}

bool Browser::eventFilter(QObject* watched, QEvent* event) {
  if (watched == cboAddress && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      cboAddress_KeyPress(13);
      return true;  // the combo must not act on Enter itself
    }
  }
  return QWidget::eventFilter(watched, event);
}

void Browser::cboAddress_KeyPress(int keyAscii) {
  if (keyAscii == 13) ignoringErrors([this] { cboAddress_Click(); });
}

void Browser::timTimer_Timer() {
  if (Busy()) {
    setWindowTitle(tr("Working..."));
  } else {
    timTimer->stop();
    setWindowTitle(LocationName());
  }
}

void Browser::tbToolBar_ButtonClick(QAction* button) {
  timTimer->start();
  const QString key = button->data().toString();
  ignoringErrors([&] {
    QWebEngineHistory* history = brwWebBrowser->history();
    if (key == QLatin1String("Back")) {
      // With no earlier page there is nothing to do, and nothing to wait for.
      if (history->canGoBack()) {
        busy_ = true;
        brwWebBrowser->back();
      }
    } else if (key == QLatin1String("Forward")) {
      if (history->canGoForward()) {
        busy_ = true;
        brwWebBrowser->forward();
      }
    } else if (key == QLatin1String("Stop")) {
      timTimer->stop();
      brwWebBrowser->stop();
      busy_ = false;
      setWindowTitle(LocationName());
    } else if (key == QLatin1String("Refresh")) {
      busy_ = true;
      brwWebBrowser->reload();
    } else if (key == QLatin1String("Home")) {
      Navigate(QString::fromLatin1(bundledHelpPage));
    } else if (key == QLatin1String("Search")) {
      Navigate(QString::fromLatin1(bundledSearchPage));
    }
  });
}

void Browser::brwWebBrowser_DownloadComplete() {
  ignoringErrors([this] { setWindowTitle(LocationName()); });
}

void showHelp() {
  app::state().HelpAddress = helpPageAddress();
  // An open browser is only brought up: the registry hands back the loaded one untouched.
  Browser& browser = app::Forms::get<Browser>();
  browser.show();
  browser.raise();
  browser.activateWindow();
}

}  // namespace help
