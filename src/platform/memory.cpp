// Linux: available memory from /proc/meminfo and the cgroup v2 memory files.
#include "platform/memory.h"

#include <fstream>
#include <sstream>
#include <string>

namespace tarnwick::platform {

namespace {

// "MemAvailable:   24017192 kB" -> bytes.
std::optional<uint64_t> MeminfoAvailable() {
    std::ifstream in("/proc/meminfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("MemAvailable:", 0) != 0) continue;
        std::istringstream fields(line.substr(13));
        uint64_t kib = 0;
        if (!(fields >> kib)) return std::nullopt;
        return kib * 1024;
    }
    return std::nullopt;
}

std::optional<uint64_t> ReadNumber(const std::string& path) {
    std::ifstream in(path);
    std::string word;
    if (!(in >> word) || word == "max") return std::nullopt;
    try {
        size_t used = 0;
        const uint64_t v = std::stoull(word, &used);
        if (used != word.size()) return std::nullopt;
        return v;
    } catch (...) {
        return std::nullopt;
    }
}

// What is left under the memory limit of this process's cgroup (v2), if any.
std::optional<uint64_t> CgroupAvailable() {
    std::ifstream in("/proc/self/cgroup");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("0::", 0) != 0) continue;
        const std::string folder = "/sys/fs/cgroup" + line.substr(3);
        const auto limit = ReadNumber(folder + "/memory.max");
        if (!limit) return std::nullopt;
        const uint64_t used = ReadNumber(folder + "/memory.current").value_or(0);
        return used >= *limit ? 0 : *limit - used;
    }
    return std::nullopt;
}

}  // namespace

std::optional<uint64_t> AvailableMemoryBytes() {
    const auto system = MeminfoAvailable();
    const auto group = CgroupAvailable();
    if (system && group) return *system < *group ? *system : *group;
    return system ? system : group;
}

}  // namespace tarnwick::platform
