// The program-wide list of files a run works through.
#include "engine/input_list.h"

#include <algorithm>
#include <utility>

#include "engine/format_registry.h"
#include "engine/run_state.h"
#include "platform/platform.h"

namespace tarnwick {

namespace {

std::function<void(const std::string&)>& ShowAddedInputFileHook() {
    static std::function<void(const std::string&)> hook;
    return hook;
}

}  // namespace

InputFileList& GlobalInputList() {
    static InputFileList list;
    return list;
}

void ClearInputFileList() { GlobalInputList().clear(); }

void SetShowAddedInputFileHook(std::function<void(const std::string&)> hook) {
    ShowAddedInputFileHook() = std::move(hook);
}

// The text after the last point of the file name, lower-cased; empty when the
// name has no point.
std::string LowerExtension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart) return std::string();
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return ext;
}

bool IsAcceptedInputFile(const std::string& path) {
    // Only an empty file is refused on its size: a missing path passes here and
    // fails later, when the run cannot decode it.
    if (platform::FileSize(path) == 0) return false;
    const std::string ext = LowerExtension(path);
    if (ext.empty()) return false;  // a name without extension is never an accepted type
    const std::vector<std::string>& accepted = GlobalRegistry().acceptedInputExtensions;
    return std::find(accepted.begin(), accepted.end(), ext) != accepted.end();
}

int AddInputFile(const std::string& path) {
    if (!IsAcceptedInputFile(path)) return 0;

    InputFileList& list = GlobalInputList();
    list.clear();
    list.emplace(path, InputEntry{1, std::string()});

    if (!GlobalRunState().inputGiven) {
        const auto& hook = ShowAddedInputFileHook();
        if (hook) hook(path);
    }
    return 1;
}

}  // namespace tarnwick
