// Script mode: after the view's first frame, sends each message of the
// script (script.h) on its channel as the UI would, one at a time, waits for
// its reply (at most the timeout), and writes both to the transcript. The
// next message goes out as soon as the reply is in, so a long session runs
// at the host's own speed. When the script has ended it closes the host's
// top-level window, so the host shuts down the way it does when a person
// closes it, or, when asked, faults on the UI thread so that the host's crash
// capture can be observed.
//
// Transcript lines (UTF-8, flushed one by one):
//   ! line <n>: <problem>          a script line that could not be read
//   > <channel> <message>          a message sent (call in the typed notation,
//                                  or "hex" and its bytes)
//   < <reply>                      its reply: success(...), error(...),
//                                  notImplemented (an empty reply)
//   < no handler                   no callback was registered on the channel
//   < no reply                     no reply within the timeout
//   = memory private=<bytes> handles=<count>
//                                  an @memory line: the process's private
//                                  bytes and open handles at that point
//   end                            the script is over
// Each line also goes to the console's log pane.
//
// Owned by the view; runs on the UI thread.
#ifndef DEVKIT_EMBEDDING_SCRIPT_RUNNER_H_
#define DEVKIT_EMBEDDING_SCRIPT_RUNNER_H_

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "devkit/embedding/devkit_options.h"
#include "devkit/embedding/owned_handles.h"
#include "devkit/embedding/script.h"

namespace devkit {

class Messenger;
class View;

class ScriptRunner {
 public:
  ScriptRunner(View* view, Messenger* messenger, const DevkitOptions& options);
  ~ScriptRunner();
  ScriptRunner(const ScriptRunner&) = delete;
  ScriptRunner& operator=(const ScriptRunner&) = delete;

  void Start();
  // Stops for good: no further message, no timer, transcript closed.
  void Stop();
  // True when the timer was the runner's.
  bool HandleTimer(WPARAM timer_id);

 private:
  void SendNext();
  void OnReply(uint64_t step_number, const std::vector<uint8_t>& reply);
  void Finish();
  void Write(const std::string& line);

  View* view_;
  Messenger* messenger_;
  DevkitOptions options_;
  OwnedFile transcript_;
  // The script's text, and where sending has got to in it.
  std::string script_text_;
  ScriptReader reader_{std::string_view()};
  uint64_t sent_ = 0;
  // The step whose reply is awaited (its index plus one), 0 when none; a
  // reply for any other step (one that came after its timeout) is ignored.
  uint64_t awaited_ = 0;
  // The reply timer runs only for a reply that did not come during delivery.
  bool timer_set_ = false;
  bool stopped_ = false;
};

}  // namespace devkit

#endif  // DEVKIT_EMBEDDING_SCRIPT_RUNNER_H_
