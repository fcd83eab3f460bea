#pragma once

// Test tool: a MethodResult that records every answer it is given, for the audio plugin's tests.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "channel/encodable_value.h"
#include "channel/method_result.h"

// One answer as a result received it.
struct RecordedAnswer {
  enum class Kind { kSuccess, kError, kNotImplemented };
  Kind kind = Kind::kSuccess;
  std::optional<flutter::EncodableValue> value;  // Success value; absent for Success()
  std::string code;
  std::string message;
  bool has_details = false;
};

// Everything a call's result was told, in order; outlives the result.
struct AnswerLog {
  std::vector<RecordedAnswer> answers;
  bool destroyed = false;
  // Called as each answer arrives, before it is recorded.
  std::function<void()> on_answer;
  // Makes the first answer throw instead of being recorded, as a result that cannot send would.
  bool refuse_first_answer = false;

  // The only answer; fails the test (and returns an empty error record) unless there was
  // exactly one.
  const RecordedAnswer& Only() const;
  std::string Describe() const;
};

// Checks that the log holds exactly one answer: an error with `code` and
// `message` and no details.
void ExpectError(const AnswerLog& log, const std::string& code, const std::string& message);
// Checks that the log holds exactly one answer: a success with the bool true.
void ExpectTrue(const AnswerLog& log);

class RecordingResult : public flutter::MethodResult<flutter::EncodableValue> {
 public:
  explicit RecordingResult(AnswerLog* log) : log_(log) {}
  ~RecordingResult() override { log_->destroyed = true; }

  static std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> Into(AnswerLog* log) {
    return std::make_unique<RecordingResult>(log);
  }

 protected:
  void HandleSuccess(const flutter::EncodableValue* value) override;
  void HandleError(const std::string& code, const std::string& message,
                   const flutter::EncodableValue* details) override;
  void HandleNotImplemented() override;

 private:
  // Runs on_answer and the refusal; true when the answer may be recorded.
  void Arrive();

  AnswerLog* log_;
};
