// Test support for the Windows test programs: UTF-8 and UTF-16 conversion of
// well-formed test texts, and whole files read and written with the Win32
// file calls (file streams copied through rdbuf fault in this UCRT build).
#ifndef TESTS_SUPPORT_TEXT_FILES_H_
#define TESTS_SUPPORT_TEXT_FILES_H_

#include <string>

namespace tovan_test {

// A UTF-8 string as a wide one, and back. Test inputs are well-formed.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);

// The file's bytes; empty when it cannot be opened. Others may hold it open
// for writing meanwhile (a trace being written).
std::string ReadWholeFile(const std::wstring& path);
// Creates or replaces the file with `bytes`; failures are left to the
// caller's later checks.
void WriteWholeFile(const std::wstring& path, const std::string& bytes);

}  // namespace tovan_test

#endif  // TESTS_SUPPORT_TEXT_FILES_H_
