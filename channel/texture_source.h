#ifndef CHANNEL_TEXTURE_SOURCE_H_
#define CHANNEL_TEXTURE_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <variant>

#include "channel/flutter_windows_api.h"

namespace flutter {

// A texture whose frames are copied from a pixel buffer the plugin fills.
class PixelBufferSource {
 public:
  // Called by the embedding with the size it wants; returns the buffer for
  // the current frame.
  using CopyBufferCallback =
      std::function<const FlutterDesktopPixelBuffer*(size_t width, size_t height)>;

  explicit PixelBufferSource(CopyBufferCallback copy_buffer)
      : copy_buffer_(std::move(copy_buffer)) {}

  const FlutterDesktopPixelBuffer* CopyPixelBuffer(size_t width, size_t height) const {
    return copy_buffer_(width, height);
  }

 private:
  CopyBufferCallback copy_buffer_;
};

// A texture whose frames are GPU surfaces of a kind the embedding knows.
class GpuSurfaceSource {
 public:
  using ObtainDescriptorCallback =
      std::function<const FlutterDesktopGpuSurfaceDescriptor*(size_t width, size_t height)>;

  GpuSurfaceSource(int32_t surface_type, ObtainDescriptorCallback obtain_descriptor)
      : surface_type_(surface_type), obtain_descriptor_(std::move(obtain_descriptor)) {}

  int32_t surface_type() const { return surface_type_; }

  const FlutterDesktopGpuSurfaceDescriptor* ObtainDescriptor(size_t width, size_t height) const {
    return obtain_descriptor_(width, height);
  }

 private:
  int32_t surface_type_;
  ObtainDescriptorCallback obtain_descriptor_;
};

// The content behind one external texture. The source must outlive the
// texture's registration: the embedding calls back into it.
using TextureSource = std::variant<PixelBufferSource, GpuSurfaceSource>;

}  // namespace flutter

#endif  // CHANNEL_TEXTURE_SOURCE_H_
