#ifndef CHANNEL_METHOD_RESULT_H_
#define CHANNEL_METHOD_RESULT_H_

#include <string>

namespace flutter {

// The one-shot answer to one method call. A handler receives it as an owned
// pointer and calls exactly one of Success, Error or NotImplemented exactly
// once, on any thread and possibly after the handler has returned.
// Implementations decide where the answer goes.
template <typename T>
class MethodResult {
 public:
  MethodResult() = default;
  MethodResult(const MethodResult&) = delete;
  MethodResult& operator=(const MethodResult&) = delete;
  virtual ~MethodResult() = default;

  void Success(const T& result) { HandleSuccess(&result); }
  // Success without a value; it goes out as a null value.
  void Success() { HandleSuccess(nullptr); }
  void Error(const std::string& error_code, const std::string& error_message = "",
             const T* error_details = nullptr) {
    HandleError(error_code, error_message, error_details);
  }
  void NotImplemented() { HandleNotImplemented(); }

 protected:
  // `result` is nullptr when there is no value.
  virtual void HandleSuccess(const T* result) = 0;
  // `error_details` is nullptr when there are none.
  virtual void HandleError(const std::string& error_code, const std::string& error_message,
                           const T* error_details) = 0;
  virtual void HandleNotImplemented() = 0;
};

}  // namespace flutter

#endif  // CHANNEL_METHOD_RESULT_H_
