// How much memory the program may still take.
#pragma once

#include <cstdint>
#include <optional>

namespace tarnwick::platform {

// Bytes the system can still give this process without swapping: MemAvailable
// of /proc/meminfo, lowered to what is left under the process's control-group
// memory limit when one is set. Empty when neither can be read.
std::optional<uint64_t> AvailableMemoryBytes();

}  // namespace tarnwick::platform
