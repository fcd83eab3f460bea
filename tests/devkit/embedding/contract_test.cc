// The development embedding's contract checks, from outside: a small caller
// (this program, run again as a child process for one case) either keeps the
// contract and ends normally, or breaks it in one way and must be ended by the
// library with one standard-error line naming the function, the same line in
// the trace, and the violation exit code. Lenient mode reports and goes on.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "devkit/embedding/devkit_test_api.h"
#include "tests/devkit/embedding/devkit_test_support.h"

namespace {

using devkit_test::Properties;
using devkit_test::ReadLines;
using devkit_test::RunChildTest;
using devkit_test::TempFolder;

constexpr char kChannel[] = "contract/channel";
constexpr DWORD kViolationExitCode = 70;
const uint8_t kBytes[] = {1, 2, 3};

// One started engine as a host holds it, with the response handles of the
// messages delivered to its channel.
struct Host {
  std::wstring bundle;
  FlutterDesktopEngineRef engine = nullptr;
  FlutterDesktopViewControllerRef controller = nullptr;
  FlutterDesktopMessengerRef messenger = nullptr;
  FlutterDesktopPluginRegistrarRef registrar = nullptr;
  std::vector<const FlutterDesktopMessageResponseHandle*> responses;

  void Deliver() {
    FlutterDevkitDeliverMessage(messenger, kChannel, kBytes, sizeof(kBytes), nullptr, nullptr);
  }
  void Respond(size_t index) {
    FlutterDesktopMessengerSendResponse(messenger, responses.at(index), kBytes, sizeof(kBytes));
  }
  void DestroyController() {
    FlutterDesktopViewControllerDestroy(controller);
    controller = nullptr;
  }
  // Another started engine, without trace or lenient arguments of its own.
  FlutterDesktopViewControllerRef StartAnother() const {
    Properties properties(bundle, {});
    return FlutterDesktopViewControllerCreate(100, 100,
                                              FlutterDesktopEngineCreate(properties.get()));
  }
};

void KeepResponse(FlutterDesktopMessengerRef, const FlutterDesktopMessage* message, void* host) {
  static_cast<Host*>(host)->responses.push_back(message->response_handle);
}

struct ContractCase {
  const char* name;
  std::function<void(Host&)> act;
  const char* function;   // empty: the contract is kept
  const char* violation;  // part of the reported text
  bool lenient = false;
};

const std::vector<ContractCase>& Cases() {
  const auto answer_twice = [](Host& host) {
    host.Deliver();
    host.Respond(0);
    host.Respond(0);
  };
  static const std::vector<ContractCase> cases = {
      {"keeps the contract",
       [](Host& host) {
         host.Deliver();
         // Answered from another thread under the lock, as engine replies may be.
         std::thread([&] {
           FlutterDesktopMessengerRef locked = FlutterDesktopMessengerLock(host.messenger);
           if (FlutterDesktopMessengerIsAvailable(host.messenger)) host.Respond(0);
           FlutterDesktopMessengerUnlock(locked);
         }).join();
         FlutterDesktopMessengerRelease(FlutterDesktopMessengerAddRef(host.messenger));
         LRESULT result = 0;
         FlutterDesktopViewControllerHandleTopLevelWindowProc(host.controller, nullptr, WM_SIZE, 0,
                                                              0, &result);
         // A second engine whose UI runs on another thread answers to that
         // thread, and the first one still to its own.
         std::thread([&] { FlutterDesktopViewControllerDestroy(host.StartAnother()); }).join();
         FlutterDesktopViewControllerForceRedraw(host.controller);
       },
       "", ""},
      {"unknown engine handle",
       [](Host& host) {
         FlutterDesktopEngineGetMessenger(reinterpret_cast<FlutterDesktopEngineRef>(&host));
       },
       "FlutterDesktopEngineGetMessenger", "unknown or ended engine handle"},
      {"destroyed view controller",
       [](Host& host) {
         FlutterDesktopViewControllerRef controller = host.controller;
         host.DestroyController();
         FlutterDesktopViewControllerForceRedraw(controller);
       },
       "FlutterDesktopViewControllerForceRedraw", "unknown or ended view controller handle"},
      {"ended view controller's handle after a newer one was made",
       [](Host& host) {
         FlutterDesktopViewControllerRef ended = host.controller;
         host.DestroyController();
         // The newer objects may well take the ended ones' memory.
         FlutterDesktopViewControllerRef newer = host.StartAnother();
         FlutterDesktopViewControllerForceRedraw(ended);
         FlutterDesktopViewControllerDestroy(newer);
       },
       "FlutterDesktopViewControllerForceRedraw", "unknown or ended view controller handle"},
      {"registrar used after the engine's end",
       [](Host& host) {
         host.DestroyController();
         FlutterDesktopPluginRegistrarGetMessenger(host.registrar);
       },
       "FlutterDesktopPluginRegistrarGetMessenger", "unknown or ended registrar handle"},
      {"response handle used twice", answer_twice, "FlutterDesktopMessengerSendResponse",
       "was answered before or never given out"},
      {"response after the engine's end",
       [](Host& host) {
         host.Deliver();
         FlutterDesktopMessengerAddRef(host.messenger);
         host.DestroyController();
         host.Respond(0);
       },
       "FlutterDesktopMessengerSendResponse", "after the engine has shut down"},
      {"unlock from a thread that does not hold the lock",
       [](Host& host) {
         FlutterDesktopMessengerLock(host.messenger);
         std::thread([&] { FlutterDesktopMessengerUnlock(host.messenger); }).join();
       },
       "FlutterDesktopMessengerUnlock", "unlocked by a thread that does not hold its lock"},
      {"release without a reference",
       [](Host& host) { FlutterDesktopMessengerRelease(host.messenger); },
       "FlutterDesktopMessengerRelease", "released more often than added to"},
      {"engine destroyed after the hand-over",
       [](Host& host) { FlutterDesktopEngineDestroy(host.engine); }, "FlutterDesktopEngineDestroy",
       "was taken over by a view controller"},
      {"engine handed over twice",
       [](Host& host) { FlutterDesktopViewControllerCreate(10, 10, host.engine); },
       "FlutterDesktopViewControllerCreate", "was already taken over"},
      {"UI-thread call on another thread",
       [](Host& host) {
         std::thread([&] {
           FlutterDesktopMessengerSetCallback(host.messenger, "other", nullptr, nullptr);
         }).join();
       },
       "FlutterDesktopMessengerSetCallback", "called on a thread other than the UI thread"},
      {"window message without a result",
       [](Host& host) {
         FlutterDesktopViewControllerHandleTopLevelWindowProc(host.controller, nullptr, WM_SIZE, 0,
                                                              0, nullptr);
       },
       "FlutterDesktopViewControllerHandleTopLevelWindowProc", "null result pointer"},
      {"lenient: reported, and the call goes on", answer_twice,
       "FlutterDesktopMessengerSendResponse", "was answered before or never given out", true},
  };
  return cases;
}

// The caller: one case, named by the environment, against a started engine.
TEST(ContractChild, DISABLED_Run) {
  const char* folder = std::getenv("DEVKIT_CHILD_FOLDER");
  const char* name = std::getenv("DEVKIT_CONTRACT_CASE");
  if (folder == nullptr || name == nullptr) GTEST_SKIP() << "only run as a child process";
  for (const ContractCase& c : Cases()) {
    if (std::string(c.name) != name) continue;
    std::vector<std::string> arguments = {"--devkit-trace=" + std::string(folder) + "\\trace.txt"};
    if (c.lenient) arguments.push_back("--devkit-lenient");
    Properties properties(tovan_test::Widen(folder) + L"\\bundle", arguments);
    Host host;
    host.bundle = tovan_test::Widen(folder) + L"\\bundle";
    host.engine = FlutterDesktopEngineCreate(properties.get());
    host.controller = FlutterDesktopViewControllerCreate(100, 100, host.engine);
    ASSERT_NE(host.controller, nullptr);
    host.messenger = FlutterDesktopEngineGetMessenger(host.engine);
    host.registrar = FlutterDesktopEngineGetPluginRegistrar(host.engine, "Contract");
    FlutterDesktopMessengerSetCallback(host.messenger, kChannel, &KeepResponse, &host);
    c.act(host);
    if (host.controller != nullptr) host.DestroyController();
    return;
  }
  FAIL() << "no case " << name;
}

// Runs the caller for `case_name` and answers its exit code; `errors`
// receives what it wrote (standard output and error together).
DWORD RunCaller(const TempFolder& folder, const std::string& case_name, std::string* errors) {
  const std::wstring output_path = folder.File(L"output.txt");
  const DWORD exit_code = RunChildTest(L"ContractChild.DISABLED_Run",
                                       {{L"DEVKIT_CHILD_FOLDER", folder.path()},
                                        {L"DEVKIT_CONTRACT_CASE", tovan_test::Widen(case_name)}},
                                       output_path);
  *errors = tovan_test::ReadWholeFile(output_path);
  return exit_code;
}

TEST(ContractTest, EachViolationEndsTheCallerNamingTheFunctionAndAKeptContractEndsNormally) {
  for (const ContractCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    devkit_test::MakeBundle(folder.File(L"bundle"));
    std::string output;
    const DWORD exit_code = RunCaller(folder, c.name, &output);
    const std::vector<std::string> trace = ReadLines(folder.File(L"trace.txt"));
    ASSERT_FALSE(trace.empty());
    if (c.function[0] == '\0') {
      EXPECT_EQ(exit_code, 0u) << output;
      EXPECT_EQ(output.find("flutter_windows: "), std::string::npos) << output;
      EXPECT_EQ(devkit_test::LinesWith(trace, "violation ").size(), 0u);
      continue;
    }
    EXPECT_EQ(exit_code, c.lenient ? 0u : kViolationExitCode) << output;
    const std::string reported = std::string("flutter_windows: ") + c.function + ": ";
    const size_t at = output.find(reported);
    ASSERT_NE(at, std::string::npos) << output;
    EXPECT_NE(output.substr(at, output.find('\n', at) - at).find(c.violation), std::string::npos)
        << output;
    const std::vector<std::string> violations =
        devkit_test::LinesWith(trace, std::string("violation ") + c.function + " ");
    ASSERT_EQ(violations.size(), 1u);
    EXPECT_NE(violations[0].find(c.violation), std::string::npos) << violations[0];
    if (!c.lenient) {
      EXPECT_EQ(trace.back(), violations[0]) << "nothing runs after the violation";
    }
  }
}

}  // namespace
