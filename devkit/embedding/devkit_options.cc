#include "devkit/embedding/devkit_options.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace devkit {
namespace {

// Bounds a scripted reply wait: long enough for any real handler, short
// enough that a forgotten reply cannot stall a test run.
constexpr long kMaxTimeoutMs = 10 * 60 * 1000;

bool TakeValue(std::string_view argument, std::string_view prefix, std::string* value) {
  if (argument.substr(0, prefix.size()) != prefix) return false;
  *value = std::string(argument.substr(prefix.size()));
  return true;
}

}  // namespace

DevkitOptions ParseDevkitOptions(const std::vector<std::string>& arguments) {
  DevkitOptions options;
  for (const std::string& argument : arguments) {
    std::string value;
    if (TakeValue(argument, "--devkit-trace=", &value)) {
      options.trace_path = value;
    } else if (TakeValue(argument, "--script=", &value)) {
      options.script_path = value;
    } else if (TakeValue(argument, "--transcript=", &value)) {
      options.transcript_path = value;
    } else if (TakeValue(argument, "--script-timeout-ms=", &value)) {
      char* end = nullptr;
      const long ms = std::strtol(value.c_str(), &end, 10);
      if (end != value.c_str() && *end == '\0' && ms > 0 && ms <= kMaxTimeoutMs) {
        options.script_timeout_ms = static_cast<int>(ms);
      }
    } else if (argument == "--crash-after-script") {
      options.crash_after_script = FaultKind::kAccessViolation;
    } else if (TakeValue(argument, "--crash-after-script=", &value)) {
      if (!ParseFaultKind(value, &options.crash_after_script)) {
        std::fprintf(stderr, "devkit: unknown fault kind in %s\n", argument.c_str());
        std::fflush(stderr);
      }
    } else if (argument == "--devkit-lenient") {
      options.lenient = true;
    }
  }
  return options;
}

}  // namespace devkit
