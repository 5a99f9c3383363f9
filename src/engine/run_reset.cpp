// Starting a new run: the run state, the naming counters and the input list.
#include "engine/format_registry.h"
#include "engine/input_list.h"
#include "engine/run_state.h"
#include "platform/platform.h"

namespace tarnwick {

void ResetRunState() {
    RunState& run = GlobalRunState();
    const RunMode runMode = run.runMode;
    run = RunState{};
    run.runMode = runMode;
    run.programFolder = platform::ProgramFolder();
    run.inputGiven = false;
    run.fileNumber = 1;
    run.randomNumber = NewRandomNumber();
    ClearInputFileList();
    BuildAcceptedInputExtensions(GlobalRegistry(), InputExtensions());
}

}  // namespace tarnwick
