#include "devkit/embedding/handle_registry.h"

namespace devkit {
namespace {

const char* KindName(HandleKind kind) {
  switch (kind) {
    case HandleKind::kEngine:
      return "engine";
    case HandleKind::kController:
      return "controller";
    case HandleKind::kView:
      return "view";
    case HandleKind::kMessenger:
      return "messenger";
    case HandleKind::kRegistrar:
      return "registrar";
    case HandleKind::kTextures:
      return "textures";
  }
  return "handle";
}

uintptr_t Key(const void* handle) { return reinterpret_cast<uintptr_t>(handle); }

}  // namespace

uintptr_t HandleRegistry::Add(HandleKind kind, void* object) {
  std::lock_guard<std::mutex> lock(mutex_);
  const uintptr_t handle = ++last_handle_;
  alive_[handle] = Entry{kind, ++last_number_[kind], object};
  return handle;
}

void HandleRegistry::Remove(uintptr_t handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  alive_.erase(handle);
}

void* HandleRegistry::Find(HandleKind kind, const void* handle) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = alive_.find(Key(handle));
  return it != alive_.end() && it->second.kind == kind ? it->second.object : nullptr;
}

std::string HandleRegistry::Name(HandleKind kind, const void* handle) const {
  if (handle == nullptr) return "null";
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = alive_.find(Key(handle));
  if (it == alive_.end() || it->second.kind != kind) return "invalid";
  return std::string(KindName(kind)) + "#" + std::to_string(it->second.number);
}

HandleRegistry& Handles() {
  // Never destroyed: the host may still call in while the process exits.
  static HandleRegistry* registry = new HandleRegistry();
  return *registry;
}

}  // namespace devkit
