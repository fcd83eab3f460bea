// Which library handles are alive, and the numbered names the trace gives
// them. A handle is a number from one counter for every kind, never given
// out twice, so a handle the host kept after its object ended (or never had)
// is refused by every exported function instead of being dereferenced, even
// when a newer object took the ended one's memory. Process-wide; any thread.
#ifndef DEVKIT_EMBEDDING_HANDLE_REGISTRY_H_
#define DEVKIT_EMBEDDING_HANDLE_REGISTRY_H_

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace devkit {

enum class HandleKind { kEngine, kController, kView, kMessenger, kRegistrar, kTextures };

class HandleRegistry {
 public:
  // Records a new live object and answers its new handle.
  uintptr_t Add(HandleKind kind, void* object);
  void Remove(uintptr_t handle);
  // The live object of `kind` behind `handle`, or nullptr.
  void* Find(HandleKind kind, const void* handle) const;
  // "engine#3" (numbered per kind in order of creation), "null" or "invalid".
  std::string Name(HandleKind kind, const void* handle) const;

 private:
  struct Entry {
    HandleKind kind;
    int number;
    void* object;
  };
  mutable std::mutex mutex_;
  uintptr_t last_handle_ = 0;
  std::map<uintptr_t, Entry> alive_;
  std::map<HandleKind, int> last_number_;
};

HandleRegistry& Handles();

// The handle of one library object, a member of it: alive from the
// object's construction to its destruction.
template <class Ref>
class LibraryHandle {
 public:
  LibraryHandle(HandleKind kind, void* object) : value_(Handles().Add(kind, object)) {}
  ~LibraryHandle() { Handles().Remove(value_); }
  LibraryHandle(const LibraryHandle&) = delete;
  LibraryHandle& operator=(const LibraryHandle&) = delete;

  Ref get() const { return reinterpret_cast<Ref>(value_); }

 private:
  uintptr_t value_;
};

}  // namespace devkit

#endif  // DEVKIT_EMBEDDING_HANDLE_REGISTRY_H_
