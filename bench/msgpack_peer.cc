#include "bench/msgpack_peer.h"

#include <cstring>
#include <string>
#include <vector>

namespace tovan::bench {
namespace {

msgpack::object* AllocateObjects(msgpack::zone& zone, size_t count) {
  return static_cast<msgpack::object*>(zone.allocate_align(
      sizeof(msgpack::object) * (count == 0 ? 1 : count), MSGPACK_ZONE_ALIGNOF(msgpack::object)));
}

template <class T>
msgpack::object NumberArray(const std::vector<T>& list, msgpack::zone& zone) {
  msgpack::object array;
  array.type = msgpack::type::ARRAY;
  array.via.array.size = static_cast<uint32_t>(list.size());
  array.via.array.ptr = AllocateObjects(zone, list.size());
  for (size_t i = 0; i < list.size(); ++i) array.via.array.ptr[i] = msgpack::object(list[i]);
  return array;
}

}  // namespace

msgpack::object ToMsgpack(const flutter::EncodableValue& value, msgpack::zone& zone) {
  using flutter::EncodableValue;
  switch (value.Index()) {
    case EncodableValue::kBool:
      return msgpack::object(*value.TryGet<bool>());
    case EncodableValue::kInt32:
      return msgpack::object(*value.TryGet<int32_t>());
    case EncodableValue::kInt64:
      return msgpack::object(*value.TryGet<int64_t>());
    case EncodableValue::kDouble:
      return msgpack::object(*value.TryGet<double>());
    case EncodableValue::kString:
      return msgpack::object(*value.TryGet<std::string>(), zone);
    case EncodableValue::kByteList: {
      const std::vector<uint8_t>& bytes = *value.TryGet<std::vector<uint8_t>>();
      msgpack::object bin;
      bin.type = msgpack::type::BIN;
      bin.via.bin.size = static_cast<uint32_t>(bytes.size());
      char* storage = static_cast<char*>(zone.allocate_no_align(bytes.size() + 1));
      if (!bytes.empty()) std::memcpy(storage, bytes.data(), bytes.size());
      bin.via.bin.ptr = storage;
      return bin;
    }
    case EncodableValue::kInt32List:
      return NumberArray(*value.TryGet<std::vector<int32_t>>(), zone);
    case EncodableValue::kInt64List:
      return NumberArray(*value.TryGet<std::vector<int64_t>>(), zone);
    case EncodableValue::kDoubleList:
      return NumberArray(*value.TryGet<std::vector<double>>(), zone);
    case EncodableValue::kFloatList:
      return NumberArray(*value.TryGet<std::vector<float>>(), zone);
    case EncodableValue::kList: {
      const flutter::EncodableValueList& list = *value.TryGet<flutter::EncodableValueList>();
      msgpack::object array;
      array.type = msgpack::type::ARRAY;
      array.via.array.size = static_cast<uint32_t>(list.size());
      array.via.array.ptr = AllocateObjects(zone, list.size());
      for (size_t i = 0; i < list.size(); ++i) array.via.array.ptr[i] = ToMsgpack(list[i], zone);
      return array;
    }
    case EncodableValue::kMap: {
      const flutter::EncodableValueMap& map = *value.TryGet<flutter::EncodableValueMap>();
      msgpack::object object;
      object.type = msgpack::type::MAP;
      object.via.map.size = static_cast<uint32_t>(map.size());
      object.via.map.ptr = static_cast<msgpack::object_kv*>(
          zone.allocate_align(sizeof(msgpack::object_kv) * (map.empty() ? 1 : map.size()),
                              MSGPACK_ZONE_ALIGNOF(msgpack::object_kv)));
      size_t i = 0;
      for (const auto& [key, entry] : map) {
        object.via.map.ptr[i].key = ToMsgpack(key, zone);
        object.via.map.ptr[i].val = ToMsgpack(entry, zone);
        ++i;
      }
      return object;
    }
    default:
      return msgpack::object();  // nil, also for custom values.
  }
}

}  // namespace tovan::bench
