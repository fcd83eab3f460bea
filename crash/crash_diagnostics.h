#pragma once

#include <atomic>
#include <cstdint>

// Codes stored in CrashDiagnostics::lastAudioOp, one per audio operation; crash reports print the
// number, so the values are fixed. Code 3 is not assigned.
enum class AudioOp : std::int32_t {
  kRingtoneStarted = 1,
  kRingtoneStopped = 2,
  kVolumeSet = 4,
  kEndpointsEnumerated = 5,
  kDefaultEndpointSwitch = 6,
};

// Four process-wide 32-bit cells that the audio plugin keeps up to date and the crash report
// prints. Writers (the thread that runs audio method calls) use atomic exchanges and an atomic
// increment and take no lock; the crash report writer reads them with plain loads on whatever
// thread faults, so a report shows recent values that need not be consistent with each other.
// The cells are constant-initialised to 0, so they are usable before any constructor has run.
struct CrashDiagnostics {
  static inline std::atomic<std::int32_t> lastAudioOp{0};
  static inline std::atomic<std::int32_t> lastSetEndpointHr{0};
  static inline std::atomic<std::int32_t> lastMciError{0};
  static inline std::atomic<std::int32_t> audioOpCount{0};

  // Records that an audio operation begins: stores its code and counts it.
  static void RecordAudioOp(AudioOp op) {
    lastAudioOp.exchange(static_cast<std::int32_t>(op));
    audioOpCount.fetch_add(1);
  }

  // Records the HRESULT of the latest attempt to make an endpoint the system default.
  static void RecordSetEndpointHr(std::int32_t hr) { lastSetEndpointHr.exchange(hr); }
};

// A crash handler may read the cells while the process is in any state; they must never take a
// lock or be wider than one machine word.
static_assert(std::atomic<std::int32_t>::is_always_lock_free);
static_assert(sizeof(std::atomic<std::int32_t>) == 4);
