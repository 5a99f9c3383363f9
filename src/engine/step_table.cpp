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

// ---- The row twins ----------------------------------------------------------
//
// Colour correction, greyscale and threshold take their tables and line
// conversions from the image library, which they load (a file whose library
// cannot be loaded takes the whole-picture path, which fails it with the
// reason); the flips need none.

// Runs a whole-picture step on a probe picture of the library's (which it
// takes), for the tables of the row twins.
PictureStep Probe(Bitmap (*apply)(Bitmap, const StepState&, std::string*), const StepState& st) {
    return [apply, &st](FIBITMAP* probe) {
        StepState sized = st;
        if (probe) {
            sized.width = static_cast<int>(Fi().GetWidth(probe));
            sized.height = static_cast<int>(Fi().GetHeight(probe));
        }
        return apply(Bitmap(probe), sized, nullptr).release();
    };
}

// A step whose every pixel is one of the palette's gets a table of what the
// whole-picture step makes of each index.
bool AddIndexTable(RowSteps& rows, Bitmap (*apply)(Bitmap, const StepState&, std::string*),
                   const StepState& st, std::string* why) {
    RowFormat after;
    std::unique_ptr<RowOp> op = IndexTableRowOp(rows.format(), Probe(apply, st), &after, why);
    if (!op) return false;
    rows.Add(std::move(op), after);
    return true;
}

// Colour rows: the row function, with the depth and colour table the
// whole-picture step gives a picture of this format.
bool AddColourStep(RowSteps& rows, std::unique_ptr<RowOp> op,
                   Bitmap (*apply)(Bitmap, const StepState&, std::string*), const StepState& st,
                   unsigned expectedBpp, std::string* why) {
    RowFormat after;
    if (!ProbeFormat(rows.format(), Probe(apply, st), &after) || after.bpp != expectedBpp) {
        *why = "the step makes a picture the rows cannot hold";
        return false;
    }
    rows.Add(std::move(op), after);
    return true;
}

// Sixteen-bit samples keep their high byte as each row is decoded (as
// ReduceDeepImage does); a PNG holds no floating-point picture.
bool ToneMapRows(RowSteps&, const StepState&, std::string*) { return true; }

// Transparency is put onto white as each row is decoded (the rows' format
// starts after it: see DecodedFormat).
bool FlattenRows(RowSteps&, const StepState&, std::string*) { return true; }

bool FlipRows(RowSteps& rows, const StepState& st, std::string*) {
    if (st.s.doImageFlipHorizontal) rows.Add(FlipRowOp(rows.format().bpp), rows.format());
    if (st.s.doImageFlipVertical) rows.ReverseRows();
    return true;
}

bool CorrectRows(RowSteps& rows, const StepState& st, std::string* why) {
    if (!LoadImageLibrary(why)) return false;
    if (rows.format().indexed()) return AddIndexTable(rows, Correct, st, why);
    std::unique_ptr<RowOp> op =
        ColourLookupRowOp(rows.format().bpp, static_cast<double>(st.s.imageBrightness),
                          static_cast<double>(st.s.imageContrast),
                          static_cast<double>(st.s.imageGamma), st.s.imageInvert != 0);
    if (op) rows.Add(std::move(op), rows.format());
    return true;
}

bool GreyRows(RowSteps& rows, const StepState& st, std::string* why) {
    if (!LoadImageLibrary(why)) return false;
    if (rows.format().indexed()) return AddIndexTable(rows, Grey, st, why);
    return AddColourStep(rows, GreyRowOp(rows.format().bpp), Grey, st, 8, why);
}

bool ThresholdRows(RowSteps& rows, const StepState& st, std::string* why) {
    if (!LoadImageLibrary(why)) return false;
    if (rows.format().indexed()) return AddIndexTable(rows, Threshold, st, why);
    return AddColourStep(rows,
                         ThresholdRowOp(rows.format().bpp, static_cast<BYTE>(st.s.imageThreshold)),
                         Threshold, st, 1, why);
}

}  // namespace

const std::vector<StepInfo>& ImageSteps() {
    using S = const Settings&;
    static const std::vector<StepInfo> steps = {
        {StepId::Rotation, "rotation", [](S s) { return s.doImageRotation != 0; }, StepReach::Whole,
         true, false, "rotation failed", Rotate, nullptr},
        {StepId::Resize, "resize", [](S s) { return s.doImageResize != 0; }, StepReach::Whole, true,
         false, "resize failed", Resize, nullptr},
        {StepId::ToneMapping, "tone mapping", nullptr, StepReach::Row, false, false,
         "tone mapping failed", ToneMap, ToneMapRows},
        {StepId::Flattening, "flattening", nullptr, StepReach::Row, false, false,
         "flattening transparency failed", Flatten, FlattenRows},
        {StepId::Flip, "flip",
         [](S s) { return s.doImageFlipHorizontal != 0 || s.doImageFlipVertical != 0; },
         StepReach::Row, false, true, "flip failed", Flip, FlipRows},
        {StepId::ColourCorrection, "colour correction",
         [](S s) { return s.doImageColorCorrection != 0; }, StepReach::Row, false, false,
         "colour correction failed", Correct, CorrectRows},
        {StepId::Greyscale, "greyscale", [](S s) { return s.doImageGreyscale != 0; },
         StepReach::Row, false, false, "greyscale failed", Grey, GreyRows},
        {StepId::Threshold, "threshold", [](S s) { return s.doImageThreshold != 0; },
         StepReach::Row, false, false, "threshold failed", Threshold, ThresholdRows},
        {StepId::Frame, "frame", [](S s) { return s.frameKind() != FrameKind::None; },
         StepReach::Whole, false, false, "frame failed", Frame, nullptr},
        {StepId::Watermark, "watermark",
         [](S s) { return s.watermarkKind() != WatermarkKind::None; }, StepReach::Whole, false,
         false, "watermark failed", Watermark, nullptr},
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

namespace tarnwick {

std::unique_ptr<RowSteps> PlanRowSteps(const Settings& s, RunState& run, const RowFormat& decoded,
                                       std::string* why) {
    auto rows = std::make_unique<RowSteps>(decoded);
    const StepState state{s, run, 0, 0, false};
    for (const StepInfo& step : ImageSteps()) {
        if (step.switchedOn && !step.switchedOn(s)) continue;
        if (step.reach != StepReach::Row || !step.planRows) {
            *why = std::string("the ") + step.name + " step needs the whole picture";
            return nullptr;
        }
        std::string reason;
        if (!step.planRows(*rows, state, &reason)) {
            *why = std::string("the ") + step.name + " step cannot work row by row: " + reason;
            return nullptr;
        }
    }
    return rows;
}

}  // namespace tarnwick
