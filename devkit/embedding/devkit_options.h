// The entry-point arguments the development embedding itself reads; every
// other argument is left to the UI. Parsed once when an engine is created.
//
//   --devkit-trace=FILE      write the trace (trace_writer.h) to FILE
//   --script=FILE            run the script in FILE after the first frame
//                            (script.h describes the format)
//   --transcript=FILE        write each scripted call and its reply to FILE
//   --script-timeout-ms=N    wait at most N ms for each reply (default 5000)
//   --crash-after-script[=KIND]  fault after the script instead of closing the
//                            window; KIND as in fault_on_purpose.h, by default
//                            access-violation
//   --devkit-lenient         report contract violations without ending the
//                            process (contract.h)
#ifndef DEVKIT_EMBEDDING_DEVKIT_OPTIONS_H_
#define DEVKIT_EMBEDDING_DEVKIT_OPTIONS_H_

#include <string>
#include <vector>

#include "devkit/embedding/fault_on_purpose.h"

namespace devkit {

struct DevkitOptions {
  std::string trace_path;
  std::string script_path;
  std::string transcript_path;
  int script_timeout_ms = 5000;
  FaultKind crash_after_script = FaultKind::kNone;
  bool lenient = false;  // --devkit-lenient: contract violations are not fatal (contract.h)
};

DevkitOptions ParseDevkitOptions(const std::vector<std::string>& arguments);

}  // namespace devkit

#endif  // DEVKIT_EMBEDDING_DEVKIT_OPTIONS_H_
