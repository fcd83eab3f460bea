// Endpoint enumeration and validation against in-process Core Audio fakes: the listing, every
// fallback, the COM errors, COM initialisation balanced exactly, and every interface released.

#include "audio_plugin/audio_endpoints.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/audio_plugin/audio_plugin_test_support.h"
#include "tests/audio_plugin/fake_audio_system.h"
#include "tests/audio_plugin/fake_core_audio.h"

namespace {

using flutter::EncodableValue;
using flutter::EncodableValueList;
using flutter::EncodableValueMap;

constexpr wchar_t kSpeakersId[] = L"{0.0.0.00000000}.{5f3d9a1c-0001}";
constexpr wchar_t kHeadsetId[] = L"{0.0.0.00000000}.{5f3d9a1c-0002}";
constexpr wchar_t kMicrophoneId[] = L"{0.0.1.00000000}.{5f3d9a1c-0003}";
constexpr char kSpeakers[] = "{0.0.0.00000000}.{5f3d9a1c-0001}";
constexpr char kHeadset[] = "{0.0.0.00000000}.{5f3d9a1c-0002}";
constexpr char kMicrophone[] = "{0.0.1.00000000}.{5f3d9a1c-0003}";

constexpr char kNotFoundLine[] = "[WindowsAudioPlugin] ValidateAudioDevice: device not found";
constexpr char kNotActiveLine[] = "[WindowsAudioPlugin] ValidateAudioDevice: device not active";
constexpr char kWrongFlowLine[] =
    "[WindowsAudioPlugin] ValidateAudioDevice: wrong data flow (e.g. tried to set a microphone "
    "as speaker or vice versa)";

class AudioEndpointsTest : public ::testing::Test {
 protected:
  AudioEndpointsTest() {
    Fake().enumerator = &enumerator_;
    enumerator_.collection.endpoints = {&headset_, &speakers_};
    enumerator_.default_endpoint = &speakers_;
    enumerator_.known_endpoints = {&headset_, &speakers_, &microphone_};
  }

  void ExpectEverythingReleased(const std::string& case_name) {
    EXPECT_EQ(FakeComObject::OutstandingReferences(), 0) << case_name;
    for (long held : Fake().references_at_uninitialize) {
      EXPECT_EQ(held, 0) << case_name << ": interfaces still held when COM was left";
    }
  }

  ScopedFakeAudioSystem system_;
  FakeEnumerator enumerator_;
  FakeEndpoint speakers_{kSpeakersId, L"Desk_Speakers", eRender};
  FakeEndpoint headset_{kHeadsetId, L"USB_Headset", eRender};
  FakeEndpoint microphone_{kMicrophoneId, L"Mikrofon (Gr\u00F6\u00DFe)", eCapture};
  WindowsAudioPlugin plugin_;
};

TEST_F(AudioEndpointsTest, ListsActiveEndpointsInCollectionOrderWithTheConsoleDefault) {
  const DiagnosticCells before = DiagnosticCells::Read();
  AnswerLog log;
  int uninitialized_when_answered = -1;
  log.on_answer = [&] { uninitialized_when_answered = Fake().co_uninitialize_calls; };
  CallPlugin(plugin_, "getSystemAudioDevices", nullptr, log);

  const std::vector<ListedEndpoint> expected = {{kHeadset, "USB_Headset", false},
                                                {kSpeakers, "Desk_Speakers", true}};
  EXPECT_EQ(ListedEndpoints(log), expected);
  ASSERT_EQ(enumerator_.enum_requests.size(), 1u);
  EXPECT_EQ(enumerator_.enum_requests[0].first, eRender);
  EXPECT_EQ(enumerator_.enum_requests[0].second, DWORD{DEVICE_STATE_ACTIVE});
  ASSERT_EQ(enumerator_.default_requests.size(), 1u);
  EXPECT_EQ(enumerator_.default_requests[0].first, eRender);
  EXPECT_EQ(enumerator_.default_requests[0].second, eConsole);
  EXPECT_EQ(headset_.store_modes, std::vector<DWORD>{STGM_READ});

  ASSERT_EQ(Fake().creations.size(), 1u);
  EXPECT_EQ(Fake().creations[0].what, "enumerator");
  EXPECT_TRUE(Fake().creations[0].interface_matches);
  EXPECT_TRUE(Fake().creations[0].outer_null);
  EXPECT_EQ(Fake().creations[0].context, DWORD{CLSCTX_ALL});
  EXPECT_EQ(Fake().apartment_models, std::vector<DWORD>{COINIT_APARTMENTTHREADED});
  EXPECT_EQ(Fake().co_uninitialize_calls, 1);
  EXPECT_EQ(uninitialized_when_answered, 1) << "COM is left before the answer";
  ExpectEverythingReleased("listing");

  const DiagnosticCells after = DiagnosticCells::Read();
  EXPECT_EQ(after.last_audio_op, 5);
  EXPECT_EQ(after.audio_op_count, before.audio_op_count + 1);
  EXPECT_EQ(after.last_set_endpoint_hr, before.last_set_endpoint_hr);
  EXPECT_TRUE(Fake().debug_lines.empty());
}

TEST_F(AudioEndpointsTest, CaptureListingAsksForTheCaptureFlow) {
  enumerator_.collection.endpoints = {&microphone_};
  enumerator_.default_endpoint = &microphone_;
  const AnswerLog log =
      CallPlugin(plugin_, "getSystemAudioDevices",
                 Arguments({{EncodableValue("isCapture"), EncodableValue(true)}}));
  const std::vector<ListedEndpoint> expected = {{kMicrophone,
                                                 "Mikrofon (Gr\xC3\xB6\xC3\x9F"
                                                 "e)",
                                                 true}};
  EXPECT_EQ(ListedEndpoints(log), expected);
  ASSERT_EQ(enumerator_.enum_requests.size(), 1u);
  EXPECT_EQ(enumerator_.enum_requests[0].first, eCapture);
  EXPECT_EQ(enumerator_.default_requests.at(0).first, eCapture);
  ExpectEverythingReleased("capture");
}

TEST_F(AudioEndpointsTest, EveryUnreadableDetailTakesItsFallback) {
  FakeEndpoint other_default{L"{0.0.0.00000000}.{elsewhere}", L"Elsewhere", eRender};
  struct Case {
    const char* name;
    std::function<void()> arrange;
    std::vector<ListedEndpoint> expected;
  };
  const std::vector<Case> cases = {
      {"id of the default endpoint fails",
       [&] { speakers_.get_id_result = E_FAIL; },
       {{kHeadset, "USB_Headset", false}, {"", "Desk_Speakers", false}}},
      {"id answered null",
       [&] { headset_.null_id = true; },
       {{"", "USB_Headset", false}, {kSpeakers, "Desk_Speakers", true}}},
      {"property store fails",
       [&] { headset_.open_store_result = E_ACCESSDENIED; },
       {{kHeadset, "Unknown device", false}, {kSpeakers, "Desk_Speakers", true}}},
      {"property store answered null",
       [&] { headset_.null_store = true; },
       {{kHeadset, "Unknown device", false}, {kSpeakers, "Desk_Speakers", true}}},
      {"friendly name fails",
       [&] { headset_.store.get_value_result = E_FAIL; },
       {{kHeadset, "Unknown device", false}, {kSpeakers, "Desk_Speakers", true}}},
      {"friendly name absent",
       [&] { headset_.store.friendly_name.reset(); },
       {{kHeadset, "Unknown device", false}, {kSpeakers, "Desk_Speakers", true}}},
      {"friendly name not a text",
       [&] { headset_.store.friendly_number = 0x41424344; },
       {{kHeadset, "Unknown device", false}, {kSpeakers, "Desk_Speakers", true}}},
      {"friendly name empty",
       [&] { headset_.store.friendly_name = L""; },
       {{kHeadset, "", false}, {kSpeakers, "Desk_Speakers", true}}},
      {"no default endpoint",
       [&] { enumerator_.default_endpoint = nullptr; },
       {{kHeadset, "USB_Headset", false}, {kSpeakers, "Desk_Speakers", false}}},
      {"default endpoint query fails",
       [&] { enumerator_.default_result = E_OUTOFMEMORY; },
       {{kHeadset, "USB_Headset", false}, {kSpeakers, "Desk_Speakers", false}}},
      {"default endpoint not among the listed",
       [&] { enumerator_.default_endpoint = &other_default; },
       {{kHeadset, "USB_Headset", false}, {kSpeakers, "Desk_Speakers", false}}},
      {"default endpoint's id unreadable, with an unreadable listed id",
       [&] {
         other_default.get_id_result = E_FAIL;
         headset_.get_id_result = E_FAIL;
         enumerator_.default_endpoint = &other_default;
       },
       {{"", "USB_Headset", false}, {kSpeakers, "Desk_Speakers", false}}},
      {"count fails", [&] { enumerator_.collection.get_count_result = E_FAIL; }, {}},
      {"first item fails",
       [&] { enumerator_.collection.failing_items = {0}; },
       {{kSpeakers, "Desk_Speakers", true}}},
      {"first item answered null",
       [&] { enumerator_.collection.null_items = {0}; },
       {{kSpeakers, "Desk_Speakers", true}}},
      {"empty collection", [&] { enumerator_.collection.endpoints.clear(); }, {}},
  };
  for (const Case& c : cases) {
    // Fresh fake state for each case.
    speakers_.get_id_result = headset_.get_id_result = other_default.get_id_result = S_OK;
    headset_.null_id = false;
    headset_.open_store_result = S_OK;
    headset_.null_store = false;
    headset_.store.get_value_result = S_OK;
    headset_.store.friendly_name = L"USB_Headset";
    headset_.store.friendly_number.reset();
    enumerator_.default_endpoint = &speakers_;
    enumerator_.default_result = S_OK;
    enumerator_.collection.endpoints = {&headset_, &speakers_};
    enumerator_.collection.get_count_result = S_OK;
    enumerator_.collection.failing_items.clear();
    enumerator_.collection.null_items.clear();
    Fake().references_at_uninitialize.clear();
    c.arrange();

    const AnswerLog log = CallPlugin(plugin_, "getSystemAudioDevices");
    EXPECT_EQ(ListedEndpoints(log), c.expected) << c.name;
    ExpectEverythingReleased(c.name);
  }
  EXPECT_EQ(Fake().co_initialize_calls, Fake().co_uninitialize_calls);
  EXPECT_TRUE(Fake().debug_lines.empty());
}

TEST_F(AudioEndpointsTest, ComFailuresAnswerComErrorAndReleaseWhatWasObtained) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    const char* message;
    int creations;
  };
  const std::vector<Case> cases = {
      {"enumerator cannot be created", [&] { Fake().enumerator = nullptr; },
       "Failed to create device enumerator", 1},
      {"enumeration fails", [&] { enumerator_.enum_result = E_FAIL; },
       "Failed to enumerate endpoints", 1},
      {"enumeration answers null", [&] { enumerator_.null_collection = true; },
       "Failed to enumerate endpoints", 1},
      {"COM cannot be initialised", [&] { Fake().co_initialize_result = E_OUTOFMEMORY; },
       "Failed to initialize COM", 0},
  };
  for (const Case& c : cases) {
    ScopedFakeAudioSystem fresh;
    Fake().enumerator = &enumerator_;
    enumerator_.enum_result = S_OK;
    enumerator_.null_collection = false;
    c.arrange();
    const DiagnosticCells before = DiagnosticCells::Read();
    const AnswerLog log = CallPlugin(plugin_, "getSystemAudioDevices");
    const RecordedAnswer& answer = log.Only();
    EXPECT_EQ(answer.kind, RecordedAnswer::Kind::kError) << c.name;
    EXPECT_EQ(answer.code, "COM_ERROR") << c.name;
    EXPECT_EQ(answer.message, c.message) << c.name;
    EXPECT_FALSE(answer.has_details) << c.name;
    EXPECT_EQ(static_cast<int>(Fake().creations.size()), c.creations) << c.name;
    EXPECT_EQ(Fake().co_uninitialize_calls, c.creations) << c.name << ": owed exactly when usable";
    EXPECT_EQ(DiagnosticCells::Read().last_audio_op, 5) << c.name;
    EXPECT_EQ(DiagnosticCells::Read().audio_op_count, before.audio_op_count + 1) << c.name;
    ExpectEverythingReleased(c.name);
  }
}

TEST_F(AudioEndpointsTest, ComInitialisationIsBalancedExactly) {
  struct Case {
    const char* name;
    HRESULT initialize_result;
    int uninitialize_calls;
    bool usable;
  };
  const Case cases[] = {
      {"first initialisation (S_OK)", S_OK, 1, true},
      {"already initialised the same way (S_FALSE)", S_FALSE, 1, true},
      {"thread in another apartment (RPC_E_CHANGED_MODE)", RPC_E_CHANGED_MODE, 0, true},
      {"another success code", static_cast<HRESULT>(0x00000002), 0, true},
      {"initialisation fails (E_OUTOFMEMORY)", E_OUTOFMEMORY, 0, false},
      {"initialisation fails (E_INVALIDARG)", E_INVALIDARG, 0, false},
  };
  for (const Case& c : cases) {
    for (const char* method : {"getSystemAudioDevices", "setSystemDefaultAudioDevice"}) {
      ScopedFakeAudioSystem fresh;
      Fake().enumerator = &enumerator_;
      Fake().co_initialize_result = c.initialize_result;
      // No policy object: a switch ends after validation, which is enough to count COM.
      const AnswerLog log =
          CallPlugin(plugin_, method,
                     Arguments({{EncodableValue("deviceId"), EncodableValue(kSpeakers)},
                                {EncodableValue("isCapture"), EncodableValue(false)}}));
      const std::string name = std::string(c.name) + " / " + method;
      EXPECT_EQ(Fake().co_initialize_calls, 1) << name;
      EXPECT_EQ(Fake().co_uninitialize_calls, c.uninitialize_calls) << name;
      const RecordedAnswer& answer = log.Only();
      if (c.usable) {
        EXPECT_NE(answer.message, "Failed to initialize COM") << name;
        EXPECT_FALSE(Fake().creations.empty()) << name;
      } else {
        EXPECT_EQ(answer.code, "COM_ERROR") << name;
        EXPECT_EQ(answer.message, "Failed to initialize COM") << name;
        EXPECT_TRUE(Fake().creations.empty()) << name;
      }
      ExpectEverythingReleased(name);
    }
  }
}

TEST_F(AudioEndpointsTest, ValidationChecksExistenceStateAndDataFlow) {
  FakeEndpoint disabled{L"{0.0.0.00000000}.{disabled}", L"Old", eRender};
  disabled.state = DEVICE_STATE_DISABLED;
  FakeEndpoint unplugged{L"{0.0.0.00000000}.{unplugged}", L"Jack", eRender};
  unplugged.state = DEVICE_STATE_UNPLUGGED;
  FakeEndpoint mute_state{L"{0.0.0.00000000}.{state-fails}", L"Quiet", eRender};
  mute_state.get_state_result = E_FAIL;
  FakeEndpoint no_flow_interface{L"{0.0.1.00000000}.{no-endpoint}", L"Mystery", eCapture};
  no_flow_interface.query_endpoint_result = E_NOINTERFACE;
  FakeEndpoint flow_fails{L"{0.0.1.00000000}.{flow-fails}", L"Shy", eCapture};
  flow_fails.get_flow_result = E_FAIL;
  enumerator_.known_endpoints = {&speakers_,  &microphone_,       &disabled,  &unplugged,
                                 &mute_state, &no_flow_interface, &flow_fails};

  struct Case {
    const char* name;
    std::string id;
    bool is_capture;
    bool valid;
    const char* line;  // null: no line
  };
  const Case cases[] = {
      {"active playback endpoint", kSpeakers, false, true, nullptr},
      {"active capture endpoint", kMicrophone, true, true, nullptr},
      {"capture endpoint asked as playback", kMicrophone, false, false, kWrongFlowLine},
      {"playback endpoint asked as capture", kSpeakers, true, false, kWrongFlowLine},
      {"unknown id", "{0.0.0.00000000}.{nobody}", false, false, kNotFoundLine},
      {"disabled", "{0.0.0.00000000}.{disabled}", false, false, kNotActiveLine},
      {"unplugged", "{0.0.0.00000000}.{unplugged}", false, false, kNotActiveLine},
      {"state unreadable", "{0.0.0.00000000}.{state-fails}", false, false, kNotActiveLine},
      {"flow interface missing: flow not checked", "{0.0.1.00000000}.{no-endpoint}", false, true,
       nullptr},
      {"flow unreadable: flow not checked", "{0.0.1.00000000}.{flow-fails}", false, true, nullptr},
  };
  for (const Case& c : cases) {
    Fake().debug_lines.clear();
    enumerator_.device_requests.clear();
    EXPECT_EQ(ValidateAudioDevice(c.id, c.is_capture), c.valid) << c.name;
    EXPECT_EQ(enumerator_.device_requests, std::vector<std::wstring>{Widen(c.id)}) << c.name;
    if (c.line != nullptr) {
      EXPECT_EQ(Fake().debug_lines, std::vector<std::string>{c.line}) << c.name;
    } else {
      EXPECT_TRUE(Fake().debug_lines.empty()) << c.name;
    }
    EXPECT_EQ(FakeComObject::OutstandingReferences(), 0) << c.name;
  }

  Fake().enumerator = nullptr;
  Fake().debug_lines.clear();
  EXPECT_FALSE(ValidateAudioDevice(kSpeakers, false)) << "no enumerator";
  EXPECT_TRUE(Fake().debug_lines.empty()) << "no enumerator: no line";
}

}  // namespace
