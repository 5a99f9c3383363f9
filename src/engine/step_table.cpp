#include "engine/step_table.h"

#include "engine/limits.h"
#include "engine/pipeline.h"
#include "engine/steps.h"

namespace tarnwick {

namespace {

bool CanHold(const StepState& st, unsigned bpp, std::string* why) {
    return CanHoldBitmap(static_cast<uint64_t>(st.width), static_cast<uint64_t>(st.height), bpp,
                         why);
}

Bitmap Rotate(Bitmap b, const StepState& st, std::string* why) {
    return RotateImage(std::move(b), st.s, why);
}

Bitmap Resize(Bitmap b, const StepState& st, std::string* why) {
    return ResizeImage(std::move(b), st.width, st.height, st.s, why);
}

// Only deep pictures (16-bit samples, floating point) are brought to 8 bits
// per channel; the library's full-size conversion is asked for only when the
// memory is there.
Bitmap ToneMap(Bitmap b, const StepState& st, std::string* why) {
    if (Fi().GetBPP(b.get()) <= 32) return b;
    const bool alpha = Fi().GetImageType(b.get()) == FIT_RGBA16;
    if (!CanHold(st, alpha ? 32 : 24, why)) return Bitmap();
    return ReduceDeepImage(std::move(b));
}

Bitmap Flatten(Bitmap b, const StepState& st, std::string* why) {
    const bool inPlace = !st.depthMattersLater && st.run.outputBpp == 32;
    if (!inPlace && Fi().IsTransparent(b.get()) && !CanHold(st, 32 + 24, why)) return Bitmap();
    return FlattenOntoWhite(std::move(b), inPlace);
}

Bitmap Flip(Bitmap b, const StepState& st, std::string*) {
    FlipImage(b.get(), st.s);
    return b;
}

Bitmap Correct(Bitmap b, const StepState& st, std::string* why) {
    return CorrectColors(std::move(b), st.s, why);
}

Bitmap Grey(Bitmap b, const StepState& st, std::string* why) {
    return MakeGreyscale(std::move(b), st.s, why);
}

Bitmap Threshold(Bitmap b, const StepState& st, std::string* why) {
    return ApplyThreshold(std::move(b), st.s, why);
}

Bitmap Frame(Bitmap b, const StepState& st, std::string* why) {
    return DrawFrame(std::move(b), st.width, st.height, st.s, why);
}

Bitmap Watermark(Bitmap b, const StepState& st, std::string* why) {
    return DrawWatermark(std::move(b), st.width, st.height, st.s, st.run, why);
}

}  // namespace

const std::vector<StepInfo>& ImageSteps() {
    using S = const Settings&;
    static const std::vector<StepInfo> steps = {
        {StepId::Rotation, "rotation", [](S s) { return s.doImageRotation != 0; }, StepReach::Whole,
         true, false, "rotation failed", Rotate},
        {StepId::Resize, "resize", [](S s) { return s.doImageResize != 0; }, StepReach::Whole, true,
         false, "resize failed", Resize},
        {StepId::ToneMapping, "tone mapping", nullptr, StepReach::Whole, false, false,
         "tone mapping failed", ToneMap},
        {StepId::Flattening, "flattening", nullptr, StepReach::Row, false, false,
         "flattening transparency failed", Flatten},
        {StepId::Flip, "flip",
         [](S s) { return s.doImageFlipHorizontal != 0 || s.doImageFlipVertical != 0; },
         StepReach::Row, false, true, "flip failed", Flip},
        {StepId::ColourCorrection, "colour correction",
         [](S s) { return s.doImageColorCorrection != 0; }, StepReach::Row, false, false,
         "colour correction failed", Correct},
        {StepId::Greyscale, "greyscale", [](S s) { return s.doImageGreyscale != 0; },
         StepReach::Row, false, false, "greyscale failed", Grey},
        {StepId::Threshold, "threshold", [](S s) { return s.doImageThreshold != 0; },
         StepReach::Row, false, false, "threshold failed", Threshold},
        {StepId::Frame, "frame", [](S s) { return s.frameKind() != FrameKind::None; },
         StepReach::Whole, false, false, "frame failed", Frame},
        {StepId::Watermark, "watermark",
         [](S s) { return s.watermarkKind() != WatermarkKind::None; }, StepReach::Whole, false,
         false, "watermark failed", Watermark},
    };
    return steps;
}

const StepInfo& Step(StepId id) {
    for (const StepInfo& step : ImageSteps())
        if (step.id == id) return step;
    return ImageSteps().front();  // every id has its row
}

bool StepSwitchedOn(StepId id, const Settings& s) {
    const StepInfo& step = Step(id);
    return step.switchedOn && step.switchedOn(s);
}

bool AnyStepSwitchedOn(const Settings& s) {
    for (const StepInfo& step : ImageSteps())
        if (step.switchedOn && step.switchedOn(s)) return true;
    return false;
}

int StepsToRun(const Settings& s) {
    int n = 0;
    for (const StepInfo& step : ImageSteps())
        if (!step.switchedOn || step.switchedOn(s)) ++n;
    return n;
}

}  // namespace tarnwick
