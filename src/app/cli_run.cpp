// The command-line conversion run: checks, debug report, import, the worker
// and the result lines.
#include <charconv>
#include <cmath>
#include <thread>

#include "app/cli.h"
#include "engine/encoding.h"
#include "engine/format_registry.h"
#include "engine/input_list.h"
#include "engine/pipeline.h"
#include "engine/run_state.h"
#include "engine/steps.h"
#include "platform/platform.h"
#include "settings/options.h"
#include "settings/settings.h"
#include "text/text_util.h"
#include "text/catalog.h"

namespace tarnwick {

namespace {

using platform::WriteLine;

std::string Num(long long v) { return std::to_string(v); }

// The text after the last '.' that follows the last '\', '/' or blank.
std::string InputExtensionOf(const std::string& path) {
    auto sep = path.find_last_of("\\/ ");
    auto dot = path.rfind('.');
    if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return {};
    return path.substr(dot + 1);
}

// The text up to and including the last '\' or '/'.
std::string FolderPartOf(const std::string& path) {
    auto sep = path.find_last_of("\\/");
    return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
}

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

// Debug report line writer; silent unless the debug report is on.
class Report {
public:
    explicit Report(bool on) : on_(on) {}
    void operator()(const std::string& label, const std::string& value) const {
        if (on_) WriteLine(label + value);
    }
    bool on() const { return on_; }

private:
    bool on_;
};

// Input format report: the load options of the first input format.
void ReportInputFormat(const Report& debug, const Settings& s, const std::string& ext) {
    if (ext == "dds") debug("DDS Load As: ", KeywordName(KeywordList::DdsLoadAs, s.ddsLoadAs));
    else if (ext == "gif")
        debug("GIF Frame Loading: ", KeywordName(KeywordList::FrameLoading, s.gifFrameLoading));
    else if (ext == "ico")
        debug("ICO Frame Loading: ", KeywordName(KeywordList::FrameLoading, s.icoFrameLoading));
    else if (ext == "raw") {
        debug("RAW Load As: ", KeywordName(KeywordList::RawLoadAs, s.rawLoadAs));
        debug("RAW Header Size: ", Num(s.rawHeaderSize));
        debug("RAW Image Width: ", Num(s.rawImageWidth));
        debug("RAW Image Height: ", Num(s.rawImageHeight));
        debug("RAW Tone Mapping: ", KeywordName(KeywordList::ToneMapping, s.rawToneMapping));
    } else if (ext == "tiff")
        debug("TIFF Frame Loading: ", KeywordName(KeywordList::FrameLoading, s.tiffFrameLoading));
}

// Output format report: the output format's options, then its checks. Returns the error
// line, empty when the options pass.
std::string ReportAndCheckOutputFormat(const Report& debug, const Settings& s,
                                       const std::string& ext) {
    const int bpp = BppSetting(s, ext);
    auto compression = [&](int v) { return KeywordName(KeywordList::Compression, v, ext); };
    if (ext == "bmp") {
        debug("BMP BPP: ", Num(s.bmpBpp));
        debug("BMP Compression: ", compression(s.bmpCompression));
        debug("BMP Color Table: ", KeywordName(KeywordList::ColorTable, s.bmpColorTable));
    } else if (ext == "exr") {
        debug("EXR BPP: ", Num(s.exrBpp));
        debug("EXR Compression: ", compression(s.exrCompression));
    } else if (ext == "jpg") {
        debug("JPG BPP: ", Num(s.jpgBpp));
        debug("JPG Quality: ", Num(s.jpgQuality));
        debug("JPG Chroma Subsampling: ", KeywordName(KeywordList::Chroma, s.jpgChroma));
        debug("JPG Save As: ", KeywordName(KeywordList::JpegSaveAs, s.jpgSaveAs));
    } else if (ext == "png") {
        debug("PNG BPP: ", Num(s.pngBpp));
        debug("PNG Compression: ", compression(s.pngCompression));
        debug("PNG Interlaced: ", Num(s.pngInterlaced));
    } else if (ext == "tga") {
        debug("TGA BPP: ", Num(s.tgaBpp));
        debug("TGA Compression: ", compression(s.tgaCompression));
    } else if (ext == "tiff") {
        debug("TIFF BPP: ", Num(s.tiffBpp));
        debug("TIFF Compression: ", compression(s.tiffCompression));
        debug("TIFF Color Model: ", KeywordName(KeywordList::ColorModel, s.tiffColorModel));
    } else {
        debug(text::Upper(ext) + " BPP: ", Num(bpp));
    }
    if (!IsBppAllowed(GlobalRegistry(), ext, bpp)) return "Error: Invalid " + ext + "-bpp value";
    if (ext == "jpg" && (s.jpgQuality < 1 || s.jpgQuality > 100))
        return "Error: Invalid jpg-quality value";
    return {};
}

// Steps report: transforms and adjustments with their checks in place.
std::string ReportAndCheckSteps(const Report& debug, const Settings& s) {
    if (s.doImageRotation) {
        debug("Image Rotation Type: ", KeywordName(KeywordList::RotationType, s.imageRotationType));
        debug("Image Rotation: ", Num(s.imageRotation));
        debug("Image Rotation Back Color: ", s.imageRotationBackColor);
    }
    if (s.doImageResize) {
        debug("Width: ", Num(s.imageWidth) + " " + KeywordName(KeywordList::SizeUnit, s.imageWidthUnit));
        if (s.imageWidth == 0) return "Error: Invalid width value";
        debug("Height: ",
              Num(s.imageHeight) + " " + KeywordName(KeywordList::SizeUnit, s.imageHeightUnit));
        if (s.imageHeight == 0) return "Error: Invalid height value";
        debug("Keep Aspect Ratio: ", Num(s.keepAspectRatio));
        debug("Image Resize Type: ", KeywordName(KeywordList::ResizeType, s.imageResizeType));
        debug("Image Resize Algorithm: ",
              KeywordName(KeywordList::ResizeAlgorithm, s.imageResizeAlgorithm));
    }
    debug("Flip Horizontal: ", Num(s.doImageFlipHorizontal));
    debug("Flip Vertical: ", Num(s.doImageFlipVertical));
    if (s.doImageColorCorrection) {
        debug("Brightness: ", Num(s.imageBrightness));
        if (s.imageBrightness < -100 || s.imageBrightness > 100)
            return "Error: Invalid brightness value";
        debug("Contrast: ", Num(s.imageContrast));
        if (s.imageContrast < -100 || s.imageContrast > 100) return "Error: Invalid contrast value";
        debug("Gamma: ", GammaText(s.imageGamma));
        // A value that is not a number fails both comparisons and is refused.
        if (!(s.imageGamma >= 0.01f && s.imageGamma <= 9.99f)) return "Error: Invalid gamma value";
        debug("Invert: ", Num(s.imageInvert));
    }
    debug("Greyscale: ", Num(s.doImageGreyscale));
    if (s.doImageThreshold) debug("Image Threshold: ", Num(s.imageThreshold));
    debug("Frame: ", KeywordName(KeywordList::FrameKind, s.doFrame));
    if (s.doFrame == 1) {
        debug("Frame left: ", Num(s.solidLeft));
        debug("Frame right: ", Num(s.solidRight));
        debug("Frame top: ", Num(s.solidTop));
        debug("Frame bottom: ", Num(s.solidBottom));
        debug("Frame left color: ", s.solidLeftColor);
        debug("Frame right color: ", s.solidRightColor);
        debug("Frame top color: ", s.solidTopColor);
        debug("Frame bottom color: ", s.solidBottomColor);
        debug("Frame opacity: ", Num(s.solidOpacity));
    }
    return {};
}

// Watermark report: the watermark report, then the font or image check.
std::string ReportAndCheckWatermark(const Report& debug, const Settings& s, bool& fontLoaded) {
    debug("Watermark: ", KeywordName(KeywordList::WatermarkKind, s.doWatermark));
    if (s.doWatermark == 1) {
        debug("Watermark text: ", s.watermarkText);
        debug("Watermark font: ", s.font);
        debug("Watermark font size: ", Num(s.fontSize));
        debug("Watermark font leading: ", Num(s.fontLeading));
        debug("Watermark font color: ", s.fontColor);
        debug("Watermark font style: ", KeywordName(KeywordList::FontStyle, s.fontStyle));
        debug("Watermark font effect: ", KeywordName(KeywordList::FontEffect, s.fontEffect));
        debug("Watermark text antialiasing: ", Num(s.textAntialiasing));
        debug("Watermark text alignment: ", KeywordName(KeywordList::TextAlignment, s.textAlignment));
        debug("Watermark text padding: ", Num(s.textPadding));
        debug("Watermark text opacity: ", Num(s.textOpacity));
        debug("Watermark background color: ", s.backColor);
        debug("Watermark background opacity: ", Num(s.backOpacity));
        debug("Watermark boundary: ", KeywordName(KeywordList::Boundary, s.textBoundary));
        debug("Watermark position: ", KeywordName(KeywordList::Position, s.textPosition));
        debug("Watermark offset (x/y): ", Num(s.textXOffset) + "/" + Num(s.textYOffset));
        debug("Watermark rotation: ", Num(s.textRotation));
        debug("Watermark size/mode: ", KeywordName(KeywordList::SizeMode, s.textSize));
        if (!LoadWatermarkFont(s)) return "Error: Invalid watermark font";
        fontLoaded = true;
    } else if (s.doWatermark == 2) {
        debug("Watermark image: ", s.watermarkImage);
        debug("Watermark greyscale: ", Num(s.watermarkImageGreyscale));
        debug("Watermark opacity: ", Num(s.watermarkImageOpacity));
        debug("Watermark boundary: ", KeywordName(KeywordList::Boundary, s.watermarkImageBoundary));
        debug("Watermark position: ", KeywordName(KeywordList::Position, s.watermarkImagePosition));
        debug("Watermark offset (x/y): ",
              Num(s.watermarkImageXOffset) + "/" + Num(s.watermarkImageYOffset));
        debug("Watermark rotation: ", Num(s.watermarkImageRotation));
        debug("Watermark size/mode: ", KeywordName(KeywordList::SizeMode, s.watermarkImageSize));
        if (platform::FileSize(s.watermarkImage) <= 0) return "Error: Invalid watermark image";
    }
    return {};
}

// Naming report.
void ReportNaming(const Report& debug, const Settings& s) {
    debug("Filename Mask: ", s.filenameMask);
    debug("File Timestamp: ", KeywordName(KeywordList::Timestamp, s.fileTimestamp));
    if (s.fileTimestamp == 2) debug("Custom Timestamp: ", Num(s.customTimestamp));
    debug("Keep Subfolders: ", Num(s.keepSubfolders));
}

}  // namespace

int RunCliConversion(bool quiet) {
    Settings& s = GlobalSettings();
    RunState& run = GlobalRunState();
    const Report debug(run.runMode == "DEBUG");
    auto status = [&](const std::string& line) {
        if (!quiet) WriteLine(line);
    };
    auto stop = [](const std::string& line) {
        WriteLine(line);
        return 1;
    };

    status(CatalogText("General", "Preparing"));
    debug("Input: ", run.inputFile);

    // Input file.
    if (InputExtensionOf(run.inputFile).empty()) return stop("Error: Invalid input file");
    run.inputPath = run.inputFile;
    run.inputFile.clear();
    if (platform::FileSize(run.inputPath) <= 0) return stop("Error: Invalid input file");

    // Output folder.
    if (run.outputFolder.empty()) run.outputFolder = FolderPartOf(run.inputPath);
    debug("Output: ", run.outputFolder);
    if (run.outputFolder.rfind("..", 0) == 0) return stop("Error: Incorrect output folder");
    if (run.outputFolder.empty() || run.outputFolder[0] != '/') {
        if (run.outputFolder.rfind("./", 0) == 0 || run.outputFolder.rfind(".\\", 0) == 0)
            run.outputFolder.erase(0, 2);
        run.outputFolder = run.programFolder + run.outputFolder;
    }
    if (run.outputFolder.back() == '\\') run.outputFolder.back() = '/';
    if (run.outputFolder.back() != '/') run.outputFolder += '/';
    if (!platform::FolderExists(run.outputFolder)) return stop("Error: Invalid output folder");

    // Output format.
    if (run.conversion.empty()) run.conversion = OutputExtensions().front();
    debug("Conversion: ", run.conversion);
    bool known = false;
    for (const auto& ext : OutputExtensions()) known = known || ext == run.conversion;
    if (!known) return stop("Error: Invalid conversion type");

    if (debug.on()) ReportInputFormat(debug, s, InputExtensions().front());
    if (auto err = ReportAndCheckOutputFormat(debug, s, run.conversion); !err.empty())
        return stop(err);
    if (auto err = ReportAndCheckSteps(debug, s); !err.empty()) return stop(err);

    // Frames and watermarks draw on a canvas that is set up on this thread;
    // when it cannot be, the font check below fails for a text watermark.
    if (s.doFrame != 0 || s.doWatermark != 0) PrepareCanvas();
    bool fontLoaded = false;
    if (auto err = ReportAndCheckWatermark(debug, s, fontLoaded); !err.empty()) return stop(err);
    ReportNaming(debug, s);

    PrepareOutputEncoding(GlobalRegistry(), s, run, run.conversion);

    // Import.
    status(CatalogText("General", "Importing"));
    WorkerProgress& progress = GlobalProgress();
    int added = 0;
    const std::string ext = text::Lower(InputExtensionOf(run.inputPath));
    if (ext != "txt" && ext != "lst") added = AddInputFile(run.inputPath);
    progress.convertedCount = added;
    status(FormatMessage(CatalogText("Msg", "Import complete"), std::to_string(added)));
    if (added == 0) {
        WriteLine(CatalogText("Msg", "Conversion is not complete"));
        WriteLine(CatalogText("Msg", "Empty input files"));
        if (fontLoaded) ReleaseWatermarkFont();
        return 1;
    }

    // Convert on the worker thread and wait for it.
    status(CatalogText("General", "Converting"));
    {
        std::lock_guard<std::mutex> lock(ProgressLock());
        progress.currentIndex = 0;
        progress.currentFile.clear();
        progress.convertedCount = 0;
        progress.keepRunning = 1;
    }
    std::thread worker(RunConversionWorker, 0);
    worker.join();
    int converted;
    {
        std::lock_guard<std::mutex> lock(ProgressLock());
        converted = progress.convertedCount;
    }

    int exitCode = 1;
    if (converted > 0) {
        status(CatalogText("Msg", "Conversion complete"));
        status(FormatMessage(CatalogText("Msg", "Files converted"), std::to_string(converted),
                             std::to_string(added)));
        exitCode = 0;
    } else {
        WriteLine(CatalogText("Msg", "Conversion is not complete"));
    }
    if (fontLoaded) ReleaseWatermarkFont();
    return exitCode;
}

}  // namespace tarnwick
