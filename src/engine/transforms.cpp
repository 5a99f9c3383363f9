// Geometric transforms: rotation, resizing and flipping, and the colour value
// with alpha shared by the frame and the watermark.
//
// Every new bitmap is checked against the bitmap limits and the memory
// available before the library is asked for it, so a picture that cannot be
// transformed fails with its reason instead of failing inside the library.
#include <algorithm>
#include <cmath>

#include "engine/limits.h"
#include "engine/steps.h"
#include "text/text_util.h"

namespace tarnwick {

namespace {

Bitmap Fail(std::string* why, const std::string& reason) {
    if (why) *why = reason;
    return Bitmap();
}

std::string Angle(int degrees) { return std::to_string(degrees) + " degrees"; }

// Memory the library needs to turn a w x h bitmap of `bpp` bits by `angle`
// degrees. Quarter turns make one bitmap of the turned size. Other simple
// angles go through a quarter turn and three shears whose bitmaps are at most
// the size of the result; the advanced rotation keeps the size and works on
// one channel at a time in double precision.
uint64_t RotationBytes(uint64_t w, uint64_t h, unsigned bpp, int angle, bool advanced) {
    if (advanced) {
        uint64_t coefficients = 0;
        if (__builtin_mul_overflow(w * h, uint64_t{8}, &coefficients)) return kSizeOverflow;
        const uint64_t result = BitmapBytes(w, h, bpp);
        return result > kSizeOverflow - coefficients ? kSizeOverflow : result + coefficients;
    }
    if (angle % 90 == 0)
        return BitmapBytes(angle % 180 == 0 ? w : h, angle % 180 == 0 ? h : w, bpp);
    const double rad = static_cast<double>(angle) * 3.14159265358979323846 / 180.0;
    const double c = std::fabs(std::cos(rad)), s = std::fabs(std::sin(rad));
    const double bw = std::ceil(static_cast<double>(w) * c + static_cast<double>(h) * s) + 2;
    const double bh = std::ceil(static_cast<double>(w) * s + static_cast<double>(h) * c) + 2;
    if (bw > static_cast<double>(kMaxBitmapSide) || bh > static_cast<double>(kMaxBitmapSide))
        return kSizeOverflow;
    const uint64_t box = BitmapBytes(static_cast<uint64_t>(bw), static_cast<uint64_t>(bh), bpp);
    const uint64_t quarter = BitmapBytes(w, h, bpp);
    if (box > (kSizeOverflow - quarter) / 3) return kSizeOverflow;
    return 3 * box + quarter;
}

// The size a proportional resize gives, in the single-precision arithmetic
// the setting has always used; the target of the longer side decides.
void KeepAspect(int w, int h, int nw, int nh, double& outW, double& outH) {
    if (w >= h) {
        const float ratio = static_cast<float>(w) / static_cast<float>(h);
        outW = nw;
        outH = std::floor(static_cast<double>(static_cast<float>(nw) / ratio + 0.5f));
    } else {
        const float ratio = static_cast<float>(h) / static_cast<float>(w);
        outH = nh;
        outW = std::floor(static_cast<double>(static_cast<float>(nh) / ratio + 0.5f));
    }
}

// Bits per pixel of the bitmap the rescale makes: low depths are widened.
unsigned RescaledBpp(FIBITMAP* dib) {
    const unsigned bpp = Fi().GetBPP(dib);
    return bpp < 8 ? 32 : bpp;
}

}  // namespace

Bitmap ConvertTo24(Bitmap image, std::string* why) {
    if (!image) return image;
    if (Fi().GetImageType(image.get()) == FIT_BITMAP && Fi().GetBPP(image.get()) == 24)
        return image;
    const unsigned w = Fi().GetWidth(image.get()), h = Fi().GetHeight(image.get());
    std::string reason;
    if (!CanHoldBitmap(w, h, 24, &reason)) return Fail(why, "conversion to 24 bits: " + reason);
    FIBITMAP* next = Fi().ConvertTo24Bits(image.get());
    if (!next) {
        // 16-bit greyscale and the other non-standard types go through an 8-bit
        // standard bitmap first: the library has no direct 24-bit conversion.
        Bitmap standard(Fi().ConvertToStandardType(image.get(), TRUE));
        if (standard) next = Fi().ConvertTo24Bits(standard.get());
    }
    image.reset(next);
    if (!image) return Fail(why, "conversion to 24 bits failed");
    return image;
}

uint32_t HexToColorAlpha(const std::string& text, int alpha) {
    const int a = text::ClampToByte(alpha);
    return ParseColor(text) + 16777216u * static_cast<uint32_t>(a);
}

Bitmap RotateImage(Bitmap image, const Settings& s, std::string* why) {
    if (!image) return image;
    if (!s.doImageRotation) return image;
    const int angle = s.imageRotation;
    if (angle <= 0 || angle >= 360) return image;

    // The library rotates 8, 24 and 32-bit bitmaps. A picture with
    // transparency goes to 32 bits so that it keeps it (it is put onto white
    // later); every other picture goes to 24 bits.
    FIBITMAP* dib = image.get();
    const unsigned bpp = Fi().GetBPP(dib);
    const FREE_IMAGE_TYPE type = Fi().GetImageType(dib);
    const unsigned w = Fi().GetWidth(dib), h = Fi().GetHeight(dib);
    const bool transparent =
        type == FIT_RGBA16 || (type == FIT_BITMAP && bpp <= 16 && Fi().IsTransparent(dib));
    std::string reason;
    if (transparent) {
        if (!CanHoldBitmap(w, h, 32, &reason)) return Fail(why, "rotation: " + reason);
        image.reset(Fi().ConvertTo32Bits(dib));
        if (!image) return Fail(why, "rotation: conversion to 32 bits failed");
    } else if (bpp <= 16 || bpp > 32 || type != FIT_BITMAP) {
        image = ConvertTo24(std::move(image), &reason);
        if (!image) return Fail(why, "rotation: " + reason);
    }

    const int type0 = s.imageRotationType;
    if (type0 != 0 && type0 != 1) return image;
    const unsigned depth = Fi().GetBPP(image.get());
    if (!MemoryAllows(RotationBytes(w, h, depth, angle, type0 == 1), &reason))
        return Fail(why, "rotation by " + Angle(angle) + " is impossible: " + reason);

    if (type0 == 0) {
        // The corners the turn uncovers take the background colour, opaque:
        // on a picture with transparency they must not vanish into white.
        const uint32_t color = ParseColor(s.imageRotationBackColor);
        RGBQUAD background{};
        background.rgbRed = static_cast<BYTE>(color & 0xFF);
        background.rgbGreen = static_cast<BYTE>((color >> 8) & 0xFF);
        background.rgbBlue = static_cast<BYTE>((color >> 16) & 0xFF);
        background.rgbReserved = 255;
        image.reset(Fi().Rotate(image.get(), static_cast<double>(angle), &background));
    } else {
        const double cw = Fi().GetWidth(image.get());
        const double ch = Fi().GetHeight(image.get());
        image.reset(Fi().RotateEx(image.get(), static_cast<double>(angle), 0.0, 0.0, cw / 2.0,
                                  ch / 2.0, FALSE));
    }
    if (!image) return Fail(why, "rotation by " + Angle(angle) + " failed");
    return image;
}

int TargetDimension(int value, int unit, int current) {
    if (unit == 0) return value;
    if (unit == 1) {
        // Nearest integer, halves to the even neighbour (the default rounding
        // mode); sizes past the integer range stay at its ends.
        const double exact = static_cast<double>(value) / 100.0 * static_cast<double>(current);
        const double rounded = std::nearbyint(exact);
        return static_cast<int>(std::clamp(rounded, -2147483648.0, 2147483647.0));
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

namespace {

// The size a resize of a w x h picture asks for; false when the picture keeps
// its size.
bool ResizeTarget(int w, int h, const Settings& s, double* outW, double* outH) {
    if (!s.doImageResize || w <= 0 || h <= 0) return false;
    const int nw = TargetDimension(s.imageWidth, s.imageWidthUnit, w);
    const int nh = TargetDimension(s.imageHeight, s.imageHeightUnit, h);
    if (nw <= 0 || nh <= 0) return false;
    if (nw == w && nh == h) return false;
    if (s.resizeScope() == ResizeScope::LargeImages && w < nw && h < nh) return false;
    *outW = nw;
    *outH = nh;
    if (s.keepAspectRatio != 0) KeepAspect(w, h, nw, nh, *outW, *outH);
    return true;
}

std::string SideText(double v) {
    return v >= 1e15 ? std::string("1000000000000000+") : std::to_string(static_cast<long long>(v));
}

}  // namespace

bool ExpectedStepSize(int w, int h, const Settings& s, uint64_t* outW, uint64_t* outH) {
    double cw = w, ch = h;
    const int angle = s.imageRotation;
    if (s.doImageRotation && angle > 0 && angle < 360 && s.imageRotationType == 0) {
        if (angle % 180 == 90) {
            std::swap(cw, ch);
        } else if (angle % 90 != 0) {
            // The turned picture's box, rounded down: the library's box is
            // never smaller.
            const double rad = static_cast<double>(angle) * 3.14159265358979323846 / 180.0;
            const double c = std::fabs(std::cos(rad)), sn = std::fabs(std::sin(rad));
            const double bw = std::floor(cw * c + ch * sn), bh = std::floor(cw * sn + ch * c);
            cw = bw;
            ch = bh;
        }
    }
    if (cw > static_cast<double>(kMaxBitmapSide) || ch > static_cast<double>(kMaxBitmapSide))
        return false;
    double rw = 0, rh = 0;
    if (ResizeTarget(static_cast<int>(cw), static_cast<int>(ch), s, &rw, &rh)) {
        if (rw < 1 || rh < 1 || rw > static_cast<double>(kMaxBitmapSide) ||
            rh > static_cast<double>(kMaxBitmapSide))
            return false;
        cw = rw;
        ch = rh;
    }
    *outW = static_cast<uint64_t>(cw);
    *outH = static_cast<uint64_t>(ch);
    return true;
}

Bitmap ResizeImage(Bitmap image, int w, int h, const Settings& s, std::string* why) {
    if (!image) return image;
    double outW = 0, outH = 0;
    if (!ResizeTarget(w, h, s, &outW, &outH)) return image;
    const std::string impossible =
        "resize to " + SideText(outW) + " x " + SideText(outH) + " is impossible";
    // A side that rounds to nothing, or past what a bitmap can have.
    if (outW < 1 || outH < 1 || outW > static_cast<double>(kMaxBitmapSide) ||
        outH > static_cast<double>(kMaxBitmapSide))
        return Fail(why, impossible);
    const uint64_t W = static_cast<uint64_t>(outW), H = static_cast<uint64_t>(outH);

    // The rescale makes the result and, on the way, one pass in between.
    const unsigned bpp = RescaledBpp(image.get());
    const uint64_t between = std::min(W * static_cast<uint64_t>(h), static_cast<uint64_t>(w) * H);
    const uint64_t result = BitmapBytes(W, H, bpp);
    const uint64_t pass = BitmapBytes(between, 1, bpp);
    const uint64_t needed = result > kSizeOverflow - pass ? kSizeOverflow : result + pass;
    std::string reason;
    if (!MemoryAllows(needed, &reason)) return Fail(why, impossible + ": " + reason);

    image.reset(Fi().Rescale(image.get(), static_cast<int>(W), static_cast<int>(H),
                             ResizeFilterFor(s.imageResizeAlgorithm)));
    if (!image)
        return Fail(why, "resize to " + SideText(outW) + " x " + SideText(outH) + " failed");
    return image;
}

void FlipImage(FIBITMAP* image, const Settings& s) {
    if (!image) return;
    if (s.doImageFlipHorizontal) Fi().FlipHorizontal(image);
    if (s.doImageFlipVertical) Fi().FlipVertical(image);
}

}  // namespace tarnwick
