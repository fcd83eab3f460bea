#ifndef CHANNEL_CUSTOM_VALUE_H_
#define CHANNEL_CUSTOM_VALUE_H_

#include <any>
#include <type_traits>
#include <typeinfo>
#include <utility>

namespace flutter {

// The custom alternative of an EncodableValue: holds one object of any
// copyable type that the application chooses, or nothing, and gives it back
// to a caller that names its type. Copies are deep (through the held type's
// copy constructor). Owned by the EncodableValue that holds it; used on one
// thread at a time.
class CustomValue {
 public:
  CustomValue() = default;

  template <class T, class = std::enable_if_t<!std::is_same_v<std::decay_t<T>, CustomValue>>>
  explicit CustomValue(T&& object) : object_(std::forward<T>(object)) {}

  bool HasValue() const { return object_.has_value(); }

  // The type of the held object; typeid(void) when nothing is held.
  const std::type_info& Type() const { return object_.type(); }

  // The held object when it is a T, otherwise nullptr.
  template <class T>
  const T* TryGetAs() const {
    return std::any_cast<T>(&object_);
  }
  template <class T>
  T* TryGetAs() {
    return std::any_cast<T>(&object_);
  }

 private:
  std::any object_;
};

}  // namespace flutter

#endif  // CHANNEL_CUSTOM_VALUE_H_
