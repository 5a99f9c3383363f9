// Owning handle for the library's bitmaps: a step takes ownership of the
// bitmap it replaces, so no path can forget to unload one.
#pragma once

#include <memory>

#include "engine/image_library.h"

namespace tarnwick {

struct BitmapUnload {
    void operator()(FIBITMAP* dib) const noexcept {
        if (dib) Fi().Unload(dib);
    }
};

using Bitmap = std::unique_ptr<FIBITMAP, BitmapUnload>;

}  // namespace tarnwick
