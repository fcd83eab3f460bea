// The channel's whole method table through the dispatcher: every method with every shape of
// arguments, every argument missing or of a wrong alternative, several faults at once, names
// that differ slightly, and the exception net, including calls whose handler owns the result.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/audio_plugin/audio_plugin_test_support.h"
#include "tests/audio_plugin/fake_audio_system.h"
#include "tests/audio_plugin/fake_core_audio.h"
#include "tests/audio_plugin/fake_policy_config.h"

namespace {

using flutter::EncodableValue;
using flutter::EncodableValueList;
using flutter::EncodableValueMap;
using Kind = RecordedAnswer::Kind;
using ArgumentsFactory = std::function<std::unique_ptr<EncodableValue>()>;

constexpr wchar_t kSpeakersId[] = L"{0.0.0.00000000}.{table-speakers}";
constexpr char kSpeakers[] = "{0.0.0.00000000}.{table-speakers}";

ArgumentsFactory NoArguments() {
  return [] { return std::unique_ptr<EncodableValue>(); };
}
ArgumentsFactory NullArguments() {
  return [] { return std::make_unique<EncodableValue>(); };
}
ArgumentsFactory ListArguments() {
  return [] {
    return std::make_unique<EncodableValue>(
        EncodableValueList{EncodableValue("filePath"), EncodableValue("volume")});
  };
}
ArgumentsFactory StringArguments() {
  return [] { return std::make_unique<EncodableValue>("isCapture"); };
}
ArgumentsFactory MapArguments(std::vector<std::pair<const char*, EncodableValue>> entries) {
  return [entries] {
    EncodableValueMap map;
    for (const auto& [key, value] : entries) map.Entry(EncodableValue(key)) = value;
    return std::make_unique<EncodableValue>(std::move(map));
  };
}

struct Expected {
  Kind kind;
  std::string code;                      // errors
  std::string message;                   // errors
  std::optional<EncodableValue> value;   // successes with a fixed value
  std::optional<EDataFlow> listed_flow;  // "getSystemAudioDevices" successes
};

Expected Fails(const std::string& code, const std::string& message) {
  return {Kind::kError, code, message, std::nullopt, std::nullopt};
}
Expected Invalid(const std::string& message) { return Fails("INVALID_ARGUMENT", message); }
Expected AnswersTrue() { return {Kind::kSuccess, "", "", EncodableValue(true), std::nullopt}; }
Expected Answers(EncodableValue value) {
  return {Kind::kSuccess, "", "", std::move(value), std::nullopt};
}
Expected Lists(EDataFlow flow) { return {Kind::kSuccess, "", "", std::nullopt, flow}; }
Expected NotImplemented() { return {Kind::kNotImplemented, "", "", std::nullopt, std::nullopt}; }

struct Case {
  std::string name;
  std::string method;
  ArgumentsFactory arguments;
  Expected expected;
};

class MethodTableTest : public ::testing::Test {
 protected:
  MethodTableTest() {
    enumerator_.collection.endpoints = {&speakers_};
    enumerator_.default_endpoint = &speakers_;
    enumerator_.known_endpoints = {&speakers_};
    ring_ = Narrow(files_.WriteFile(L"ring.wav", WavBytes(800)));
    Arm();
  }

  void Arm() {
    Fake().enumerator = &enumerator_;
    Fake().policy = &policy_;
    Fake().crash_directory = L"C:\\users\\tester\\AppData\\Roaming\\crashes";
  }

  ScopedFakeAudioSystem system_;
  TemporaryDirectory files_;
  std::string ring_;
  FakeEnumerator enumerator_;
  FakeEndpoint speakers_{kSpeakersId, L"Desk_Speakers", eRender};
  FakePolicyObject policy_{13};
  WindowsAudioPlugin plugin_;
};

TEST_F(MethodTableTest, EveryMethodWithEveryShapeOfArguments) {
  const EncodableValue digits("1");
  const std::string map_error = "Expected a map of arguments";
  std::vector<Case> cases;
  auto add = [&](const std::string& name, const std::string& method, ArgumentsFactory arguments,
                 Expected expected) {
    cases.push_back({method + ": " + name, method, std::move(arguments), std::move(expected)});
  };

  // "playRingtone": map; "filePath" string, required, not empty.
  add("no arguments", "playRingtone", NoArguments(), Invalid(map_error));
  add("null arguments", "playRingtone", NullArguments(), Invalid(map_error));
  add("list", "playRingtone", ListArguments(), Invalid(map_error));
  add("string", "playRingtone", StringArguments(), Invalid(map_error));
  add("empty map", "playRingtone", MapArguments({}), Invalid("Missing argument: filePath"));
  add("key in other case", "playRingtone", MapArguments({{"FilePath", EncodableValue(ring_)}}),
      Invalid("Missing argument: filePath"));
  add("int", "playRingtone", MapArguments({{"filePath", EncodableValue(int32_t{5})}}),
      Invalid("filePath must be a string"));
  add("bool", "playRingtone", MapArguments({{"filePath", EncodableValue(true)}}),
      Invalid("filePath must be a string"));
  add("empty string", "playRingtone", MapArguments({{"filePath", EncodableValue("")}}),
      Invalid("filePath must not be empty"));
  // The platform would see the path cut at the NUL and play the existing file.
  add("NUL after the path", "playRingtone",
      MapArguments({{"filePath", EncodableValue(ring_ + std::string(1, '\0') + ".txt")}}),
      Invalid("filePath must not contain a NUL character"));
  add("blank string", "playRingtone", MapArguments({{"filePath", EncodableValue(" ")}}),
      Fails("PLAY_FAILED", "Failed to start native MCI playback"));
  add("existing file", "playRingtone", MapArguments({{"filePath", EncodableValue(ring_)}}),
      AnswersTrue());
  add("existing file and an extra key", "playRingtone",
      MapArguments({{"filePath", EncodableValue(ring_)}, {"loop", EncodableValue(false)}}),
      AnswersTrue());

  // "stopRingtone": anything sent is ignored.
  for (auto& [name, arguments] : std::vector<std::pair<std::string, ArgumentsFactory>>{
           {"no arguments", NoArguments()},
           {"null arguments", NullArguments()},
           {"list", ListArguments()},
           {"string", StringArguments()},
           {"empty map", MapArguments({})},
           {"map", MapArguments({{"filePath", EncodableValue(int32_t{5})}})}}) {
    add(name, "stopRingtone", arguments, AnswersTrue());
  }

  // "setVolume": map; "volume" number, required.
  add("no arguments", "setVolume", NoArguments(), Invalid(map_error));
  add("null arguments", "setVolume", NullArguments(), Invalid(map_error));
  add("list", "setVolume", ListArguments(), Invalid(map_error));
  add("string", "setVolume", StringArguments(), Invalid(map_error));
  add("empty map", "setVolume", MapArguments({}), Invalid("Missing argument: volume"));
  add("string of digits", "setVolume", MapArguments({{"volume", digits}}),
      Invalid("volume must be a number"));
  add("blank string", "setVolume", MapArguments({{"volume", EncodableValue(" ")}}),
      Invalid("volume must be a number"));
  add("bool", "setVolume", MapArguments({{"volume", EncodableValue(true)}}),
      Invalid("volume must be a number"));
  add("int32 1", "setVolume", MapArguments({{"volume", EncodableValue(int32_t{1})}}),
      AnswersTrue());
  add("double 1.5", "setVolume", MapArguments({{"volume", EncodableValue(1.5)}}), AnswersTrue());
  add("int64 2^32", "setVolume", MapArguments({{"volume", EncodableValue(int64_t{4294967296})}}),
      AnswersTrue());
  add("-5", "setVolume", MapArguments({{"volume", EncodableValue(-5.0)}}), AnswersTrue());
  add("1000", "setVolume", MapArguments({{"volume", EncodableValue(int32_t{1000})}}),
      AnswersTrue());

  // "getSystemAudioDevices": the capture flag is lenient; no argument error exists.
  add("no arguments", "getSystemAudioDevices", NoArguments(), Lists(eRender));
  add("null arguments", "getSystemAudioDevices", NullArguments(), Lists(eRender));
  add("list", "getSystemAudioDevices", ListArguments(), Lists(eRender));
  add("string", "getSystemAudioDevices", StringArguments(), Lists(eRender));
  add("empty map", "getSystemAudioDevices", MapArguments({}), Lists(eRender));
  add("flag as string", "getSystemAudioDevices",
      MapArguments({{"isCapture", EncodableValue("true")}}), Lists(eRender));
  add("flag as int 1", "getSystemAudioDevices",
      MapArguments({{"isCapture", EncodableValue(int32_t{1})}}), Lists(eRender));
  add("flag key in other case", "getSystemAudioDevices",
      MapArguments({{"IsCapture", EncodableValue(true)}}), Lists(eRender));
  add("flag false", "getSystemAudioDevices", MapArguments({{"isCapture", EncodableValue(false)}}),
      Lists(eRender));
  add("flag true", "getSystemAudioDevices", MapArguments({{"isCapture", EncodableValue(true)}}),
      Lists(eCapture));

  // "setSystemDefaultAudioDevice": map; "deviceId" string, not empty; "isCapture" bool.
  const std::string method = "setSystemDefaultAudioDevice";
  add("no arguments", method, NoArguments(), Invalid(map_error));
  add("null arguments", method, NullArguments(), Invalid(map_error));
  add("list", method, ListArguments(), Invalid(map_error));
  add("string", method, StringArguments(), Invalid(map_error));
  add("empty map", method, MapArguments({}), Invalid("Missing argument: deviceId"));
  add("only isCapture", method, MapArguments({{"isCapture", EncodableValue(true)}}),
      Invalid("Missing argument: deviceId"));
  add("both wrong: the first wins", method,
      MapArguments({{"deviceId", EncodableValue(int32_t{5})}, {"isCapture", EncodableValue(1)}}),
      Invalid("deviceId must be a string"));
  add("empty id and wrong flag: the first wins", method,
      MapArguments({{"deviceId", EncodableValue("")}, {"isCapture", EncodableValue(1)}}),
      Invalid("deviceId must not be empty"));
  add("only deviceId", method, MapArguments({{"deviceId", EncodableValue(kSpeakers)}}),
      Invalid("Missing argument: isCapture"));
  add("flag as int 0", method,
      MapArguments({{"deviceId", EncodableValue(kSpeakers)}, {"isCapture", EncodableValue(0)}}),
      Invalid("isCapture must be a bool"));
  add("flag as int 1", method,
      MapArguments({{"deviceId", EncodableValue(kSpeakers)}, {"isCapture", EncodableValue(1)}}),
      Invalid("isCapture must be a bool"));
  add("flag as string", method,
      MapArguments(
          {{"deviceId", EncodableValue(kSpeakers)}, {"isCapture", EncodableValue("false")}}),
      Invalid("isCapture must be a bool"));
  add("NUL after a listed id", method,
      MapArguments(
          {{"deviceId", EncodableValue(std::string(kSpeakers) + std::string(1, '\0') + "x")},
           {"isCapture", EncodableValue(false)}}),
      Invalid("deviceId must not contain a NUL character"));
  add("blank id", method,
      MapArguments({{"deviceId", EncodableValue(" ")}, {"isCapture", EncodableValue(false)}}),
      Fails("INVALID_DEVICE", "Device does not exist, is not active, or has wrong type"));
  add("listed endpoint", method,
      MapArguments({{"deviceId", EncodableValue(kSpeakers)}, {"isCapture", EncodableValue(false)}}),
      AnswersTrue());

  // The crash directory methods ignore whatever is sent.
  for (auto& [name, arguments] :
       std::vector<std::pair<std::string, ArgumentsFactory>>{{"no arguments", NoArguments()},
                                                             {"list", ListArguments()},
                                                             {"string", StringArguments()},
                                                             {"empty map", MapArguments({})}}) {
    add(name, "getCrashDumpDirectory", arguments,
        Answers(EncodableValue("C:\\users\\tester\\AppData\\Roaming\\crashes")));
    add(name, "openCrashDumpDirectory", arguments, AnswersTrue());
  }

  // Names match exactly, byte for byte.
  for (const std::string& name :
       {std::string("PlayRingtone"), std::string("playringtone"), std::string("playRingtone "),
        std::string(" playRingtone"), std::string("playRingtone\0", 13),
        std::string("STOPRINGTONE"), std::string("getSystemAudioDevice"), std::string(""),
        std::string("unknownMethod")}) {
    add("unknown name", name, MapArguments({{"filePath", EncodableValue(ring_)}}),
        NotImplemented());
  }

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fake() = FakeAudioSystem();
    Arm();
    enumerator_.enum_requests.clear();
    const DiagnosticCells before = DiagnosticCells::Read();
    const AnswerLog log = CallPlugin(plugin_, c.method, c.arguments());
    EXPECT_TRUE(log.destroyed) << "the result is not kept after the call";
    const RecordedAnswer& answer = log.Only();
    ASSERT_EQ(answer.kind, c.expected.kind) << log.Describe();
    if (answer.kind == Kind::kError) {
      EXPECT_EQ(answer.code, c.expected.code);
      EXPECT_EQ(answer.message, c.expected.message);
      EXPECT_FALSE(answer.has_details) << "error replies carry no details";
    }
    if (c.expected.value) {
      ASSERT_TRUE(answer.value.has_value());
      EXPECT_TRUE(*answer.value == *c.expected.value);
    }
    if (c.expected.listed_flow) {
      EXPECT_EQ(ListedEndpoints(log).size(), 1u);
      ASSERT_EQ(enumerator_.enum_requests.size(), 1u);
      EXPECT_EQ(enumerator_.enum_requests[0].first, *c.expected.listed_flow);
    }
    if (c.expected.code == "INVALID_ARGUMENT" || c.expected.kind == Kind::kNotImplemented) {
      const DiagnosticCells after = DiagnosticCells::Read();
      EXPECT_EQ(after.last_audio_op, before.last_audio_op) << "nothing begun, nothing recorded";
      EXPECT_EQ(after.audio_op_count, before.audio_op_count);
      EXPECT_EQ(Fake().co_initialize_calls, 0);
      EXPECT_TRUE(Fake().play_calls.empty());
    }
    EXPECT_EQ(FakeComObject::OutstandingReferences(), 0);
    EXPECT_EQ(Fake().co_initialize_calls, Fake().co_uninitialize_calls);
  }
}

// --- The exception net.

constexpr char kExceptionLine[] = "[WindowsAudioPlugin] Exception caught in HandleMethodCall";
constexpr char kUnknownExceptionLine[] =
    "[WindowsAudioPlugin] Unknown exception caught in HandleMethodCall";

struct ThrowCase {
  std::string name;
  std::string method;
  ArgumentsFactory arguments;
  std::string throwing_call;  // the system call that throws
  bool standard;              // a std::exception, or something else
};

TEST_F(MethodTableTest, EveryExceptionIsCaughtLoggedAndAnsweredOnce) {
  const std::vector<ThrowCase> cases = {
      {"stop: sound player throws", "stopRingtone", NoArguments(), "PlaySoundW", true},
      {"stop: sound player throws a non-standard exception", "stopRingtone", NoArguments(),
       "PlaySoundW", false},
      // Handlers that own their result: the dispatcher still answers for them.
      {"play: sound player throws", "playRingtone",
       MapArguments({{"filePath", EncodableValue(ring_)}}), "PlaySoundW", true},
      {"play: non-standard exception", "playRingtone",
       MapArguments({{"filePath", EncodableValue(ring_)}}), "PlaySoundW", false},
      {"listing: COM initialisation throws", "getSystemAudioDevices", NoArguments(),
       "CoInitializeEx", true},
      {"listing: uninitialisation throws after the interfaces are gone", "getSystemAudioDevices",
       NoArguments(), "CoUninitialize", true},
      {"switch: object creation throws", "setSystemDefaultAudioDevice",
       MapArguments(
           {{"deviceId", EncodableValue(kSpeakers)}, {"isCapture", EncodableValue(false)}}),
       "CoCreateInstance", true},
      {"switch: the validation's log line throws", "setSystemDefaultAudioDevice",
       MapArguments({{"deviceId", EncodableValue("nobody")}, {"isCapture", EncodableValue(false)}}),
       "OutputDebugStringA", false},
      {"crash directory: resolver throws", "getCrashDumpDirectory", NoArguments(),
       "ResolveUserCrashDirectory", true},
      {"open crash directory: shell throws", "openCrashDumpDirectory", NoArguments(),
       "ShellExecuteW", true},
  };
  for (const ThrowCase& c : cases) {
    SCOPED_TRACE(c.name);
    Fake() = FakeAudioSystem();
    Arm();
    int throws = 0;
    Fake().before_call = [&](const std::string& call) {
      // Throw once; the net's own log line must still get through.
      if (call != c.throwing_call || throws > 0) return;
      ++throws;
      if (c.standard) throw std::runtime_error("system call failed: " + call);
      throw 42;
    };
    const AnswerLog log = CallPlugin(plugin_, c.method, c.arguments());
    EXPECT_EQ(throws, 1);
    const RecordedAnswer& answer = log.Only();
    EXPECT_EQ(answer.kind, Kind::kError);
    EXPECT_EQ(answer.code, "NATIVE_EXCEPTION");
    EXPECT_EQ(answer.message, c.standard ? "system call failed: " + c.throwing_call
                                         : std::string("Unknown native exception occurred"));
    EXPECT_FALSE(answer.has_details);
    ASSERT_FALSE(Fake().debug_lines.empty());
    EXPECT_EQ(Fake().debug_lines.back(), c.standard ? kExceptionLine : kUnknownExceptionLine);
    EXPECT_EQ(FakeComObject::OutstandingReferences(), 0) << "unwinding released everything";
    Fake().before_call = nullptr;
  }
}

TEST_F(MethodTableTest, AResultThatCannotSendIsAnsweredWithTheException) {
  struct RefusalCase {
    const char* name;
    std::string method;
    ArgumentsFactory arguments;
  };
  const std::vector<RefusalCase> cases = {
      {"unknown name", "noSuchMethod", NoArguments()},
      {"stopRingtone", "stopRingtone", NoArguments()},
      {"setVolume", "setVolume", MapArguments({{"volume", EncodableValue(0.5)}})},
      {"argument error", "setVolume", MapArguments({})},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.name);
    Fake() = FakeAudioSystem();
    Arm();
    AnswerLog log;
    log.refuse_first_answer = true;
    CallPlugin(plugin_, c.method, c.arguments(), log);
    const RecordedAnswer& answer = log.Only();
    EXPECT_EQ(answer.code, "NATIVE_EXCEPTION");
    EXPECT_EQ(answer.message, "result refused the answer");
    EXPECT_EQ(Fake().debug_lines, std::vector<std::string>{kExceptionLine});
  }
}

}  // namespace
