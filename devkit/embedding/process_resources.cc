#include "devkit/embedding/process_resources.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <psapi.h>

namespace devkit {
namespace {

// Handle values are multiples of 4 and are handed out from the low end of the
// process's handle table, so a run this long without an open handle means the
// table has been passed.
constexpr uintptr_t kHandleStep = 4;
constexpr unsigned kEndOfTableRun = 1024;

// The private bytes of the process. The commit charge (PagefileUsage) is the
// same figure as PrivateUsage on Windows; Wine fills in only the former.
bool PrivateBytes(uint64_t* bytes) {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof(counters);
  if (!GetProcessMemoryInfo(GetCurrentProcess(),
                            reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                            sizeof(counters))) {
    return false;
  }
  *bytes = counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
  return true;
}

// Open handles of the process. A running process always holds some, so a
// count of 0 (Wine's answer, whatever the process holds) means the system does
// not keep one; the handles are then counted by asking for each handle value's
// flags, which succeeds exactly for the open ones.
bool HandleCount(uint64_t* count) {
  DWORD reported = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &reported) && reported != 0) {
    *count = reported;
    return true;
  }
  uint64_t open = 0;
  unsigned run = 0;
  for (uintptr_t value = kHandleStep; run < kEndOfTableRun; value += kHandleStep) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
      ++open;
      run = 0;
    } else {
      ++run;
    }
  }
  *count = open;
  return open != 0;
}

}  // namespace

ProcessResources SampleProcessResources() {
  ProcessResources sample;
  uint64_t value = 0;
  if (PrivateBytes(&value)) sample.private_bytes = value;
  if (HandleCount(&value)) sample.handles = value;
  return sample;
}

std::string ProcessResourcesLine() {
  const ProcessResources sample = SampleProcessResources();
  auto figure = [](const std::optional<uint64_t>& value) {
    return value ? std::to_string(*value) : std::string("?");
  };
  return "= memory private=" + figure(sample.private_bytes) + " handles=" + figure(sample.handles);
}

}  // namespace devkit
