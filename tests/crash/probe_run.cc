#include "tests/crash/probe_run.h"

#include <cstdio>

namespace fs = std::filesystem;

fs::path CasesRoot() { return fs::current_path() / L"crash_cases"; }

fs::path ProbePath() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return fs::path(self).parent_path() / L"crash_probe.exe";
}

ProbeRun::ProbeRun(const std::wstring& name, std::vector<std::wstring> actions)
    : name_(name), actions_(std::move(actions)) {}

ProbeRun::~ProbeRun() = default;  // a probe still running is ended with its ChildProcess

fs::path ProbeRun::caseDir() const { return CasesRoot() / name_; }

bool ProbeRun::Start() {
  std::error_code ignored;
  fs::create_directories(profileDir(), ignored);
  fs::create_directories(caseDir() / L"tmp", ignored);
  std::wstring command =
      L"\"" + ProbePath().wstring() + L"\" \"profile=" + profileDir().wstring() + L"\"";
  for (const std::wstring& action : actions_) command += L" " + action;
  tovan_test::ChildOptions options;
  options.command_line = command;
  const std::wstring temp = (caseDir() / L"tmp").wstring();
  options.environment = {L"TMP=" + temp, L"TEMP=" + temp};
  options.out = options.err = tovan_test::ChildStream::kInherit;
  startedMs_ = GetTickCount64();
  child_ = std::make_unique<tovan_test::ChildProcess>(options);
  if (!child_->started()) {
    std::fprintf(stderr, "%s\n", child_->start_error().c_str());
    child_.reset();
    return false;
  }
  processId_ = child_->process_id();
  mainThreadId_ = child_->thread_id();
  return true;
}

bool ProbeRun::Finish(DWORD timeoutMs) {
  if (child_ == nullptr) return false;
  if (!child_->WaitForExit(timeoutMs)) {
    hung_ = true;
    child_->Terminate(1);
  }
  elapsedMs_ = GetTickCount64() - startedMs_;
  exitCode_ = child_->exit_code();
  child_.reset();
  return !hung_;
}
