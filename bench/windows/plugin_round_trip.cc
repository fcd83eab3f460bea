// Benchmark tool (Windows; scripts/bench runs it under Wine, the tests never
// do): what the audio plugin's side of one method call costs. The bytes of
// a call are decoded by the standard method codec, routed by the plugin's
// own dispatcher to its handler, and the answer is encoded into reply bytes
// as the channel's result does; for "setVolume" and for
// "getSystemAudioDevices" with 16 endpoints of the tests' fake Core Audio
// (no system calls, so it runs at native speed under Wine). The messenger
// and method channel around it are measured natively by
// bench_channel_round_trip.
//
// Prints one line per call: the median and the fastest time per call over
// the repetitions (wall-clock time: Wine's thread times are too coarse, so
// on a busy machine the fastest repetition is the steadier figure) and the
// heap allocations per call (this program replaces operator new).
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "audio_plugin/windows_audio_plugin.h"
#include "bench/allocation_counter.h"
#include "channel/standard_method_codec.h"
#include "tests/audio_plugin/fake_audio_system.h"
#include "tests/audio_plugin/fake_core_audio.h"

namespace {

using flutter::EncodableValue;
using flutter::EncodableValueMap;
using flutter::StandardMethodCodec;

constexpr int kEndpoints = 16;
constexpr int kRepetitions = 11;

// Encodes the answer into reply bytes, as the channel's result does before
// it hands them to the embedding.
class EncodingResult : public WindowsAudioPlugin::MethodResult {
 public:
  explicit EncodingResult(std::vector<uint8_t>* reply) : reply_(reply) {}

 protected:
  void HandleSuccess(const EncodableValue* result) override {
    *reply_ = std::move(*StandardMethodCodec::SharedInstance().EncodeSuccessReply(result));
  }
  void HandleError(const std::string& code, const std::string& message,
                   const EncodableValue* details) override {
    *reply_ =
        std::move(*StandardMethodCodec::SharedInstance().EncodeErrorReply(code, message, details));
  }
  void HandleNotImplemented() override { reply_->clear(); }

 private:
  std::vector<uint8_t>* reply_;
};

std::vector<uint8_t> CallBytes(const std::string& method, EncodableValueMap arguments) {
  const WindowsAudioPlugin::MethodCall call(method,
                                            std::make_unique<EncodableValue>(std::move(arguments)));
  return *StandardMethodCodec::SharedInstance().EncodeCall(call);
}

struct Figures {
  double nanoseconds_per_call;
  double fastest_nanoseconds_per_call;
  double allocations_per_call;
  size_t reply_bytes;
  bool succeeded;
};

Figures Measure(WindowsAudioPlugin& plugin, FakeEnumerator& enumerator,
                const std::vector<uint8_t>& call_bytes, int calls) {
  const StandardMethodCodec& codec = StandardMethodCodec::SharedInstance();
  std::vector<uint8_t> reply;
  auto call_once = [&] {
    std::unique_ptr<WindowsAudioPlugin::MethodCall> call =
        codec.DecodeCall(call_bytes.data(), call_bytes.size());
    plugin.HandleMethodCall(*call, std::make_unique<EncodingResult>(&reply));
  };
  for (int i = 0; i < calls / 10 + 1; ++i) call_once();  // Warm up.

  std::vector<double> per_call;
  uint64_t allocations = 0;
  for (int repetition = 0; repetition < kRepetitions; ++repetition) {
    // The fakes record every call; their records are dropped between
    // repetitions, outside the timing.
    Fake().creations.clear();
    Fake().debug_lines.clear();
    enumerator.enum_requests.clear();
    enumerator.default_requests.clear();
    const uint64_t allocations_before = tovan::bench::AllocationCount();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i) call_once();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    allocations += tovan::bench::AllocationCount() - allocations_before;
    per_call.push_back(std::chrono::duration<double, std::nano>(elapsed).count() / calls);
  }
  std::sort(per_call.begin(), per_call.end());
  return {per_call[per_call.size() / 2], per_call.front(),
          static_cast<double>(allocations) / (static_cast<double>(calls) * kRepetitions),
          reply.size(), !reply.empty() && reply[0] == 0};
}

}  // namespace

int main() {
  ScopedFakeAudioSystem system;
  FakeEnumerator enumerator;
  std::vector<std::unique_ptr<FakeEndpoint>> endpoints;
  for (int i = 0; i < kEndpoints; ++i) {
    wchar_t id[64];
    swprintf(id, 64, L"{0.0.0.00000000}.{%08x-6b1d-4c2a-9f3e-%012x}",
             0x5a3c0000u + static_cast<unsigned>(i), 0x1000u * static_cast<unsigned>(i));
    endpoints.push_back(std::make_unique<FakeEndpoint>(
        id, L"Speakers (USB Audio Device " + std::to_wstring(i + 1) + L")", eRender));
    enumerator.collection.endpoints.push_back(endpoints.back().get());
    enumerator.known_endpoints.push_back(endpoints.back().get());
  }
  enumerator.default_endpoint = endpoints[3].get();
  Fake().enumerator = &enumerator;

  WindowsAudioPlugin plugin;
  struct Row {
    const char* name;
    std::vector<uint8_t> bytes;
    int calls;
  };
  const Row rows[] = {
      {"setVolume", CallBytes("setVolume", EncodableValueMap{{"volume", 0.5}}), 20000},
      {"getSystemAudioDevices/16",
       CallBytes("getSystemAudioDevices", EncodableValueMap{{"isCapture", false}}), 2000},
  };
  std::printf("%-28s %14s %14s %12s %12s\n", "call (plugin side, Wine)", "median ns/call",
              "fastest ns", "allocs/call", "reply bytes");
  int status = 0;
  for (const Row& row : rows) {
    const Figures figures = Measure(plugin, enumerator, row.bytes, row.calls);
    std::printf("%-28s %14.0f %14.0f %12.1f %12zu%s\n", row.name, figures.nanoseconds_per_call,
                figures.fastest_nanoseconds_per_call, figures.allocations_per_call,
                figures.reply_bytes, figures.succeeded ? "" : "  (not answered with success)");
    if (!figures.succeeded) status = 1;
  }
  return status;
}
