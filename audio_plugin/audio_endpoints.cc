// Audio endpoint enumeration for "getSystemAudioDevices" and the endpoint check that precedes a
// default-endpoint switch.

#include "audio_plugin/audio_endpoints.h"

#include <objbase.h>
#include <propidl.h>
#include <propsys.h>

#include "audio_plugin/audio_system_calls.h"
#include "audio_plugin/com_apartment.h"
#include "audio_plugin/core_audio_ids.h"
#include "audio_plugin/text_conversion.h"
#include "audio_plugin/windows_audio_plugin.h"
#include "crash/crash_diagnostics.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr char kUnknownDeviceLabel[] = "Unknown device";

void WriteDebugLine(const char* text) { ActiveAudioSystemCalls().write_debug_line(text); }

// Owns a text that a COM interface allocated for its caller; freed with CoTaskMemFree on every
// path, including a conversion that throws.
class CoTaskText {
 public:
  CoTaskText() = default;
  ~CoTaskText() { CoTaskMemFree(text_); }
  CoTaskText(const CoTaskText&) = delete;
  CoTaskText& operator=(const CoTaskText&) = delete;

  wchar_t** Receive() { return &text_; }
  const wchar_t* get() const { return text_; }

 private:
  wchar_t* text_ = nullptr;
};

// Owns a property value read from a property store; cleared with PropVariantClear on every path.
class ScopedPropVariant {
 public:
  ScopedPropVariant() { PropVariantInit(&value_); }
  ~ScopedPropVariant() { PropVariantClear(&value_); }
  ScopedPropVariant(const ScopedPropVariant&) = delete;
  ScopedPropVariant& operator=(const ScopedPropVariant&) = delete;

  PROPVARIANT* Receive() { return &value_; }
  // The wide text the value holds, or null when it holds anything else: the pointer shares its
  // place with every other alternative, so the type tag decides whether it is a text at all.
  const wchar_t* Text() const { return value_.vt == VT_LPWSTR ? value_.pwszVal : nullptr; }

 private:
  PROPVARIANT value_;
};

// The endpoint's id in UTF-8, or the empty string when it cannot be read.
std::string ReadEndpointId(IMMDevice* device) {
  CoTaskText id;
  if (FAILED(device->GetId(id.Receive())) || id.get() == nullptr) return std::string();
  return WideToUtf8(id.get());
}

// The endpoint's friendly name in UTF-8, or "Unknown device" when it cannot be read as a text.
std::string ReadEndpointLabel(IMMDevice* device) {
  ComPtr<IPropertyStore> store;
  if (FAILED(device->OpenPropertyStore(STGM_READ, store.GetAddressOf())) || !store) {
    return kUnknownDeviceLabel;
  }
  ScopedPropVariant value;
  if (FAILED(store->GetValue(kDeviceFriendlyName, value.Receive())) || value.Text() == nullptr) {
    return kUnknownDeviceLabel;
  }
  return WideToUtf8(value.Text());
}

// The id of the default endpoint of `flow` for the console role; empty when there is none.
std::string ReadDefaultEndpointId(IMMDeviceEnumerator* enumerator, EDataFlow flow) {
  ComPtr<IMMDevice> device;
  if (FAILED(enumerator->GetDefaultAudioEndpoint(flow, eConsole, device.GetAddressOf())) ||
      !device) {
    return std::string();
  }
  return ReadEndpointId(device.Get());
}

flutter::EncodableValue EndpointEntry(std::string id, std::string label, bool is_default) {
  flutter::EncodableValueMap entry;
  entry.Entry(flutter::EncodableValue("deviceId")) = flutter::EncodableValue(std::move(id));
  entry.Entry(flutter::EncodableValue("label")) = flutter::EncodableValue(std::move(label));
  entry.Entry(flutter::EncodableValue("isDefault")) = flutter::EncodableValue(is_default);
  return flutter::EncodableValue(std::move(entry));
}

// The active endpoints of one data flow, or the error message of the step that failed.
struct EndpointListing {
  const char* error = nullptr;
  flutter::EncodableValueList entries;
};

EndpointListing ListActiveEndpoints(bool is_capture) {
  EndpointListing listing;
  ComPtr<IMMDeviceEnumerator> enumerator = CreateDeviceEnumerator();
  if (!enumerator) {
    listing.error = "Failed to create device enumerator";
    return listing;
  }
  const EDataFlow flow = is_capture ? eCapture : eRender;
  ComPtr<IMMDeviceCollection> collection;
  if (FAILED(
          enumerator->EnumAudioEndpoints(flow, DEVICE_STATE_ACTIVE, collection.GetAddressOf())) ||
      !collection) {
    listing.error = "Failed to enumerate endpoints";
    return listing;
  }
  const std::string default_id = ReadDefaultEndpointId(enumerator.Get(), flow);
  // A failing count lists nothing rather than failing the whole call.
  UINT count = 0;
  collection->GetCount(&count);
  for (UINT index = 0; index < count; ++index) {
    ComPtr<IMMDevice> device;
    if (FAILED(collection->Item(index, device.GetAddressOf())) || !device) continue;
    std::string id = ReadEndpointId(device.Get());
    std::string label = ReadEndpointLabel(device.Get());
    const bool is_default = !default_id.empty() && id == default_id;
    listing.entries.Append(EndpointEntry(std::move(id), std::move(label), is_default));
  }
  return listing;
}

}  // namespace

ComPtr<IMMDeviceEnumerator> CreateDeviceEnumerator() {
  ComPtr<IMMDeviceEnumerator> enumerator;
  const HRESULT hr = ActiveAudioSystemCalls().co_create_instance(
      kDeviceEnumeratorClass, nullptr, CLSCTX_ALL, kDeviceEnumeratorInterface,
      reinterpret_cast<void**>(enumerator.GetAddressOf()));
  if (FAILED(hr)) enumerator.Reset();
  return enumerator;
}

void WindowsAudioPlugin::GetSystemAudioDevices(bool is_capture,
                                               std::unique_ptr<MethodResult> result) {
  CrashDiagnostics::RecordAudioOp(AudioOp::kEndpointsEnumerated);
  ComApartment com;
  if (!com.usable()) {
    result->Error("COM_ERROR", "Failed to initialize COM");
    return;
  }
  EndpointListing listing = ListActiveEndpoints(is_capture);
  // Every interface is released by now; leave COM before answering.
  com.Leave();
  if (listing.error != nullptr) {
    result->Error("COM_ERROR", listing.error);
    return;
  }
  result->Success(flutter::EncodableValue(std::move(listing.entries)));
}

bool ValidateAudioDevice(const std::string& device_id, bool is_capture) {
  ComPtr<IMMDeviceEnumerator> enumerator = CreateDeviceEnumerator();
  if (!enumerator) return false;
  const std::wstring wide_id = Utf8ToWide(device_id);
  ComPtr<IMMDevice> device;
  if (FAILED(enumerator->GetDevice(wide_id.c_str(), device.GetAddressOf())) || !device) {
    WriteDebugLine("[WindowsAudioPlugin] ValidateAudioDevice: device not found");
    return false;
  }
  DWORD state = 0;
  if (FAILED(device->GetState(&state)) || (state & DEVICE_STATE_ACTIVE) == 0) {
    WriteDebugLine("[WindowsAudioPlugin] ValidateAudioDevice: device not active");
    return false;
  }
  // Endpoints that do not tell their data flow are given the benefit of the doubt.
  ComPtr<IMMEndpoint> endpoint;
  if (SUCCEEDED(device->QueryInterface(kEndpointInterface,
                                       reinterpret_cast<void**>(endpoint.GetAddressOf()))) &&
      endpoint) {
    EDataFlow flow = eRender;
    const HRESULT flow_hr = endpoint->GetDataFlow(&flow);
    endpoint.Reset();
    if (SUCCEEDED(flow_hr) && flow != (is_capture ? eCapture : eRender)) {
      WriteDebugLine(
          "[WindowsAudioPlugin] ValidateAudioDevice: wrong data flow (e.g. tried to set a "
          "microphone as speaker or vice versa)");
      return false;
    }
  }
  return true;
}
