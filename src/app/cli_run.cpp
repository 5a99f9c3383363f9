// The command-line conversion run: checks, debug report, import, the worker
// and the result lines.
#include <charconv>
#include <cmath>
#include <map>
#include <optional>

#include "app/cli.h"
#include "app/cli_progress.h"
#include "engine/format_registry.h"
#include "engine/input_list.h"
#include "engine/run_starter.h"
#include "engine/run_state.h"
#include "engine/step_table.h"
#include "platform/paths.h"
#include "platform/platform.h"
#include "platform/safe_save.h"
#include "settings/fields.h"
#include "settings/options.h"
#include "settings/settings.h"
#include "text/catalog.h"
#include "text/shown.h"
#include "text/text_util.h"

namespace tarnwick {

namespace {

using platform::WriteLine;

// A decimal with two digits after the point; the values that are not numbers
// are spelt as in the configuration file.
std::string GammaText(float value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "+Infinity" : "-Infinity";
    char text[64];
    auto result = std::to_chars(text, text + sizeof text, static_cast<double>(value),
                                std::chars_format::fixed, 2);
    return std::string(text, result.ptr);
}

// A check that stops the run: the line on standard output, and the path
// concerned with the reason for standard error. No line: the check passed.
struct Refusal {
    std::string line;
    std::string path;
    std::string reason;
    explicit operator bool() const { return !line.empty(); }
};

// The reason of an "Error: ..." line in the words of standard error.
std::string ReasonOf(const std::string& line) {
    std::string reason = line.rfind("Error: ", 0) == 0 ? line.substr(7) : line;
    if (!reason.empty() && reason[0] >= 'A' && reason[0] <= 'Z')
        reason[0] = static_cast<char>(reason[0] - 'A' + 'a');
    return reason;
}

// ---- The debug report ------------------------------------------------------
//
// The report is a list of rows: a label, the field it shows and how. A row
// may carry a check that ends the run with its error line when it fails; the
// line is written after the row, so the report shows the refused value.

enum class Shown {
    Number,         // the field as a whole number
    Text,           // the field as it is
    Keyword,        // the keyword of the field's number
    NumberAndUnit,  // number, blank, keyword of the second field
    NumberPair,     // number "/" second number
    Gamma,          // two decimals
};

using Condition = bool (*)(const Settings&);

struct ReportRow {
    const char* label;
    FieldRef field;
    Shown shown = Shown::Number;
    KeywordList keywords = KeywordList::SizeUnit;  // Keyword and NumberAndUnit rows
    FieldRef second{};                             // NumberAndUnit and NumberPair rows
    Condition shownWhen = nullptr;                 // shown always when null
    Condition valid = nullptr;                     // passes always when null
    const char* error = nullptr;                   // the line when not valid
};

std::string Num(long long v) { return std::to_string(v); }

std::string RowValue(const ReportRow& row, const Settings& s, const std::string& format) {
    switch (row.shown) {
        case Shown::Number: return Num(row.field.Number(s));
        case Shown::Text: return s.*(row.field.textField);
        case Shown::Keyword:
            return KeywordName(row.keywords, static_cast<int>(row.field.Number(s)), format);
        case Shown::NumberAndUnit:
            return Num(row.field.Number(s)) + " " +
                   KeywordName(row.keywords, static_cast<int>(row.second.Number(s)));
        case Shown::NumberPair: return Num(row.field.Number(s)) + "/" + Num(row.second.Number(s));
        case Shown::Gamma: return GammaText(s.*(row.field.floatField));
    }
    return {};
}

class Report {
public:
    explicit Report(bool on) : on_(on) {}
    bool on() const { return on_; }
    // Values may hold names and texts of any kind: they are shown safely.
    void Line(const std::string& label, const std::string& value) const {
        if (on_) WriteLine(label + text::Shown(value));
    }
    // Writes the rows in order; the first row whose check fails (its error
    // line, the refused value), nullptr when every check passes.
    const ReportRow* Rows(const std::vector<ReportRow>& rows, const Settings& s,
                          const std::string& format = "") const {
        for (const ReportRow& row : rows) {
            if (row.shownWhen && !row.shownWhen(s)) continue;
            Line(row.label, RowValue(row, s, format));
            if (row.valid && !row.valid(s)) return &row;
        }
        return nullptr;
    }

private:
    bool on_;
};

ReportRow Keyword(const char* label, FieldRef field, KeywordList list) {
    ReportRow row{label, field, Shown::Keyword};
    row.keywords = list;
    return row;
}

// The load options of the first input format.
const std::vector<ReportRow>& InputFormatRows(const std::string& ext) {
    static const std::map<std::string, std::vector<ReportRow>> rows = {
        {"dds", {Keyword("DDS Load As: ", &Settings::ddsLoadAs, KeywordList::DdsLoadAs)}},
        {"gif",
         {Keyword("GIF Frame Loading: ", &Settings::gifFrameLoading, KeywordList::FrameLoading)}},
        {"ico",
         {Keyword("ICO Frame Loading: ", &Settings::icoFrameLoading, KeywordList::FrameLoading)}},
        {"raw",
         {Keyword("RAW Load As: ", &Settings::rawLoadAs, KeywordList::RawLoadAs),
          {"RAW Header Size: ", &Settings::rawHeaderSize},
          {"RAW Image Width: ", &Settings::rawImageWidth},
          {"RAW Image Height: ", &Settings::rawImageHeight},
          Keyword("RAW Tone Mapping: ", &Settings::rawToneMapping, KeywordList::ToneMapping)}},
        {"tiff",
         {Keyword("TIFF Frame Loading: ", &Settings::tiffFrameLoading, KeywordList::FrameLoading)}},
    };
    static const std::vector<ReportRow> none;
    auto it = rows.find(ext);
    return it == rows.end() ? none : it->second;
}

// The output format's options beyond its depth.
const std::vector<ReportRow>& OutputFormatRows(const std::string& ext) {
    static const std::map<std::string, std::vector<ReportRow>> rows = {
        {"bmp",
         {{"BMP BPP: ", &Settings::bmpBpp},
          Keyword("BMP Compression: ", &Settings::bmpCompression, KeywordList::Compression),
          Keyword("BMP Color Table: ", &Settings::bmpColorTable, KeywordList::ColorTable)}},
        {"exr",
         {{"EXR BPP: ", &Settings::exrBpp},
          Keyword("EXR Compression: ", &Settings::exrCompression, KeywordList::Compression)}},
        {"jpg",
         {{"JPG BPP: ", &Settings::jpgBpp},
          {"JPG Quality: ", &Settings::jpgQuality},
          Keyword("JPG Chroma Subsampling: ", &Settings::jpgChroma, KeywordList::Chroma),
          Keyword("JPG Save As: ", &Settings::jpgSaveAs, KeywordList::JpegSaveAs)}},
        {"png",
         {{"PNG BPP: ", &Settings::pngBpp},
          Keyword("PNG Compression: ", &Settings::pngCompression, KeywordList::Compression),
          {"PNG Interlaced: ", &Settings::pngInterlaced}}},
        {"tga",
         {{"TGA BPP: ", &Settings::tgaBpp},
          Keyword("TGA Compression: ", &Settings::tgaCompression, KeywordList::Compression)}},
        {"tiff",
         {{"TIFF BPP: ", &Settings::tiffBpp},
          Keyword("TIFF Compression: ", &Settings::tiffCompression, KeywordList::Compression),
          Keyword("TIFF Color Model: ", &Settings::tiffColorModel, KeywordList::ColorModel)}},
    };
    static const std::vector<ReportRow> none;
    auto it = rows.find(ext);
    return it == rows.end() ? none : it->second;
}

// The output format's report, then its checks. Formats without options of
// their own show only their depth.
Refusal ReportAndCheckOutputFormat(const Report& debug, const Settings& s, const RunState& run) {
    const std::string& ext = run.conversion;
    const int bpp = BppSetting(s, ext);
    const auto& rows = OutputFormatRows(ext);
    if (rows.empty()) debug.Line(text::Upper(ext) + " BPP: ", Num(bpp));
    debug.Rows(rows, s, ext);
    if (!IsBppAllowed(GlobalRegistry(), ext, bpp)) {
        const std::string line = "Error: Invalid " + ext + "-bpp value";
        return {line, run.inputPath, ReasonOf(line) + " " + Num(bpp)};
    }
    if (ext == "jpg" && (s.jpgQuality < 1 || s.jpgQuality > 100)) {
        const std::string line = "Error: Invalid jpg-quality value";
        return {line, run.inputPath, ReasonOf(line) + " " + Num(s.jpgQuality)};
    }
    return {};
}

// Which steps are on, as the step table says.
bool Rotating(const Settings& s) { return StepSwitchedOn(StepId::Rotation, s); }
bool Resizing(const Settings& s) { return StepSwitchedOn(StepId::Resize, s); }
bool Correcting(const Settings& s) { return StepSwitchedOn(StepId::ColourCorrection, s); }
bool Thresholding(const Settings& s) { return StepSwitchedOn(StepId::Threshold, s); }
bool Framing(const Settings& s) { return StepSwitchedOn(StepId::Frame, s); }
bool CustomTime(const Settings& s) { return s.timestampRule() == TimestampRule::Custom; }

ReportRow Checked(ReportRow row, Condition valid, const char* error) {
    row.valid = valid;
    row.error = error;
    return row;
}

ReportRow When(Condition shownWhen, ReportRow row) {
    row.shownWhen = shownWhen;
    return row;
}

// Transforms, adjustments and the frame, with their checks in place.
const std::vector<ReportRow>& StepRows() {
    static const std::vector<ReportRow> rows = [] {
        ReportRow width{"Width: ", &Settings::imageWidth, Shown::NumberAndUnit};
        width.second = &Settings::imageWidthUnit;
        ReportRow height{"Height: ", &Settings::imageHeight, Shown::NumberAndUnit};
        height.second = &Settings::imageHeightUnit;
        // A gamma that is not a number fails both comparisons and is refused.
        const Condition gammaValid = [](const Settings& s) {
            return s.imageGamma >= 0.01f && s.imageGamma <= 9.99f;
        };
        return std::vector<ReportRow>{
            When(Rotating, Keyword("Image Rotation Type: ", &Settings::imageRotationType,
                                   KeywordList::RotationType)),
            When(Rotating, {"Image Rotation: ", &Settings::imageRotation}),
            When(Rotating,
                 {"Image Rotation Back Color: ", &Settings::imageRotationBackColor, Shown::Text}),
            When(Resizing, Checked(
                               width, [](const Settings& s) { return s.imageWidth != 0; },
                               "Error: Invalid width value")),
            When(Resizing, Checked(
                               height, [](const Settings& s) { return s.imageHeight != 0; },
                               "Error: Invalid height value")),
            When(Resizing, {"Keep Aspect Ratio: ", &Settings::keepAspectRatio}),
            When(Resizing, Keyword("Image Resize Type: ", &Settings::imageResizeType,
                                   KeywordList::ResizeType)),
            When(Resizing, Keyword("Image Resize Algorithm: ", &Settings::imageResizeAlgorithm,
                                   KeywordList::ResizeAlgorithm)),
            {"Flip Horizontal: ", &Settings::doImageFlipHorizontal},
            {"Flip Vertical: ", &Settings::doImageFlipVertical},
            When(Correcting, Checked(
                                 {"Brightness: ", &Settings::imageBrightness},
                                 [](const Settings& s) {
                                     return s.imageBrightness >= -100 && s.imageBrightness <= 100;
                                 },
                                 "Error: Invalid brightness value")),
            When(Correcting, Checked(
                                 {"Contrast: ", &Settings::imageContrast},
                                 [](const Settings& s) {
                                     return s.imageContrast >= -100 && s.imageContrast <= 100;
                                 },
                                 "Error: Invalid contrast value")),
            When(Correcting, Checked({"Gamma: ", &Settings::imageGamma, Shown::Gamma}, gammaValid,
                                     "Error: Invalid gamma value")),
            When(Correcting, {"Invert: ", &Settings::imageInvert}),
            {"Greyscale: ", &Settings::doImageGreyscale},
            When(Thresholding, {"Image Threshold: ", &Settings::imageThreshold}),
            Keyword("Frame: ", &Settings::doFrame, KeywordList::FrameKind),
            When(Framing, {"Frame left: ", &Settings::solidLeft}),
            When(Framing, {"Frame right: ", &Settings::solidRight}),
            When(Framing, {"Frame top: ", &Settings::solidTop}),
            When(Framing, {"Frame bottom: ", &Settings::solidBottom}),
            When(Framing, {"Frame left color: ", &Settings::solidLeftColor, Shown::Text}),
            When(Framing, {"Frame right color: ", &Settings::solidRightColor, Shown::Text}),
            When(Framing, {"Frame top color: ", &Settings::solidTopColor, Shown::Text}),
            When(Framing, {"Frame bottom color: ", &Settings::solidBottomColor, Shown::Text}),
            When(Framing, {"Frame opacity: ", &Settings::solidOpacity}),
        };
    }();
    return rows;
}

// The watermark's rows: the kind, then the text or the image watermark.
const std::vector<ReportRow>& WatermarkRows(WatermarkKind kind) {
    static const std::vector<ReportRow> text = {
        {"Watermark text: ", &Settings::watermarkText, Shown::Text},
        {"Watermark font: ", &Settings::font, Shown::Text},
        {"Watermark font size: ", &Settings::fontSize},
        {"Watermark font leading: ", &Settings::fontLeading},
        {"Watermark font color: ", &Settings::fontColor, Shown::Text},
        Keyword("Watermark font style: ", &Settings::fontStyle, KeywordList::FontStyle),
        Keyword("Watermark font effect: ", &Settings::fontEffect, KeywordList::FontEffect),
        {"Watermark text antialiasing: ", &Settings::textAntialiasing},
        Keyword("Watermark text alignment: ", &Settings::textAlignment, KeywordList::TextAlignment),
        {"Watermark text padding: ", &Settings::textPadding},
        {"Watermark text opacity: ", &Settings::textOpacity},
        {"Watermark background color: ", &Settings::backColor, Shown::Text},
        {"Watermark background opacity: ", &Settings::backOpacity},
        Keyword("Watermark boundary: ", &Settings::textBoundary, KeywordList::Boundary),
        Keyword("Watermark position: ", &Settings::textPosition, KeywordList::Position),
        [] {
            ReportRow row{"Watermark offset (x/y): ", &Settings::textXOffset, Shown::NumberPair};
            row.second = &Settings::textYOffset;
            return row;
        }(),
        {"Watermark rotation: ", &Settings::textRotation},
        Keyword("Watermark size/mode: ", &Settings::textSize, KeywordList::SizeMode),
    };
    static const std::vector<ReportRow> image = {
        {"Watermark image: ", &Settings::watermarkImage, Shown::Text},
        {"Watermark greyscale: ", &Settings::watermarkImageGreyscale},
        {"Watermark opacity: ", &Settings::watermarkImageOpacity},
        Keyword("Watermark boundary: ", &Settings::watermarkImageBoundary, KeywordList::Boundary),
        Keyword("Watermark position: ", &Settings::watermarkImagePosition, KeywordList::Position),
        [] {
            ReportRow row{"Watermark offset (x/y): ", &Settings::watermarkImageXOffset,
                          Shown::NumberPair};
            row.second = &Settings::watermarkImageYOffset;
            return row;
        }(),
        {"Watermark rotation: ", &Settings::watermarkImageRotation},
        Keyword("Watermark size/mode: ", &Settings::watermarkImageSize, KeywordList::SizeMode),
    };
    static const std::vector<ReportRow> none;
    switch (kind) {
        case WatermarkKind::Text: return text;
        case WatermarkKind::Image: return image;
        default: return none;
    }
}

const std::vector<ReportRow>& NamingRows() {
    static const std::vector<ReportRow> rows = {
        {"Filename Mask: ", &Settings::filenameMask, Shown::Text},
        Keyword("File Timestamp: ", &Settings::fileTimestamp, KeywordList::Timestamp),
        When(CustomTime, {"Custom Timestamp: ", &Settings::customTimestamp}),
        {"Keep Subfolders: ", &Settings::keepSubfolders},
    };
    return rows;
}

// ---- The checks of the run's records ---------------------------------------

// The input file: it has an extension and holds data.
Refusal CheckInput(RunState& run) {
    const char* line = "Error: Invalid input file";
    if (platform::ExtensionPart(run.inputFile, "/\\ ").empty())
        return {line, run.inputFile, "no file name extension"};
    run.inputPath = run.inputFile;
    run.inputFile.clear();
    if (platform::FileSize(run.inputPath) <= 0) {
        const std::string problem = platform::InputFileProblem(run.inputPath);
        return {line, run.inputPath, problem.empty() ? "cannot be read" : problem};
    }
    return {};
}

// The output folder: the input's folder when none is given. A relative one
// is taken from the working folder, as the input is; "." and "./" name the
// working folder itself.
Refusal ResolveOutputFolder(const Report& debug, RunState& run) {
    if (run.outputFolder.empty()) run.outputFolder = platform::FolderPart(run.inputPath);
    debug.Line("Output: ", run.outputFolder);
    if (run.outputFolder.rfind("..", 0) == 0)
        return {"Error: Incorrect output folder", run.outputFolder,
                "an output folder may not begin with \"..\""};
    if (run.outputFolder.empty() || run.outputFolder[0] != '/') {
        if (run.outputFolder.rfind("./", 0) == 0 || run.outputFolder.rfind(".\\", 0) == 0)
            run.outputFolder.erase(0, 2);
        else if (run.outputFolder == ".") run.outputFolder.clear();
        run.outputFolder = platform::CurrentFolder() + run.outputFolder;
    }
    if (run.outputFolder.back() == '\\') run.outputFolder.back() = '/';
    if (run.outputFolder.back() != '/') run.outputFolder += '/';
    if (!platform::FolderExists(run.outputFolder)) {
        const std::string problem = platform::FolderProblem(run.outputFolder);
        return {"Error: Invalid output folder", run.outputFolder,
                problem.empty() ? "not a folder" : problem};
    }
    return {};
}

// The output format: the product's first when none is given.
Refusal ResolveConversion(const Report& debug, RunState& run) {
    if (run.conversion.empty()) run.conversion = OutputExtensions().front();
    debug.Line("Conversion: ", run.conversion);
    std::string known;
    for (const auto& ext : OutputExtensions()) {
        if (ext == run.conversion) return {};
        known += (known.empty() ? "" : ", ") + ext;
    }
    return {"Error: Invalid conversion type", run.inputPath,
            "cannot convert to \"" + run.conversion + "\" (the program writes " + known + ")"};
}

// A failed check of a report row: the input, the reason and the value refused.
Refusal RowRefusal(const ReportRow& row, const Settings& s, const RunState& run) {
    return {row.error, run.inputPath, ReasonOf(row.error) + " " + RowValue(row, s, "")};
}

// Every check of the settings with its report, in the order of the report.
// Leaves the drawing prepared (canvas, font) in `starter`.
Refusal ReportAndCheckSettings(const Report& debug, const Settings& s, const RunState& run,
                               RunStarter& starter) {
    debug.Rows(InputFormatRows(InputExtensions().front()), s);
    if (Refusal r = ReportAndCheckOutputFormat(debug, s, run)) return r;
    if (const ReportRow* failed = debug.Rows(StepRows(), s)) return RowRefusal(*failed, s, run);

    debug.Line("Watermark: ", KeywordName(KeywordList::WatermarkKind, s.doWatermark));
    debug.Rows(WatermarkRows(s.watermarkKind()), s);
    switch (starter.PrepareDrawing()) {
        case DrawingCheck::Ready: break;
        case DrawingCheck::InvalidFont:
            return {"Error: Invalid watermark font", run.inputPath,
                    "the watermark font \"" + s.font + "\" cannot be loaded"};
        case DrawingCheck::EmptyWatermarkImage:
        case DrawingCheck::InvalidWatermarkImage: {
            const std::string problem = platform::InputFileProblem(s.watermarkImage);
            return {"Error: Invalid watermark image", s.watermarkImage,
                    "watermark image: " + (problem.empty() ? "cannot be used" : problem)};
        }
    }
    debug.Rows(NamingRows(), s);
    return {};
}

// Puts the input file into the list. The number of files taken; why it was
// not taken otherwise.
int ImportInput(const RunState& run, std::string* reason) {
    const std::string ext = text::Lower(platform::ExtensionPart(run.inputPath, "/\\ "));
    std::string accepted;
    for (const auto& e : InputExtensions()) accepted += (accepted.empty() ? "." : ", .") + e;
    *reason = "not a picture the program reads (" + accepted + ")";
    if (ext == "txt" || ext == "lst") return 0;
    return AddInputFile(run.inputPath);
}

// Starts the worker. The reason when no thread could be started for it.
std::string StartWorker(RunStarter& starter, WorkerSinks sinks) {
    std::string why;
    return starter.Start(std::move(sinks), &why) ? std::string() : why;
}

}  // namespace

int RunCliConversion(bool quiet) {
    const Settings& s = GlobalSettings();
    RunState& run = GlobalRunState();
    const Report debug(run.runMode == RunMode::Debug);
    const auto status = [&](const std::string& line) {
        if (!quiet) WriteLine(line);
    };
    const auto stop = [](const Refusal& r) {
        WriteLine(r.line);
        platform::WriteErrorLine(text::FailureLine(r.path, r.reason));
        return 1;
    };

    // An interrupted save leaves no temporary file behind.
    platform::InstallSaveCleanupOnSignals();

    status(CatalogText("General", "Preparing"));
    debug.Line("Input: ", run.inputFile);
    if (Refusal r = CheckInput(run)) return stop(r);
    if (Refusal r = ResolveOutputFolder(debug, run)) return stop(r);
    if (Refusal r = ResolveConversion(debug, run)) return stop(r);

    auto starter = RunStarter::ForProgramRecords();
    if (Refusal r = ReportAndCheckSettings(debug, s, run, *starter)) return stop(r);
    starter->PrepareEncoding();

    status(CatalogText("General", "Importing"));
    std::string notTaken;
    const int added = ImportInput(run, &notTaken);
    status(FormatMessage(CatalogText("Msg", "Import complete"), std::to_string(added)));
    if (added == 0) {
        WriteLine(CatalogText("Msg", "Conversion is not complete"));
        WriteLine(CatalogText("Msg", "Empty input files"));
        platform::WriteErrorLine(text::FailureLine(run.inputPath, notTaken));
        return 1;
    }

    status(CatalogText("General", "Converting"));
    WorkerSinks sinks;
    sinks.debugLine = [](const std::string& line) { WriteLine(text::Shown(line)); };
    // How far the file has come, on a terminal's standard error only: never
    // in a pipe or a file, with -q or beside the debug report.
    std::optional<TerminalProgress> progress;
    if (!quiet && run.runMode != RunMode::Debug && platform::StandardErrorIsTerminal()) {
        progress.emplace(*starter);
        sinks.watchFile = true;
        sinks.failure = [&progress](const std::string& input, const std::string& reason) {
            progress->WriteErrorLine(text::FailureLine(input, reason));
        };
    }
    if (const std::string notStarted = StartWorker(*starter, sinks); !notStarted.empty()) {
        WriteLine(CatalogText("Msg", "Conversion is not complete"));
        platform::WriteErrorLine(text::FailureLine(run.inputPath, notStarted));
        return 1;
    }
    // A file that failed has its reason on standard error from the worker.
    if (progress) progress->FollowUntilFinished();
    const int converted = starter->Wait();
    if (converted == 0) {
        WriteLine(CatalogText("Msg", "Conversion is not complete"));
        return 1;
    }
    status(CatalogText("Msg", "Conversion complete"));
    status(FormatMessage(CatalogText("Msg", "Files converted"), std::to_string(converted),
                         std::to_string(added)));
    return 0;
}

}  // namespace tarnwick
