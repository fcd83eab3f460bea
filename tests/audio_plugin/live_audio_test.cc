// The plugin against the real platform under Wine: endpoints served by a PulseAudio daemon with
// named null sinks (scripts/pulse-start), the sound player audibly looping into it, the policy
// objects Wine does not have, and the real crash directory and shell. The audio cases skip when
// no daemon answers `pactl info`.

#include <windows.h>
// After windows.h, whose types they use.
#include <gtest/gtest.h>
#include <knownfolders.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "tests/audio_plugin/audio_plugin_test_support.h"
#include "tests/audio_plugin/fake_audio_system.h"
#include "tests/audio_plugin/unix_shell.h"

namespace {

using flutter::EncodableValue;

constexpr char kMissingLine[] = "[WindowsAudioPlugin] Ringtone file missing or invalid";

// The platform, except that the plugin's debugger-output lines are captured.
AudioSystemCalls RealCallsCapturingLines() {
  AudioSystemCalls calls = RealAudioSystemCalls();
  calls.write_debug_line = &CaptureDebugLine;
  return calls;
}

std::string ExecutableName() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::wstring full = path;
  return Narrow(full.substr(full.find_last_of(L"\\/") + 1));
}

class LiveAudioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::optional<ShellOutcome> info = RunUnixShell("pactl info");
    if (!info || info->exit_code != 0) {
      const std::string why =
          "no PulseAudio daemon answers `pactl info` (start one with scripts/pulse-start): the "
          "live audio cases need its null sinks (" +
          (info ? "exit " + std::to_string(info->exit_code) + ": " + info->output
                : std::string("no shell under this platform")) +
          ")";
      // The test scripts start a daemon and say so: there, a skip would hide a fault.
      char required[8] = "";
      if (GetEnvironmentVariableA("TOVAN_LIVE_AUDIO", required, sizeof required) > 0 &&
          std::string(required) == "1") {
        FAIL() << why;
      }
      GTEST_SKIP() << why;
    }
  }

  // This process's playback streams as PulseAudio lists them.
  int OurStreams() {
    const std::optional<ShellOutcome> inputs = RunUnixShell("pactl list sink-inputs");
    if (!inputs) return -1;
    const std::string marker = "application.name = \"" + ExecutableName() + "\"";
    int count = 0;
    for (std::size_t at = inputs->output.find(marker); at != std::string::npos;
         at = inputs->output.find(marker, at + 1)) {
      ++count;
    }
    return count;
  }

  // Polls until this process has `count` streams, for up to 30 seconds (each
  // look starts a shell, slow on a loaded machine).
  bool AwaitStreams(int count) {
    const ULONGLONG deadline = GetTickCount64() + 30000;
    for (;;) {
      if (OurStreams() == count) return true;
      if (GetTickCount64() > deadline) return false;
      Sleep(100);
    }
  }

  AnswerLog Play(WindowsAudioPlugin& plugin, const std::string& path) {
    return CallPlugin(plugin, "playRingtone",
                      Arguments({{EncodableValue("filePath"), EncodableValue(path)}}));
  }

  ScopedFakeAudioSystem system_{RealCallsCapturingLines()};
  TemporaryDirectory files_;
};

TEST_F(LiveAudioTest, ListsTheNullSinksWithOneDefaultAndTheirMonitorsForCapture) {
  WindowsAudioPlugin plugin;
  const std::vector<ListedEndpoint> render =
      ListedEndpoints(CallPlugin(plugin, "getSystemAudioDevices"));
  std::set<std::string> labels;
  int defaults = 0;
  for (const auto& [id, label, is_default] : render) {
    labels.insert(label);
    defaults += is_default ? 1 : 0;
    EXPECT_EQ(id.rfind("{0.0.0.", 0), 0u) << label << ": a render endpoint id, got " << id;
  }
  EXPECT_TRUE(labels.count("Desk_Speakers"))
      << "render labels: " << ::testing::PrintToString(labels);
  EXPECT_TRUE(labels.count("USB_Headset")) << "render labels: " << ::testing::PrintToString(labels);
  EXPECT_EQ(defaults, 1);

  const std::vector<ListedEndpoint> capture =
      ListedEndpoints(CallPlugin(plugin, "getSystemAudioDevices",
                                 Arguments({{EncodableValue("isCapture"), EncodableValue(true)}})));
  std::set<std::string> capture_labels;
  defaults = 0;
  for (const auto& [id, label, is_default] : capture) {
    capture_labels.insert(label);
    defaults += is_default ? 1 : 0;
    EXPECT_EQ(id.rfind("{0.0.1.", 0), 0u) << label << ": a capture endpoint id, got " << id;
  }
  EXPECT_TRUE(capture_labels.count("Monitor of Desk_Speakers"))
      << ::testing::PrintToString(capture_labels);
  EXPECT_TRUE(capture_labels.count("Monitor of USB_Headset"))
      << ::testing::PrintToString(capture_labels);
  EXPECT_EQ(defaults, 1);
  std::cout << "render endpoints: " << ::testing::PrintToString(labels)
            << "\ncapture endpoints: " << ::testing::PrintToString(capture_labels) << std::endl;
}

TEST_F(LiveAudioTest, SwitchingTheDefaultAnswersWhatThePlatformAllows) {
  WindowsAudioPlugin plugin;
  std::string speakers, monitor;
  for (const auto& [id, label, is_default] :
       ListedEndpoints(CallPlugin(plugin, "getSystemAudioDevices"))) {
    if (label == "Desk_Speakers") speakers = id;
  }
  for (const auto& [id, label, is_default] : ListedEndpoints(
           CallPlugin(plugin, "getSystemAudioDevices",
                      Arguments({{EncodableValue("isCapture"), EncodableValue(true)}})))) {
    if (label == "Monitor of Desk_Speakers") monitor = id;
  }
  ASSERT_FALSE(speakers.empty());
  ASSERT_FALSE(monitor.empty());

  auto switch_to = [&](const std::string& id, bool is_capture) {
    return CallPlugin(plugin, "setSystemDefaultAudioDevice",
                      Arguments({{EncodableValue("deviceId"), EncodableValue(id)},
                                 {EncodableValue("isCapture"), EncodableValue(is_capture)}}));
  };

  const AnswerLog listed = switch_to(speakers, false);
  const RecordedAnswer& answer = listed.Only();
  if (RunningUnderWine()) {
    // Wine registers no audio-policy class, so neither policy object can be created.
    EXPECT_EQ(answer.code, "COM_ERROR");
    EXPECT_EQ(answer.message, "Failed to create IPolicyConfig - unsupported OS?");
    std::cout << "Wine answers setSystemDefaultAudioDevice with " << answer.code << ": "
              << answer.message << std::endl;
  } else {
    EXPECT_TRUE(answer.kind == RecordedAnswer::Kind::kSuccess ||
                answer.code == "SET_DEFAULT_FAILED")
        << answer.code << ": " << answer.message;
  }

  // Validation runs against the real endpoints before any policy object is asked for.
  Fake().debug_lines.clear();
  const AnswerLog wrong_flow = switch_to(monitor, false);
  EXPECT_EQ(wrong_flow.Only().code, "INVALID_DEVICE");
  EXPECT_EQ(Fake().debug_lines,
            std::vector<std::string>{"[WindowsAudioPlugin] ValidateAudioDevice: wrong data flow "
                                     "(e.g. tried to set a microphone as speaker or vice versa)"});
  Fake().debug_lines.clear();
  const AnswerLog unknown =
      switch_to("{0.0.0.00000000}.{00000000-0000-0000-0000-000000000000}", false);
  EXPECT_EQ(unknown.Only().code, "INVALID_DEVICE");
  EXPECT_EQ(Fake().debug_lines,
            std::vector<std::string>{"[WindowsAudioPlugin] ValidateAudioDevice: device not found"});
}

TEST_F(LiveAudioTest, TheRingtoneLoopsUntilStoppedAndSurvivesFailedStarts) {
  // Half a second of sound: still playing well after that shows the loop.
  const std::string ring = Narrow(files_.WriteFile(L"ring \u00E9t\u00E9.wav", WavBytes(4000)));
  ASSERT_TRUE(AwaitStreams(0)) << "a stream of this process is already playing";
  WindowsAudioPlugin plugin;
  const AnswerLog started = Play(plugin, ring);
  ASSERT_EQ(started.Only().kind, RecordedAnswer::Kind::kSuccess) << started.Describe();
  EXPECT_TRUE(AwaitStreams(1)) << "PulseAudio lists no stream of this process";
  Sleep(1500);
  EXPECT_EQ(OurStreams(), 1) << "still playing three times the file's length later";

  for (const std::string& unusable :
       {Narrow(files_.path()) + "\\absent.wav", Narrow(files_.path())}) {
    Fake().debug_lines.clear();
    const AnswerLog failed = Play(plugin, unusable);
    EXPECT_EQ(failed.Only().code, "PLAY_FAILED") << unusable;
    EXPECT_EQ(failed.Only().message, "Failed to start native MCI playback");
    EXPECT_EQ(Fake().debug_lines, std::vector<std::string>{kMissingLine}) << unusable;
    EXPECT_EQ(OurStreams(), 1) << unusable << ": the earlier ringtone keeps playing";
  }

  EXPECT_EQ(CallPlugin(plugin, "stopRingtone").Only().kind, RecordedAnswer::Kind::kSuccess);
  EXPECT_TRUE(AwaitStreams(0)) << "the stream outlived stopRingtone";
}

TEST_F(LiveAudioTest, DestroyingThePluginEndsTheRingtone) {
  const std::string ring = Narrow(files_.WriteFile(L"ring.wav", WavBytes(4000)));
  ASSERT_TRUE(AwaitStreams(0));
  {
    WindowsAudioPlugin plugin;
    ASSERT_EQ(Play(plugin, ring).Only().kind, RecordedAnswer::Kind::kSuccess);
    EXPECT_TRUE(AwaitStreams(1));
  }
  EXPECT_TRUE(AwaitStreams(0)) << "the stream outlived the plugin";
}

// --- The crash directory methods on the real profile folders and shell.

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
  wchar_t* path = nullptr;
  std::wstring result;
  if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)) && path) result = path;
  CoTaskMemFree(path);
  return result;
}

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

constexpr wchar_t kShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// Points the roaming profile folder of this user elsewhere, and back on destruction.
class RoamingFolderRedirect {
 public:
  explicit RoamingFolderRedirect(const std::wstring& folder) {
    RegOpenKeyExW(HKEY_CURRENT_USER, kShellFolders, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key_);
    DWORD type = 0, bytes = sizeof saved_;
    had_value_ = RegQueryValueExW(key_, L"AppData", nullptr, &type, reinterpret_cast<BYTE*>(saved_),
                                  &bytes) == ERROR_SUCCESS;
    saved_type_ = type;
    saved_bytes_ = bytes;
    RegSetValueExW(key_, L"AppData", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
  }
  ~RoamingFolderRedirect() {
    if (had_value_) {
      RegSetValueExW(key_, L"AppData", 0, saved_type_, reinterpret_cast<const BYTE*>(saved_),
                     saved_bytes_);
    } else {
      RegDeleteValueW(key_, L"AppData");
    }
    RegCloseKey(key_);
  }
  RoamingFolderRedirect(const RoamingFolderRedirect&) = delete;
  RoamingFolderRedirect& operator=(const RoamingFolderRedirect&) = delete;

 private:
  HKEY key_ = nullptr;
  bool had_value_ = false;
  DWORD saved_type_ = REG_SZ;
  DWORD saved_bytes_ = 0;
  wchar_t saved_[1024] = {};
};

class LiveCrashDirectoryTest : public ::testing::Test {
 protected:
  std::string Directory(WindowsAudioPlugin& plugin) {
    const AnswerLog log = CallPlugin(plugin, "getCrashDumpDirectory");
    const RecordedAnswer& answer = log.Only();
    EXPECT_EQ(answer.kind, RecordedAnswer::Kind::kSuccess) << answer.code << ": " << answer.message;
    return answer.value && answer.value->TryGet<std::string>()
               ? *answer.value->TryGet<std::string>()
               : std::string();
  }

  ScopedFakeAudioSystem system_{RealCallsCapturingLines()};
  TemporaryDirectory files_;
  WindowsAudioPlugin plugin_;
};

TEST_F(LiveCrashDirectoryTest, AnswersTheRoamingDirectoryAndRecreatesIt) {
  const std::wstring expected =
      KnownFolder(FOLDERID_RoamingAppData) + L"\\com.brenmoworks\\tovan\\BrenmoTovan\\crashes";
  EXPECT_EQ(Directory(plugin_), Narrow(expected));
  EXPECT_TRUE(IsDirectory(expected));
  ASSERT_TRUE(RemoveDirectoryW(expected.c_str())) << "the directory is empty after the call";
  EXPECT_EQ(Directory(plugin_), Narrow(expected));
  EXPECT_TRUE(IsDirectory(expected)) << "recreated";
}

TEST_F(LiveCrashDirectoryTest, AProfileFolderOutsideAsciiIsAnsweredInUtf8) {
  const std::wstring profile = files_.path() + L"\\J\u00F6rg \u674E\u660E \u00C5sa";
  const std::wstring roaming = profile + L"\\AppData\\Roaming";
  ASSERT_EQ(SHCreateDirectoryExW(nullptr, roaming.c_str(), nullptr), ERROR_SUCCESS);
  RoamingFolderRedirect redirect(roaming);
  ASSERT_EQ(KnownFolder(FOLDERID_RoamingAppData), roaming) << "the redirect took no effect";
  const std::wstring expected = roaming + L"\\com.brenmoworks\\tovan\\BrenmoTovan\\crashes";
  const std::string answered = Directory(plugin_);
  EXPECT_EQ(answered, Narrow(expected));
  EXPECT_NE(answered.find("J\xC3\xB6rg \xE6\x9D\x8E\xE6\x98\x8E \xC3\x85sa"), std::string::npos);
  EXPECT_TRUE(IsDirectory(expected));
}

std::set<DWORD> ProcessesNamed(const std::vector<std::wstring>& names) {
  std::set<DWORD> ids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    for (const std::wstring& name : names) {
      if (_wcsicmp(entry.szExeFile, name.c_str()) == 0) ids.insert(entry.th32ProcessID);
    }
  }
  CloseHandle(snapshot);
  return ids;
}

TEST_F(LiveCrashDirectoryTest, OpeningTheDirectoryAnswersTrueOrShellErrorWhenRefused) {
  const std::vector<std::wstring> file_managers = {L"explorer.exe", L"winefile.exe"};
  const std::set<DWORD> before = ProcessesNamed(file_managers);
  const AnswerLog opened = CallPlugin(plugin_, "openCrashDumpDirectory");
  EXPECT_EQ(opened.Only().kind, RecordedAnswer::Kind::kSuccess)
      << opened.Only().code << ": " << opened.Only().message;
  // The file manager the shell started belongs to this test: end it by its id
  // once it shows (the shell starts it on its own).
  std::set<DWORD> started;
  for (const ULONGLONG deadline = GetTickCount64() + 15000;
       started.empty() && GetTickCount64() < deadline; Sleep(50)) {
    for (DWORD id : ProcessesNamed(file_managers)) {
      if (!before.count(id)) started.insert(id);
    }
  }
  for (DWORD id : started) {
    if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id)) {
      TerminateProcess(process, 0);
      CloseHandle(process);
    }
  }

  // A plain file where the directory belongs: the resolver cannot create it, and the shell has
  // nothing to explore.
  const std::wstring roaming = files_.path() + L"\\refusing\\AppData\\Roaming";
  const std::wstring tovan = roaming + L"\\com.brenmoworks\\tovan\\BrenmoTovan";
  ASSERT_EQ(SHCreateDirectoryExW(nullptr, tovan.c_str(), nullptr), ERROR_SUCCESS);
  files_.WriteFile(L"refusing\\AppData\\Roaming\\com.brenmoworks\\tovan\\BrenmoTovan\\crashes",
                   "not a directory");
  RoamingFolderRedirect redirect(roaming);
  const AnswerLog refused = CallPlugin(plugin_, "openCrashDumpDirectory");
  const RecordedAnswer& answer = refused.Only();
  EXPECT_EQ(answer.code, "SHELL_ERROR");
  EXPECT_EQ(answer.message, "Failed to open crash dump directory");
  EXPECT_FALSE(answer.has_details);
}

}  // namespace
