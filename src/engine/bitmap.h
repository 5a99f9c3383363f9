// Owning handle for FreeImage bitmaps: a step takes ownership of the bitmap it
// replaces, so no path can forget FreeImage_Unload.
#pragma once

#include <FreeImage.h>

#include <memory>

namespace tarnwick {

struct BitmapUnload {
    void operator()(FIBITMAP* dib) const noexcept {
        if (dib) FreeImage_Unload(dib);
    }
};

using Bitmap = std::unique_ptr<FIBITMAP, BitmapUnload>;

// Makes FreeImage ready once per process (idempotent, thread-safe).
void EnsureFreeImage();

}  // namespace tarnwick
