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

ScriptReader::Item ScriptReader::Next(ScriptStep* step, ScriptProblem* problem) {
  while (position_ < text_.size()) {
    size_t end = text_.find('\n', position_);
    if (end == std::string_view::npos) end = text_.size();
    const std::string_view line = Trim(text_.substr(position_, end - position_));
    position_ = end + 1;
    ++line_;
    if (line.empty() || line.front() == '#') continue;
    *step = ScriptStep();
    step->line = line_;
    problem->line = line_;
    if (line.front() == '@') {
      if (line != "@memory") {
        problem->message = "unknown directive " + std::string(line);
        return Item::kProblem;
      }
      step->kind = ScriptStep::Kind::kMemory;
      return Item::kStep;
    }
    return ParseLine(line, step, &problem->message) ? Item::kStep : Item::kProblem;
  }
  return Item::kEnd;
}

}  // namespace devkit
