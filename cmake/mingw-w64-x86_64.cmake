# Cross-compiles for 64-bit Windows with clang and lld against mingw-w64's
# headers and C runtime and GCC 12's posix-thread libstdc++ (std::mutex,
# std::thread and std::call_once need the posix thread model). clang writes
# CodeView debug information and lld writes a PDB beside every program and
# library, the format Windows debuggers and symbol stores read; the rest of
# the Windows set-up (runtime, debug information, stripping) is in
# WindowsRuntime.cmake. Test programs run under Wine through the
# cross-compiling emulator, so ctest runs them like native tests.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${TOOLCHAIN_PREFIX})
set(CMAKE_CXX_COMPILER_TARGET ${TOOLCHAIN_PREFIX})
set(CMAKE_ASM_COMPILER_TARGET ${TOOLCHAIN_PREFIX})
set(CMAKE_SYSROOT /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)

# GCC 12's posix-thread C++ library, which clang 14 does not find by itself:
# its headers are added for C++ compiles in WindowsRuntime.cmake, its
# libraries here, so that the compiler checks link too.
set(TOVAN_MINGW_GCC_DIR /usr/lib/gcc/${TOOLCHAIN_PREFIX}/12-posix)
foreach(_kind EXE SHARED MODULE)
  set(CMAKE_${_kind}_LINKER_FLAGS_INIT "-fuse-ld=lld -L${TOVAN_MINGW_GCC_DIR}")
endforeach()

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
