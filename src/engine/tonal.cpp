#include "engine/steps.h"

namespace tarnwick {

Bitmap CorrectColors(Bitmap image, const Settings& s) { return image; }
Bitmap MakeGreyscale(Bitmap image, const Settings& s) { return image; }
Bitmap ApplyThreshold(Bitmap image, const Settings& s) { return image; }

}  // namespace tarnwick
