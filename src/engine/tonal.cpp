// Tonal adjustments: brightness, contrast, gamma and inversion in one pass,
// greyscale and the black-and-white threshold.
#include "engine/limits.h"
#include "engine/steps.h"

namespace tarnwick {

namespace {

Bitmap Fail(std::string* why, const std::string& reason) {
    if (why) *why = reason;
    return Bitmap();
}

// Whether the library may make a new bitmap of the picture's size at `bpp` bits.
bool Room(FIBITMAP* dib, unsigned bpp, const char* step, std::string* why) {
    std::string reason;
    if (CanHoldBitmap(Fi().GetWidth(dib), Fi().GetHeight(dib), bpp, &reason)) return true;
    if (why) *why = std::string(step) + ": " + reason;
    return false;
}

}  // namespace

Bitmap CorrectColors(Bitmap image, const Settings& s, std::string* why) {
    if (!image) return image;
    if (!s.doImageColorCorrection) return image;

    // The adjustment takes 8, 24 and 32-bit standard bitmaps only.
    const unsigned bpp = Fi().GetBPP(image.get());
    if (bpp < 8 || bpp > 32 || Fi().GetImageType(image.get()) != FIT_BITMAP) {
        std::string reason;
        image = ConvertTo24(std::move(image), &reason);
        if (!image) return Fail(why, "colour correction: " + reason);
    }
    // Works in place; an adjustment the library refuses leaves the picture as it was.
    Fi().AdjustColors(image.get(), static_cast<double>(s.imageBrightness),
                      static_cast<double>(s.imageContrast), static_cast<double>(s.imageGamma),
                      s.imageInvert ? TRUE : FALSE);
    return image;
}

Bitmap MakeGreyscale(Bitmap image, const Settings& s, std::string* why) {
    if (!image) return image;
    if (!s.doImageGreyscale) return image;

    if (Fi().GetBPP(image.get()) > 32) {
        std::string reason;
        image = ConvertTo24(std::move(image), &reason);
        if (!image) return Fail(why, "greyscale: " + reason);
    }
    if (!Room(image.get(), 8, "greyscale", why)) return Bitmap();
    image.reset(Fi().ConvertToGreyscale(image.get()));
    if (!image) return Fail(why, "greyscale conversion failed");
    return image;
}

Bitmap ApplyThreshold(Bitmap image, const Settings& s, std::string* why) {
    if (!image) return image;
    if (!s.doImageThreshold) return image;

    if (Fi().GetBPP(image.get()) > 32) {
        std::string reason;
        image = ConvertTo24(std::move(image), &reason);
        if (!image) return Fail(why, "threshold: " + reason);
    }
    // The library works through an 8-bit grey copy for colour pictures.
    if (!Room(image.get(), 8, "threshold", why)) return Bitmap();
    image.reset(Fi().Threshold(image.get(), static_cast<BYTE>(s.imageThreshold)));
    if (!image) return Fail(why, "threshold failed");
    return image;
}

}  // namespace tarnwick
