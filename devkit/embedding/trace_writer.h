// The development embedding's trace: one line for every interface call the
// host makes and for every call the embedding makes back into the host, in
// the order they happen, so that contract tests can read what the host did.
//
// Where the lines go: the file named by the entry-point argument
// "--devkit-trace=FILE" of the latest engine created with one, otherwise the
// file named by the environment variable TOVAN_DEVKIT_TRACE. Lines written
// before the file is known (calls made before the first engine exists) are
// kept and written first once it is; when no engine names a file and the
// variable is unset, tracing is off. The file is truncated when it is opened
// and flushed after every line, so a process that crashes loses nothing.
//
// Line format, one record per line, fields separated by single blanks:
//
//   <FunctionName> <name>=<value> ... [-> <result>]   a call the host made,
//       e.g. FlutterDesktopEngineGetPluginRegistrar engine=engine#1
//            plugin="WindowsAudioPlugin" -> registrar#10
//       FlutterDesktopViewControllerCreate ends "-> null missing=<path>" when
//       the bundle lacks a part ("-> null window-failed" when the view's
//       window cannot be made); FlutterDesktopMessengerSendResponse ends
//       "-> sent", "-> refused" (answered before, or never given out) or
//       "-> dropped" (the engine has gone), the last two followed by a
//       violation line; FlutterDesktopViewControllerHandleTopLevelWindowProc
//       ends "-> false" or "-> true result=<n>".
//   event <what> <name>=<value> ...   the embedding calling into the host,
//                                     or an engine milestone:
//       event frame view=<view> number=<n>          a frame was presented
//       event next-frame engine=<engine>            the callback runs
//       event message channel=<text> size=<n> response=<response>
//                                                   a message is delivered
//       event no-handler channel=<text> size=<n>    nobody listens there
//       event reply channel=<text> size=0           reply to SendWithReply
//       event engine-shutdown engine=<engine>
//       event registrar-destroyed registrar=<registrar> plugin=<text>
//             handler=set|null                      before its handler runs
//   plugin <library> <function> registrar=<registrar>
//                                     a stand-in plugin library registered
//   note <text>                       a test's own marker (FlutterDevkitTrace)
//   violation <FunctionName> <text>   the host broke the contract (contract.h);
//                                     in strict mode the last line
//
// Values:
//   handles     <kind>#<n>, numbered per kind from 1 in order of creation in
//               the process: engine#1, controller#1, view#1, messenger#1,
//               registrar#1, textures#1, response#1; "null" for a null
//               handle and "invalid" for one the library does not know (never
//               created or already ended)
//   texts       in double quotes, bytes as given (UTF-8; paths converted from
//               UTF-16); backslash, double quote and every byte outside
//               0x20..0x7E written as \\, \" and \xNN
//   lists       [a,b,c] without blanks
//   callbacks   "set" or "null" (function pointers are never printed)
//   numbers     decimal; window message numbers as 0xNNNN; reference counts
//               after the change as refs=<n>
//
// A line made on a thread other than the UI thread (the thread that created
// the view controller; see ui_thread.h) ends with " thread=other".
#ifndef DEVKIT_EMBEDDING_TRACE_WRITER_H_
#define DEVKIT_EMBEDDING_TRACE_WRITER_H_

#include <deque>
#include <mutex>
#include <string>
#include <string_view>

#include "devkit/embedding/owned_handles.h"

namespace devkit {

// Owned by the process (one instance, see Trace()); any thread may write.
class TraceWriter {
 public:
  TraceWriter();
  ~TraceWriter();
  TraceWriter(const TraceWriter&) = delete;
  TraceWriter& operator=(const TraceWriter&) = delete;

  // Directs the trace to `path` (UTF-8), truncating the file; lines held
  // back so far are written first.
  void OpenFile(const std::string& path);

  // Closes the file; lines are dropped until OpenFile is called again.
  void Close();

  // Called when an engine has been created without a trace argument: the
  // environment variable decides, or tracing stays off and the held-back
  // lines are dropped.
  void SettleDestination();

  // Writes one line (without its end of line).
  void Line(const std::string& line);

 private:
  void OpenFromEnvironmentLocked();
  void WriteLocked(const std::string& line);

  std::mutex mutex_;
  OwnedFile file_;
  bool settled_ = false;  // a destination was decided (file or off)
  bool environment_checked_ = false;
  std::deque<std::string> held_back_;
};

TraceWriter& Trace();

// `text` in double quotes with the escapes described above.
std::string Quote(std::string_view text);
// A NUL-terminated text, or null.
std::string QuoteOrNull(const char* text);
// A NUL-terminated UTF-16 text converted to UTF-8 and quoted, or null.
std::string QuoteWide(const wchar_t* text);

}  // namespace devkit

#endif  // DEVKIT_EMBEDDING_TRACE_WRITER_H_
