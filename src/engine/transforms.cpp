#include "engine/steps.h"

namespace tarnwick {

Bitmap RotateImage(Bitmap image, const Settings& s) { return image; }
Bitmap ResizeImage(Bitmap image, int width, int height, const Settings& s) { return image; }
void FlipImage(FIBITMAP* image, const Settings& s) {}
int TargetDimension(int value, int unit, int current) { return current; }
FREE_IMAGE_FILTER ResizeFilterFor(int algorithm) { return FILTER_BICUBIC; }
uint32_t HexToColorAlpha(const std::string& text, int alpha) {
    return ParseColor(text) + 16777216u * static_cast<uint32_t>(alpha);
}

}  // namespace tarnwick
