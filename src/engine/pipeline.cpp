#include "engine/pipeline.h"

#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "engine/encoding.h"
#include "engine/format_registry.h"
#include "engine/input_list.h"
#include "engine/limits.h"
#include "engine/naming.h"
#include "engine/steps.h"
#include "platform/platform.h"

namespace tarnwick {

namespace {

// ---- Worker line output and pause -----------------------------------------

std::mutex& WriterMutex() {
    static std::mutex m;
    return m;
}

std::function<void(const std::string&)>& WriterSlot() {
    static std::function<void(const std::string&)> writer;
    return writer;
}

std::function<void(const std::string&)> CurrentWriter() {
    std::lock_guard<std::mutex> lock(WriterMutex());
    if (WriterSlot()) return WriterSlot();
    return [](const std::string& line) { platform::WriteLine(line); };
}

struct PauseGate {
    std::mutex m;
    std::condition_variable cv;
    bool paused = false;
};

PauseGate& Gate() {
    static PauseGate gate;
    return gate;
}

void WaitWhilePaused() {
    PauseGate& g = Gate();
    std::unique_lock<std::mutex> lock(g.m);
    g.cv.wait(lock, [&] { return !g.paused; });
}

// ---- Decoding -------------------------------------------------------------

uint32_t GetBe32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}

// Reads the PNG signature and the IHDR chunk. False when the file is not a
// PNG whose size can be read, or when the image is larger than the engine takes.
bool PngHeaderAcceptable(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    unsigned char head[24];
    size_t got = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    if (got != sizeof head) return false;
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    for (int i = 0; i < 8; ++i)
        if (head[i] != kSignature[i]) return false;
    if (GetBe32(head + 8) != 13 || head[12] != 'I' || head[13] != 'H' || head[14] != 'D' ||
        head[15] != 'R')
        return false;
    const unsigned long long width = GetBe32(head + 16);
    const unsigned long long height = GetBe32(head + 20);
    if (width == 0 || height == 0) return false;
    return width * height <= kMaxImagePixels;
}

// Brings an image of a type the later steps cannot take to a standard one.
// Deep colour types stay: the tone-mapping step makes 24-bit images of them.
Bitmap NormaliseType(Bitmap image) {
    FIBITMAP* dib = image.get();
    switch (FreeImage_GetImageType(dib)) {
        case FIT_BITMAP:
        case FIT_RGB16:
        case FIT_RGBA16:
        case FIT_RGBF:
        case FIT_RGBAF:
            return image;
        case FIT_UINT16:  // 16-bit greyscale: keep the high byte, as 8-bit grey
            return Bitmap(FreeImage_ConvertTo8Bits(dib));
        case FIT_FLOAT:
            return Bitmap(FreeImage_ConvertToRGBF(dib));
        default:
            return Bitmap(FreeImage_ConvertToStandardType(dib, TRUE));
    }
}

Bitmap DecodePng(const std::string& path) {
    if (!PngHeaderAcceptable(path)) return Bitmap();
    Bitmap image(FreeImage_Load(FIF_PNG, path.c_str(), 0));
    if (!image) return image;
    return NormaliseType(std::move(image));
}

// ---- Steps that live here -------------------------------------------------

// Brings an image deeper than 32 bits to 8 bits per channel. Sixteen-bit
// PNG samples are ordinary colours with more precision: they keep their
// colours (the high byte of each sample) and their transparency, which the
// next step flattens onto white. Only floating-point images, whose values are
// not bounded, are tone-mapped.
Bitmap ReduceDeepImage(Bitmap image) {
    switch (FreeImage_GetImageType(image.get())) {
        case FIT_RGB16:
            return Bitmap(FreeImage_ConvertTo24Bits(image.get()));
        case FIT_RGBA16:
            return Bitmap(FreeImage_ConvertTo32Bits(image.get()));
        default:
            return Bitmap(FreeImage_TmoDrago03(image.get(), 1.0, 0.0));
    }
}

// Puts a 32-bit image onto white where it stands, with the arithmetic of
// FreeImage_Composite, and makes it opaque: the same pixels as compositing
// followed by the conversion back to 32 bits, without the two extra bitmaps.
void FlattenOntoWhiteInPlace(FIBITMAP* dib) {
    const unsigned width = FreeImage_GetWidth(dib);
    const unsigned height = FreeImage_GetHeight(dib);
    for (unsigned y = 0; y < height; ++y) {
        BYTE* px = FreeImage_GetScanLine(dib, static_cast<int>(y));
        for (unsigned x = 0; x < width; ++x, px += 4) {
            const unsigned alpha = px[FI_RGBA_ALPHA];
            if (alpha == 255) continue;
            if (alpha == 0) {
                px[FI_RGBA_BLUE] = px[FI_RGBA_GREEN] = px[FI_RGBA_RED] = 255;
            } else {
                const unsigned back = (255 - alpha) * 255;
                px[FI_RGBA_BLUE] = static_cast<BYTE>((alpha * px[FI_RGBA_BLUE] + back) >> 8);
                px[FI_RGBA_GREEN] = static_cast<BYTE>((alpha * px[FI_RGBA_GREEN] + back) >> 8);
                px[FI_RGBA_RED] = static_cast<BYTE>((alpha * px[FI_RGBA_RED] + back) >> 8);
            }
            px[FI_RGBA_ALPHA] = 255;
        }
    }
}

// Every transparent image is put onto white and continues as a 24-bit image.
// When nothing between here and the depth step looks at the pixel format and
// that step would make a 32-bit image again, the 32-bit image is flattened in
// place instead (same result, a third of the memory traffic).
Bitmap FlattenOntoWhite(Bitmap image, bool keep32) {
    if (!FreeImage_IsTransparent(image.get())) return image;
    if (keep32 && FreeImage_GetImageType(image.get()) == FIT_BITMAP &&
        FreeImage_GetBPP(image.get()) == 32) {
        FlattenOntoWhiteInPlace(image.get());
        return image;
    }
    const unsigned bpp = FreeImage_GetBPP(image.get());
    if (bpp != 8 && bpp != 32) {
        image.reset(FreeImage_ConvertTo32Bits(image.get()));
        if (!image) return image;
    }
    RGBQUAD white{255, 255, 255, 0};
    return Bitmap(FreeImage_Composite(image.get(), FALSE, &white, nullptr));
}

// Saves through a temporary file beside the target, so a failed save never
// leaves a partial file or destroys an existing one.
int SaveImage(FIBITMAP* image, const std::string& path, const RunState& run) {
    const std::string temp = platform::TempPathBeside(path);
    BOOL saved = FreeImage_Save(static_cast<FREE_IMAGE_FORMAT>(run.outputFif), image, temp.c_str(),
                                run.saveFlags);
    if (saved && platform::RenameFile(temp, path)) return 1;
    platform::RemoveFile(temp);
    return 0;
}

void ApplyTimestampRule(const Settings& s, const RunState& run) {
    if (s.fileTimestamp == 1) {
        platform::CopyModificationTime(run.inputPath, run.outputPath);  // a failure is ignored
    } else if (s.fileTimestamp == 2) {
        platform::SetFileModifiedLocal(run.outputPath, s.customTimestamp);
    }
}

}  // namespace

void SetWorkerLineWriter(std::function<void(const std::string&)> writer) {
    std::lock_guard<std::mutex> lock(WriterMutex());
    WriterSlot() = std::move(writer);
}

void PauseWorker() {
    PauseGate& g = Gate();
    std::lock_guard<std::mutex> lock(g.m);
    g.paused = true;
}

void ResumeWorker() {
    PauseGate& g = Gate();
    {
        std::lock_guard<std::mutex> lock(g.m);
        g.paused = false;
    }
    g.cv.notify_all();
}

int ConvertFile() {
    EnsureFreeImage();
    RunState& run = GlobalRunState();
    const Settings& s = GlobalSettings();
    const FormatRegistry& reg = GlobalRegistry();

    // Decode.
    Bitmap image = DecodePng(run.inputPath);
    run.sourceBpp = image ? static_cast<int32_t>(FreeImage_GetBPP(image.get())) : 0;
    if (!image || FreeImage_GetWidth(image.get()) == 0 || FreeImage_GetHeight(image.get()) == 0)
        return 0;

    int width = 0, height = 0;
    auto readSize = [&] {
        width = static_cast<int>(FreeImage_GetWidth(image.get()));
        height = static_cast<int>(FreeImage_GetHeight(image.get()));
    };

    // Any step that fails leaves no image; the file then fails at the save.
    if (s.doImageRotation) image = RotateImage(std::move(image), s);
    if (image) {
        readSize();
        if (s.doImageResize) image = ResizeImage(std::move(image), width, height, s);
    }
    if (image) {
        readSize();
        // The final size and depth are known from here on; the watermark text
        // may show them, so they are recorded before it is drawn (the depth
        // step resolves the same depth again).
        run.outputWidth = width;
        run.outputHeight = height;
        if (run.autoBpp == 1) run.outputBpp = AutoBppFor(reg, run.conversion, run.sourceBpp);
        if (FreeImage_GetBPP(image.get()) > 32) image = ReduceDeepImage(std::move(image));
    }
    if (image) {
        const bool laterStepsPlain = !s.doImageColorCorrection && !s.doImageGreyscale &&
                                     !s.doImageThreshold && s.doFrame == 0 && s.doWatermark == 0;
        image = FlattenOntoWhite(std::move(image), laterStepsPlain && run.outputBpp == 32);
    }
    if (image && (s.doImageFlipHorizontal || s.doImageFlipVertical)) FlipImage(image.get(), s);
    if (image && s.doImageColorCorrection) image = CorrectColors(std::move(image), s);
    if (image && s.doImageGreyscale) image = MakeGreyscale(std::move(image), s);
    if (image && s.doImageThreshold) image = ApplyThreshold(std::move(image), s);
    if (image && s.doFrame != 0) image = DrawFrame(std::move(image), width, height, s);
    if (image && s.doWatermark != 0)
        image = DrawWatermark(std::move(image), width, height, s, run);

    image = ConvertDepth(std::move(image), reg, run);
    run.outputWidth = width;
    run.outputHeight = height;

    run.outputPath = BuildOutputPath(s, run);

    if (!image) return 0;
    if (run.conversion == "bmp" && run.outputBpp == 8 && s.bmpColorTable == 1)
        return SaveBmpExactPalette(image.get(), run.outputPath, run);
    return SaveImage(image.get(), run.outputPath, run);
}

int RunConversionWorker(int /*unused*/) {
    EnsureFreeImage();
    RunState& run = GlobalRunState();
    const Settings& s = GlobalSettings();
    WorkerProgress& progress = GlobalProgress();
    const bool debug = run.inputGiven && run.runMode == "DEBUG";
    const auto writeLine = CurrentWriter();

    int32_t started = 0;
    int32_t converted = 0;
    const InputFileList& list = GlobalInputList();
    for (auto it = list.begin();; ++it) {
        WaitWhilePaused();
        if (progress.keepRunning == 0 || it == list.end()) break;
        ++started;
        run.inputPath = it->first;
        run.relativeSubfolder = it->second.relativeSubfolder;
        {
            std::lock_guard<std::mutex> lock(ProgressLock());
            progress.currentIndex = started;
            progress.currentFile = run.inputPath;
        }
        if (debug) writeLine("Processing: " + run.inputPath);
        const int ok = ConvertFile();
        if (debug) {
            writeLine("Saving As: " + run.outputPath);
            writeLine(ok == 1 ? "OK" : "Not OK");
        }
        if (ok == 1) {
            ++converted;
            run.randomNumber = NewRandomNumber();
            ++run.fileNumber;
            ApplyTimestampRule(s, run);
        }
    }

    std::lock_guard<std::mutex> lock(ProgressLock());
    progress.convertedCount = converted;
    return 0;
}

}  // namespace tarnwick
