#include "audio_plugin/text_conversion.h"

#include <windows.h>

#include <climits>

std::wstring Utf8ToWide(const std::string& utf8) {
  // The platform counts in int; a longer text is not a path or a name this channel carries.
  if (utf8.empty() || utf8.size() > static_cast<std::size_t>(INT_MAX)) return std::wstring();
  const int source_length = static_cast<int>(utf8.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), source_length, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), source_length, wide.data(), length);
  return wide;
}

std::string WideToUtf8(const std::wstring& wide) {
  if (wide.empty() || wide.size() > static_cast<std::size_t>(INT_MAX)) return std::string();
  const int source_length = static_cast<int>(wide.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), source_length, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string utf8(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), source_length, utf8.data(), length, nullptr,
                      nullptr);
  return utf8;
}
