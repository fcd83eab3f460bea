// Test tool: a fake of the embedding library for native tests. It defines
// every FlutterDesktop* function of channel/flutter_windows_api.h as a plain
// function that records its call in a log and answers from state a test can
// set up and inspect. Link tests against `tovan_fake_embedding` instead of the
// library.
//
// Handles are objects owned by the fake and named in the log ("engine",
// "messenger:engine", "registrar:NAME", "messenger:NAME", ...). The log and the
// messenger state are guarded, so replies may be sent from other threads;
// everything else is driven from the test's thread.
#ifndef TESTS_CHANNEL_FAKE_EMBEDDING_H_
#define TESTS_CHANNEL_FAKE_EMBEDDING_H_

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "channel/flutter_windows_api.h"

namespace fake_embedding {

// A copy of what FlutterDesktopEngineCreate was given, taken during the call.
struct EngineProperties {
  std::wstring assets_path;
  std::wstring icu_data_path;
  std::wstring aot_library_path;
  bool entrypoint_was_null = false;
  std::string entrypoint;
  int32_t argc = -1;
  bool argv_was_null = false;
  std::vector<std::string> arguments;
  std::array<int32_t, 4> engine_settings = {-1, -1, -1, -1};
};

// One response the host sent with FlutterDesktopMessengerSendResponse.
struct Response {
  std::string messenger;
  const FlutterDesktopMessageResponseHandle* handle = nullptr;
  std::vector<uint8_t> bytes;
  bool data_was_null = false;
  bool sent_under_lock = false;
};

// One message the host sent with FlutterDesktopMessengerSendWithReply that the
// fake accepted; the test answers it with AnswerPendingReply.
struct PendingReply {
  FlutterDesktopBinaryReply reply = nullptr;
  void* user_data = nullptr;
};

// The fake's whole state. Reset() before each test.
class Fake {
 public:
  // ---- What a test sets up -------------------------------------------------
  bool engine_create_fails = false;
  bool view_controller_create_fails = false;
  bool registrar_views_are_null = false;
  bool send_with_reply_refused = false;
  // Message that HandleTopLevelWindowProc reports as handled, and its result.
  UINT handled_window_message = 0x0005;  // WM_SIZE
  LRESULT handled_window_result = 42;
  int64_t next_texture_id = 7;
  bool mark_frame_available_result = true;

  // ---- Handles ---------------------------------------------------------------
  FlutterDesktopEngineRef engine() const;
  FlutterDesktopViewControllerRef view_controller() const;
  FlutterDesktopViewRef view() const;
  HWND view_window() const;
  FlutterDesktopMessengerRef engine_messenger() const;
  // The registrar of a plugin name, created on first use.
  FlutterDesktopPluginRegistrarRef registrar(const std::string& plugin_name);
  FlutterDesktopMessengerRef registrar_messenger(FlutterDesktopPluginRegistrarRef registrar) const;
  FlutterDesktopTextureRegistrarRef texture_registrar(
      FlutterDesktopPluginRegistrarRef registrar) const;

  // ---- What a test drives ----------------------------------------------------
  // Delivers `bytes` on `channel` the way the library does: through the
  // installed callback with a fresh response handle, which it returns. False
  // (and nullptr) when no callback is installed.
  const FlutterDesktopMessageResponseHandle* Deliver(FlutterDesktopMessengerRef messenger,
                                                     const std::string& channel,
                                                     const std::vector<uint8_t>& bytes);
  // Ends the engine as the library does: messengers become unavailable.
  void ShutDownEngine();
  // Calls each registrar's destruction handler once, in name order.
  void EndRegistrars();
  // Runs the next-frame callback the host set, if any; false when none was set.
  bool RunNextFrame();
  // Answers the oldest accepted SendWithReply.
  void AnswerPendingReply(const std::vector<uint8_t>& bytes);
  // Completes the oldest unregistration that asked for a callback.
  void CompleteUnregistration();

  // ---- What a test inspects --------------------------------------------------
  std::vector<std::string> log() const;
  void ClearLog();
  std::vector<Response> responses() const;
  // The response sent for `handle`, if any.
  std::optional<Response> ResponseFor(const FlutterDesktopMessageResponseHandle* handle) const;
  bool HasCallback(FlutterDesktopMessengerRef messenger, const std::string& channel) const;
  void* CallbackContext(FlutterDesktopMessengerRef messenger, const std::string& channel) const;
  int messenger_references(FlutterDesktopMessengerRef messenger) const;
  std::optional<EngineProperties> engine_properties;
  // The records' raw bytes, padding included.
  std::vector<std::array<uint8_t, sizeof(FlutterDesktopTextureInfo)>> registered_textures;
  std::vector<PendingReply> pending_replies;
  struct Unregistration {
    int64_t texture_id;
    FlutterDesktopOnTextureUnregistered callback;
    void* user_data;
  };
  std::vector<Unregistration> unregistrations;
  FlutterDesktopOnNextFrame next_frame_callback = nullptr;
  void* next_frame_user_data = nullptr;

  // ---- Internal, for the fake's functions -------------------------------------
  void Record(std::string entry);
  std::string Name(const void* handle) const;
  struct State;
  std::unique_ptr<State> state;

  Fake();
  ~Fake();
};

// The process-wide fake, reset to a fresh state.
Fake& Reset();
// The process-wide fake as it is.
Fake& Get();

// Hex of bytes, "07 0c 73", for readable log entries and failure messages.
std::string Hex(const uint8_t* bytes, size_t count);

}  // namespace fake_embedding

#endif  // TESTS_CHANNEL_FAKE_EMBEDDING_H_
