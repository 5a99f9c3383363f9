// Geometric transforms: rotation, resizing and flipping, and the colour value
// with alpha shared by the frame and the watermark.
#include <cmath>

#include "engine/limits.h"
#include "engine/steps.h"

namespace tarnwick {

namespace {

// Makes `next` the current bitmap; the one it replaces is released.
void Replace(Bitmap& image, FIBITMAP* next) { image.reset(next); }

}  // namespace

Bitmap ConvertTo24(Bitmap image) {
    if (!image) return image;
    if (FreeImage_GetImageType(image.get()) == FIT_BITMAP && FreeImage_GetBPP(image.get()) == 24)
        return image;
    FIBITMAP* next = FreeImage_ConvertTo24Bits(image.get());
    if (!next) {
        // 16-bit greyscale and the other non-standard types go through an 8-bit
        // standard bitmap first: the library has no direct 24-bit conversion.
        Bitmap standard(FreeImage_ConvertToStandardType(image.get(), TRUE));
        if (standard) next = FreeImage_ConvertTo24Bits(standard.get());
    }
    image.reset(next);
    return image;
}

uint32_t HexToColorAlpha(const std::string& text, int alpha) {
    const int a = alpha < 0 ? 0 : (alpha > 255 ? 255 : alpha);
    return ParseColor(text) + 16777216u * static_cast<uint32_t>(a);
}

Bitmap RotateImage(Bitmap image, const Settings& s) {
    if (!image) return image;
    if (!s.doImageRotation) return image;
    const int angle = s.imageRotation;
    if (angle <= 0 || angle >= 360) return image;

    const unsigned bpp = FreeImage_GetBPP(image.get());
    if (bpp <= 16 || bpp > 32 || FreeImage_GetImageType(image.get()) != FIT_BITMAP)
        image = ConvertTo24(std::move(image));
    if (!image) return image;

    if (s.imageRotationType == 0) {
        const uint32_t color = ParseColor(s.imageRotationBackColor);
        RGBQUAD background{};
        background.rgbRed = static_cast<BYTE>(color & 0xFF);
        background.rgbGreen = static_cast<BYTE>((color >> 8) & 0xFF);
        background.rgbBlue = static_cast<BYTE>((color >> 16) & 0xFF);
        background.rgbReserved = 0;
        Replace(image, FreeImage_Rotate(image.get(), static_cast<double>(angle), &background));
        return image;
    }
    if (s.imageRotationType == 1) {
        const double w = FreeImage_GetWidth(image.get());
        const double h = FreeImage_GetHeight(image.get());
        Replace(image, FreeImage_RotateEx(image.get(), static_cast<double>(angle), 0.0, 0.0,
                                          w / 2.0, h / 2.0, FALSE));
        return image;
    }
    return image;
}

int TargetDimension(int value, int unit, int current) {
    if (unit == 0) return value;
    if (unit == 1) {
        // Nearest integer, halves to the even neighbour (the default rounding mode).
        const double exact = static_cast<double>(value) / 100.0 * static_cast<double>(current);
        const double rounded = std::nearbyint(exact);
        if (rounded > 2147483647.0 || rounded < -2147483648.0) return 0;
        return static_cast<int>(rounded);
    }
    return 0;
}

FREE_IMAGE_FILTER ResizeFilterFor(int algorithm) {
    switch (algorithm) {
        case 0: return FILTER_BOX;
        case 1: return FILTER_BILINEAR;
        case 2: return FILTER_BSPLINE;
        case 3: return FILTER_BICUBIC;
        case 4: return FILTER_CATMULLROM;
        case 5: return FILTER_LANCZOS3;
        default: return FILTER_BICUBIC;
    }
}

Bitmap ResizeImage(Bitmap image, int w, int h, const Settings& s) {
    if (!image) return image;
    if (!s.doImageResize) return image;
    if (w <= 0 || h <= 0) return image;

    const int nw = TargetDimension(s.imageWidth, s.imageWidthUnit, w);
    const int nh = TargetDimension(s.imageHeight, s.imageHeightUnit, h);
    if (nw <= 0 || nh <= 0) return image;
    if (nw == w && nh == h) return image;
    if (s.imageResizeType == 1 && w < nw && h < nh) return image;

    // The proportions are kept with single-precision arithmetic; the target of
    // the longer side decides.
    long long outW = nw, outH = nh;
    if (s.keepAspectRatio != 0) {
        if (w >= h) {
            const float ratio = static_cast<float>(w) / static_cast<float>(h);
            const float quotient = static_cast<float>(nw) / ratio;
            outH = static_cast<long long>(std::floor(quotient + 0.5f));
        } else {
            const float ratio = static_cast<float>(h) / static_cast<float>(w);
            const float quotient = static_cast<float>(nh) / ratio;
            outW = static_cast<long long>(std::floor(quotient + 0.5f));
        }
    }
    // A side that rounds to nothing, or a size past what a bitmap can hold,
    // leaves the picture as it is.
    if (outW <= 0 || outH <= 0 || outW > 2147483647 || outH > 2147483647) return image;
    if (static_cast<unsigned long long>(outW) * static_cast<unsigned long long>(outH) > kMaxImagePixels)
        return image;

    Replace(image, FreeImage_Rescale(image.get(), static_cast<int>(outW), static_cast<int>(outH),
                                     ResizeFilterFor(s.imageResizeAlgorithm)));
    return image;
}

void FlipImage(FIBITMAP* image, const Settings& s) {
    if (!image) return;
    if (s.doImageFlipHorizontal) FreeImage_FlipHorizontal(image);
    if (s.doImageFlipVertical) FreeImage_FlipVertical(image);
}

}  // namespace tarnwick
