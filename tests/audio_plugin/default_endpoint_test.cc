// Default-endpoint switching against policy objects whose operation tables are laid out by the
// test, so that a SetDefaultEndpoint declared in the wrong slot cannot pass.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "crash/crash_diagnostics.h"
#include "tests/audio_plugin/audio_plugin_test_support.h"
#include "tests/audio_plugin/fake_audio_system.h"
#include "tests/audio_plugin/fake_core_audio.h"
#include "tests/audio_plugin/fake_policy_config.h"

namespace {

using flutter::EncodableValue;

constexpr wchar_t kSpeakersId[] = L"{0.0.0.00000000}.{7e1c-speakers}";
constexpr char kSpeakers[] = "{0.0.0.00000000}.{7e1c-speakers}";
constexpr wchar_t kMicrophoneId[] = L"{0.0.1.00000000}.{7e1c-microphone}";
constexpr char kMicrophone[] = "{0.0.1.00000000}.{7e1c-microphone}";
constexpr wchar_t kDisabledId[] = L"{0.0.0.00000000}.{7e1c-disabled}";
constexpr char kDisabled[] = "{0.0.0.00000000}.{7e1c-disabled}";

// A value no switch produces, to see whether a case touched the cell.
constexpr int kUntouchedHr = 0x12345;

std::string RefusalLine(int role, unsigned long hr) {
  char line[160];
  std::snprintf(line, sizeof line,
                "[WindowsAudioPlugin] SetDefaultEndpoint failed role=%d hr=0x%08lx tid=%lu", role,
                hr, static_cast<unsigned long>(GetCurrentThreadId()));
  return line;
}

class DefaultEndpointTest : public ::testing::Test {
 protected:
  DefaultEndpointTest() {
    disabled_.state = DEVICE_STATE_DISABLED;
    enumerator_.known_endpoints = {&speakers_, &microphone_, &disabled_};
    Fake().enumerator = &enumerator_;
    Fake().policy = &policy_;
    Fake().alternate = &alternate_;
    CrashDiagnostics::lastSetEndpointHr.store(kUntouchedHr);
  }

  AnswerLog Switch(const std::string& id, bool is_capture) {
    AnswerLog log;
    log.on_answer = [this] { uninitialized_when_answered_ = Fake().co_uninitialize_calls; };
    CallPlugin(plugin_, "setSystemDefaultAudioDevice",
               Arguments({{EncodableValue("deviceId"), EncodableValue(id)},
                          {EncodableValue("isCapture"), EncodableValue(is_capture)}}),
               log);
    return log;
  }

  std::vector<std::string> Creations() const {
    std::vector<std::string> made;
    for (const FakeAudioSystem::Creation& creation : Fake().creations) {
      EXPECT_TRUE(creation.interface_matches) << creation.what;
      EXPECT_TRUE(creation.outer_null) << creation.what;
      EXPECT_EQ(creation.context, DWORD{CLSCTX_ALL}) << creation.what;
      made.push_back(creation.what);
    }
    return made;
  }

  static void ExpectRoles(const FakePolicyObject& object, const std::wstring& id) {
    ASSERT_EQ(object.calls.size(), 3u);
    for (int role = 0; role < 3; ++role) {
      EXPECT_EQ(object.calls[role].role, role) << "roles go console, multimedia, communications";
      EXPECT_EQ(object.calls[role].device_id, id);
    }
  }

  void ExpectReleasedAndBalanced() {
    EXPECT_EQ(FakeComObject::OutstandingReferences(), 0);
    EXPECT_EQ(policy_.references(), 1);
    EXPECT_EQ(alternate_.references(), 1);
    EXPECT_EQ(DiagnosticCells::Read().last_mci_error, 0) << "nothing writes that cell";
    EXPECT_EQ(Fake().co_uninitialize_calls, 1);
    EXPECT_EQ(uninitialized_when_answered_, 1) << "COM is left before the answer";
  }

  ScopedFakeAudioSystem system_;
  FakeEnumerator enumerator_;
  FakeEndpoint speakers_{kSpeakersId, L"Desk_Speakers", eRender};
  FakeEndpoint microphone_{kMicrophoneId, L"Microphone", eCapture};
  FakeEndpoint disabled_{kDisabledId, L"Old", eRender};
  FakePolicyObject policy_{13};
  FakePolicyObject alternate_{12};
  WindowsAudioPlugin plugin_;
  int uninitialized_when_answered_ = -1;
};

TEST_F(DefaultEndpointTest, SwitchesAllThreeRolesThroughEntryThirteen) {
  const DiagnosticCells before = DiagnosticCells::Read();
  const AnswerLog log = Switch(kSpeakers, false);
  ExpectTrue(log);
  ExpectRoles(policy_, kSpeakersId);
  EXPECT_TRUE(alternate_.calls.empty());
  EXPECT_EQ(Creations(), (std::vector<std::string>{"enumerator", "policy"}))
      << "the alternate is only tried when the first cannot be created";
  EXPECT_TRUE(Fake().debug_lines.empty());
  ExpectReleasedAndBalanced();
  const DiagnosticCells after = DiagnosticCells::Read();
  EXPECT_EQ(after.last_audio_op, 6);
  EXPECT_EQ(after.audio_op_count, before.audio_op_count + 1);
  EXPECT_EQ(after.last_set_endpoint_hr, 0);
  EXPECT_EQ(after.last_mci_error, 0);
}

TEST_F(DefaultEndpointTest, CaptureEndpointIsSwitchedWhenAskedAsCapture) {
  ExpectTrue(Switch(kMicrophone, true));
  ExpectRoles(policy_, kMicrophoneId);
  ExpectReleasedAndBalanced();
}

TEST_F(DefaultEndpointTest, TheAlternateIsUsedWheneverTheFirstCannotBeCreated) {
  struct Case {
    const char* name;
    HRESULT policy_result;
    bool policy_null;
    bool policy_present;
  };
  const Case cases[] = {
      {"class not registered", S_OK, false, false},
      {"creation fails", E_NOINTERFACE, false, true},
      {"creation answers null", S_OK, true, true},
  };
  for (const Case& c : cases) {
    ScopedFakeAudioSystem fresh;
    Fake().enumerator = &enumerator_;
    Fake().policy = c.policy_present ? &policy_ : nullptr;
    Fake().policy_create_result = c.policy_result;
    Fake().policy_null = c.policy_null;
    Fake().alternate = &alternate_;
    alternate_.calls.clear();
    uninitialized_when_answered_ = -1;
    const AnswerLog log = Switch(kSpeakers, false);
    SCOPED_TRACE(c.name);
    ExpectTrue(log);
    ExpectRoles(alternate_, kSpeakersId);
    EXPECT_TRUE(policy_.calls.empty());
    EXPECT_EQ(Creations(), (std::vector<std::string>{"enumerator", "policy", "alternate"}));
    ExpectReleasedAndBalanced();
    EXPECT_EQ(DiagnosticCells::Read().last_set_endpoint_hr, 0);
  }
}

TEST_F(DefaultEndpointTest, NeitherPolicyObjectAnswersComError) {
  Fake().policy = nullptr;
  Fake().alternate = &alternate_;
  Fake().alternate_null = true;
  const AnswerLog log = Switch(kSpeakers, false);
  ExpectError(log, "COM_ERROR", "Failed to create IPolicyConfig - unsupported OS?");
  EXPECT_EQ(Creations(), (std::vector<std::string>{"enumerator", "policy", "alternate"}));
  EXPECT_TRUE(Fake().debug_lines.empty());
  EXPECT_EQ(DiagnosticCells::Read().last_set_endpoint_hr, kUntouchedHr);
  EXPECT_EQ(DiagnosticCells::Read().last_audio_op, 6);
  ExpectReleasedAndBalanced();
}

TEST_F(DefaultEndpointTest, ARefusedRoleIsLoggedAndTheOthersAreStillSet) {
  struct Case {
    const char* name;
    HRESULT results[3];
    std::vector<std::string> lines;
    int last_hr;
  };
  const std::vector<Case> cases = {
      {"communications refused with E_ACCESSDENIED",
       {S_OK, S_OK, E_ACCESSDENIED},
       {RefusalLine(2, 0x80070005UL)},
       static_cast<int>(0x80070005UL)},
      {"console refused with E_FAIL", {E_FAIL, S_OK, S_OK}, {RefusalLine(0, 0x80004005UL)}, 0},
      {"multimedia and communications refused",
       {S_OK, E_INVALIDARG, RPC_E_CHANGED_MODE},
       {RefusalLine(1, 0x80070057UL), RefusalLine(2, 0x80010106UL)},
       static_cast<int>(0x80010106UL)},
  };
  for (const Case& c : cases) {
    ScopedFakeAudioSystem fresh;
    Fake().enumerator = &enumerator_;
    Fake().policy = &policy_;
    policy_.calls.clear();
    for (int role = 0; role < 3; ++role) policy_.role_results[role] = c.results[role];
    uninitialized_when_answered_ = -1;
    const AnswerLog log = Switch(kSpeakers, false);
    SCOPED_TRACE(c.name);
    ExpectError(log, "SET_DEFAULT_FAILED", "Failed to set default endpoint for one or more roles");
    ExpectRoles(policy_, kSpeakersId);
    EXPECT_EQ(Fake().debug_lines, c.lines);
    EXPECT_EQ(DiagnosticCells::Read().last_set_endpoint_hr, c.last_hr);
    ExpectReleasedAndBalanced();
  }
}

TEST_F(DefaultEndpointTest, ASuccessCodeOtherThanOkIsNoRefusal) {
  policy_.role_results[2] = S_FALSE;
  ExpectTrue(Switch(kSpeakers, false));
  EXPECT_TRUE(Fake().debug_lines.empty());
  EXPECT_EQ(DiagnosticCells::Read().last_set_endpoint_hr, 1);
}

TEST_F(DefaultEndpointTest, AnEndpointThatFailsValidationIsNeverSwitched) {
  struct Case {
    const char* name;
    std::string id;
    bool is_capture;
    bool enumerator;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {"capture endpoint as playback",
       kMicrophone,
       false,
       true,
       {"[WindowsAudioPlugin] ValidateAudioDevice: wrong data flow (e.g. tried to set a "
        "microphone as speaker or vice versa)"}},
      {"playback endpoint as capture",
       kSpeakers,
       true,
       true,
       {"[WindowsAudioPlugin] ValidateAudioDevice: wrong data flow (e.g. tried to set a "
        "microphone as speaker or vice versa)"}},
      {"unknown endpoint",
       "{0.0.0.00000000}.{nobody}",
       false,
       true,
       {"[WindowsAudioPlugin] ValidateAudioDevice: device not found"}},
      {"blank id",
       " ",
       false,
       true,
       {"[WindowsAudioPlugin] ValidateAudioDevice: device not found"}},
      {"disabled endpoint",
       kDisabled,
       false,
       true,
       {"[WindowsAudioPlugin] ValidateAudioDevice: device not active"}},
      {"no enumerator", kSpeakers, false, false, {}},
  };
  for (const Case& c : cases) {
    ScopedFakeAudioSystem fresh;
    Fake().enumerator = c.enumerator ? &enumerator_ : nullptr;
    Fake().policy = &policy_;
    Fake().alternate = &alternate_;
    uninitialized_when_answered_ = -1;
    const DiagnosticCells before = DiagnosticCells::Read();
    const AnswerLog log = Switch(c.id, c.is_capture);
    SCOPED_TRACE(c.name);
    ExpectError(log, "INVALID_DEVICE", "Device does not exist, is not active, or has wrong type");
    EXPECT_EQ(Fake().debug_lines, c.lines);
    EXPECT_EQ(Creations(), std::vector<std::string>{"enumerator"}) << "no policy object";
    EXPECT_TRUE(policy_.calls.empty());
    EXPECT_TRUE(alternate_.calls.empty());
    const DiagnosticCells after = DiagnosticCells::Read();
    EXPECT_EQ(after.last_audio_op, 6);
    EXPECT_EQ(after.audio_op_count, before.audio_op_count + 1);
    EXPECT_EQ(after.last_set_endpoint_hr, kUntouchedHr);
    ExpectReleasedAndBalanced();
  }
}

TEST_F(DefaultEndpointTest, ArgumentFaultsStopBeforeAnyComWork) {
  const DiagnosticCells before = DiagnosticCells::Read();
  const AnswerLog log =
      CallPlugin(plugin_, "setSystemDefaultAudioDevice",
                 Arguments({{EncodableValue("deviceId"), EncodableValue("")},
                            {EncodableValue("isCapture"), EncodableValue(false)}}));
  ExpectError(log, "INVALID_ARGUMENT", "deviceId must not be empty");
  EXPECT_EQ(Fake().co_initialize_calls, 0);
  EXPECT_TRUE(Fake().creations.empty());
  const DiagnosticCells after = DiagnosticCells::Read();
  EXPECT_EQ(after.last_audio_op, before.last_audio_op);
  EXPECT_EQ(after.audio_op_count, before.audio_op_count);
  EXPECT_EQ(after.last_set_endpoint_hr, kUntouchedHr);
}

}  // namespace
