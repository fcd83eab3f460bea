// "setSystemDefaultAudioDevice": switching the system's default audio endpoint through the
// audio-policy interfaces.

#include "audio_plugin/default_endpoint.h"

#include <windows.h>
// After windows.h, whose types they use.
#include <objbase.h>
#include <wrl/client.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>

#include "audio_plugin/argument_rules.h"
#include "audio_plugin/audio_endpoints.h"
#include "audio_plugin/audio_system_calls.h"
#include "audio_plugin/com_apartment.h"
#include "audio_plugin/policy_config.h"
#include "audio_plugin/text_conversion.h"
#include "audio_plugin/windows_audio_plugin.h"
#include "crash/crash_diagnostics.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr ERole kRolesInOrder[] = {eConsole, eMultimedia, eCommunications};

template <typename Policy>
ComPtr<Policy> CreatePolicy(const CLSID& class_id, const IID& interface_id) {
  ComPtr<Policy> policy;
  const HRESULT hr = ActiveAudioSystemCalls().co_create_instance(
      class_id, nullptr, CLSCTX_ALL, interface_id, reinterpret_cast<void**>(policy.GetAddressOf()));
  if (FAILED(hr)) policy.Reset();
  return policy;
}

void LogRefusedRole(ERole role, HRESULT hr) {
  // The HRESULT is shown as its 32-bit pattern, so a failure always has eight hex digits.
  char line[128];
  std::snprintf(line, sizeof line,
                "[WindowsAudioPlugin] SetDefaultEndpoint failed role=%d hr=0x%" PRIx32
                " tid=%" PRIu32,
                static_cast<int>(role), static_cast<std::uint32_t>(hr),
                static_cast<std::uint32_t>(GetCurrentThreadId()));
  ActiveAudioSystemCalls().write_debug_line(line);
}

// Tries every role, whatever the earlier ones gave; true when all were switched.
template <typename Policy>
bool SetDefaultForEveryRole(Policy* policy, const std::wstring& device_id) {
  bool all_succeeded = true;
  for (ERole role : kRolesInOrder) {
    const HRESULT hr = policy->SetDefaultEndpoint(device_id.c_str(), role);
    CrashDiagnostics::RecordSetEndpointHr(static_cast<std::int32_t>(hr));
    if (FAILED(hr)) {
      LogRefusedRole(role, hr);
      all_succeeded = false;
    }
  }
  return all_succeeded;
}

// The outcome of a switch: null when every role was switched, else the error's code and message.
struct SwitchOutcome {
  const char* code = nullptr;
  const char* message = nullptr;
};

SwitchOutcome SwitchDefaultEndpoint(const std::string& device_id, bool is_capture) {
  if (!ValidateAudioDevice(device_id, is_capture)) {
    return {"INVALID_DEVICE", "Device does not exist, is not active, or has wrong type"};
  }
  ComPtr<IPolicyConfig> policy =
      CreatePolicy<IPolicyConfig>(kPolicyConfigClass, kPolicyConfigInterface);
  ComPtr<IPolicyConfigAlternate> alternate;
  if (!policy) {
    alternate = CreatePolicy<IPolicyConfigAlternate>(kPolicyConfigAlternateClass,
                                                     kPolicyConfigAlternateInterface);
  }
  if (!policy && !alternate) {
    return {"COM_ERROR", "Failed to create IPolicyConfig - unsupported OS?"};
  }
  const std::wstring wide_id = Utf8ToWide(device_id);
  const bool all_succeeded = alternate ? SetDefaultForEveryRole(alternate.Get(), wide_id)
                                       : SetDefaultForEveryRole(policy.Get(), wide_id);
  if (!all_succeeded) {
    return {"SET_DEFAULT_FAILED", "Failed to set default endpoint for one or more roles"};
  }
  return {};
}

}  // namespace

void WindowsAudioPlugin::HandleSetSystemDefaultAudioDevice(const MethodCall& call,
                                                           std::unique_ptr<MethodResult> result) {
  const flutter::EncodableValueMap* arguments = GetArgumentMap(call, *result);
  if (arguments == nullptr) return;
  std::string device_id;
  if (!GetStringArgument(*arguments, "deviceId", device_id, *result)) return;
  bool is_capture = false;
  if (!GetBoolArgument(*arguments, "isCapture", is_capture, *result)) return;
  SetSystemDefaultAudioDevice(device_id, is_capture, std::move(result));
}

void SetSystemDefaultAudioDevice(
    const std::string& device_id, bool is_capture,
    std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> result) {
  CrashDiagnostics::RecordAudioOp(AudioOp::kDefaultEndpointSwitch);
  ComApartment com;
  if (!com.usable()) {
    result->Error("COM_ERROR", "Failed to initialize COM");
    return;
  }
  const SwitchOutcome outcome = SwitchDefaultEndpoint(device_id, is_capture);
  // Every interface is released by now; leave COM before answering.
  com.Leave();
  if (outcome.code != nullptr) {
    result->Error(outcome.code, outcome.message);
  } else {
    result->Success(flutter::EncodableValue(true));
  }
}
