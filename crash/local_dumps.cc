#include <windows.h>

#include <cwchar>

#include "crash/crash_directory.h"
#include "crash/crash_handlers.h"

namespace {

constexpr wchar_t kLocalDumpsKey[] =
    L"Software\\Microsoft\\Windows\\Windows Error Reporting\\LocalDumps\\tovan.exe";
// Windows Error Reporting writes full dumps and keeps at most ten of them.
constexpr DWORD kFullDump = 2;
constexpr DWORD kDumpCount = 10;

// Owns one open registry key.
class ScopedKey {
 public:
  ScopedKey() = default;
  ~ScopedKey() {
    if (key_ != nullptr) {
      RegCloseKey(key_);
    }
  }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;

  HKEY Get() const { return key_; }
  HKEY* Receive() { return &key_; }

 private:
  HKEY key_ = nullptr;
};

void SetDword(HKEY key, const wchar_t* name, DWORD value) {
  RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

}  // namespace

// Every value is written at every start, so the registration follows the crash directory if the
// profile moves. A value that cannot be written does not stop the others.
void RegisterLocalDumps() {
  wchar_t directory[MAX_PATH] = {};
  if (!ResolveCrashDirectory(directory, MAX_PATH)) {
    return;
  }
  ScopedKey key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kLocalDumpsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      key.Receive(), nullptr) != ERROR_SUCCESS) {
    return;
  }
  const DWORD folderBytes = static_cast<DWORD>((std::wcslen(directory) + 1) * sizeof(wchar_t));
  RegSetValueExW(key.Get(), L"DumpFolder", 0, REG_EXPAND_SZ,
                 reinterpret_cast<const BYTE*>(directory), folderBytes);
  SetDword(key.Get(), L"DumpType", kFullDump);
  SetDword(key.Get(), L"DumpCount", kDumpCount);
}
