// One call of an exported function of the development embedding, named
// from its call site (CheckedCall call(__func__)): it checks the call's
// handles, thread and arguments against the interface's contract, reports
// each violation with the function's name (contract.h), and writes the
// call's trace line (trace_writer.h). Made on the stack of the call, on
// whichever thread makes it.
#ifndef DEVKIT_EMBEDDING_CHECKED_CALL_H_
#define DEVKIT_EMBEDDING_CHECKED_CALL_H_

#include <string>

#include "channel/flutter_windows_api.h"
#include "devkit/embedding/engine.h"
#include "devkit/embedding/messenger.h"
#include "devkit/embedding/registrar.h"
#include "devkit/embedding/texture_table.h"
#include "devkit/embedding/ui_thread.h"
#include "devkit/embedding/view.h"

namespace devkit {

class CheckedCall {
 public:
  explicit CheckedCall(const char* function) : function_(function) {}

  // The live object behind `handle`, or nullptr once a null handle, or one
  // never given out or already ended, is reported.
  Engine* Live(FlutterDesktopEngineRef handle);
  ViewController* Live(FlutterDesktopViewControllerRef handle);
  View* Live(FlutterDesktopViewRef handle);
  Messenger* Live(FlutterDesktopMessengerRef handle);
  Registrar* Live(FlutterDesktopPluginRegistrarRef handle);
  TextureTable* Live(FlutterDesktopTextureRegistrarRef handle);

  // As Live, for a function that belongs to the UI thread of the handle's
  // engine; a call on another thread is reported.
  template <class Ref>
  auto LiveOnUiThread(Ref handle) -> decltype(Live(handle)) {
    auto* object = Live(handle);
    if (object == nullptr || UiThreadOf(object).IsCurrent()) return object;
    Violation("called on a thread other than the UI thread");
    return nullptr;
  }

  // An argument the function cannot do without; reported when null.
  bool Present(const void* pointer, const char* what);

  void Violation(const std::string& text) const;

  // Writes the call's trace line: the function's name, then `details`.
  void Trace(const std::string& details) const;

 private:
  static UiThread& UiThreadOf(Engine* engine) { return engine->ui_thread(); }
  static UiThread& UiThreadOf(ViewController* controller) {
    return controller->engine()->ui_thread();
  }
  static UiThread& UiThreadOf(View* view) { return view->engine()->ui_thread(); }
  static UiThread& UiThreadOf(Messenger* messenger) { return messenger->ui_thread(); }
  static UiThread& UiThreadOf(Registrar* registrar) { return registrar->engine()->ui_thread(); }

  void* Find(HandleKind kind, const void* handle, const char* kind_name);

  const char* function_;
};

}  // namespace devkit

#endif  // DEVKIT_EMBEDDING_CHECKED_CALL_H_
