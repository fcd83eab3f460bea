#include "devkit/embedding/script.h"

#include <memory>

#include "channel/method_call.h"
#include "channel/standard_method_codec.h"
#include "devkit/notation/channel_notation.h"

namespace devkit {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Reads one non-comment line into a step, or explains why it cannot.
bool ParseLine(std::string_view line, ScriptStep* step, std::string* problem) {
  size_t channel_end = 0;
  while (channel_end < line.size() && !IsBlank(line[channel_end])) ++channel_end;
  step->channel = std::string(line.substr(0, channel_end));
  const std::string_view rest = Trim(line.substr(channel_end));
  if (rest.empty()) {
    *problem = "no message after the channel";
    return false;
  }
  tovan::notation::ParseError error;
  if (rest.substr(0, 3) == "hex" && (rest.size() == 3 || IsBlank(rest[3]))) {
    const std::string_view bytes = Trim(rest.substr(3));
    if (!tovan::notation::FromHex(bytes, &step->message, &error)) {
      *problem = "hex: " + error.message + " (" +
                 tovan::notation::DescribePosition(bytes, error.position) + ")";
      return false;
    }
    step->shown = "hex";
    if (!step->message.empty()) {
      step->shown += " " + tovan::notation::ToHex(step->message.data(), step->message.size());
    }
    return true;
  }
  std::string method;
  flutter::EncodableValue arguments;
  if (!tovan::notation::ParseCall(rest, &method, &arguments, &error)) {
    *problem = "call: " + error.message + " (" +
               tovan::notation::DescribePosition(rest, error.position) + ")";
    return false;
  }
  step->shown = tovan::notation::PrintCall(method, arguments);
  const flutter::MethodCall<flutter::EncodableValue> call(
      method, std::make_unique<flutter::EncodableValue>(std::move(arguments)));
  std::unique_ptr<std::vector<uint8_t>> encoded =
      flutter::StandardMethodCodec::SharedInstance().EncodeCall(call);
  step->message = encoded ? std::move(*encoded) : std::vector<uint8_t>();
  return true;
}

}  // namespace

void ParseScript(std::string_view text, std::vector<ScriptStep>* steps,
                 std::vector<ScriptProblem>* problems) {
  int number = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = Trim(text.substr(start, end - start));
    start = end + 1;
    ++number;
    if (line.empty() || line.front() == '#') continue;
    ScriptStep step;
    step.line = number;
    std::string problem;
    if (line.front() == '@') {
      if (line == "@memory") {
        step.kind = ScriptStep::Kind::kMemory;
        steps->push_back(std::move(step));
      } else {
        problems->push_back(ScriptProblem{number, "unknown directive " + std::string(line)});
      }
    } else if (ParseLine(line, &step, &problem)) {
      steps->push_back(std::move(step));
    } else {
      problems->push_back(ScriptProblem{number, problem});
    }
  }
}

}  // namespace devkit
