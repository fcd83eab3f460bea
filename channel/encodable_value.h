#ifndef CHANNEL_ENCODABLE_VALUE_H_
#define CHANNEL_ENCODABLE_VALUE_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "channel/custom_value.h"
#include "channel/fail_fast.h"

namespace flutter {

class EncodableValue;

// Strict ordering of values, used as the key order of EncodableValueMap.
struct EncodableValueLess {
  bool operator()(const EncodableValue& a, const EncodableValue& b) const;
};

// The list alternative of an EncodableValue: an ordered sequence of values
// that it owns. Copies are deep. Used on one thread at a time.
class EncodableValueList {
 public:
  using iterator = EncodableValue*;
  using const_iterator = const EncodableValue*;

  EncodableValueList();
  EncodableValueList(std::initializer_list<EncodableValue> elements);
  explicit EncodableValueList(std::vector<EncodableValue> elements);
  EncodableValueList(const EncodableValueList& other);
  EncodableValueList(EncodableValueList&& other) noexcept;
  EncodableValueList& operator=(const EncodableValueList& other);
  EncodableValueList& operator=(EncodableValueList&& other) noexcept;
  ~EncodableValueList();

  size_t size() const;
  bool empty() const;
  EncodableValue& operator[](size_t index);
  const EncodableValue& operator[](size_t index) const;
  iterator begin();
  iterator end();
  const_iterator begin() const;
  const_iterator end() const;

  void Append(EncodableValue value);
  // Appends a null element and answers it, so that a decoder can build the
  // element in place.
  EncodableValue& EmplaceBack();
  // Makes room for `count` elements so that appending them does not reallocate.
  void Reserve(size_t count);
  void clear();

 private:
  std::vector<EncodableValue> elements_;
};

// The map alternative of an EncodableValue: keys unique under the value
// ordering (see operator< below), iterated in ascending key order; owns its
// keys and values. Copies are deep. Used on one thread at a time.
//
// The entries lie in one vector sorted by key, so a map costs one
// allocation however many entries it has, and a lookup is a binary search.
// Iteration is read-only (a key changed in place could break the order);
// values are changed through Find and Entry.
class EncodableValueMap {
 public:
  using value_type = std::pair<EncodableValue, EncodableValue>;
  using const_iterator = const value_type*;
  using iterator = const_iterator;

  EncodableValueMap();
  // Repeated keys keep their first value, as InsertIfAbsent does.
  EncodableValueMap(std::initializer_list<std::pair<const EncodableValue, EncodableValue>> entries);
  EncodableValueMap(const EncodableValueMap& other);
  EncodableValueMap(EncodableValueMap&& other) noexcept;
  EncodableValueMap& operator=(const EncodableValueMap& other);
  EncodableValueMap& operator=(EncodableValueMap&& other) noexcept;
  ~EncodableValueMap();

  // The value stored under a key equivalent to `key`, or nullptr. A key of
  // another alternative never matches.
  const EncodableValue* Find(const EncodableValue& key) const;
  EncodableValue* Find(const EncodableValue& key);
  // The value under `key`, inserting a null value first when there is none.
  EncodableValue& Entry(const EncodableValue& key);
  // Adds the pair unless an equivalent key is present; then the map is left
  // unchanged and the pair is dropped. Answers whether it was added.
  bool InsertIfAbsent(EncodableValue key, EncodableValue value);

  // Building a map from entries in the order they arrive (the decoder):
  // EmplaceLast appends an entry of a null key and value, both to be filled
  // in place, without looking for the key; DropLast takes the last one back;
  // FinishEmplacing, which must follow before any other use, puts the
  // entries in key order, keeping the first of equivalent keys. Entries that
  // arrive in ascending order (as every encoder writes them) cost one
  // comparison each; any other order costs one stable sort.
  value_type& EmplaceLast();
  void DropLast();
  void FinishEmplacing();
  // Makes room for `count` entries so that adding them does not reallocate.
  void Reserve(size_t count);

  size_t size() const;
  bool empty() const;
  void clear();
  const_iterator begin() const;
  const_iterator end() const;

 private:
  std::vector<value_type> entries_;
};

// The one value type of the platform channels: a tagged union of fourteen
// alternatives. The alternative's index is part of the wire contract (the
// standard codec derives the type tag from it) and orders values of
// different alternatives. Copies are deep; a moved-from value stays valid.
// Used on one thread at a time.
class EncodableValue {
 public:
  // Alternative indices, as Index() answers them.
  static constexpr size_t kNull = 0;
  static constexpr size_t kBool = 1;
  static constexpr size_t kInt32 = 2;
  static constexpr size_t kInt64 = 3;
  static constexpr size_t kDouble = 4;
  static constexpr size_t kString = 5;
  static constexpr size_t kByteList = 6;
  static constexpr size_t kInt32List = 7;
  static constexpr size_t kInt64List = 8;
  static constexpr size_t kDoubleList = 9;
  static constexpr size_t kList = 10;
  static constexpr size_t kMap = 11;
  static constexpr size_t kCustom = 12;
  static constexpr size_t kFloatList = 13;

  EncodableValue() = default;
  EncodableValue(bool value) : value_(value) {}
  EncodableValue(int32_t value) : value_(value) {}
  EncodableValue(int64_t value) : value_(value) {}
  EncodableValue(double value) : value_(value) {}
  EncodableValue(std::string value) : value_(std::move(value)) {}
  EncodableValue(const char* value) : value_(std::string(value)) {}
  EncodableValue(std::vector<uint8_t> value) : value_(std::move(value)) {}
  EncodableValue(std::vector<int32_t> value) : value_(std::move(value)) {}
  EncodableValue(std::vector<int64_t> value) : value_(std::move(value)) {}
  EncodableValue(std::vector<double> value) : value_(std::move(value)) {}
  EncodableValue(EncodableValueList value) : value_(std::move(value)) {}
  EncodableValue(EncodableValueMap value) : value_(std::move(value)) {}
  EncodableValue(CustomValue value) : value_(std::move(value)) {}
  EncodableValue(std::vector<float> value) : value_(std::move(value)) {}

  EncodableValue(const EncodableValue&) = default;
  EncodableValue(EncodableValue&&) noexcept = default;
  EncodableValue& operator=(const EncodableValue&) = default;
  EncodableValue& operator=(EncodableValue&&) noexcept = default;
  ~EncodableValue() = default;

  // Makes the value hold a T built from `args` and answers it (a decoder
  // builds values in place this way).
  template <class T, class... Args>
  T& Emplace(Args&&... args) {
    return value_.emplace<T>(std::forward<Args>(args)...);
  }

  // The index (kNull .. kFloatList) of the held alternative.
  size_t Index() const { return value_.index(); }
  bool IsNull() const { return Index() == kNull; }

  // The held content. Holding another alternative is a broken precondition
  // that ends the process at once (see FailFast); test Index() or use
  // TryGet() when another alternative is possible. Null is std::monostate.
  template <class T>
  const T& Get() const {
    const T* content = std::get_if<T>(&value_);
    if (content == nullptr) {
      FailFast("bad variant access");
    }
    return *content;
  }
  template <class T>
  T& Get() {
    T* content = std::get_if<T>(&value_);
    if (content == nullptr) {
      FailFast("bad variant access");
    }
    return *content;
  }

  // The held content, or nullptr when another alternative is held.
  template <class T>
  const T* TryGet() const {
    return std::get_if<T>(&value_);
  }
  template <class T>
  T* TryGet() {
    return std::get_if<T>(&value_);
  }

  // Total order (but for NaN, which is equivalent to every double): first
  // by alternative index, then by content. Custom values order by address.
  friend bool operator<(const EncodableValue& a, const EncodableValue& b);

 private:
  std::variant<std::monostate, bool, int32_t, int64_t, double, std::string, std::vector<uint8_t>,
               std::vector<int32_t>, std::vector<int64_t>, std::vector<double>, EncodableValueList,
               EncodableValueMap, CustomValue, std::vector<float>>
      value_;
};

bool operator<(const EncodableValue& a, const EncodableValue& b);

// Equivalence under the ordering: neither value is less than the other.
// This is map-key identity, so a NaN double equals every double.
inline bool operator==(const EncodableValue& a, const EncodableValue& b) {
  return !(a < b) && !(b < a);
}
inline bool operator!=(const EncodableValue& a, const EncodableValue& b) { return !(a == b); }

inline bool EncodableValueLess::operator()(const EncodableValue& a, const EncodableValue& b) const {
  return a < b;
}

}  // namespace flutter

#endif  // CHANNEL_ENCODABLE_VALUE_H_
