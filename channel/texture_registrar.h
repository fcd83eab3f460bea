#ifndef CHANNEL_TEXTURE_REGISTRAR_H_
#define CHANNEL_TEXTURE_REGISTRAR_H_

#include <cstddef>
#include <cstdint>
#include <functional>

#include "channel/flutter_windows_api.h"
#include "channel/texture_source.h"

namespace flutter {

// Registers external textures with the embedding. Each plugin registrar
// wrapper owns one; used on the thread that runs the window's message loop.
class TextureRegistrar {
 public:
  virtual ~TextureRegistrar() = default;

  // Returns the new texture's id, or -1 when `source` is null or unknown.
  virtual int64_t RegisterExternalTexture(const TextureSource* source) = 0;

  virtual bool MarkExternalTextureFrameAvailable(int64_t texture_id) = 0;

  // Unregisters without waiting for completion; always true.
  virtual bool UnregisterExternalTexture(int64_t texture_id) = 0;

  // Unregisters and calls `callback` (which may be empty) once the embedding
  // has let go of the texture.
  virtual void UnregisterExternalTexture(int64_t texture_id, std::function<void()> callback) = 0;
};

// TextureRegistrar over the embedding's texture registrar handle, which it
// does not own.
class TextureRegistrarImpl : public TextureRegistrar {
 public:
  explicit TextureRegistrarImpl(FlutterDesktopTextureRegistrarRef texture_registrar);
  ~TextureRegistrarImpl() override;

  TextureRegistrarImpl(const TextureRegistrarImpl&) = delete;
  TextureRegistrarImpl& operator=(const TextureRegistrarImpl&) = delete;

  int64_t RegisterExternalTexture(const TextureSource* source) override;
  bool MarkExternalTextureFrameAvailable(int64_t texture_id) override;
  bool UnregisterExternalTexture(int64_t texture_id) override;
  void UnregisterExternalTexture(int64_t texture_id, std::function<void()> callback) override;

 private:
  FlutterDesktopTextureRegistrarRef texture_registrar_;
};

}  // namespace flutter

#endif  // CHANNEL_TEXTURE_REGISTRAR_H_
