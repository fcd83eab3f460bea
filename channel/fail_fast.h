#ifndef CHANNEL_FAIL_FAST_H_
#define CHANNEL_FAIL_FAST_H_

namespace flutter {

// Ends the process at once after a broken precondition, such as a checked
// read of the wrong alternative of an EncodableValue. Nothing unwinds and no
// handler of the process runs: on Windows this is a fail-fast termination
// with code FAST_FAIL_INVALID_ARG (5); elsewhere the reason goes to the
// standard error stream and the process aborts. Callable from any thread.
[[noreturn]] void FailFast(const char* reason);

}  // namespace flutter

#endif  // CHANNEL_FAIL_FAST_H_
