# The Windows target links the Universal C Runtime (ucrtbase.dll), the runtime
# MSVC builds use and a part of every Windows 10 installation.
#
# mingw-w64 GCC links the old msvcrt.dll by default. That runtime never calls
# a handler installed with _set_invalid_parameter_handler, so the crash
# capture's invalid-parameter path could never run, and MSVC builds of this
# code would behave differently from ours. GCC 12 has no -mcrtdll switch, so a
# specs file derived from the compiler's own replaces -lmsvcrt with -lucrt for
# every program and library of the build, GoogleTest included. Everything is
# linked statically (-static) so no toolchain DLL has to ship.
#
# Debian's static winpthread library was built against msvcrt and calls
# _setjmp, which the x64 ucrtbase.dll exports only as __intrinsic_setjmp.
# ucrt_setjmp_shim.S supplies _setjmp as a tail jump to it (a jump keeps the
# caller's frame, which setjmp must capture). Only GCC needs any of this.

execute_process(COMMAND ${CMAKE_CXX_COMPILER} -dumpspecs
                OUTPUT_VARIABLE _tovan_specs RESULT_VARIABLE _tovan_specs_rc)
if(NOT _tovan_specs_rc EQUAL 0 OR NOT _tovan_specs MATCHES "-lmsvcrt")
  message(FATAL_ERROR "Cannot derive a UCRT specs file from ${CMAKE_CXX_COMPILER}")
endif()
string(REPLACE "-lmsvcrt" "-lucrt" _tovan_specs "${_tovan_specs}")
set(TOVAN_UCRT_SPECS ${CMAKE_BINARY_DIR}/ucrt.specs)
file(WRITE ${TOVAN_UCRT_SPECS} "${_tovan_specs}")

set(TOVAN_UCRT_SHIM ${CMAKE_BINARY_DIR}/ucrt_setjmp_shim.o)
execute_process(COMMAND ${CMAKE_C_COMPILER} -c ${CMAKE_CURRENT_LIST_DIR}/ucrt_setjmp_shim.S
                        -o ${TOVAN_UCRT_SHIM}
                RESULT_VARIABLE _tovan_shim_rc)
if(NOT _tovan_shim_rc EQUAL 0)
  message(FATAL_ERROR "Cannot assemble ucrt_setjmp_shim.S")
endif()

add_compile_definitions(_UCRT __MSVCRT_VERSION__=0xE00)
add_link_options(-specs=${TOVAN_UCRT_SPECS} -static)
set(CMAKE_C_STANDARD_LIBRARIES "${TOVAN_UCRT_SHIM} ${CMAKE_C_STANDARD_LIBRARIES}")
set(CMAKE_CXX_STANDARD_LIBRARIES "${TOVAN_UCRT_SHIM} ${CMAKE_CXX_STANDARD_LIBRARIES}")
