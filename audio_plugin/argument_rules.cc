#include "audio_plugin/argument_rules.h"

#include <cstdint>

namespace {

using flutter::EncodableValue;
using flutter::EncodableValueMap;
using Result = flutter::MethodResult<EncodableValue>;

constexpr char kInvalidArgument[] = "INVALID_ARGUMENT";

// The value stored under `key`, or null after answering the missing-argument error.
const EncodableValue* FindArgument(const EncodableValueMap& arguments, const std::string& key,
                                   Result& result) {
  const EncodableValue* value = arguments.Find(EncodableValue(key));
  if (value == nullptr) result.Error(kInvalidArgument, "Missing argument: " + key);
  return value;
}

}  // namespace

const EncodableValueMap* GetArgumentMap(const flutter::MethodCall<EncodableValue>& call,
                                        Result& result) {
  const EncodableValue* arguments = call.GetArguments();
  const EncodableValueMap* map = arguments ? arguments->TryGet<EncodableValueMap>() : nullptr;
  if (map == nullptr) result.Error(kInvalidArgument, "Expected a map of arguments");
  return map;
}

bool GetBoolArgument(const EncodableValueMap& arguments, const std::string& key, bool& value,
                     Result& result) {
  const EncodableValue* found = FindArgument(arguments, key, result);
  if (found == nullptr) return false;
  if (const bool* flag = found->TryGet<bool>()) {
    value = *flag;
    return true;
  }
  result.Error(kInvalidArgument, key + " must be a bool");
  return false;
}

bool GetNumberArgument(const EncodableValueMap& arguments, const std::string& key, double& value,
                       Result& result) {
  const EncodableValue* found = FindArgument(arguments, key, result);
  if (found == nullptr) return false;
  if (const double* number = found->TryGet<double>()) {
    value = *number;
    return true;
  }
  if (const std::int32_t* number = found->TryGet<std::int32_t>()) {
    value = static_cast<double>(*number);
    return true;
  }
  if (const std::int64_t* number = found->TryGet<std::int64_t>()) {
    value = static_cast<double>(*number);
    return true;
  }
  result.Error(kInvalidArgument, key + " must be a number");
  return false;
}

bool GetStringArgument(const EncodableValueMap& arguments, const std::string& key,
                       std::string& value, Result& result) {
  const EncodableValue* found = FindArgument(arguments, key, result);
  if (found == nullptr) return false;
  const std::string* text = found->TryGet<std::string>();
  if (text == nullptr) {
    result.Error(kInvalidArgument, key + " must be a string");
    return false;
  }
  value = *text;
  if (value.empty()) {
    result.Error(kInvalidArgument, key + " must not be empty");
    return false;
  }
  // The text goes on to the platform as a C string, which would end at the first NUL: a path or
  // an endpoint id would be acted on cut short while the whole text is reported.
  if (value.find('\0') != std::string::npos) {
    result.Error(kInvalidArgument, key + " must not contain a NUL character");
    return false;
  }
  return true;
}
