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

// 1 when the file was taken, 0 when refused (empty file or extension not accepted).
int AddInputFile(const std::string& path);

}  // namespace tarnwick
