// What the running process holds, as script mode's "@memory" line reports
// it: the private bytes the system charges to it and the number of kernel
// handles it has open. Any thread may ask.
#ifndef DEVKIT_EMBEDDING_PROCESS_RESOURCES_H_
#define DEVKIT_EMBEDDING_PROCESS_RESOURCES_H_

#include <cstdint>
#include <string>

namespace devkit {

// The transcript line "= memory private=<bytes> handles=<count>"; a figure
// the system cannot give is written as "?".
std::string ProcessResourcesLine();

}  // namespace devkit

#endif  // DEVKIT_EMBEDDING_PROCESS_RESOURCES_H_
