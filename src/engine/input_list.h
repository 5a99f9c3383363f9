// The list of files a run works through. In this product it holds at most one file.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace tarnwick {

struct InputEntry {
    int32_t inUse = 1;
    std::string relativeSubfolder;
};

using InputFileList = std::map<std::string, InputEntry>;

InputFileList& GlobalInputList();
void ClearInputFileList();

// Called after a file was taken in window mode (shows it in the main window).
void SetShowAddedInputFileHook(std::function<void(const std::string&)> hook);

// The text after the last point of the file name, lower-cased; empty when the
// name has no point.
std::string LowerExtension(const std::string& path);

// True when a file may enter the list: it is not an empty file and its
// extension is an accepted input extension. A missing file passes.
bool IsAcceptedInputFile(const std::string& path);

// 1 when the file was taken, 0 when refused (empty file or extension not accepted).
int AddInputFile(const std::string& path);

}  // namespace tarnwick
