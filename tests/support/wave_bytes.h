// Test support: the bytes of a small WAV file, so that the ringtone has
// something real to play.
#ifndef TESTS_SUPPORT_WAVE_BYTES_H_
#define TESTS_SUPPORT_WAVE_BYTES_H_

#include <string>

namespace tovan_test {

// A valid 8-bit mono PCM WAV file of `samples` samples at 8000 Hz (a quiet
// 500 Hz tone).
std::string WavBytes(unsigned samples);

}  // namespace tovan_test

#endif  // TESTS_SUPPORT_WAVE_BYTES_H_
