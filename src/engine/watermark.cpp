// The watermark: a block of text or a second picture laid over the picture at
// one of nine positions, optionally rotated, with its own opacity.
//
// The layer is drawn by the canvas module straight into a 32-bit bitmap, then
// rotated, cut to the available area, placed, and alpha-blended over the part
// of the picture it covers (outside the layer the picture is left as it is,
// exactly as a blend with a transparent full-size layer would leave it).
#include <algorithm>
#include <cctype>

#include "engine/canvas_abi.h"
#include "engine/encoding.h"
#include "engine/format_registry.h"
#include "engine/naming.h"
#include "engine/steps.h"

namespace tarnwick {

namespace {

// The font slot: loaded by the starter before a run, read by the worker,
// released by the starter after the worker has ended.
void* watermarkFont = nullptr;

// Layers larger than this (pixels) are not drawn: 256 MiB at 32 bits.
constexpr int kMaxLayerPixels = 1 << 26;

struct ActiveSettings {
    int boundary, position, xOffset, yOffset, rotation;
};

ActiveSettings Active(const Settings& s) {
    if (s.doWatermark == 2)
        return {s.watermarkImageBoundary, s.watermarkImagePosition, s.watermarkImageXOffset,
                s.watermarkImageYOffset, s.watermarkImageRotation};
    return {s.textBoundary, s.textPosition, s.textXOffset, s.textYOffset, s.textRotation};
}

struct Area {
    long long x = 0, y = 0, w = 0, h = 0;
};

// The part of the picture the watermark is placed in: the whole picture, or
// the inside of the frame for the "Frame" boundary when a frame is on.
Area AvailableArea(int width, int height, const Settings& s) {
    Area area{0, 0, width, height};
    if (s.doFrame != 0 && Active(s).boundary == 1) {
        const FrameWidths f = EffectiveFrameWidths(width, height, s);
        area = {f.left, f.top, static_cast<long long>(width) - f.left - f.right,
                static_cast<long long>(height) - f.top - f.bottom};
    }
    return area;
}

int ClampToInt(long long v) {
    return static_cast<int>(std::clamp<long long>(v, -2147483647LL - 1, 2147483647LL));
}

int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

int AllocateLayer(void* context, int width, int height, TwSurface* out) {
    auto* layer = static_cast<Bitmap*>(context);
    layer->reset(FreeImage_Allocate(width, height, 32));  // zero-filled: transparent
    if (!*layer) return 0;
    out->bits = FreeImage_GetBits(layer->get());
    out->width = width;
    out->height = height;
    out->pitch = static_cast<int>(FreeImage_GetPitch(layer->get()));
    return 1;
}

Bitmap TextLayer(const Settings& s, const RunState& run, const TwCanvasApi& api) {
    if (!watermarkFont) return nullptr;
    const std::string text = ExpandWatermarkText(s, run);
    TwTextRequest rq{};
    rq.font = watermarkFont;
    rq.text = text.c_str();
    rq.leading = s.fontLeading;
    rq.textColor = ParseColor(s.fontColor);
    rq.textOpacity = Clamp255(s.textOpacity);
    rq.backColor = ParseColor(s.backColor);
    rq.backOpacity = Clamp255(s.backOpacity);
    rq.antialias = s.textAntialiasing;
    rq.alignment = s.textAlignment;
    rq.padding = s.textPadding;
    rq.maxPixels = kMaxLayerPixels;
    Bitmap layer;
    if (!api.drawText(&rq, AllocateLayer, &layer)) return nullptr;
    return layer;
}

Bitmap ImageLayer(const Settings& s, const TwCanvasApi& api) {
    if (s.watermarkImage.empty()) return nullptr;
    TwImageRequest rq{};
    rq.path = s.watermarkImage.c_str();
    rq.greyscale = s.watermarkImageGreyscale;
    rq.opacity = Clamp255(s.watermarkImageOpacity);
    rq.maxPixels = kMaxLayerPixels;
    Bitmap layer;
    if (!api.drawImage(&rq, AllocateLayer, &layer)) return nullptr;
    return layer;
}

}  // namespace

std::string ExpandWatermarkText(const Settings& s, const RunState& run) {
    std::string text = s.watermarkText;
    if (std::count(text.begin(), text.end(), '%') < 2) return text;
    int count = 0;
    const char* const* tokens = NamingTokens(count);
    for (int i = 0; i < count; ++i) {
        std::string lower = text;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (lower.find(tokens[i]) != std::string::npos) text = ReplaceToken(text, tokens[i], run);
    }
    return text;
}

Bitmap ClipWatermark(Bitmap layer, int width, int height, const Settings& s) {
    if (!layer) return layer;
    const Area area = AvailableArea(width, height, s);
    const ActiveSettings a = Active(s);
    const long long lw = FreeImage_GetWidth(layer.get()), lh = FreeImage_GetHeight(layer.get());
    long long nw = lw, nh = lh;
    if (lw + a.xOffset > area.w) nw = area.w - a.xOffset;
    if (lh + a.yOffset > area.h) nh = area.h - a.yOffset;
    if (nw == lw && nh == lh) return layer;
    if (nw <= 0 || nh <= 0) return nullptr;  // nothing of the layer is left
    layer.reset(FreeImage_Copy(layer.get(), 0, 0, static_cast<int>(nw), static_cast<int>(nh)));
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

Bitmap DrawWatermark(Bitmap image, int width, int height, const Settings& s, const RunState& run) {
    if (!s.doWatermark || !image) return image;
    image = ConvertTo24(std::move(image));
    if (!image) return image;
    if (s.doWatermark != 1 && s.doWatermark != 2) return image;

    const int W = static_cast<int>(FreeImage_GetWidth(image.get()));
    const int H = static_cast<int>(FreeImage_GetHeight(image.get()));
    const TwCanvasApi* api = CanvasApi();
    if (!api) return image;

    Bitmap layer;
    if (s.doWatermark == 1) {
        // The text shows the values of the picture being converted: its size
        // after the resize step and the depth it is about to be saved with.
        RunState current = run;
        current.outputWidth = width > 0 ? width : W;
        current.outputHeight = height > 0 ? height : H;
        if (run.autoBpp == 1)
            current.outputBpp = AutoBppFor(GlobalRegistry(), run.conversion, run.sourceBpp);
        layer = TextLayer(s, current, *api);
    } else {
        layer = ImageLayer(s, *api);
    }
    if (!layer) return image;
    // The canvas counts rows from the top, the bitmap from the bottom.
    FreeImage_FlipVertical(layer.get());

    const int rotation = Active(s).rotation;
    if (rotation > 0 && rotation < 360) {
        layer.reset(FreeImage_Rotate(layer.get(), static_cast<double>(rotation), nullptr));
        if (!layer) return image;
    }

    layer = ClipWatermark(std::move(layer), W, H, s);
    if (!layer) return image;
    const int lw = static_cast<int>(FreeImage_GetWidth(layer.get()));
    const int lh = static_cast<int>(FreeImage_GetHeight(layer.get()));
    const LayerPosition at = WatermarkPosition(W, H, lw, lh, s);
    // A layer that does not fit at its place is not laid.
    if (at.x < 0 || at.y < 0 || static_cast<long long>(at.x) + lw > W ||
        static_cast<long long>(at.y) + lh > H)
        return image;

    Bitmap under(FreeImage_Copy(image.get(), at.x, at.y, at.x + lw, at.y + lh));
    if (!under) return image;
    Bitmap blended(FreeImage_Composite(layer.get(), FALSE, nullptr, under.get()));
    if (!blended) return image;
    FreeImage_Paste(image.get(), blended.get(), at.x, at.y, 256);
    return image;
}

bool LoadWatermarkFont(const Settings& s) {
    ReleaseWatermarkFont();
    if (!PrepareCanvas()) return false;
    const TwCanvasApi* api = CanvasApi();
    TwFontRequest rq{};
    rq.face = s.font.c_str();
    rq.pointSize = s.fontSize;
    rq.bold = s.fontStyle == 1 || s.fontStyle == 3;
    rq.italic = s.fontStyle == 2 || s.fontStyle == 3;
    rq.underline = s.fontEffect == 1;
    rq.strikeOut = s.fontEffect == 2;
    watermarkFont = api->loadFont(&rq);
    return watermarkFont != nullptr;
}

void ReleaseWatermarkFont() {
    if (!watermarkFont) return;
    if (const TwCanvasApi* api = CanvasApi()) api->releaseFont(watermarkFont);
    watermarkFont = nullptr;
}

}  // namespace tarnwick
