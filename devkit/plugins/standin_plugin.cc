// A stand-in for one of the host's external plugin libraries (a development
// and test tool). Compiled once per library with the library's file name and
// registration function; registering only records, in the development
// embedding's trace, that the host called it and with which registrar:
//   plugin <library> <function> registrar=<handle>
#include "channel/flutter_windows_api.h"
#include "devkit/embedding/devkit_test_api.h"

#if !defined(TOVAN_STANDIN_LIBRARY) || !defined(TOVAN_STANDIN_FUNCTION)
#error "Define TOVAN_STANDIN_LIBRARY (file name) and TOVAN_STANDIN_FUNCTION (entry)"
#endif

#define TOVAN_STRINGIFY_INNER(x) #x
#define TOVAN_STRINGIFY(x) TOVAN_STRINGIFY_INNER(x)

extern "C" __declspec(dllexport) void TOVAN_STANDIN_FUNCTION(
    FlutterDesktopPluginRegistrarRef registrar) {
  FlutterDevkitRecordPluginRegistration(TOVAN_STANDIN_LIBRARY,
                                        TOVAN_STRINGIFY(TOVAN_STANDIN_FUNCTION), registrar);
}
