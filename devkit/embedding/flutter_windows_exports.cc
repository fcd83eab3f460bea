// The exported functions of the development flutter_windows.dll. Each one
// checks the call against the contract through a CheckedCall named after it
// (its handles against the registry of live objects, its thread, its other
// arguments; checked_call.h), writes its trace line and
// forwards to the engine, view, messenger, registrar or texture table behind
// the handle. A call against the contract is a violation (contract.h): fatal
// by default; in lenient mode it is answered with the function's failure
// value.
#include <io.h>
#include <shellscalingapi.h>
#include <windows.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "channel/flutter_windows_api.h"
#include "devkit/embedding/checked_call.h"
#include "devkit/embedding/contract.h"
#include "devkit/embedding/devkit_test_api.h"
#include "devkit/embedding/engine.h"
#include "devkit/embedding/handle_registry.h"
#include "devkit/embedding/messenger.h"
#include "devkit/embedding/trace_writer.h"
#include "devkit/embedding/ui_thread.h"
#include "devkit/embedding/view.h"

using devkit::CheckedCall;
using devkit::Engine;
using devkit::HandleKind;
using devkit::Handles;
using devkit::Messenger;
using devkit::Quote;
using devkit::QuoteOrNull;
using devkit::Registrar;
using devkit::TextureTable;
using devkit::View;
using devkit::ViewController;

namespace {

void Line(const std::string& line) { devkit::Trace().Line(line + devkit::ThreadNote()); }

std::string Name(HandleKind kind, const void* handle) { return Handles().Name(kind, handle); }

const char* SetOrNull(const void* pointer) { return pointer != nullptr ? "set" : "null"; }
const char* Bool(bool value) { return value ? "true" : "false"; }

std::string DescribeProperties(const FlutterDesktopEngineProperties& properties) {
  std::string text = "assets=" + devkit::QuoteWide(properties.assets_path) +
                     " icu=" + devkit::QuoteWide(properties.icu_data_path) +
                     " aot=" + devkit::QuoteWide(properties.aot_library_path) +
                     " entrypoint=" + QuoteOrNull(properties.entrypoint) +
                     " argc=" + std::to_string(properties.entrypoint_argc) + " argv=";
  if (properties.entrypoint_argv == nullptr) {
    text += "null";
  } else {
    text += "[";
    for (int32_t i = 0; i < properties.entrypoint_argc; ++i) {
      if (i > 0) text += ",";
      text += QuoteOrNull(properties.entrypoint_argv[i]);
    }
    text += "]";
  }
  text += " settings=[";
  for (int i = 0; i < 4; ++i) {
    if (i > 0) text += ",";
    text += std::to_string(properties.engine_settings[i]);
  }
  return text + "]";
}

const char* OutcomeName(Messenger::ResponseOutcome outcome) {
  switch (outcome) {
    case Messenger::ResponseOutcome::kSent:
      return "sent";
    case Messenger::ResponseOutcome::kRefused:
      return "refused";
    case Messenger::ResponseOutcome::kDropped:
      return "dropped";
  }
  return "refused";
}

std::string HexMessage(UINT message) {
  char text[16];
  snprintf(text, sizeof(text), "0x%04X", message);
  return text;
}

// Re-opens a standard stream on the console when the stream has no working
// handle behind it (a GUI program that attached a console after start-up).
// Streams that already go somewhere (a pipe, a file) are left alone.
void FollowConsole(FILE* stream, DWORD standard_handle) {
  const intptr_t current = _get_osfhandle(_fileno(stream));
  if (current != -1 && current != -2 && GetStdHandle(standard_handle) != nullptr) return;
  FILE* reopened = nullptr;
  if (_wfreopen_s(&reopened, L"CONOUT$", L"w", stream) != 0) return;
  setvbuf(stream, nullptr, _IONBF, 0);
}

}  // namespace

extern "C" {

FLUTTER_EXPORT FlutterDesktopEngineRef
FlutterDesktopEngineCreate(const FlutterDesktopEngineProperties* engine_properties) {
  CheckedCall call(__func__);
  if (engine_properties == nullptr) {
    devkit::Trace().SettleDestination();
    call.Violation("null properties");
    call.Trace("properties=null -> null");
    return nullptr;
  }
  // Any thread may create an engine: its UI thread is the one that makes its
  // view controller.
  auto* engine = new Engine(*engine_properties);
  // The latest engine's arguments decide how a violation ends, as they
  // decide where the trace goes.
  devkit::SetLenient(engine->options().lenient);
  // The trace destination may come with this engine's arguments; it is
  // settled before this call's own line is written.
  if (!engine->options().trace_path.empty()) {
    devkit::Trace().OpenFile(engine->options().trace_path);
  } else {
    devkit::Trace().SettleDestination();
  }
  call.Trace(DescribeProperties(*engine_properties) + " -> " +
             Name(HandleKind::kEngine, engine->handle()));
  return engine->handle();
}

FLUTTER_EXPORT bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef handle) {
  CheckedCall call(__func__);
  Engine* engine = call.LiveOnUiThread(handle);
  if (engine != nullptr && engine->taken_over()) {
    call.Violation(Name(HandleKind::kEngine, handle) +
                   " was taken over by a view controller, which ends it");
    engine = nullptr;
  }
  const bool destroyed = engine != nullptr;
  call.Trace("engine=" + Name(HandleKind::kEngine, handle) + " -> " + Bool(destroyed));
  delete engine;
  return destroyed;
}

FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef handle) {
  CheckedCall call(__func__);
  Engine* engine = call.LiveOnUiThread(handle);
  FlutterDesktopMessengerRef messenger = engine ? engine->messenger()->handle() : nullptr;
  call.Trace("engine=" + Name(HandleKind::kEngine, handle) + " -> " +
             Name(HandleKind::kMessenger, messenger));
  return messenger;
}

FLUTTER_EXPORT FlutterDesktopPluginRegistrarRef
FlutterDesktopEngineGetPluginRegistrar(FlutterDesktopEngineRef handle, const char* plugin_name) {
  CheckedCall call(__func__);
  Engine* engine = call.LiveOnUiThread(handle);
  if (engine != nullptr && !call.Present(plugin_name, "plugin name")) engine = nullptr;
  Registrar* registrar = engine != nullptr ? engine->RegistrarFor(plugin_name) : nullptr;
  FlutterDesktopPluginRegistrarRef result = registrar ? registrar->handle() : nullptr;
  call.Trace("engine=" + Name(HandleKind::kEngine, handle) + " plugin=" + QuoteOrNull(plugin_name) +
             " -> " + Name(HandleKind::kRegistrar, result));
  return result;
}

FLUTTER_EXPORT void FlutterDesktopEngineSetNextFrameCallback(FlutterDesktopEngineRef handle,
                                                             FlutterDesktopOnNextFrame callback,
                                                             void* user_data) {
  CheckedCall call(__func__);
  Engine* engine = call.LiveOnUiThread(handle);
  call.Trace("engine=" + Name(HandleKind::kEngine, handle) +
             " callback=" + SetOrNull(reinterpret_cast<const void*>(callback)));
  if (engine != nullptr) engine->SetNextFrameCallback(callback, user_data);
}

FLUTTER_EXPORT void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef handle) {
  CheckedCall call(__func__);
  Engine* engine = call.LiveOnUiThread(handle);
  call.Trace("engine=" + Name(HandleKind::kEngine, handle));
  if (engine != nullptr) engine->ReloadSystemFonts();
}

FLUTTER_EXPORT FlutterDesktopViewControllerRef
FlutterDesktopViewControllerCreate(int width, int height, FlutterDesktopEngineRef handle) {
  CheckedCall call(__func__);
  const std::string arguments = "width=" + std::to_string(width) +
                                " height=" + std::to_string(height) +
                                " engine=" + Name(HandleKind::kEngine, handle);
  Engine* engine = call.LiveOnUiThread(handle);
  if (engine != nullptr && engine->taken_over()) {
    call.Violation(Name(HandleKind::kEngine, handle) +
                   " was already taken over by a view controller");
    engine = nullptr;
  }
  if (engine == nullptr) {
    call.Trace(arguments + " -> null");
    return nullptr;
  }
  // The controller takes the engine over whether or not it can start it: the
  // host gives up its ownership with this call, so an engine whose bundle is
  // missing ends here rather than leaking.
  engine->set_taken_over();
  const std::wstring missing = engine->MissingBundlePart();
  if (!missing.empty()) {
    call.Trace(arguments + " -> null missing=" + devkit::QuoteWide(missing.c_str()));
    delete engine;
    return nullptr;
  }
  auto controller = std::make_unique<ViewController>(std::unique_ptr<Engine>(engine));
  engine->Run(width, height);
  if (engine->view()->window() == nullptr) {
    // Without its window the view could never present a frame.
    call.Trace(arguments + " -> null window-failed");
    return nullptr;
  }
  call.Trace(arguments + " -> " + Name(HandleKind::kController, controller->handle()));
  return controller.release()->handle();
}

FLUTTER_EXPORT void FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerRef handle) {
  CheckedCall call(__func__);
  ViewController* controller = call.LiveOnUiThread(handle);
  call.Trace("controller=" + Name(HandleKind::kController, handle));
  delete controller;
}

FLUTTER_EXPORT FlutterDesktopViewRef
FlutterDesktopViewControllerGetView(FlutterDesktopViewControllerRef handle) {
  CheckedCall call(__func__);
  ViewController* controller = call.LiveOnUiThread(handle);
  View* view = controller != nullptr ? controller->engine()->view() : nullptr;
  FlutterDesktopViewRef result = view != nullptr ? view->handle() : nullptr;
  call.Trace("controller=" + Name(HandleKind::kController, handle) + " -> " +
             Name(HandleKind::kView, result));
  return result;
}

FLUTTER_EXPORT void FlutterDesktopViewControllerForceRedraw(
    FlutterDesktopViewControllerRef handle) {
  CheckedCall call(__func__);
  ViewController* controller = call.LiveOnUiThread(handle);
  call.Trace("controller=" + Name(HandleKind::kController, handle));
  if (controller != nullptr && controller->engine()->view() != nullptr) {
    controller->engine()->view()->RequestFrame();
  }
}

FLUTTER_EXPORT bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef handle, HWND, UINT message, WPARAM wparam, LPARAM lparam,
    LRESULT* result) {
  CheckedCall call(__func__);
  ViewController* controller = call.LiveOnUiThread(handle);
  if (controller != nullptr && !call.Present(result, "result pointer")) controller = nullptr;
  View* view = controller != nullptr ? controller->engine()->view() : nullptr;
  // Sizing, activation and destruction stay with the host's window. A change
  // of system settings is the view's alone: it lays its text out again and
  // consumes the message, so the host's window never sees it.
  const bool handled =
      view != nullptr && view->HandleTopLevelMessage(message, wparam, lparam, result);
  call.Trace("controller=" + Name(HandleKind::kController, handle) +
             " message=" + HexMessage(message) +
             (handled ? " -> true result=" + std::to_string(*result) : " -> false"));
  return handled;
}

FLUTTER_EXPORT HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef handle) {
  CheckedCall call(__func__);
  View* view = call.LiveOnUiThread(handle);
  HWND window = view != nullptr ? view->window() : nullptr;
  call.Trace("view=" + Name(HandleKind::kView, handle) + " -> " +
             (window != nullptr ? "hwnd" : "null"));
  return window;
}

FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopPluginRegistrarGetMessenger(FlutterDesktopPluginRegistrarRef handle) {
  CheckedCall call(__func__);
  Registrar* registrar = call.LiveOnUiThread(handle);
  FlutterDesktopMessengerRef messenger =
      registrar != nullptr ? registrar->messenger()->handle() : nullptr;
  call.Trace("registrar=" + Name(HandleKind::kRegistrar, handle) + " -> " +
             Name(HandleKind::kMessenger, messenger));
  return messenger;
}

FLUTTER_EXPORT FlutterDesktopTextureRegistrarRef
FlutterDesktopRegistrarGetTextureRegistrar(FlutterDesktopPluginRegistrarRef handle) {
  CheckedCall call(__func__);
  Registrar* registrar = call.LiveOnUiThread(handle);
  FlutterDesktopTextureRegistrarRef textures =
      registrar != nullptr ? registrar->engine()->textures()->handle() : nullptr;
  call.Trace("registrar=" + Name(HandleKind::kRegistrar, handle) + " -> " +
             Name(HandleKind::kTextures, textures));
  return textures;
}

FLUTTER_EXPORT FlutterDesktopViewRef
FlutterDesktopPluginRegistrarGetView(FlutterDesktopPluginRegistrarRef handle) {
  CheckedCall call(__func__);
  Registrar* registrar = call.LiveOnUiThread(handle);
  View* view = registrar != nullptr ? registrar->engine()->view() : nullptr;
  FlutterDesktopViewRef result = view != nullptr ? view->handle() : nullptr;
  call.Trace("registrar=" + Name(HandleKind::kRegistrar, handle) + " -> " +
             Name(HandleKind::kView, result));
  return result;
}

FLUTTER_EXPORT void FlutterDesktopPluginRegistrarSetDestructionHandler(
    FlutterDesktopPluginRegistrarRef handle, FlutterDesktopOnPluginRegistrarDestroyed callback) {
  CheckedCall call(__func__);
  Registrar* registrar = call.LiveOnUiThread(handle);
  call.Trace("registrar=" + Name(HandleKind::kRegistrar, handle) +
             " handler=" + SetOrNull(reinterpret_cast<const void*>(callback)));
  if (registrar != nullptr) registrar->set_destruction_handler(callback);
}

FLUTTER_EXPORT bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef handle,
                                                const char* channel, const uint8_t*,
                                                size_t message_size) {
  CheckedCall call(__func__);
  Messenger* messenger = call.LiveOnUiThread(handle);
  if (messenger != nullptr && !call.Present(channel, "channel name")) messenger = nullptr;
  const bool accepted = messenger != nullptr && messenger->IsAvailable();
  call.Trace("messenger=" + Name(HandleKind::kMessenger, handle) +
             " channel=" + QuoteOrNull(channel) + " size=" + std::to_string(message_size) + " -> " +
             Bool(accepted));
  return accepted;
}

FLUTTER_EXPORT void FlutterDesktopMessengerSendResponse(
    FlutterDesktopMessengerRef handle, const FlutterDesktopMessageResponseHandle* response,
    const uint8_t* data, size_t data_length) {
  CheckedCall call(__func__);
  const std::string response_name = "response#" + std::to_string(Messenger::ResponseId(response));
  const std::string arguments = "messenger=" + Name(HandleKind::kMessenger, handle) +
                                " response=" + response_name +
                                " size=" + std::to_string(data_length);
  Messenger* messenger = call.Live(handle);
  if (messenger == nullptr) {
    call.Trace(arguments + " -> dropped");
    return;
  }
  const Messenger::ResponseOutcome outcome = messenger->Respond(
      response, data, data_length, [&call, &arguments](Messenger::ResponseOutcome decided) {
        call.Trace(arguments + " -> " + OutcomeName(decided));
      });
  // Reported after the lock is given back, so that the process ends with the
  // response path in order.
  if (outcome == Messenger::ResponseOutcome::kRefused) {
    call.Violation(response_name + " was answered before or never given out");
  } else if (outcome == Messenger::ResponseOutcome::kDropped) {
    call.Violation(response_name +
                   " answered after the engine has shut down (FlutterDesktopMessengerIsAvailable "
                   "answers false)");
  }
}

FLUTTER_EXPORT void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef handle,
                                                       const char* channel,
                                                       FlutterDesktopMessageCallback callback,
                                                       void* user_data) {
  CheckedCall call(__func__);
  Messenger* messenger = call.LiveOnUiThread(handle);
  if (messenger != nullptr && !call.Present(channel, "channel name")) messenger = nullptr;
  call.Trace("messenger=" + Name(HandleKind::kMessenger, handle) +
             " channel=" + QuoteOrNull(channel) +
             " callback=" + SetOrNull(reinterpret_cast<const void*>(callback)));
  if (messenger != nullptr) messenger->SetCallback(channel, callback, user_data);
}

FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef handle) {
  CheckedCall call(__func__);
  Messenger* messenger = call.Live(handle);
  const std::string name = Name(HandleKind::kMessenger, handle);
  if (messenger == nullptr) {
    call.Trace("messenger=" + name + " -> null");
    return nullptr;
  }
  const int references = messenger->AddRef();
  call.Trace("messenger=" + name + " -> " + name + " refs=" + std::to_string(references));
  return handle;
}

FLUTTER_EXPORT void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef handle) {
  CheckedCall call(__func__);
  Messenger* messenger = call.Live(handle);
  const std::string name = Name(HandleKind::kMessenger, handle);
  int references = 0;
  if (messenger != nullptr && !messenger->Release(&references)) {
    call.Violation(name + " released more often than added to");
    messenger = nullptr;
  }
  call.Trace("messenger=" + name +
             (messenger != nullptr ? " refs=" + std::to_string(references) : std::string()));
}

FLUTTER_EXPORT bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef handle) {
  CheckedCall call(__func__);
  Messenger* messenger = call.Live(handle);
  const bool available = messenger != nullptr && messenger->IsAvailable();
  call.Trace("messenger=" + Name(HandleKind::kMessenger, handle) + " -> " + Bool(available));
  return available;
}

FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopMessengerLock(FlutterDesktopMessengerRef handle) {
  CheckedCall call(__func__);
  Messenger* messenger = call.Live(handle);
  if (messenger != nullptr) messenger->Lock();
  FlutterDesktopMessengerRef locked = messenger != nullptr ? handle : nullptr;
  call.Trace("messenger=" + Name(HandleKind::kMessenger, handle) + " -> " +
             Name(HandleKind::kMessenger, locked));
  return locked;
}

FLUTTER_EXPORT void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef handle) {
  CheckedCall call(__func__);
  Messenger* messenger = call.Live(handle);
  // Written while still locked, so that lines of locked sections never
  // interleave with another thread's.
  call.Trace("messenger=" + Name(HandleKind::kMessenger, handle));
  if (messenger != nullptr && !messenger->Unlock()) {
    call.Violation(Name(HandleKind::kMessenger, handle) +
                   " unlocked by a thread that does not hold its lock");
  }
}

FLUTTER_EXPORT int64_t FlutterDesktopTextureRegistrarRegisterExternalTexture(
    FlutterDesktopTextureRegistrarRef handle, const FlutterDesktopTextureInfo* info) {
  CheckedCall call(__func__);
  TextureTable* textures = call.Live(handle);
  const int64_t id = textures != nullptr ? textures->Register(info) : -1;
  std::string details = "textures=" + Name(HandleKind::kTextures, handle);
  if (info == nullptr) {
    details += " info=null";
  } else {
    details += " kind=" + std::to_string(info->type);
    if (info->type == kFlutterDesktopGpuSurfaceTexture) {
      details += " struct_size=" + std::to_string(info->gpu_surface_config.struct_size) +
                 " surface_type=" + std::to_string(info->gpu_surface_config.surface_type);
    }
  }
  call.Trace(details + " -> " + std::to_string(id));
  return id;
}

FLUTTER_EXPORT void FlutterDesktopTextureRegistrarUnregisterExternalTexture(
    FlutterDesktopTextureRegistrarRef handle, int64_t texture_id,
    FlutterDesktopOnTextureUnregistered callback, void* user_data) {
  CheckedCall call(__func__);
  TextureTable* textures = call.Live(handle);
  call.Trace("textures=" + Name(HandleKind::kTextures, handle) +
             " id=" + std::to_string(texture_id) +
             " callback=" + SetOrNull(reinterpret_cast<const void*>(callback)));
  if (textures != nullptr) {
    textures->Unregister(texture_id, callback, user_data);
  } else if (callback != nullptr) {
    // Lenient mode: the table is gone with its engine; the callback still
    // runs once so that its owner can free what it gave as context.
    callback(user_data);
  }
}

FLUTTER_EXPORT bool FlutterDesktopTextureRegistrarMarkExternalTextureFrameAvailable(
    FlutterDesktopTextureRegistrarRef handle, int64_t texture_id) {
  CheckedCall call(__func__);
  TextureTable* textures = call.Live(handle);
  const bool known = textures != nullptr && textures->MarkFrameAvailable(texture_id);
  call.Trace("textures=" + Name(HandleKind::kTextures, handle) +
             " id=" + std::to_string(texture_id) + " -> " + Bool(known));
  return known;
}

FLUTTER_EXPORT UINT FlutterDesktopGetDpiForMonitor(HMONITOR monitor) {
  UINT dpi_x = 0;
  UINT dpi_y = 0;
  UINT dpi = USER_DEFAULT_SCREEN_DPI;
  if (monitor != nullptr &&
      SUCCEEDED(GetDpiForMonitor(monitor, MDT_EFFECTIVE_DPI, &dpi_x, &dpi_y)) && dpi_x != 0) {
    dpi = dpi_x;
  }
  CheckedCall(__func__).Trace("monitor=" + std::string(SetOrNull(monitor)) + " -> " +
                              std::to_string(dpi));
  return dpi;
}

FLUTTER_EXPORT void FlutterDesktopResyncOutputStreams(void) {
  Line(__func__);
  if (GetConsoleWindow() == nullptr) return;
  FollowConsole(stdout, STD_OUTPUT_HANDLE);
  FollowConsole(stderr, STD_ERROR_HANDLE);
  // The C++ streams write through the C streams; clear any failure they
  // recorded while the C streams had nowhere to go.
  std::cout.clear();
  std::cerr.clear();
}

FLUTTER_EXPORT bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef handle,
                                                         const char* channel, const uint8_t*,
                                                         size_t message_size,
                                                         FlutterDesktopBinaryReply reply,
                                                         void* user_data) {
  CheckedCall call(__func__);
  Messenger* messenger = call.LiveOnUiThread(handle);
  if (messenger != nullptr && !call.Present(channel, "channel name")) messenger = nullptr;
  const bool accepted = messenger != nullptr && messenger->IsRunning();
  call.Trace("messenger=" + Name(HandleKind::kMessenger, handle) +
             " channel=" + QuoteOrNull(channel) + " size=" + std::to_string(message_size) +
             " reply=" + SetOrNull(reinterpret_cast<const void*>(reply)) + " -> " + Bool(accepted));
  if (!accepted) return false;
  // No UI code listens here, so every message gets the empty reply a channel
  // without a handler gets, later, on the UI thread.
  const std::string name = channel;
  messenger->PostToUi([reply, user_data, name]() {
    Line("event reply channel=" + Quote(name) + " size=0");
    if (reply != nullptr) reply(nullptr, 0, user_data);
  });
  return true;
}

FLUTTER_EXPORT bool FlutterDevkitDeliverMessage(FlutterDesktopMessengerRef handle,
                                                const char* channel, const uint8_t* message,
                                                size_t message_size,
                                                FlutterDevkitResponseCallback on_response,
                                                void* user_data) {
  CheckedCall(__func__).Trace("messenger=" + Name(HandleKind::kMessenger, handle) + " channel=" +
                              QuoteOrNull(channel) + " size=" + std::to_string(message_size));
  // A test's own call: a handle it got wrong is its answer to look at, not a
  // host's violation.
  auto* messenger = static_cast<Messenger*>(Handles().Find(HandleKind::kMessenger, handle));
  if (messenger == nullptr || channel == nullptr) return false;
  auto sink = [on_response, user_data](const uint8_t* data, size_t size) {
    if (on_response != nullptr) on_response(data, size, user_data);
  };
  return messenger->Deliver(channel, message, message_size, sink);
}

FLUTTER_EXPORT void FlutterDevkitRecordPluginRegistration(
    const char* library, const char* function, FlutterDesktopPluginRegistrarRef registrar) {
  Line(std::string("plugin ") + (library != nullptr ? library : "null") + " " +
       (function != nullptr ? function : "null") +
       " registrar=" + Name(HandleKind::kRegistrar, registrar));
}

FLUTTER_EXPORT void FlutterDevkitSetTraceFile(const char* path) {
  if (path == nullptr) {
    devkit::Trace().Close();
  } else {
    devkit::Trace().OpenFile(path);
  }
}

FLUTTER_EXPORT void FlutterDevkitTrace(const char* line) {
  if (line == nullptr) return;
  // Unlike quoted texts, a note keeps backslashes and quotes as written.
  std::string note;
  for (const char* p = line; *p != '\0'; ++p) {
    const auto code = static_cast<unsigned char>(*p);
    if (code < 0x20 || code > 0x7E) {
      char escaped[8];
      snprintf(escaped, sizeof(escaped), "\\x%02X", code);
      note += escaped;
    } else {
      note.push_back(*p);
    }
  }
  Line("note " + note);
}

}  // extern "C"
