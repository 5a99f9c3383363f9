// Size limits of the images the engine takes.
#pragma once

namespace tarnwick {

// Upper bound on the pixels of a decoded image (width * height); larger PNGs
// are refused before their pixels are allocated.
constexpr unsigned long long kMaxImagePixels = 1ull << 28;  // 268 megapixels

}  // namespace tarnwick
