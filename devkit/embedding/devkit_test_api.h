// Functions the development flutter_windows.dll exports beyond the embedding
// interface, for tests and for the stand-in plugin libraries. They exist only
// in the development embedding; product code never calls them.
#ifndef DEVKIT_EMBEDDING_DEVKIT_TEST_API_H_
#define DEVKIT_EMBEDDING_DEVKIT_TEST_API_H_

#include <stddef.h>
#include <stdint.h>

#include "channel/flutter_windows_api.h"

#ifdef __cplusplus
extern "C" {
#endif

// Receives the one response to a message delivered with
// FlutterDevkitDeliverMessage.
typedef void (*FlutterDevkitResponseCallback)(const uint8_t* data, size_t size, void* user_data);

// Delivers `message` to the callback registered on `channel` as the UI would:
// on the calling thread, which must be the UI thread (the one that created the
// view controller, or the one that created the engine when there is none).
// The host's later FlutterDesktopMessengerSendResponse for this message is
// routed to `on_response`, on the thread that sends it, once; a second
// response is refused and one after the engine's end is dropped, so
// `on_response` never runs twice. Returns false, and never calls
// `on_response`, when no callback is registered on the channel or the
// engine is gone.
FLUTTER_EXPORT bool FlutterDevkitDeliverMessage(FlutterDesktopMessengerRef messenger,
                                                const char* channel, const uint8_t* message,
                                                size_t message_size,
                                                FlutterDevkitResponseCallback on_response,
                                                void* user_data);

// Records in the trace that the plugin library `library` (its file name) ran
// its registration function `function` with `registrar`:
//   plugin <library> <function> registrar=<handle>
// The stand-in plugin libraries call it.
FLUTTER_EXPORT void FlutterDevkitRecordPluginRegistration(
    const char* library, const char* function, FlutterDesktopPluginRegistrarRef registrar);

// Writes `line` to the trace prefixed "note " (control characters and
// non-ASCII bytes as \xNN, nothing else escaped),
// so a test can mark where its own steps begin.
FLUTTER_EXPORT void FlutterDevkitTrace(const char* line);

// Directs the trace to the file `path` (UTF-8, truncated), as the argument
// --devkit-trace=FILE of a new engine does; null closes the current file and
// drops lines until a destination is given again.
FLUTTER_EXPORT void FlutterDevkitSetTraceFile(const char* path);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // DEVKIT_EMBEDDING_DEVKIT_TEST_API_H_
