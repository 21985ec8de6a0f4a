#include "platform/error_reporting.h"

#include <QAbstractButton>
#include <QAction>
#include <QMenu>
#include <exception>
#include <new>

#include "kernelcad/core/text.h"
#include "platform/msgbox.h"

namespace platform {

namespace {

QString withoutMnemonic(QString text) { return text.remove(u'&'); }

// What the operator asked for when the event failed, in words: the button or menu command
// it went to, else the window.
QString whatWasAsked(QObject* receiver) {
  if (const auto* button = qobject_cast<QAbstractButton*>(receiver))
    if (!button->text().isEmpty())
      return QStringLiteral("carry out \"%1\"").arg(withoutMnemonic(button->text()));
  if (const auto* menu = qobject_cast<QMenu*>(receiver))
    if (const QAction* action = menu->activeAction())
      return QStringLiteral("carry out \"%1\"").arg(withoutMnemonic(action->text()));
  if (const auto* widget = qobject_cast<QWidget*>(receiver))
    if (!widget->window()->windowTitle().isEmpty())
      return QStringLiteral("finish the work of the window \"%1\"")
          .arg(widget->window()->windowTitle());
  return QStringLiteral("finish the last command");
}

}  // namespace

ErrorReportingApplication::ErrorReportingApplication(int& argc, char** argv)
    : QApplication(argc, argv) {}

bool ErrorReportingApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::bad_alloc&) {
    // The memory the handler held is free again by now, so the message can be built.
    reportError(
        MessageText(kernelcad::NotEnoughMemory(whatWasAsked(receiver).toStdString()).what()));
  } catch (const std::exception& error) {
    reportError(MessageText(error.what()));
  } catch (...) {
    reportError(QStringLiteral("Unknown error"));
  }
  // The event counts as handled: what the handler did before the failure stays done.
  return true;
}

void reportError(const QString& description) {
  MsgBox(description, MsgBoxButtons::OkOnly, MsgBoxIcon::Critical, QStringLiteral("Error"));
}

}  // namespace platform
