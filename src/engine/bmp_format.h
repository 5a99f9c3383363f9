// The BMP format's arithmetic in one place: little-endian fields, the sizes
// of rows, headers and files, and the repairs the program makes to the
// library's BMP files. Every writer and every limit uses these.
#pragma once

#include <FreeImage.h>

#include <cstddef>
#include <cstdint>

namespace tarnwick {

// The file header and the 40-byte information header.
constexpr uint32_t kBmpHeadersBytes = 14 + 40;
// A size that does not fit in 64 bits.
constexpr uint64_t kBmpSizeOverflow = UINT64_MAX;

// a * b and a + b, or kBmpSizeOverflow when the result does not fit.
uint64_t SizeProduct(uint64_t a, uint64_t b);
uint64_t SizeSum(uint64_t a, uint64_t b);

void PutLe16(BYTE* p, uint32_t v);
void PutLe32(BYTE* p, uint32_t v);
uint32_t GetLe32(const BYTE* p);

// Bytes of one row of `width` pixels of `bpp` bits, padded to 4 bytes
// (kBmpSizeOverflow when it does not fit).
uint64_t BmpRowBytes(uint64_t width, unsigned bpp);
// Entries of the colour table: 2^bpp up to 8 bits, else none.
uint32_t BmpColorTableEntries(unsigned bpp);
// Where the pixels start: the headers, the colour masks of a 16-bit
// (5-6-5) file and the colour table.
uint32_t BmpDataOffset(unsigned bpp);
// Bytes of a width x height file of `bpp` bits, uncompressed
// (kBmpSizeOverflow when it does not fit in 64 bits).
uint64_t BmpFileBytes(uint64_t width, uint64_t height, unsigned bpp);

// Makes the file size field (and, for RLE, the image size field) of a BMP
// in memory match its real size; the library's writer leaves them wrong for
// RLE files. Reads and writes the header only.
void FixBmpSizeFields(BYTE* data, size_t size);
// The library's RLE8 encoder leaves the pad byte after an odd run of literal
// bytes unwritten, so stray memory would reach the file: this sets those pad
// bytes to 0 in a sequence of whole RLE8 commands.
void ClearRle8Padding(BYTE* data, size_t size);

}  // namespace tarnwick
