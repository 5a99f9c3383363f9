#include "engine/run_state.h"

#include <random>

#include "engine/format_registry.h"
#include "engine/input_list.h"
#include "platform/platform.h"

namespace tarnwick {

RunState& GlobalRunState() {
    static RunState state;
    return state;
}

int32_t NewRandomNumber() {
    static std::mutex m;
    static std::mt19937 engine{std::random_device{}()};
    std::lock_guard<std::mutex> lock(m);
    return std::uniform_int_distribution<int32_t>(1, 99999)(engine);
}

void ResetRunState() {
    RunState& run = GlobalRunState();
    std::string runMode = std::move(run.runMode);
    run = RunState{};
    run.runMode = std::move(runMode);
    run.programFolder = platform::ProgramFolder();
    run.inputGiven = false;
    run.fileNumber = 1;
    run.randomNumber = NewRandomNumber();
    ClearInputFileList();
    BuildAcceptedInputExtensions(GlobalRegistry(), InputExtensions());
}

WorkerProgress& GlobalProgress() {
    static WorkerProgress progress;
    return progress;
}

std::mutex& ProgressLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace tarnwick
