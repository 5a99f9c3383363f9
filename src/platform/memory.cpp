// Linux: available memory from /proc/meminfo and the memory files of the
// process's control groups (v2 and v1).
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

// What is left under a limit, given the limit and the use read from `folder`.
std::optional<uint64_t> LeftUnder(const std::string& folder, const char* limitFile,
                                  const char* usageFile) {
    const auto limit = ReadNumber(folder + "/" + limitFile);
    // cgroup v1 writes "no limit" as a number near 2^63.
    if (!limit || *limit >= (uint64_t{1} << 62)) return std::nullopt;
    const uint64_t used = ReadNumber(folder + "/" + usageFile).value_or(0);
    return used >= *limit ? 0 : *limit - used;
}

// The least left under the limits of a cgroup and of every group above it
// (a limit set on a parent binds its children too).
std::optional<uint64_t> LeftInHierarchy(const std::string& mount, std::string group,
                                        const char* limitFile, const char* usageFile) {
    std::optional<uint64_t> least;
    for (;;) {
        if (const auto left = LeftUnder(mount + group, limitFile, usageFile))
            if (!least || *left < *least) least = left;
        if (group.empty() || group == "/") break;
        const size_t slash = group.find_last_of('/');
        group = slash == std::string::npos ? std::string() : group.substr(0, slash);
    }
    return least;
}

}  // namespace

std::optional<uint64_t> CgroupAvailableBytes(const std::string& procCgroup,
                                             const std::string& cgroupRoot) {
    std::ifstream in(procCgroup);
    std::string line;
    std::optional<uint64_t> least;
    auto take = [&](std::optional<uint64_t> left) {
        if (left && (!least || *left < *least)) least = left;
    };
    while (std::getline(in, line)) {
        // "0::/user.slice/..." (v2) or "4:memory:/user.slice" (v1, the
        // memory controller possibly shared with others: "5:cpu,memory:/x").
        const size_t first = line.find(':');
        const size_t second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second == std::string::npos) continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        const std::string group = line.substr(second + 1);
        if (line.compare(0, first, "0") == 0 && controllers.empty()) {
            take(LeftInHierarchy(cgroupRoot, group, "memory.max", "memory.current"));
            continue;
        }
        std::istringstream names(controllers);
        std::string name;
        while (std::getline(names, name, ','))
            if (name == "memory")
                take(LeftInHierarchy(cgroupRoot + "/memory", group, "memory.limit_in_bytes",
                                     "memory.usage_in_bytes"));
    }
    return least;
}

std::optional<uint64_t> AvailableMemoryBytes() {
    const auto system = MeminfoAvailable();
    const auto group = CgroupAvailableBytes("/proc/self/cgroup", "/sys/fs/cgroup");
    if (system && group) return *system < *group ? *system : *group;
    return system ? system : group;
}

}  // namespace tarnwick::platform
