#include "engine/stream_convert.h"

#include <FreeImage.h>
#include <png.h>

#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/encoding.h"
#include "engine/naming.h"
#include "engine/png_chunks.h"
#include "platform/platform.h"
#include "platform/safe_save.h"

namespace tarnwick {

namespace {

// ---- libpng, its errors kept inside this file -----------------------------
//
// libpng reports an error by a longjmp to the last setjmp. Every call that
// can fail is made by one of the small wrappers below, whose frames hold no
// object with a destructor, so the jump skips no clean-up; the wrappers turn
// the jump into a false result.

struct PngError {
    char text[200];
};

void OnPngError(png_structp png, png_const_charp message) {
    auto* error = static_cast<PngError*>(png_get_error_ptr(png));
    if (error) std::snprintf(error->text, sizeof error->text, "%s", message ? message : "");
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Where libpng's bytes come from.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Fills `data` with the next `size` bytes; false when there are none.
    virtual bool Read(void* data, size_t size) = 0;
    // Why the last Read failed; stays valid while the source lives.
    virtual const char* Error() const = 0;
};

class FileSource : public ByteSource {
public:
    explicit FileSource(std::FILE* file) : file_(file) {}
    bool Read(void* data, size_t size) override {
        return size == 0 || std::fread(data, size, 1, file_) == 1;
    }
    const char* Error() const override { return "the file ends too early"; }

private:
    std::FILE* file_;
};

void ReadFromSource(png_structp png, png_bytep data, size_t size) {
    auto* source = static_cast<ByteSource*>(png_get_io_ptr(png));
    if (!source->Read(data, size)) png_error(png, source->Error());
}

// How the rows come out of libpng: as the bitmap library's PNG loader holds
// them in its bitmap.
enum class RowKind {
    Indexed,  // palette indices (or grey levels) of 1, 4 or 8 bits
    Grey16,   // 16-bit grey, little-endian
    Bgr24,
    Bgra32,
    Rgb48,  // 16 bits per sample, little-endian
    Rgba64,
};

struct DecodedLayout {
    uint32_t width = 0;
    uint32_t height = 0;
    bool interlaced = false;
    RowKind kind = RowKind::Bgr24;
    unsigned indexBits = 0;  // Indexed only
    size_t rowBytes = 0;
    // The library's colour table (2, 16 or 256 entries for 1, 4 or 8 bits)
    // and its transparency table.
    RGBQUAD palette[256] = {};
    unsigned paletteSize = 0;
    BYTE alpha[256] = {};
    bool transparent = false;
    uint32_t xPelsPerMeter = 2835;  // the library's default, 72 dpi
    uint32_t yPelsPerMeter = 2835;
};

// The transformations the library's loader asks of libpng, in its order.
// False for a colour type and depth it refuses.
bool SetLoaderTransformations(png_structp png, png_infop info) {
    if (setjmp(png_jmpbuf(png))) return false;
    const int colorType = png_get_color_type(png, info);
    const int bitDepth = png_get_bit_depth(png, info);
    const int pixelDepth = bitDepth * png_get_channels(png, info);
    const bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) == PNG_INFO_tRNS;
    bool known = true;
    switch (colorType) {
        case PNG_COLOR_TYPE_GRAY:
            if (bitDepth <= 8) {
                // 2-bit grey, and any grey below 8 bits with a transparent
                // level, becomes 8-bit grey.
                if (pixelDepth == 2) png_set_expand_gray_1_2_4_to_8(png);
                if (hasTrns && pixelDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
            } else if (bitDepth == 16) {
                if (hasTrns) {
                    png_set_tRNS_to_alpha(png);
                    png_set_gray_to_rgb(png);
                }
            } else {
                known = false;
            }
            break;
        case PNG_COLOR_TYPE_RGB:
            if (bitDepth != 8 && bitDepth != 16) known = false;
            if (known && hasTrns) png_set_tRNS_to_alpha(png);
            break;
        case PNG_COLOR_TYPE_PALETTE:
            if (bitDepth > 8) {
                known = false;
            } else {
                if (pixelDepth == 2) png_set_packing(png);
                if (hasTrns && pixelDepth < 8) png_set_packing(png);
            }
            break;
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            if (bitDepth != 8 && bitDepth != 16) known = false;
            png_set_gray_to_rgb(png);
            break;
        case PNG_COLOR_TYPE_RGB_ALPHA:
            if (bitDepth != 8 && bitDepth != 16) known = false;
            break;
        default: break;
    }
    if (!known) return false;
    if (bitDepth == 16) png_set_swap(png);
    if (bitDepth == 8 && (colorType == PNG_COLOR_TYPE_RGB || colorType == PNG_COLOR_TYPE_RGB_ALPHA))
        png_set_bgr(png);
    // The file's own gamma, when it states one, against a 2.2 display.
    if (png_get_valid(png, info, PNG_INFO_gAMA)) {
        double gamma = 0;
        if (png_get_gAMA(png, info, &gamma)) png_set_gamma(png, 2.2, gamma);
    }
    png_read_update_info(png, info);
    return true;
}

// Fills the layout from the header after the transformations, as the
// library's loader builds its bitmap header. False for a result it refuses.
bool ReadLayout(png_structp png, png_infop info, int sourceBitDepth, DecodedLayout* out) {
    if (setjmp(png_jmpbuf(png))) return false;
    DecodedLayout& d = *out;
    d.width = png_get_image_width(png, info);
    d.height = png_get_image_height(png, info);
    d.interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
    d.rowBytes = png_get_rowbytes(png, info);
    const int colorType = png_get_color_type(png, info);
    const int bitDepth = png_get_bit_depth(png, info);
    const int pixelDepth = bitDepth * png_get_channels(png, info);

    switch (colorType) {
        case PNG_COLOR_TYPE_RGB:
            if (pixelDepth == 24) {
                d.kind = RowKind::Bgr24;
            } else if (pixelDepth == 48) {
                d.kind = RowKind::Rgb48;
            } else {
                return false;
            }
            break;
        case PNG_COLOR_TYPE_RGB_ALPHA:
            if (pixelDepth == 32) {
                d.kind = RowKind::Bgra32;
            } else if (pixelDepth == 64) {
                d.kind = RowKind::Rgba64;
            } else {
                return false;
            }
            break;
        case PNG_COLOR_TYPE_PALETTE: {
            if (pixelDepth != 1 && pixelDepth != 4 && pixelDepth != 8) return false;
            d.kind = RowKind::Indexed;
            d.indexBits = static_cast<unsigned>(pixelDepth);
            d.paletteSize = 1u << pixelDepth;
            // A new 8-bit bitmap starts with a grey ramp; the file's colours
            // replace its first entries.
            if (pixelDepth == 8)
                for (unsigned i = 0; i < 256; ++i)
                    d.palette[i] = RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>(i),
                                           static_cast<BYTE>(i), 0};
            png_colorp colors = nullptr;
            int count = 0;
            png_get_PLTE(png, info, &colors, &count);
            if (!colors) count = 0;
            const unsigned n = count < 0 ? 0u : static_cast<unsigned>(count);
            for (unsigned i = 0; i < n && i < d.paletteSize; ++i)
                d.palette[i] = RGBQUAD{colors[i].blue, colors[i].green, colors[i].red, 0};
            break;
        }
        case PNG_COLOR_TYPE_GRAY:
            if (pixelDepth == 16) {
                d.kind = RowKind::Grey16;
            } else if (pixelDepth == 1 || pixelDepth == 4 || pixelDepth == 8) {
                d.kind = RowKind::Indexed;
                d.indexBits = static_cast<unsigned>(pixelDepth);
                d.paletteSize = 1u << pixelDepth;
                for (unsigned i = 0; i < d.paletteSize; ++i) {
                    const BYTE level = static_cast<BYTE>((i * 255) / (d.paletteSize - 1));
                    d.palette[i] = RGBQUAD{level, level, level, 0};
                }
            } else {
                return false;
            }
            break;
        default: return false;
    }

    // Transparency of palette and grey pictures: a table of alpha values per
    // index, as the loader stores it.
    std::memset(d.alpha, 0xFF, sizeof d.alpha);
    if (png_get_valid(png, info, PNG_INFO_tRNS) && d.kind == RowKind::Indexed) {
        png_bytep transAlpha = nullptr;
        int transCount = 0;
        png_color_16p transColor = nullptr;
        png_get_tRNS(png, info, &transAlpha, &transCount, &transColor);
        const BYTE* table = nullptr;
        int count = 0;
        BYTE single[256];
        if (colorType == PNG_COLOR_TYPE_GRAY && transColor) {
            // A grey level below 8 bits names a level of the widened
            // samples: level 1 of two bits is 85.
            unsigned level = transColor->gray;
            if (sourceBitDepth == 1 || sourceBitDepth == 2 || sourceBitDepth == 4)
                level *= 255u / ((1u << sourceBitDepth) - 1);
            if (level < 256 || transColor->gray < 256) {
                std::memset(single, 0xFF, sizeof single);
                if (level < 256) single[level] = 0;
                table = single;
                count = 256;
            } else if (transAlpha && pixelDepth <= 8) {
                table = transAlpha;
                count = transCount;
            }
        } else if (colorType == PNG_COLOR_TYPE_PALETTE && transAlpha) {
            table = transAlpha;
            count = transCount;
        }
        if (table) {
            count = count < 0 ? 0 : (count > 256 ? 256 : count);
            d.transparent = count > 0;
            std::memcpy(d.alpha, table, static_cast<size_t>(count));
        }
    }

    if (png_get_valid(png, info, PNG_INFO_pHYs)) {
        png_uint_32 x = 0, y = 0;
        int unit = PNG_RESOLUTION_UNKNOWN;
        png_get_pHYs(png, info, &x, &y, &unit);
        if (unit == PNG_RESOLUTION_METER) {
            d.xPelsPerMeter = x;
            d.yPelsPerMeter = y;
        }
    }
    return true;
}

bool ReadOneRow(png_structp png, png_bytep row) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_row(png, row, nullptr);
    return true;
}

bool ReadEnd(png_structp png, png_infop info) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_end(png, info);
    return true;
}

bool StartReading(png_structp png, png_infop info) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_sig_bytes(png, 8);
    // Text is never used: its chunks are passed over, never inflated.
    static const png_byte kTextChunks[] = "tEXt\0zTXt\0iTXt";
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kTextChunks, 3);
    png_read_info(png, info);
    return true;
}

// For a stream whose pixel data an InflatingFeeder has already checked and
// stored uncompressed: no CRC of critical chunks (the feeder checks them from
// the first IDAT on) and no zlib checksum.
bool SkipPixelChecksums(png_structp png) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_NO_CHANGE);
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
    return true;
}

bool AllowBenignErrors(png_structp png) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_benign_errors(png, 1);
    return true;
}

// One PNG file read row by row with the loader's transformations.
class PngRowReader {
public:
    PngRowReader() = default;
    PngRowReader(const PngRowReader&) = delete;
    PngRowReader& operator=(const PngRowReader&) = delete;
    ~PngRowReader() {
        if (png_) png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr);
    }

    // Reads the header chunks from `source`. `prepared` says the source is
    // an InflatingFeeder's stream, whose pixel data needs no checksums
    // (the feeder checked the file's). False with error() set when it is
    // not a PNG the loader takes.
    bool Open(ByteSource& source, bool prepared) {
        unsigned char signature[8];
        if (!source.Read(signature, 8) || png_sig_cmp(signature, 0, 8) != 0)
            return Fail("not a PNG file");
        png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &error_, OnPngError, OnPngWarning);
        if (!png_) return Fail("out of memory");
        info_ = png_create_info_struct(png_);
        if (!info_) return Fail("out of memory");
        png_set_read_fn(png_, &source, ReadFromSource);
        if (!StartReading(png_, info_)) return Fail(error_.text);
        if (prepared && !SkipPixelChecksums(png_)) return Fail(error_.text);
        const int sourceBitDepth = png_get_bit_depth(png_, info_);
        if (!SetLoaderTransformations(png_, info_))
            return Fail(error_.text[0] ? error_.text : "a PNG type the decoder does not take");
        if (!ReadLayout(png_, info_, sourceBitDepth, &layout_))
            return Fail(error_.text[0] ? error_.text : "a PNG type the decoder does not take");
        if (!AllowBenignErrors(png_)) return Fail(error_.text);
        return true;
    }

    const DecodedLayout& layout() const { return layout_; }
    const std::string& error() const { return message_; }

    // Reads the next row into `row` (layout().rowBytes bytes). Bits of a
    // last, partly used byte that are not part of the row are left as they
    // were by libpng; they are cleared first, as in a new bitmap.
    bool ReadRow(BYTE* row) {
        row[layout_.rowBytes - 1] = 0;
        return ReadOneRow(png_, row) || Fail(error_.text);
    }

    // Reads the chunks after the pixels, as the loader does.
    bool Finish() { return ReadEnd(png_, info_) || Fail(error_.text); }

private:
    bool Fail(const char* why) {
        message_ = why;
        return false;
    }

    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    PngError error_{};
    DecodedLayout layout_;
    std::string message_;
};

// ---- Inflating on a second thread -----------------------------------------
//
// Most of a decode is zlib's inflate and libpng's row filters, in equal
// parts, and both run one after the other on one thread. An InflatingFeeder
// reads the file on a thread of its own, checks its chunk CRCs, inflates
// the pixel data and hands libpng the same PNG with that data stored
// uncompressed (deflate's stored blocks), so libpng's work shrinks to the
// row filters and the two halves run side by side.

struct FileCloser {
    void operator()(std::FILE* f) const noexcept {
        if (f) std::fclose(f);
    }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

FileHandle OpenForReading(const std::string& path) {
    FileHandle file(std::fopen(path.c_str(), "rb"));
    if (file) std::setvbuf(file.get(), nullptr, _IOFBF, 1 << 16);
    return file;
}

// Bytes from one producer thread to one consumer thread, in buffers of
// kPipeBufferBytes, at most kPipeBuffers of them waiting.
class BytePipe : public ByteSource {
public:
    static constexpr size_t kPipeBufferBytes = 256 * 1024;
    static constexpr size_t kPipeBuffers = 4;

    // Producer: appends bytes; false once the consumer has gone.
    bool Put(const void* data, size_t size) {
        const auto* p = static_cast<const BYTE*>(data);
        while (size > 0) {
            if (filling_.capacity() < kPipeBufferBytes) filling_.reserve(kPipeBufferBytes);
            const size_t n = std::min(size, kPipeBufferBytes - filling_.size());
            filling_.insert(filling_.end(), p, p + n);
            p += n;
            size -= n;
            if (filling_.size() == kPipeBufferBytes && !Push()) return false;
        }
        return true;
    }

    // Producer: no more bytes; `error` (a literal) says why, or is null at
    // the end of the file.
    void Close(const char* error) {
        Push();
        std::lock_guard<std::mutex> lock(m_);
        closed_ = true;
        error_ = error;
        cv_.notify_all();
    }

    // Consumer: stops the producer (it sees Put fail).
    void Cancel() {
        std::lock_guard<std::mutex> lock(m_);
        cancelled_ = true;
        cv_.notify_all();
    }

    bool Read(void* data, size_t size) override {
        auto* p = static_cast<BYTE*>(data);
        while (size > 0) {
            if (readAt_ == reading_.size() && !Pop()) return false;
            const size_t n = std::min(size, reading_.size() - readAt_);
            std::memcpy(p, reading_.data() + readAt_, n);
            readAt_ += n;
            p += n;
            size -= n;
        }
        return true;
    }

    const char* Error() const override {
        return readError_ ? readError_ : "the file ends too early";
    }

private:
    bool Push() {
        if (filling_.empty()) return true;
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait(lock, [&] { return cancelled_ || ready_.size() < kPipeBuffers; });
        if (cancelled_) return false;
        ready_.push_back(std::move(filling_));
        filling_ = TakeSpare();
        cv_.notify_all();
        return true;
    }

    bool Pop() {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait(lock, [&] { return !ready_.empty() || closed_; });
        if (ready_.empty()) {
            readError_ = error_;
            return false;
        }
        reading_.clear();
        spare_.push_back(std::move(reading_));
        reading_ = std::move(ready_.front());
        ready_.pop_front();
        readAt_ = 0;
        cv_.notify_all();
        return true;
    }

    // Called with the lock held.
    std::vector<BYTE> TakeSpare() {
        if (spare_.empty()) return {};
        std::vector<BYTE> b = std::move(spare_.back());
        spare_.pop_back();
        b.clear();
        return b;
    }

    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::vector<BYTE>> ready_;
    std::vector<std::vector<BYTE>> spare_;
    bool closed_ = false;
    bool cancelled_ = false;
    const char* error_ = nullptr;
    std::vector<BYTE> filling_;  // producer's own
    std::vector<BYTE> reading_;  // consumer's own
    size_t readAt_ = 0;
    const char* readError_ = nullptr;
};

uint32_t GetBe32(const BYTE* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}

void SetBe32(BYTE* p, uint32_t v) {
    p[0] = static_cast<BYTE>(v >> 24);
    p[1] = static_cast<BYTE>(v >> 16);
    p[2] = static_cast<BYTE>(v >> 8);
    p[3] = static_cast<BYTE>(v);
}

// Reads a PNG file and writes it into a BytePipe with its pixel data
// inflated and stored uncompressed. Errors libpng would stop at (a chunk CRC
// error, broken pixel data before the last row) close the pipe with a
// reason, so the decode fails as it would on the file itself; what libpng
// lets pass after the last row (extra data, a wrong zlib checksum) is
// dropped.
class InflatingFeeder {
public:
    InflatingFeeder(std::FILE* file, BytePipe& pipe) : file_(file), pipe_(pipe) {}

    void Run() {
        const char* error = Feed();
        if (zlibOpen_) inflateEnd(&z_);
        pipe_.Close(error);
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
            const uint32_t length = GetBe32(head);
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
        if (check && GetBe32(stored) != static_cast<uint32_t>(crc)) return "CRC error";
        return pipe_.Put(stored, 4) ? nullptr : kCancelled;
    }

    void ReadHeader(const BYTE* ihdr) {
        width_ = GetBe32(ihdr);
        height_ = GetBe32(ihdr + 4);
        bitDepth_ = ihdr[8];
        switch (ihdr[9]) {
            case PNG_COLOR_TYPE_GRAY:
            case PNG_COLOR_TYPE_PALETTE: channels_ = 1; break;
            case PNG_COLOR_TYPE_GRAY_ALPHA: channels_ = 2; break;
            case PNG_COLOR_TYPE_RGB: channels_ = 3; break;
            case PNG_COLOR_TYPE_RGB_ALPHA: channels_ = 4; break;
            default: channels_ = 0; break;
        }
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
        if (GetBe32(stored) != static_cast<uint32_t>(crc)) return "IDAT: CRC error";
        return nullptr;
    }

    bool StartStoredStream() {
        // The IHDR chunk went by first; the rows' raw size follows from it.
        expected_ = 0;
        if (haveHeader_) {
            const uint64_t bits = static_cast<uint64_t>(width_) * bitDepth_ * channels_;
            expected_ = static_cast<uint64_t>(height_) * (1 + (bits + 7) / 8);
        }
        std::memset(&z_, 0, sizeof z_);
        zlibOpen_ = inflateInit2(&z_, 0) == Z_OK;  // the window the stream declares
        static const BYTE kZlibHeader[2] = {0x78, 0x01};
        return PutIdat(kZlibHeader, 2);
    }

    const char* Inflate(const BYTE* data, uint32_t size) {
        if (!zlibOpen_) return "zlib: out of memory";
        z_.next_in = const_cast<BYTE*>(data);
        z_.avail_in = size;
        BYTE out[65535];
        while (produced_ < expected_ && !zlibEnded_) {
            const uint64_t room = std::min<uint64_t>(sizeof out, expected_ - produced_);
            z_.next_out = out;
            z_.avail_out = static_cast<uInt>(room);
            const int ret = inflate(&z_, Z_NO_FLUSH);
            const size_t made = static_cast<size_t>(room - z_.avail_out);
            if (made > 0) {
                produced_ += made;
                if (!PutStoredBlock(out, made)) return kCancelled;
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

    // The last, empty stored block and a zlib checksum libpng does not check.
    const char* EndStoredStream() {
        static const BYTE kEnd[9] = {0x01, 0x00, 0x00, 0xFF, 0xFF, 0, 0, 0, 0};
        return PutIdat(kEnd, sizeof kEnd) ? nullptr : kCancelled;
    }

    std::FILE* file_;
    BytePipe& pipe_;
    z_stream z_{};
    bool zlibOpen_ = false;
    bool zlibEnded_ = false;
    bool pixelsStarted_ = false;
    bool pixelsDone_ = false;
    bool haveHeader_ = false;
    uint32_t width_ = 0, height_ = 0;
    unsigned bitDepth_ = 0, channels_ = 0;
    uint64_t expected_ = 0;
    uint64_t produced_ = 0;
    char dataError_[96] = {};
};

// ---- From decoded rows to BMP rows ----------------------------------------

// What the whole-picture pipeline holds when it reaches the depth step.
enum class Stage {
    Indexed,  // a palette picture without transparency, unchanged
    Bgr24,    // opaque 24-bit (a transparent palette picture put onto white)
    Bgra32,   // 32-bit put onto white, alpha 255
};

struct RowPlan {
    Stage stage = Stage::Bgr24;
    unsigned outputBpp = 0;
    uint32_t pitch = 0;
    uint32_t dataOffset = 0;
    uint64_t fileBytes = 0;
};

int32_t SourceBpp(const DecodedLayout& d) {
    switch (d.kind) {
        case RowKind::Indexed: return static_cast<int32_t>(d.indexBits);
        case RowKind::Grey16: return 8;  // the pipeline keeps the high byte as 8-bit grey
        case RowKind::Bgr24: return 24;
        case RowKind::Bgra32: return 32;
        case RowKind::Rgb48: return 48;
        case RowKind::Rgba64: return 64;
    }
    return 0;
}

// Which pixels reach the depth step, and whether the BMP of `outputBpp`
// can be made from them one row at a time. `why` gets the reason if not.
bool PlanRows(const DecodedLayout& d, unsigned outputBpp, RowPlan* plan, std::string* why) {
    Stage stage = Stage::Bgr24;
    switch (d.kind) {
        case RowKind::Indexed:
            if (d.transparent && d.indexBits != 8) {
                *why = "a transparent palette picture below 8 bits";
                return false;
            }
            stage = d.transparent ? Stage::Bgr24 : Stage::Indexed;
            break;
        case RowKind::Grey16: stage = Stage::Indexed; break;
        case RowKind::Bgr24:
        case RowKind::Rgb48: stage = Stage::Bgr24; break;
        case RowKind::Bgra32:
        case RowKind::Rgba64: stage = Stage::Bgra32; break;
    }
    const unsigned stageBits = stage == Stage::Indexed
                                   ? (d.kind == RowKind::Grey16 ? 8u : d.indexBits)
                                   : (stage == Stage::Bgr24 ? 24u : 32u);
    const bool keeps = stage == Stage::Indexed && outputBpp == stageBits;
    if (!keeps && outputBpp != 16 && outputBpp != 24 && outputBpp != 32) {
        *why = "the depth step needs the whole picture";
        return false;
    }
    const uint64_t pitch = (static_cast<uint64_t>(d.width) * outputBpp + 31) / 32 * 4;
    const uint64_t colors = outputBpp <= 8 ? (1u << outputBpp) : 0;
    const uint64_t offset = 54 + 4 * colors + (outputBpp == 16 ? 12 : 0);
    const uint64_t bytes = offset + pitch * d.height;
    // The BMP header holds the file size in 32 bits and the sides as signed
    // 32-bit numbers.
    if (bytes > 0xFFFFFFFFull || d.width > 0x7FFFFFFFu || d.height > 0x7FFFFFFFu) {
        *why = "the BMP would be 4 GiB or larger";
        return false;
    }
    plan->stage = stage;
    plan->outputBpp = outputBpp;
    plan->pitch = static_cast<uint32_t>(pitch);
    plan->dataOffset = static_cast<uint32_t>(offset);
    plan->fileBytes = bytes;
    return true;
}

void PutLe16(BYTE* p, uint32_t v) {
    p[0] = static_cast<BYTE>(v & 0xFF);
    p[1] = static_cast<BYTE>((v >> 8) & 0xFF);
}

void PutLe32(BYTE* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<BYTE>((v >> (8 * i)) & 0xFF);
}

// The headers (and colour masks or colour table) the library's BMP writer
// puts before the pixels.
std::vector<BYTE> BmpHeader(const DecodedLayout& d, const RowPlan& plan) {
    std::vector<BYTE> h(plan.dataOffset, 0);
    const unsigned bpp = plan.outputBpp;
    const uint32_t colors = bpp <= 8 ? (1u << bpp) : 0;
    h[0] = 'B';
    h[1] = 'M';
    PutLe32(&h[2], static_cast<uint32_t>(plan.fileBytes));
    PutLe32(&h[10], plan.dataOffset);
    PutLe32(&h[14], 40);
    PutLe32(&h[18], d.width);
    PutLe32(&h[22], d.height);
    PutLe16(&h[26], 1);
    PutLe16(&h[28], bpp);
    PutLe32(&h[30], bpp == 16 ? 3 : 0);  // BI_BITFIELDS for 16 bits, else BI_RGB
    PutLe32(&h[34], 0);                  // image size: the writer leaves it 0
    PutLe32(&h[38], d.xPelsPerMeter);
    PutLe32(&h[42], d.yPelsPerMeter);
    PutLe32(&h[46], colors);
    PutLe32(&h[50], colors);
    if (bpp == 16) {
        PutLe32(&h[54], FI16_565_RED_MASK);
        PutLe32(&h[58], FI16_565_GREEN_MASK);
        PutLe32(&h[62], FI16_565_BLUE_MASK);
    }
    // A 16-bit grey picture reaches the depth step as 8-bit grey with the
    // library's plain grey ramp.
    for (uint32_t i = 0; i < colors; ++i) {
        const RGBQUAD c =
            d.kind == RowKind::Grey16
                ? RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0}
                : d.palette[i];
        h[54 + 4 * i] = c.rgbBlue;
        h[54 + 4 * i + 1] = c.rgbGreen;
        h[54 + 4 * i + 2] = c.rgbRed;
        h[54 + 4 * i + 3] = c.rgbReserved;
    }
    return h;
}

// Puts a colour onto white with the arithmetic of the library's compositing.
inline BYTE OnWhite(unsigned alpha, unsigned value) {
    return static_cast<BYTE>((alpha * value + (255 - alpha) * 255) >> 8);
}

inline void FlattenPixel(BYTE* p) {
    const unsigned a = p[3];
    if (a == 255) return;
    if (a == 0) {
        p[0] = p[1] = p[2] = 255;
    } else {
        p[0] = OnWhite(a, p[0]);
        p[1] = OnWhite(a, p[1]);
        p[2] = OnWhite(a, p[2]);
    }
    p[3] = 255;
}

inline uint16_t Pack565(unsigned b, unsigned g, unsigned r) {
    return static_cast<uint16_t>(((b >> 3) << FI16_565_BLUE_SHIFT) |
                                 ((g >> 2) << FI16_565_GREEN_SHIFT) |
                                 ((r >> 3) << FI16_565_RED_SHIFT));
}

inline unsigned IndexAt(const BYTE* row, uint32_t x, unsigned bits) {
    switch (bits) {
        case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1u;
        case 4: return (x & 1) ? (row[x >> 1] & 0x0Fu) : (row[x >> 1] >> 4);
        default: return row[x];
    }
}

// Writes pixels of B, G, R order (with an optional fourth byte, skipped) as
// a row of the output depth.
void WriteColourRow(const BYTE* src, unsigned step, uint32_t width, unsigned outputBpp, BYTE* dst) {
    switch (outputBpp) {
        case 32:
            for (uint32_t x = 0; x < width; ++x, src += step, dst += 4) {
                dst[0] = src[0];
                dst[1] = src[1];
                dst[2] = src[2];
                dst[3] = 0xFF;
            }
            break;
        case 24:
            if (step == 3) {
                std::memcpy(dst, src, static_cast<size_t>(width) * 3);
                break;
            }
            for (uint32_t x = 0; x < width; ++x, src += step, dst += 3) {
                dst[0] = src[0];
                dst[1] = src[1];
                dst[2] = src[2];
            }
            break;
        case 16:
            for (uint32_t x = 0; x < width; ++x, src += step, dst += 2) {
                const uint16_t v = Pack565(src[0], src[1], src[2]);
                dst[0] = static_cast<BYTE>(v & 0xFF);
                dst[1] = static_cast<BYTE>(v >> 8);
            }
            break;
        default: break;
    }
}

// Turns decoded rows into BMP rows.
class RowConverter {
public:
    RowConverter(const DecodedLayout& d, const RowPlan& plan) : d_(d), plan_(plan) {
        if (d.kind == RowKind::Grey16) {
            for (unsigned i = 0; i < 256; ++i)
                palette_[i] =
                    RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
        } else {
            std::memcpy(palette_, d.palette, sizeof palette_);
        }
        stageRow_.resize(static_cast<size_t>(d.width) * 4 + 4);
    }

    // Whether the decoded row is already the BMP row (it is then decoded
    // straight into its place, and Convert only finishes it there).
    bool DecodesInPlace() const {
        switch (d_.kind) {
            case RowKind::Indexed:
                return plan_.stage == Stage::Indexed && plan_.outputBpp == d_.indexBits;
            case RowKind::Bgr24: return plan_.outputBpp == 24;
            case RowKind::Bgra32: return plan_.outputBpp == 32;
            default: return false;
        }
    }

    // Makes the BMP row `dst` from the decoded row `src` (the same buffer
    // when DecodesInPlace).
    void Convert(BYTE* src, BYTE* dst) {
        const uint32_t w = d_.width;
        if (DecodesInPlace()) {
            if (d_.kind == RowKind::Bgra32)
                for (uint32_t x = 0; x < w; ++x) FlattenPixel(dst + 4 * x);
            return;
        }
        BYTE* s = stageRow_.data();
        switch (d_.kind) {
            case RowKind::Indexed:
                if (d_.transparent) {  // onto white, 24 bits
                    for (uint32_t x = 0; x < w; ++x) {
                        const unsigned i = src[x];
                        const RGBQUAD& c = palette_[i];
                        const unsigned a = d_.alpha[i];
                        BYTE* p = s + 3 * x;
                        if (a == 0) {
                            p[0] = p[1] = p[2] = 255;
                        } else if (a == 255) {
                            p[0] = c.rgbBlue;
                            p[1] = c.rgbGreen;
                            p[2] = c.rgbRed;
                        } else {
                            p[0] = OnWhite(a, c.rgbBlue);
                            p[1] = OnWhite(a, c.rgbGreen);
                            p[2] = OnWhite(a, c.rgbRed);
                        }
                    }
                    WriteColourRow(s, 3, w, plan_.outputBpp, dst);
                } else {
                    FromIndices(src, d_.indexBits, dst);
                }
                return;
            case RowKind::Grey16:
                // The high byte of each little-endian sample.
                for (uint32_t x = 0; x < w; ++x) s[x] = src[2 * x + 1];
                if (plan_.outputBpp == 8) {
                    std::memcpy(dst, s, w);
                } else {
                    FromIndices(s, 8, dst);
                }
                return;
            case RowKind::Bgr24: WriteColourRow(src, 3, w, plan_.outputBpp, dst); return;
            case RowKind::Bgra32:
                for (uint32_t x = 0; x < w; ++x) FlattenPixel(src + 4 * x);
                WriteColourRow(src, 4, w, plan_.outputBpp, dst);
                return;
            case RowKind::Rgb48:
                for (uint32_t x = 0; x < w; ++x) {
                    s[3 * x] = src[6 * x + 5];
                    s[3 * x + 1] = src[6 * x + 3];
                    s[3 * x + 2] = src[6 * x + 1];
                }
                WriteColourRow(s, 3, w, plan_.outputBpp, dst);
                return;
            case RowKind::Rgba64:
                for (uint32_t x = 0; x < w; ++x) {
                    BYTE* p = s + 4 * x;
                    p[0] = src[8 * x + 5];
                    p[1] = src[8 * x + 3];
                    p[2] = src[8 * x + 1];
                    p[3] = src[8 * x + 7];
                    FlattenPixel(p);
                }
                WriteColourRow(s, 4, w, plan_.outputBpp, dst);
                return;
        }
    }

private:
    // Palette pixels as 16, 24 or 32-bit colours.
    void FromIndices(const BYTE* src, unsigned bits, BYTE* dst) {
        const uint32_t w = d_.width;
        for (uint32_t x = 0; x < w; ++x) {
            const RGBQUAD& c = palette_[IndexAt(src, x, bits)];
            switch (plan_.outputBpp) {
                case 32:
                    dst[4 * x] = c.rgbBlue;
                    dst[4 * x + 1] = c.rgbGreen;
                    dst[4 * x + 2] = c.rgbRed;
                    dst[4 * x + 3] = 0xFF;
                    break;
                case 24:
                    dst[3 * x] = c.rgbBlue;
                    dst[3 * x + 1] = c.rgbGreen;
                    dst[3 * x + 2] = c.rgbRed;
                    break;
                case 16: {
                    const uint16_t v = Pack565(c.rgbBlue, c.rgbGreen, c.rgbRed);
                    dst[2 * x] = static_cast<BYTE>(v & 0xFF);
                    dst[2 * x + 1] = static_cast<BYTE>(v >> 8);
                    break;
                }
                default: break;
            }
        }
    }

    const DecodedLayout& d_;
    const RowPlan& plan_;
    RGBQUAD palette_[256] = {};
    std::vector<BYTE> stageRow_;
};

bool StepsAllOff(const Settings& s) {
    return !s.doImageRotation && !s.doImageResize && !s.doImageFlipHorizontal &&
           !s.doImageFlipVertical && !s.doImageColorCorrection && !s.doImageGreyscale &&
           !s.doImageThreshold && s.frameKind() == FrameKind::None &&
           s.watermarkKind() == WatermarkKind::None;
}

// Rows are gathered into blocks of about this size and written with one call.
constexpr size_t kBlockBytes = 1 << 20;

}  // namespace

StreamPlan PlanStreamConversion(const std::string& inputPath, const Settings& s,
                                const RunState& run, const FormatRegistry& reg) {
    StreamPlan plan;
    if (!StepsAllOff(s)) {
        plan.why = "a step that needs the whole picture is on";
        return plan;
    }
    if (run.conversion != "bmp" || run.outputFif != FIF_BMP) {
        plan.why = "the output is not BMP";
        return plan;
    }
    const FileHandle file = OpenForReading(inputPath);
    if (!file) {
        plan.why = "cannot open the file";
        return plan;
    }
    FileSource source(file.get());
    PngRowReader reader;
    if (!reader.Open(source, false)) {
        plan.why = reader.error();
        return plan;
    }
    const DecodedLayout& d = reader.layout();
    plan.width = d.width;
    plan.height = d.height;
    plan.sourceBpp = SourceBpp(d);
    plan.outputBpp =
        run.autoBpp == 1 ? AutoBppFor(reg, run.conversion, plan.sourceBpp) : run.outputBpp;
    if (d.interlaced) {
        plan.why = "the PNG is interlaced";
        return plan;
    }
    if (plan.outputBpp <= 0) {
        plan.why = "no output depth";
        return plan;
    }
    RowPlan rows;
    if (!PlanRows(d, static_cast<unsigned>(plan.outputBpp), &rows, &plan.why)) return plan;
    if (plan.outputBpp == 8 && (run.saveFlags & BMP_SAVE_RLE) != 0) {
        plan.why = "RLE compression needs the whole picture";
        return plan;
    }
    if (plan.outputBpp == 8 && s.bmpColorTableKind() == ColorTableKind::Exact) {
        plan.why = "the exact colour table needs the whole picture";
        return plan;
    }
    plan.fileBytes = rows.fileBytes;
    plan.streamable = true;
    return plan;
}

StreamOutcome StreamPngToBmp(const std::string& inputPath, const std::string& outputPath,
                             const StreamPlan& plan, const ProgressSpan& progress) {
    StreamOutcome outcome;
    auto readFailure = [&](const std::string& why) {
        outcome.decodeFailed = true;
        outcome.error = "cannot read " + inputPath + ": " + why;
        return outcome;
    };
    if (!plan.streamable) return readFailure("not a plain conversion");

    // The file is inflated on a second thread when one can be started.
    const FileHandle file = OpenForReading(inputPath);
    const FileHandle feederFile = OpenForReading(inputPath);
    if (!file || !feederFile) return readFailure("cannot open the file");
    FileSource fileSource(file.get());
    BytePipe pipe;
    InflatingFeeder feeder(feederFile.get(), pipe);
    std::thread feederThread;
    try {
        feederThread = std::thread([&feeder] { feeder.Run(); });
    } catch (...) {
    }
    const bool prepared = feederThread.joinable();
    // Stops and waits for the feeder however this function ends.
    struct FeederStop {
        BytePipe& pipe;
        std::thread& thread;
        ~FeederStop() {
            pipe.Cancel();
            if (thread.joinable()) thread.join();
        }
    } stop{pipe, feederThread};

    PngRowReader reader;
    ByteSource& source = prepared ? static_cast<ByteSource&>(pipe) : fileSource;
    if (!reader.Open(source, prepared)) return readFailure(reader.error());
    const DecodedLayout& d = reader.layout();
    RowPlan rows;
    std::string why;
    if (d.width != plan.width || d.height != plan.height || SourceBpp(d) != plan.sourceBpp ||
        d.interlaced || !PlanRows(d, static_cast<unsigned>(plan.outputBpp), &rows, &why))
        return readFailure("the file changed while it was converted");

    const std::vector<BYTE> header = BmpHeader(d, rows);
    RowConverter converter(d, rows);
    const bool inPlace = converter.DecodesInPlace();
    const size_t pitch = rows.pitch;
    const uint32_t blockRows =
        static_cast<uint32_t>(std::max<size_t>(1, std::min<size_t>(kBlockBytes / pitch, d.height)));
    std::vector<BYTE> block(static_cast<size_t>(blockRows) * pitch, 0);
    std::vector<BYTE> decoded(inPlace ? 0 : d.rowBytes);

    bool readFailed = false;
    bool started = false;
    const platform::SaveResult saved =
        platform::SafeSave(outputPath, [&](platform::SaveSink& sink) {
            started = true;
            if (!sink.Write(header.data(), header.size())) return false;
            // The BMP holds its rows bottom-up: rows decoded top-down fill
            // each block from its end, and a block goes to the file at the
            // place of its lowest row.
            for (uint32_t top = 0; top < d.height; top += blockRows) {
                const uint32_t count = std::min(blockRows, d.height - top);
                for (uint32_t i = 0; i < count; ++i) {
                    BYTE* dst = block.data() + static_cast<size_t>(blockRows - 1 - i) * pitch;
                    BYTE* src = inPlace ? dst : decoded.data();
                    if (!reader.ReadRow(src)) {
                        readFailed = true;
                        return false;
                    }
                    converter.Convert(src, dst);
                }
                const uint64_t firstFileRow = d.height - top - count;
                const BYTE* data = block.data() + static_cast<size_t>(blockRows - count) * pitch;
                if (!sink.WriteAt(rows.dataOffset + firstFileRow * pitch, data, count * pitch))
                    return false;
                progress.Report(top + count, d.height);
            }
            if (!reader.Finish()) {
                readFailed = true;
                return false;
            }
            return true;
        });
    if (readFailed) return readFailure(reader.error());
    if (!saved) {
        outcome.saveNotStarted = !started;
        outcome.error = saved.error;
        return outcome;
    }
    outcome.ok = true;
    return outcome;
}

PlainConversion ConvertPlainFile(const Settings& s, RunState& run, const FormatRegistry& reg,
                                 const ProgressSpan& progress) {
    PlainConversion done;
    const StreamPlan plan = PlanStreamConversion(run.inputPath, s, run, reg);
    if (!plan.streamable) return done;

    const RunState before = run;
    run.sourceBpp = plan.sourceBpp;
    run.outputWidth = static_cast<int32_t>(plan.width);
    run.outputHeight = static_cast<int32_t>(plan.height);
    if (run.autoBpp == 1) run.outputBpp = plan.outputBpp;  // AutoBppFor, as ResolveOutputBpp
    run.outputPath = BuildOutputPath(s, run);

    const StreamOutcome outcome = StreamPngToBmp(run.inputPath, run.outputPath, plan, progress);
    if (outcome.ok) {
        done.result = PlainResult::Converted;
    } else if (outcome.decodeFailed) {
        run.sourceBpp = 0;
        run.outputPath = before.outputPath;
        done.result = PlainResult::DecodeFailed;
        done.reason = outcome.error;
    } else if (outcome.saveNotStarted && platform::FileSize(run.outputPath) >= 0) {
        // The folder takes no new file but the old one may be writable: the
        // whole picture's save can overwrite it in place.
        run = before;
    } else {
        done.result = PlainResult::SaveFailed;
        done.reason = outcome.error;
    }
    return done;
}

}  // namespace tarnwick
