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
#include "engine/png_chunks.h"
#include "engine/png_guard.h"
#include "engine/steps.h"
#include "engine/stream_convert.h"
#include "platform/platform.h"

namespace tarnwick {

namespace {

// ---- Decoding -------------------------------------------------------------

// Brings an image of a type the later steps cannot take to a standard one.
// Deep colour types stay: the tone-mapping step makes 24-bit images of them.
Bitmap NormaliseType(Bitmap image) {
    FIBITMAP* dib = image.get();
    switch (FreeImage_GetImageType(dib)) {
        case FIT_BITMAP:
        case FIT_RGB16:
        case FIT_RGBA16:
        case FIT_RGBF:
        case FIT_RGBAF: return image;
        case FIT_UINT16:  // 16-bit greyscale: keep the high byte, as 8-bit grey
            return Bitmap(FreeImage_ConvertTo8Bits(dib));
        case FIT_FLOAT: return Bitmap(FreeImage_ConvertToRGBF(dib));
        default: return Bitmap(FreeImage_ConvertToStandardType(dib, TRUE));
    }
}

// The file as the library's loader reads it: without its text chunks, and
// with the bytes read so far, against the file's size, as the measure of how
// far the decode has come (the loader reads as it decodes rows).
struct DecodeSource {
    PngChunkFilter& filter;
    ProgressSpan progress;
    uint64_t fileBytes = 0;
};

unsigned DLL_CALLCONV ReadFiltered(void* buffer, unsigned size, unsigned count, fi_handle h) {
    if (size == 0) return 0;
    auto& source = *static_cast<DecodeSource*>(h);
    const size_t read = source.filter.Read(buffer, static_cast<size_t>(size) * count);
    source.progress.Report(source.filter.Tell(), source.fileBytes);
    return static_cast<unsigned>(read / size);
}

unsigned DLL_CALLCONV WriteNothing(void*, unsigned, unsigned, fi_handle) { return 0; }

int DLL_CALLCONV SeekFiltered(fi_handle h, long offset, int origin) {
    auto& filter = static_cast<DecodeSource*>(h)->filter;
    if (origin == SEEK_END) return -1;
    const int64_t base = origin == SEEK_CUR ? static_cast<int64_t>(filter.Tell()) : 0;
    if (base + offset < 0) return -1;
    return filter.Seek(static_cast<uint64_t>(base + offset)) ? 0 : -1;
}

long DLL_CALLCONV TellFiltered(fi_handle h) {
    return static_cast<long>(static_cast<DecodeSource*>(h)->filter.Tell());
}

struct FileCloser {
    void operator()(std::FILE* f) const noexcept {
        if (f) std::fclose(f);
    }
};

// The library's PNG loader, fed the file without its text chunks. A grey
// picture below 8 bits is widened to 8-bit levels (0, 85, 170, 255 for two
// bits); its transparent level is widened the same way, so the level the
// file names is the one that becomes transparent.
Bitmap DecodePng(const std::string& path, const ProgressSpan& progress) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return Bitmap();
    std::setvbuf(file.get(), nullptr, _IOFBF, 1 << 16);
    PngChunkFilter filter(file.get());
    DecodeSource source{filter, progress, 0};
    if (progress) source.fileBytes = static_cast<uint64_t>(std::max(0LL, platform::FileSize(path)));
    FreeImageIO io{ReadFiltered, WriteNothing, SeekFiltered, TellFiltered};
    Bitmap image(FreeImage_LoadFromHandle(FIF_PNG, &io, &source, 0));
    if (!image) return image;
    const int depth = filter.bitDepth();
    if (filter.colorType() == 0 && (depth == 1 || depth == 2 || depth == 4) &&
        filter.transparentGrey() && FreeImage_GetBPP(image.get()) == 8) {
        BYTE table[256];
        std::memset(table, 0xFF, sizeof table);
        const unsigned level = *filter.transparentGrey() * (255u / ((1u << depth) - 1));
        if (level < 256) table[level] = 0;
        FreeImage_SetTransparencyTable(image.get(), table, 256);
    }
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
        case FIT_RGB16: return Bitmap(FreeImage_ConvertTo24Bits(image.get()));
        case FIT_RGBA16: return Bitmap(FreeImage_ConvertTo32Bits(image.get()));
        default: return Bitmap(FreeImage_TmoDrago03(image.get(), 1.0, 0.0));
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

FileResult ConvertFile(const Settings& s, RunState& run, const FormatRegistry& reg,
                       FileProgress* progress) {
    EnsureFreeImage();
    FileResult result;
    const auto fail = [&](FileFailure failure, std::string reason) {
        result.failure = failure;
        result.reason = std::move(reason);
        return result;
    };

    // Every input passes the guard before anything is decoded.
    const PngCheck check = CheckPngInput(run.inputPath);
    if (!check.ok) {
        run.sourceBpp = 0;
        return fail(FileFailure::HeaderRefused, check.reason);
    }

    // A conversion that only changes the container goes row by row.
    const ProgressSpan whole{progress};
    const PlainConversion plain = ConvertPlainFile(s, run, reg, whole);
    switch (plain.result) {
        case PlainResult::Converted: result.converted = 1; return result;
        case PlainResult::DecodeFailed: return fail(FileFailure::DecodeFailed, plain.reason);
        case PlainResult::SaveFailed: return fail(FileFailure::SaveFailed, plain.reason);
        case PlainResult::NotPlain: break;
    }

    // Everything else decodes the whole picture, when it can be held.
    if (std::string why; !CanDecodeWhole(check, &why)) {
        run.sourceBpp = 0;
        return fail(FileFailure::HeaderRefused, why);
    }
    // The decode, the steps and the encoding each have their share of the
    // file's work; the library decodes and encodes without telling rows, so
    // the bytes it reads and writes stand for them.
    const ProgressSpan decodeShare = whole.Piece(0, 400);
    const ProgressSpan stepShare = whole.Piece(400, 800);
    const ProgressSpan encodeShare = whole.Piece(800, 1000);
    Bitmap image = DecodePng(run.inputPath, decodeShare);
    run.sourceBpp = image ? static_cast<int32_t>(FreeImage_GetBPP(image.get())) : 0;
    if (!image || FreeImage_GetWidth(image.get()) == 0 || FreeImage_GetHeight(image.get()) == 0)
        return fail(FileFailure::DecodeFailed, "cannot decode the picture");
    decodeShare.Complete();
    // Each step that runs is an equal piece of the steps' share; the
    // flattening and the depth step always run.
    const int stepsPlanned =
        (s.doImageRotation != 0) + (s.doImageResize != 0) + (FreeImage_GetBPP(image.get()) > 32) +
        1 + (s.doImageFlipHorizontal || s.doImageFlipVertical) + (s.doImageColorCorrection != 0) +
        (s.doImageGreyscale != 0) + (s.doImageThreshold != 0) + (s.frameKind() != FrameKind::None) +
        (s.watermarkKind() != WatermarkKind::None) + 1;
    int stepsDone = 0;
    const auto stepDone = [&] {
        stepShare.Report(static_cast<uint64_t>(++stepsDone), static_cast<uint64_t>(stepsPlanned));
    };

    // The output size is known before the rotation and the resize do their
    // work: a picture that can never be a BMP is refused at once.
    ResolveOutputBpp(reg, run);
    if (run.conversion == "bmp" && (s.doImageRotation || s.doImageResize)) {
        uint64_t expectedW = 0, expectedH = 0;
        std::string why;
        if (ExpectedStepSize(static_cast<int>(FreeImage_GetWidth(image.get())),
                             static_cast<int>(FreeImage_GetHeight(image.get())), s, &expectedW,
                             &expectedH) &&
            run.outputBpp > 0)
            BmpSizeAllowed(expectedW, expectedH, static_cast<unsigned>(run.outputBpp), &why);
        if (!why.empty()) return fail(FileFailure::StepFailed, why);
    }

    int width = 0, height = 0;
    auto readSize = [&] {
        width = static_cast<int>(FreeImage_GetWidth(image.get()));
        height = static_cast<int>(FreeImage_GetHeight(image.get()));
    };
    // Why the first step that could not make its picture failed.
    std::string stepFailure;

    // Runs one step on the current picture; a step that makes no picture
    // stops the file, and the first such step gives the reason.
    const auto apply = [&](bool on, const char* failure, const auto& makeStep) {
        if (!image || !on) return;
        std::string why;
        image = makeStep(std::move(image), &why);
        if (!image) stepFailure = why.empty() ? failure : why;
        stepDone();
    };

    apply(s.doImageRotation != 0, "rotation failed",
          [&](Bitmap b, std::string* why) { return RotateImage(std::move(b), s, why); });
    if (image) readSize();
    apply(s.doImageResize != 0, "resize failed", [&](Bitmap b, std::string* why) {
        return ResizeImage(std::move(b), width, height, s, why);
    });
    if (image) {
        readSize();
        // The final size and depth are known from here on; the watermark text
        // may show them, so they are recorded before it is drawn (the depth
        // step resolves the same depth again).
        run.outputWidth = width;
        run.outputHeight = height;
        ResolveOutputBpp(reg, run);
        // A BMP must stay under 4 GiB.
        if (std::string why;
            run.conversion == "bmp" &&
            !BmpSizeAllowed(width, height, static_cast<unsigned>(run.outputBpp), &why))
            return fail(FileFailure::StepFailed, why);
    }
    // The library calls below make full-size bitmaps: each is asked for only
    // when the memory is there, so a refusal names the reason.
    const auto holds = [&](unsigned bpp, std::string* why) {
        return CanHoldBitmap(static_cast<uint64_t>(width), static_cast<uint64_t>(height), bpp, why);
    };
    apply(image && FreeImage_GetBPP(image.get()) > 32, "tone mapping failed",
          [&](Bitmap b, std::string* why) {
              const bool alpha = FreeImage_GetImageType(b.get()) == FIT_RGBA16;
              if (!holds(alpha ? 32 : 24, why)) return Bitmap();
              return ReduceDeepImage(std::move(b));
          });
    const bool laterStepsPlain = !s.doImageColorCorrection && !s.doImageGreyscale &&
                                 !s.doImageThreshold && s.frameKind() == FrameKind::None &&
                                 s.watermarkKind() == WatermarkKind::None;
    apply(true, "flattening transparency failed", [&](Bitmap b, std::string* why) {
        const bool inPlace = laterStepsPlain && run.outputBpp == 32;
        if (!inPlace && FreeImage_IsTransparent(b.get()) && !holds(32 + 24, why)) return Bitmap();
        return FlattenOntoWhite(std::move(b), inPlace);
    });
    if (image && (s.doImageFlipHorizontal || s.doImageFlipVertical)) {
        FlipImage(image.get(), s);
        stepDone();
    }
    apply(s.doImageColorCorrection != 0, "colour correction failed",
          [&](Bitmap b, std::string* why) { return CorrectColors(std::move(b), s, why); });
    apply(s.doImageGreyscale != 0, "greyscale failed",
          [&](Bitmap b, std::string* why) { return MakeGreyscale(std::move(b), s, why); });
    apply(s.doImageThreshold != 0, "threshold failed",
          [&](Bitmap b, std::string* why) { return ApplyThreshold(std::move(b), s, why); });
    apply(s.frameKind() != FrameKind::None, "frame failed", [&](Bitmap b, std::string* why) {
        return DrawFrame(std::move(b), width, height, s, why);
    });
    apply(s.watermarkKind() != WatermarkKind::None, "watermark failed",
          [&](Bitmap b, std::string* why) {
              return DrawWatermark(std::move(b), width, height, s, run, why);
          });

    const bool hadImage = image != nullptr;
    if (image && static_cast<int>(FreeImage_GetBPP(image.get())) != run.outputBpp &&
        !holds(static_cast<unsigned>(run.outputBpp), &stepFailure))
        image.reset();
    image = ConvertDepth(std::move(image), reg, run);
    if (hadImage && !image && stepFailure.empty())
        stepFailure = "cannot convert to " + std::to_string(run.outputBpp) + " bits per pixel";
    run.outputWidth = width;
    run.outputHeight = height;

    run.outputPath = BuildOutputPath(s, run);

    if (!image) return fail(FileFailure::StepFailed, stepFailure);
    stepShare.Complete();
    const platform::SaveResult saved =
        SaveOutputImage(image.get(), run.outputPath, run, s, encodeShare);
    if (!saved) return fail(FileFailure::SaveFailed, saved.error);
    whole.Complete();
    result.converted = 1;
    return result;
}

int RunConversionWorker(const RunContext& ctx, const WorkerSinks& sinks) {
    EnsureFreeImage();
    RunState& run = ctx.run;
    const bool debug = run.inputGiven && run.runMode == RunMode::Debug && sinks.debugLine;

    FileProgress* const watched = sinks.watchFile ? &ctx.progress.file : nullptr;
    int32_t started = 0;
    int32_t converted = 0;
    for (auto it = ctx.files.begin();; ++it) {
        ctx.pause.WaitWhilePaused();
        if (ctx.progress.keepRunning == 0 || it == ctx.files.end()) break;
        ++started;
        run.inputPath = it->first;
        run.relativeSubfolder = it->second.relativeSubfolder;
        {
            std::lock_guard<std::mutex> lock(ctx.progressLock);
            ctx.progress.file.Restart();
            ctx.progress.currentIndex = started;
            ctx.progress.currentFile = run.inputPath;
        }
        if (debug) sinks.debugLine("Processing: " + run.inputPath);
        const FileResult result = ConvertFile(ctx.settings, run, ctx.registry, watched);
        if (debug) {
            sinks.debugLine("Saving As: " + run.outputPath);
            sinks.debugLine(result.converted == 1 ? "OK" : "Not OK");
        }
        if (result.converted == 1) {
            ++converted;
            run.randomNumber = NewRandomNumber();
            ++run.fileNumber;
            ApplyTimestampRule(ctx.settings, run);
        } else if (sinks.failure) {
            sinks.failure(run.inputPath, result.reason);
        }
    }

    std::lock_guard<std::mutex> lock(ctx.progressLock);
    ctx.progress.convertedCount = converted;
    return 0;
}

}  // namespace tarnwick
