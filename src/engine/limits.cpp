#include "engine/limits.h"

#include <cstdio>

#include "engine/bmp_format.h"
#include "platform/memory.h"

namespace tarnwick {

namespace {

std::string Size(uint64_t width, uint64_t height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

}  // namespace

uint64_t BitmapBytes(uint64_t width, uint64_t height, unsigned bpp) {
    // Header, palette or colour masks: at most a few KiB.
    return SizeSum(SizeProduct(BmpRowBytes(width, bpp), height), 4096);
}

bool BmpSizeAllowed(uint64_t width, uint64_t height, unsigned bpp, std::string* why) {
    if (width > kMaxBitmapSide || height > kMaxBitmapSide) {
        if (why) *why = "a " + Size(width, height) + " picture is larger than a BMP file can hold";
        return false;
    }
    const uint64_t bytes = BmpFileBytes(width, height, bpp);
    if (bytes > kMaxBmpFileBytes) {
        if (why)
            *why = "a " + Size(width, height) + " BMP at " + std::to_string(bpp) +
                   " bits per pixel would take " +
                   (bytes == kSizeOverflow ? std::string("too many bytes") : FormatBytes(bytes)) +
                   "; a BMP file must stay under 4 GiB";
        return false;
    }
    return true;
}

bool MemoryAllows(uint64_t bytes, std::string* why) {
    const auto available = platform::AvailableMemoryBytes();
    const uint64_t needed = SizeSum(bytes, kMemoryReserveBytes);
    if (needed != kSizeOverflow && (!available || needed <= *available)) return true;
    if (why) {
        *why = "not enough memory: " +
               (bytes == kSizeOverflow ? std::string("more than can be counted")
                                       : FormatBytes(bytes)) +
               " needed, " + (available ? FormatBytes(*available) : std::string("less")) +
               " available";
    }
    return false;
}

bool CanHoldBitmap(uint64_t width, uint64_t height, unsigned bpp, std::string* why) {
    if (width == 0 || height == 0 || width > kMaxBitmapSide || height > kMaxBitmapSide) {
        if (why) *why = "a " + Size(width, height) + " picture is beyond what a bitmap can be";
        return false;
    }
    std::string reason;
    if (MemoryAllows(BitmapBytes(width, height, bpp), &reason)) return true;
    if (why) *why = reason + " for a " + Size(width, height) + " picture";
    return false;
}

std::string FormatBytes(uint64_t bytes) {
    char text[64];
    if (bytes >= (1ull << 30))
        std::snprintf(text, sizeof text, "%.1f GiB", static_cast<double>(bytes) / (1ull << 30));
    else if (bytes >= (1ull << 20))
        std::snprintf(text, sizeof text, "%llu MiB",
                      static_cast<unsigned long long>((bytes + (1ull << 19)) >> 20));
    else
        std::snprintf(text, sizeof text, "%llu KiB",
                      static_cast<unsigned long long>((bytes + 1023) >> 10));
    return text;
}

}  // namespace tarnwick
