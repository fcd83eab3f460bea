// tovan.exe run whole under Wine, from the bundle the build lays out, with the
// development embedding: what the program hands the embedding and in which
// order (the embedding's trace), what the audio channel answers (the script
// mode's transcript), its window as another process sees it, the exit codes,
// the registry values, the crash files and the console cases. Each test
// starts the real program as a child process.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, whose types it uses.
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/runner/tovan_process.h"
#include "tests/support/wave_bytes.h"
#include "tovan_product_info.h"

namespace tovan_test {
namespace {

constexpr const char kChannel[] = "com.brenmo.tovan/windows_audio";
constexpr const wchar_t kLocalDumpsKey[] =
    L"Software\\Microsoft\\Windows\\Windows Error Reporting\\LocalDumps\\tovan.exe";
constexpr const wchar_t kDesktopKey[] = L"Control Panel\\Desktop";

// Only a hang reaches it: a run that faults writes two minidumps, which under
// Wine on a loaded machine take far longer than the rest of the run.
constexpr DWORD kRunTimeoutMs = 240000;

const char* const kPluginOrder[] = {
    "ConnectivityPlusWindowsPlugin",
    "FileSelectorWindows",
    "FlutterWebRTCPlugin",
    "PermissionHandlerWindowsPlugin",
    "ScreenRetrieverWindowsPluginCApi",
    "SharePlusWindowsPluginCApi",
    "TrayManagerPlugin",
    "UrlLauncherWindows",
    "WindowManagerPlugin",
};

const char* const kPluginFunctions[] = {
    "ConnectivityPlusWindowsPluginRegisterWithRegistrar",
    "FileSelectorWindowsRegisterWithRegistrar",
    "FlutterWebRTCPluginRegisterWithRegistrar",
    "PermissionHandlerWindowsPluginRegisterWithRegistrar",
    "ScreenRetrieverWindowsPluginCApiRegisterWithRegistrar",
    "SharePlusWindowsPluginCApiRegisterWithRegistrar",
    "TrayManagerPluginRegisterWithRegistrar",
    "UrlLauncherWindowsRegisterWithRegistrar",
    "WindowManagerPluginRegisterWithRegistrar",
};

std::wstring TovanExe() { return BundleFolder() + L"\\tovan.exe"; }

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// Index of the first line at or after `from` that starts with `prefix`, or -1.
int FindLine(const std::vector<std::string>& lines, const std::string& prefix, int from = 0) {
  for (int i = std::max(from, 0); i < static_cast<int>(lines.size()); ++i) {
    if (StartsWith(lines[static_cast<size_t>(i)], prefix)) return i;
  }
  return -1;
}

int CountLines(const std::vector<std::string>& lines, const std::string& prefix) {
  return static_cast<int>(std::count_if(
      lines.begin(), lines.end(), [&](const std::string& l) { return StartsWith(l, prefix); }));
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// A quoted Windows path for an entry-point argument.
std::wstring Argument(const std::wstring& name, const std::wstring& value) {
  return L"\"" + name + L"=" + value + L"\"";
}

std::string EscapeForNotation(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '\\' || c == '"') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

// The crash directory the program reports: the roaming application data
// folder with the application's own path below it.
std::string ExpectedCrashDirectory() {
  PWSTR roaming = nullptr;
  std::string directory;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &roaming))) {
    directory = Narrow(roaming) + "\\com.brenmoworks\\tovan\\BrenmoTovan\\crashes";
  }
  CoTaskMemFree(roaming);
  return directory;
}

// openCrashDumpDirectory opens a file browser; close it again once it shows
// (within 15 s: the shell starts it on its own).
void CloseExplorerWindows() {
  const ULONGLONG deadline = GetTickCount64() + 15000;
  for (bool closed = false; !closed && GetTickCount64() < deadline; Sleep(50)) {
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
          wchar_t class_name[64] = {};
          GetClassNameW(window, class_name, 64);
          if (wcscmp(class_name, L"ExplorerWClass") == 0 ||
              wcscmp(class_name, L"CabinetWClass") == 0) {
            PostMessageW(window, WM_CLOSE, 0, 0);
            *reinterpret_cast<bool*>(context) = true;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&closed));
  }
}

bool ReadDword(const wchar_t* key, const wchar_t* value, DWORD* out) {
  DWORD size = sizeof(*out);
  return RegGetValueW(HKEY_CURRENT_USER, key, value, RRF_RT_REG_DWORD, nullptr, out, &size) ==
         ERROR_SUCCESS;
}

// Writes a figure the way the suite reports measurements: one line each.
void Figure(const char* name, double value, const char* unit) {
  std::printf("FIGURE %s = %.1f %s\n", name, value, unit);
  std::fflush(stdout);
}

struct ScriptedRun {
  DWORD exit_code = STILL_ACTIVE;
  std::vector<std::string> trace;
  std::vector<std::string> transcript;
  std::string output;
};

// Runs tovan.exe with `script` (script notation lines) and the given extra
// arguments before the development ones; answers what the run left. A
// `crash_kind` makes the development embedding fault that way after the script.
ScriptedRun RunScript(const std::wstring& name, const std::string& script,
                      const std::wstring& extra_arguments, const wchar_t* crash_kind = nullptr) {
  const std::wstring folder = FreshFolder(name);
  const std::wstring script_path = folder + L"\\session.script";
  const std::wstring trace_path = folder + L"\\trace.txt";
  const std::wstring transcript_path = folder + L"\\transcript.txt";
  WriteWholeFile(script_path, script);
  LaunchOptions options;
  options.executable = TovanExe();
  options.arguments = extra_arguments;
  if (!options.arguments.empty()) options.arguments += L" ";
  options.arguments += Argument(L"--devkit-trace", trace_path) + L" " +
                       Argument(L"--script", script_path) + L" " +
                       Argument(L"--transcript", transcript_path);
  if (crash_kind != nullptr)
    options.arguments += std::wstring(L" --crash-after-script=") + crash_kind;
  ScriptedRun run;
  {
    TovanProcess process(options);
    EXPECT_TRUE(process.started()) << "tovan.exe did not start";
    run.exit_code = process.Wait(kRunTimeoutMs);
    run.output = process.output();
  }
  run.trace = SplitLines(ReadWholeFile(trace_path));
  run.transcript = SplitLines(ReadWholeFile(transcript_path));
  return run;
}

class TovanSessionTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    // A console for the child to attach to, as when started from a terminal.
    if (GetConsoleWindow() == nullptr && GetConsoleCP() == 0) AllocConsole();
  }
};

// Start-up, plugin registration, the scripted session over every audio
// method, and the shutdown, all from one run.
TEST_F(TovanSessionTest, ScriptedSessionOverEveryAudioMethod) {
  const std::wstring folder = FreshFolder(L"wave");
  const std::wstring wave_path = folder + L"\\ring.wav";
  WriteWholeFile(wave_path, WavBytes(8000));  // one second
  const std::string wave = EscapeForNotation(Narrow(wave_path));
  // Endpoint ids differ between sound servers: take them from a first run.
  std::string playback_id;
  std::string capture_id;
  {
    const std::string c = std::string(kChannel) + " ";
    const ScriptedRun ids = RunScript(L"ids",
                                      c + "getSystemAudioDevices({\"isCapture\": false})\n" + c +
                                          "getSystemAudioDevices({\"isCapture\": true})\n",
                                      L"");
    for (const std::string& line : ids.transcript) {
      const size_t at = line.find("[{\"deviceId\": \"");
      if (!StartsWith(line, "< success(") || at == std::string::npos) continue;
      const size_t start = at + 15;
      const std::string id = line.substr(start, line.find('"', start) - start);
      (StartsWith(id, "{0.0.0.") ? playback_id : capture_id) = id;
    }
  }

  struct Step {
    std::string call;      // in the script notation
    std::string expected;  // the transcript's reply line; empty: checked separately
  };
  const std::string map_error =
      "< error(\"INVALID_ARGUMENT\", \"Expected a map of arguments\", null)";
  std::vector<Step> steps = {
      {"playRingtone({\"filePath\": \"" + wave + "\"})", "< success(true)"},
      {"stopRingtone()", "< success(true)"},
      {"playRingtone({\"filePath\": \"\"})",
       "< error(\"INVALID_ARGUMENT\", \"filePath must not be empty\", null)"},
      // Cut at the NUL, the path would name the existing file.
      {"playRingtone({\"filePath\": \"" + wave + "\\x00.txt\"})",
       "< error(\"INVALID_ARGUMENT\", \"filePath must not contain a NUL character\", null)"},
      {"playRingtone({\"filePath\": 5})",
       "< error(\"INVALID_ARGUMENT\", \"filePath must be a string\", null)"},
      {"playRingtone([1, 2])", map_error},
      {"setVolume({\"volume\": 0.5})", "< success(true)"},
      {"setVolume({\"volume\": 4294967296L})", "< success(true)"},
      {"setVolume({\"volume\": \"1\"})",
       "< error(\"INVALID_ARGUMENT\", \"volume must be a number\", null)"},
      {"setVolume({})", "< error(\"INVALID_ARGUMENT\", \"Missing argument: volume\", null)"},
      {"setVolume(null)", map_error},
      {"getSystemAudioDevices({\"isCapture\": false})", ""},
      {"getSystemAudioDevices({\"isCapture\": true})", ""},
      {"getSystemAudioDevices(\"lenient\")", ""},
      {"setSystemDefaultAudioDevice({\"deviceId\": \"\", \"isCapture\": false})",
       "< error(\"INVALID_ARGUMENT\", \"deviceId must not be empty\", null)"},
      {"setSystemDefaultAudioDevice({\"deviceId\": \"x\", \"isCapture\": 1})",
       "< error(\"INVALID_ARGUMENT\", \"isCapture must be a bool\", null)"},
      {"setSystemDefaultAudioDevice({\"deviceId\": \"{0.0.0.00000000}.{nope}\", "
       "\"isCapture\": false})",
       "< error(\"INVALID_DEVICE\", \"Device does not exist, is not active, or has wrong type\", "
       "null)"},
      {"getCrashDumpDirectory()",
       "< success(\"" + EscapeForNotation(ExpectedCrashDirectory()) + "\")"},
      {"openCrashDumpDirectory()", "< success(true)"},
      {"getBatteryLevel()", "< notImplemented"},
      {"PlayRingtone({\"filePath\": \"" + wave + "\"})", "< notImplemented"},
      // A message that is no method call gets the empty reply.
      {"hex 01 02 03", "< notImplemented"},
  };
  if (!playback_id.empty() && !capture_id.empty()) {
    // Wine has no audio policy object, so a valid endpoint cannot be made the
    // default; a capture endpoint as a playback one is refused before that.
    steps.push_back(
        {"setSystemDefaultAudioDevice({\"deviceId\": \"" + playback_id +
             "\", \"isCapture\": false})",
         "< error(\"COM_ERROR\", \"Failed to create IPolicyConfig - unsupported OS?\", null)"});
    // Cut at the NUL, the id would name the playback endpoint.
    steps.push_back({"setSystemDefaultAudioDevice({\"deviceId\": \"" + playback_id +
                         "\\x00x\", \"isCapture\": false})",
                     "< error(\"INVALID_ARGUMENT\", \"deviceId must not contain a NUL character\", "
                     "null)"});
    steps.push_back(
        {"setSystemDefaultAudioDevice({\"deviceId\": \"" + capture_id +
             "\", \"isCapture\": false})",
         "< error(\"INVALID_DEVICE\", \"Device does not exist, is not active, or has wrong type\", "
         "null)"});
  } else {
    ADD_FAILURE() << "no audio endpoints: is a PulseAudio daemon running (scripts/pulse-start)?";
  }
  // Left playing: closing the window must stop it.
  steps.push_back({"playRingtone({\"filePath\": \"" + wave + "\"})", "< success(true)"});

  std::string script;
  for (const Step& step : steps) script += std::string(kChannel) + " " + step.call + "\n";

  // An argument with an unpaired surrogate keeps its place as "".
  const std::wstring user_arguments = L"--alpha x \xd83d-broken";
  const ScriptedRun run = RunScript(L"session", script, user_arguments);
  EXPECT_EQ(run.exit_code, 0u) << run.output;
  const std::vector<std::string>& trace = run.trace;
  ASSERT_FALSE(trace.empty()) << "no trace";

  // -- Start-up: the window's DPI query comes first, then the engine.
  const int dpi = FindLine(trace, "FlutterDesktopGetDpiForMonitor ");
  const int create = FindLine(trace, "FlutterDesktopEngineCreate ");
  ASSERT_GE(dpi, 0) << Joined(trace);
  ASSERT_GT(create, dpi) << Joined(trace);
  const std::string& engine_line = trace[static_cast<size_t>(create)];
  EXPECT_NE(engine_line.find("assets=\"data\\\\flutter_assets\" icu=\"data\\\\icudtl.dat\" "
                             "aot=\"data\\\\app.so\" entrypoint=\"\" argc=6 argv=[\"--alpha\","
                             "\"x\",\"\",\"--devkit-trace="),
            std::string::npos)
      << engine_line;
  EXPECT_NE(engine_line.find("settings=[0,0,0,0]"), std::string::npos) << engine_line;
  EXPECT_EQ(CountLines(trace, "FlutterDesktopResyncOutputStreams"), 0)
      << "started from a console: no console of its own";

  // The view controller at the client size of the 720 x 600 window (96 DPI).
  const int controller = FindLine(trace, "FlutterDesktopViewControllerCreate ", create);
  ASSERT_GT(controller, create) << Joined(trace);

  // -- Plugins: the nine in table order, once each, then the audio plugin.
  int previous = controller;
  for (size_t i = 0; i < 9; ++i) {
    const int asked =
        FindLine(trace,
                 std::string("FlutterDesktopEngineGetPluginRegistrar engine=engine#1 plugin=\"") +
                     kPluginOrder[i] + "\"",
                 previous);
    ASSERT_GT(asked, previous) << kPluginOrder[i] << " not asked for in order\n" << Joined(trace);
    const int registered = FindLine(trace, "plugin ", asked);
    ASSERT_GT(registered, asked) << kPluginOrder[i];
    EXPECT_NE(trace[static_cast<size_t>(registered)].find(kPluginFunctions[i]), std::string::npos)
        << trace[static_cast<size_t>(registered)];
    previous = registered;
  }
  EXPECT_EQ(CountLines(trace, "plugin "), 9) << "each plugin registered once";
  const int audio = FindLine(
      trace, "FlutterDesktopEngineGetPluginRegistrar engine=engine#1 plugin=\"WindowsAudioPlugin\"",
      previous);
  ASSERT_GT(audio, previous) << "WindowsAudioPlugin after the nine";
  const int channel =
      FindLine(trace, "FlutterDesktopMessengerSetCallback messenger=messenger#", audio);
  ASSERT_GT(channel, audio);
  EXPECT_NE(trace[static_cast<size_t>(channel)].find(kChannel), std::string::npos);
  // On the messenger of the audio plugin's own registrar, not the engine's.
  const std::string& audio_line = trace[static_cast<size_t>(audio)];
  const int registrar_messenger =
      FindLine(trace,
               "FlutterDesktopPluginRegistrarGetMessenger registrar=" +
                   audio_line.substr(audio_line.rfind(' ') + 1) + " -> ",
               audio);
  ASSERT_GT(registrar_messenger, audio) << Joined(trace);
  const std::string& messenger_line = trace[static_cast<size_t>(registrar_messenger)];
  EXPECT_NE(trace[static_cast<size_t>(channel)].find(
                "messenger=" + messenger_line.substr(messenger_line.rfind(' ') + 1) + " "),
            std::string::npos)
      << trace[static_cast<size_t>(channel)];

  // -- The view embedded, the frame asked for, the window shown after it.
  const int hwnd = FindLine(trace, "FlutterDesktopViewGetHWND ", audio);
  const int next_frame = FindLine(trace, "FlutterDesktopEngineSetNextFrameCallback ", hwnd);
  const int redraw = FindLine(trace, "FlutterDesktopViewControllerForceRedraw ", next_frame);
  const int frame_event = FindLine(trace, "event next-frame ", redraw);
  EXPECT_GT(hwnd, audio);
  EXPECT_GT(next_frame, hwnd);
  EXPECT_GT(redraw, next_frame);
  EXPECT_GT(frame_event, redraw);

  // -- The session's answers.
  std::vector<std::string> replies;
  for (const std::string& line : run.transcript) {
    if (StartsWith(line, "< ")) replies.push_back(line);
  }
  ASSERT_EQ(replies.size(), steps.size()) << Joined(run.transcript);
  for (size_t i = 0; i < replies.size(); ++i) {
    if (!steps[i].expected.empty()) {
      EXPECT_EQ(replies[i], steps[i].expected) << "step " << i + 1 << ": " << steps[i].call;
    }
  }
  EXPECT_TRUE(StartsWith(replies[11], "< success([{\"deviceId\": \"{0.0.0.")) << replies[11];
  EXPECT_TRUE(StartsWith(replies[12], "< success([{\"deviceId\": \"{0.0.1.")) << replies[12];
  EXPECT_EQ(replies[13], replies[11]) << "arguments that are no map list the playback endpoints";
  EXPECT_EQ(run.transcript.back(), "end");
  CloseExplorerWindows();

  // -- Shutdown: WM_DESTROY reaches the controller, which is then destroyed,
  // ending the engine and the registrars, and nothing reaches the window
  // procedure afterwards.
  const int destroy_message =
      FindLine(trace,
               "FlutterDesktopViewControllerHandleTopLevelWindowProc controller=controller#1 "
               "message=0x0002");
  ASSERT_GE(destroy_message, 0) << Joined(trace);
  const int controller_destroy =
      FindLine(trace, "FlutterDesktopViewControllerDestroy ", destroy_message);
  EXPECT_EQ(controller_destroy, destroy_message + 1) << Joined(trace);
  EXPECT_EQ(CountLines(trace, "event registrar-destroyed "), 10);
  const int shutdown = FindLine(trace, "event engine-shutdown ", controller_destroy);
  EXPECT_GT(shutdown, controller_destroy);
  EXPECT_EQ(
      FindLine(trace, "FlutterDesktopViewControllerHandleTopLevelWindowProc ", controller_destroy),
      -1)
      << "window messages after the controller was destroyed";
}

// The system DPI Wine gives a new process; absent means 96.
class ScopedSystemDpi {
 public:
  explicit ScopedSystemDpi(DWORD dpi) {
    DWORD old = 0;
    had_value_ = ReadDword(kDesktopKey, L"LogPixels", &old);
    old_ = old;
    Set(dpi);
  }
  ~ScopedSystemDpi() {
    if (had_value_) {
      Set(old_);
    } else {
      RegDeleteKeyValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels");
    }
  }

 private:
  static void Set(DWORD dpi) {
    RegSetKeyValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels", REG_DWORD, &dpi, sizeof(dpi));
  }
  bool had_value_ = false;
  DWORD old_ = 0;
};

// Placement, visibility and the child at 96 DPI and at 120 DPI (scale 1.25),
// then closed as a person closes it.
TEST_F(TovanSessionTest, WindowPlacementVisibilityChildAndClose) {
  for (DWORD dpi : {96u, 120u}) {
    SCOPED_TRACE("at " + std::to_string(dpi) + " DPI");
    ScopedSystemDpi system_dpi(dpi);
    const double scale = dpi / 96.0;
    const std::wstring folder = FreshFolder(L"window" + std::to_wstring(dpi));
    const std::wstring trace_path = folder + L"\\trace.txt";
    RegDeleteKeyW(HKEY_CURRENT_USER, kLocalDumpsKey);

    LaunchOptions options;
    options.executable = TovanExe();
    options.arguments = Argument(L"--devkit-trace", trace_path);
    const ULONGLONG started_at = GetTickCount64();
    TovanProcess process(options);
    ASSERT_TRUE(process.started());

    // The first sight of the window: hidden, at the scaled placement, with
    // the crash directory already registered.
    HWND window = nullptr;
    while (window == nullptr && GetTickCount64() - started_at < 30000) {
      window = process.FindMainWindow();
      if (window == nullptr) Sleep(1);
    }
    if (window == nullptr) {
      const DWORD code = process.Wait(1000);
      FAIL() << "no window; exit code " << code << ", output: " << process.output();
    }
    const bool visible_at_first = IsWindowVisible(window) != 0;
    DWORD dump_type = 0;
    const bool registered_first = ReadDword(kLocalDumpsKey, L"DumpType", &dump_type);
    EXPECT_FALSE(visible_at_first) << "shown before its first frame";
    EXPECT_TRUE(registered_first)
        << "Windows Error Reporting values missing when the window exists";
    RECT placement{};
    GetWindowRect(window, &placement);
    EXPECT_EQ(placement.left, static_cast<LONG>(10 * scale));
    EXPECT_EQ(placement.top, static_cast<LONG>(10 * scale));
    EXPECT_EQ(placement.right - placement.left, static_cast<LONG>(720 * scale));
    EXPECT_EQ(placement.bottom - placement.top, static_cast<LONG>(600 * scale));
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    EXPECT_STREQ(title, L"Tovan Phone");

    while (!IsWindowVisible(window) && GetTickCount64() - started_at < 30000) Sleep(1);
    const ULONGLONG shown_after = GetTickCount64() - started_at;
    ASSERT_TRUE(IsWindowVisible(window)) << "never shown";
    Figure(("start_to_first_frame_" + std::to_string(dpi) + "dpi").c_str(),
           static_cast<double>(shown_after), "ms");

    // The view fills the client area, also after resizing.
    HWND view = GetWindow(window, GW_CHILD);
    ASSERT_NE(view, nullptr) << "no child window";
    auto child_fills = [&]() {
      RECT client{};
      GetClientRect(window, &client);
      RECT child{};
      GetWindowRect(view, &child);
      MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&child), 2);
      return EqualRect(&client, &child) != 0;
    };
    EXPECT_TRUE(child_fills()) << "after the first frame";
    // Painted before the picture is taken: the view's process paints while the
    // call waits for it.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    const std::wstring picture = folder + L"\\window-" + std::to_wstring(dpi) + L"dpi.bmp";
    EXPECT_TRUE(SaveWindowScreenshot(window, picture));
    std::printf("SCREENSHOT %s\n", Narrow(picture).c_str());

    // The child follows a resize as the host handles WM_SIZE: within 10 s.
    auto child_fills_soon = [&]() {
      const ULONGLONG deadline = GetTickCount64() + 10000;
      while (!child_fills() && GetTickCount64() < deadline) Sleep(10);
      return child_fills();
    };
    SetWindowPos(window, nullptr, 0, 0, 900, 520, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_TRUE(child_fills_soon()) << "after resizing to 900 x 520";
    SetWindowPos(window, nullptr, 0, 0, 500, 700, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_TRUE(child_fills_soon()) << "after resizing to 500 x 700";

    Figure(("peak_working_set_" + std::to_string(dpi) + "dpi").c_str(),
           static_cast<double>(process.PeakWorkingSet()) / (1024.0 * 1024.0), "MiB");

    // The embedding consumes a settings change: the host answers with its result.
    EXPECT_EQ(SendMessageW(window, WM_SETTINGCHANGE, 0, 0), 0);

    // Closed as a person closes it.
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(process.Wait(kRunTimeoutMs), 0u) << process.output();
    const std::vector<std::string> trace = SplitLines(ReadWholeFile(trace_path));
    EXPECT_GE(FindLine(trace, "FlutterDesktopViewControllerDestroy "), 0) << Joined(trace);
    EXPECT_GE(FindLine(trace, "event engine-shutdown "), 0) << Joined(trace);
    EXPECT_GE(FindLine(trace,
                       "FlutterDesktopViewControllerHandleTopLevelWindowProc "
                       "controller=controller#1 message=0x001A -> true result=0"),
              0)
        << Joined(trace);
    // The window asked for the monitor's DPI before anything else.
    EXPECT_EQ(trace[0], "FlutterDesktopGetDpiForMonitor monitor=set -> " + std::to_string(dpi));
  }
}

// The executable's own resources: the icon group, the manifest and the
// version information, read from the file as the shell reads them.
TEST_F(TovanSessionTest, ExecutableCarriesIconManifestAndVersion) {
  HMODULE image = LoadLibraryExW(TovanExe().c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(image, nullptr);

  // Icon group 101: images of 16, 32 and 48 pixels.
  HRSRC group = FindResourceW(image, MAKEINTRESOURCEW(101), RT_GROUP_ICON);
  ASSERT_NE(group, nullptr) << "no icon group 101";
  const auto* directory = static_cast<const BYTE*>(LockResource(LoadResource(image, group)));
  ASSERT_NE(directory, nullptr);
  const WORD count = *reinterpret_cast<const WORD*>(directory + 4);
  std::vector<int> sizes;
  for (WORD i = 0; i < count; ++i) sizes.push_back(directory[6 + 14 * i]);  // width byte
  std::sort(sizes.begin(), sizes.end());
  EXPECT_EQ(sizes, (std::vector<int>{16, 32, 48}));

  // The manifest.
  HRSRC manifest_resource = FindResourceW(image, MAKEINTRESOURCEW(1), RT_MANIFEST);
  ASSERT_NE(manifest_resource, nullptr) << "no manifest";
  const std::string manifest(
      static_cast<const char*>(LockResource(LoadResource(image, manifest_resource))),
      SizeofResource(image, manifest_resource));
  for (const char* expected : {">PerMonitorV2</dpiAwareness>",
                               "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                               "level=\"asInvoker\" uiAccess=\"false\"",
                               "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>"}) {
    EXPECT_NE(manifest.find(expected), std::string::npos) << expected << "\n" << manifest;
  }
  FreeLibrary(image);

  // The version information.
  const DWORD size = GetFileVersionInfoSizeW(TovanExe().c_str(), nullptr);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> version(size);
  ASSERT_TRUE(GetFileVersionInfoW(TovanExe().c_str(), 0, size, version.data()));
  struct Translation {
    WORD language;
    WORD code_page;
  }* translation = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(version.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  wchar_t prefix[64];
  swprintf(prefix, 64, L"\\StringFileInfo\\%04x%04x\\", translation->language,
           translation->code_page);
  const std::pair<const wchar_t*, const wchar_t*> strings[] = {
      {L"FileVersion", TOVAN_VERSION_TEXT_W},
      {L"ProductVersion", TOVAN_VERSION_TEXT_W},
      {L"OriginalFilename", L"tovan.exe"},
      {L"ProductName", L"Tovan Phone"},
  };
  for (const auto& [name, expected] : strings) {
    wchar_t* value = nullptr;
    ASSERT_TRUE(VerQueryValueW(version.data(), (std::wstring(prefix) + name).c_str(),
                               reinterpret_cast<void**>(&value), &length))
        << Narrow(name);
    EXPECT_STREQ(value, expected) << Narrow(name);
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  ASSERT_TRUE(VerQueryValueW(version.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00020000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00060000u);
}

TEST_F(TovanSessionTest, MissingBundleFailsWithoutAWindow) {
  // tovan.exe and its libraries without data\ beside them.
  const std::wstring folder = FreshFolder(L"nobundle");
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((BundleFolder() + L"\\*.*").c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      CopyFileW((BundleFolder() + L"\\" + found.cFileName).c_str(),
                (folder + L"\\" + found.cFileName).c_str(), FALSE);
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);

  LaunchOptions options;
  options.executable = folder + L"\\tovan.exe";
  TovanProcess process(options);
  ASSERT_TRUE(process.started());
  bool ever_visible = false;
  while (WaitForSingleObject(process.process_handle(), 5) == WAIT_TIMEOUT) {
    HWND window = process.FindMainWindow();
    if (window != nullptr && IsWindowVisible(window)) ever_visible = true;
  }
  EXPECT_EQ(process.Wait(kRunTimeoutMs), 1u);
  EXPECT_FALSE(ever_visible);
  // The error stream is in text mode: its end of line reaches the pipe as CR LF.
  EXPECT_NE(process.output().find("Failed to create view controller.\r\n"), std::string::npos)
      << "error stream: " << process.output();
}

// The host records the faults that matter, whichever thread they hit: each
// leaves a report with the session's diagnostic cells, the dump it names and
// its copy in the temporary folder, and ends the process with its own code.
TEST_F(TovanSessionTest, FaultsAfterTheSessionWriteTheCrashFiles) {
  const std::string c = std::string(kChannel) + " ";
  const std::string script = c + "getCrashDumpDirectory()\n" + c +
                             "setVolume({\"volume\": 0.25})\n" + c +
                             "getSystemAudioDevices({\"isCapture\": false})\n";
  const struct {
    const wchar_t* kind;
    DWORD exit_code;
    const char* exception_code;
  } kFaults[] = {
      // The runtime's frame around the UI thread turns the access violation
      // into a segmentation signal.
      {L"access-violation", 139, "0xC0000005"},
      {L"stack-overflow", 0xC00000FD, "0xC00000FD"},
      {L"stack-overflow-thread", 0xC00000FD, "0xC00000FD"},
  };
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  for (const auto& fault : kFaults) {
    SCOPED_TRACE(Narrow(fault.kind));
    const ScriptedRun run = RunScript(L"crash", script, L"", fault.kind);
    EXPECT_EQ(run.exit_code, fault.exit_code) << std::hex << run.exit_code;
    ASSERT_GE(run.transcript.size(), 2u) << Joined(run.transcript);
    // < success("C:\\users\\...\\crashes")
    std::string directory = run.transcript[1];
    ASSERT_TRUE(StartsWith(directory, "< success(\"")) << directory;
    directory = directory.substr(11, directory.size() - 11 - 2);
    std::string unescaped;
    for (size_t i = 0; i < directory.size(); ++i) {
      if (directory[i] == '\\' && i + 1 < directory.size()) ++i;
      unescaped += directory[i];
    }
    const std::wstring crash_folder = Widen(unescaped);
    const std::vector<std::string> report =
        SplitLines(ReadWholeFile(crash_folder + L"\\last_native_crash.txt"));
    ASSERT_FALSE(report.empty()) << "no report in " << unescaped;
    const std::string text = Joined(report);
    EXPECT_NE(text.find("appVersion=" TOVAN_VERSION_TEXT "\n"), std::string::npos) << text;
    EXPECT_NE(text.find("lastAudioOp=5\n"), std::string::npos) << text;
    EXPECT_NE(text.find("audioOpCount=2\n"), std::string::npos) << text;
    EXPECT_NE(text.find("lastSetEndpointHr=0x00000000\n"), std::string::npos) << text;
    EXPECT_NE(text.find(std::string("exceptionCode=") + fault.exception_code + "\n"),
              std::string::npos)
        << text;
    // The dump the report names exists, and so does its copy.
    const int dump_line = FindLine(report, "dumpPath=");
    ASSERT_GE(dump_line, 0) << text;
    const std::wstring dump = Widen(report[static_cast<size_t>(dump_line)].substr(9));
    EXPECT_NE(GetFileAttributesW(dump.c_str()), INVALID_FILE_ATTRIBUTES) << text;
    const std::wstring copy =
        std::wstring(temp) + L"tovan_crashes\\" + dump.substr(dump.rfind(L'\\') + 1);
    EXPECT_NE(GetFileAttributesW(copy.c_str()), INVALID_FILE_ATTRIBUTES) << Narrow(copy);

    // The Windows Error Reporting values point at the same folder.
    wchar_t folder[MAX_PATH] = {};
    DWORD size = sizeof(folder);
    EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, kLocalDumpsKey, L"DumpFolder",
                           RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, folder, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(Narrow(folder), unescaped);
    // The crash folder is the prefix's own: leave it as it was found.
    for (const std::wstring& file : {dump, copy, crash_folder + L"\\last_native_crash.txt"}) {
      DeleteFileW(file.c_str());
    }
  }
  DWORD value = 0;
  EXPECT_TRUE(ReadDword(kLocalDumpsKey, L"DumpType", &value) && value == 2);
  EXPECT_TRUE(ReadDword(kLocalDumpsKey, L"DumpCount", &value) && value == 10);
}

// Without a console of its own to attach to: no console without a debugger;
// under a debugger it opens one (and the embedding is told to follow it).
TEST_F(TovanSessionTest, ConsoleOnlyUnderADebuggerWithoutAParentConsole) {
  const std::string c = std::string(kChannel) + " ";
  for (bool debugged : {false, true}) {
    const std::wstring folder = FreshFolder(debugged ? L"console_debugged" : L"console_plain");
    const std::wstring trace_path = folder + L"\\trace.txt";
    const std::wstring script_path = folder + L"\\s.script";
    // The unknown endpoint makes the audio plugin write a debugger line.
    WriteWholeFile(script_path,
                   c + "setVolume({\"volume\": 0.5})\n" + c +
                       "setSystemDefaultAudioDevice({\"deviceId\": \"{0.0.0.00000000}.{"
                       "nope}\", \"isCapture\": false})\n");
    LaunchOptions options;
    options.executable = TovanExe();
    options.detached = true;
    options.arguments =
        Argument(L"--devkit-trace", trace_path) + L" " + Argument(L"--script", script_path);
    std::vector<std::string> debug_lines;
    DWORD code;
    if (debugged) {
      code = RunUnderDebugger(options, kRunTimeoutMs, &debug_lines);
    } else {
      TovanProcess process(options);
      code = process.Wait(kRunTimeoutMs);
    }
    EXPECT_EQ(code, 0u) << (debugged ? "debugged" : "plain");
    const std::vector<std::string> trace = SplitLines(ReadWholeFile(trace_path));
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(CountLines(trace, "FlutterDesktopResyncOutputStreams"), debugged ? 1 : 0)
        << (debugged ? "debugged: a console of its own" : "plain: no console");
    if (debugged) {
      // The debugger hears the program, and COM was initialised: no warning.
      EXPECT_NE(std::find(debug_lines.begin(), debug_lines.end(),
                          "[WindowsAudioPlugin] ValidateAudioDevice: device not found"),
                debug_lines.end())
          << Joined(debug_lines);
      for (const std::string& line : debug_lines) {
        EXPECT_EQ(line.find("[Tovan] WARNING"), std::string::npos) << line;
      }
      // OpenDebugConsole runs before the engine exists.
      EXPECT_LT(FindLine(trace, "FlutterDesktopResyncOutputStreams"),
                FindLine(trace, "FlutterDesktopEngineCreate "));
    }
  }
}

}  // namespace
}  // namespace tovan_test
