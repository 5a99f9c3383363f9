// Walking a PNG file chunk by chunk, for the readers of both conversion
// paths: the text chunks (tEXt, zTXt, iTXt) are never used by the program,
// so they are passed over without being read, let alone inflated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

namespace tarnwick {

// True for the four-letter type of a text chunk.
bool IsPngTextChunk(const unsigned char* type);

// Reads big-endian 32-bit numbers as PNG stores them.
uint32_t PngBe32(const unsigned char* p);

// A PNG file presented as a byte stream without its text chunks; every other
// byte is passed as it is, CRCs included. Notes the header's depth and
// colour type and a grey picture's transparent level on the way.
class PngChunkFilter {
public:
    explicit PngChunkFilter(std::FILE* file) : file_(file) {}

    // Copies up to `size` bytes; fewer only at the end of the file or on a
    // read error.
    size_t Read(void* data, size_t size);
    // Moves to `position` of the filtered stream (back by starting again).
    bool Seek(uint64_t position);
    uint64_t Tell() const { return position_; }

    int bitDepth() const { return bitDepth_; }
    int colorType() const { return colorType_; }
    // The transparent level of a grey picture (tRNS), as the file states it.
    std::optional<uint16_t> transparentGrey() const { return transparentGrey_; }

private:
    // Fills `pending_` with the next bytes to pass; false at the end.
    bool Next();

    std::FILE* file_;
    uint64_t position_ = 0;
    bool started_ = false;
    uint64_t chunkLeft_ = 0;  // bytes of the current chunk (data and CRC) still to pass
    std::vector<unsigned char> pending_;
    size_t pendingAt_ = 0;
    int bitDepth_ = 0;
    int colorType_ = -1;
    std::optional<uint16_t> transparentGrey_;
};

}  // namespace tarnwick
