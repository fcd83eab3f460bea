#pragma once

#include <windows.h>

// Owns one file handle (INVALID_HANDLE_VALUE when empty) and closes it when it goes out of scope
// or when Close is called. Holds nothing else, so the crash writers can use it on a faulting
// thread.
class ScopedFile {
 public:
  explicit ScopedFile(HANDLE handle) : handle_(handle) {}
  ~ScopedFile() { Close(); }
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;

  bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }

  void Close() {
    if (IsValid()) {
      CloseHandle(handle_);
      handle_ = INVALID_HANDLE_VALUE;
    }
  }

 private:
  HANDLE handle_;
};

// Opens `path` for writing, replacing any file of that name, without sharing.
inline ScopedFile CreateFileForWriting(const wchar_t* path) {
  return ScopedFile(
      CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}
