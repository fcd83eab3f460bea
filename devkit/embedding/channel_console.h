// The channel console the development view shows in place of the UI: one
// row of controls for each method of the audio channel, with fields for its
// arguments and a button that sends the call through the engine's messenger
// exactly as the UI would (to the callback the host registered for the
// channel), one row for any call on any channel written in the typed
// notation, and a log pane with each call and its reply.
//
// Owned by the view; its controls are children of the view's window and die
// with it. Used on the UI thread.
#ifndef DEVKIT_EMBEDDING_CHANNEL_CONSOLE_H_
#define DEVKIT_EMBEDDING_CHANNEL_CONSOLE_H_

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "channel/encodable_value.h"

namespace devkit {

class Messenger;
class View;

// The channel the console's method rows talk to.
inline constexpr char kAudioChannel[] = "com.brenmo.tovan/windows_audio";

class ChannelConsole {
 public:
  ChannelConsole(View* view, Messenger* messenger);
  ~ChannelConsole();
  ChannelConsole(const ChannelConsole&) = delete;
  ChannelConsole& operator=(const ChannelConsole&) = delete;

  void SetFont(HFONT font, UINT dpi);
  void Layout(int width, int height, UINT dpi);
  // True when the command came from one of the console's controls.
  bool HandleCommand(WPARAM wparam, LPARAM lparam);
  // Adds a line to the log pane. Lines are shown in batches, at most every
  // kLogFlushMs and at the latest when the traffic pauses: replacing the
  // pane's text costs milliseconds, which a scripted session would otherwise
  // pay on every line.
  void Log(const std::string& line);
  // True when the timer was the console's.
  bool HandleTimer(WPARAM timer_id);
  bool IsLogPane(HWND control) const { return control == log_; }

  // Sends `method(arguments)` on `channel` as the UI would and logs the call
  // and, when it comes, the reply.
  void SendCall(const std::string& channel, const std::string& method,
                const flutter::EncodableValue& arguments);

 private:
  enum class FieldKind {
    kText,    // the text as a string, always sent
    kValue,   // typed notation; an empty field leaves the key out
    kFlag,    // three-state check box: true, false, or (grey) left out
    kDevice,  // editable list of the last listed endpoint ids; a string
  };
  struct Field {
    std::string key;
    FieldKind kind;
    HWND label = nullptr;
    HWND control = nullptr;
  };
  struct Row {
    std::string method;
    HWND button = nullptr;
    std::vector<Field> fields;
  };

  void EnableKeyboard();
  void AddKeyboard(HWND control, std::function<void()> on_enter);
  static LRESULT CALLBACK KeyboardProc(HWND control, UINT message, WPARAM wparam, LPARAM lparam,
                                       UINT_PTR id, DWORD_PTR self);
  HWND MakeControl(const wchar_t* window_class, const std::wstring& text, DWORD style, int id);
  void AddRow(const std::string& method, std::vector<Field> fields);
  void SendRow(const Row& row);
  void SendWrittenCall();
  void OnReply(uint64_t number, const std::string& method, const std::vector<uint8_t>& reply);
  void FillDeviceLists(const std::vector<uint8_t>& reply);
  void FlushLog();

  View* view_;
  Messenger* messenger_;
  HWND parent_;
  std::vector<Row> rows_;
  HWND call_button_ = nullptr;
  HWND channel_label_ = nullptr;
  HWND channel_edit_ = nullptr;
  HWND call_label_ = nullptr;
  HWND call_edit_ = nullptr;
  HWND clear_button_ = nullptr;
  HWND log_ = nullptr;
  uint64_t last_call_number_ = 0;
  // Lines not yet in the pane, and when the pane was last written to.
  std::wstring pending_log_;
  ULONGLONG last_flush_ = 0;
  bool flush_timer_set_ = false;
  // What Enter does in each control (nothing for an empty action).
  std::map<HWND, std::function<void()>> enter_actions_;
};

}  // namespace devkit

#endif  // DEVKIT_EMBEDDING_CHANNEL_CONSOLE_H_
