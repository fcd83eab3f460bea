// What the development embedding does when the host breaks the interface's
// contract: a handle it never gave out or that has ended, a response handle
// used twice or after the engine's end, an unlock by a thread that does not
// hold the lock, an engine destroyed after a view controller took it over, a
// call that belongs to the UI thread made on another one, and the like.
//
// By default each violation is fatal, as in a checked build of a real
// library: one line on the standard error stream and the same in the trace,
//
//   flutter_windows: FlutterDesktopEngineDestroy: engine#1 was taken over ...
//   violation FlutterDesktopEngineDestroy engine#1 was taken over ...  (trace)
//
// then the process ends at once with exit code kContractViolationExitCode,
// the call having had no effect. A host bug of these kinds therefore fails
// every test and scripted session that meets it.
//
// Lenient mode, for exploring by hand at the console, writes the same line
// and lets the call go on with its failure value (a null handle, false, or
// nothing). It is chosen by the entry-point argument "--devkit-lenient" of the
// latest engine created; an engine created without it makes the library
// strict again. Any thread.
#ifndef DEVKIT_EMBEDDING_CONTRACT_H_
#define DEVKIT_EMBEDDING_CONTRACT_H_

#include <string>

namespace devkit {

// "EX_SOFTWARE": distinct from every exit code of the host itself.
constexpr unsigned kContractViolationExitCode = 70;

void SetLenient(bool lenient);

// Reports that `function` (an exported function's name) was called against
// the contract. Returns only in lenient mode.
void ContractViolation(const char* function, const std::string& violation);

}  // namespace devkit

#endif  // DEVKIT_EMBEDDING_CONTRACT_H_
