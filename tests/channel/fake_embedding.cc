// Test tool: the fake embedding library (see fake_embedding.h).
#include "tests/channel/fake_embedding.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <deque>
#include <thread>
#include <utility>

// The library's opaque types, as the fake defines them.
struct FlutterDesktopMessenger {
  std::string name;
  std::atomic<int> references{1};
  std::atomic<bool> available{true};
  std::mutex lock;
  std::atomic<std::thread::id> lock_owner{};
  // channel -> (callback, user data); guarded by the fake's state mutex.
  std::map<std::string, std::pair<FlutterDesktopMessageCallback, void*>> callbacks;
};

struct FlutterDesktopEngine {
  std::string name = "engine";
};
struct FlutterDesktopViewController {
  std::string name = "controller";
};
struct FlutterDesktopView {
  std::string name = "view";
};
struct FlutterDesktopTextureRegistrar {
  std::string name;
};
struct FlutterDesktopPluginRegistrar {
  std::string name;
  std::unique_ptr<FlutterDesktopMessenger> messenger;
  std::unique_ptr<FlutterDesktopTextureRegistrar> textures;
  FlutterDesktopOnPluginRegistrarDestroyed destruction_handler = nullptr;
};
struct FlutterDesktopMessageResponseHandle {
  int id;
};
#ifndef _WIN32
// Natively the window handle type is only declared; <windows.h> defines it.
struct HWND__ {
  int unused;
};
#endif

namespace fake_embedding {

struct Fake::State {
  mutable std::mutex mutex;
  std::vector<std::string> log;
  std::vector<Response> responses;
  FlutterDesktopEngine engine;
  FlutterDesktopViewController controller;
  FlutterDesktopView view;
  HWND__ window{0};
  FlutterDesktopMessenger engine_messenger;
  std::map<std::string, std::unique_ptr<FlutterDesktopPluginRegistrar>> registrars;
  std::deque<FlutterDesktopMessageResponseHandle> response_handles;
};

Fake::Fake() : state(std::make_unique<State>()) {
  state->engine_messenger.name = "messenger:engine";
}
Fake::~Fake() = default;

namespace {

std::mutex g_fake_mutex;
Fake* g_fake = nullptr;
// Earlier fakes stay alive: a reply or a cached registrar wrapper from an
// earlier test may still refer to their handles.
std::vector<std::unique_ptr<Fake>>* g_retired = nullptr;

}  // namespace

Fake& Reset() {
  std::lock_guard<std::mutex> guard(g_fake_mutex);
  if (g_retired == nullptr) {
    g_retired = new std::vector<std::unique_ptr<Fake>>();
  }
  g_retired->push_back(std::make_unique<Fake>());
  g_fake = g_retired->back().get();
  return *g_fake;
}

Fake& Get() {
  {
    std::lock_guard<std::mutex> guard(g_fake_mutex);
    if (g_fake != nullptr) {
      return *g_fake;
    }
  }
  return Reset();
}

std::string Hex(const uint8_t* bytes, size_t count) {
  std::string text;
  char digits[4];
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(digits, sizeof(digits), i == 0 ? "%02x" : " %02x", bytes[i]);
    text += digits;
  }
  return text;
}

FlutterDesktopEngineRef Fake::engine() const { return &state->engine; }
FlutterDesktopViewControllerRef Fake::view_controller() const { return &state->controller; }
FlutterDesktopViewRef Fake::view() const { return &state->view; }
HWND Fake::view_window() const { return &state->window; }
FlutterDesktopMessengerRef Fake::engine_messenger() const { return &state->engine_messenger; }

FlutterDesktopPluginRegistrarRef Fake::registrar(const std::string& plugin_name) {
  std::lock_guard<std::mutex> guard(state->mutex);
  auto& registrar = state->registrars[plugin_name];
  if (!registrar) {
    registrar = std::make_unique<FlutterDesktopPluginRegistrar>();
    registrar->name = "registrar:" + plugin_name;
    registrar->messenger = std::make_unique<FlutterDesktopMessenger>();
    registrar->messenger->name = "messenger:" + plugin_name;
    registrar->textures = std::make_unique<FlutterDesktopTextureRegistrar>();
    registrar->textures->name = "textures:" + plugin_name;
  }
  return registrar.get();
}

FlutterDesktopMessengerRef Fake::registrar_messenger(
    FlutterDesktopPluginRegistrarRef registrar) const {
  return registrar->messenger.get();
}

FlutterDesktopTextureRegistrarRef Fake::texture_registrar(
    FlutterDesktopPluginRegistrarRef registrar) const {
  return registrar->textures.get();
}

const FlutterDesktopMessageResponseHandle* Fake::Deliver(FlutterDesktopMessengerRef messenger,
                                                         const std::string& channel,
                                                         const std::vector<uint8_t>& bytes) {
  FlutterDesktopMessageCallback callback = nullptr;
  void* user_data = nullptr;
  const FlutterDesktopMessageResponseHandle* handle = nullptr;
  {
    std::lock_guard<std::mutex> guard(state->mutex);
    auto entry = messenger->callbacks.find(channel);
    if (entry == messenger->callbacks.end()) {
      return nullptr;
    }
    callback = entry->second.first;
    user_data = entry->second.second;
    state->response_handles.push_back({static_cast<int>(state->response_handles.size()) + 1});
    handle = &state->response_handles.back();
  }
  // The two leading fields are filled as the library would, but with values
  // the host must not rely on.
  FlutterDesktopMessage message = {};
  message.struct_size = 0xdead;
  message.channel = "(not the channel)";
  message.message = bytes.empty() ? nullptr : bytes.data();
  message.message_size = bytes.size();
  message.response_handle = handle;
  callback(messenger, &message, user_data);
  return handle;
}

void Fake::ShutDownEngine() {
  state->engine_messenger.available = false;
  std::lock_guard<std::mutex> guard(state->mutex);
  for (auto& entry : state->registrars) {
    entry.second->messenger->available = false;
  }
}

void Fake::EndRegistrars() {
  std::vector<FlutterDesktopPluginRegistrar*> ended;
  {
    std::lock_guard<std::mutex> guard(state->mutex);
    for (auto& entry : state->registrars) {
      ended.push_back(entry.second.get());
    }
  }
  for (FlutterDesktopPluginRegistrar* registrar : ended) {
    FlutterDesktopOnPluginRegistrarDestroyed handler = registrar->destruction_handler;
    registrar->destruction_handler = nullptr;
    if (handler != nullptr) {
      handler(registrar);
    }
  }
}

bool Fake::RunNextFrame() {
  if (next_frame_callback == nullptr) {
    return false;
  }
  next_frame_callback(next_frame_user_data);
  return true;
}

void Fake::AnswerPendingReply(const std::vector<uint8_t>& bytes) {
  PendingReply pending = pending_replies.front();
  pending_replies.erase(pending_replies.begin());
  pending.reply(bytes.empty() ? nullptr : bytes.data(), bytes.size(), pending.user_data);
}

void Fake::CompleteUnregistration() {
  Unregistration unregistration = unregistrations.front();
  unregistrations.erase(unregistrations.begin());
  if (unregistration.callback != nullptr) {
    unregistration.callback(unregistration.user_data);
  }
}

std::vector<std::string> Fake::log() const {
  std::lock_guard<std::mutex> guard(state->mutex);
  return state->log;
}

void Fake::ClearLog() {
  std::lock_guard<std::mutex> guard(state->mutex);
  state->log.clear();
}

std::vector<Response> Fake::responses() const {
  std::lock_guard<std::mutex> guard(state->mutex);
  return state->responses;
}

std::optional<Response> Fake::ResponseFor(const FlutterDesktopMessageResponseHandle* handle) const {
  std::lock_guard<std::mutex> guard(state->mutex);
  for (const Response& response : state->responses) {
    if (response.handle == handle) {
      return response;
    }
  }
  return std::nullopt;
}

bool Fake::HasCallback(FlutterDesktopMessengerRef messenger, const std::string& channel) const {
  std::lock_guard<std::mutex> guard(state->mutex);
  return messenger->callbacks.count(channel) != 0;
}

void* Fake::CallbackContext(FlutterDesktopMessengerRef messenger,
                            const std::string& channel) const {
  std::lock_guard<std::mutex> guard(state->mutex);
  auto entry = messenger->callbacks.find(channel);
  return entry == messenger->callbacks.end() ? nullptr : entry->second.second;
}

int Fake::messenger_references(FlutterDesktopMessengerRef messenger) const {
  return messenger->references.load();
}

void Fake::Record(std::string entry) {
  std::lock_guard<std::mutex> guard(state->mutex);
  state->log.push_back(std::move(entry));
}

}  // namespace fake_embedding

// ---- The library's functions ---------------------------------------------------

using fake_embedding::Get;

namespace {

std::string NameOf(FlutterDesktopMessengerRef messenger) {
  return messenger ? messenger->name : "null";
}

std::string NameOf(FlutterDesktopPluginRegistrarRef registrar) {
  return registrar ? registrar->name : "null";
}

std::string NameOf(FlutterDesktopTextureRegistrarRef textures) {
  return textures ? textures->name : "null";
}

std::string NameOf(FlutterDesktopEngineRef engine) { return engine ? engine->name : "null"; }

std::string NameOf(FlutterDesktopViewControllerRef controller) {
  return controller ? controller->name : "null";
}

std::string NameOf(FlutterDesktopViewRef view) { return view ? view->name : "null"; }

}  // namespace

FlutterDesktopEngineRef FlutterDesktopEngineCreate(const FlutterDesktopEngineProperties* p) {
  fake_embedding::Fake& fake = Get();
  fake_embedding::EngineProperties copy;
  copy.assets_path = p->assets_path ? p->assets_path : L"(null)";
  copy.icu_data_path = p->icu_data_path ? p->icu_data_path : L"(null)";
  copy.aot_library_path = p->aot_library_path ? p->aot_library_path : L"(null)";
  copy.entrypoint_was_null = p->entrypoint == nullptr;
  copy.entrypoint = p->entrypoint ? p->entrypoint : "";
  copy.argc = p->entrypoint_argc;
  copy.argv_was_null = p->entrypoint_argv == nullptr;
  for (int32_t i = 0; p->entrypoint_argv != nullptr && i < p->entrypoint_argc; ++i) {
    copy.arguments.push_back(p->entrypoint_argv[i]);
  }
  for (size_t i = 0; i < 4; ++i) {
    copy.engine_settings[i] = p->engine_settings[i];
  }
  fake.engine_properties = copy;
  fake.Record("EngineCreate");
  return fake.engine_create_fails ? nullptr : fake.engine();
}

bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine) {
  Get().Record("EngineDestroy(" + NameOf(engine) + ")");
  Get().ShutDownEngine();
  Get().EndRegistrars();
  return true;
}

FlutterDesktopMessengerRef FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine) {
  Get().Record("EngineGetMessenger(" + NameOf(engine) + ")");
  return Get().engine_messenger();
}

FlutterDesktopPluginRegistrarRef FlutterDesktopEngineGetPluginRegistrar(
    FlutterDesktopEngineRef engine, const char* plugin_name) {
  Get().Record("EngineGetPluginRegistrar(" + NameOf(engine) + ", " + plugin_name + ")");
  return Get().registrar(plugin_name);
}

void FlutterDesktopEngineSetNextFrameCallback(FlutterDesktopEngineRef engine,
                                              FlutterDesktopOnNextFrame callback, void* user_data) {
  Get().Record("EngineSetNextFrameCallback(" + NameOf(engine) + ")");
  Get().next_frame_callback = callback;
  Get().next_frame_user_data = user_data;
}

void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine) {
  Get().Record("EngineReloadSystemFonts(" + NameOf(engine) + ")");
}

FlutterDesktopViewControllerRef FlutterDesktopViewControllerCreate(int width, int height,
                                                                   FlutterDesktopEngineRef engine) {
  Get().Record("ViewControllerCreate(" + std::to_string(width) + ", " + std::to_string(height) +
               ", " + NameOf(engine) + ")");
  return Get().view_controller_create_fails ? nullptr : Get().view_controller();
}

void FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerRef controller) {
  Get().Record("ViewControllerDestroy(" + NameOf(controller) + ")");
  // Like the library: the controller's engine ends, and with it the registrars.
  Get().ShutDownEngine();
  Get().EndRegistrars();
}

FlutterDesktopViewRef FlutterDesktopViewControllerGetView(
    FlutterDesktopViewControllerRef controller) {
  Get().Record("ViewControllerGetView(" + NameOf(controller) + ")");
  return Get().view();
}

void FlutterDesktopViewControllerForceRedraw(FlutterDesktopViewControllerRef controller) {
  Get().Record("ViewControllerForceRedraw(" + NameOf(controller) + ")");
}

bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller, HWND hwnd, UINT message, WPARAM wparam,
    LPARAM lparam, LRESULT* result) {
  Get().Record("ViewControllerHandleTopLevelWindowProc(" + NameOf(controller) + ", " +
               (hwnd == Get().view_window() ? "view-window" : "other-window") + ", " +
               std::to_string(message) + ", " + std::to_string(wparam) + ", " +
               std::to_string(lparam) + ")");
  if (message != Get().handled_window_message) {
    return false;
  }
  *result = Get().handled_window_result;
  return true;
}

HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view) {
  Get().Record("ViewGetHWND(" + NameOf(view) + ")");
  return Get().view_window();
}

FlutterDesktopMessengerRef FlutterDesktopPluginRegistrarGetMessenger(
    FlutterDesktopPluginRegistrarRef registrar) {
  Get().Record("PluginRegistrarGetMessenger(" + NameOf(registrar) + ")");
  return registrar->messenger.get();
}

FlutterDesktopTextureRegistrarRef FlutterDesktopRegistrarGetTextureRegistrar(
    FlutterDesktopPluginRegistrarRef registrar) {
  Get().Record("RegistrarGetTextureRegistrar(" + NameOf(registrar) + ")");
  return registrar->textures.get();
}

FlutterDesktopViewRef FlutterDesktopPluginRegistrarGetView(
    FlutterDesktopPluginRegistrarRef registrar) {
  Get().Record("PluginRegistrarGetView(" + NameOf(registrar) + ")");
  return Get().registrar_views_are_null ? nullptr : Get().view();
}

void FlutterDesktopPluginRegistrarSetDestructionHandler(
    FlutterDesktopPluginRegistrarRef registrar, FlutterDesktopOnPluginRegistrarDestroyed callback) {
  Get().Record("PluginRegistrarSetDestructionHandler(" + NameOf(registrar) + ", " +
               (callback ? "handler" : "null") + ")");
  registrar->destruction_handler = callback;
}

bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger, const char* channel,
                                 const uint8_t* message, size_t message_size) {
  Get().Record("MessengerSend(" + NameOf(messenger) + ", " + channel + ", [" +
               fake_embedding::Hex(message, message_size) + "])");
  return true;
}

bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef messenger, const char* channel,
                                          const uint8_t* message, size_t message_size,
                                          FlutterDesktopBinaryReply reply, void* user_data) {
  Get().Record("MessengerSendWithReply(" + NameOf(messenger) + ", " + channel + ", [" +
               fake_embedding::Hex(message, message_size) + "])");
  if (Get().send_with_reply_refused) {
    return false;
  }
  Get().pending_replies.push_back({reply, user_data});
  return true;
}

void FlutterDesktopMessengerSendResponse(FlutterDesktopMessengerRef messenger,
                                         const FlutterDesktopMessageResponseHandle* handle,
                                         const uint8_t* data, size_t data_length) {
  fake_embedding::Response response;
  response.messenger = NameOf(messenger);
  response.handle = handle;
  response.data_was_null = data == nullptr;
  if (data != nullptr) {
    response.bytes.assign(data, data + data_length);
  }
  response.sent_under_lock = messenger->lock_owner.load() == std::this_thread::get_id();
  fake_embedding::Fake& fake = Get();
  fake.Record("MessengerSendResponse(" + NameOf(messenger) + ", #" +
              std::to_string(handle ? handle->id : 0) + ", [" +
              fake_embedding::Hex(data, data ? data_length : 0) + "])");
  std::lock_guard<std::mutex> guard(fake.state->mutex);
  fake.state->responses.push_back(std::move(response));
}

void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger, const char* channel,
                                        FlutterDesktopMessageCallback callback, void* user_data) {
  fake_embedding::Fake& fake = Get();
  fake.Record("MessengerSetCallback(" + NameOf(messenger) + ", " + channel + ", " +
              (callback ? "callback" : "null") + ", " + (user_data ? "context" : "null") + ")");
  std::lock_guard<std::mutex> guard(fake.state->mutex);
  if (callback == nullptr) {
    messenger->callbacks.erase(channel);
  } else {
    messenger->callbacks[channel] = {callback, user_data};
  }
}

FlutterDesktopMessengerRef FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger) {
  Get().Record("MessengerAddRef(" + NameOf(messenger) + ")");
  ++messenger->references;
  return messenger;
}

void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger) {
  Get().Record("MessengerRelease(" + NameOf(messenger) + ")");
  --messenger->references;
}

bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger) {
  Get().Record("MessengerIsAvailable(" + NameOf(messenger) + ")");
  return messenger->available.load();
}

FlutterDesktopMessengerRef FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger) {
  messenger->lock.lock();
  messenger->lock_owner = std::this_thread::get_id();
  Get().Record("MessengerLock(" + NameOf(messenger) + ")");
  return messenger;
}

void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger) {
  Get().Record("MessengerUnlock(" + NameOf(messenger) + ")");
  messenger->lock_owner = std::thread::id();
  messenger->lock.unlock();
}

int64_t FlutterDesktopTextureRegistrarRegisterExternalTexture(
    FlutterDesktopTextureRegistrarRef texture_registrar, const FlutterDesktopTextureInfo* info) {
  fake_embedding::Fake& fake = Get();
  fake.Record("TextureRegistrarRegisterExternalTexture(" + NameOf(texture_registrar) + ")");
  std::array<uint8_t, sizeof(FlutterDesktopTextureInfo)> bytes;
  std::memcpy(bytes.data(), info, bytes.size());
  fake.registered_textures.push_back(bytes);
  return fake.next_texture_id++;
}

void FlutterDesktopTextureRegistrarUnregisterExternalTexture(
    FlutterDesktopTextureRegistrarRef texture_registrar, int64_t texture_id,
    FlutterDesktopOnTextureUnregistered callback, void* user_data) {
  fake_embedding::Fake& fake = Get();
  fake.Record("TextureRegistrarUnregisterExternalTexture(" + NameOf(texture_registrar) + ", " +
              std::to_string(texture_id) + ", " + (callback ? "callback" : "null") + ", " +
              (user_data ? "context" : "null") + ")");
  fake.unregistrations.push_back({texture_id, callback, user_data});
}

bool FlutterDesktopTextureRegistrarMarkExternalTextureFrameAvailable(
    FlutterDesktopTextureRegistrarRef texture_registrar, int64_t texture_id) {
  Get().Record("TextureRegistrarMarkExternalTextureFrameAvailable(" + NameOf(texture_registrar) +
               ", " + std::to_string(texture_id) + ")");
  return Get().mark_frame_available_result;
}

UINT FlutterDesktopGetDpiForMonitor(HMONITOR) {
  Get().Record("GetDpiForMonitor");
  return 96;
}

void FlutterDesktopResyncOutputStreams(void) { Get().Record("ResyncOutputStreams"); }
