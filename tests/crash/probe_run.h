#pragma once

#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

// One run of the fault probe in a folder of its own: <cases>\<name>\profile holds its profile
// folders and <cases>\<name>\tmp its temporary directory. Start() launches it; Finish() waits for
// it to end. Runs are independent, so several may be started before any is finished.
class ProbeRun {
 public:
  ProbeRun(const std::wstring& name, std::vector<std::wstring> actions);
  ~ProbeRun();
  ProbeRun(const ProbeRun&) = delete;
  ProbeRun& operator=(const ProbeRun&) = delete;

  // Creates the case folders (files already there stay) and starts the probe. False when the
  // process cannot be started.
  bool Start();
  // Waits up to `timeoutMs`; a probe still running then is ended and reported as hung.
  bool Finish(DWORD timeoutMs);
  // The running probe's process, signalled at its end; null before Start() and after Finish().
  HANDLE process() const { return child_ ? child_->process_handle() : nullptr; }
  // When Start() launched the probe.
  ULONGLONG startedMs() const { return startedMs_; }

  bool hung() const { return hung_; }
  DWORD exitCode() const { return exitCode_; }
  DWORD processId() const { return processId_; }
  DWORD mainThreadId() const { return mainThreadId_; }
  ULONGLONG elapsedMs() const { return elapsedMs_; }

  std::filesystem::path caseDir() const;
  std::filesystem::path profileDir() const { return caseDir() / L"profile"; }
  std::filesystem::path crashDir() const {
    return profileDir() / L"AppData\\Roaming\\com.brenmoworks\\tovan\\BrenmoTovan\\crashes";
  }
  // Where the crash directory falls back to when the roaming one does not fit.
  std::filesystem::path localCrashDir() const {
    return profileDir() / L"AppData\\Local\\BrenmoTovan\\crashes";
  }
  std::filesystem::path tempCopyDir() const { return caseDir() / L"tmp\\tovan_crashes"; }
  const std::wstring& name() const { return name_; }

 private:
  std::wstring name_;
  std::vector<std::wstring> actions_;
  std::unique_ptr<tovan_test::ChildProcess> child_;
  bool hung_ = false;
  DWORD exitCode_ = 0;
  DWORD processId_ = 0;
  DWORD mainThreadId_ = 0;
  ULONGLONG startedMs_ = 0;
  ULONGLONG elapsedMs_ = 0;
};

// Runs every probe in `runs`, `atOnce` at a time: the next starts as soon as one has ended.
// Each probe is given `timeoutMs` from its own start.
void RunProbes(const std::vector<ProbeRun*>& runs, std::size_t atOnce, DWORD timeoutMs);

// Where every case folder lives: "crash_cases" under the test's working directory.
std::filesystem::path CasesRoot();
// The probe program, beside the running test program.
std::filesystem::path ProbePath();
