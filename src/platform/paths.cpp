#include "platform/paths.h"

namespace tarnwick::platform {

std::string FolderPart(const std::string& path, const char* separators) {
    const size_t sep = path.find_last_of(separators);
    return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
}

std::string FileNamePart(const std::string& path, const char* separators) {
    const size_t sep = path.find_last_of(separators);
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string ExtensionPart(const std::string& path, const char* separators) {
    const std::string name = FileNamePart(path, separators);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string BaseNamePart(const std::string& path) {
    std::string name = FileNamePart(path, "/");
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

}  // namespace tarnwick::platform
