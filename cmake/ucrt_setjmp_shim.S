/* _setjmp for static winpthread linked against the x64 UCRT, which exports
   the same function as __intrinsic_setjmp. A jump, not a call, so that the
   saved context is the caller's own frame. See WindowsRuntime.cmake. */
    .text
    .globl _setjmp
_setjmp:
    jmp __intrinsic_setjmp
