// Size limits of the images the engine takes: those of the bitmap library and
// the BMP format, and the memory the machine has left. Every size is computed
// in 64 bits; a size that does not fit there counts as too large.
#pragma once

#include <cstdint>
#include <string>

#include "engine/bmp_format.h"

namespace tarnwick {

// Longest side of a bitmap: the library and the BMP header hold sides as
// signed 32-bit numbers.
constexpr uint64_t kMaxBitmapSide = 2147483647;
// A BMP file records its own size, and that of its pixels, in 32 bits.
constexpr uint64_t kMaxBmpFileBytes = 0xFFFFFFFFull;
// Memory left free beside a new bitmap: the library's tables, line buffers
// and the rest of the program.
constexpr uint64_t kMemoryReserveBytes = 64ull << 20;
// Value of the size helpers for a size that does not fit in 64 bits.
constexpr uint64_t kSizeOverflow = kBmpSizeOverflow;

// Bytes of a width x height bitmap of `bpp` bits per pixel as the library
// holds it: rows padded to 4 bytes, plus its header and palette.
uint64_t BitmapBytes(uint64_t width, uint64_t height, unsigned bpp);

// Whether a width x height picture can be written as a BMP of `bpp` bits per
// pixel (a file under 4 GiB, sides within the header's range). `why` gets
// the reason when it cannot.
bool BmpSizeAllowed(uint64_t width, uint64_t height, unsigned bpp, std::string* why = nullptr);
// Whether `bytes` more can be taken from the memory available now (with the
// reserve kept free). True when the machine does not tell.
bool MemoryAllows(uint64_t bytes, std::string* why = nullptr);
// Whether a new width x height bitmap of `bpp` bits can be made: sides within
// range and its bytes within the memory available.
bool CanHoldBitmap(uint64_t width, uint64_t height, unsigned bpp, std::string* why = nullptr);

// A byte count for people: "512 KiB", "900 MiB", "27.9 GiB".
std::string FormatBytes(uint64_t bytes);

}  // namespace tarnwick
