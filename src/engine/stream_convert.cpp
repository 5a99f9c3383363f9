#include "engine/stream_convert.h"

#include <FreeImage.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/bmp_rows.h"
#include "engine/encoding.h"
#include "engine/naming.h"
#include "engine/png_decode.h"
#include "engine/png_row_reader.h"
#include "engine/step_table.h"
#include "platform/platform.h"
#include "platform/safe_save.h"

namespace tarnwick {

namespace {

// Rows are gathered into blocks of about this size and written with one call.
constexpr size_t kBlockBytes = 1 << 20;

// Whether the colour tables the row steps were made for are still the file's.
bool SameColours(const DecodedLayout& a, const DecodedLayout& b) {
    return a.kind == b.kind && a.indexBits == b.indexBits && a.transparent == b.transparent &&
           std::memcmp(a.palette, b.palette, sizeof a.palette) == 0 &&
           std::memcmp(a.alpha, b.alpha, sizeof a.alpha) == 0;
}

}  // namespace

StreamPlan PlanStreamConversion(const std::string& inputPath, const Settings& s,
                                const RunState& run, const FormatRegistry& reg) {
    StreamPlan plan;
    // A step that needs the whole picture keeps the file off the row path
    // before it is opened; the row twins are made once the rows' format is known.
    for (const StepInfo& step : ImageSteps()) {
        if (step.reach == StepReach::Whole && step.switchedOn && step.switchedOn(s)) {
            plan.why = std::string("the ") + step.name + " step needs the whole picture";
            return plan;
        }
    }
    if (run.conversion != "bmp" || run.outputFif != FIF_BMP) {
        plan.why = "the output is not BMP";
        return plan;
    }
    const FileHandle file = OpenForReading(inputPath);
    if (!file) {
        plan.why = "cannot open the file";
        return plan;
    }
    FileSource source(file.get());
    PngRowReader reader;
    if (!reader.Open(source, false)) {
        plan.why = reader.error();
        return plan;
    }
    const DecodedLayout& d = reader.layout();
    plan.width = d.width;
    plan.height = d.height;
    plan.sourceBpp = SourceBpp(d);
    plan.outputBpp =
        run.autoBpp == 1 ? AutoBppFor(reg, run.conversion, plan.sourceBpp) : run.outputBpp;
    if (d.interlaced) {
        plan.why = "the PNG is interlaced";
        return plan;
    }
    if (plan.outputBpp <= 0) {
        plan.why = "no output depth";
        return plan;
    }
    RowFormat decoded;
    if (!DecodedFormat(d, &decoded, &plan.why)) return plan;
    if (AnyStepSwitchedOn(s)) {
        RunState stepRun = run;
        stepRun.outputBpp = plan.outputBpp;
        std::unique_ptr<RowSteps> steps = PlanRowSteps(s, stepRun, decoded, &plan.why);
        if (!steps) return plan;
        plan.steps = std::move(steps);
    }
    RowPlan rows;
    if (!PlanRows(d, static_cast<unsigned>(plan.outputBpp), &rows, &plan.why,
                  plan.steps ? &plan.steps->format() : nullptr))
        return plan;
    if (plan.outputBpp == 8 && (run.saveFlags & BMP_SAVE_RLE) != 0) {
        plan.why = "RLE compression needs the whole picture";
        return plan;
    }
    if (plan.outputBpp == 8 && s.bmpColorTableKind() == ColorTableKind::Exact) {
        plan.why = "the exact colour table needs the whole picture";
        return plan;
    }
    plan.fileBytes = rows.fileBytes;
    plan.layout = d;
    plan.streamable = true;
    return plan;
}

StreamOutcome StreamPngToBmp(const std::string& inputPath, const std::string& outputPath,
                             const StreamPlan& plan, const ProgressSpan& progress) {
    StreamOutcome outcome;
    auto readFailure = [&](const std::string& why) {
        outcome.decodeFailed = true;
        outcome.error = PngReadFailure(inputPath, why);
        return outcome;
    };
    if (!plan.streamable) return readFailure("not a plain conversion");

    // The file is inflated on a second thread when one can be started.
    OpenPng png;
    if (!png.Open(inputPath)) return readFailure(png.error());
    PngRowReader& reader = png.reader();
    const DecodedLayout& d = reader.layout();
    RowPlan rows;
    std::string why;
    RowSteps* const steps = plan.steps.get();
    if (d.width != plan.width || d.height != plan.height || SourceBpp(d) != plan.sourceBpp ||
        d.interlaced || !SameColours(d, plan.layout) ||
        !PlanRows(d, static_cast<unsigned>(plan.outputBpp), &rows, &why,
                  steps ? &steps->format() : nullptr))
        return readFailure("the file changed while it was converted");

    const std::vector<BYTE> header = BmpHeader(d, rows);
    RowConverter converter(d, rows);
    // Without row work on the pixels the plain conversion's converter makes
    // each BMP row, decoding in place where it can; otherwise each decoded
    // row goes through the steps and then the depth step.
    const bool worked = steps && !steps->empty();
    const bool reversed = steps && steps->reversed();
    const bool inPlace = !worked && converter.DecodesInPlace();
    const size_t pitch = rows.pitch;
    const uint32_t blockRows =
        static_cast<uint32_t>(std::max<size_t>(1, std::min<size_t>(kBlockBytes / pitch, d.height)));
    std::vector<BYTE> block(static_cast<size_t>(blockRows) * pitch, 0);
    std::vector<BYTE> decoded(inPlace ? 0 : d.rowBytes);
    const size_t workBytes = worked ? static_cast<size_t>(d.width) * 4 + 4 : 0;
    std::vector<BYTE> workA(workBytes), workB(workBytes);

    bool readFailed = false;
    bool started = false;
    const platform::SaveResult saved =
        platform::SafeSave(outputPath, [&](platform::SaveSink& sink) {
            started = true;
            if (!sink.Write(header.data(), header.size())) return false;
            // The BMP holds its rows bottom-up: rows decoded top-down fill
            // each block from its end, and a block goes to the file at the
            // place of its lowest row. Flipped vertically, the rows fill each
            // block from its start and the blocks go from the file's start.
            for (uint32_t top = 0; top < d.height; top += blockRows) {
                const uint32_t count = std::min(blockRows, d.height - top);
                const uint32_t first = reversed ? 0 : blockRows - count;
                for (uint32_t i = 0; i < count; ++i) {
                    BYTE* dst = block.data() +
                                static_cast<size_t>(reversed ? i : blockRows - 1 - i) * pitch;
                    BYTE* src = inPlace ? dst : decoded.data();
                    if (!reader.ReadRow(src)) {
                        readFailed = true;
                        return false;
                    }
                    if (worked) {
                        converter.Output(
                            steps->Run(converter.Stage(src), workA.data(), workB.data(), d.width),
                            dst);
                    } else {
                        converter.Convert(src, dst);
                    }
                }
                const uint64_t firstFileRow = reversed ? top : d.height - top - count;
                const BYTE* data = block.data() + static_cast<size_t>(first) * pitch;
                if (!sink.WriteAt(rows.dataOffset + firstFileRow * pitch, data, count * pitch))
                    return false;
                progress.Report(top + count, d.height);
            }
            if (!reader.Finish()) {
                readFailed = true;
                return false;
            }
            return true;
        });
    if (readFailed) return readFailure(reader.error());
    if (!saved) {
        outcome.saveNotStarted = !started;
        outcome.error = saved.error;
        return outcome;
    }
    outcome.ok = true;
    return outcome;
}

PlainConversion ConvertPlainFile(const Settings& s, RunState& run, const FormatRegistry& reg,
                                 const ProgressSpan& progress) {
    PlainConversion done;
    const StreamPlan plan = PlanStreamConversion(run.inputPath, s, run, reg);
    if (!plan.streamable) return done;

    const RunState before = run;
    run.sourceBpp = plan.sourceBpp;
    run.outputWidth = static_cast<int32_t>(plan.width);
    run.outputHeight = static_cast<int32_t>(plan.height);
    if (run.autoBpp == 1) run.outputBpp = plan.outputBpp;  // AutoBppFor, as ResolveOutputBpp
    run.outputPath = BuildOutputPath(s, run);

    const StreamOutcome outcome = StreamPngToBmp(run.inputPath, run.outputPath, plan, progress);
    if (outcome.ok) {
        done.result = PlainResult::Converted;
    } else if (outcome.decodeFailed) {
        run.sourceBpp = 0;
        run.outputPath = before.outputPath;
        done.result = PlainResult::DecodeFailed;
        done.reason = outcome.error;
    } else if (outcome.saveNotStarted && platform::FileSize(run.outputPath) >= 0) {
        // The folder takes no new file but the old one may be writable: the
        // whole picture's save can overwrite it in place.
        run = before;
    } else {
        done.result = PlainResult::SaveFailed;
        done.reason = outcome.error;
    }
    return done;
}

}  // namespace tarnwick
