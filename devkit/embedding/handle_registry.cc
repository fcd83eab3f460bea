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

}  // namespace

void HandleRegistry::Add(HandleKind kind, const void* object) {
  std::lock_guard<std::mutex> lock(mutex_);
  alive_[object] = Entry{kind, ++last_number_[kind]};
}

void HandleRegistry::Remove(const void* object) {
  std::lock_guard<std::mutex> lock(mutex_);
  alive_.erase(object);
}

bool HandleRegistry::IsAlive(HandleKind kind, const void* object) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = alive_.find(object);
  return it != alive_.end() && it->second.kind == kind;
}

std::string HandleRegistry::Name(HandleKind kind, const void* object) const {
  if (object == nullptr) return "null";
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = alive_.find(object);
  if (it == alive_.end() || it->second.kind != kind) return "invalid";
  return std::string(KindName(kind)) + "#" + std::to_string(it->second.number);
}

HandleRegistry& Handles() {
  // Never destroyed: the host may still call in while the process exits.
  static HandleRegistry* registry = new HandleRegistry();
  return *registry;
}

}  // namespace devkit
