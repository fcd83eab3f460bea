#pragma once

// Test tool: runs a shell command of the Linux host from a test running under Wine, which starts
// Unix executables given by their Z: path. Their standard output does not reach a Windows pipe,
// so the command's output goes through a file in /tmp, read back through the Z: drive.

#include <optional>
#include <string>

struct ShellOutcome {
  unsigned long exit_code;
  std::string output;  // standard output and error
};

// Runs `command` with /bin/sh -c; absent when the shell cannot be started (not under Wine).
std::optional<ShellOutcome> RunUnixShell(const std::string& command);

// True when running under Wine.
bool RunningUnderWine();
