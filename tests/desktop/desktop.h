#pragma once

// A desktop of its own for the program under test: an X display with a window manager, and
// input synthesized from outside the program as a person's mouse and keyboard give it.

#include <QPoint>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>

namespace desktop {

// Starts a program that ends with this process, however this process ends: a test stopped by
// its time limit must not leave a display, a window manager or the program behind.
void startTied(QProcess& process, const QString& program, const QStringList& arguments);

class Desktop {
 public:
  // Starts an X server on a free display and the window manager on it; check started().
  Desktop();
  ~Desktop();
  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;

  bool started() const { return started_; }
  QString display() const { return display_; }
  // The environment a program on this desktop starts with.
  QProcessEnvironment environment() const;

  // xdotool with these arguments; its output, trimmed.
  QString xdotool(const QStringList& arguments) const;
  // The title of the window that has the focus; empty when none has.
  QString activeTitle() const;
  // Waits until the focused window's title matches `pattern` (a regular expression); false after
  // `ms`. The message then names the title it had.
  bool waitActive(const QString& pattern, int ms, QString* seen = nullptr) const;
  // The id of a window whose title matches `pattern`, waiting for it up to `ms`; empty if none.
  QString waitWindow(const QString& pattern, int ms) const;
  // Mouse clicks (1 or 2) at a point of a window's client area, in the window's own pixels as
  // this process lays the same windows out (it runs at the program's screen scale).
  void click(const QString& window, QPoint at, int clicks = 1) const;
  // Brings a window to the front as a click on its taskbar entry does: a request to the window
  // manager, which the program sees only as the focus coming to it.
  void raise(const QString& window) const;
  void keys(const QStringList& keys) const;
  void type(const QString& text) const;

 private:
  QString display_;
  std::unique_ptr<QProcess> server_;
  std::unique_ptr<QProcess> windowManager_;
  bool started_ = false;
};

}  // namespace desktop
