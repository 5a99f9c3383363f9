#include "engine/png_guard.h"

#include "engine/png_chunks.h"

#include <cstring>
#include <fstream>

#include "engine/limits.h"

namespace tarnwick {

namespace {

// Samples per pixel of a colour type; 0 for a type PNG does not have.
int Channels(int colorType) {
    switch (colorType) {
        case 0: return 1;  // grey
        case 2: return 3;  // RGB
        case 3: return 1;  // palette index
        case 4: return 2;  // grey + alpha
        case 6: return 4;  // RGBA
        default: return 0;
    }
}

bool DepthAllowed(int colorType, int bitDepth) {
    switch (colorType) {
        case 0:
            return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8 ||
                   bitDepth == 16;
        case 3: return bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8;
        case 2:
        case 4:
        case 6: return bitDepth == 8 || bitDepth == 16;
        default: return false;
    }
}

// Bits per pixel of the bitmap the library decodes to, at most: palettes and
// low grey depths become 8 bits or fewer, a transparency chunk on grey or RGB
// adds an alpha channel, grey with alpha becomes RGBA.
unsigned DecodedBpp(int colorType, int bitDepth, bool transparency) {
    const bool deep = bitDepth == 16;
    switch (colorType) {
        case 3: return 8;
        case 0: return transparency ? (deep ? 64 : 32) : (deep ? 16 : 8);
        case 2: return transparency ? (deep ? 64 : 32) : (deep ? 48 : 24);
        default: return deep ? 64 : 32;
    }
}

// Rows of `rows` lines of `width` pixels, each with its filter byte.
uint64_t PassBytes(uint64_t width, uint64_t rows, uint64_t bitsPerPixel) {
    if (width == 0 || rows == 0) return 0;
    const uint64_t rowBytes = (width * bitsPerPixel + 7) / 8 + 1;  // width < 2^31, bpp <= 64
    uint64_t total = 0;
    return __builtin_mul_overflow(rowBytes, rows, &total) ? UINT64_MAX : total;
}

PngCheck Refuse(PngCheck check, const std::string& reason) {
    check.ok = false;
    check.reason = reason;
    return check;
}

}  // namespace

uint64_t PngRawDataBytes(uint32_t width, uint32_t height, int bitDepth, int colorType,
                         bool interlaced) {
    const uint64_t bpp =
        static_cast<uint64_t>(Channels(colorType)) * static_cast<uint64_t>(bitDepth);
    if (!interlaced) return PassBytes(width, height, bpp);
    // Adam7: pass origins and steps in x and y.
    static const int kX0[7] = {0, 4, 0, 2, 0, 1, 0}, kDx[7] = {8, 8, 4, 4, 2, 2, 1};
    static const int kY0[7] = {0, 0, 4, 0, 2, 0, 1}, kDy[7] = {8, 8, 8, 4, 4, 2, 2};
    uint64_t total = 0;
    for (int p = 0; p < 7; ++p) {
        const uint64_t w =
            width > static_cast<uint32_t>(kX0[p]) ? (width - kX0[p] + kDx[p] - 1) / kDx[p] : 0;
        const uint64_t h =
            height > static_cast<uint32_t>(kY0[p]) ? (height - kY0[p] + kDy[p] - 1) / kDy[p] : 0;
        const uint64_t pass = PassBytes(w, h, bpp);
        if (pass == UINT64_MAX || __builtin_add_overflow(total, pass, &total)) return UINT64_MAX;
    }
    return total;
}

uint64_t PngMaxInflatedBytes(uint64_t compressedBytes) {
    // Deflate spends at least two bits on a 258-byte match: 1032 bytes per
    // byte. The constant covers the stream's first literals and small headers.
    uint64_t bytes = 0;
    if (__builtin_mul_overflow(compressedBytes, uint64_t{1032}, &bytes)) return UINT64_MAX;
    return bytes > UINT64_MAX - 4096 ? UINT64_MAX : bytes + 4096;
}

PngCheck CheckPngInput(const std::string& path) {
    PngCheck check;
    std::ifstream in(path, std::ios::binary);
    if (!in) return Refuse(check, "cannot open file");
    in.seekg(0, std::ios::end);
    const std::streamoff endPos = in.tellg();
    if (endPos < 0) return Refuse(check, "cannot read file");
    const uint64_t fileSize = static_cast<uint64_t>(endPos);
    in.seekg(0);
    if (fileSize == 0) return Refuse(check, "empty file");

    unsigned char head[8 + 8 + 13];
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const size_t signatureGot = fileSize < 8 ? static_cast<size_t>(fileSize) : 8;
    if (!in.read(reinterpret_cast<char*>(head), static_cast<std::streamsize>(signatureGot)) ||
        std::memcmp(head, kSignature, signatureGot) != 0 || signatureGot < 8)
        return Refuse(check, signatureGot < 8 && std::memcmp(head, kSignature, signatureGot) == 0
                                 ? "truncated file"
                                 : "not a PNG file");

    // The header chunk comes first, with 13 bytes of data.
    if (fileSize < 8 + 8 + 13 + 4) return Refuse(check, "truncated file");
    if (!in.read(reinterpret_cast<char*>(head + 8), 8 + 13))
        return Refuse(check, "cannot read file");
    if (PngBe32(head + 8) != 13 || std::memcmp(head + 12, "IHDR", 4) != 0)
        return Refuse(check, "not a PNG file");
    const unsigned char* ihdr = head + 16;
    check.width = PngBe32(ihdr);
    check.height = PngBe32(ihdr + 4);
    check.bitDepth = ihdr[8];
    check.colorType = ihdr[9];
    check.interlaced = ihdr[12] == 1;
    if (check.width == 0 || check.height == 0 || check.width > 0x7FFFFFFFu ||
        check.height > 0x7FFFFFFFu || !DepthAllowed(check.colorType, check.bitDepth) ||
        ihdr[10] != 0 || ihdr[11] != 0 || ihdr[12] > 1)
        return Refuse(check, "invalid PNG header");

    // Walk the chunks by their lengths up to IEND. A file cut off after whole
    // chunks is left to the decoder.
    uint64_t pos = 8 + 8 + 13 + 4;
    while (pos < fileSize) {
        unsigned char chunk[8];
        if (fileSize - pos < 12) return Refuse(check, "truncated file");
        in.seekg(static_cast<std::streamoff>(pos));
        if (!in.read(reinterpret_cast<char*>(chunk), 8)) return Refuse(check, "cannot read file");
        const uint64_t length = PngBe32(chunk);
        if (length > fileSize - pos - 12) return Refuse(check, "truncated file");
        if (length > 0x7FFFFFFFu) return Refuse(check, "invalid chunk length");
        if (std::memcmp(chunk + 4, "IDAT", 4) == 0) check.imageDataBytes += length;
        if (std::memcmp(chunk + 4, "tRNS", 4) == 0) check.transparencyChunk = true;
        pos += 12 + length;
        if (std::memcmp(chunk + 4, "IEND", 4) == 0) break;
    }
    if (check.imageDataBytes == 0) return Refuse(check, "no image data");

    check.decodedBpp = DecodedBpp(check.colorType, check.bitDepth, check.transparencyChunk);
    const std::string size = std::to_string(check.width) + " x " + std::to_string(check.height);
    const uint64_t raw = PngRawDataBytes(check.width, check.height, check.bitDepth, check.colorType,
                                         check.interlaced);
    if (raw > PngMaxInflatedBytes(check.imageDataBytes))
        return Refuse(check,
                      "PNG header claims " + size + " pixels, more than its image data can hold");

    check.ok = true;
    return check;
}

bool CanDecodeWhole(const PngCheck& png, std::string* why) {
    return CanHoldBitmap(png.width, png.height, png.decodedBpp, why);
}

}  // namespace tarnwick
