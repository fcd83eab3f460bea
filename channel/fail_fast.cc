#include "channel/fail_fast.h"

#include <cstdio>
#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#if defined(_MSC_VER)
#include <intrin.h>
#endif
#endif

namespace flutter {

namespace {

#if defined(_WIN32)
[[noreturn]] void FailFastInvalidArgument() {
#if defined(_MSC_VER)
  __fastfail(FAST_FAIL_INVALID_ARG);
#else
  // mingw-w64 declares no __fastfail intrinsic. This is the instruction it
  // stands for: interrupt 0x29 with the code in ECX, which the kernel turns
  // into a non-continuable STATUS_STACK_BUFFER_OVERRUN that no exception
  // handler of the process sees.
  unsigned int code = FAST_FAIL_INVALID_ARG;
  __asm__ volatile("int $0x29" : : "c"(code) : "memory");
  __builtin_unreachable();
#endif
}
#endif

}  // namespace

void FailFast(const char* reason) {
  // The reason is the only trace a native run leaves, and costs nothing on
  // Windows, whose fail-fast report carries no text.
  std::fputs(reason, stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
#if defined(_WIN32)
  FailFastInvalidArgument();
#else
  std::abort();
#endif
}

}  // namespace flutter
