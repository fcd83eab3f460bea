#include "channel/registrar_cache.h"

#include <map>
#include <memory>
#include <utility>

namespace flutter {
namespace {

using RegistrarTable =
    std::map<FlutterDesktopPluginRegistrarRef, std::unique_ptr<PluginRegistrarWindows>>;

RegistrarTable& Table() {
  // Never destroyed: wrappers whose registrars never end live until the
  // process exits, and no exit-time destructor may run plugin code late.
  static RegistrarTable* table = new RegistrarTable();
  return *table;
}

}  // namespace

PluginRegistrarWindows* RegistrarCache::RegistrarFor(FlutterDesktopPluginRegistrarRef registrar) {
  if (registrar == nullptr) {
    return nullptr;
  }
  RegistrarTable& table = Table();
  auto wrapper = std::make_unique<PluginRegistrarWindows>(registrar);
  // An existing entry wins; the new wrapper is then discarded unused.
  auto entry = table.emplace(registrar, std::move(wrapper)).first;
  FlutterDesktopPluginRegistrarSetDestructionHandler(registrar, ForgetRegistrar);
  return entry->second.get();
}

void RegistrarCache::ForgetRegistrar(FlutterDesktopPluginRegistrarRef registrar) {
  RegistrarTable& table = Table();
  auto entry = table.find(registrar);
  if (entry == table.end()) {
    return;
  }
  // Out of the table before it is destroyed, so that plugin code running in
  // the destructor never finds a wrapper that is going away.
  std::unique_ptr<PluginRegistrarWindows> wrapper = std::move(entry->second);
  table.erase(entry);
}

}  // namespace flutter
