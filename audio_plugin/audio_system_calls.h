#pragma once

#include <objbase.h>
#include <windows.h>

#include <cstddef>

// The platform functions through which the audio plugin reaches COM, the sound player, the shell,
// the crash directory and the debugger output. The plugin calls them only through the table that
// ActiveAudioSystemCalls() returns; by default every entry is the real function, so production
// code takes the real path. Tests replace entries to count COM initialisations, hand out fake
// Core Audio and policy objects, capture log lines or make one call fail, which the platform
// cannot be made to do on demand. Used on the thread that runs the audio channel's calls.
struct AudioSystemCalls {
  HRESULT(WINAPI* co_initialize_ex)(void* reserved, DWORD apartment_model);
  void(WINAPI* co_uninitialize)();
  HRESULT(WINAPI* co_create_instance)
  (REFCLSID class_id, IUnknown* outer, DWORD context, REFIID iid, void** object);
  // Receives each "[WindowsAudioPlugin] ..." diagnostic line, without a line terminator.
  void (*write_debug_line)(const char* text);
  BOOL(WINAPI* play_sound)(const wchar_t* sound, HMODULE module, DWORD flags);
  HINSTANCE(WINAPI* shell_execute)
  (HWND owner, const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
   const wchar_t* directory, int show_command);
  bool (*resolve_user_crash_directory)(wchar_t* buffer, std::size_t capacity);
};

// The real functions.
AudioSystemCalls RealAudioSystemCalls();

// The table in use; starts as RealAudioSystemCalls(). Tests assign to it and restore it.
AudioSystemCalls& ActiveAudioSystemCalls();
