#pragma once

// Test tool: calling the audio plugin's dispatcher and reading its replies.

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "audio_plugin/windows_audio_plugin.h"
#include "channel/encodable_value.h"
#include "tests/audio_plugin/recording_result.h"
#include "tests/support/text_files.h"
#include "tests/support/wave_bytes.h"

// The shared conversions and test files, under the names these tests use.
using tovan_test::Narrow;
using tovan_test::WavBytes;
using tovan_test::Widen;

// Sends one call to `plugin` and returns what its result was told. `log` may be prepared (an
// on_answer hook, a refusal) by the caller.
void CallPlugin(WindowsAudioPlugin& plugin, const std::string& method,
                std::unique_ptr<flutter::EncodableValue> arguments, AnswerLog& log);
AnswerLog CallPlugin(WindowsAudioPlugin& plugin, const std::string& method,
                     std::unique_ptr<flutter::EncodableValue> arguments = nullptr);

std::unique_ptr<flutter::EncodableValue> Arguments(flutter::EncodableValueMap map);

// One endpoint entry of a "getSystemAudioDevices" reply: id, label, is-default.
using ListedEndpoint = std::tuple<std::string, std::string, bool>;
// The entries of a successful listing; fails the test when the reply is not a well-formed one.
std::vector<ListedEndpoint> ListedEndpoints(const AnswerLog& log);

// The four diagnostic cells, for before/after comparisons.
struct DiagnosticCells {
  int last_audio_op;
  int last_set_endpoint_hr;
  int last_mci_error;
  int audio_op_count;
  static DiagnosticCells Read();
};

// A fresh directory under the temporary path, removed with its files on destruction.
class TemporaryDirectory {
 public:
  TemporaryDirectory();
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  const std::wstring& path() const { return path_; }
  // Writes `bytes` to the file `name` in the directory; returns its full path.
  std::wstring WriteFile(const std::wstring& name, const std::string& bytes) const;

 private:
  std::wstring path_;
};
