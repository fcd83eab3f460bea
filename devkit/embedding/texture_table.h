// The external textures registered with one engine. Nothing is drawn from
// them; the table keeps each registration's record so that ids, frame marks
// and unregistration behave as the host expects. Owned by the engine; used on
// the UI thread.
#ifndef DEVKIT_EMBEDDING_TEXTURE_TABLE_H_
#define DEVKIT_EMBEDDING_TEXTURE_TABLE_H_

#include <cstdint>
#include <map>

#include "channel/flutter_windows_api.h"
#include "devkit/embedding/handle_registry.h"

namespace devkit {

class TextureTable {
 public:
  TextureTable() = default;
  TextureTable(const TextureTable&) = delete;
  TextureTable& operator=(const TextureTable&) = delete;

  FlutterDesktopTextureRegistrarRef handle() const { return handle_.get(); }

  // The new texture's id (from 1, never reused), or -1 for a null record,
  // an unknown kind or a kind without its callback.
  int64_t Register(const FlutterDesktopTextureInfo* info);
  // True when the id is registered.
  bool MarkFrameAvailable(int64_t id);
  // Removes the id; the callback, when given, is called once afterwards
  // whether or not the id was known, so its owner can free its context.
  // Answers whether the id was registered.
  bool Unregister(int64_t id, FlutterDesktopOnTextureUnregistered callback, void* user_data);

  size_t size() const { return textures_.size(); }

 private:
  struct Texture {
    FlutterDesktopTextureInfo info;
    uint64_t frames_marked = 0;
  };
  int64_t last_id_ = 0;
  std::map<int64_t, Texture> textures_;
  LibraryHandle<FlutterDesktopTextureRegistrarRef> handle_{HandleKind::kTextures, this};
};

}  // namespace devkit

#endif  // DEVKIT_EMBEDDING_TEXTURE_TABLE_H_
