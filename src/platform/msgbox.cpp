#include "platform/msgbox.h"

#include <QApplication>
#include <QMessageBox>

#include "kernelcad/core/text.h"

namespace platform {

namespace {

QMessageBox::StandardButtons standardButtons(MsgBoxButtons buttons) {
  switch (buttons) {
    case MsgBoxButtons::OkCancel:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case MsgBoxButtons::YesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case MsgBoxButtons::YesNoCancel:
      return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MsgBoxButtons::OkOnly:
      break;
  }
  return QMessageBox::Ok;
}

QMessageBox::Icon standardIcon(MsgBoxIcon icon) {
  switch (icon) {
    case MsgBoxIcon::Critical:
      return QMessageBox::Critical;
    case MsgBoxIcon::Question:
      return QMessageBox::Question;
    case MsgBoxIcon::Exclamation:
      return QMessageBox::Warning;
    case MsgBoxIcon::Information:
      return QMessageBox::Information;
    case MsgBoxIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

MsgBoxResult firstButton(MsgBoxButtons buttons) {
  return buttons == MsgBoxButtons::OkOnly || buttons == MsgBoxButtons::OkCancel ? MsgBoxResult::Ok
                                                                                : MsgBoxResult::Yes;
}

}  // namespace

MsgBoxResult MsgBoxScript::take(ShownMessage message) {
  const MsgBoxButtons buttons = message.buttons;
  shown_.push_back(std::move(message));
  if (answers_.empty()) return firstButton(buttons);
  const MsgBoxResult result = answers_.front();
  answers_.erase(answers_.begin());
  return result;
}

QString MessageText(std::string_view bytes) {
  return QString::fromStdString(kernelcad::EscapeInvalidUtf8(bytes));
}

MsgBoxResult MsgBox(const QString& text, MsgBoxButtons buttons, MsgBoxIcon icon,
                    const QString& title, std::optional<MsgBoxResult> defaultButton) {
  const QString caption = title.isEmpty() ? QStringLiteral("QUARNEL") : title;
  if (MsgBoxScript* script = MsgBoxScript::active())
    return script->take({text, buttons, icon, caption, defaultButton});

  QMessageBox box(standardIcon(icon), caption, text, standardButtons(buttons),
                  QApplication::activeWindow());
  if (defaultButton) {
    static constexpr QMessageBox::StandardButton kButtons[] = {QMessageBox::Ok, QMessageBox::Cancel,
                                                               QMessageBox::Yes, QMessageBox::No};
    box.setDefaultButton(kButtons[static_cast<int>(*defaultButton)]);
  }
  switch (box.exec()) {
    case QMessageBox::Cancel:
      return MsgBoxResult::Cancel;
    case QMessageBox::Yes:
      return MsgBoxResult::Yes;
    case QMessageBox::No:
      return MsgBoxResult::No;
    default:
      return MsgBoxResult::Ok;
  }
}

}  // namespace platform
