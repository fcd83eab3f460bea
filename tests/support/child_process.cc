#include "tests/support/child_process.h"

#ifdef _WIN32
#include <cwctype>

#include "tests/support/text_files.h"
#else
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;
#endif

namespace tovan_test {

namespace {

std::string WithoutCarriageReturns(const std::string& text) {
  std::string lines;
  lines.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    lines += text[i];
  }
  return lines;
}

}  // namespace

#ifdef _WIN32

namespace {

bool SameName(const std::wstring& entry, const std::wstring& name) {
  if (entry.size() <= name.size() || entry[name.size()] != L'=') return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (std::towupper(entry[i]) != std::towupper(name[i])) return false;
  }
  return true;
}

// The test's environment with `changes` applied, as a block for CreateProcessW.
std::wstring EnvironmentBlock(const std::vector<std::wstring>& changes) {
  std::vector<std::wstring> entries;
  wchar_t* strings = GetEnvironmentStringsW();
  for (const wchar_t* entry = strings; *entry != 0; entry += wcslen(entry) + 1) {
    entries.emplace_back(entry);
  }
  FreeEnvironmentStringsW(strings);
  for (const std::wstring& change : changes) {
    const std::wstring name = change.substr(0, change.find(L'='));
    std::vector<std::wstring> kept;
    for (std::wstring& entry : entries) {
      if (!SameName(entry, name)) kept.push_back(std::move(entry));
    }
    entries = std::move(kept);
    if (change.find(L'=') != std::wstring::npos) entries.push_back(change);
  }
  std::wstring block;
  for (const std::wstring& entry : entries) block.append(entry).push_back(L'\0');
  block.push_back(L'\0');
  return block;
}

// Closes what it holds when it goes.
struct OwnedHandle {
  HANDLE handle = nullptr;
  ~OwnedHandle() {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

}  // namespace

std::string SystemMessage(DWORD error) {
  wchar_t* text = nullptr;
  FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = text != nullptr ? Narrow(text) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  return (message.empty() ? "unknown error" : message) + " (error " + std::to_string(error) + ")";
}

std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote escaped.
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');  // before the closing quote
  return quoted + L"\"";
}

ChildProcess::ChildProcess(const ChildOptions& options) {
  const bool redirected =
      options.out != ChildStream::kInherit || options.err != ChildStream::kInherit;
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  OwnedHandle out_write, err_write, file, discard;
  auto child_end = [&](ChildStream stream, HANDLE* read_end, OwnedHandle* write_end,
                       DWORD standard) -> HANDLE {
    switch (stream) {
      case ChildStream::kCapture:
        if (!CreatePipe(read_end, &write_end->handle, &inheritable, 0)) return nullptr;
        SetHandleInformation(*read_end, HANDLE_FLAG_INHERIT, 0);
        return write_end->handle;
      case ChildStream::kInherit:
        return GetStdHandle(standard);
      case ChildStream::kDiscard:
        if (discard.handle == nullptr) {
          discard.handle = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       &inheritable, OPEN_EXISTING, 0, nullptr);
        }
        return discard.handle;
      case ChildStream::kOutput:
        return nullptr;  // only valid for standard error, handled below
      case ChildStream::kFile:
        if (file.handle == nullptr) {
          file.handle = CreateFileW(options.output_file.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                    &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        }
        return file.handle;
    }
    return nullptr;
  };

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (redirected) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = child_end(options.out, &out_read_, &out_write, STD_OUTPUT_HANDLE);
    startup.hStdError = options.err == ChildStream::kOutput
                            ? startup.hStdOutput
                            : child_end(options.err, &err_read_, &err_write, STD_ERROR_HANDLE);
    if (startup.hStdOutput == nullptr || startup.hStdOutput == INVALID_HANDLE_VALUE ||
        startup.hStdError == nullptr || startup.hStdError == INVALID_HANDLE_VALUE) {
      start_error_ = "could not make the output handles for " + Narrow(options.command_line) +
                     ": " + SystemMessage(GetLastError());
      return;
    }
  }
  std::wstring environment = EnvironmentBlock(options.environment);
  std::wstring command = options.command_line;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(options.application.empty() ? nullptr : options.application.c_str(),
                      command.data(), nullptr, nullptr, redirected,
                      options.creation_flags | CREATE_UNICODE_ENVIRONMENT, environment.data(),
                      options.working_folder.empty() ? nullptr : options.working_folder.c_str(),
                      &startup, &info)) {
    start_error_ = "CreateProcessW could not start " + Narrow(options.command_line) + ": " +
                   SystemMessage(GetLastError());
    return;
  }
  started_ = true;
  if (info.hThread != nullptr) CloseHandle(info.hThread);
  process_ = info.hProcess;
  process_id_ = info.dwProcessId;
  thread_id_ = info.dwThreadId;
  if (out_read_ != nullptr || err_read_ != nullptr)
    reader_ = std::thread([this] { ReadUntilEnd(); });
}

void ChildProcess::ReadUntilEnd() {
  struct Source {
    HANDLE pipe;
    std::string* text;
  } sources[] = {{out_read_, &out_}, {err_read_, &err_}};
  char buffer[4096];
  // Reads what is there without blocking; false once no pipe has a writer left.
  auto drain = [&]() {
    bool open = false;
    for (Source& source : sources) {
      DWORD available = 0;
      while (source.pipe != nullptr &&
             PeekNamedPipe(source.pipe, nullptr, 0, nullptr, &available, nullptr)) {
        open = true;
        if (available == 0) break;
        DWORD got = 0;
        if (!ReadFile(source.pipe, buffer, sizeof(buffer), &got, nullptr)) break;
        source.text->append(buffer, got);
      }
    }
    return open;
  };
  // Peeks rather than blocks in ReadFile: a program the child starts may
  // inherit the pipe and hold it open after the child has ended.
  while (drain()) {
    if (WaitForSingleObject(process_, 20) == WAIT_OBJECT_0) {
      drain();  // what was written just before the end
      break;
    }
  }
}

ChildProcess::~ChildProcess() {
  if (process_ != nullptr && WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) Terminate(1);
  if (reader_.joinable()) reader_.join();
  if (out_read_ != nullptr) CloseHandle(out_read_);
  if (err_read_ != nullptr) CloseHandle(err_read_);
  if (process_ != nullptr) CloseHandle(process_);
}

bool ChildProcess::WaitForExit(DWORD timeout_ms) {
  if (process_ == nullptr || WaitForSingleObject(process_, timeout_ms) != WAIT_OBJECT_0) {
    return false;
  }
  if (reader_.joinable()) reader_.join();
  return true;
}

void ChildProcess::Terminate(DWORD exit_code) {
  if (process_ == nullptr) return;
  TerminateProcess(process_, exit_code);
  WaitForExit(10000);
}

DWORD ChildProcess::exit_code() const {
  DWORD code = STILL_ACTIVE;
  if (process_ != nullptr) GetExitCodeProcess(process_, &code);
  return code;
}

ProgramOutcome RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                          unsigned long timeout_ms) {
  ChildOptions options;
  options.command_line = QuoteArgument(Widen(program));
  for (const std::string& argument : arguments) {
    options.command_line += L" " + QuoteArgument(Widen(argument));
  }
  ChildProcess child(options);
  ProgramOutcome outcome;
  outcome.started = child.started();
  outcome.start_error = child.start_error();
  if (!child.started()) return outcome;
  if (!child.WaitForExit(timeout_ms)) {
    outcome.timed_out = true;
    child.Terminate(1);
  }
  outcome.exit_code = child.exit_code();
  outcome.out = WithoutCarriageReturns(child.out());
  outcome.err = WithoutCarriageReturns(child.err());
  return outcome;
}

#else  // POSIX

ProgramOutcome RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                          unsigned long timeout_ms) {
  ProgramOutcome outcome;
  int out_pipe[2], err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) {
    outcome.start_error = std::string("pipe: ") + std::strerror(errno);
    return outcome;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  for (int fd : {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) {
    posix_spawn_file_actions_addclose(&actions, fd);
  }
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (spawned != 0) {
    outcome.start_error = "posix_spawn could not start " + program + ": " + std::strerror(spawned);
    close(out_pipe[0]);
    close(err_pipe[0]);
    return outcome;
  }
  outcome.started = true;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const long long deadline = now.tv_sec * 1000LL + now.tv_nsec / 1000000 + timeout_ms;
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  std::string* texts[2] = {&outcome.out, &outcome.err};
  int open = 2;
  while (open > 0) {
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long long left = deadline - (now.tv_sec * 1000LL + now.tv_nsec / 1000000);
    if (left <= 0) {
      outcome.timed_out = true;
      kill(pid, SIGKILL);
      break;
    }
    if (poll(fds, 2, static_cast<int>(left)) < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t got = read(fds[i].fd, buffer, sizeof(buffer));
      if (got > 0) {
        texts[i]->append(buffer, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (pollfd& fd : fds) {
    if (fd.fd >= 0) close(fd.fd);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  outcome.exit_code = WIFEXITED(status) ? static_cast<unsigned long>(WEXITSTATUS(status)) : 255UL;
  outcome.out = WithoutCarriageReturns(outcome.out);
  return outcome;
}

#endif

}  // namespace tovan_test
