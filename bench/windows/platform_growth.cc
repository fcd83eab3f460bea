// platform_growth: a development tool that calls one platform operation of
// the audio channel at a time in a loop, with nothing of the host around it,
// and prints what the process's private bytes and open handles grow by per
// 1,000 calls after a warm-up. It tells growth that belongs to the platform
// (or to Wine) from growth in the host: the soak (scripts/soak) measures the
// host, this measures the calls the host makes.
//
//   platform_growth.exe [CASE...] [--calls=N]    every case when none is named
//
// Each case runs the operation as the audio plugin does, on a thread that has
// entered a single-threaded apartment (as the host's UI thread has), and
// releases everything it obtained:
//   com-init          CoInitializeEx + CoUninitialize (answers S_FALSE here)
//   enumerator        CoCreateInstance of the device enumerator
//   list              enumerator, EnumAudioEndpoints (playback, active),
//                     GetCount, Item, GetId of each endpoint
//   default           enumerator, GetDefaultAudioEndpoint, GetId
//   names             enumerator, each endpoint's OpenPropertyStore and
//                     GetValue of its friendly name
//   device            enumerator, GetDevice of a listed id, GetState,
//                     QueryInterface IMMEndpoint, GetDataFlow
//   device-missing    enumerator, GetDevice of an id that names nothing
//   policy            CoCreateInstance of the audio-policy class, with
//                     CLSCTX_ALL as the plugin asks
//   policy-inproc     the same with CLSCTX_INPROC_SERVER only
//   play-stop         PlaySoundW of a short WAV file (async, looping), then
//                     PlaySoundW(null) to stop it
#include <windows.h>
// After windows.h, whose types they use.
#include <mmdeviceapi.h>
#include <mmsystem.h>
#include <objbase.h>
#include <propidl.h>
#include <propsys.h>
#include <wrl/client.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "audio_plugin/core_audio_ids.h"
#include "audio_plugin/policy_config.h"
#include "devkit/embedding/process_resources.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr int kWarmUpCalls = 200;

ComPtr<IMMDeviceEnumerator> Enumerator() {
  ComPtr<IMMDeviceEnumerator> enumerator;
  CoCreateInstance(kDeviceEnumeratorClass, nullptr, CLSCTX_ALL, kDeviceEnumeratorInterface,
                   reinterpret_cast<void**>(enumerator.GetAddressOf()));
  return enumerator;
}

std::wstring TakeId(IMMDevice* device) {
  wchar_t* id = nullptr;
  if (FAILED(device->GetId(&id)) || id == nullptr) return std::wstring();
  std::wstring copy = id;
  CoTaskMemFree(id);
  return copy;
}

// Calls `visit` with each active playback endpoint.
void ForEachEndpoint(const std::function<void(IMMDevice*)>& visit) {
  ComPtr<IMMDeviceEnumerator> enumerator = Enumerator();
  ComPtr<IMMDeviceCollection> collection;
  if (!enumerator || FAILED(enumerator->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE,
                                                           collection.GetAddressOf()))) {
    return;
  }
  UINT count = 0;
  collection->GetCount(&count);
  for (UINT i = 0; i < count; ++i) {
    ComPtr<IMMDevice> device;
    if (SUCCEEDED(collection->Item(i, device.GetAddressOf()))) visit(device.Get());
  }
}

// A short 16-bit mono tone in the temporary folder; its path.
std::wstring WriteTone() {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  const std::wstring path = std::wstring(folder) + L"platform_growth_tone.wav";
  constexpr uint32_t kRate = 8000;
  constexpr uint32_t kSamples = 1600;
  std::vector<int16_t> samples(kSamples);
  for (uint32_t i = 0; i < kSamples; ++i) {
    samples[i] = static_cast<int16_t>(3000 * std::sin(2 * 3.14159265 * 440 * i / kRate));
  }
  const uint32_t data_bytes = kSamples * 2;
  std::string bytes = "RIFF";
  auto put32 = [&bytes](uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  auto put16 = [&bytes](uint16_t v) {
    bytes.push_back(static_cast<char>(v & 0xFF));
    bytes.push_back(static_cast<char>(v >> 8));
  };
  put32(36 + data_bytes);
  bytes += "WAVEfmt ";
  put32(16);
  put16(1);  // PCM
  put16(1);  // mono
  put32(kRate);
  put32(kRate * 2);
  put16(2);
  put16(16);
  bytes += "data";
  put32(data_bytes);
  bytes.append(reinterpret_cast<const char*>(samples.data()), data_bytes);
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (file != nullptr) {
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
  }
  return path;
}

struct Case {
  const char* name;
  std::function<void()> call;
};

std::vector<Case> Cases(const std::wstring& device_id, const std::wstring& tone) {
  return {
      {"com-init",
       [] {
         const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
         if (hr == S_OK || hr == S_FALSE) CoUninitialize();
       }},
      {"enumerator", [] { Enumerator(); }},
      {"list", [] { ForEachEndpoint([](IMMDevice* device) { TakeId(device); }); }},
      {"default",
       [] {
         ComPtr<IMMDeviceEnumerator> enumerator = Enumerator();
         ComPtr<IMMDevice> device;
         if (enumerator && SUCCEEDED(enumerator->GetDefaultAudioEndpoint(eRender, eConsole,
                                                                         device.GetAddressOf()))) {
           TakeId(device.Get());
         }
       }},
      {"names",
       [] {
         ForEachEndpoint([](IMMDevice* device) {
           ComPtr<IPropertyStore> store;
           if (FAILED(device->OpenPropertyStore(STGM_READ, store.GetAddressOf()))) return;
           PROPVARIANT value;
           PropVariantInit(&value);
           store->GetValue(kDeviceFriendlyName, &value);
           PropVariantClear(&value);
         });
       }},
      {"device",
       [device_id] {
         ComPtr<IMMDeviceEnumerator> enumerator = Enumerator();
         ComPtr<IMMDevice> device;
         if (!enumerator || FAILED(enumerator->GetDevice(device_id.c_str(), device.GetAddressOf())))
           return;
         DWORD state = 0;
         device->GetState(&state);
         ComPtr<IMMEndpoint> endpoint;
         if (SUCCEEDED(device->QueryInterface(kEndpointInterface,
                                              reinterpret_cast<void**>(endpoint.GetAddressOf())))) {
           EDataFlow flow = eRender;
           endpoint->GetDataFlow(&flow);
         }
       }},
      {"device-missing",
       [] {
         ComPtr<IMMDeviceEnumerator> enumerator = Enumerator();
         ComPtr<IMMDevice> device;
         if (enumerator)
           enumerator->GetDevice(L"{0.0.0.00000000}.{nothing}", device.GetAddressOf());
       }},
      {"policy",
       [] {
         ComPtr<IUnknown> policy;
         CoCreateInstance(kPolicyConfigClass, nullptr, CLSCTX_ALL, kPolicyConfigInterface,
                          reinterpret_cast<void**>(policy.GetAddressOf()));
       }},
      {"policy-inproc",
       [] {
         ComPtr<IUnknown> policy;
         CoCreateInstance(kPolicyConfigClass, nullptr, CLSCTX_INPROC_SERVER, kPolicyConfigInterface,
                          reinterpret_cast<void**>(policy.GetAddressOf()));
       }},
      {"play-stop",
       [tone] {
         PlaySoundW(tone.c_str(), nullptr, SND_ASYNC | SND_NODEFAULT | SND_LOOP | SND_FILENAME);
         PlaySoundW(nullptr, nullptr, 0);
       }},
  };
}

}  // namespace

int main(int argc, char** argv) {
  // The host's UI thread is a single-threaded apartment for its whole life.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  long calls = 2000;
  std::vector<std::string> wanted;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument.rfind("--calls=", 0) == 0) {
      calls = std::strtol(argument.c_str() + 8, nullptr, 10);
    } else {
      wanted.push_back(argument);
    }
  }
  if (calls < 1) calls = 1;
  std::wstring device_id;
  ForEachEndpoint([&device_id](IMMDevice* device) {
    if (device_id.empty()) device_id = TakeId(device);
  });
  const std::wstring tone = WriteTone();
  const std::vector<Case> cases = Cases(device_id, tone);

  std::printf("%-16s %7s %18s %14s %9s\n", "case", "calls", "private KiB/1000", "handles/1000",
              "ms/call");
  bool any = false;
  for (const Case& item : cases) {
    bool chosen = wanted.empty();
    for (const std::string& name : wanted) chosen = chosen || name == item.name;
    if (!chosen) continue;
    any = true;
    for (int i = 0; i < kWarmUpCalls; ++i) item.call();
    const devkit::ProcessResources before = devkit::SampleProcessResources();
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (long i = 0; i < calls; ++i) item.call();
    QueryPerformanceCounter(&end);
    const devkit::ProcessResources after = devkit::SampleProcessResources();
    const double per_thousand = 1000.0 / static_cast<double>(calls);
    const double bytes = before.private_bytes && after.private_bytes
                             ? (static_cast<double>(*after.private_bytes) -
                                static_cast<double>(*before.private_bytes))
                             : NAN;
    const double handles =
        before.handles && after.handles
            ? (static_cast<double>(*after.handles) - static_cast<double>(*before.handles))
            : NAN;
    const double ms = static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 /
                      static_cast<double>(frequency.QuadPart) / static_cast<double>(calls);
    std::printf("%-16s %7ld %18.1f %14.2f %9.3f\n", item.name, calls, bytes / 1024 * per_thousand,
                handles * per_thousand, ms);
    std::fflush(stdout);
  }
  CoUninitialize();
  if (!any) {
    std::fprintf(stderr, "platform_growth: no such case\n");
    return 2;
  }
  return 0;
}
