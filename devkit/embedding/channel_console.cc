#include "devkit/embedding/channel_console.h"

#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>

#include "channel/method_call.h"
#include "channel/standard_method_codec.h"
#include "devkit/embedding/messenger.h"
#include "devkit/embedding/trace_writer.h"
#include "devkit/embedding/view.h"
#include "devkit/embedding/view_timers.h"
#include "devkit/embedding/wide_text.h"
#include "devkit/notation/channel_notation.h"

namespace devkit {
namespace {

constexpr int kFirstRowId = 1000;
constexpr int kCallButtonId = 1100;
constexpr int kClearButtonId = 1101;
constexpr int kFirstFieldId = 1200;

// The log pane keeps about this many characters (some thousand lines, more
// than a person scrolls back through; the transcript and the trace keep
// everything); older lines go first. The edit control's memory grows with
// its text and lines up to this bound.
constexpr int kLogLimit = 64 * 1024;

// Pending lines reach the pane at most this often while lines keep coming,
// and this long after the last one.
constexpr ULONGLONG kLogFlushMs = 200;

// Layout in pixels at 96 DPI.
constexpr int kMargin = 8;
constexpr int kRowHeight = 24;
constexpr int kRowGap = 4;
constexpr int kButtonWidth = 220;
constexpr int kLabelWidth = 64;
constexpr int kFlagWidth = 90;
constexpr int kChannelWidth = 230;
constexpr int kDropDownHeight = 200;

std::string WindowTextUtf8(HWND control) {
  const int length = GetWindowTextLengthW(control);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  GetWindowTextW(control, text.data(), length + 1);
  text.resize(static_cast<size_t>(length));
  return Utf8FromWide(text);
}

}  // namespace

ChannelConsole::ChannelConsole(View* view, Messenger* messenger)
    : view_(view), messenger_(messenger), parent_(view->window()) {
  AddRow("playRingtone", {Field{"filePath", FieldKind::kText}});
  AddRow("stopRingtone", {});
  AddRow("setVolume", {Field{"volume", FieldKind::kValue}});
  AddRow("getSystemAudioDevices", {Field{"isCapture", FieldKind::kFlag}});
  AddRow("setSystemDefaultAudioDevice",
         {Field{"deviceId", FieldKind::kDevice}, Field{"isCapture", FieldKind::kFlag}});
  AddRow("getCrashDumpDirectory", {});
  AddRow("openCrashDumpDirectory", {});
  SetWindowTextW(rows_[2].fields[0].control, L"0.5");

  call_button_ = MakeControl(WC_BUTTONW, L"Send call", WS_TABSTOP | BS_PUSHBUTTON, kCallButtonId);
  channel_label_ = MakeControl(WC_STATICW, L"channel", SS_CENTERIMAGE, 0);
  channel_edit_ = MakeControl(WC_EDITW, WideFromUtf8(kAudioChannel),
                              WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 0);
  call_label_ = MakeControl(WC_STATICW, L"call", SS_CENTERIMAGE, 0);
  call_edit_ = MakeControl(WC_EDITW, L"setVolume({\"volume\": 0.5})",
                           WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 0);
  clear_button_ = MakeControl(WC_BUTTONW, L"Clear log", WS_TABSTOP | BS_PUSHBUTTON, kClearButtonId);
  log_ = MakeControl(WC_EDITW, L"",
                     WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0);
  SendMessageW(log_, EM_SETLIMITTEXT, kLogLimit * 2, 0);
  EnableKeyboard();
  Log(std::string("Channel console: each button sends its call on ") + kAudioChannel +
      " as the UI would (Enter in a field sends its row; Tab moves between fields)."
      " Values are written in the typed notation (0.5, 1, 1L, \"text\", true).");
}

ChannelConsole::~ChannelConsole() {
  KillTimer(parent_, kConsoleLogFlushTimer);
  for (const auto& entry : enter_actions_) {
    RemoveWindowSubclass(entry.first, &ChannelConsole::KeyboardProc, 0);
  }
}

void ChannelConsole::EnableKeyboard() {
  // The host's message loop does no dialog navigation, so the controls do
  // their own: Tab and Shift+Tab move the focus, Enter sends the row.
  for (size_t i = 0; i < rows_.size(); ++i) {
    auto send_row = [this, i]() { SendRow(rows_[i]); };
    AddKeyboard(rows_[i].button, send_row);
    for (const Field& field : rows_[i].fields) {
      AddKeyboard(field.control, send_row);
      // An editable list box's text field is a child window of its own.
      if (field.kind == FieldKind::kDevice) {
        AddKeyboard(GetWindow(field.control, GW_CHILD), send_row);
      }
    }
  }
  auto send_written = [this]() { SendWrittenCall(); };
  AddKeyboard(call_button_, send_written);
  AddKeyboard(channel_edit_, send_written);
  AddKeyboard(call_edit_, send_written);
  AddKeyboard(clear_button_, [this]() {
    pending_log_.clear();
    SetWindowTextW(log_, L"");
  });
  AddKeyboard(log_, nullptr);
}

void ChannelConsole::AddKeyboard(HWND control, std::function<void()> on_enter) {
  if (control == nullptr) return;
  enter_actions_[control] = std::move(on_enter);
  SetWindowSubclass(control, &ChannelConsole::KeyboardProc, 0, reinterpret_cast<DWORD_PTR>(this));
}

LRESULT CALLBACK ChannelConsole::KeyboardProc(HWND control, UINT message, WPARAM wparam,
                                              LPARAM lparam, UINT_PTR, DWORD_PTR self_pointer) {
  auto* self = reinterpret_cast<ChannelConsole*>(self_pointer);
  if (message == WM_KEYDOWN && wparam == VK_TAB) {
    const bool backwards = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    // The list box's own text field moves the focus as the list box does.
    HWND from = GetParent(control) == self->parent_ ? control : GetParent(control);
    HWND next = GetNextDlgTabItem(self->parent_, from, backwards);
    if (next != nullptr) SetFocus(next);
    return 0;
  }
  if (message == WM_KEYDOWN && wparam == VK_RETURN) {
    auto it = self->enter_actions_.find(control);
    if (it != self->enter_actions_.end() && it->second) {
      // A copy: the action may end the console.
      const std::function<void()> action = it->second;
      action();
      return 0;
    }
  }
  // Keeps the edit fields from inserting or beeping at the keys handled above.
  if (message == WM_CHAR && (wparam == '\t' || wparam == '\r')) return 0;
  return DefSubclassProc(control, message, wparam, lparam);
}

HWND ChannelConsole::MakeControl(const wchar_t* window_class, const std::wstring& text, DWORD style,
                                 int id) {
  return CreateWindowExW(0, window_class, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10,
                         parent_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr,
                         nullptr);
}

void ChannelConsole::AddRow(const std::string& method, std::vector<Field> fields) {
  Row row;
  row.method = method;
  row.button = MakeControl(WC_BUTTONW, WideFromUtf8(method), WS_TABSTOP | BS_PUSHBUTTON,
                           kFirstRowId + static_cast<int>(rows_.size()));
  int field_id = kFirstFieldId + static_cast<int>(rows_.size()) * 10;
  for (Field& field : fields) {
    const std::wstring key = WideFromUtf8(field.key);
    switch (field.kind) {
      case FieldKind::kText:
      case FieldKind::kValue:
        field.label = MakeControl(WC_STATICW, key, SS_CENTERIMAGE, 0);
        field.control =
            MakeControl(WC_EDITW, L"", WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, field_id++);
        break;
      case FieldKind::kDevice:
        field.label = MakeControl(WC_STATICW, key, SS_CENTERIMAGE, 0);
        field.control =
            MakeControl(WC_COMBOBOXW, L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL,
                        field_id++);
        break;
      case FieldKind::kFlag:
        field.control = MakeControl(WC_BUTTONW, key, WS_TABSTOP | BS_AUTO3STATE, field_id++);
        break;
    }
    row.fields.push_back(std::move(field));
  }
  rows_.push_back(std::move(row));
}

void ChannelConsole::SetFont(HFONT font, UINT dpi) {
  EnumChildWindows(
      parent_,
      [](HWND child, LPARAM font_handle) -> BOOL {
        SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font_handle), TRUE);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(font));
  // The view may have reached its final size before the console existed, so
  // the layout follows the window as it is now.
  RECT client{};
  GetClientRect(parent_, &client);
  Layout(client.right - client.left, client.bottom - client.top, dpi);
}

void ChannelConsole::Layout(int width, int height, UINT dpi) {
  auto scale = [dpi](int pixels) { return MulDiv(pixels, static_cast<int>(dpi), 96); };
  const int margin = scale(kMargin);
  const int row_height = scale(kRowHeight);
  const int row_step = row_height + scale(kRowGap);
  const int button_width = scale(kButtonWidth);
  const int label_width = scale(kLabelWidth);
  const int flag_width = scale(kFlagWidth);
  const int right = width - margin;

  int y = margin;
  for (const Row& row : rows_) {
    MoveWindow(row.button, margin, y, button_width, row_height, TRUE);
    int x = margin + button_width + margin;
    int fixed = 0;
    int stretching = 0;
    for (const Field& field : row.fields) {
      if (field.kind == FieldKind::kFlag) {
        fixed += flag_width + margin;
      } else {
        fixed += label_width;
        ++stretching;
      }
    }
    const int stretch_width =
        stretching == 0 ? 0 : std::max(scale(40), (right - x - fixed) / stretching - margin);
    for (const Field& field : row.fields) {
      if (field.kind == FieldKind::kFlag) {
        MoveWindow(field.control, x, y, flag_width, row_height, TRUE);
        x += flag_width + margin;
        continue;
      }
      MoveWindow(field.label, x, y, label_width, row_height, TRUE);
      x += label_width;
      const int control_height =
          field.kind == FieldKind::kDevice ? scale(kDropDownHeight) : row_height;
      MoveWindow(field.control, x, y, stretch_width, control_height, TRUE);
      x += stretch_width + margin;
    }
    y += row_step;
  }

  // The free-form call row.
  y += scale(kRowGap);
  MoveWindow(call_button_, margin, y, button_width, row_height, TRUE);
  int x = margin + button_width + margin;
  MoveWindow(channel_label_, x, y, label_width, row_height, TRUE);
  x += label_width;
  const int channel_width = scale(kChannelWidth);
  MoveWindow(channel_edit_, x, y, channel_width, row_height, TRUE);
  x += channel_width + margin;
  MoveWindow(call_label_, x, y, scale(32), row_height, TRUE);
  x += scale(32);
  MoveWindow(call_edit_, x, y, std::max(scale(40), right - x), row_height, TRUE);
  y += row_step;

  MoveWindow(clear_button_, margin, y, scale(100), row_height, TRUE);
  y += row_step;
  MoveWindow(log_, margin, y, std::max(0, right - margin), std::max(0, height - margin - y), TRUE);
}

bool ChannelConsole::HandleCommand(WPARAM wparam, LPARAM) {
  const int id = LOWORD(wparam);
  if (HIWORD(wparam) != BN_CLICKED) return false;
  if (id >= kFirstRowId && id < kFirstRowId + static_cast<int>(rows_.size())) {
    SendRow(rows_[static_cast<size_t>(id - kFirstRowId)]);
    return true;
  }
  if (id == kCallButtonId) {
    SendWrittenCall();
    return true;
  }
  if (id == kClearButtonId) {
    pending_log_.clear();
    SetWindowTextW(log_, L"");
    return true;
  }
  return false;
}

void ChannelConsole::SendRow(const Row& row) {
  flutter::EncodableValueMap arguments;
  bool any_field_sent = false;
  for (const Field& field : row.fields) {
    const flutter::EncodableValue key(field.key);
    switch (field.kind) {
      case FieldKind::kText:
      case FieldKind::kDevice:
        arguments.Entry(key) = flutter::EncodableValue(WindowTextUtf8(field.control));
        any_field_sent = true;
        break;
      case FieldKind::kValue: {
        const std::string text = WindowTextUtf8(field.control);
        if (text.empty()) break;
        flutter::EncodableValue value;
        tovan::notation::ParseError error;
        if (!tovan::notation::ParseValue(text, &value, &error)) {
          Log("! " + field.key + ": " + error.message + " (" +
              tovan::notation::DescribePosition(text, error.position) +
              "); write a string in double quotes");
          return;
        }
        arguments.Entry(key) = std::move(value);
        any_field_sent = true;
        break;
      }
      case FieldKind::kFlag: {
        const LRESULT state = SendMessageW(field.control, BM_GETCHECK, 0, 0);
        if (state == BST_INDETERMINATE) break;
        arguments.Entry(key) = flutter::EncodableValue(state == BST_CHECKED);
        any_field_sent = true;
        break;
      }
    }
  }
  // A method without fields is called without arguments, as the UI does;
  // so is one whose only fields are optional flags that are all left out
  // (getSystemAudioDevices).
  bool only_flags = true;
  for (const Field& field : row.fields) only_flags = only_flags && field.kind == FieldKind::kFlag;
  if (!any_field_sent && only_flags) {
    SendCall(kAudioChannel, row.method, flutter::EncodableValue());
  } else {
    SendCall(kAudioChannel, row.method, flutter::EncodableValue(std::move(arguments)));
  }
}

void ChannelConsole::SendWrittenCall() {
  const std::string channel = WindowTextUtf8(channel_edit_);
  const std::string text = WindowTextUtf8(call_edit_);
  std::string method;
  flutter::EncodableValue arguments;
  tovan::notation::ParseError error;
  if (!tovan::notation::ParseCall(text, &method, &arguments, &error)) {
    Log("! call: " + error.message + " (" +
        tovan::notation::DescribePosition(text, error.position) + ")");
    return;
  }
  SendCall(channel, method, arguments);
}

void ChannelConsole::SendCall(const std::string& channel, const std::string& method,
                              const flutter::EncodableValue& arguments) {
  const uint64_t number = ++last_call_number_;
  const std::string tag = "#" + std::to_string(number);
  const std::string shown = tovan::notation::PrintCall(method, arguments);
  Log(tag + " > " + (channel == kAudioChannel ? shown : channel + " " + shown));
  const flutter::MethodCall<flutter::EncodableValue> call(
      method, std::make_unique<flutter::EncodableValue>(arguments));
  const std::unique_ptr<std::vector<uint8_t>> bytes =
      flutter::StandardMethodCodec::SharedInstance().EncodeCall(call);
  View* view = view_;
  // The response may come from any thread; the log is written on the UI
  // thread, and only while the console still exists.
  auto sink = [view, number, method](const uint8_t* data, size_t size) {
    std::vector<uint8_t> reply(data, data + size);
    view->PostTask([view, number, method, reply]() {
      if (view->console() != nullptr) view->console()->OnReply(number, method, reply);
    });
  };
  const std::weak_ptr<void> alive = view_->AliveToken();
  const bool delivered = messenger_->Deliver(channel, bytes->data(), bytes->size(), sink);
  // The host's handler may have ended the engine, and this console with it.
  if (!alive.expired() && !delivered) Log(tag + " ! no handler on channel " + Quote(channel));
}

void ChannelConsole::OnReply(uint64_t number, const std::string& method,
                             const std::vector<uint8_t>& reply) {
  Log("#" + std::to_string(number) + " < " +
      tovan::notation::PrintReply(reply.data(), reply.size()));
  if (method == "getSystemAudioDevices") FillDeviceLists(reply);
}

void ChannelConsole::FillDeviceLists(const std::vector<uint8_t>& reply) {
  const tovan::notation::Reply decoded = tovan::notation::DecodeReply(reply.data(), reply.size());
  if (decoded.kind != tovan::notation::Reply::Kind::kSuccess) return;
  const auto* list = decoded.value.TryGet<flutter::EncodableValueList>();
  if (list == nullptr) return;
  for (const Row& row : rows_) {
    for (const Field& field : row.fields) {
      if (field.kind != FieldKind::kDevice) continue;
      const std::string current = WindowTextUtf8(field.control);
      SendMessageW(field.control, CB_RESETCONTENT, 0, 0);
      for (const flutter::EncodableValue& entry : *list) {
        const auto* map = entry.TryGet<flutter::EncodableValueMap>();
        if (map == nullptr) continue;
        const flutter::EncodableValue* id = map->Find(flutter::EncodableValue("deviceId"));
        if (id == nullptr || id->TryGet<std::string>() == nullptr) continue;
        const std::wstring text = WideFromUtf8(*id->TryGet<std::string>());
        SendMessageW(field.control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
      }
      SetWindowTextW(field.control, WideFromUtf8(current).c_str());
    }
  }
}

void ChannelConsole::Log(const std::string& line) {
  if (log_ == nullptr) return;
  pending_log_ += WideFromUtf8(line) + L"\r\n";
  const ULONGLONG now = GetTickCount64();
  if (now - last_flush_ >= kLogFlushMs) {
    FlushLog();
  } else if (!flush_timer_set_) {
    flush_timer_set_ =
        SetTimer(parent_, kConsoleLogFlushTimer, static_cast<UINT>(kLogFlushMs), nullptr);
  }
}

bool ChannelConsole::HandleTimer(WPARAM timer_id) {
  if (timer_id != kConsoleLogFlushTimer) return false;
  FlushLog();
  return true;
}

void ChannelConsole::FlushLog() {
  if (flush_timer_set_) {
    KillTimer(parent_, kConsoleLogFlushTimer);
    flush_timer_set_ = false;
  }
  last_flush_ = GetTickCount64();
  if (pending_log_.empty()) return;
  // More than the pane keeps: only the newest part can be shown.
  if (pending_log_.size() > static_cast<size_t>(kLogLimit)) {
    const size_t cut = pending_log_.find(L'\n', pending_log_.size() - kLogLimit);
    pending_log_.erase(0, cut == std::wstring::npos ? pending_log_.size() : cut + 1);
  }
  int length = GetWindowTextLengthW(log_);
  const int excess = length + static_cast<int>(pending_log_.size()) - kLogLimit;
  if (excess > 0) {
    // Drop the older half, or more when the batch needs it, at a line
    // boundary (past the last line, everything goes).
    const int cut = std::max(length / 2, excess);
    SendMessageW(
        log_, EM_SETSEL, 0,
        SendMessageW(log_, EM_LINEINDEX, SendMessageW(log_, EM_LINEFROMCHAR, cut, 0) + 1, 0));
    SendMessageW(log_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    length = GetWindowTextLengthW(log_);
  }
  SendMessageW(log_, EM_SETSEL, length, length);
  SendMessageW(log_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(pending_log_.c_str()));
  pending_log_.clear();
  // A scripted session keeps the message queue busy, which holds back
  // painting; the pane is painted with each batch instead.
  UpdateWindow(log_);
}

}  // namespace devkit
