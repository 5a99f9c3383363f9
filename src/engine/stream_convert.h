// Conversions row by row: a PNG whose conversion needs no step that looks at
// the whole picture (the steps that are on each work row by row, and the
// depth keeps or makes each pixel on its own) is decoded one row at a time,
// each row goes through the row twins of the steps in the table's order, and
// is written at its place in the BMP, so the memory used depends on the width
// only. The file written is byte for byte the one the whole-picture pipeline
// writes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/file_progress.h"
#include "engine/png_row_reader.h"
#include "engine/row_steps.h"
#include "engine/run_state.h"
#include "settings/settings.h"

namespace tarnwick {

struct FormatRegistry;

// What the PNG's header chunks say about a conversion, read without its pixels.
struct StreamPlan {
    bool streamable = false;
    uint32_t width = 0;
    uint32_t height = 0;
    int32_t sourceBpp = 0;   // bits per pixel the whole-picture decode gives (run.sourceBpp)
    int32_t outputBpp = 0;   // bits per pixel of the BMP, resolved when the depth is automatic
    uint64_t fileBytes = 0;  // size of the BMP file
    std::string why;         // when not streamable: which condition failed
    // The row work of the steps that are on (none for a plain conversion),
    // made for the decoded layout below.
    std::shared_ptr<RowSteps> steps;
    DecodedLayout layout;
};

// Decides whether the conversion of `inputPath` with these settings and this
// run's output encoding can go row by row: every step that is on works row by
// row for this picture (the step table's reach and row twins decide), the
// output is an uncompressed BMP with the library's colour table, the PNG is
// not interlaced, and the depth step keeps the pixels the last step leaves or
// makes 16-, 24- or 32-bit pixels of them. Reads the header chunks only. A
// file that cannot be read gives a plan that is not streamable.
StreamPlan PlanStreamConversion(const std::string& inputPath, const Settings& s,
                                const RunState& run, const FormatRegistry& reg);

struct StreamOutcome {
    bool ok = false;
    bool decodeFailed = false;  // the PNG could not be read (nothing was written)
    // The save failed before its first byte, for example because no file
    // can be made in the output folder. Nothing was read past the header;
    // a save of bytes held in memory may still get through (it can
    // overwrite a writable file in place).
    bool saveNotStarted = false;
    std::string error;  // why it failed, for the user
};

// Converts `inputPath` into the BMP at `outputPath` as `plan` says (its row
// steps run on each row; a vertical flip writes the rows in the other order), through
// the safe save: on any failure an existing file at `outputPath` is left as it
// was and no partial file remains. `plan` must come from
// PlanStreamConversion for the same file and be streamable. The rows decoded
// and written are reported to `progress` as each block of rows reaches the file.
StreamOutcome StreamPngToBmp(const std::string& inputPath, const std::string& outputPath,
                             const StreamPlan& plan, const ProgressSpan& progress = {});

// What the row-by-row branch of a file's conversion did.
enum class PlainResult {
    NotPlain,  // not a row-by-row conversion, or its save could not start
               // over an existing file: convert the whole picture (run is unchanged)
    Converted,
    DecodeFailed,  // the PNG could not be read
    SaveFailed,
};

struct PlainConversion {
    PlainResult result = PlainResult::NotPlain;
    std::string reason;  // for DecodeFailed and SaveFailed
};

// The row-by-row branch of ConvertFile for run.inputPath. When the conversion
// goes row by row, records in `run` what the whole-picture path records -
// sourceBpp, outputWidth, outputHeight, outputBpp when it is automatic, and
// outputPath from the file-name mask (made after the others, which it may
// show) - and writes the BMP. A failed decode sets sourceBpp to 0 and leaves
// outputPath as it was, as a failed decode of the whole picture does.
PlainConversion ConvertPlainFile(const Settings& s, RunState& run, const FormatRegistry& reg,
                                 const ProgressSpan& progress = {});

}  // namespace tarnwick
