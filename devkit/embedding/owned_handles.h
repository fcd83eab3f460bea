// Owning types for the C runtime's FILE streams and for kernel handles, so
// that every path closes what it opened.
#ifndef DEVKIT_EMBEDDING_OWNED_HANDLES_H_
#define DEVKIT_EMBEDDING_OWNED_HANDLES_H_

#include <windows.h>

#include <cstdio>
#include <memory>

namespace devkit {

struct FileCloser {
  void operator()(FILE* file) const { fclose(file); }
};
// A stream opened with _wfopen; nullptr when the open failed.
using OwnedFile = std::unique_ptr<FILE, FileCloser>;

struct KernelHandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
// A kernel handle whose failure value is nullptr (threads, events, processes).
using OwnedHandle = std::unique_ptr<void, KernelHandleCloser>;

}  // namespace devkit

#endif  // DEVKIT_EMBEDDING_OWNED_HANDLES_H_
