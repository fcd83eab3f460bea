// channel-codec: decodes and encodes platform-channel messages for engineers
// who debug channel traffic. See README.md beside this file.
#include <iostream>
#include <string>
#include <vector>

#include "devkit/channel_tool/channel_codec.h"

#ifdef _WIN32
#include <windows.h>
// shellapi.h needs the types of windows.h, so it comes after it.
#include <shellapi.h>

namespace {

// The arguments as UTF-8: main's narrow argv is in the ANSI code page, which
// would garble a string literal typed with non-ASCII text.
std::vector<std::string> Utf8Arguments() {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return args;
  for (int i = 1; i < count; ++i) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(size > 0 ? static_cast<size_t>(size) : 1, '\0');
    if (size > 0) {
      WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), size, nullptr, nullptr);
    }
    arg.resize(arg.size() - 1);  // The terminating NUL.
    args.push_back(std::move(arg));
  }
  LocalFree(wide);
  return args;
}

}  // namespace

int main() {
  // Printed strings are UTF-8; a console shows them right only in that code page.
  DWORD mode;
  if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) SetConsoleOutputCP(CP_UTF8);
  return tovan::channel_tool::RunChannelCodec(Utf8Arguments(), std::cin, std::cout, std::cerr);
}

#else

int main(int argc, char** argv) {
  return tovan::channel_tool::RunChannelCodec(std::vector<std::string>(argv + 1, argv + argc),
                                              std::cin, std::cout, std::cerr);
}

#endif
