#include "engine/steps.h"

namespace tarnwick {

Bitmap DrawFrame(Bitmap image, int width, int height, const Settings& s) { return image; }
bool PrepareCanvas() { return true; }

}  // namespace tarnwick
