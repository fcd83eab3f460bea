#include "tests/audio_plugin/recording_result.h"

#include <gtest/gtest.h>

#include <stdexcept>

const RecordedAnswer& AnswerLog::Only() const {
  static const RecordedAnswer kNoAnswer{RecordedAnswer::Kind::kError, std::nullopt, "<none>",
                                        "<no single answer>", false};
  EXPECT_EQ(answers.size(), 1u) << "expected exactly one answer, got " << Describe();
  return answers.size() == 1 ? answers.front() : kNoAnswer;
}

std::string AnswerLog::Describe() const {
  std::string text = std::to_string(answers.size()) + " answer(s)";
  for (const RecordedAnswer& answer : answers) {
    switch (answer.kind) {
      case RecordedAnswer::Kind::kSuccess:
        text += " [success]";
        break;
      case RecordedAnswer::Kind::kError:
        text += " [error " + answer.code + ": " + answer.message + "]";
        break;
      case RecordedAnswer::Kind::kNotImplemented:
        text += " [not implemented]";
        break;
    }
  }
  return text;
}

void ExpectError(const AnswerLog& log, const std::string& code, const std::string& message) {
  const RecordedAnswer& answer = log.Only();
  EXPECT_EQ(answer.kind, RecordedAnswer::Kind::kError);
  EXPECT_EQ(answer.code, code);
  EXPECT_EQ(answer.message, message);
  EXPECT_FALSE(answer.has_details);
}

void ExpectTrue(const AnswerLog& log) {
  const RecordedAnswer& answer = log.Only();
  EXPECT_EQ(answer.kind, RecordedAnswer::Kind::kSuccess) << answer.code << ": " << answer.message;
  ASSERT_TRUE(answer.value.has_value());
  ASSERT_NE(answer.value->TryGet<bool>(), nullptr);
  EXPECT_TRUE(*answer.value->TryGet<bool>());
}

void RecordingResult::Arrive() {
  if (log_->on_answer) log_->on_answer();
  if (log_->refuse_first_answer) {
    log_->refuse_first_answer = false;
    throw std::runtime_error("result refused the answer");
  }
}

void RecordingResult::HandleSuccess(const flutter::EncodableValue* value) {
  Arrive();
  RecordedAnswer answer;
  answer.kind = RecordedAnswer::Kind::kSuccess;
  if (value != nullptr) answer.value = *value;
  log_->answers.push_back(std::move(answer));
}

void RecordingResult::HandleError(const std::string& code, const std::string& message,
                                  const flutter::EncodableValue* details) {
  Arrive();
  RecordedAnswer answer;
  answer.kind = RecordedAnswer::Kind::kError;
  answer.code = code;
  answer.message = message;
  answer.has_details = details != nullptr;
  log_->answers.push_back(std::move(answer));
}

void RecordingResult::HandleNotImplemented() {
  Arrive();
  RecordedAnswer answer;
  answer.kind = RecordedAnswer::Kind::kNotImplemented;
  log_->answers.push_back(std::move(answer));
}
