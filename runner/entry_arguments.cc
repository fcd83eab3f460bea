#include "runner/entry_arguments.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>

#include <memory>

namespace {

struct LocalFreeDeleter {
  void operator()(wchar_t** block) const { LocalFree(block); }
};

}  // namespace

std::vector<std::string> CollectEntryArguments() {
  int count = 0;
  std::unique_ptr<wchar_t*, LocalFreeDeleter> arguments(
      CommandLineToArgvW(GetCommandLineW(), &count));
  if (arguments == nullptr) {
    return {};
  }
  std::vector<std::string> collected;
  // Element 0 is the program path, which the user interface does not get.
  for (int i = 1; i < count; ++i) {
    collected.push_back(ArgumentToUtf8(arguments.get()[i]));
  }
  return collected;
}

std::string ArgumentToUtf8(const wchar_t* text) {
  if (text == nullptr) {
    return std::string();
  }
  // WC_ERR_INVALID_CHARS makes an unpaired surrogate fail the conversion
  // instead of turning into U+FFFD.
  const int size_with_terminator =
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, nullptr, 0, nullptr, nullptr);
  if (size_with_terminator <= 1) {
    return std::string();
  }
  const int target_length = size_with_terminator - 1;
  std::string converted(static_cast<size_t>(target_length), '\0');
  const int written =
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, static_cast<int>(wcslen(text)),
                          converted.data(), target_length, nullptr, nullptr);
  if (written == 0) {
    return std::string();
  }
  return converted;
}
