#include "state/window_registry.h"

#include <QCoreApplication>
#include <map>

namespace app {

namespace {

std::map<std::type_index, std::unique_ptr<QWidget>>& registry() {
  static std::map<std::type_index, std::unique_ptr<QWidget>> forms;
  return forms;
}

}  // namespace

QWidget* Forms::find(std::type_index type) {
  const auto it = registry().find(type);
  return it == registry().end() ? nullptr : it->second.get();
}

void Forms::add(std::type_index type, std::unique_ptr<QWidget> form) {
  registry()[type] = std::move(form);
}

bool Forms::isLoaded(const QWidget* form) {
  for (const auto& [type, loaded] : registry())
    if (loaded.get() == form) return true;
  return false;
}

void Forms::unload(QWidget* form) {
  auto& forms = registry();
  for (auto it = forms.begin(); it != forms.end(); ++it) {
    if (it->second.get() == form) {
      QWidget* released = it->second.release();
      forms.erase(it);
      released->hide();
      released->deleteLater();
      return;
    }
  }
}

void Forms::endProgram(int exitCode) {
  auto& forms = registry();
  while (!forms.empty()) unload(forms.begin()->second.get());
  QCoreApplication::exit(exitCode);
}

void Forms::destroyAll() {
  // Moved out first: a window's destructor must not find itself still registered.
  auto forms = std::move(registry());
  registry().clear();
  forms.clear();
}

}  // namespace app
