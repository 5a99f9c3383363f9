// Output encoding: save flags, automatic depth, depth conversion and the
// exact-palette BMP writer.
#pragma once

#include <memory>
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

// Sets run.outputBpp to the depth an automatic setting picks for the
// source depth run.sourceBpp; a fixed depth stays.
void ResolveOutputBpp(const FormatRegistry& reg, RunState& run);
// Brings the image to run.outputBpp, resolved before (ResolveOutputBpp).
// Returns no image for a depth it does not handle.
Bitmap ConvertDepth(Bitmap image, const FormatRegistry& reg, const RunState& run);

// Closes a FreeImage memory stream whatever happens.
struct MemoryCloser {
    void operator()(FIMEMORY* m) const noexcept {
        if (m) Fi().CloseMemory(m);
    }
};
using MemoryStream = std::unique_ptr<FIMEMORY, MemoryCloser>;

// A whole output file encoded in memory: `size` bytes at `data`, owned by
// `stream`. Empty (no data) when the encoding failed.
struct EncodedFile {
    MemoryStream stream;
    BYTE* data = nullptr;
    size_t size = 0;
    explicit operator bool() const { return data != nullptr; }
};

// Encodes with FreeImage's writer for `fif` and `flags`. A BMP comes out with
// honest size fields (see FixBmpSizeFields).
EncodedFile EncodeImage(FIBITMAP* image, int fif, int flags);

// Encodes an 8-bit palettised image as BMP whose colour table holds only the
// entries up to the highest index used.
EncodedFile EncodeBmpExactPalette(FIBITMAP* image, const RunState& run);

// Writes that BMP to `path` through the safe save. 1 when the whole file was
// written and is in place, else 0 (an existing file is then unchanged).
int SaveBmpExactPalette(FIBITMAP* image, const std::string& path, const RunState& run);

}  // namespace tarnwick
