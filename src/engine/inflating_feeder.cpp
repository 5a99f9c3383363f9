#include "engine/inflating_feeder.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/png_chunks.h"
#include "engine/png_guard.h"
#include "engine/png_unfilter.h"

namespace tarnwick {

namespace {

void SetBe32(BYTE* p, uint32_t v) {
    p[0] = static_cast<BYTE>(v >> 24);
    p[1] = static_cast<BYTE>(v >> 16);
    p[2] = static_cast<BYTE>(v >> 8);
    p[3] = static_cast<BYTE>(v);
}

// Samples per pixel of a PNG colour type; 0 for a type PNG does not have.
unsigned Channels(unsigned colorType) {
    switch (colorType) {
        case 0:
        case 3: return 1;
        case 2: return 3;
        case 4: return 2;
        case 6: return 4;
        default: return 0;
    }
}

// Reads a PNG file and writes it into a BytePipe with its pixel data
// inflated, when asked its rows rebuilt (each row's filter undone, its filter
// type made None), and stored uncompressed. Errors libpng would stop at (a chunk CRC
// error, broken pixel data before the last row, a filter type PNG does not
// have) close the pipe with a reason, after the rows before it, so the
// decode fails as it would on the file itself; what libpng lets pass after
// the last row (extra data, a wrong zlib checksum) is dropped.
class InflatingFeeder {
public:
    InflatingFeeder(std::FILE* file, BytePipe& pipe, bool rebuildRows)
        : file_(file), pipe_(pipe), rebuild_(rebuildRows) {}

    void Run() {
        const char* error = Feed();
        if (zlibOpen_) inflateEnd(&z_);
        // The rows rebuilt so far go first, so the reader fails where
        // libpng would, at the row after them.
        if (error != kCancelled && !FlushRows() && !error) error = kCancelled;
        pipe_.Close(error ? error : "");
    }

private:
    static constexpr const char* kCancelled = "stopped";

    // Null at the end of the file or after IEND, else why it stopped.
    const char* Feed() {
        BYTE signature[8];
        if (!ReadBytes(signature, 8)) return nullptr;
        if (!pipe_.Put(signature, 8)) return kCancelled;
        for (;;) {
            BYTE head[8];
            if (!ReadBytes(head, 8)) return nullptr;
            const uint32_t length = PngBe32(head);
            if (length > 0x7FFFFFFFu) return "PNG unsigned integer out of range";
            if (IsPngTextChunk(head + 4)) {  // never used: passed over unread
                if (std::fseek(file_, static_cast<long>(length) + 4, SEEK_CUR) != 0) return nullptr;
                continue;
            }
            const bool idat = std::memcmp(head + 4, "IDAT", 4) == 0;
            if (idat && !pixelsDone_) {
                if (const char* e = FeedIdat(head, length)) return e;
                continue;
            }
            if (pixelsStarted_ && !pixelsDone_) {
                pixelsDone_ = true;
                if (const char* e = EndStoredStream()) return e;
            }
            if (const char* e = PassChunk(head, length)) return e;
            if (std::memcmp(head + 4, "IEND", 4) == 0) return nullptr;
        }
    }

    bool ReadBytes(void* data, size_t size) {
        return size == 0 || std::fread(data, size, 1, file_) == 1;
    }

    // Copies a chunk as it is. From the pixel data on, libpng checks no CRC
    // of critical chunks: they are checked here. The IHDR chunk's numbers
    // give the size of the raw rows.
    const char* PassChunk(const BYTE* head, uint32_t length) {
        if (!pipe_.Put(head, 8)) return kCancelled;
        const bool check = (head[4] & 0x20) == 0 && pixelsStarted_;
        const bool header = std::memcmp(head + 4, "IHDR", 4) == 0 && length == 13;
        uLong crc = crc32(0, head + 4, 4);
        BYTE buffer[16384];
        uint32_t left = length;
        while (left > 0) {
            const uint32_t n = std::min<uint32_t>(left, sizeof buffer);
            if (!ReadBytes(buffer, n)) return nullptr;  // libpng reports the short file
            if (check) crc = crc32(crc, buffer, n);
            if (header) ReadHeader(buffer);
            if (!pipe_.Put(buffer, n)) return kCancelled;
            left -= n;
        }
        BYTE stored[4];
        if (!ReadBytes(stored, 4)) return nullptr;
        if (check && PngBe32(stored) != static_cast<uint32_t>(crc)) return "CRC error";
        return pipe_.Put(stored, 4) ? nullptr : kCancelled;
    }

    void ReadHeader(const BYTE* ihdr) {
        width_ = PngBe32(ihdr);
        height_ = PngBe32(ihdr + 4);
        bitDepth_ = ihdr[8];
        colorType_ = ihdr[9];
        interlaced_ = ihdr[12] != 0;
        haveHeader_ = true;
    }

    const char* FeedIdat(const BYTE* head, uint32_t length) {
        if (!pixelsStarted_) {
            pixelsStarted_ = true;
            if (!StartStoredStream()) return kCancelled;
        }
        uLong crc = crc32(0, head + 4, 4);
        // The pixel data goes to zlib in the pieces libpng reads (8 KiB of
        // a chunk at a time), so a damaged zlib checksum is found exactly
        // where libpng finds it: in the piece that ends the last row.
        BYTE input[8192];
        uint32_t left = length;
        while (left > 0) {
            const uint32_t n = std::min<uint32_t>(left, sizeof input);
            if (!ReadBytes(input, n)) return nullptr;
            crc = crc32(crc, input, n);
            left -= n;
            if (const char* e = Inflate(input, n)) return e;
        }
        BYTE stored[4];
        if (!ReadBytes(stored, 4)) return nullptr;
        if (PngBe32(stored) != static_cast<uint32_t>(crc)) return "IDAT: CRC error";
        return nullptr;
    }

    bool StartStoredStream() {
        // The IHDR chunk went by first; the rows' raw size (each pass's rows
        // of an interlaced picture) follows from it.
        expected_ = haveHeader_ ? PngRawDataBytes(width_, height_, static_cast<int>(bitDepth_),
                                                  static_cast<int>(colorType_), interlaced_)
                                : 0;
        if (expected_ > 0 && !StartRows()) expected_ = 0;
        std::memset(&z_, 0, sizeof z_);
        zlibOpen_ = inflateInit2(&z_, 0) == Z_OK;  // the window the stream declares
        static const BYTE kZlibHeader[2] = {0x78, 0x01};
        return PutIdat(kZlibHeader, 2);
    }

    // ---- The rows ----------------------------------------------------------
    //
    // The inflated bytes are the rows of each pass (one pass unless the
    // picture is interlaced), each with its filter type first. Each row is
    // inflated into a buffer of its own and handed on, short rows gathered
    // into stored blocks; when the rows are rebuilt here, each is rebuilt
    // against the row above first and handed on with filter type None.

    // The rows of the first pass that has any; false for a header libpng
    // refuses (a depth or colour type PNG does not have, rows wider than it
    // reads: the file may have changed since the input guard read it) or
    // rows whose buffers cannot be had.
    bool StartRows() {
        const bool knownDepth =
            bitDepth_ == 1 || bitDepth_ == 2 || bitDepth_ == 4 || bitDepth_ == 8 || bitDepth_ == 16;
        if (!knownDepth || Channels(colorType_) == 0 || width_ > PNG_USER_WIDTH_MAX) return false;
        pixelBytes_ = (bitDepth_ * Channels(colorType_) + 7) / 8;
        const size_t longest = RowBytes(width_);
        try {
            row_.assign(1 + longest, 0);
            if (rebuild_) prior_.assign(longest, 0);
            staged_.reserve(kStoredBlockMax);
        } catch (...) {
            return false;
        }
        pass_ = -1;
        NextPass();
        return true;
    }

    size_t RowBytes(uint64_t columns) const {
        return static_cast<size_t>((columns * bitDepth_ * Channels(colorType_) + 7) / 8);
    }

    // Moves to the next pass with pixels; the row above the first row of a
    // pass is zeros.
    void NextPass() {
        static const unsigned kX0[7] = {0, 4, 0, 2, 0, 1, 0}, kDx[7] = {8, 8, 4, 4, 2, 2, 1};
        static const unsigned kY0[7] = {0, 0, 4, 0, 2, 0, 1}, kDy[7] = {8, 8, 8, 4, 4, 2, 2};
        rowsLeft_ = 0;
        while (rowsLeft_ == 0 && ++pass_ < (interlaced_ ? 7 : 1)) {
            uint64_t columns = width_, rows = height_;
            if (interlaced_) {
                const unsigned p = static_cast<unsigned>(pass_);
                columns = width_ > kX0[p] ? (width_ - kX0[p] + kDx[p] - 1) / kDx[p] : 0;
                rows = height_ > kY0[p] ? (height_ - kY0[p] + kDy[p] - 1) / kDy[p] : 0;
            }
            if (columns == 0) continue;
            rowsLeft_ = rows;
            rowSize_ = 1 + RowBytes(columns);
        }
        std::fill(prior_.begin(), prior_.end(), BYTE{0});
        filled_ = 0;
    }

    // The row in row_ is whole: rebuilt and staged.
    const char* FinishRow() {
        const size_t bytes = rowSize_ - 1;
        if (rebuild_) {
            if (!UnfilterRow(row_[0], row_.data() + 1, prior_.data(), bytes, pixelBytes_))
                return "bad adaptive filter value";
            row_[0] = 0;
        }
        if (!StageRow(row_.data(), rowSize_)) return kCancelled;
        if (rebuild_) std::memcpy(prior_.data(), row_.data() + 1, bytes);
        filled_ = 0;
        if (--rowsLeft_ == 0) NextPass();
        return nullptr;
    }

    // Gathers short rows into stored blocks of at most kStoredBlockMax
    // bytes; a long row is a block (or a few) of its own.
    bool StageRow(const BYTE* data, size_t size) {
        if (size <= kStoredBlockMax / 4) {
            if (staged_.size() + size > kStoredBlockMax && !FlushRows()) return false;
            staged_.insert(staged_.end(), data, data + size);
            return true;
        }
        if (!FlushRows()) return false;
        for (size_t at = 0; at < size; at += kStoredBlockMax)
            if (!PutStoredBlock(data + at, std::min(kStoredBlockMax, size - at))) return false;
        return true;
    }

    bool FlushRows() {
        if (staged_.empty()) return true;
        const bool put = PutStoredBlock(staged_.data(), staged_.size());
        staged_.clear();
        return put;
    }

    const char* Inflate(const BYTE* data, uint32_t size) {
        if (!zlibOpen_) return "zlib: out of memory";
        z_.next_in = const_cast<BYTE*>(data);
        z_.avail_in = size;
        while (produced_ < expected_ && !zlibEnded_) {
            // Into the row being filled, up to its end.
            const size_t room = rowSize_ - filled_;
            z_.next_out = row_.data() + filled_;
            z_.avail_out = static_cast<uInt>(room);
            const int ret = inflate(&z_, Z_NO_FLUSH);
            const size_t made = room - z_.avail_out;
            produced_ += made;
            filled_ += made;
            if (filled_ == rowSize_) {
                if (const char* e = FinishRow()) return e;
            }
            if (ret == Z_STREAM_END) {
                zlibEnded_ = true;
            } else if (ret != Z_OK && ret != Z_BUF_ERROR) {
                // Broken pixel data, or a wrong checksum read together with
                // the last row, stops the decode as it stops libpng; a
                // checksum in a later piece is not read, as libpng lets it
                // pass there.
                return ret == Z_DATA_ERROR && z_.msg ? DataError(z_.msg)
                                                     : "IDAT: invalid compressed data";
            } else if (z_.avail_out > 0) {
                break;  // all of this input is used: wait for the next
            }
        }
        return nullptr;
    }

    const char* DataError(const char* zlibMessage) {
        std::snprintf(dataError_, sizeof dataError_, "IDAT: %s", zlibMessage);
        return dataError_;
    }

    bool PutStoredBlock(const BYTE* data, size_t size) {
        BYTE head[5] = {0x00, static_cast<BYTE>(size & 0xFF), static_cast<BYTE>(size >> 8),
                        static_cast<BYTE>(~size & 0xFF), static_cast<BYTE>((~size >> 8) & 0xFF)};
        BYTE chunkHead[8];
        SetBe32(chunkHead, static_cast<uint32_t>(size + 5));
        std::memcpy(chunkHead + 4, "IDAT", 4);
        static const BYTE kNoCrc[4] = {0, 0, 0, 0};
        return pipe_.Put(chunkHead, 8) && pipe_.Put(head, 5) && pipe_.Put(data, size) &&
               pipe_.Put(kNoCrc, 4);
    }

    bool PutIdat(const BYTE* data, size_t size) {
        BYTE chunkHead[8];
        SetBe32(chunkHead, static_cast<uint32_t>(size));
        std::memcpy(chunkHead + 4, "IDAT", 4);
        static const BYTE kNoCrc[4] = {0, 0, 0, 0};
        return pipe_.Put(chunkHead, 8) && pipe_.Put(data, size) && pipe_.Put(kNoCrc, 4);
    }

    // The rows gathered, the last, empty stored block and a zlib checksum
    // libpng does not check.
    const char* EndStoredStream() {
        static const BYTE kEnd[9] = {0x01, 0x00, 0x00, 0xFF, 0xFF, 0, 0, 0, 0};
        return FlushRows() && PutIdat(kEnd, sizeof kEnd) ? nullptr : kCancelled;
    }

    static constexpr size_t kStoredBlockMax = 65535;

    std::FILE* file_;
    BytePipe& pipe_;
    const bool rebuild_;
    z_stream z_{};
    bool zlibOpen_ = false;
    bool zlibEnded_ = false;
    bool pixelsStarted_ = false;
    bool pixelsDone_ = false;
    bool haveHeader_ = false;
    uint32_t width_ = 0, height_ = 0;
    unsigned bitDepth_ = 0, colorType_ = 0;
    bool interlaced_ = false;
    uint64_t expected_ = 0;
    uint64_t produced_ = 0;
    // The rows: bytes per pixel for the filters, the pass, its rows still to
    // come and their size with the filter type, the row being filled and
    // how far, the rebuilt row above it, the rows gathered for a block.
    unsigned pixelBytes_ = 1;
    int pass_ = 0;
    uint64_t rowsLeft_ = 0;
    size_t rowSize_ = 1;
    std::vector<BYTE> row_;
    size_t filled_ = 0;
    std::vector<BYTE> prior_;
    std::vector<BYTE> staged_;
    char dataError_[96] = {};
};

}  // namespace

void FeedInflated(std::FILE* file, BytePipe& pipe, bool rebuildRows) {
    InflatingFeeder feeder(file, pipe, rebuildRows);
    feeder.Run();
}

}  // namespace tarnwick
