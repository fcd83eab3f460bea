#include "devkit/embedding/checked_call.h"

#include "devkit/embedding/contract.h"
#include "devkit/embedding/handle_registry.h"
#include "devkit/embedding/trace_writer.h"

namespace devkit {

Engine* CheckedCall::Live(FlutterDesktopEngineRef handle) {
  return static_cast<Engine*>(Find(HandleKind::kEngine, handle, "engine"));
}
ViewController* CheckedCall::Live(FlutterDesktopViewControllerRef handle) {
  return static_cast<ViewController*>(Find(HandleKind::kController, handle, "view controller"));
}
View* CheckedCall::Live(FlutterDesktopViewRef handle) {
  return static_cast<View*>(Find(HandleKind::kView, handle, "view"));
}
Messenger* CheckedCall::Live(FlutterDesktopMessengerRef handle) {
  return static_cast<Messenger*>(Find(HandleKind::kMessenger, handle, "messenger"));
}
Registrar* CheckedCall::Live(FlutterDesktopPluginRegistrarRef handle) {
  return static_cast<Registrar*>(Find(HandleKind::kRegistrar, handle, "registrar"));
}
TextureTable* CheckedCall::Live(FlutterDesktopTextureRegistrarRef handle) {
  return static_cast<TextureTable*>(Find(HandleKind::kTextures, handle, "texture registrar"));
}

bool CheckedCall::Present(const void* pointer, const char* what) {
  if (pointer != nullptr) return true;
  Violation(std::string("null ") + what);
  return false;
}

void CheckedCall::Violation(const std::string& text) const { ContractViolation(function_, text); }

void CheckedCall::Trace(const std::string& details) const {
  devkit::Trace().Line(function_ + (" " + details) + ThreadNote());
}

void* CheckedCall::Find(HandleKind kind, const void* handle, const char* kind_name) {
  if (void* object = Handles().Find(kind, handle)) return object;
  Violation(std::string(handle == nullptr ? "null " : "unknown or ended ") + kind_name + " handle");
  return nullptr;
}

}  // namespace devkit
