# The Windows target links the Universal C Runtime (ucrtbase.dll), the runtime
# MSVC builds use and a part of every Windows 10 installation.
#
# mingw-w64's compiler drivers link the old msvcrt.dll by default. That
# runtime never calls a handler installed with _set_invalid_parameter_handler,
# so the crash capture's invalid-parameter path could never run, and MSVC
# builds of this code would behave differently from ours. clang leaves out its
# default -lmsvcrt when the link line names -lucrt, so -lucrt is added to every
# program and library of the build, GoogleTest included. Everything is linked
# statically (-static) so no toolchain DLL has to ship.
#
# Debian's static winpthread library was built against msvcrt and calls
# _setjmp, which the x64 ucrtbase.dll exports only as __intrinsic_setjmp.
# ucrt_setjmp_shim.S supplies _setjmp as a tail jump to it (a jump keeps the
# caller's frame, which setjmp must capture).
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


set(TOVAN_UCRT_SHIM "${CMAKE_BINARY_DIR}/ucrt_setjmp_shim.o")
execute_process(COMMAND "${CMAKE_C_COMPILER}" --target=${CMAKE_C_COMPILER_TARGET}
                        -c "${CMAKE_CURRENT_LIST_DIR}/ucrt_setjmp_shim.S" -o "${TOVAN_UCRT_SHIM}"
                RESULT_VARIABLE _tovan_shim_rc)
if(NOT _tovan_shim_rc EQUAL 0)
  message(FATAL_ERROR "Cannot assemble ucrt_setjmp_shim.S")
endif()

add_compile_definitions(__USE_MINGW_ANSI_STDIO=0)
add_link_options(-static)
foreach(_lang C CXX)
  set(CMAKE_${_lang}_STANDARD_LIBRARIES
      "\"${TOVAN_UCRT_SHIM}\" -lpthread -lucrt ${CMAKE_${_lang}_STANDARD_LIBRARIES}")
endforeach()

# GCC 12's posix-thread C++ headers (the toolchain file adds its libraries).
# Compile-only options: on a link line clang would warn that they are unused.
foreach(_dir include/c++ include/c++/${CMAKE_CXX_COMPILER_TARGET} include/c++/backward)
  add_compile_options("$<$<COMPILE_LANGUAGE:CXX>:-isystem${TOVAN_MINGW_GCC_DIR}/${_dir}>")
endforeach()
add_compile_options("$<$<COMPILE_LANGUAGE:CXX>:-nostdinc++>")

# Debug information for Windows tools: every program and library gets a PDB
# beside it (X.exe, X.pdb) that records only its bare name, so a debugger
# finds it beside the binary or in a symbol store wherever it was built. The
# link is reproducible (/Brepro): the PE timestamp and the PDB's GUID derive
# from the content, so the same sources give the same symbol-store keys.
# Debian's static libraries carry DWARF that lld would keep in the binary;
# llvm-objcopy strips it after each link (the PDB holds what debuggers need).
# Source files are recorded relative to the source folder (.\runner\main.cc), so the symbols
# read the same wherever the tree was checked out.
add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-g;-gcodeview;-fdebug-prefix-map=${CMAKE_SOURCE_DIR}=.>")
add_link_options("LINKER:--pdb=" "LINKER:-Xlink=-pdbaltpath:%_PDB%" "LINKER:-Xlink=-Brepro")
find_program(TOVAN_LLVM_OBJCOPY NAMES llvm-objcopy llvm-objcopy-14 REQUIRED)
foreach(_lang C CXX)
  foreach(_rule LINK_EXECUTABLE CREATE_SHARED_LIBRARY CREATE_SHARED_MODULE)
    list(APPEND CMAKE_${_lang}_${_rule} "\"${TOVAN_LLVM_OBJCOPY}\" --strip-debug <TARGET>")
  endforeach()
endforeach()
