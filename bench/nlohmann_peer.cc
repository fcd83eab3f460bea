#include "bench/nlohmann_peer.h"

#include <string>
#include <vector>

namespace tovan::bench {
namespace {

template <class T>
nlohmann::json NumberArray(const std::vector<T>& list) {
  nlohmann::json array = nlohmann::json::array();
  array.get_ref<nlohmann::json::array_t&>().reserve(list.size());
  for (const T element : list) array.push_back(element);
  return array;
}

}  // namespace

nlohmann::json ToJson(const flutter::EncodableValue& value) {
  using flutter::EncodableValue;
  switch (value.Index()) {
    case EncodableValue::kBool:
      return *value.TryGet<bool>();
    case EncodableValue::kInt32:
      return *value.TryGet<int32_t>();
    case EncodableValue::kInt64:
      return *value.TryGet<int64_t>();
    case EncodableValue::kDouble:
      return *value.TryGet<double>();
    case EncodableValue::kString:
      return *value.TryGet<std::string>();
    case EncodableValue::kByteList:
      return nlohmann::json::binary(*value.TryGet<std::vector<uint8_t>>());
    case EncodableValue::kInt32List:
      return NumberArray(*value.TryGet<std::vector<int32_t>>());
    case EncodableValue::kInt64List:
      return NumberArray(*value.TryGet<std::vector<int64_t>>());
    case EncodableValue::kDoubleList:
      return NumberArray(*value.TryGet<std::vector<double>>());
    case EncodableValue::kFloatList:
      return NumberArray(*value.TryGet<std::vector<float>>());
    case EncodableValue::kList: {
      nlohmann::json array = nlohmann::json::array();
      for (const EncodableValue& element : *value.TryGet<flutter::EncodableValueList>()) {
        array.push_back(ToJson(element));
      }
      return array;
    }
    case EncodableValue::kMap: {
      nlohmann::json object = nlohmann::json::object();
      for (const auto& [key, entry] : *value.TryGet<flutter::EncodableValueMap>()) {
        const std::string* name = key.TryGet<std::string>();
        if (name == nullptr) return nullptr;
        object[*name] = ToJson(entry);
      }
      return object;
    }
    default:
      return nullptr;
  }
}

}  // namespace tovan::bench
