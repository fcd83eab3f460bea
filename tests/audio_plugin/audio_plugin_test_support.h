#pragma once

// Test tool: calling the audio plugin's dispatcher and reading its replies.

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "audio_plugin/windows_audio_plugin.h"
#include "channel/encodable_value.h"
#include "tests/audio_plugin/recording_result.h"

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

// A UTF-8 string as a wide one (test inputs are well-formed).
std::wstring Widen(const std::string& utf8);

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

// A valid 8-bit mono PCM WAV file of `samples` samples at 8000 Hz (a quiet tone).
std::string WavBytes(unsigned samples);

// The UTF-8 form of a wide string (test inputs are well-formed).
std::string Narrow(const std::wstring& wide);
