// What the running process holds, as script mode's "@memory" line reports
// it: the private bytes the system charges to it and the number of kernel
// handles it has open. Any thread may ask. A small library of its own, which
// the platform growth tool (bench/windows/) links to report the same figures.
#ifndef DEVKIT_EMBEDDING_PROCESS_RESOURCES_H_
#define DEVKIT_EMBEDDING_PROCESS_RESOURCES_H_

#include <cstdint>
#include <optional>
#include <string>

namespace devkit {

struct ProcessResources {
  std::optional<uint64_t> private_bytes;  // absent when the system cannot tell
  std::optional<uint64_t> handles;
};

ProcessResources SampleProcessResources();

// The transcript line "= memory private=<bytes> handles=<count>"; a figure
// the system cannot give is written as "?".
std::string ProcessResourcesLine();

}  // namespace devkit

#endif  // DEVKIT_EMBEDDING_PROCESS_RESOURCES_H_
