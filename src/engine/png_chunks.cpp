#include "engine/png_chunks.h"

#include <algorithm>
#include <cstring>

namespace tarnwick {

bool IsPngTextChunk(const unsigned char* type) {
    return std::memcmp(type, "tEXt", 4) == 0 || std::memcmp(type, "zTXt", 4) == 0 ||
           std::memcmp(type, "iTXt", 4) == 0;
}

uint32_t PngBe32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}

bool PngChunkFilter::Next() {
    pending_.clear();
    pendingAt_ = 0;
    if (!started_) {
        started_ = true;
        pending_.resize(8);
        const size_t n = std::fread(pending_.data(), 1, 8, file_);
        pending_.resize(n);
        return n > 0;
    }
    if (chunkLeft_ > 0) {
        // The rest of a passed chunk, in pieces.
        const size_t want = static_cast<size_t>(std::min<uint64_t>(chunkLeft_, 1 << 16));
        pending_.resize(want);
        const size_t n = std::fread(pending_.data(), 1, want, file_);
        pending_.resize(n);
        chunkLeft_ = n == want ? chunkLeft_ - n : 0;
        return n > 0;
    }
    for (;;) {
        unsigned char head[8];
        const size_t n = std::fread(head, 1, 8, file_);
        if (n < 8) {
            pending_.assign(head, head + n);
            return n > 0;
        }
        const uint32_t length = PngBe32(head);
        if (IsPngTextChunk(head + 4) && length <= 0x7FFFFFFFu) {
            if (std::fseek(file_, static_cast<long>(length) + 4, SEEK_CUR) != 0) return false;
            continue;
        }
        pending_.assign(head, head + 8);
        chunkLeft_ = uint64_t{length} + 4;
        const bool header = std::memcmp(head + 4, "IHDR", 4) == 0 && length == 13;
        const bool transparency = std::memcmp(head + 4, "tRNS", 4) == 0 && length == 2;
        if (header || transparency) {
            // Small chunks whose numbers are noted: read whole.
            unsigned char body[13 + 4];
            const size_t got = std::fread(body, 1, length + 4, file_);
            pending_.insert(pending_.end(), body, body + got);
            chunkLeft_ = 0;
            if (got == length + 4) {
                if (header) {
                    bitDepth_ = body[8];
                    colorType_ = body[9];
                } else if (colorType_ == 0) {
                    transparentGrey_ = static_cast<uint16_t>(body[0] << 8 | body[1]);
                }
            }
        }
        return true;
    }
}

size_t PngChunkFilter::Read(void* data, size_t size) {
    auto* out = static_cast<unsigned char*>(data);
    size_t done = 0;
    while (done < size) {
        if (pendingAt_ == pending_.size() && !Next()) break;
        const size_t n = std::min(size - done, pending_.size() - pendingAt_);
        std::memcpy(out + done, pending_.data() + pendingAt_, n);
        pendingAt_ += n;
        done += n;
    }
    position_ += done;
    return done;
}

bool PngChunkFilter::Seek(uint64_t position) {
    if (position < position_) {
        if (std::fseek(file_, 0, SEEK_SET) != 0) return false;
        *this = PngChunkFilter(file_);
    }
    unsigned char scratch[4096];
    while (position_ < position) {
        const size_t want =
            static_cast<size_t>(std::min<uint64_t>(sizeof scratch, position - position_));
        if (Read(scratch, want) != want) return false;
    }
    return true;
}

}  // namespace tarnwick
