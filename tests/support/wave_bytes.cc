#include "tests/support/wave_bytes.h"

#include <cstdint>

namespace tovan_test {

std::string WavBytes(unsigned samples) {
  std::string bytes;
  auto put32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  auto put16 = [&](std::uint16_t v) {
    bytes.push_back(static_cast<char>(v & 0xFF));
    bytes.push_back(static_cast<char>(v >> 8));
  };
  bytes += "RIFF";
  put32(36 + samples);
  bytes += "WAVEfmt ";
  put32(16);
  put16(1);     // PCM
  put16(1);     // mono
  put32(8000);  // samples per second
  put32(8000);  // bytes per second
  put16(1);     // block alignment
  put16(8);     // bits per sample
  bytes += "data";
  put32(samples);
  for (unsigned i = 0; i < samples; ++i) bytes.push_back(static_cast<char>(i % 16 < 8 ? 136 : 120));
  return bytes;
}

}  // namespace tovan_test
