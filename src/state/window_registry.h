#pragma once

#include <QWidget>
#include <memory>
#include <typeindex>
#include <utility>

namespace app {

// The window registry: each window type has at most one instance. The first reference creates it
// and runs its Form_Load before the caller goes on; unloading destroys it, and the next reference
// creates it afresh. Window classes provide a public `void Form_Load()`; what a window is built
// with (say, the window it works on) is passed on to its constructor when it is created.
class Forms {
 public:
  template <class T, class... Args>
  static T& get(Args&&... args) {
    if (QWidget* existing = find(typeid(T))) return static_cast<T&>(*existing);
    auto created = std::make_unique<T>(std::forward<Args>(args)...);
    T& form = *created;
    // Registered before Form_Load, so a load step that refers to its own window finds it.
    add(typeid(T), std::move(created));
    form.Form_Load();
    return form;
  }

  // The loaded instance, or null; never creates one.
  template <class T>
  static T* loaded() {
    return static_cast<T*>(find(typeid(T)));
  }

  // Whether `form` is loaded: false once it is unloaded, even before it is destroyed.
  static bool isLoaded(const QWidget* form);

  // Unloads a window: hidden at once, destroyed when control returns to the event loop (it may
  // be unloading itself from one of its own handlers). Its close steps are the caller's business.
  static void unload(QWidget* form);

  // Ends the program: every window goes without its close steps and the event loop is told to
  // finish with `exitCode`.
  static void endProgram(int exitCode = 0);

  // Destroys every loaded window now; for the end of main and for tests between sessions.
  static void destroyAll();

 private:
  static QWidget* find(std::type_index type);
  static void add(std::type_index type, std::unique_ptr<QWidget> form);
};

}  // namespace app
