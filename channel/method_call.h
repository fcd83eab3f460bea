#ifndef CHANNEL_METHOD_CALL_H_
#define CHANNEL_METHOD_CALL_H_

#include <memory>
#include <string>
#include <utility>

namespace flutter {

// One decoded invocation of a native method: its name and its arguments.
// Made by a method codec and owned by the channel's message handler, which
// lends it to the call handler for the duration of the call on the platform
// thread.
template <typename T>
class MethodCall {
 public:
  MethodCall(const std::string& method_name, std::unique_ptr<T> arguments)
      : method_name_(method_name), arguments_(std::move(arguments)) {}
  MethodCall(const MethodCall&) = delete;
  MethodCall& operator=(const MethodCall&) = delete;
  // Members go in reverse order: the arguments first, then the name.
  virtual ~MethodCall() = default;

  const std::string& GetMethodName() const { return method_name_; }
  // nullptr when the call was made without an arguments value.
  const T* GetArguments() const { return arguments_.get(); }

 private:
  std::string method_name_;
  std::unique_ptr<T> arguments_;
};

}  // namespace flutter

#endif  // CHANNEL_METHOD_CALL_H_
