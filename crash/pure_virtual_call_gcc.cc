// mingw-w64 only. Code built with libstdc++ (by GCC or clang) sends a call of a pure virtual
// function to the language runtime's __cxa_pure_virtual, which prints a message and aborts, so the
// handler installed with _set_purecall_handler would never run. This definition takes the place of
// the runtime's (the library forces it into every program that links it, ahead of libstdc++) and
// hands the call to the C runtime's own pure-call path, as code built by MSVC does: the installed
// handler records the fault and ends the process with its exit code.

#include <cstdlib>

extern "C" int __cdecl _purecall();

extern "C" void __cxa_pure_virtual() {
  _purecall();
  // The C runtime ends the process itself when no handler is installed; this is only a backstop.
  std::abort();
}
