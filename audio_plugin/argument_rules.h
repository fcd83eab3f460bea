#pragma once

#include <string>

#include "channel/encodable_value.h"
#include "channel/method_call.h"
#include "channel/method_result.h"

// The argument rules every audio channel method shares. Each getter either fills its output and
// returns true, or answers the call with an "INVALID_ARGUMENT" error (no details) and returns
// false, after which the handler must stop without answering again. Arguments are looked up by
// their exact key text; a handler reads them in the method's argument order, so the first fault
// decides the reply. Portable: nothing here touches the platform.

// The call's arguments when they are a map; otherwise answers "Expected a map of arguments" and
// returns null. A null argument value is not a map.
const flutter::EncodableValueMap* GetArgumentMap(
    const flutter::MethodCall<flutter::EncodableValue>& call,
    flutter::MethodResult<flutter::EncodableValue>& result);

// Accepts only the bool alternative; the integers 0 and 1 are not bools.
bool GetBoolArgument(const flutter::EncodableValueMap& arguments, const std::string& key,
                     bool& value, flutter::MethodResult<flutter::EncodableValue>& result);

// Accepts a double as it is, and a 32-bit or 64-bit integer converted to double (a 64-bit one to
// the nearest double). A string of digits is not a number.
bool GetNumberArgument(const flutter::EncodableValueMap& arguments, const std::string& key,
                       double& value, flutter::MethodResult<flutter::EncodableValue>& result);

// Accepts a non-empty string without a NUL character; blanks count as content. The text is
// copied into `value` before the emptiness and NUL checks.
bool GetStringArgument(const flutter::EncodableValueMap& arguments, const std::string& key,
                       std::string& value, flutter::MethodResult<flutter::EncodableValue>& result);
