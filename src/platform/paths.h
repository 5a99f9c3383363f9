// Splitting and joining paths. Folders are separated by '/'; functions that
// read paths typed by the user also accept '\'.
#pragma once

#include <string>

namespace tarnwick::platform {

// The text up to and including the last separator; empty when there is none.
std::string FolderPart(const std::string& path, const char* separators = "/\\");
// The text after the last separator.
std::string FileNamePart(const std::string& path, const char* separators = "/\\");
// The text after the last '.' that follows the last separator; empty when the
// name has no '.'. The command line also counts a blank as a separator.
std::string ExtensionPart(const std::string& path, const char* separators = "/\\");
// The file name (after the last '/') without its last extension.
std::string BaseNamePart(const std::string& path);
// `folder` and `name` with exactly one '/' between them (folder may be empty).
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace tarnwick::platform
