// Encoding and decoding speed of the standard message codec against three
// peers on the same logical data: nlohmann::json through its MessagePack
// writer and reader (a value model like ours: ordered maps, strings,
// vectors), msgpack-cxx through its dynamic object (arena-allocated), and
// memcpy of the payload bytes for the bulk lists (the ceiling); and a deep
// copy of the decoded value, the floor of any decoder into this value model
// (the same allocations, no bytes read). Every benchmark also reports its
// heap allocations per operation ("allocs", from the program's replaced
// operator new). Run by scripts/bench, which repeats and interleaves the
// runs and prints ratios.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/allocation_counter.h"
#include "bench/bench_data.h"
#include "bench/msgpack_peer.h"
#include "bench/nlohmann_peer.h"
#include "channel/byte_buffer_streams.h"
#include "channel/method_result.h"
#include "channel/standard_codec_serializer.h"
#include "channel/standard_method_codec.h"

namespace tovan::bench {
namespace {

using flutter::EncodableValue;

// Looks at what a decoded reply delivers without copying it, as a handler
// that reads its result in place would.
class InspectingResult : public flutter::MethodResult<EncodableValue> {
 protected:
  void HandleSuccess(const EncodableValue* result) override { benchmark::DoNotOptimize(result); }
  void HandleError(const std::string&, const std::string&, const EncodableValue* details) override {
    benchmark::DoNotOptimize(details);
  }
  void HandleNotImplemented() override {}
};

std::vector<uint8_t> EncodeValue(const EncodableValue& value) {
  std::vector<uint8_t> bytes;
  flutter::ByteBufferStreamWriter writer(&bytes);
  flutter::StandardCodecSerializer::GetInstance().WriteValue(value, &writer);
  return bytes;
}

// One data set, in every form a benchmark needs, built once.
struct DataSet {
  std::string name;
  bool is_reply = false;  // Encoded as a success reply envelope.
  EncodableValue value;
  std::vector<uint8_t> encoded;  // Our wire bytes.
  std::shared_ptr<msgpack::zone> zone = std::make_shared<msgpack::zone>();
  msgpack::object msgpack_object;  // The peer's dynamic object.
  msgpack::sbuffer msgpack_packed;
  nlohmann::json json;  // The nlohmann peer's value.
  std::vector<uint8_t> json_packed;
  std::vector<uint8_t> payload;  // Bulk lists: the raw element bytes.
};

// Reports the operator new calls made since `before` per iteration.
void ReportAllocations(benchmark::State& state, uint64_t before) {
  const uint64_t allocations = AllocationCount() - before;
  state.counters["allocs"] = static_cast<double>(allocations) /
                             static_cast<double>(std::max<int64_t>(state.iterations(), 1));
}

DataSet Prepare(std::string name, EncodableValue value, bool is_reply) {
  DataSet set;
  set.name = std::move(name);
  set.is_reply = is_reply;
  set.value = std::move(value);
  if (is_reply) {
    set.encoded = *flutter::StandardMethodCodec::SharedInstance().EncodeSuccessReply(&set.value);
    // The envelope as msgpack: [status, value].
    msgpack::object* pair = static_cast<msgpack::object*>(set.zone->allocate_align(
        2 * sizeof(msgpack::object), MSGPACK_ZONE_ALIGNOF(msgpack::object)));
    pair[0] = msgpack::object(0);
    pair[1] = ToMsgpack(set.value, *set.zone);
    set.msgpack_object.type = msgpack::type::ARRAY;
    set.msgpack_object.via.array.size = 2;
    set.msgpack_object.via.array.ptr = pair;
    set.json = nlohmann::json::array({0, ToJson(set.value)});
  } else {
    set.encoded = EncodeValue(set.value);
    set.msgpack_object = ToMsgpack(set.value, *set.zone);
    set.json = ToJson(set.value);
  }
  set.json_packed = nlohmann::json::to_msgpack(set.json);
  msgpack::pack(set.msgpack_packed, set.msgpack_object);
  if (const auto* doubles = set.value.TryGet<std::vector<double>>()) {
    set.payload.resize(doubles->size() * sizeof(double));
    std::memcpy(set.payload.data(), doubles->data(), set.payload.size());
  } else if (const auto* bytes = set.value.TryGet<std::vector<uint8_t>>()) {
    set.payload = *bytes;
  }
  return set;
}

void EncodeOurs(benchmark::State& state, const DataSet* set) {
  const flutter::StandardMethodCodec& codec = flutter::StandardMethodCodec::SharedInstance();
  const uint64_t allocations_before = AllocationCount();
  for (auto _ : state) {
    if (set->is_reply) {
      std::unique_ptr<std::vector<uint8_t>> bytes = codec.EncodeSuccessReply(&set->value);
      benchmark::DoNotOptimize(bytes->data());
    } else {
      std::vector<uint8_t> bytes = EncodeValue(set->value);
      benchmark::DoNotOptimize(bytes.data());
    }
    benchmark::ClobberMemory();
  }
  ReportAllocations(state, allocations_before);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * set->encoded.size()));
}

void DecodeOurs(benchmark::State& state, const DataSet* set) {
  const flutter::StandardMethodCodec& codec = flutter::StandardMethodCodec::SharedInstance();
  const flutter::StandardCodecSerializer& serializer =
      flutter::StandardCodecSerializer::GetInstance();
  const uint64_t allocations_before = AllocationCount();
  for (auto _ : state) {
    if (set->is_reply) {
      InspectingResult result;
      benchmark::DoNotOptimize(
          codec.DecodeReply(set->encoded.data(), set->encoded.size(), &result));
    } else {
      flutter::ByteBufferStreamReader reader(set->encoded.data(), set->encoded.size());
      EncodableValue value = serializer.ReadTaggedValue(&reader);
      benchmark::DoNotOptimize(&value);
    }
    benchmark::ClobberMemory();
  }
  ReportAllocations(state, allocations_before);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * set->encoded.size()));
}

void EncodeMsgpack(benchmark::State& state, const DataSet* set) {
  const uint64_t allocations_before = AllocationCount();
  for (auto _ : state) {
    msgpack::sbuffer buffer;
    msgpack::pack(buffer, set->msgpack_object);
    benchmark::DoNotOptimize(buffer.data());
    benchmark::ClobberMemory();
  }
  ReportAllocations(state, allocations_before);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * set->msgpack_packed.size()));
}

void DecodeMsgpack(benchmark::State& state, const DataSet* set) {
  const uint64_t allocations_before = AllocationCount();
  for (auto _ : state) {
    msgpack::object_handle handle =
        msgpack::unpack(set->msgpack_packed.data(), set->msgpack_packed.size());
    benchmark::DoNotOptimize(handle.get().via.array.ptr);
    benchmark::ClobberMemory();
  }
  ReportAllocations(state, allocations_before);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * set->msgpack_packed.size()));
}

void EncodeJson(benchmark::State& state, const DataSet* set) {
  const uint64_t allocations_before = AllocationCount();
  for (auto _ : state) {
    std::vector<uint8_t> bytes = nlohmann::json::to_msgpack(set->json);
    benchmark::DoNotOptimize(bytes.data());
    benchmark::ClobberMemory();
  }
  ReportAllocations(state, allocations_before);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * set->json_packed.size()));
}

void DecodeJson(benchmark::State& state, const DataSet* set) {
  const uint64_t allocations_before = AllocationCount();
  for (auto _ : state) {
    nlohmann::json value = nlohmann::json::from_msgpack(set->json_packed);
    benchmark::DoNotOptimize(&value);
    benchmark::ClobberMemory();
  }
  ReportAllocations(state, allocations_before);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * set->json_packed.size()));
}

// The floor our value model sets for decoding: a deep copy of the decoded
// value builds and destroys the same strings, lists and map nodes without
// reading any bytes.
void CopyValue(benchmark::State& state, const DataSet* set) {
  const uint64_t allocations_before = AllocationCount();
  for (auto _ : state) {
    EncodableValue copy = set->value;
    benchmark::DoNotOptimize(&copy);
    benchmark::ClobberMemory();
  }
  ReportAllocations(state, allocations_before);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * set->encoded.size()));
}

// The ceiling for bulk data: copying the payload bytes into a fresh buffer
// of their size, once per direction.
void CopyPayload(benchmark::State& state, const DataSet* set) {
  const uint64_t allocations_before = AllocationCount();
  for (auto _ : state) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[set->payload.size()]);
    std::memcpy(copy.get(), set->payload.data(), set->payload.size());
    benchmark::DoNotOptimize(copy.get());
    benchmark::ClobberMemory();
  }
  ReportAllocations(state, allocations_before);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * set->payload.size()));
}

}  // namespace
}  // namespace tovan::bench

int main(int argc, char** argv) {
  using namespace tovan::bench;
  // Built at run time and kept for the whole run; the benchmarks read them.
  static const std::vector<DataSet> sets = [] {
    std::vector<DataSet> prepared;
    prepared.push_back(Prepare("devices", MakeDeviceList(16), true));
    prepared.push_back(Prepare("tree", MakeTree(10000), false));
    prepared.push_back(Prepare("doubles", MakeDoubleList(1 << 20), false));
    prepared.push_back(Prepare("bytes", MakeByteList(4 << 20), false));
    return prepared;
  }();
  for (const DataSet& set : sets) {
    const std::string suffix = "/" + set.name;
    benchmark::RegisterBenchmark(("encode" + suffix + "/standard").c_str(), EncodeOurs, &set);
    benchmark::RegisterBenchmark(("encode" + suffix + "/msgpack").c_str(), EncodeMsgpack, &set);
    benchmark::RegisterBenchmark(("decode" + suffix + "/standard").c_str(), DecodeOurs, &set);
    benchmark::RegisterBenchmark(("decode" + suffix + "/msgpack").c_str(), DecodeMsgpack, &set);
    benchmark::RegisterBenchmark(("encode" + suffix + "/nlohmann").c_str(), EncodeJson, &set);
    benchmark::RegisterBenchmark(("decode" + suffix + "/nlohmann").c_str(), DecodeJson, &set);
    benchmark::RegisterBenchmark(("decode" + suffix + "/copy").c_str(), CopyValue, &set);
    if (!set.payload.empty()) {
      benchmark::RegisterBenchmark(("encode" + suffix + "/memcpy").c_str(), CopyPayload, &set);
      benchmark::RegisterBenchmark(("decode" + suffix + "/memcpy").c_str(), CopyPayload, &set);
    }
  }
  benchmark::AddCustomContext("tree_nodes", std::to_string(CountNodes(sets[1].value)));
  for (const DataSet& set : sets) {
    benchmark::AddCustomContext(set.name + "_bytes",
                                std::to_string(set.encoded.size()) + " standard, " +
                                    std::to_string(set.msgpack_packed.size()) + " msgpack, " +
                                    std::to_string(set.json_packed.size()) + " nlohmann");
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
