#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/scoped_hook.h"

namespace platform {

enum class MsgBoxButtons { OkOnly, OkCancel, YesNo, YesNoCancel };
enum class MsgBoxIcon { None, Critical, Question, Exclamation, Information };
enum class MsgBoxResult { Ok, Cancel, Yes, No };

// Every message the system shows goes through here: a modal box with the text, the buttons and
// the icon, titled "QUARNEL" unless a title is given. Returns the button pressed. The first
// button is the default unless `defaultButton` names another.
MsgBoxResult MsgBox(const QString& text, MsgBoxButtons buttons = MsgBoxButtons::OkOnly,
                    MsgBoxIcon icon = MsgBoxIcon::None, const QString& title = QString(),
                    std::optional<MsgBoxResult> defaultButton = std::nullopt);

// The text of an exception, or text quoted from a file, for a message: read as UTF-8, with every
// byte that is not valid UTF-8 shown as "\xHH" instead of a replacement mark.
QString MessageText(std::string_view bytes);

struct ShownMessage {
  QString text;
  MsgBoxButtons buttons;
  MsgBoxIcon icon;
  QString title;
  std::optional<MsgBoxResult> defaultButton;
};

// While one of these lives, MsgBox shows nothing: it records each message and answers it from
// the scripted answers in order, then with the first button (OK or Yes). Tests use it so that no
// real modal box ever waits for a click.
class MsgBoxScript : public ScopedHook<MsgBoxScript> {
 public:
  void answer(MsgBoxResult result) { answers_.push_back(result); }
  const std::vector<ShownMessage>& shown() const { return shown_; }
  void clear() { shown_.clear(); }

 private:
  friend MsgBoxResult MsgBox(const QString&, MsgBoxButtons, MsgBoxIcon, const QString&,
                             std::optional<MsgBoxResult>);
  MsgBoxResult take(ShownMessage message);

  std::vector<MsgBoxResult> answers_;
  std::vector<ShownMessage> shown_;
};

}  // namespace platform
