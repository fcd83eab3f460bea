#include "channel/encodable_value.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace flutter {

namespace {

// Three-way comparison: negative when a is less, positive when b is less,
// zero when neither. Nested lists and maps compare each element pair once;
// deciding each pair with two less-than tests instead would double the work
// at every level of nesting.
int Compare(const EncodableValue& a, const EncodableValue& b);

template <typename T>
int CompareScalars(const T& a, const T& b) {
  // For doubles and floats a NaN is neither less nor greater: equivalent.
  if (a < b) {
    return -1;
  }
  if (b < a) {
    return 1;
  }
  return 0;
}

int CompareSizes(size_t a, size_t b) { return a < b ? -1 : (b < a ? 1 : 0); }

// Unsigned bytewise order with a proper prefix first: strings and byte lists.
int CompareBytes(const uint8_t* a, size_t a_size, const uint8_t* b, size_t b_size) {
  const size_t common = std::min(a_size, b_size);
  if (common != 0) {
    const int order = std::memcmp(a, b, common);
    if (order != 0) {
      return order;
    }
  }
  return CompareSizes(a_size, b_size);
}

// Element by element: the first pair that is not equivalent decides, and a
// proper prefix is less.
template <typename Sequence, typename ElementCompare>
int CompareSequences(const Sequence& a, const Sequence& b, ElementCompare compare) {
  auto a_element = a.begin();
  auto b_element = b.begin();
  for (; a_element != a.end() && b_element != b.end(); ++a_element, ++b_element) {
    const int order = compare(*a_element, *b_element);
    if (order != 0) {
      return order;
    }
  }
  return CompareSizes(a.size(), b.size());
}

template <typename T>
int CompareScalarLists(const std::vector<T>& a, const std::vector<T>& b) {
  return CompareSequences(a, b, [](T x, T y) { return CompareScalars(x, y); });
}

template <typename T>
const T& As(const EncodableValue& value) {
  return *value.TryGet<T>();
}

int Compare(const EncodableValue& a, const EncodableValue& b) {
  if (a.Index() != b.Index()) {
    return CompareSizes(a.Index(), b.Index());
  }
  switch (a.Index()) {
    case EncodableValue::kNull:
      return 0;
    case EncodableValue::kBool:
      return CompareScalars(As<bool>(a), As<bool>(b));
    case EncodableValue::kInt32:
      return CompareScalars(As<int32_t>(a), As<int32_t>(b));
    case EncodableValue::kInt64:
      return CompareScalars(As<int64_t>(a), As<int64_t>(b));
    case EncodableValue::kDouble:
      return CompareScalars(As<double>(a), As<double>(b));
    case EncodableValue::kString: {
      const std::string& sa = As<std::string>(a);
      const std::string& sb = As<std::string>(b);
      return CompareBytes(reinterpret_cast<const uint8_t*>(sa.data()), sa.size(),
                          reinterpret_cast<const uint8_t*>(sb.data()), sb.size());
    }
    case EncodableValue::kByteList: {
      const std::vector<uint8_t>& la = As<std::vector<uint8_t>>(a);
      const std::vector<uint8_t>& lb = As<std::vector<uint8_t>>(b);
      return CompareBytes(la.data(), la.size(), lb.data(), lb.size());
    }
    case EncodableValue::kInt32List:
      return CompareScalarLists(As<std::vector<int32_t>>(a), As<std::vector<int32_t>>(b));
    case EncodableValue::kInt64List:
      return CompareScalarLists(As<std::vector<int64_t>>(a), As<std::vector<int64_t>>(b));
    case EncodableValue::kDoubleList:
      return CompareScalarLists(As<std::vector<double>>(a), As<std::vector<double>>(b));
    case EncodableValue::kList:
      return CompareSequences(As<EncodableValueList>(a), As<EncodableValueList>(b), Compare);
    case EncodableValue::kMap:
      // Entries in ascending key order, as (key, value) pairs: the key
      // decides unless the keys are equivalent.
      return CompareSequences(
          As<EncodableValueMap>(a), As<EncodableValueMap>(b),
          [](const EncodableValueMap::value_type& x, const EncodableValueMap::value_type& y) {
            const int key_order = Compare(x.first, y.first);
            return key_order != 0 ? key_order : Compare(x.second, y.second);
          });
    case EncodableValue::kCustom: {
      // Identity: nothing compares custom contents, and an address order is
      // consistent for as long as the values stay where they are.
      const void* pa = &As<CustomValue>(a);
      const void* pb = &As<CustomValue>(b);
      return std::less<const void*>()(pa, pb) ? -1 : (std::less<const void*>()(pb, pa) ? 1 : 0);
    }
    case EncodableValue::kFloatList:
      return CompareScalarLists(As<std::vector<float>>(a), As<std::vector<float>>(b));
    default:
      return 0;
  }
}

// The first entry of a map's sorted entries whose key is not less than
// `key`. The end is tried first: maps are mostly filled in ascending order.
template <class Entries>
auto LowerBound(Entries& entries, const EncodableValue& key) -> decltype(entries.begin()) {
  if (entries.empty() || entries.back().first < key) {
    return entries.end();
  }
  return std::lower_bound(entries.begin(), entries.end(), key,
                          [](const EncodableValueMap::value_type& entry, const EncodableValue& k) {
                            return entry.first < k;
                          });
}

template <class Entries, class Iterator>
bool Matches(const Entries& entries, Iterator entry, const EncodableValue& key) {
  return entry != entries.end() && !(key < entry->first);
}

}  // namespace

bool operator<(const EncodableValue& a, const EncodableValue& b) {
  // Map keys are nearly always strings; two of them are ordered here without
  // the general comparison's dispatch (the same bytewise order).
  const std::string* sa = a.TryGet<std::string>();
  const std::string* sb = b.TryGet<std::string>();
  if (sa != nullptr && sb != nullptr) {
    return CompareBytes(reinterpret_cast<const uint8_t*>(sa->data()), sa->size(),
                        reinterpret_cast<const uint8_t*>(sb->data()), sb->size()) < 0;
  }
  return Compare(a, b) < 0;
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
EncodableValue& EncodableValueList::EmplaceBack() { return elements_.emplace_back(); }
void EncodableValueList::Reserve(size_t count) { elements_.reserve(count); }
void EncodableValueList::clear() { elements_.clear(); }

EncodableValueMap::EncodableValueMap() = default;
EncodableValueMap::EncodableValueMap(
    std::initializer_list<std::pair<const EncodableValue, EncodableValue>> entries) {
  entries_.reserve(entries.size());
  for (const auto& entry : entries) {
    entries_.emplace_back(entry.first, entry.second);
  }
  FinishEmplacing();
}
EncodableValueMap::EncodableValueMap(const EncodableValueMap& other) = default;
EncodableValueMap::EncodableValueMap(EncodableValueMap&& other) noexcept = default;
EncodableValueMap& EncodableValueMap::operator=(const EncodableValueMap& other) = default;
EncodableValueMap& EncodableValueMap::operator=(EncodableValueMap&& other) noexcept = default;
EncodableValueMap::~EncodableValueMap() = default;

const EncodableValue* EncodableValueMap::Find(const EncodableValue& key) const {
  const auto entry = LowerBound(entries_, key);
  return Matches(entries_, entry, key) ? &entry->second : nullptr;
}

EncodableValue* EncodableValueMap::Find(const EncodableValue& key) {
  const auto entry = LowerBound(entries_, key);
  return Matches(entries_, entry, key) ? &entry->second : nullptr;
}

EncodableValue& EncodableValueMap::Entry(const EncodableValue& key) {
  auto entry = LowerBound(entries_, key);
  if (!Matches(entries_, entry, key)) {
    entry = entries_.emplace(entry, key, EncodableValue());
  }
  return entry->second;
}

bool EncodableValueMap::InsertIfAbsent(EncodableValue key, EncodableValue value) {
  const auto entry = LowerBound(entries_, key);
  if (Matches(entries_, entry, key)) {
    return false;
  }
  entries_.emplace(entry, std::move(key), std::move(value));
  return true;
}

EncodableValueMap::value_type& EncodableValueMap::EmplaceLast() { return entries_.emplace_back(); }

void EncodableValueMap::DropLast() { entries_.pop_back(); }

void EncodableValueMap::FinishEmplacing() {
  const auto key_less = [](const value_type& a, const value_type& b) { return a.first < b.first; };
  // Strictly ascending already, as encoders write maps: nothing to do.
  if (std::adjacent_find(entries_.begin(), entries_.end(),
                         [&](const value_type& a, const value_type& b) {
                           return !key_less(a, b);
                         }) == entries_.end()) {
    return;
  }
  // A stable sort keeps equivalent keys in arrival order, so the first of
  // them is the one kept. Merging needs no more than a deterministic
  // comparison to stay within the vector, even for NaN keys, which are
  // equivalent to every double.
  std::stable_sort(entries_.begin(), entries_.end(), key_less);
  entries_.erase(std::unique(entries_.begin(), entries_.end(),
                             [&](const value_type& kept, const value_type& later) {
                               return !key_less(kept, later);
                             }),
                 entries_.end());
}

void EncodableValueMap::Reserve(size_t count) { entries_.reserve(count); }
size_t EncodableValueMap::size() const { return entries_.size(); }
bool EncodableValueMap::empty() const { return entries_.empty(); }
void EncodableValueMap::clear() { entries_.clear(); }
EncodableValueMap::const_iterator EncodableValueMap::begin() const { return entries_.data(); }
EncodableValueMap::const_iterator EncodableValueMap::end() const {
  return entries_.data() + entries_.size();
}

}  // namespace flutter
