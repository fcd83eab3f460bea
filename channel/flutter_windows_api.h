// The C interface of the Windows embedding library, flutter_windows.dll, as
// this host uses it: opaque handles, the records passed by address, the
// callback types and every exported function the channel layer, the runner
// and the development embedding agree on.
//
// The library owns every handle. Records are laid out for 64-bit Windows; the
// checks at the end of this file hold that layout fixed, because the library
// reads these records by offset. The declarations also compile natively
// (Linux), where the Windows types are opaque stand-ins and the functions are
// provided by the test's fake embedding.
#ifndef CHANNEL_FLUTTER_WINDOWS_API_H_
#define CHANNEL_FLUTTER_WINDOWS_API_H_

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifdef _WIN32
#include <windows.h>
#else
// Natively nothing looks inside these; they only have to be distinct types of
// the right width so that the declarations below compile the same way.
struct HWND__;
typedef struct HWND__* HWND;
struct HMONITOR__;
typedef struct HMONITOR__* HMONITOR;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef unsigned int UINT;
#endif

// The development embedding defines FLUTTER_DESKTOP_LIBRARY while it builds
// the DLL; every other Windows user imports the functions.
#if defined(_WIN32)
#if defined(FLUTTER_DESKTOP_LIBRARY)
#define FLUTTER_EXPORT __declspec(dllexport)
#else
#define FLUTTER_EXPORT __declspec(dllimport)
#endif
#else
#define FLUTTER_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

// ---- Opaque handles, owned by the library --------------------------------

typedef struct FlutterDesktopEngine* FlutterDesktopEngineRef;
typedef struct FlutterDesktopViewController* FlutterDesktopViewControllerRef;
typedef struct FlutterDesktopView* FlutterDesktopViewRef;
typedef struct FlutterDesktopMessenger* FlutterDesktopMessengerRef;
typedef struct FlutterDesktopPluginRegistrar* FlutterDesktopPluginRegistrarRef;
typedef struct FlutterDesktopTextureRegistrar* FlutterDesktopTextureRegistrarRef;
// Identifies the one response an incoming message may receive.
typedef struct FlutterDesktopMessageResponseHandle FlutterDesktopMessageResponseHandle;

// ---- Engine properties (64 bytes) -----------------------------------------

// What FlutterDesktopEngineCreate is given. The texts belong to the caller and
// need only live for the duration of the call.
typedef struct {
  const wchar_t* assets_path;       // NUL-terminated UTF-16
  const wchar_t* icu_data_path;     // NUL-terminated UTF-16
  const wchar_t* aot_library_path;  // NUL-terminated UTF-16
  // NUL-terminated UTF-8; an empty name is an empty text, never null.
  const char* entrypoint;
  int32_t entrypoint_argc;
  // entrypoint_argc pointers to NUL-terminated UTF-8 texts; null when the
  // count is 0.
  const char** entrypoint_argv;
  // Four engine settings whose meaning belongs to the library; passed through.
  int32_t engine_settings[4];
} FlutterDesktopEngineProperties;

// ---- Messages ---------------------------------------------------------------

// One incoming message, as the library hands it to a message callback.
typedef struct {
  size_t struct_size;   // not read by the host
  const char* channel;  // not read by the host; the callback is per channel
  const uint8_t* message;
  size_t message_size;
  const FlutterDesktopMessageResponseHandle* response_handle;
} FlutterDesktopMessage;

// Called on the UI thread for each message on a channel with a callback.
typedef void (*FlutterDesktopMessageCallback)(FlutterDesktopMessengerRef messenger,
                                              const FlutterDesktopMessage* message,
                                              void* user_data);

// Called once with the response to a message sent with a reply.
typedef void (*FlutterDesktopBinaryReply)(const uint8_t* data, size_t data_size, void* user_data);

// ---- Engine, registrars, callbacks -----------------------------------------

// Called once after the next frame has been presented.
typedef void (*FlutterDesktopOnNextFrame)(void* user_data);

// Called when the library ends a plugin registrar (with its engine).
typedef void (*FlutterDesktopOnPluginRegistrarDestroyed)(
    FlutterDesktopPluginRegistrarRef registrar);

// The single entry of each external plugin library.
typedef void (*FlutterDesktopPluginRegisterFunction)(FlutterDesktopPluginRegistrarRef registrar);

// ---- Textures (40-byte information record) ---------------------------------

// The library's own records that texture callbacks return; the host never
// looks inside them.
typedef struct FlutterDesktopPixelBuffer FlutterDesktopPixelBuffer;
typedef struct FlutterDesktopGpuSurfaceDescriptor FlutterDesktopGpuSurfaceDescriptor;

typedef const FlutterDesktopPixelBuffer* (*FlutterDesktopPixelBufferTextureCallback)(
    size_t width, size_t height, void* user_data);
typedef const FlutterDesktopGpuSurfaceDescriptor* (*FlutterDesktopGpuSurfaceTextureCallback)(
    size_t width, size_t height, void* user_data);

// Called once when an external texture has been unregistered.
typedef void (*FlutterDesktopOnTextureUnregistered)(void* user_data);

typedef enum {
  kFlutterDesktopPixelBufferTexture = 0,
  kFlutterDesktopGpuSurfaceTexture = 1,
} FlutterDesktopTextureType;

typedef struct {
  FlutterDesktopPixelBufferTextureCallback callback;
  void* user_data;
} FlutterDesktopPixelBufferTextureConfig;

typedef struct {
  size_t struct_size;    // sizeof(FlutterDesktopGpuSurfaceTextureConfig), 32
  int32_t surface_type;  // passed through to the library
  FlutterDesktopGpuSurfaceTextureCallback callback;
  void* user_data;
} FlutterDesktopGpuSurfaceTextureConfig;

// Bytes a kind does not use are zero.
typedef struct {
  int32_t type;  // a FlutterDesktopTextureType
  union {
    FlutterDesktopPixelBufferTextureConfig pixel_buffer_config;
    FlutterDesktopGpuSurfaceTextureConfig gpu_surface_config;
  };
} FlutterDesktopTextureInfo;

// ---- Functions ---------------------------------------------------------------

// Engine.
FLUTTER_EXPORT FlutterDesktopEngineRef
FlutterDesktopEngineCreate(const FlutterDesktopEngineProperties* engine_properties);
// Only for an engine that no view controller has taken over.
FLUTTER_EXPORT bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine);
FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine);
// plugin_name is UTF-8.
FLUTTER_EXPORT FlutterDesktopPluginRegistrarRef
FlutterDesktopEngineGetPluginRegistrar(FlutterDesktopEngineRef engine, const char* plugin_name);
FLUTTER_EXPORT void FlutterDesktopEngineSetNextFrameCallback(FlutterDesktopEngineRef engine,
                                                             FlutterDesktopOnNextFrame callback,
                                                             void* user_data);
FLUTTER_EXPORT void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine);

// View controller and view. The controller takes over and runs the engine;
// null when it cannot be created.
FLUTTER_EXPORT FlutterDesktopViewControllerRef
FlutterDesktopViewControllerCreate(int width, int height, FlutterDesktopEngineRef engine);
// Ends the view and the engine.
FLUTTER_EXPORT void FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerRef controller);
FLUTTER_EXPORT FlutterDesktopViewRef
FlutterDesktopViewControllerGetView(FlutterDesktopViewControllerRef controller);
FLUTTER_EXPORT void FlutterDesktopViewControllerForceRedraw(
    FlutterDesktopViewControllerRef controller);
// True when the library handled the message; *result then holds its result.
FLUTTER_EXPORT bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller, HWND hwnd, UINT message, WPARAM wparam,
    LPARAM lparam, LRESULT* result);
FLUTTER_EXPORT HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view);

// Plugin registrars.
FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopPluginRegistrarGetMessenger(FlutterDesktopPluginRegistrarRef registrar);
FLUTTER_EXPORT FlutterDesktopTextureRegistrarRef
FlutterDesktopRegistrarGetTextureRegistrar(FlutterDesktopPluginRegistrarRef registrar);
// Null when the registrar has no view.
FLUTTER_EXPORT FlutterDesktopViewRef
FlutterDesktopPluginRegistrarGetView(FlutterDesktopPluginRegistrarRef registrar);
FLUTTER_EXPORT void FlutterDesktopPluginRegistrarSetDestructionHandler(
    FlutterDesktopPluginRegistrarRef registrar, FlutterDesktopOnPluginRegistrarDestroyed callback);

// Messenger. Channel names are NUL-terminated UTF-8.
FLUTTER_EXPORT bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger,
                                                const char* channel, const uint8_t* message,
                                                size_t message_size);
// False when the message was refused; the reply is then never called.
FLUTTER_EXPORT bool FlutterDesktopMessengerSendWithReply(
    FlutterDesktopMessengerRef messenger, const char* channel, const uint8_t* message,
    size_t message_size, FlutterDesktopBinaryReply reply, void* user_data);
FLUTTER_EXPORT void FlutterDesktopMessengerSendResponse(
    FlutterDesktopMessengerRef messenger, const FlutterDesktopMessageResponseHandle* handle,
    const uint8_t* data, size_t data_length);
// A null callback (and user data) clears the channel.
FLUTTER_EXPORT void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger,
                                                       const char* channel,
                                                       FlutterDesktopMessageCallback callback,
                                                       void* user_data);
// Returns the messenger; it stays valid, also after its engine has gone, until
// the matching release.
FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger);
FLUTTER_EXPORT void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger);
// False once the engine behind the messenger has shut down.
FLUTTER_EXPORT bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger);
// Exclusive access against the library until FlutterDesktopMessengerUnlock
// is called with what Lock returned.
FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger);
FLUTTER_EXPORT void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger);

// Textures.
FLUTTER_EXPORT int64_t FlutterDesktopTextureRegistrarRegisterExternalTexture(
    FlutterDesktopTextureRegistrarRef texture_registrar, const FlutterDesktopTextureInfo* info);
FLUTTER_EXPORT void FlutterDesktopTextureRegistrarUnregisterExternalTexture(
    FlutterDesktopTextureRegistrarRef texture_registrar, int64_t texture_id,
    FlutterDesktopOnTextureUnregistered callback, void* user_data);
FLUTTER_EXPORT bool FlutterDesktopTextureRegistrarMarkExternalTextureFrameAvailable(
    FlutterDesktopTextureRegistrarRef texture_registrar, int64_t texture_id);

// Process-wide helpers. 96 DPI is a scale of 1.0.
FLUTTER_EXPORT UINT FlutterDesktopGetDpiForMonitor(HMONITOR monitor);
// Makes the library's output follow a console opened after start-up.
FLUTTER_EXPORT void FlutterDesktopResyncOutputStreams(void);

#ifdef __cplusplus
}  // extern "C"
#endif

// ---- Layout checks -----------------------------------------------------------
// The library reads these records by offset. The layout is fixed for 64-bit
// targets: the Windows build and the native test build alike.
#if defined(__cplusplus) && (defined(_WIN64) || defined(__LP64__))
static_assert(sizeof(void*) == 8, "records are laid out for 8-byte pointers");

static_assert(sizeof(FlutterDesktopEngineProperties) == 64, "engine properties size");
static_assert(offsetof(FlutterDesktopEngineProperties, assets_path) == 0, "assets path");
static_assert(offsetof(FlutterDesktopEngineProperties, icu_data_path) == 8, "ICU data path");
static_assert(offsetof(FlutterDesktopEngineProperties, aot_library_path) == 16, "AOT path");
static_assert(offsetof(FlutterDesktopEngineProperties, entrypoint) == 24, "entry point");
static_assert(offsetof(FlutterDesktopEngineProperties, entrypoint_argc) == 32, "argc");
static_assert(offsetof(FlutterDesktopEngineProperties, entrypoint_argv) == 40, "argv");
static_assert(offsetof(FlutterDesktopEngineProperties, engine_settings) == 48, "settings");

static_assert(sizeof(FlutterDesktopMessage) == 40, "message record size");
static_assert(offsetof(FlutterDesktopMessage, message) == 16, "message bytes");
static_assert(offsetof(FlutterDesktopMessage, message_size) == 24, "message size");
static_assert(offsetof(FlutterDesktopMessage, response_handle) == 32, "response handle");

static_assert(sizeof(FlutterDesktopGpuSurfaceTextureConfig) == 32, "GPU surface part size");
static_assert(sizeof(FlutterDesktopTextureInfo) == 40, "texture information size");
static_assert(offsetof(FlutterDesktopTextureInfo, type) == 0, "texture kind");
static_assert(offsetof(FlutterDesktopTextureInfo, pixel_buffer_config) == 8, "kind part");
static_assert(offsetof(FlutterDesktopTextureInfo, pixel_buffer_config.callback) == 8,
              "pixel buffer callback");
static_assert(offsetof(FlutterDesktopTextureInfo, pixel_buffer_config.user_data) == 16,
              "pixel buffer context");
static_assert(offsetof(FlutterDesktopTextureInfo, gpu_surface_config.struct_size) == 8,
              "surface part size");
static_assert(offsetof(FlutterDesktopTextureInfo, gpu_surface_config.surface_type) == 16,
              "surface type");
static_assert(offsetof(FlutterDesktopTextureInfo, gpu_surface_config.callback) == 24,
              "surface callback");
static_assert(offsetof(FlutterDesktopTextureInfo, gpu_surface_config.user_data) == 32,
              "surface context");
#endif

#endif  // CHANNEL_FLUTTER_WINDOWS_API_H_
