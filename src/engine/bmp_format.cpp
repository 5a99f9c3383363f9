#include "engine/bmp_format.h"

namespace tarnwick {

uint64_t SizeProduct(uint64_t a, uint64_t b) {
    uint64_t r = 0;
    return __builtin_mul_overflow(a, b, &r) ? kBmpSizeOverflow : r;
}

uint64_t SizeSum(uint64_t a, uint64_t b) {
    uint64_t r = 0;
    return __builtin_add_overflow(a, b, &r) ? kBmpSizeOverflow : r;
}

void PutLe16(BYTE* p, uint32_t v) {
    p[0] = static_cast<BYTE>(v & 0xFF);
    p[1] = static_cast<BYTE>((v >> 8) & 0xFF);
}

void PutLe32(BYTE* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<BYTE>((v >> (8 * i)) & 0xFF);
}

uint32_t GetLe32(const BYTE* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint64_t BmpRowBytes(uint64_t width, unsigned bpp) {
    const uint64_t bits = SizeProduct(width, bpp);
    if (bits == kBmpSizeOverflow) return kBmpSizeOverflow;
    return (bits / 32 + (bits % 32 != 0)) * 4;
}

uint32_t BmpColorTableEntries(unsigned bpp) { return bpp <= 8 ? (1u << bpp) : 0; }

uint32_t BmpDataOffset(unsigned bpp) {
    return kBmpHeadersBytes + 4 * BmpColorTableEntries(bpp) + (bpp == 16 ? 12 : 0);
}

uint64_t BmpFileBytes(uint64_t width, uint64_t height, unsigned bpp) {
    return SizeSum(SizeProduct(BmpRowBytes(width, bpp), height), BmpDataOffset(bpp));
}

void FixBmpSizeFields(BYTE* data, size_t size) {
    if (!data || size < 54 || size > 0xFFFFFFFFu || data[0] != 'B' || data[1] != 'M') return;
    if (GetLe32(data + 14) < 40) return;  // an old core header has no such fields
    auto put = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) data[at + i] = static_cast<BYTE>((v >> (8 * i)) & 0xFF);
    };
    put(2, static_cast<uint32_t>(size));
    const uint32_t pixelOffset = GetLe32(data + 10);
    const uint32_t compression = GetLe32(data + 30);
    if ((compression == 1 || compression == 2) && pixelOffset <= size)  // BI_RLE8, BI_RLE4
        put(34, static_cast<uint32_t>(size - pixelOffset));
}

void ClearRle8Padding(BYTE* data, size_t size) {
    size_t i = 0;
    while (i + 1 < size) {
        const BYTE count = data[i];
        const BYTE code = data[i + 1];
        if (count != 0 || code < 2) {  // a run, an end of line or of the picture
            i += 2;
        } else if (code == 2) {  // a move: two more bytes
            i += 4;
        } else {  // `code` bytes as they are, padded to an even count
            i += 2 + code;
            if ((code & 1) != 0) {
                if (i < size) data[i] = 0;
                ++i;
            }
        }
    }
}

}  // namespace tarnwick
