#include "bench/bench_data.h"

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace tovan::bench {
namespace {

using flutter::EncodableValue;
using flutter::EncodableValueList;
using flutter::EncodableValueMap;

// Fixed seeds: every run measures the same data.
constexpr uint32_t kSeed = 20261207;

std::string Word(std::mt19937& random, size_t length) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz";
  std::string word;
  for (size_t i = 0; i < length; ++i) word += kLetters[random() % 26];
  return word;
}

EncodableValue MakeRecord(std::mt19937& random, int index) {
  EncodableValueMap record;
  record.Entry(EncodableValue("id")) = EncodableValue("record-" + std::to_string(index));
  record.Entry(EncodableValue("name")) = EncodableValue(Word(random, 4 + random() % 12));
  record.Entry(EncodableValue("count")) = EncodableValue(static_cast<int32_t>(random() % 100000));
  record.Entry(EncodableValue("updated")) =
      EncodableValue(int64_t{1700000000000} + static_cast<int64_t>(random()));
  record.Entry(EncodableValue("score")) = EncodableValue(static_cast<double>(random()) / 7.0);
  record.Entry(EncodableValue("active")) = EncodableValue(random() % 2 == 0);
  EncodableValueList tags;
  for (int i = 0; i < 3; ++i) tags.Append(EncodableValue(Word(random, 5)));
  record.Entry(EncodableValue("tags")) = EncodableValue(std::move(tags));
  EncodableValueList children;
  for (int i = 0; i < 2; ++i) {
    EncodableValueMap child;
    child.Entry(EncodableValue("kind")) = EncodableValue(Word(random, 6));
    child.Entry(EncodableValue("value")) = EncodableValue(static_cast<double>(random() % 1000) / 8);
    child.Entry(EncodableValue("flags")) = EncodableValue(EncodableValueList{
        EncodableValue(static_cast<int32_t>(random() % 16)), EncodableValue(random() % 2 == 1)});
    children.Append(EncodableValue(std::move(child)));
  }
  record.Entry(EncodableValue("children")) = EncodableValue(std::move(children));
  return EncodableValue(std::move(record));
}

}  // namespace

EncodableValue MakeDeviceList(int count) {
  EncodableValueList devices;
  for (int i = 0; i < count; ++i) {
    char id[64];
    std::snprintf(id, sizeof(id), "{0.0.0.00000000}.{%08x-6b1d-4c2a-9f3e-%012x}",
                  0x5a3c0000u + static_cast<unsigned>(i), 0x1000u * static_cast<unsigned>(i));
    EncodableValueMap device;
    device.Entry(EncodableValue("id")) = EncodableValue(std::string(id));
    device.Entry(EncodableValue("name")) =
        EncodableValue("Speakers (USB Audio Device " + std::to_string(i + 1) + ")");
    device.Entry(EncodableValue("isDefault")) = EncodableValue(i == 3);
    devices.Append(EncodableValue(std::move(device)));
  }
  return EncodableValue(std::move(devices));
}

EncodableValue MakeTree(size_t nodes) {
  std::mt19937 random(kSeed);
  EncodableValueMap root;
  size_t count = 1;
  for (int index = 0; count < nodes; ++index) {
    EncodableValue record = MakeRecord(random, index);
    count += 1 + CountNodes(record);  // The key and the record.
    root.Entry(EncodableValue("record-" + std::to_string(index))) = std::move(record);
  }
  return EncodableValue(std::move(root));
}

EncodableValue MakeDoubleList(size_t count) {
  std::mt19937_64 random(kSeed);
  std::uniform_real_distribution<double> distribution(-1e6, 1e6);
  std::vector<double> list(count);
  for (double& element : list) element = distribution(random);
  return EncodableValue(std::move(list));
}

EncodableValue MakeByteList(size_t count) {
  std::mt19937 random(kSeed);
  std::vector<uint8_t> list(count);
  for (uint8_t& element : list) element = static_cast<uint8_t>(random());
  return EncodableValue(std::move(list));
}

size_t CountNodes(const EncodableValue& value) {
  size_t count = 1;
  if (const auto* list = value.TryGet<EncodableValueList>()) {
    for (const EncodableValue& element : *list) count += CountNodes(element);
  } else if (const auto* map = value.TryGet<EncodableValueMap>()) {
    for (const auto& [key, entry] : *map) count += CountNodes(key) + CountNodes(entry);
  }
  return count;
}

}  // namespace tovan::bench
