// The image steps of the pipeline. Each takes the current bitmap and returns
// the one to continue with; a bitmap it replaces is released.
#pragma once

#include <cstdint>
#include <string>

#include "engine/bitmap.h"
#include "engine/run_state.h"
#include "settings/settings.h"

namespace tarnwick {

// Geometric transforms.
Bitmap RotateImage(Bitmap image, const Settings& s);
Bitmap ResizeImage(Bitmap image, int width, int height, const Settings& s);
void FlipImage(FIBITMAP* image, const Settings& s);
int TargetDimension(int value, int unit, int current);
FREE_IMAGE_FILTER ResizeFilterFor(int algorithm);
// ParseColor(text) + 16777216 * alpha.
uint32_t HexToColorAlpha(const std::string& text, int alpha);

// Tonal adjustments.
Bitmap CorrectColors(Bitmap image, const Settings& s);
Bitmap MakeGreyscale(Bitmap image, const Settings& s);
Bitmap ApplyThreshold(Bitmap image, const Settings& s);

// Frame and watermark (drawn by the canvas module, loaded on demand).
Bitmap DrawFrame(Bitmap image, int width, int height, const Settings& s);
Bitmap DrawWatermark(Bitmap image, int width, int height, const Settings& s, const RunState& run);

// Sets up the drawing canvas (on the starter's thread) before a run that draws
// a frame or a watermark. False when no canvas is available.
bool PrepareCanvas();

// Watermark font slot: loaded by the starter before a run, released after it.
bool LoadWatermarkFont(const Settings& s);
void ReleaseWatermarkFont();

}  // namespace tarnwick
