// The image steps of the pipeline. Each takes the current bitmap and returns
// the one to continue with; a bitmap it replaces is released. A step that
// fails returns no image and, when given `why`, says there why it failed.
#pragma once

#include <cstdint>
#include <string>

#include "engine/bitmap.h"
#include "engine/run_state.h"
#include "settings/settings.h"

namespace tarnwick {

// Geometric transforms.
Bitmap RotateImage(Bitmap image, const Settings& s, std::string* why = nullptr);
// A target that cannot be made (a side that rounds to nothing, a picture
// larger than a bitmap can be or than the memory holds) fails the step:
// "resize to W x H is impossible".
Bitmap ResizeImage(Bitmap image, int width, int height, const Settings& s,
                   std::string* why = nullptr);
void FlipImage(FIBITMAP* image, const Settings& s);
// The size a w x h picture will have after the rotation and the resize, at
// least (a turn by an odd angle may add a pixel); false when that size is
// beyond what a bitmap can hold. Lets a file be refused before the work.
bool ExpectedStepSize(int w, int h, const Settings& s, uint64_t* outW, uint64_t* outH);
// Percentages past the integer range give its largest (or smallest) value.
int TargetDimension(int value, int unit, int current);
FREE_IMAGE_FILTER ResizeFilterFor(int algorithm);
// A 24-bit standard bitmap of any image the library holds (16-bit greyscale
// included); the bitmap it replaces is released. No image when it cannot.
Bitmap ConvertTo24(Bitmap image, std::string* why = nullptr);
// ParseColor(text) + 16777216 * alpha (alpha limited to 0..255).
uint32_t HexToColorAlpha(const std::string& text, int alpha);

// Deep pictures and transparency (every whole-picture conversion runs these
// as its picture needs). Sixteen-bit samples keep their high byte and their
// transparency; floating-point pictures are tone-mapped. Transparency is put
// onto white, as a 24-bit picture, or in place at 32 bits with `keep32`.
Bitmap ReduceDeepImage(Bitmap image);
Bitmap FlattenOntoWhite(Bitmap image, bool keep32);

// Tonal adjustments.
Bitmap CorrectColors(Bitmap image, const Settings& s, std::string* why = nullptr);
Bitmap MakeGreyscale(Bitmap image, const Settings& s, std::string* why = nullptr);
Bitmap ApplyThreshold(Bitmap image, const Settings& s, std::string* why = nullptr);

// Frame and watermark (drawn by the canvas module, loaded on demand). A frame
// or watermark that cannot be drawn (no drawing module, no font, a watermark
// image that cannot be read, too little memory) fails the step.
Bitmap DrawFrame(Bitmap image, int width, int height, const Settings& s,
                 std::string* why = nullptr);
Bitmap DrawWatermark(Bitmap image, int width, int height, const Settings& s, const RunState& run,
                     std::string* why = nullptr);

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

// Whether the drawing module (libtarnwick_canvas.so) can be loaded; `why`
// gets the reason when not ("drawing module libtarnwick_canvas.so not
// found: ...").
bool CanvasAvailable(std::string* why = nullptr);
// Sets up the drawing canvas (on the starter's thread) before a run that draws
// a frame or a watermark. False when no canvas is available.
bool PrepareCanvas(std::string* why = nullptr);

// Watermark font slot: loaded by the starter before a run, released after it.
// False when the face is not installed, or when no canvas is available (then
// `why` says so: that is not a fault of the font).
bool LoadWatermarkFont(const Settings& s, std::string* why = nullptr);
void ReleaseWatermarkFont();

// Largest watermark layer the program draws, in pixels (256 MiB at 32 bits).
constexpr int kMaxWatermarkPixels = 1 << 26;
// Whether `path` names a watermark image the program can draw: a non-empty
// file and, for a PNG, a header the program's PNG reader takes with a
// picture within kMaxWatermarkPixels. Read from the file's header, without
// decoding it; the drawing module checks the size of other pictures itself.
bool WatermarkImageUsable(const std::string& path, std::string* why = nullptr);

}  // namespace tarnwick
