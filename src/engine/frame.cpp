// The solid-colour frame, and the loader of the drawing canvas module that
// draws frames and watermarks.
//
// The frame lies inside the picture along its edges. It is drawn band by band
// (top, bottom, left, right): each band is drawn by the canvas module into a
// 32-bit bitmap of the band's size and alpha-blended over the same part of the
// picture, so the extra memory is that of the frame, not of the picture.
#include <mutex>
#include <vector>

#include "engine/canvas_abi.h"
#include "engine/steps.h"
#include "platform/platform.h"

namespace tarnwick {

const TwCanvasApi* CanvasApi() {
    static std::once_flag once;
    static const TwCanvasApi* api = nullptr;
    std::call_once(once, [] {
        void* module = platform::LoadModule("libtarnwick_canvas.so");
        if (!module) return;
        auto entry = reinterpret_cast<TwCanvasApiFn>(platform::ModuleSymbol(module, TW_CANVAS_API_SYMBOL));
        if (!entry) return;
        const TwCanvasApi* candidate = entry();
        if (candidate && candidate->version == TW_CANVAS_API_VERSION) api = candidate;
    });
    return api;
}

bool PrepareCanvas() {
    const TwCanvasApi* api = CanvasApi();
    return api && api->prepare() != 0;
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

Bitmap DrawFrame(Bitmap image, int width, int height, const Settings& s) {
    if (!s.doFrame || !image) return image;
    image = ConvertTo24(std::move(image));
    if (!image || s.doFrame != 1) return image;

    // The frame is drawn at the size the picture really has.
    const int W = static_cast<int>(FreeImage_GetWidth(image.get()));
    const int H = static_cast<int>(FreeImage_GetHeight(image.get()));
    (void)width;
    (void)height;
    const FrameWidths f = EffectiveFrameWidths(W, H, s);
    const int opacity = s.solidOpacity < 0 ? 0 : (s.solidOpacity > 255 ? 255 : s.solidOpacity);
    if (opacity == 0 || (f.left == 0 && f.right == 0 && f.top == 0 && f.bottom == 0)) return image;

    const TwCanvasApi* api = CanvasApi();
    if (!api) return image;

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

    // Every band is blended before any is pasted: a frame is applied whole or not at all.
    for (Band& band : bands) {
        Bitmap layer(FreeImage_Allocate(band.w, band.h, 32));
        if (!layer) return image;
        TwSurface surface{FreeImage_GetBits(layer.get()), band.w, band.h,
                          static_cast<int>(FreeImage_GetPitch(layer.get()))};
        rq.originX = band.x;
        rq.originY = band.y;
        if (!api->drawFrame(&rq, &surface)) return image;
        // The canvas counts rows from the top, the bitmap from the bottom.
        FreeImage_FlipVertical(layer.get());
        Bitmap under(FreeImage_Copy(image.get(), band.x, band.y, band.x + band.w, band.y + band.h));
        if (!under) return image;
        band.blended.reset(FreeImage_Composite(layer.get(), FALSE, nullptr, under.get()));
        if (!band.blended) return image;
    }
    for (Band& band : bands) FreeImage_Paste(image.get(), band.blended.get(), band.x, band.y, 256);
    return image;
}

}  // namespace tarnwick
