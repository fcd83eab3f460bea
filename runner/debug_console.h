#pragma once

// Gives the process a new console and points the standard output and error
// streams, the C++ streams and the embedding's output at it. Used at start-up
// on the main thread when the process runs under a debugger without a parent
// console.
void OpenDebugConsole();
