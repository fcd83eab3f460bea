// The timers that the development embedding sets on a view's window, in one
// place so that their ids stay distinct. The view hands each WM_TIMER to the
// script runner and the channel console, and each takes only its own id.
#ifndef DEVKIT_EMBEDDING_VIEW_TIMERS_H_
#define DEVKIT_EMBEDDING_VIEW_TIMERS_H_

#include <windows.h>

namespace devkit {

// Script mode: the bound on waiting for a step's reply.
constexpr UINT_PTR kScriptReplyTimer = 0x7D01;
// Channel console: lines for the log pane are written in batches.
constexpr UINT_PTR kConsoleLogFlushTimer = 0x7D02;

}  // namespace devkit

#endif  // DEVKIT_EMBEDDING_VIEW_TIMERS_H_
