// The thin platform layer: everything the program asks of the operating system.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tarnwick::platform {

// Folder of the real executable, with trailing '/'.
std::string ProgramFolder();
// File name of the executable without folder and extension.
std::string ProgramName();

// Size in bytes of a regular file; -1 when missing or not a regular file.
long long FileSize(const std::string& path);
bool FolderExists(const std::string& path);
bool CreateFolder(const std::string& path);
std::string CurrentFolder();  // with trailing '/'
// Modification time as a local date value (local wall clock read as UTC).
std::optional<int64_t> FileModifiedLocal(const std::string& path);
bool SetFileModifiedLocal(const std::string& path, int64_t localDateValue);
// Writes bytes to a temporary file in the target's folder and renames it over
// the target; the target is never left half-written.
bool WriteFileAtomic(const std::string& path, const std::string& bytes);
// A unique temporary path in the same folder as `path` (for atomic saves).
std::string TempPathBeside(const std::string& path);

// Gives `to` the modification time of `from` (whole seconds); access time
// stays. False when either file cannot be reached.
bool CopyModificationTime(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& path);
bool RenameFile(const std::string& from, const std::string& to);

// The per-user configuration folder with a trailing '/': $XDG_CONFIG_HOME
// when it is absolute, else ~/.config/ (home from $HOME or the password
// database); empty when no home is known.
std::string UserConfigFolder();
// Creates a folder and any missing folders above it.
void CreateFolders(const std::string& folder);

// Current local date value: seconds from 1970 on the local wall clock.
int64_t NowLocalDateValue();

// Console.
void WriteLine(const std::string& text);
void SetConsoleTitle(const std::string& title);  // only when stdout is a terminal
// Reads one key from a terminal; returns at once when stdin is not a terminal.
void WaitForKey();

// One line on standard error (reasons of failures).
void WriteErrorLine(const std::string& text);
// Single instance: exclusive flock on a lock file named after `name`.
// False when another process holds it.
bool AcquireSingleInstance(const std::string& name);

// Opens a document, web address or mailto: link with the desktop's program.
bool OpenWithDesktop(const std::string& target);

// Loads a shared module from the program folder (or the build's library
// folder); nullptr with `error` filled on failure.
void* LoadModule(const std::string& fileName, std::string* error = nullptr);
void* ModuleSymbol(void* module, const char* name);

}  // namespace tarnwick::platform
