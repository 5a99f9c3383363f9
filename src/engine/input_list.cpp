// The program-wide list of files a run works through.
#include "engine/input_list.h"

#include <algorithm>
#include <utility>

#include "engine/format_registry.h"
#include "engine/run_state.h"
#include "platform/paths.h"
#include "platform/platform.h"
#include "text/text_util.h"

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
    return text::Lower(platform::ExtensionPart(path, "/"));
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
