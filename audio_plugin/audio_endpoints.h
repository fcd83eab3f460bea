#pragma once

#include <mmdeviceapi.h>
#include <windows.h>
#include <wrl/client.h>

#include <string>

// Reading the system's audio endpoints through the Core Audio endpoint interfaces. Every call
// obtains and releases its own interfaces; the caller has initialised COM on the thread.

// The platform's device enumerator, created through the active system calls; null when it cannot
// be created.
Microsoft::WRL::ComPtr<IMMDeviceEnumerator> CreateDeviceEnumerator();

// True when `device_id` (UTF-8) names an endpoint that exists, is active and, as far as the
// platform tells, carries the requested data flow (capture for true, playback for false).
// Explains a refusal on the debugger output, except when no enumerator can be created.
bool ValidateAudioDevice(const std::string& device_id, bool is_capture);
