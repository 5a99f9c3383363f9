// Tonal adjustments: brightness, contrast, gamma and inversion in one pass,
// greyscale and the black-and-white threshold.
#include "engine/steps.h"

namespace tarnwick {

Bitmap CorrectColors(Bitmap image, const Settings& s) {
    if (!image) return image;
    if (!s.doImageColorCorrection) return image;

    // The adjustment takes 8, 24 and 32-bit standard bitmaps only.
    const unsigned bpp = FreeImage_GetBPP(image.get());
    if (bpp < 8 || bpp > 32 || FreeImage_GetImageType(image.get()) != FIT_BITMAP) {
        image = ConvertTo24(std::move(image));
        if (!image) return image;
    }
    // Works in place; an adjustment the library refuses leaves the picture as it was.
    FreeImage_AdjustColors(image.get(), static_cast<double>(s.imageBrightness),
                           static_cast<double>(s.imageContrast), static_cast<double>(s.imageGamma),
                           s.imageInvert ? TRUE : FALSE);
    return image;
}

Bitmap MakeGreyscale(Bitmap image, const Settings& s) {
    if (!image) return image;
    if (!s.doImageGreyscale) return image;

    if (FreeImage_GetBPP(image.get()) > 32) {
        image = ConvertTo24(std::move(image));
        if (!image) return image;
    }
    image.reset(FreeImage_ConvertToGreyscale(image.get()));
    return image;
}

Bitmap ApplyThreshold(Bitmap image, const Settings& s) {
    if (!image) return image;
    if (!s.doImageThreshold) return image;

    if (FreeImage_GetBPP(image.get()) > 32) {
        image = ConvertTo24(std::move(image));
        if (!image) return image;
    }
    image.reset(FreeImage_Threshold(image.get(), static_cast<BYTE>(s.imageThreshold)));
    return image;
}

}  // namespace tarnwick
