#include "engine/pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

#include "engine/encoding.h"
#include "engine/format_registry.h"
#include "engine/image_save.h"
#include "engine/input_list.h"
#include "engine/limits.h"
#include "engine/naming.h"
#include "engine/png_decode.h"
#include "engine/png_guard.h"
#include "engine/step_table.h"
#include "engine/steps.h"
#include "engine/stream_convert.h"
#include "platform/platform.h"

namespace tarnwick {

namespace {

void ApplyTimestampRule(const Settings& s, const RunState& run) {
    if (s.timestampRule() == TimestampRule::Original) {
        platform::CopyModificationTime(run.inputPath, run.outputPath);  // a failure is ignored
    } else if (s.timestampRule() == TimestampRule::Custom) {
        platform::SetFileModifiedLocal(run.outputPath, s.customTimestamp);
    }
}

}  // namespace

void PauseGate::Pause() {
    std::lock_guard<std::mutex> lock(m_);
    paused_ = true;
}

void PauseGate::Resume() {
    {
        std::lock_guard<std::mutex> lock(m_);
        paused_ = false;
    }
    cv_.notify_all();
}

void PauseGate::WaitWhilePaused() {
    std::unique_lock<std::mutex> lock(m_);
    cv_.wait(lock, [&] { return !paused_; });
}

FileOutcome ConvertFile(const Settings& s, RunState& run, const FormatRegistry& reg,
                        FileProgress* progress) {
    FileOutcome result;
    // The outcome repeats what the file's record holds at the end.
    const auto outcome = [&](bool converted, std::string reason) {
        result.converted = converted;
        result.reason = std::move(reason);
        result.outputPath = run.outputPath;
        result.sourceBpp = run.sourceBpp;
        result.outputBpp = run.outputBpp;
        result.width = run.outputWidth;
        result.height = run.outputHeight;
        return result;
    };
    const auto fail = [&](std::string reason) { return outcome(false, std::move(reason)); };

    // Every input passes the guard before anything is decoded.
    const PngCheck check = CheckPngInput(run.inputPath);
    if (!check.ok) {
        run.sourceBpp = 0;
        return fail(check.reason);
    }

    // A conversion whose steps all work row by row goes row by row.
    const ProgressSpan whole{progress};
    const PlainConversion plain = ConvertPlainFile(s, run, reg, whole);
    switch (plain.result) {
        case PlainResult::Converted: return outcome(true, {});
        case PlainResult::DecodeFailed: return fail(plain.reason);
        case PlainResult::SaveFailed: return fail(plain.reason);
        case PlainResult::NotPlain: break;
    }

    // Everything else decodes the whole picture with the image library,
    // when the library is there and the picture can be held.
    if (std::string why; !LoadImageLibrary(&why) || !CanDecodeWhole(check, &why)) {
        run.sourceBpp = 0;
        return fail(why);
    }
    // The decode, the steps and the encoding each have their share of the
    // file's work: the decode counts its rows; the library encodes without
    // telling rows, so the bytes it writes stand for them.
    const ProgressSpan decodeShare = whole.Piece(0, 400);
    const ProgressSpan stepShare = whole.Piece(400, 800);
    const ProgressSpan encodeShare = whole.Piece(800, 1000);
    WholePng decoded = DecodeWholePng(run.inputPath, decodeShare);
    if (!decoded.image) {
        run.sourceBpp = 0;
        return fail(decoded.error);
    }
    Bitmap image = std::move(decoded.image);
    run.sourceBpp = static_cast<int32_t>(Fi().GetBPP(image.get()));
    decodeShare.Complete();
    // Each step that runs is an equal piece of the steps' share; the depth
    // step is the last piece.
    const uint64_t stepsPlanned = static_cast<uint64_t>(StepsToRun(s)) + 1;
    uint64_t stepsDone = 0;

    // The output depth follows from the decoded picture: resolved once, here.
    // The output size is known before the rotation and the resize do their
    // work: a picture that can never be a BMP is refused at once.
    ResolveOutputBpp(reg, run);
    if (run.conversion == "bmp" &&
        (StepSwitchedOn(StepId::Rotation, s) || StepSwitchedOn(StepId::Resize, s))) {
        uint64_t expectedW = 0, expectedH = 0;
        std::string why;
        if (ExpectedStepSize(static_cast<int>(Fi().GetWidth(image.get())),
                             static_cast<int>(Fi().GetHeight(image.get())), s, &expectedW,
                             &expectedH) &&
            run.outputBpp > 0)
            BmpSizeAllowed(expectedW, expectedH, static_cast<unsigned>(run.outputBpp), &why);
        if (!why.empty()) return fail(why);
    }

    int width = 0, height = 0;
    auto readSize = [&] {
        width = static_cast<int>(Fi().GetWidth(image.get()));
        height = static_cast<int>(Fi().GetHeight(image.get()));
    };
    // Why the first step that could not make its picture failed.
    std::string stepFailure;

    // The steps of the table in their order; a step that makes no picture
    // stops the file, and the first such step gives the reason.
    const std::vector<StepInfo>& steps = ImageSteps();
    bool sizeKnown = false;
    for (size_t i = 0; i < steps.size() && image; ++i) {
        const StepInfo& step = steps[i];
        readSize();
        if (!step.geometry && !sizeKnown) {
            sizeKnown = true;
            // The final size is known from here on (the depth since the
            // decode); the watermark text may show them, so they are recorded
            // before it is drawn.
            run.outputWidth = width;
            run.outputHeight = height;
            // A BMP must stay under 4 GiB.
            if (std::string why;
                run.conversion == "bmp" &&
                !BmpSizeAllowed(width, height, static_cast<unsigned>(run.outputBpp), &why))
                return fail(why);
        }
        if (step.switchedOn && !step.switchedOn(s)) continue;
        StepState state{s, run, width, height, false};
        for (size_t j = i + 1; j < steps.size(); ++j)
            if (!steps[j].anyDepth && steps[j].switchedOn && steps[j].switchedOn(s))
                state.depthMattersLater = true;
        std::string why;
        image = step.apply(std::move(image), state, &why);
        if (!image) stepFailure = why.empty() ? step.failure : why;
        stepShare.Report(++stepsDone, stepsPlanned);
    }
    if (image) readSize();
    const auto holds = [&](unsigned bpp, std::string* why) {
        return CanHoldBitmap(static_cast<uint64_t>(width), static_cast<uint64_t>(height), bpp, why);
    };

    const bool hadImage = image != nullptr;
    if (image && static_cast<int>(Fi().GetBPP(image.get())) != run.outputBpp &&
        !holds(static_cast<unsigned>(run.outputBpp), &stepFailure))
        image.reset();
    image = ConvertDepth(std::move(image), reg, run);
    if (hadImage && !image && stepFailure.empty())
        stepFailure = "cannot convert to " + std::to_string(run.outputBpp) + " bits per pixel";
    run.outputWidth = width;
    run.outputHeight = height;

    run.outputPath = BuildOutputPath(s, run);

    if (!image) return fail(stepFailure);
    stepShare.Complete();
    const platform::SaveResult saved =
        SaveOutputImage(image.get(), run.outputPath, run, s, encodeShare);
    if (!saved) return fail(saved.error);
    whole.Complete();
    return outcome(true, {});
}

int RunConversionWorker(const RunContext& ctx, const WorkerSinks& sinks) {
    const RunRequest& request = ctx.request;
    const RunState& base = request.base;
    const bool debug = base.inputGiven && base.runMode == RunMode::Debug && sinks.debugLine;

    FileProgress* const watched = sinks.watchFile ? &ctx.progress.file : nullptr;
    NamingCounters counters;
    {
        std::lock_guard<std::mutex> lock(ctx.progressLock);
        counters = ctx.counters;
    }
    int32_t started = 0;
    int32_t converted = 0;
    for (auto it = ctx.files.begin();; ++it) {
        ctx.pause.WaitWhilePaused();
        if (ctx.progress.keepRunning == 0 || it == ctx.files.end()) break;
        ++started;
        // The file's own record: the request, the file and the counters.
        RunState file = base;
        file.inputPath = it->first;
        file.relativeSubfolder = it->second.relativeSubfolder;
        file.fileNumber = counters.fileNumber;
        file.randomNumber = counters.randomNumber;
        {
            std::lock_guard<std::mutex> lock(ctx.progressLock);
            ctx.progress.file.Restart();
            ctx.progress.currentIndex = started;
            ctx.progress.currentFile = file.inputPath;
        }
        if (debug) sinks.debugLine("Processing: " + file.inputPath);
        const FileOutcome outcome = ConvertFile(request.settings, file, ctx.registry, watched);
        if (debug) {
            sinks.debugLine("Saving As: " + outcome.outputPath);
            sinks.debugLine(outcome.converted ? "OK" : "Not OK");
        }
        if (outcome.converted) {
            ++converted;
            counters.randomNumber = NewRandomNumber();
            ++counters.fileNumber;
            ApplyTimestampRule(request.settings, file);
        } else if (sinks.failure) {
            sinks.failure(file.inputPath, outcome.reason);
        }
    }

    std::lock_guard<std::mutex> lock(ctx.progressLock);
    ctx.progress.convertedCount = converted;
    ctx.counters = counters;
    return 0;
}

}  // namespace tarnwick
