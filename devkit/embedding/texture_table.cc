#include "devkit/embedding/texture_table.h"

namespace devkit {

int64_t TextureTable::Register(const FlutterDesktopTextureInfo* info) {
  if (info == nullptr) return -1;
  if (info->type == kFlutterDesktopPixelBufferTexture) {
    if (info->pixel_buffer_config.callback == nullptr) return -1;
  } else if (info->type == kFlutterDesktopGpuSurfaceTexture) {
    if (info->gpu_surface_config.callback == nullptr) return -1;
  } else {
    return -1;
  }
  const int64_t id = ++last_id_;
  textures_[id] = Texture{*info, 0};
  return id;
}

bool TextureTable::MarkFrameAvailable(int64_t id) {
  auto it = textures_.find(id);
  if (it == textures_.end()) return false;
  ++it->second.frames_marked;
  return true;
}

bool TextureTable::Unregister(int64_t id, FlutterDesktopOnTextureUnregistered callback,
                              void* user_data) {
  const bool known = textures_.erase(id) > 0;
  if (callback != nullptr) callback(user_data);
  return known;
}

}  // namespace devkit
