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
#
# Our code is compiled with the headers in their default (msvcrt) mode, NOT
# with _UCRT / __MSVCRT_VERSION__=0xE00. In UCRT mode <wchar.h> makes
# mbstate_t an 8-byte struct instead of an int. That type is part of the C++
# library's ABI (char_traits<char>::state_type, std::fpos, the three state
# members of basic_filebuf, std::codecvt<wchar_t, char, mbstate_t>), and the
# prebuilt libstdc++ was compiled with the int. Mixing the two gave a
# basic_filebuf 16 bytes larger in our code than in the library: an
# ifstream/ofstream constructor inlined into our code initialised its basic_ios
# at another offset than the library's vtable points to, and crashed in
# std::locale::operator=; std::filesystem::path::string() failed to link
# (codecvt<wchar_t, char, _Mbstatet>).
# The runtime we call is still the UCRT: libucrt.a supplies the msvcrt-era
# entry points the headers declare (printf family included) on top of
# ucrtbase.dll, exactly as it does for the prebuilt libraries.
# __USE_MINGW_ANSI_STDIO=0 keeps printf, _snwprintf, _vsnwprintf and the like
# on the runtime's own formatting (a wide %s is a wide string, %p is 16
# upper-case hex digits) instead of mingw's C99 replacements, which the
# headers would otherwise pick for C++11. (In either mode the ISO
# swprintf(buffer, count, format, ...) and wprintf read %s as a narrow string;
# use %ls there.)

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

add_compile_definitions(__USE_MINGW_ANSI_STDIO=0)
add_link_options(-specs=${TOVAN_UCRT_SPECS} -static)
# The standard-libraries text goes into the link command as it is: quoted, so
# that a checkout path with spaces stays one argument.
set(CMAKE_C_STANDARD_LIBRARIES "\"${TOVAN_UCRT_SHIM}\" ${CMAKE_C_STANDARD_LIBRARIES}")
set(CMAKE_CXX_STANDARD_LIBRARIES "\"${TOVAN_UCRT_SHIM}\" ${CMAKE_CXX_STANDARD_LIBRARIES}")
