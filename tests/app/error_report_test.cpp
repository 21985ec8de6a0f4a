// The general error report: a failure no handler traps becomes one message box titled "Error"
// with a text a person can read, and the program goes on.

#include <gtest/gtest.h>

#include <QMainWindow>
#include <QPushButton>
#include <functional>
#include <new>
#include <stdexcept>

#include "platform/error_reporting.h"
#include "platform/msgbox.h"

namespace {

// A button whose handler fails as the test asks.
struct FailingButton : QPushButton {
  using QPushButton::QPushButton;
  std::function<void()> fail;
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) fail();
    return QPushButton::event(e);
  }
};

TEST(ErrorReport, OutOfMemoryAndBinaryBytesAreToldInReadableText) {
  const std::tuple<QString, std::function<void()>, QString> cases[] = {
      {"&Left Foot", [] { throw std::bad_alloc(); },
       "not enough memory to carry out \"Left Foot\""},
      {"", [] { throw std::bad_alloc(); },
       "not enough memory to finish the work of the window \"Scan File: a.wrl\""},
      {"Open", [] { throw std::runtime_error("x.wrl: found '\xFF\xFE' in pi\xC3\xA9"); },
       QString::fromUtf8("x.wrl: found '\\xff\\xfe' in pi\xC3\xA9")},
  };
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int argc = 1;
  char name[] = "error_report_test";
  char* argv[] = {name, nullptr};
  platform::ErrorReportingApplication application(argc, argv);
  QMainWindow window;
  window.setWindowTitle("Scan File: a.wrl");
  for (const auto& [text, fail, shown] : cases) {
    FailingButton button(text, &window);
    button.fail = fail;
    platform::MsgBoxScript messages;
    QEvent event(QEvent::User);
    EXPECT_TRUE(QCoreApplication::sendEvent(&button, &event));  // handled: the program goes on
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, shown);
  }
}

}  // namespace
