#include "app/help_module.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

#include "platform/msgbox.h"

namespace app {

namespace {

QLibrary& helpModule() {
  static QLibrary module(QDir::cleanPath(QCoreApplication::applicationDirPath() + u'/' +
                                         QStringLiteral(QUARNEL_MODULES_FROM_BIN "/quarnel_help")));
  // Every symbol bound on loading: a module that does not fit this program is refused here, with
  // the reason, rather than failing at a later call.
  static const bool hinted = (module.setLoadHints(QLibrary::ResolveAllSymbolsHint), true);
  (void)hinted;
  return module;
}

}  // namespace

void openHelp() {
  QLibrary& module = helpModule();
  using Show = void (*)();
  const auto show = reinterpret_cast<Show>(module.resolve("quarnelShowHelp"));
  if (!show) {
    platform::MsgBox(QCoreApplication::translate("MainForm", "The help could not be opened: %1")
                         .arg(module.errorString()),
                     platform::MsgBoxButtons::OkOnly, platform::MsgBoxIcon::Critical);
    return;
  }
  show();
}

}  // namespace app
