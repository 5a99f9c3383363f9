// How much memory the program may still take.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tarnwick::platform {

// Bytes the system can still give this process without swapping: MemAvailable
// of /proc/meminfo, lowered to what is left under the process's control-group
// memory limit when one is set. Empty when neither can be read.
std::optional<uint64_t> AvailableMemoryBytes();

// What is left under the tightest memory limit of the control groups named in
// `procCgroup` (a /proc/<pid>/cgroup file) and the groups above them, with the
// groups mounted at `cgroupRoot`: v2's memory.max and memory.current, and v1's
// memory.limit_in_bytes and memory.usage_in_bytes under `cgroupRoot`/memory.
// Empty when no limit is set.
std::optional<uint64_t> CgroupAvailableBytes(const std::string& procCgroup,
                                             const std::string& cgroupRoot);

}  // namespace tarnwick::platform
