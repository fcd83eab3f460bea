#include "tests/crash/probe_run.h"

#include <algorithm>
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

void RunProbes(const std::vector<ProbeRun*>& runs, std::size_t atOnce, DWORD timeoutMs) {
  std::vector<ProbeRun*> running;
  std::size_t next = 0;
  while (next < runs.size() || !running.empty()) {
    while (running.size() < atOnce && next < runs.size()) {
      ProbeRun* run = runs[next++];
      if (run->Start()) running.push_back(run);
    }
    if (running.empty()) continue;
    std::vector<HANDLE> handles;
    ULONGLONG soonestDeadline = ~0ULL;
    for (const ProbeRun* run : running) {
      handles.push_back(run->process());
      soonestDeadline = std::min(soonestDeadline, run->startedMs() + timeoutMs);
    }
    const ULONGLONG now = GetTickCount64();
    const DWORD wait = soonestDeadline > now ? static_cast<DWORD>(soonestDeadline - now) : 0;
    WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, wait);
    // Every probe that has ended, or is out of time, is finished (ended as hung if need be).
    for (auto it = running.begin(); it != running.end();) {
      ProbeRun* run = *it;
      const bool ended = WaitForSingleObject(run->process(), 0) == WAIT_OBJECT_0;
      if (ended || GetTickCount64() >= run->startedMs() + timeoutMs) {
        run->Finish(0);
        it = running.erase(it);
      } else {
        ++it;
      }
    }
  }
}
