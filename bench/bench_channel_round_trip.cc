// What one method call costs the host's portable channel layer end to end:
// the bytes of a call handed to the messenger's callback as the embedding
// hands them, the method channel's decoding, a handler that does what the
// audio plugin's handler does with the portable argument rules, and the
// reply encoded and sent back. Time and heap allocations per call, for
// "setVolume" and for "getSystemAudioDevices" with 16 endpoints. The
// plugin's own dispatcher and its Core Audio calls need the Windows build;
// here the handler builds the same reply from fixed endpoint texts.
//
// Benchmark tool only. It stands in for the embedding library with the few
// messenger functions the channel layer calls, which keep only the last
// response, so that the figures are the host's and not a fake's bookkeeping.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "audio_plugin/argument_rules.h"
#include "bench/allocation_counter.h"
#include "channel/binary_messenger_impl.h"
#include "channel/encodable_value.h"
#include "channel/flutter_windows_api.h"
#include "channel/method_call_channel.h"
#include "channel/standard_method_codec.h"

struct FlutterDesktopMessenger {
  FlutterDesktopMessageCallback callback = nullptr;
  void* user_data = nullptr;
  std::vector<uint8_t> last_response;
  size_t responses = 0;
};

struct FlutterDesktopMessageResponseHandle {
  int id;
};

extern "C" {

bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef, const char*, const uint8_t*, size_t) {
  return false;
}
bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef, const char*, const uint8_t*,
                                          size_t, FlutterDesktopBinaryReply, void*) {
  return false;
}
void FlutterDesktopMessengerSendResponse(FlutterDesktopMessengerRef messenger,
                                         const FlutterDesktopMessageResponseHandle*,
                                         const uint8_t* data, size_t data_length) {
  messenger->last_response.assign(data, data + data_length);
  ++messenger->responses;
}
void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger, const char*,
                                        FlutterDesktopMessageCallback callback, void* user_data) {
  messenger->callback = callback;
  messenger->user_data = user_data;
}
FlutterDesktopMessengerRef FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger) {
  return messenger;
}
void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef) {}
bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef) { return true; }
FlutterDesktopMessengerRef FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger) {
  return messenger;
}
void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef) {}

}  // extern "C"

namespace tovan::bench {
namespace {

using flutter::EncodableValue;
using flutter::EncodableValueList;
using flutter::EncodableValueMap;

constexpr char kChannel[] = "com.brenmo.tovan/windows_audio";
constexpr int kEndpoints = 16;

struct Endpoint {
  std::string id;
  std::string name;
};

const std::vector<Endpoint>& Endpoints() {
  static const std::vector<Endpoint> endpoints = [] {
    std::vector<Endpoint> list;
    for (int i = 0; i < kEndpoints; ++i) {
      char id[64];
      std::snprintf(id, sizeof(id), "{0.0.0.00000000}.{%08x-6b1d-4c2a-9f3e-%012x}",
                    0x5a3c0000u + static_cast<unsigned>(i), 0x1000u * static_cast<unsigned>(i));
      list.push_back({id, "Speakers (USB Audio Device " + std::to_string(i + 1) + ")"});
    }
    return list;
  }();
  return endpoints;
}

// The audio plugin's handlers for the two methods, over the portable
// argument rules; the endpoint list comes from fixed texts.
void HandleCall(const flutter::MethodCall<EncodableValue>& call,
                std::unique_ptr<flutter::MethodResult<EncodableValue>> result) {
  if (call.GetMethodName() == "setVolume") {
    const EncodableValueMap* arguments = GetArgumentMap(call, *result);
    if (arguments == nullptr) return;
    double volume = 0.0;
    if (!GetNumberArgument(*arguments, "volume", volume, *result)) return;
    result->Success(EncodableValue(true));
    return;
  }
  if (call.GetMethodName() == "getSystemAudioDevices") {
    EncodableValueList devices;
    int index = 0;
    for (const Endpoint& endpoint : Endpoints()) {
      EncodableValueMap device;
      device.Entry(EncodableValue("id")) = EncodableValue(endpoint.id);
      device.Entry(EncodableValue("name")) = EncodableValue(endpoint.name);
      device.Entry(EncodableValue("isDefault")) = EncodableValue(index++ == 3);
      devices.Append(EncodableValue(std::move(device)));
    }
    result->Success(EncodableValue(std::move(devices)));
    return;
  }
  result->NotImplemented();
}

std::vector<uint8_t> CallBytes(const std::string& method,
                               std::unique_ptr<EncodableValue> arguments) {
  const flutter::MethodCall<EncodableValue> call(method, std::move(arguments));
  return *flutter::StandardMethodCodec::SharedInstance().EncodeCall(call);
}

void RoundTrip(benchmark::State& state, const std::vector<uint8_t>& call) {
  FlutterDesktopMessenger embedding;
  flutter::BinaryMessengerImpl messenger(&embedding);
  const flutter::MethodCallChannel channel(&messenger, kChannel,
                                           &flutter::StandardMethodCodec::SharedInstance());
  channel.SetCallHandler(HandleCall);
  FlutterDesktopMessageResponseHandle handle{1};
  FlutterDesktopMessage message = {};
  message.struct_size = sizeof(message);
  message.channel = kChannel;
  message.message = call.data();
  message.message_size = call.size();
  message.response_handle = &handle;

  const uint64_t allocations_before = AllocationCount();
  for (auto _ : state) {
    embedding.callback(&embedding, &message, embedding.user_data);
    benchmark::DoNotOptimize(embedding.last_response.data());
    benchmark::ClobberMemory();
  }
  state.counters["allocs"] = static_cast<double>(AllocationCount() - allocations_before) /
                             static_cast<double>(std::max<int64_t>(state.iterations(), 1));
  state.counters["reply_bytes"] = static_cast<double>(embedding.last_response.size());
  if (embedding.responses != static_cast<size_t>(state.iterations()) ||
      embedding.last_response.empty() || embedding.last_response[0] != 0) {
    state.SkipWithError("the call was not answered with a success reply");
  }
}

}  // namespace
}  // namespace tovan::bench

int main(int argc, char** argv) {
  using namespace tovan::bench;
  static const std::vector<uint8_t> set_volume =
      CallBytes("setVolume", std::make_unique<EncodableValue>(EncodableValueMap{{"volume", 0.5}}));
  static const std::vector<uint8_t> get_devices =
      CallBytes("getSystemAudioDevices",
                std::make_unique<EncodableValue>(EncodableValueMap{{"isCapture", false}}));
  benchmark::RegisterBenchmark("round_trip/setVolume", RoundTrip, set_volume);
  benchmark::RegisterBenchmark("round_trip/getSystemAudioDevices/16", RoundTrip, get_devices);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
