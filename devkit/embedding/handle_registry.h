// Which library handles are alive, and the numbered names the trace gives
// them. Every exported function looks its handles up here first, so a handle
// the host kept after its object ended (or never had) is refused instead of
// being dereferenced. Process-wide; any thread.
#ifndef DEVKIT_EMBEDDING_HANDLE_REGISTRY_H_
#define DEVKIT_EMBEDDING_HANDLE_REGISTRY_H_

#include <map>
#include <mutex>
#include <string>

namespace devkit {

enum class HandleKind { kEngine, kController, kView, kMessenger, kRegistrar, kTextures };

class HandleRegistry {
 public:
  // Records a new live object and gives it the next number of its kind.
  void Add(HandleKind kind, const void* object);
  void Remove(const void* object);
  bool IsAlive(HandleKind kind, const void* object) const;
  // "engine#3", "null" or "invalid".
  std::string Name(HandleKind kind, const void* object) const;

 private:
  struct Entry {
    HandleKind kind;
    int number;
  };
  mutable std::mutex mutex_;
  std::map<const void*, Entry> alive_;
  std::map<HandleKind, int> last_number_;
};

HandleRegistry& Handles();

}  // namespace devkit

#endif  // DEVKIT_EMBEDDING_HANDLE_REGISTRY_H_
