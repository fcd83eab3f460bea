#pragma once

// The command-line arguments the user interface receives as its entry-point
// arguments. Called once at start-up on the main thread.

#include <string>
#include <vector>

// The process command line split by the platform's rules, without the
// program path, each argument as UTF-8 in its order. An argument that is not
// valid UTF-16 keeps its place as an empty string; a command line that cannot
// be split gives no arguments.
std::vector<std::string> CollectEntryArguments();

// One NUL-terminated UTF-16 text as UTF-8. Never fails: a null text, an empty
// one or one that is not valid UTF-16 (an unpaired surrogate) answers "".
std::string ArgumentToUtf8(const wchar_t* text);
