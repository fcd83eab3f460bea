#include "tests/audio_plugin/audio_plugin_test_support.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <gtest/gtest.h>
#include <shellapi.h>

#include <cstdint>

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

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
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

std::string WavBytes(unsigned samples) {
  std::string bytes;
  auto put32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  auto put16 = [&](std::uint16_t v) {
    bytes.push_back(static_cast<char>(v & 0xFF));
    bytes.push_back(static_cast<char>(v >> 8));
  };
  bytes += "RIFF";
  put32(36 + samples);
  bytes += "WAVEfmt ";
  put32(16);
  put16(1);     // PCM
  put16(1);     // mono
  put32(8000);  // samples per second
  put32(8000);  // bytes per second
  put16(1);     // block alignment
  put16(8);     // bits per sample
  bytes += "data";
  put32(samples);
  for (unsigned i = 0; i < samples; ++i) bytes.push_back(static_cast<char>(i % 16 < 8 ? 136 : 120));
  return bytes;
}

std::string Narrow(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), narrow.data(), length,
                      nullptr, nullptr);
  return narrow;
}
