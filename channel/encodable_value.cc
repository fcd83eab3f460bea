#include "channel/encodable_value.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace flutter {

namespace {

// Unsigned bytewise order with a proper prefix first: strings and byte lists.
bool BytesLess(const uint8_t* a, size_t a_size, const uint8_t* b, size_t b_size) {
  const size_t common = std::min(a_size, b_size);
  if (common != 0) {
    const int order = std::memcmp(a, b, common);
    if (order != 0) {
      return order < 0;
    }
  }
  return a_size < b_size;
}

// Element by element: the first pair in which one is less decides (for
// doubles and floats a pair with a NaN decides nothing), and a proper prefix
// is less. Lists and maps reach back into operator< through their elements.
template <typename Sequence>
bool SequenceLess(const Sequence& a, const Sequence& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
}

template <typename T>
const T& As(const EncodableValue& value) {
  return *value.TryGet<T>();
}

}  // namespace

bool operator<(const EncodableValue& a, const EncodableValue& b) {
  if (a.Index() != b.Index()) {
    return a.Index() < b.Index();
  }
  switch (a.Index()) {
    case EncodableValue::kNull:
      return false;
    case EncodableValue::kBool:
      return As<bool>(a) < As<bool>(b);
    case EncodableValue::kInt32:
      return As<int32_t>(a) < As<int32_t>(b);
    case EncodableValue::kInt64:
      return As<int64_t>(a) < As<int64_t>(b);
    case EncodableValue::kDouble:
      return As<double>(b) > As<double>(a);
    case EncodableValue::kString: {
      const std::string& sa = As<std::string>(a);
      const std::string& sb = As<std::string>(b);
      return BytesLess(reinterpret_cast<const uint8_t*>(sa.data()), sa.size(),
                       reinterpret_cast<const uint8_t*>(sb.data()), sb.size());
    }
    case EncodableValue::kByteList: {
      const std::vector<uint8_t>& la = As<std::vector<uint8_t>>(a);
      const std::vector<uint8_t>& lb = As<std::vector<uint8_t>>(b);
      return BytesLess(la.data(), la.size(), lb.data(), lb.size());
    }
    case EncodableValue::kInt32List:
      return SequenceLess(As<std::vector<int32_t>>(a), As<std::vector<int32_t>>(b));
    case EncodableValue::kInt64List:
      return SequenceLess(As<std::vector<int64_t>>(a), As<std::vector<int64_t>>(b));
    case EncodableValue::kDoubleList:
      return SequenceLess(As<std::vector<double>>(a), As<std::vector<double>>(b));
    case EncodableValue::kList:
      return SequenceLess(As<EncodableValueList>(a), As<EncodableValueList>(b));
    case EncodableValue::kMap:
      // Entries compare as (key, value) pairs in ascending key order.
      return SequenceLess(As<EncodableValueMap>(a), As<EncodableValueMap>(b));
    case EncodableValue::kCustom:
      // Identity: nothing compares custom contents, and an address order is
      // consistent for as long as the values stay where they are.
      return std::less<const void*>()(&As<CustomValue>(a), &As<CustomValue>(b));
    case EncodableValue::kFloatList:
      return SequenceLess(As<std::vector<float>>(a), As<std::vector<float>>(b));
    default:
      return false;
  }
}

EncodableValueList::EncodableValueList() = default;
EncodableValueList::EncodableValueList(std::initializer_list<EncodableValue> elements)
    : elements_(elements) {}
EncodableValueList::EncodableValueList(std::vector<EncodableValue> elements)
    : elements_(std::move(elements)) {}
EncodableValueList::EncodableValueList(const EncodableValueList& other) = default;
EncodableValueList::EncodableValueList(EncodableValueList&& other) noexcept = default;
EncodableValueList& EncodableValueList::operator=(const EncodableValueList& other) = default;
EncodableValueList& EncodableValueList::operator=(EncodableValueList&& other) noexcept = default;
EncodableValueList::~EncodableValueList() = default;

size_t EncodableValueList::size() const { return elements_.size(); }
bool EncodableValueList::empty() const { return elements_.empty(); }
EncodableValue& EncodableValueList::operator[](size_t index) { return elements_[index]; }
const EncodableValue& EncodableValueList::operator[](size_t index) const {
  return elements_[index];
}
EncodableValueList::iterator EncodableValueList::begin() { return elements_.data(); }
EncodableValueList::iterator EncodableValueList::end() {
  return elements_.data() + elements_.size();
}
EncodableValueList::const_iterator EncodableValueList::begin() const { return elements_.data(); }
EncodableValueList::const_iterator EncodableValueList::end() const {
  return elements_.data() + elements_.size();
}
void EncodableValueList::Append(EncodableValue value) { elements_.push_back(std::move(value)); }
void EncodableValueList::Reserve(size_t count) { elements_.reserve(count); }
void EncodableValueList::clear() { elements_.clear(); }

EncodableValueMap::EncodableValueMap() = default;
EncodableValueMap::EncodableValueMap(
    std::initializer_list<std::pair<const EncodableValue, EncodableValue>> entries)
    : entries_(entries) {}
EncodableValueMap::EncodableValueMap(const EncodableValueMap& other) = default;
EncodableValueMap::EncodableValueMap(EncodableValueMap&& other) noexcept = default;
EncodableValueMap& EncodableValueMap::operator=(const EncodableValueMap& other) = default;
EncodableValueMap& EncodableValueMap::operator=(EncodableValueMap&& other) noexcept = default;
EncodableValueMap::~EncodableValueMap() = default;

const EncodableValue* EncodableValueMap::Find(const EncodableValue& key) const {
  const auto entry = entries_.find(key);
  return entry == entries_.end() ? nullptr : &entry->second;
}

EncodableValue* EncodableValueMap::Find(const EncodableValue& key) {
  const auto entry = entries_.find(key);
  return entry == entries_.end() ? nullptr : &entry->second;
}

EncodableValue& EncodableValueMap::Entry(const EncodableValue& key) { return entries_[key]; }

bool EncodableValueMap::InsertIfAbsent(EncodableValue key, EncodableValue value) {
  return entries_.emplace(std::move(key), std::move(value)).second;
}

size_t EncodableValueMap::size() const { return entries_.size(); }
bool EncodableValueMap::empty() const { return entries_.empty(); }
void EncodableValueMap::clear() { entries_.clear(); }
EncodableValueMap::iterator EncodableValueMap::begin() { return entries_.begin(); }
EncodableValueMap::iterator EncodableValueMap::end() { return entries_.end(); }
EncodableValueMap::const_iterator EncodableValueMap::begin() const { return entries_.begin(); }
EncodableValueMap::const_iterator EncodableValueMap::end() const { return entries_.end(); }

}  // namespace flutter
