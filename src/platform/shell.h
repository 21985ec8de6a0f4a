#pragma once

#include <QString>
#include <vector>

#include "platform/scoped_hook.h"

namespace platform {

// Hands `address` to the desktop's "open" for its kind (a web address goes to the default web
// browser). Returns whether the desktop took it; callers that report nothing may ignore it.
bool ShellOpen(const QString& address);

// While one of these lives, ShellOpen opens nothing: it records each address and answers with
// `result`. Tests use it so that a click on a link never starts a real browser.
class ShellOpenScript : public ScopedHook<ShellOpenScript> {
 public:
  explicit ShellOpenScript(bool result = true) : result_(result) {}

  const std::vector<QString>& opened() const { return opened_; }
  void clear() { opened_.clear(); }

 private:
  friend bool ShellOpen(const QString&);

  bool result_;
  std::vector<QString> opened_;
};

}  // namespace platform
