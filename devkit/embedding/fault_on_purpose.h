// Faults the development embedding causes on purpose, after a scripted
// session, so that people and tests can watch the host's crash capture at
// work on the kinds of fault that matter.
#ifndef DEVKIT_EMBEDDING_FAULT_ON_PURPOSE_H_
#define DEVKIT_EMBEDDING_FAULT_ON_PURPOSE_H_

#include <string>

namespace devkit {

enum class FaultKind {
  kNone,
  kAccessViolation,      // "access-violation": a write through a null pointer
  kStackOverflow,        // "stack-overflow": unbounded recursion on the calling thread
  kStackOverflowThread,  // "stack-overflow-thread": the same on a second thread
  kAbort,                // "abort": std::abort
  kThrow,                // "throw": a language exception that nothing catches
};

// The kind named `name`; false for a name that is not one of the above.
bool ParseFaultKind(const std::string& name, FaultKind* kind);

// Causes the fault on the calling thread (or, for the thread kind, on a new
// one that the caller waits for). Returns only for kNone.
void FaultOnPurpose(FaultKind kind);

}  // namespace devkit

#endif  // DEVKIT_EMBEDDING_FAULT_ON_PURPOSE_H_
