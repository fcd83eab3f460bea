#include "devkit/embedding/fault_on_purpose.h"

#include <windows.h>

#include <cstdlib>
#include <stdexcept>

#include "devkit/embedding/owned_handles.h"

namespace devkit {
namespace {

void AccessViolation() {
  volatile int* volatile nowhere = nullptr;
  *nowhere = 0x7D;
}

// Each frame holds a page the compiler cannot drop, so the guard page is
// reached quickly and for certain.
volatile bool g_keep_recursing = true;
int Recurse(int depth) {
  volatile char frame[4096];
  frame[0] = static_cast<char>(depth);
  if (!g_keep_recursing) return frame[0];
  return Recurse(depth + 1) + frame[0];
}

DWORD WINAPI RecurseOnThread(LPVOID) { return static_cast<DWORD>(Recurse(0)); }

}  // namespace

bool ParseFaultKind(const std::string& name, FaultKind* kind) {
  static const struct {
    const char* name;
    FaultKind kind;
  } kKinds[] = {
      {"access-violation", FaultKind::kAccessViolation},
      {"stack-overflow", FaultKind::kStackOverflow},
      {"stack-overflow-thread", FaultKind::kStackOverflowThread},
      {"abort", FaultKind::kAbort},
      {"throw", FaultKind::kThrow},
  };
  for (const auto& entry : kKinds) {
    if (name == entry.name) {
      *kind = entry.kind;
      return true;
    }
  }
  return false;
}

void FaultOnPurpose(FaultKind kind) {
  switch (kind) {
    case FaultKind::kNone:
      return;
    case FaultKind::kAccessViolation:
      AccessViolation();
      break;
    case FaultKind::kStackOverflow:
      Recurse(0);
      break;
    case FaultKind::kStackOverflowThread: {
      const OwnedHandle thread(CreateThread(nullptr, 0, RecurseOnThread, nullptr, 0, nullptr));
      if (thread != nullptr) WaitForSingleObject(thread.get(), INFINITE);
      break;
    }
    case FaultKind::kAbort:
      std::abort();
    case FaultKind::kThrow:
      throw std::runtime_error("devkit: --crash-after-script=throw");
  }
  // The process's crash capture may let a fault pass; the kind was asked for
  // to end the process, so it does.
  std::abort();
}

}  // namespace devkit
