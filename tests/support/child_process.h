// Test support: the one way the tests start another program. Under Windows a
// child is started with CreateProcessW (never through cmd.exe), its output
// read through pipes, its environment given as a block of its own (the
// test's own environment is never changed), and a start that fails says why.
// RunProgram, the synchronous form, also exists for the native build.
#ifndef TESTS_SUPPORT_CHILD_PROCESS_H_
#define TESTS_SUPPORT_CHILD_PROCESS_H_

#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include <thread>
#endif

namespace tovan_test {

// What a program run to its end left: whether it started (and why not), its
// exit code, and what it wrote to standard output and to standard error.
struct ProgramOutcome {
  bool started = false;
  std::string start_error;  // empty when started
  bool timed_out = false;   // ended by force after the time allowed
  unsigned long exit_code = 0;
  std::string out;  // CR LF line ends turned into LF
  std::string err;
};

// Runs `program` with `arguments` (each passed as one argument, quoted as
// needed) and waits up to `timeout_ms` for its end; a program still running
// then is ended.
ProgramOutcome RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                          unsigned long timeout_ms = 60000);

#ifdef _WIN32

// Where a child's standard output or error goes.
enum class ChildStream {
  kCapture,  // a pipe read into ChildProcess::out() / err()
  kInherit,  // the test's own
  kDiscard,  // NUL
  kFile,     // ChildOptions::output_file (created anew; output and error may share it)
  kOutput,   // standard error only: wherever standard output goes, interleaved
};

struct ChildOptions {
  std::wstring application;     // optional: CreateProcessW's application name
  std::wstring command_line;    // the whole command line, program included
  std::wstring working_folder;  // empty: the test's own
  // "NAME=value" sets a variable for the child, "NAME" removes it; the rest
  // of the test's environment is passed on.
  std::vector<std::wstring> environment;
  ChildStream out = ChildStream::kCapture;
  ChildStream err = ChildStream::kCapture;
  std::wstring output_file;
  DWORD creation_flags = 0;  // DETACHED_PROCESS, DEBUG_ONLY_THIS_PROCESS, ...
};

// One started child. Captured output is read on a helper thread until the
// child has ended. A child still running when the object goes is ended.
class ChildProcess {
 public:
  explicit ChildProcess(const ChildOptions& options);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Under Wine a Unix program (an ELF file) starts without a process handle:
  // started() is true and process_handle() null, and its end cannot be waited for.
  bool started() const { return started_; }
  // Why the start failed: the call, the command line and the system's message.
  const std::string& start_error() const { return start_error_; }
  HANDLE process_handle() const { return process_; }
  DWORD process_id() const { return process_id_; }
  DWORD thread_id() const { return thread_id_; }

  // Waits up to `timeout_ms` for the end; true when it has ended.
  bool WaitForExit(DWORD timeout_ms);
  // Ends the child with `exit_code` and waits for its end.
  void Terminate(DWORD exit_code);
  // The exit code once ended, STILL_ACTIVE before.
  DWORD exit_code() const;

  // Complete once WaitForExit has answered true.
  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }

 private:
  void ReadUntilEnd();

  bool started_ = false;
  HANDLE process_ = nullptr;
  DWORD process_id_ = 0;
  DWORD thread_id_ = 0;
  std::string start_error_;
  HANDLE out_read_ = nullptr;
  HANDLE err_read_ = nullptr;
  std::thread reader_;
  std::string out_;
  std::string err_;
};

// `argument` quoted for a command line the way the C runtime splits it.
std::wstring QuoteArgument(const std::wstring& argument);
// The system's text for an error code, with the code.
std::string SystemMessage(DWORD error);

#endif  // _WIN32

}  // namespace tovan_test

#endif  // TESTS_SUPPORT_CHILD_PROCESS_H_
