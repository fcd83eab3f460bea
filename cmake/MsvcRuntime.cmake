# The C and C++ runtime of an MSVC build (preset windows-release-msvc).
#
# MSVC's default, /MD, makes tovan.exe import VCRUNTIME140.dll,
# VCRUNTIME140_1.dll and MSVCP140.dll, which a clean Windows 10 does not have:
# the package would have to carry them or the Visual C++ redistributable. The
# Visual C++ part (vcruntime, the C++ library) is therefore linked statically
# (/MT), while the Universal C Runtime stays the system's ucrtbase.dll, which
# every Windows 10 has and which the mingw-w64 build links too
# (cmake/WindowsRuntime.cmake): replacing the static UCRT (libucrt.lib) by its
# import library (ucrt.lib) keeps one C runtime in the process, shared with the
# engine and the plugins, so the invalid-parameter handler that the crash
# capture installs sees their faults as well as ours.
set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
add_link_options("$<$<CONFIG:Debug>:/NODEFAULTLIB:libucrtd.lib;ucrtd.lib>"
                 "$<$<NOT:$<CONFIG:Debug>>:/NODEFAULTLIB:libucrt.lib;ucrt.lib>")
