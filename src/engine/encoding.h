// Output encoding: save flags, automatic depth, depth conversion and the
// exact-palette BMP writer.
#pragma once

#include <string>

#include "engine/bitmap.h"
#include "engine/run_state.h"
#include "settings/settings.h"

namespace tarnwick {

struct FormatRegistry;

// Sets run.outputFif, outputBpp, saveFlags and autoBpp for the extension.
void PrepareOutputEncoding(const FormatRegistry& reg, const Settings& s, RunState& run,
                           const std::string& extension);
int SaveFlagsFor(const Settings& s, const std::string& extension);
int AutoBppFor(const FormatRegistry& reg, const std::string& extension, int sourceBpp);

// Brings the image to run.outputBpp (resolving it first when run.autoBpp is 1).
// Returns no image for a depth it does not handle.
Bitmap ConvertDepth(Bitmap image, const FormatRegistry& reg, RunState& run);

// Writes an 8-bit palettised image as BMP whose colour table holds only the
// entries up to the highest index used. 1 when the whole file was written.
int SaveBmpExactPalette(FIBITMAP* image, const std::string& path, const RunState& run);

}  // namespace tarnwick
