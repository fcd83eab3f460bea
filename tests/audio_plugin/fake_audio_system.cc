#include "tests/audio_plugin/fake_audio_system.h"

#include <cstdint>
#include <cwchar>

#include "tests/audio_plugin/fake_core_audio.h"
#include "tests/audio_plugin/fake_policy_config.h"

namespace {

// The identifiers, spelled out independently of the code under test.
constexpr CLSID kEnumeratorClass = {
    0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
constexpr IID kEnumeratorInterface = {
    0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
constexpr CLSID kPolicyClass = {
    0x870AF99C, 0x171D, 0x4F9E, {0xAF, 0x0D, 0xE6, 0x3D, 0xF4, 0x0C, 0x2B, 0xC9}};
constexpr IID kPolicyInterface = {
    0xF8679F50, 0x850A, 0x41CF, {0x9C, 0x72, 0x43, 0x0F, 0x29, 0x02, 0x90, 0xC8}};
constexpr CLSID kAlternateClass = {
    0x294935CE, 0xF637, 0x4E7C, {0xA4, 0x1B, 0xAB, 0x25, 0x54, 0x60, 0xB8, 0x62}};
constexpr IID kAlternateInterface = {
    0x568B9108, 0x44BF, 0x40B4, {0x90, 0x06, 0x86, 0xAF, 0xE5, 0xB5, 0xA6, 0x20}};

FakeAudioSystem g_fake;

void Before(const char* call) {
  if (g_fake.before_call) g_fake.before_call(call);
}

HRESULT WINAPI FakeCoInitializeEx(void* reserved, DWORD model) {
  Before("CoInitializeEx");
  ++g_fake.co_initialize_calls;
  g_fake.apartment_models.push_back(reserved == nullptr ? model : 0xFFFFFFFF);
  return g_fake.co_initialize_result;
}

void WINAPI FakeCoUninitialize() {
  Before("CoUninitialize");
  ++g_fake.co_uninitialize_calls;
  g_fake.references_at_uninitialize.push_back(FakeComObject::OutstandingReferences());
}

HRESULT HandOutPolicy(FakePolicyObject* object, HRESULT result, bool null_object, void** out) {
  if (FAILED(result)) return result;
  if (object == nullptr) return REGDB_E_CLASSNOTREG;
  if (null_object) return result;
  auto* unknown = static_cast<IUnknown*>(object->AsInterface());
  unknown->AddRef();
  *out = unknown;
  return result;
}

HRESULT WINAPI FakeCoCreateInstance(REFCLSID class_id, IUnknown* outer, DWORD context, REFIID iid,
                                    void** out) {
  Before("CoCreateInstance");
  *out = nullptr;
  FakeAudioSystem::Creation creation{"unknown class", false, outer == nullptr, context};
  HRESULT result = REGDB_E_CLASSNOTREG;
  if (IsEqualCLSID(class_id, kEnumeratorClass)) {
    creation.what = "enumerator";
    creation.interface_matches = IsEqualIID(iid, kEnumeratorInterface);
    if (g_fake.enumerator != nullptr && creation.interface_matches) {
      IMMDeviceEnumerator* enumerator = g_fake.enumerator;
      enumerator->AddRef();
      *out = enumerator;
      result = S_OK;
    }
  } else if (IsEqualCLSID(class_id, kPolicyClass)) {
    creation.what = "policy";
    creation.interface_matches = IsEqualIID(iid, kPolicyInterface);
    result = creation.interface_matches ? HandOutPolicy(g_fake.policy, g_fake.policy_create_result,
                                                        g_fake.policy_null, out)
                                        : E_NOINTERFACE;
  } else if (IsEqualCLSID(class_id, kAlternateClass)) {
    creation.what = "alternate";
    creation.interface_matches = IsEqualIID(iid, kAlternateInterface);
    result = creation.interface_matches
                 ? HandOutPolicy(g_fake.alternate, g_fake.alternate_create_result,
                                 g_fake.alternate_null, out)
                 : E_NOINTERFACE;
  }
  g_fake.creations.push_back(creation);
  return result;
}

BOOL WINAPI FakePlaySound(const wchar_t* sound, HMODULE module, DWORD flags) {
  Before("PlaySoundW");
  FakeAudioSystem::PlayCall call;
  if (sound != nullptr) call.sound = sound;
  call.module_null = module == nullptr;
  call.flags = flags;
  g_fake.play_calls.push_back(call);
  return g_fake.play_result;
}

HINSTANCE WINAPI FakeShellExecute(HWND owner, const wchar_t* verb, const wchar_t* file,
                                  const wchar_t* parameters, const wchar_t* directory, int show) {
  Before("ShellExecuteW");
  g_fake.shell_calls.push_back({owner == nullptr, verb ? verb : L"<null>", file ? file : L"<null>",
                                parameters == nullptr, directory == nullptr, show});
  return reinterpret_cast<HINSTANCE>(g_fake.shell_result);
}

bool FakeResolveUserCrashDirectory(wchar_t* buffer, std::size_t capacity) {
  Before("ResolveUserCrashDirectory");
  g_fake.resolve_capacities.push_back(capacity);
  for (std::size_t i = 0; i < capacity; ++i) {
    if (buffer[i] != L'\0') g_fake.resolve_buffer_was_zeroed = false;
  }
  if (!g_fake.crash_directory) return false;
  std::wcsncpy(buffer, g_fake.crash_directory->c_str(), capacity - 1);
  return true;
}

}  // namespace

void CaptureDebugLine(const char* text) {
  Before("OutputDebugStringA");
  g_fake.debug_lines.emplace_back(text);
}

FakeAudioSystem& Fake() { return g_fake; }

AudioSystemCalls FakeAudioSystemCalls() {
  AudioSystemCalls calls{};
  calls.co_initialize_ex = &FakeCoInitializeEx;
  calls.co_uninitialize = &FakeCoUninitialize;
  calls.co_create_instance = &FakeCoCreateInstance;
  calls.write_debug_line = &CaptureDebugLine;
  calls.play_sound = &FakePlaySound;
  calls.shell_execute = &FakeShellExecute;
  calls.resolve_user_crash_directory = &FakeResolveUserCrashDirectory;
  return calls;
}

ScopedFakeAudioSystem::ScopedFakeAudioSystem(const AudioSystemCalls& calls)
    : saved_(ActiveAudioSystemCalls()) {
  g_fake = FakeAudioSystem();
  ActiveAudioSystemCalls() = calls;
}

ScopedFakeAudioSystem::~ScopedFakeAudioSystem() { ActiveAudioSystemCalls() = saved_; }
