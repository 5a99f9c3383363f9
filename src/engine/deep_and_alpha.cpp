// The two steps every whole-picture conversion runs as its picture needs:
// deep pictures brought to 8 bits per channel, transparency put onto white.
#include <FreeImage.h>

#include "engine/steps.h"

namespace tarnwick {

namespace {

// Puts a 32-bit image onto white where it stands, with the arithmetic of
// FreeImage_Composite, and makes it opaque: the same pixels as compositing
// followed by the conversion back to 32 bits, without the two extra bitmaps.
void FlattenOntoWhiteInPlace(FIBITMAP* dib) {
    const unsigned width = Fi().GetWidth(dib);
    const unsigned height = Fi().GetHeight(dib);
    for (unsigned y = 0; y < height; ++y) {
        BYTE* px = Fi().GetScanLine(dib, static_cast<int>(y));
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

}  // namespace

// Brings an image deeper than 32 bits to 8 bits per channel. Sixteen-bit
// PNG samples are ordinary colours with more precision: they keep their
// colours (the high byte of each sample) and their transparency, which the
// next step flattens onto white. Only floating-point images, whose values are
// not bounded, are tone-mapped.
Bitmap ReduceDeepImage(Bitmap image) {
    switch (Fi().GetImageType(image.get())) {
        case FIT_RGB16: return Bitmap(Fi().ConvertTo24Bits(image.get()));
        case FIT_RGBA16: return Bitmap(Fi().ConvertTo32Bits(image.get()));
        default: return Bitmap(Fi().TmoDrago03(image.get(), 1.0, 0.0));
    }
}

// Every transparent image is put onto white and continues as a 24-bit image.
// When nothing between here and the depth step looks at the pixel format and
// that step would make a 32-bit image again, the 32-bit image is flattened in
// place instead (same result, a third of the memory traffic).
Bitmap FlattenOntoWhite(Bitmap image, bool keep32) {
    if (!Fi().IsTransparent(image.get())) return image;
    if (keep32 && Fi().GetImageType(image.get()) == FIT_BITMAP && Fi().GetBPP(image.get()) == 32) {
        FlattenOntoWhiteInPlace(image.get());
        return image;
    }
    const unsigned bpp = Fi().GetBPP(image.get());
    if (bpp != 8 && bpp != 32) {
        image.reset(Fi().ConvertTo32Bits(image.get()));
        if (!image) return image;
    }
    RGBQUAD white{255, 255, 255, 0};
    return Bitmap(Fi().Composite(image.get(), FALSE, &white, nullptr));
}

}  // namespace tarnwick
