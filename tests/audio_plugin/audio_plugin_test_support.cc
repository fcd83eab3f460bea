#include "tests/audio_plugin/audio_plugin_test_support.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <gtest/gtest.h>
#include <shellapi.h>

#include "crash/crash_diagnostics.h"

using flutter::EncodableValue;
using flutter::EncodableValueList;
using flutter::EncodableValueMap;

void CallPlugin(WindowsAudioPlugin& plugin, const std::string& method,
                std::unique_ptr<EncodableValue> arguments, AnswerLog& log) {
  const WindowsAudioPlugin::MethodCall call(method, std::move(arguments));
  plugin.HandleMethodCall(call, RecordingResult::Into(&log));
}

AnswerLog CallPlugin(WindowsAudioPlugin& plugin, const std::string& method,
                     std::unique_ptr<EncodableValue> arguments) {
  AnswerLog log;
  CallPlugin(plugin, method, std::move(arguments), log);
  return log;
}

std::unique_ptr<EncodableValue> Arguments(EncodableValueMap map) {
  return std::make_unique<EncodableValue>(std::move(map));
}

std::vector<ListedEndpoint> ListedEndpoints(const AnswerLog& log) {
  std::vector<ListedEndpoint> listed;
  const RecordedAnswer& answer = log.Only();
  EXPECT_EQ(answer.kind, RecordedAnswer::Kind::kSuccess) << answer.code << ": " << answer.message;
  if (answer.kind != RecordedAnswer::Kind::kSuccess || !answer.value) return listed;
  const auto* list = answer.value->TryGet<EncodableValueList>();
  EXPECT_NE(list, nullptr) << "the listing is not a list";
  if (list == nullptr) return listed;
  for (const EncodableValue& element : *list) {
    const auto* entry = element.TryGet<EncodableValueMap>();
    EXPECT_NE(entry, nullptr) << "an entry is not a map";
    if (entry == nullptr) continue;
    EXPECT_EQ(entry->size(), 3u) << "an entry has exactly deviceId, label and isDefault";
    const EncodableValue* id = entry->Find(EncodableValue("deviceId"));
    const EncodableValue* label = entry->Find(EncodableValue("label"));
    const EncodableValue* is_default = entry->Find(EncodableValue("isDefault"));
    const bool well_formed = id && id->TryGet<std::string>() && label &&
                             label->TryGet<std::string>() && is_default &&
                             is_default->TryGet<bool>();
    EXPECT_TRUE(well_formed) << "entry keys or alternatives are wrong";
    if (!well_formed) continue;
    listed.emplace_back(id->Get<std::string>(), label->Get<std::string>(), is_default->Get<bool>());
  }
  return listed;
}

DiagnosticCells DiagnosticCells::Read() {
  return {CrashDiagnostics::lastAudioOp.load(), CrashDiagnostics::lastSetEndpointHr.load(),
          CrashDiagnostics::lastMciError.load(), CrashDiagnostics::audioOpCount.load()};
}

TemporaryDirectory::TemporaryDirectory() {
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH, temp);
  path_ = std::wstring(temp) + L"tovan_audio_test_" + std::to_wstring(GetCurrentProcessId()) +
          L"_" + std::to_wstring(GetTickCount64());
  CreateDirectoryW(path_.c_str(), nullptr);
}

TemporaryDirectory::~TemporaryDirectory() {
  // The whole tree, through the shell's own recursive delete (double-terminated list).
  std::wstring from = path_;
  from.push_back(L'\0');
  SHFILEOPSTRUCTW operation = {};
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.fFlags = FOF_NO_UI;
  SHFileOperationW(&operation);
}

std::wstring TemporaryDirectory::WriteFile(const std::wstring& name,
                                           const std::string& bytes) const {
  const std::wstring file = path_ + L"\\" + name;
  HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(handle, INVALID_HANDLE_VALUE);
  if (handle != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(handle);
  }
  return file;
}
