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
// A 24-bit standard bitmap of any image the library holds (16-bit greyscale
// included); the bitmap it replaces is released. No image when it cannot.
Bitmap ConvertTo24(Bitmap image);
// ParseColor(text) + 16777216 * alpha (alpha limited to 0..255).
uint32_t HexToColorAlpha(const std::string& text, int alpha);

// Tonal adjustments.
Bitmap CorrectColors(Bitmap image, const Settings& s);
Bitmap MakeGreyscale(Bitmap image, const Settings& s);
Bitmap ApplyThreshold(Bitmap image, const Settings& s);

// Frame and watermark (drawn by the canvas module, loaded on demand).
Bitmap DrawFrame(Bitmap image, int width, int height, const Settings& s);
Bitmap DrawWatermark(Bitmap image, int width, int height, const Settings& s, const RunState& run);

// The frame's side widths as drawn on a width x height picture: negative
// widths count as 0, and two opposite sides wider than the picture together
// share it in proportion to their widths.
struct FrameWidths {
    int left = 0, right = 0, top = 0, bottom = 0;
};
FrameWidths EffectiveFrameWidths(int width, int height, const Settings& s);

// Watermark helpers. The text's "%width%", "%height%" and "%bpp%" show the
// current picture: `run` is expected to carry its size and output depth
// (DrawWatermark passes such a copy).
std::string ExpandWatermarkText(const Settings& s, const RunState& run);
// The layer cut to the area available from its offsets; no layer when nothing is left.
Bitmap ClipWatermark(Bitmap layer, int width, int height, const Settings& s);
struct LayerPosition {
    int x = 0, y = 0;
};
LayerPosition WatermarkPosition(int width, int height, int layerWidth, int layerHeight,
                                const Settings& s);

// Sets up the drawing canvas (on the starter's thread) before a run that draws
// a frame or a watermark. False when no canvas is available.
bool PrepareCanvas();

// Watermark font slot: loaded by the starter before a run, released after it.
bool LoadWatermarkFont(const Settings& s);
void ReleaseWatermarkFont();

}  // namespace tarnwick
