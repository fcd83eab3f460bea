#include "channel/texture_registrar.h"

#include <cstring>
#include <iostream>
#include <memory>

namespace flutter {
namespace {

const FlutterDesktopPixelBuffer* ForwardPixelBuffer(size_t width, size_t height, void* user_data) {
  return static_cast<const PixelBufferSource*>(user_data)->CopyPixelBuffer(width, height);
}

const FlutterDesktopGpuSurfaceDescriptor* ForwardGpuSurface(size_t width, size_t height,
                                                            void* user_data) {
  return static_cast<const GpuSurfaceSource*>(user_data)->ObtainDescriptor(width, height);
}

// Called once by the embedding; `user_data` is the callback's heap holder.
void ForwardUnregistered(void* user_data) {
  std::unique_ptr<std::function<void()>> callback(static_cast<std::function<void()>*>(user_data));
  if (*callback) {
    (*callback)();
  }
}

}  // namespace

TextureRegistrarImpl::TextureRegistrarImpl(FlutterDesktopTextureRegistrarRef texture_registrar)
    : texture_registrar_(texture_registrar) {}

TextureRegistrarImpl::~TextureRegistrarImpl() = default;

int64_t TextureRegistrarImpl::RegisterExternalTexture(const TextureSource* source) {
  // Bytes a kind does not use must reach the embedding as zero.
  FlutterDesktopTextureInfo info;
  std::memset(&info, 0, sizeof(info));
  if (const auto* pixels = source ? std::get_if<PixelBufferSource>(source) : nullptr) {
    info.type = kFlutterDesktopPixelBufferTexture;
    info.pixel_buffer_config.callback = ForwardPixelBuffer;
    info.pixel_buffer_config.user_data = const_cast<PixelBufferSource*>(pixels);
  } else if (const auto* surface = source ? std::get_if<GpuSurfaceSource>(source) : nullptr) {
    info.type = kFlutterDesktopGpuSurfaceTexture;
    info.gpu_surface_config.struct_size = sizeof(FlutterDesktopGpuSurfaceTextureConfig);
    info.gpu_surface_config.surface_type = surface->surface_type();
    info.gpu_surface_config.callback = ForwardGpuSurface;
    info.gpu_surface_config.user_data = const_cast<GpuSurfaceSource*>(surface);
  } else {
    std::cerr << "Attempting to register unknown texture variant." << std::endl;
    return -1;
  }
  return FlutterDesktopTextureRegistrarRegisterExternalTexture(texture_registrar_, &info);
}

bool TextureRegistrarImpl::MarkExternalTextureFrameAvailable(int64_t texture_id) {
  return FlutterDesktopTextureRegistrarMarkExternalTextureFrameAvailable(texture_registrar_,
                                                                         texture_id);
}

bool TextureRegistrarImpl::UnregisterExternalTexture(int64_t texture_id) {
  UnregisterExternalTexture(texture_id, nullptr);
  return true;
}

void TextureRegistrarImpl::UnregisterExternalTexture(int64_t texture_id,
                                                     std::function<void()> callback) {
  if (!callback) {
    FlutterDesktopTextureRegistrarUnregisterExternalTexture(texture_registrar_, texture_id, nullptr,
                                                            nullptr);
    return;
  }
  auto holder = std::make_unique<std::function<void()>>(std::move(callback));
  FlutterDesktopTextureRegistrarUnregisterExternalTexture(texture_registrar_, texture_id,
                                                          ForwardUnregistered, holder.release());
}

}  // namespace flutter
