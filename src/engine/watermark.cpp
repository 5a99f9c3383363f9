// The watermark: a block of text or a second picture laid over the picture at
// one of nine positions, optionally rotated, with its own opacity.
//
// The layer is drawn by the canvas module straight into a 32-bit bitmap, then
// rotated, cut to the available area, placed, and alpha-blended over the part
// of the picture it covers (outside the layer the picture is left as it is,
// exactly as a blend with a transparent full-size layer would leave it).
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "abi/canvas_abi.h"
#include "engine/encoding.h"
#include "engine/format_registry.h"
#include "engine/limits.h"
#include "engine/naming.h"
#include "engine/png_row_reader.h"
#include "engine/steps.h"
#include "platform/platform.h"
#include "text/text_util.h"

namespace tarnwick {

namespace {

// The font slot: loaded by the starter before a run, read by the worker,
// released by the starter after the worker has ended.
void* watermarkFont = nullptr;

struct ActiveSettings {
    WatermarkBoundary boundary;
    int position, xOffset, yOffset, rotation;
};

ActiveSettings Active(const Settings& s) {
    if (s.watermarkKind() == WatermarkKind::Image)
        return {static_cast<WatermarkBoundary>(s.watermarkImageBoundary), s.watermarkImagePosition,
                s.watermarkImageXOffset, s.watermarkImageYOffset, s.watermarkImageRotation};
    return {static_cast<WatermarkBoundary>(s.textBoundary), s.textPosition, s.textXOffset,
            s.textYOffset, s.textRotation};
}

struct Area {
    long long x = 0, y = 0, w = 0, h = 0;
};

// The part of the picture the watermark is placed in: the whole picture, or
// the inside of the frame for the "Frame" boundary when a frame is on.
Area AvailableArea(int width, int height, const Settings& s) {
    Area area{0, 0, width, height};
    if (s.frameKind() != FrameKind::None && Active(s).boundary == WatermarkBoundary::Frame) {
        const FrameWidths f = EffectiveFrameWidths(width, height, s);
        area = {f.left, f.top, static_cast<long long>(width) - f.left - f.right,
                static_cast<long long>(height) - f.top - f.bottom};
    }
    return area;
}

int ClampToInt(long long v) {
    return static_cast<int>(std::clamp<long long>(v, -2147483647LL - 1, 2147483647LL));
}

Bitmap Fail(std::string* why, const std::string& reason) {
    if (why) *why = reason;
    return Bitmap();
}

int AllocateLayer(void* context, int width, int height, TwSurface* out) {
    auto* layer = static_cast<Bitmap*>(context);
    if (!CanHoldBitmap(static_cast<uint64_t>(width), static_cast<uint64_t>(height), 32)) return 0;
    layer->reset(Fi().Allocate(width, height, 32, 0, 0, 0));  // zero-filled: transparent
    if (!*layer) return 0;
    out->bits = Fi().GetBits(layer->get());
    out->width = width;
    out->height = height;
    out->pitch = static_cast<int>(Fi().GetPitch(layer->get()));
    return 1;
}

Bitmap TextLayer(const Settings& s, const RunState& run, const TwCanvasApi& api, std::string* why) {
    if (!watermarkFont) return Fail(why, "the watermark font is not loaded");
    const std::string text = ExpandWatermarkText(s, run);
    TwTextRequest rq{};
    rq.font = watermarkFont;
    rq.text = text.c_str();
    rq.leading = s.fontLeading;
    rq.textColor = ParseColor(s.fontColor);
    rq.textOpacity = text::ClampToByte(s.textOpacity);
    rq.backColor = ParseColor(s.backColor);
    rq.backOpacity = text::ClampToByte(s.backOpacity);
    rq.antialias = s.textAntialiasing;
    rq.alignment = s.textAlignment;
    rq.padding = s.textPadding;
    rq.maxPixels = kMaxWatermarkPixels;
    Bitmap layer;
    if (!api.drawText(&rq, AllocateLayer, &layer))
        return Fail(why, "the watermark text cannot be drawn (its box is larger than " +
                             std::to_string(kMaxWatermarkPixels) +
                             " pixels or than the memory available)");
    return layer;
}

Bitmap ImageLayer(const Settings& s, const TwCanvasApi& api, std::string* why) {
    std::string reason;
    if (!WatermarkImageUsable(s.watermarkImage, &reason)) return Fail(why, reason);
    TwImageRequest rq{};
    rq.path = s.watermarkImage.c_str();
    rq.greyscale = s.watermarkImageGreyscale;
    rq.opacity = text::ClampToByte(s.watermarkImageOpacity);
    rq.maxPixels = kMaxWatermarkPixels;
    Bitmap layer;
    TwFailure failure{};
    if (!api.drawImage(&rq, AllocateLayer, &layer, &failure))
        return Fail(why, "the watermark image " + s.watermarkImage + " cannot be drawn" +
                             (failure.why[0] ? std::string(": ") + failure.why : std::string()));
    return layer;
}

// Bytes the library needs to turn a w x h 32-bit layer by `angle` degrees: a
// quarter turn, then up to three shears no larger than the turned box.
uint64_t LayerRotationBytes(uint64_t w, uint64_t h, int angle) {
    if (angle % 90 == 0) return BitmapBytes(w, h, 32);
    const uint64_t side = w + h + 2;  // bounds both sides of the turned box
    return 3 * BitmapBytes(side, side, 32) + BitmapBytes(w, h, 32);
}

}  // namespace

std::string ExpandWatermarkText(const Settings& s, const RunState& run) {
    std::string text = s.watermarkText;
    if (std::count(text.begin(), text.end(), '%') < 2) return text;
    int count = 0;
    const char* const* tokens = NamingTokens(count);
    for (int i = 0; i < count; ++i) {
        if (text::Lower(text).find(tokens[i]) != std::string::npos)
            text = ReplaceToken(text, tokens[i], run);
    }
    return text;
}

Bitmap ClipWatermark(Bitmap layer, int width, int height, const Settings& s) {
    if (!layer) return layer;
    const Area area = AvailableArea(width, height, s);
    const ActiveSettings a = Active(s);
    const long long lw = Fi().GetWidth(layer.get()), lh = Fi().GetHeight(layer.get());
    long long nw = lw, nh = lh;
    if (lw + a.xOffset > area.w) nw = area.w - a.xOffset;
    if (lh + a.yOffset > area.h) nh = area.h - a.yOffset;
    if (nw == lw && nh == lh) return layer;
    if (nw <= 0 || nh <= 0) return nullptr;  // nothing of the layer is left
    layer.reset(Fi().Copy(layer.get(), 0, 0, static_cast<int>(nw), static_cast<int>(nh)));
    return layer;
}

LayerPosition WatermarkPosition(int width, int height, int layerWidth, int layerHeight,
                                const Settings& s) {
    const ActiveSettings a = Active(s);
    if (a.position < 0 || a.position > 8) return {0, 0};
    const Area area = AvailableArea(width, height, s);
    const long long lw = layerWidth, lh = layerHeight;
    long long x = 0, y = 0;
    switch (a.position % 3) {
        case 0: x = a.xOffset; break;
        case 1: x = (area.w - lw) / 2; break;
        default: x = area.w - lw - a.xOffset; break;
    }
    switch (a.position / 3) {
        case 0: y = a.yOffset; break;
        case 1: y = (area.h - lh) / 2; break;
        default: y = area.h - lh - a.yOffset; break;
    }
    return {ClampToInt(x + area.x), ClampToInt(y + area.y)};
}

Bitmap DrawWatermark(Bitmap image, int width, int height, const Settings& s, const RunState& run,
                     std::string* why) {
    if (!s.doWatermark || !image) return image;
    std::string reason;
    image = ConvertTo24(std::move(image), &reason);
    if (!image) return Fail(why, "watermark: " + reason);
    if (s.watermarkKind() != WatermarkKind::Text && s.watermarkKind() != WatermarkKind::Image)
        return image;

    const int W = static_cast<int>(Fi().GetWidth(image.get()));
    const int H = static_cast<int>(Fi().GetHeight(image.get()));
    const TwCanvasApi* api = CanvasApi();
    if (!api) {
        CanvasAvailable(&reason);
        return Fail(why, "the watermark cannot be drawn: " + reason);
    }

    Bitmap layer;
    if (s.watermarkKind() == WatermarkKind::Text) {
        // The text shows the values of the picture being converted: its size
        // after the resize step, and the depth it is about to be saved with
        // (resolved by the pipeline before this step).
        RunState current = run;
        current.outputWidth = width > 0 ? width : W;
        current.outputHeight = height > 0 ? height : H;
        layer = TextLayer(s, current, *api, &reason);
    } else {
        layer = ImageLayer(s, *api, &reason);
    }
    if (!layer) return Fail(why, reason);
    // The canvas counts rows from the top, the bitmap from the bottom.
    Fi().FlipVertical(layer.get());

    const int rotation = Active(s).rotation;
    if (rotation > 0 && rotation < 360) {
        const uint64_t lw0 = Fi().GetWidth(layer.get()), lh0 = Fi().GetHeight(layer.get());
        if (!MemoryAllows(LayerRotationBytes(lw0, lh0, rotation), &reason))
            return Fail(why, "the watermark cannot be turned: " + reason);
        layer.reset(Fi().Rotate(layer.get(), static_cast<double>(rotation), nullptr));
        if (!layer) return Fail(why, "the watermark cannot be turned");
    }

    layer = ClipWatermark(std::move(layer), W, H, s);
    if (!layer) return image;
    const int lw = static_cast<int>(Fi().GetWidth(layer.get()));
    const int lh = static_cast<int>(Fi().GetHeight(layer.get()));
    const LayerPosition at = WatermarkPosition(W, H, lw, lh, s);
    // A layer that does not fit at its place is not laid.
    if (at.x < 0 || at.y < 0 || static_cast<long long>(at.x) + lw > W ||
        static_cast<long long>(at.y) + lh > H)
        return image;

    if (!MemoryAllows(2 * BitmapBytes(static_cast<uint64_t>(lw), static_cast<uint64_t>(lh), 24),
                      &reason))
        return Fail(why, "the watermark cannot be laid: " + reason);
    Bitmap under(Fi().Copy(image.get(), at.x, at.y, at.x + lw, at.y + lh));
    if (!under)
        return Fail(why, "the watermark cannot be laid: no memory for a copy of the picture");
    Bitmap blended(Fi().Composite(layer.get(), FALSE, nullptr, under.get()));
    if (!blended) return Fail(why, "the watermark cannot be laid: blending failed");
    Fi().Paste(image.get(), blended.get(), at.x, at.y, 256);
    return image;
}

bool LoadWatermarkFont(const Settings& s, std::string* why) {
    ReleaseWatermarkFont();
    if (!PrepareCanvas(why)) return false;
    const TwCanvasApi* api = CanvasApi();
    TwFontRequest rq{};
    rq.face = s.font.c_str();
    rq.pointSize = s.fontSize;
    rq.bold = s.fontStyle == 1 || s.fontStyle == 3;
    rq.italic = s.fontStyle == 2 || s.fontStyle == 3;
    rq.underline = s.fontEffect == 1;
    rq.strikeOut = s.fontEffect == 2;
    watermarkFont = api->loadFont(&rq);
    if (!watermarkFont && why) *why = "font " + s.font + " is not installed";
    return watermarkFont != nullptr;
}

void ReleaseWatermarkFont() {
    if (!watermarkFont) return;
    if (const TwCanvasApi* api = CanvasApi()) api->releaseFont(watermarkFont);
    watermarkFont = nullptr;
}

bool WatermarkImageUsable(const std::string& path, std::string* why) {
    auto refuse = [&](const std::string& reason) {
        if (why) *why = reason;
        return false;
    };
    if (path.empty()) return refuse("no watermark image is chosen");
    if (platform::FileSize(path) <= 0)
        return refuse("watermark image " + path + " is missing or empty");
    // The size from the header: a PNG's from its header chunks, read by the
    // program's PNG reader; another format's from the image library, where it
    // knows the format and can read a header alone (a watermark is drawn on
    // the whole picture, which loads the library anyway). Other files are
    // left to the drawing module.
    uint64_t w = 0, h = 0;
    const FileHandle file = OpenForReading(path);
    unsigned char signature[8] = {};
    if (file && std::fread(signature, 1, 8, file.get()) == 8 && png_sig_cmp(signature, 0, 8) == 0 &&
        std::fseek(file.get(), 0, SEEK_SET) == 0) {
        FileSource source(file.get());
        PngRowReader header;
        if (!header.Open(source, false))
            return refuse("watermark image " + path + " cannot be read");
        w = header.layout().width;
        h = header.layout().height;
    } else {
        if (std::string reason; !LoadImageLibrary(&reason)) return refuse(reason);
        const FREE_IMAGE_FORMAT fif = Fi().GetFileType(path.c_str(), 0);
        if (fif == FIF_UNKNOWN || !Fi().FIFSupportsNoPixels(fif)) return true;
        Bitmap header(Fi().Load(fif, path.c_str(), FIF_LOAD_NOPIXELS));
        if (!header) return refuse("watermark image " + path + " cannot be read");
        w = Fi().GetWidth(header.get());
        h = Fi().GetHeight(header.get());
    }
    if (w == 0 || h == 0) return refuse("watermark image " + path + " cannot be read");
    if (w * h > static_cast<uint64_t>(kMaxWatermarkPixels))
        return refuse("watermark image " + path + " has " + std::to_string(w) + " x " +
                      std::to_string(h) + " pixels, more than the " +
                      std::to_string(kMaxWatermarkPixels) + " a watermark may have");
    return true;
}

}  // namespace tarnwick
