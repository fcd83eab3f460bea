#include "audio_plugin/pending_answer.h"

#include <utility>

namespace {

class ForwardingResult : public PendingAnswer::Result {
 public:
  explicit ForwardingResult(std::shared_ptr<PendingAnswer> pending)
      : pending_(std::move(pending)) {}

 protected:
  void HandleSuccess(const flutter::EncodableValue* value) override { pending_->Success(value); }
  void HandleError(const std::string& code, const std::string& message,
                   const flutter::EncodableValue* details) override {
    pending_->Error(code, message, details);
  }
  void HandleNotImplemented() override { pending_->NotImplemented(); }

 private:
  std::shared_ptr<PendingAnswer> pending_;
};

}  // namespace

void PendingAnswer::Success(const flutter::EncodableValue* value) {
  if (value != nullptr) {
    result_->Success(*value);
  } else {
    result_->Success();
  }
  answered_ = true;
}

void PendingAnswer::Error(const std::string& code, const std::string& message,
                          const flutter::EncodableValue* details) {
  result_->Error(code, message, details);
  answered_ = true;
}

void PendingAnswer::NotImplemented() {
  result_->NotImplemented();
  answered_ = true;
}

std::unique_ptr<PendingAnswer::Result> PendingAnswer::HandlerResult(
    std::shared_ptr<PendingAnswer> pending) {
  return std::make_unique<ForwardingResult>(std::move(pending));
}
