// The general error report: a failure no handler traps becomes one message box titled "Error"
// whose text a person can read, and the program goes on.

#include <gtest/gtest.h>

#include <QEvent>
#include <QMainWindow>
#include <QPushButton>
#include <functional>
#include <new>
#include <stdexcept>

#include "kernelcad/core/text.h"
#include "platform/error_reporting.h"
#include "platform/msgbox.h"

namespace {

// A button whose handler fails as the test asks.
class FailingButton : public QPushButton {
 public:
  FailingButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {}
  std::function<void()> fail;

 protected:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) fail();
    return QPushButton::event(e);
  }
};

TEST(ErrorReport, TellsWhatFailedInReadableText) {
  struct Case {
    const char* name;
    QString button;
    std::function<void()> fail;
    QString shown;
  };
  const Case cases[] = {
      {"out of memory in a command", "&Left Foot", [] { throw std::bad_alloc(); },
       "not enough memory to carry out \"Left Foot\""},
      {"out of memory with no name for it", "", [] { throw std::bad_alloc(); },
       "not enough memory to finish the work of the window \"Scan File: a.wrl\""},
      {"out of memory in a named step", "Open",
       [] { throw kernelcad::NotEnoughMemory("read C:/scans/big.wrl"); },
       "not enough memory to read C:/scans/big.wrl"},
      // Bytes of a binary file quoted in a message: escaped, never turned into U+FFFD marks.
      {"bytes that are not UTF-8", "Open",
       [] {
         throw std::runtime_error("x.wrl, line 1: expected a node, found '\xFF\xFE' in pi\xC3\xA9");
       },
       QString::fromUtf8("x.wrl, line 1: expected a node, found '\\xFF\\xFE' in pi\xC3\xA9")},
      {"not an exception class", "Open", [] { throw 42; }, "Unknown error"},
  };
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int argc = 1;
  char name[] = "error_report_test";
  char* argv[] = {name, nullptr};
  platform::ErrorReportingApplication application(argc, argv);
  QMainWindow window;
  window.setWindowTitle("Scan File: a.wrl");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FailingButton button(c.button, &window);
    button.fail = c.fail;
    platform::MsgBoxScript messages;
    QEvent event(QEvent::User);
    // The event counts as handled, and the program goes on to the next.
    EXPECT_TRUE(QCoreApplication::sendEvent(&button, &event));
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, c.shown);
    EXPECT_EQ(messages.shown()[0].title, "Error");
    EXPECT_EQ(messages.shown()[0].icon, platform::MsgBoxIcon::Critical);
  }
}

}  // namespace
