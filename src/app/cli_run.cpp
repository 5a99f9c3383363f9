// The command-line conversion run: checks, debug report, import, the worker
// and the result lines.
#include <charconv>
#include <cmath>
#include <map>

#include "app/cli.h"
#include "engine/format_registry.h"
#include "engine/input_list.h"
#include "engine/run_starter.h"
#include "engine/run_state.h"
#include "platform/paths.h"
#include "platform/platform.h"
#include "platform/safe_save.h"
#include "settings/fields.h"
#include "settings/options.h"
#include "settings/settings.h"
#include "text/catalog.h"
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
    void Line(const std::string& label, const std::string& value) const {
        if (on_) WriteLine(label + value);
    }
    // Writes the rows in order; the error line of the first failed check,
    // empty when every check passes.
    std::string Rows(const std::vector<ReportRow>& rows, const Settings& s,
                     const std::string& format = "") const {
        for (const ReportRow& row : rows) {
            if (row.shownWhen && !row.shownWhen(s)) continue;
            Line(row.label, RowValue(row, s, format));
            if (row.valid && !row.valid(s)) return row.error;
        }
        return {};
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
std::string ReportAndCheckOutputFormat(const Report& debug, const Settings& s,
                                       const std::string& ext) {
    const int bpp = BppSetting(s, ext);
    const auto& rows = OutputFormatRows(ext);
    if (rows.empty()) debug.Line(text::Upper(ext) + " BPP: ", Num(bpp));
    debug.Rows(rows, s, ext);
    if (!IsBppAllowed(GlobalRegistry(), ext, bpp)) return "Error: Invalid " + ext + "-bpp value";
    if (ext == "jpg" && (s.jpgQuality < 1 || s.jpgQuality > 100))
        return "Error: Invalid jpg-quality value";
    return {};
}

bool Rotating(const Settings& s) { return s.doImageRotation != 0; }
bool Resizing(const Settings& s) { return s.doImageResize != 0; }
bool Correcting(const Settings& s) { return s.doImageColorCorrection != 0; }
bool Thresholding(const Settings& s) { return s.doImageThreshold != 0; }
bool Framing(const Settings& s) { return s.frameKind() == FrameKind::Solid; }
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

// The input file: it has an extension and holds data. Error line or empty.
std::string CheckInput(RunState& run) {
    if (platform::ExtensionPart(run.inputFile, "/\\ ").empty()) return "Error: Invalid input file";
    run.inputPath = run.inputFile;
    run.inputFile.clear();
    if (platform::FileSize(run.inputPath) <= 0) return "Error: Invalid input file";
    return {};
}

// The output folder: the input's folder when none is given; a relative one
// is taken from the program's folder. Error line or empty.
std::string ResolveOutputFolder(const Report& debug, RunState& run) {
    if (run.outputFolder.empty()) run.outputFolder = platform::FolderPart(run.inputPath);
    debug.Line("Output: ", run.outputFolder);
    if (run.outputFolder.rfind("..", 0) == 0) return "Error: Incorrect output folder";
    if (run.outputFolder.empty() || run.outputFolder[0] != '/') {
        if (run.outputFolder.rfind("./", 0) == 0 || run.outputFolder.rfind(".\\", 0) == 0)
            run.outputFolder.erase(0, 2);
        run.outputFolder = run.programFolder + run.outputFolder;
    }
    if (run.outputFolder.back() == '\\') run.outputFolder.back() = '/';
    if (run.outputFolder.back() != '/') run.outputFolder += '/';
    if (!platform::FolderExists(run.outputFolder)) return "Error: Invalid output folder";
    return {};
}

// The output format: the product's first when none is given.
std::string ResolveConversion(const Report& debug, RunState& run) {
    if (run.conversion.empty()) run.conversion = OutputExtensions().front();
    debug.Line("Conversion: ", run.conversion);
    for (const auto& ext : OutputExtensions())
        if (ext == run.conversion) return {};
    return "Error: Invalid conversion type";
}

// Every check of the settings with its report, in the order of the report.
// Leaves the drawing prepared (canvas, font) in `starter`.
std::string ReportAndCheckSettings(const Report& debug, const Settings& s, const RunState& run,
                                   RunStarter& starter) {
    debug.Rows(InputFormatRows(InputExtensions().front()), s);
    if (auto err = ReportAndCheckOutputFormat(debug, s, run.conversion); !err.empty()) return err;
    if (auto err = debug.Rows(StepRows(), s); !err.empty()) return err;

    debug.Line("Watermark: ", KeywordName(KeywordList::WatermarkKind, s.doWatermark));
    debug.Rows(WatermarkRows(s.watermarkKind()), s);
    switch (starter.PrepareDrawing()) {
        case DrawingCheck::Ready: break;
        case DrawingCheck::InvalidFont: return "Error: Invalid watermark font";
        case DrawingCheck::EmptyWatermarkImage:
        case DrawingCheck::InvalidWatermarkImage: return "Error: Invalid watermark image";
    }
    debug.Rows(NamingRows(), s);
    return {};
}

// Puts the input file into the list. The number of files taken.
int ImportInput(const RunState& run) {
    const std::string ext = text::Lower(platform::ExtensionPart(run.inputPath, "/\\ "));
    if (ext == "txt" || ext == "lst") return 0;
    return AddInputFile(run.inputPath);
}

}  // namespace

int RunCliConversion(bool quiet) {
    const Settings& s = GlobalSettings();
    RunState& run = GlobalRunState();
    const Report debug(run.runMode == RunMode::Debug);
    const auto status = [&](const std::string& line) {
        if (!quiet) WriteLine(line);
    };
    const auto stop = [](const std::string& line) {
        WriteLine(line);
        return 1;
    };

    // An interrupted save leaves no temporary file behind.
    platform::InstallSaveCleanupOnSignals();

    status(CatalogText("General", "Preparing"));
    debug.Line("Input: ", run.inputFile);
    if (auto err = CheckInput(run); !err.empty()) return stop(err);
    if (auto err = ResolveOutputFolder(debug, run); !err.empty()) return stop(err);
    if (auto err = ResolveConversion(debug, run); !err.empty()) return stop(err);

    auto starter = RunStarter::ForProgramRecords();
    if (auto err = ReportAndCheckSettings(debug, s, run, *starter); !err.empty()) return stop(err);
    starter->PrepareEncoding();

    status(CatalogText("General", "Importing"));
    const int added = ImportInput(run);
    status(FormatMessage(CatalogText("Msg", "Import complete"), std::to_string(added)));
    if (added == 0) {
        WriteLine(CatalogText("Msg", "Conversion is not complete"));
        WriteLine(CatalogText("Msg", "Empty input files"));
        return 1;
    }

    status(CatalogText("General", "Converting"));
    WorkerSinks sinks;
    sinks.debugLine = [](const std::string& line) { WriteLine(line); };
    std::string why;
    if (!starter->Start(sinks, &why))
        platform::WriteErrorLine("tarnwick: " + run.inputPath + ": " + why);
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
