#pragma once

// Test tool: a stand-in for the platform calls the audio plugin makes through its system-call
// table. It counts COM initialisations, hands out the test's fake Core Audio and policy objects,
// records sound-player and shell calls and captures the plugin's debugger-output lines. One fake
// is active at a time; install it with ScopedFakeAudioSystem.

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "audio_plugin/audio_system_calls.h"

class FakeEnumerator;
class FakePolicyObject;

struct FakeAudioSystem {
  // COM
  HRESULT co_initialize_result = S_OK;
  int co_initialize_calls = 0;
  int co_uninitialize_calls = 0;
  std::vector<DWORD> apartment_models;
  // References the code under test still held on fakes when it uninitialised COM.
  std::vector<long> references_at_uninitialize;

  // CoCreateInstance hands out these objects for their classes; absent objects make creation
  // fail with "class not registered", unless a result is set.
  FakeEnumerator* enumerator = nullptr;
  FakePolicyObject* policy = nullptr;
  HRESULT policy_create_result = S_OK;
  bool policy_null = false;
  FakePolicyObject* alternate = nullptr;
  HRESULT alternate_create_result = S_OK;
  bool alternate_null = false;
  struct Creation {
    std::string what;  // "enumerator", "policy", "alternate" or "unknown class"
    bool interface_matches;
    bool outer_null;
    DWORD context;
  };
  std::vector<Creation> creations;

  // The sound player.
  struct PlayCall {
    std::optional<std::wstring> sound;
    bool module_null;
    DWORD flags;
  };
  std::vector<PlayCall> play_calls;
  BOOL play_result = TRUE;

  // The shell.
  struct ShellCall {
    bool owner_null;
    std::wstring verb;
    std::wstring file;
    bool parameters_null;
    bool directory_null;
    int show;
  };
  std::vector<ShellCall> shell_calls;
  std::intptr_t shell_result = 42;

  // The crash directory resolver: the directory it gives, or none (false).
  std::optional<std::wstring> crash_directory = L"C:\\users\\tester\\AppData\\Roaming\\crashes";
  std::vector<std::size_t> resolve_capacities;
  bool resolve_buffer_was_zeroed = true;

  std::vector<std::string> debug_lines;

  // Runs at the start of the named system call, so a test can make it throw.
  std::function<void(const std::string& call)> before_call;
};

// The active fake. Valid while a ScopedFakeAudioSystem lives.
FakeAudioSystem& Fake();

// The fake's functions in the table form the plugin uses.
AudioSystemCalls FakeAudioSystemCalls();

// Captures debug lines only (for tests against the real platform).
void CaptureDebugLine(const char* text);

// Resets the fake, installs `calls` as the plugin's system calls and restores the real ones on
// destruction.
class ScopedFakeAudioSystem {
 public:
  explicit ScopedFakeAudioSystem(const AudioSystemCalls& calls = FakeAudioSystemCalls());
  ~ScopedFakeAudioSystem();
  ScopedFakeAudioSystem(const ScopedFakeAudioSystem&) = delete;
  ScopedFakeAudioSystem& operator=(const ScopedFakeAudioSystem&) = delete;

 private:
  AudioSystemCalls saved_;
};
