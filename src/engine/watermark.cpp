#include "engine/steps.h"

namespace tarnwick {

Bitmap DrawWatermark(Bitmap image, int width, int height, const Settings& s, const RunState& run) {
    return image;
}
bool LoadWatermarkFont(const Settings& s) { return true; }
void ReleaseWatermarkFont() {}

}  // namespace tarnwick
