// The image steps of a whole-picture conversion, each listed once, in the
// order they run: its name, when it is on, whether it works row by row or
// needs the whole picture, and what it does. The pipeline runs this table,
// the row-by-row plan walks it (a step that is on and needs the whole
// picture keeps the file off that path; one that works row by row adds its
// row work), the progress counts its steps and the command line's report
// asks it which steps are on.
//
// A new step is one row here, with its function in a file of its own.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/bitmap.h"
#include "engine/row_steps.h"
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
    // The step's row-by-row twin (reach Row): adds its work on each row to
    // `rows`, for rows of the format they have reached, making exactly the
    // pixels `apply` makes. False, with `why`, where it cannot: the file then
    // takes the whole-picture path. `state` has no size.
    bool (*planRows)(RowSteps& rows, const StepState& state, std::string* why);
};

// The steps in the order they run.
const std::vector<StepInfo>& ImageSteps();
const StepInfo& Step(StepId id);
// Whether the settings switch `id` on (false for steps without a switch).
bool StepSwitchedOn(StepId id, const Settings& s);
// Whether any step with a switch is on: only then does a conversion need
// more than the container changed.
bool AnyStepSwitchedOn(const Settings& s);
// The row work of every step that will run with these settings, in the
// table's order, starting from rows of `decoded`; none, with `why`, when a
// step that is on needs the whole picture or cannot be done row by row for
// this format.
std::unique_ptr<RowSteps> PlanRowSteps(const Settings& s, RunState& run, const RowFormat& decoded,
                                       std::string* why);
// The steps that will run on a whole picture with these settings.
int StepsToRun(const Settings& s);

}  // namespace tarnwick
