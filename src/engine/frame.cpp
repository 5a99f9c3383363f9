// The solid-colour frame, and the loader of the drawing canvas module that
// draws frames and watermarks.
//
// The frame lies inside the picture along its edges. It is drawn band by band
// (top, bottom, left, right): each band is drawn by the canvas module into a
// 32-bit bitmap of the band's size and alpha-blended over the same part of the
// picture, so the extra memory is that of the frame, not of the picture.
#include <algorithm>
#include <mutex>
#include <vector>

#include "abi/canvas_abi.h"
#include "engine/limits.h"
#include "engine/steps.h"
#include "platform/platform.h"
#include "text/text_util.h"

namespace tarnwick {

namespace {

constexpr const char* kCanvasModule = "libtarnwick_canvas.so";

struct CanvasModule {
    const TwCanvasApi* api = nullptr;
    std::string error;  // why `api` is null
};

const CanvasModule& Canvas() {
    static std::once_flag once;
    static CanvasModule module;
    std::call_once(once, [] {
        const std::string name = kCanvasModule;
        std::string error;
        void* handle = platform::LoadModule(name, &error);
        if (!handle) {
            module.error = "drawing module " + name + " not found: " + error;
            return;
        }
        auto entry =
            reinterpret_cast<TwCanvasApiFn>(platform::ModuleSymbol(handle, TW_CANVAS_API_SYMBOL));
        const TwCanvasApi* candidate = entry ? entry() : nullptr;
        if (!candidate || candidate->version != TW_CANVAS_API_VERSION) {
            module.error = "drawing module " + name + " does not fit this program";
            return;
        }
        module.api = candidate;
    });
    return module;
}

Bitmap Fail(std::string* why, const std::string& reason) {
    if (why) *why = reason;
    return Bitmap();
}

}  // namespace

const TwCanvasApi* CanvasApi() { return Canvas().api; }

bool CanvasAvailable(std::string* why) {
    const CanvasModule& module = Canvas();
    if (!module.api && why) *why = module.error;
    return module.api != nullptr;
}

bool PrepareCanvas(std::string* why) {
    if (!CanvasAvailable(why)) return false;
    if (Canvas().api->prepare() != 0) return true;
    if (why) *why = "the drawing canvas cannot be started";
    return false;
}

FrameWidths EffectiveFrameWidths(int width, int height, const Settings& s) {
    // Negative widths count as none; sides that together are wider than the
    // picture share it in proportion to their widths.
    auto fit = [](int& a, int& b, int total) {
        long long la = a < 0 ? 0 : a, lb = b < 0 ? 0 : b;
        if (total <= 0) {
            la = lb = 0;
        } else if (la + lb > total) {
            la = la * total / (la + lb);
            lb = total - la;
        }
        a = static_cast<int>(la);
        b = static_cast<int>(lb);
    };
    FrameWidths f{s.solidLeft, s.solidRight, s.solidTop, s.solidBottom};
    fit(f.left, f.right, width);
    fit(f.top, f.bottom, height);
    return f;
}

Bitmap DrawFrame(Bitmap image, int width, int height, const Settings& s, std::string* why) {
    if (!s.doFrame || !image) return image;
    std::string reason;
    image = ConvertTo24(std::move(image), &reason);
    if (!image) return Fail(why, "frame: " + reason);
    if (s.frameKind() != FrameKind::Solid) return image;

    // The frame is drawn at the size the picture really has.
    const int W = static_cast<int>(Fi().GetWidth(image.get()));
    const int H = static_cast<int>(Fi().GetHeight(image.get()));
    (void)width;
    (void)height;
    const FrameWidths f = EffectiveFrameWidths(W, H, s);
    const int opacity = text::ClampToByte(s.solidOpacity);
    if (opacity == 0 || (f.left == 0 && f.right == 0 && f.top == 0 && f.bottom == 0)) return image;

    const TwCanvasApi* api = CanvasApi();
    if (!api) {
        CanvasAvailable(&reason);
        return Fail(why, "the frame cannot be drawn: " + reason);
    }

    TwFrameRequest rq{};
    rq.width = W;
    rq.height = H;
    rq.left = f.left;
    rq.right = f.right;
    rq.top = f.top;
    rq.bottom = f.bottom;
    rq.leftColor = ParseColor(s.solidLeftColor);
    rq.rightColor = ParseColor(s.solidRightColor);
    rq.topColor = ParseColor(s.solidTopColor);
    rq.bottomColor = ParseColor(s.solidBottomColor);
    rq.opacity = opacity;

    struct Band {
        int x, y, w, h;
        Bitmap blended;
    };
    std::vector<Band> bands;
    const int middle = H - f.top - f.bottom;
    if (f.top > 0) bands.push_back({0, 0, W, f.top, nullptr});
    if (f.bottom > 0) bands.push_back({0, H - f.bottom, W, f.bottom, nullptr});
    if (middle > 0 && f.left > 0) bands.push_back({0, f.top, f.left, middle, nullptr});
    if (middle > 0 && f.right > 0) bands.push_back({W - f.right, f.top, f.right, middle, nullptr});

    // The blended bands (24 bits) are all held until they are pasted, each
    // with its 32-bit layer and a copy of what lies under it while it is made.
    uint64_t bandPixels = 0, largestBand = 0;
    for (const Band& band : bands) {
        const uint64_t pixels = static_cast<uint64_t>(band.w) * static_cast<uint64_t>(band.h);
        bandPixels += pixels;
        largestBand = std::max(largestBand, pixels);
    }
    if (!MemoryAllows(BitmapBytes(bandPixels, 1, 24) + BitmapBytes(largestBand, 1, 56), &reason))
        return Fail(why, "the frame cannot be drawn: " + reason);

    // Every band is blended before any is pasted: a frame is applied whole or not at all.
    const std::string failed = "the frame cannot be drawn: ";
    for (Band& band : bands) {
        Bitmap layer(Fi().Allocate(band.w, band.h, 32, 0, 0, 0));
        if (!layer) return Fail(why, failed + "no memory for its layer");
        TwSurface surface{Fi().GetBits(layer.get()), band.w, band.h,
                          static_cast<int>(Fi().GetPitch(layer.get()))};
        rq.originX = band.x;
        rq.originY = band.y;
        if (!api->drawFrame(&rq, &surface)) return Fail(why, failed + "the drawing canvas failed");
        // The canvas counts rows from the top, the bitmap from the bottom.
        Fi().FlipVertical(layer.get());
        Bitmap under(Fi().Copy(image.get(), band.x, band.y, band.x + band.w, band.y + band.h));
        if (!under) return Fail(why, failed + "no memory for a copy of the picture's edge");
        band.blended.reset(Fi().Composite(layer.get(), FALSE, nullptr, under.get()));
        if (!band.blended) return Fail(why, failed + "blending failed");
    }
    for (Band& band : bands) Fi().Paste(image.get(), band.blended.get(), band.x, band.y, 256);
    return image;
}

}  // namespace tarnwick
