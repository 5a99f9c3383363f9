// Reading a PNG row by row with libpng, with the transformations the bitmap
// library's PNG loader asks for, so each row is the row the loader's bitmap
// holds. libpng reports errors by a longjmp; that discipline is kept inside
// png_row_reader.cpp.
#pragma once

#include <FreeImage.h>
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace tarnwick {

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

struct FileCloser {
    void operator()(std::FILE* f) const noexcept {
        if (f) std::fclose(f);
    }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file for reading with a buffer sized for PNG chunks.
FileHandle OpenForReading(const std::string& path);

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

// The last error libpng reported.
struct PngError {
    char text[200];
};

// One PNG file read row by row with the loader's transformations.
class PngRowReader {
public:
    PngRowReader() = default;
    PngRowReader(const PngRowReader&) = delete;
    PngRowReader& operator=(const PngRowReader&) = delete;
    ~PngRowReader();

    // Reads the header chunks from `source`. `prepared` says the source is
    // an InflatingFeeder's stream, whose pixel data needs no checksums
    // (the feeder checked the file's). False with error() set when it is
    // not a PNG the loader takes.
    bool Open(ByteSource& source, bool prepared);

    const DecodedLayout& layout() const { return layout_; }
    const std::string& error() const { return message_; }

    // Reads the next row into `row` (layout().rowBytes bytes). Bits of a
    // last, partly used byte that are not part of the row are left as they
    // were by libpng; they are cleared first, as in a new bitmap.
    bool ReadRow(BYTE* row);

    // Reads the chunks after the pixels, as the loader does.
    bool Finish();

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

}  // namespace tarnwick
