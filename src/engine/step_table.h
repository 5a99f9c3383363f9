// The image steps of a whole-picture conversion, each listed once, in the
// order they run: its name, when it is on, whether it works row by row or
// needs the whole picture, and what it does. The pipeline runs this table,
// the row-by-row plan asks it whether any step is on, the progress counts
// its steps and the command line's report asks it which steps are on.
//
// A new step is one row here, with its function in a file of its own.
#pragma once

#include <string>
#include <vector>

#include "engine/bitmap.h"
#include "engine/run_state.h"
#include "settings/settings.h"

namespace tarnwick {

enum class StepId {
    Rotation,
    Resize,
    ToneMapping,
    Flattening,
    Flip,
    ColourCorrection,
    Greyscale,
    Threshold,
    Frame,
    Watermark,
};

// How much of the picture a step needs at a time.
enum class StepReach { Row, Whole };

// What a step sees besides the picture.
struct StepState {
    const Settings& s;
    RunState& run;              // the output depth is resolved before the first step
    int width = 0, height = 0;  // the picture's size before the step
    // A later step that is on cares about the depth it gets (flattening then
    // makes its usual bitmap instead of working in place).
    bool depthMattersLater = false;
};

struct StepInfo {
    StepId id;
    const char* name;
    // Whether the settings switch the step on. Null for the steps every
    // whole-picture conversion runs as its picture needs (tone mapping of
    // deep pictures, flattening of transparency); the row-by-row path does
    // their work itself.
    bool (*switchedOn)(const Settings& s);
    StepReach reach;
    // The step may change the picture's size (the output size is known
    // after the last such step).
    bool geometry;
    // The step works the same on any depth it is given.
    bool anyDepth;
    // The reason when the step makes no picture without saying why.
    const char* failure;
    Bitmap (*apply)(Bitmap image, const StepState& state, std::string* why);
};

// The steps in the order they run.
const std::vector<StepInfo>& ImageSteps();
const StepInfo& Step(StepId id);
// Whether the settings switch `id` on (false for steps without a switch).
bool StepSwitchedOn(StepId id, const Settings& s);
// Whether any step with a switch is on: only then does a conversion need
// more than the container changed.
bool AnyStepSwitchedOn(const Settings& s);
// The steps that will run on a whole picture with these settings.
int StepsToRun(const Settings& s);

}  // namespace tarnwick
