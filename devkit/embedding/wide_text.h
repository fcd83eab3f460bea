// Conversions between UTF-8, the embedding's own text, and the UTF-16 of
// Windows' wide-character functions. Invalid input converts to an empty text.
#ifndef DEVKIT_EMBEDDING_WIDE_TEXT_H_
#define DEVKIT_EMBEDDING_WIDE_TEXT_H_

#include <string>
#include <string_view>

namespace devkit {

std::string Utf8FromWide(std::wstring_view text);
std::wstring WideFromUtf8(std::string_view text);

}  // namespace devkit

#endif  // DEVKIT_EMBEDDING_WIDE_TEXT_H_
