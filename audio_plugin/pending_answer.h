#pragma once

#include <memory>
#include <string>

#include "channel/encodable_value.h"
#include "channel/method_result.h"

// One call's result while the dispatcher lends it to a method handler. The handler answers
// through a HandlerResult, which forwards to the call's own result and notes the answer here; the
// dispatcher keeps its share, so when the handler throws before it has answered, the dispatcher
// can still answer the call instead of leaving the user interface waiting. An answer counts as
// given only once the call's result has accepted it without throwing. Used on the thread that
// runs the audio channel's calls.
class PendingAnswer {
 public:
  using Result = flutter::MethodResult<flutter::EncodableValue>;

  explicit PendingAnswer(std::unique_ptr<Result> result) : result_(std::move(result)) {}

  PendingAnswer(const PendingAnswer&) = delete;
  PendingAnswer& operator=(const PendingAnswer&) = delete;

  bool answered() const { return answered_; }

  void Success(const flutter::EncodableValue* value);
  void Error(const std::string& code, const std::string& message,
             const flutter::EncodableValue* details);
  void NotImplemented();

  // A result for a handler, sharing `pending`; the handler owns it and answers through it.
  static std::unique_ptr<Result> HandlerResult(std::shared_ptr<PendingAnswer> pending);

 private:
  std::unique_ptr<Result> result_;
  bool answered_ = false;
};
