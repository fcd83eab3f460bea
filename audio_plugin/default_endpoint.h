#pragma once

#include <memory>
#include <string>

#include "channel/encodable_value.h"
#include "channel/method_result.h"

// Makes the endpoint `device_id` (UTF-8) the system default for the console, multimedia and
// communications roles, in that order, and answers `result`: true when every role was switched,
// otherwise an error. Roles already switched stay switched when a later one is refused. Called on
// the thread that runs the audio channel's calls.
void SetSystemDefaultAudioDevice(
    const std::string& device_id, bool is_capture,
    std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> result);
