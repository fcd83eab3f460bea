#include "devkit/embedding/contract.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

#include "devkit/embedding/trace_writer.h"
#include "devkit/embedding/ui_thread.h"

namespace devkit {
namespace {

std::atomic<bool> lenient{false};

}  // namespace

void SetLenient(bool value) { lenient.store(value); }

void ContractViolation(const char* function, const std::string& violation) {
  Trace().Line(std::string("violation ") + function + " " + violation + ThreadNote());
  const std::string line = std::string("flutter_windows: ") + function + ": " + violation + "\n";
  fputs(line.c_str(), stderr);
  fflush(stderr);
  if (lenient.load()) return;
  // At once: no exit-time destructor or DLL notification may run host code
  // that is already known to be wrong.
  TerminateProcess(GetCurrentProcess(), kContractViolationExitCode);
}

}  // namespace devkit
