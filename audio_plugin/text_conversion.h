#pragma once

#include <string>

// UTF-8 <-> UTF-16 conversions at the boundary between the channel's UTF-8 texts and the wide
// Windows APIs. Both ask the platform for the length first and convert into a string of exactly
// that length; empty input, or a length query that fails, gives the empty string. Invalid
// sequences are replaced by U+FFFD, as the platform does without flags.
std::wstring Utf8ToWide(const std::string& utf8);
std::string WideToUtf8(const std::wstring& wide);
