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

// Where the program's data file or folder `name` ("tarnwick.html", "gfx/")
// is for a program in `programFolder` (with trailing '/'): beside the program
// when it is there (the build folder), else in the installed data folder
// seen from the program folder, else in the data folder of the install prefix
// the program was built for. When it is nowhere, the place beside the program.
std::string DataPath(const std::string& programFolder, const std::string& name);

// Size in bytes of a regular file; -1 when missing or not a regular file.
long long FileSize(const std::string& path);
bool FolderExists(const std::string& path);
// Why `path` is not a regular file holding data, in the system's words where
// it has them ("No such file or directory", "Permission denied", "is a
// folder", "is empty"); empty when it is one and can be read.
std::string InputFileProblem(const std::string& path);
// Why `path` is not a folder ("No such file or directory", "Not a
// directory"); empty when it is one.
std::string FolderProblem(const std::string& path);
// Creates one folder with the given permission bits (less the umask); true
// when it exists afterwards.
bool CreateFolder(const std::string& path, unsigned mode = 0755);
std::string CurrentFolder();  // with trailing '/'
// Modification time as a local date value (local wall clock read as UTC).
std::optional<int64_t> FileModifiedLocal(const std::string& path);
bool SetFileModifiedLocal(const std::string& path, int64_t localDateValue);
// Reads a whole regular file of at most `maxBytes` bytes. Anything else (a
// missing file, a folder, a FIFO, a device, a larger file) gives nothing; a
// FIFO or device is never waited on.
std::optional<std::string> ReadRegularFile(const std::string& path, uint64_t maxBytes);

// Gives `to` the modification time of `from` (whole seconds); access time
// stays. False when either file cannot be reached.
bool CopyModificationTime(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& path);
bool RenameFile(const std::string& from, const std::string& to);

// The per-user configuration folder with a trailing '/': $XDG_CONFIG_HOME
// when it is absolute, else ~/.config/ (home from an absolute $HOME, else the
// password database); empty when no home is known.
std::string UserConfigFolder();
// Creates a folder and any missing folders above it, each with `mode`.
void CreateFolders(const std::string& folder, unsigned mode = 0755);

// The upper or lower case of a Unicode character by the C library's full
// case tables, whatever the process's locale; the character itself when
// there is none.
char32_t MapUnicodeCase(char32_t cp, bool upper);

// Current local date value: seconds from 1970 on the local wall clock.
int64_t NowLocalDateValue();

// Console.
void WriteLine(const std::string& text);
// One line on standard error (reasons of failures).
void WriteErrorLine(const std::string& text);
// Text on standard error as it is, without a line end (a line that rewrites
// itself on a terminal).
void WriteErrorText(const std::string& text);
// Whether standard error is a terminal, and how many columns it has (0 when
// it does not say).
bool StandardErrorIsTerminal();
int StandardErrorColumns();
void SetConsoleTitle(const std::string& title);  // only when stdout is a terminal
// Reads one key from a terminal, with every byte the key sent (an arrow key
// sends an escape sequence); returns at once when stdin is not a terminal.
void WaitForKey();

// Opens a document, web address or mailto: link with the desktop's program.
bool OpenWithDesktop(const std::string& target);

// Loads a shared module from the program folder (or the build's library
// folder); nullptr with `error` filled on failure.
void* LoadModule(const std::string& fileName, std::string* error = nullptr);
void* ModuleSymbol(void* module, const char* name);
// Loads a library of the system by its file name (its soname), from the
// places the dynamic linker searches; nullptr with `error` filled on failure.
void* LoadSystemLibrary(const std::string& fileName, std::string* error = nullptr);

}  // namespace tarnwick::platform
