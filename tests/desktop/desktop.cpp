#include "desktop.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QThread>

namespace desktop {

namespace {

// Short polls while a window comes or goes: the program is another process, so there is no
// event of ours to wait on.
constexpr int kPollMs = 50;

QString freeDisplay() {
  for (int n = 200 + static_cast<int>(QCoreApplication::applicationPid() % 300); n < 1000; ++n) {
    if (!QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) &&
        !QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
      return QStringLiteral(":%1").arg(n);
  }
  return QString();
}

}  // namespace

void startTied(QProcess& process, const QString& program, const QStringList& arguments) {
  process.start(QStringLiteral("setpriv"),
                QStringList{"--pdeathsig", "KILL", "--", program} + arguments);
}

Desktop::Desktop() : display_(freeDisplay()) {
  if (display_.isEmpty()) return;
  server_ = std::make_unique<QProcess>();
  startTied(
      *server_, QStringLiteral("Xvfb"),
      // 96 dpi: the tests lay their own windows out at the same (tests/desktop/CMakeLists.txt).
      {display_, "-screen", "0", "1600x1200x24", "-dpi", "96", "-nolisten", "tcp", "-noreset"});
  if (!server_->waitForStarted()) return;
  const QString socket = QStringLiteral("/tmp/.X11-unix/X") + display_.mid(1);
  QDeadlineTimer deadline(10000);
  while (!QFile::exists(socket) && !deadline.hasExpired()) QThread::msleep(kPollMs);
  if (!QFile::exists(socket)) return;

  windowManager_ = std::make_unique<QProcess>();
  windowManager_->setProcessEnvironment(environment());
  startTied(*windowManager_, QStringLiteral("openbox"), {});
  if (!windowManager_->waitForStarted()) return;
  // The manager has taken the display once it answers for the active window.
  while (!deadline.hasExpired()) {
    QProcess probe;
    probe.setProcessEnvironment(environment());
    probe.start(QStringLiteral("xdotool"), {"getactivewindow"});
    probe.waitForFinished();
    if (!probe.readAllStandardError().contains("support")) {
      started_ = true;
      return;
    }
    QThread::msleep(kPollMs);
  }
}

Desktop::~Desktop() {
  for (auto* process : {windowManager_.get(), server_.get()}) {
    if (!process) continue;
    process->terminate();
    if (!process->waitForFinished(3000)) process->kill();
    process->waitForFinished();
  }
}

QProcessEnvironment Desktop::environment() const {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("DISPLAY"), display_);
  return env;
}

QString Desktop::xdotool(const QStringList& arguments) const {
  QProcess process;
  process.setProcessEnvironment(environment());
  process.start(QStringLiteral("xdotool"), arguments);
  process.waitForFinished(10000);
  return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

QString Desktop::activeTitle() const { return xdotool({"getactivewindow", "getwindowname"}); }

bool Desktop::waitActive(const QString& pattern, int ms, QString* seen) const {
  const QRegularExpression title(pattern);
  QDeadlineTimer deadline(ms);
  QString now;
  do {
    now = activeTitle();
    if (title.match(now).hasMatch()) return true;
    QThread::msleep(kPollMs);
  } while (!deadline.hasExpired());
  if (seen) *seen = now;
  return false;
}

QString Desktop::waitWindow(const QString& pattern, int ms) const {
  QDeadlineTimer deadline(ms);
  do {
    const QString ids = xdotool({"search", "--onlyvisible", "--name", pattern});
    if (!ids.isEmpty()) return ids.split(u'\n').first();
    QThread::msleep(kPollMs);
  } while (!deadline.hasExpired());
  return QString();
}

void Desktop::click(const QString& window, QPoint at, int clicks) const {
  // The screen's pixels: on a scaled screen a window's point spans several.
  at = (QPointF(at) * qGuiApp->devicePixelRatio()).toPoint();
  xdotool({"mousemove", "--window", window, QString::number(at.x()), QString::number(at.y()),
           "click", "--repeat", QString::number(clicks), "--delay", "80", "1"});
}

void Desktop::raise(const QString& window) const { xdotool({"windowactivate", "--sync", window}); }

void Desktop::keys(const QStringList& keys) const {
  xdotool(QStringList{"key", "--delay", "60"} + keys);
}

void Desktop::type(const QString& text) const { xdotool({"type", "--delay", "40", text}); }

}  // namespace desktop
