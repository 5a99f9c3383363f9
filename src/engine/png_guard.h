// The check every input passes before it is decoded: a PNG's structure, and
// whether the picture its header claims can be real (and, for decoding it
// whole, whether it can be held). A tiny
// damaged or hostile file is refused here in a moment instead of making the
// decoder allocate gigabytes.
#pragma once

#include <cstdint>
#include <string>

namespace tarnwick {

struct PngCheck {
    bool ok = false;
    std::string reason;  // why the file is refused; empty when ok
    // From the header (filled as soon as it was read, also when refused).
    uint32_t width = 0, height = 0;
    int bitDepth = 0, colorType = 0;
    bool interlaced = false;
    bool transparencyChunk = false;  // a tRNS chunk is present
    uint64_t imageDataBytes = 0;     // sum of the IDAT chunk lengths
    // Largest bits per pixel the decoder makes of this file.
    unsigned decodedBpp = 0;
};

// Reads the signature, the header and the chunk lengths (CRCs are left to
// the decoder) and refuses:
//   "empty file", "not a PNG file", "truncated file" (a chunk runs past the
//   end), "invalid PNG header", "no image data",
//   "PNG header claims W x H pixels, more than its image data can hold"
//   (deflate packs at most 1032 bytes into one). What passes can be decoded
//   row by row with bounded memory.
PngCheck CheckPngInput(const std::string& path);

// Whether the whole picture of a file that passed CheckPngInput can be
// decoded into one bitmap: sides within range and its bytes within the
// memory available now ("not enough memory: ... for a W x H picture").
bool CanDecodeWhole(const PngCheck& png, std::string* why = nullptr);

// Bytes of the filtered rows the image data must inflate to: each row of each
// interlace pass with its filter byte.
uint64_t PngRawDataBytes(uint32_t width, uint32_t height, int bitDepth, int colorType,
                         bool interlaced);

// The most bytes the image data of `compressedBytes` bytes can inflate to.
uint64_t PngMaxInflatedBytes(uint64_t compressedBytes);

}  // namespace tarnwick
