// Reading a PNG with libpng, row by row or the whole picture at once, with
// the transformations the bitmap library's PNG loader asks for, so each row
// is the row the loader's bitmap holds. Both conversion paths read through
// it. libpng reports errors by a longjmp; that discipline is kept inside
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
    // and its transparency table: `alphaCount` entries of `alpha` are the
    // table's (the rest are 255).
    RGBQUAD palette[256] = {};
    unsigned paletteSize = 0;
    BYTE alpha[256] = {};
    unsigned alphaCount = 0;
    bool transparent = false;
    uint32_t xPelsPerMeter = 2835;  // the library's default, 72 dpi
    uint32_t yPelsPerMeter = 2835;
    // The bKGD chunk's colour, kept as the library keeps it: for 8-bit
    // pictures (bitmaps) only, each sample cut to its low byte.
    bool hasBackground = false;
    RGBQUAD background = {};
};

// Called after each row libpng delivers while it reads the whole picture,
// with the rows delivered so far and the rows it will deliver in all
// (each pass's rows of an interlaced picture).
using RowsDoneFn = void (*)(void* context, uint64_t done, uint64_t total);

// What libpng's callbacks reach: the last error it reported and whom to
// tell of each row read.
struct PngError {
    char text[200];
    RowsDoneFn rowsDone = nullptr;
    void* rowsContext = nullptr;
    uint64_t rows = 0;
    uint64_t totalRows = 0;
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

    // Reads the whole picture into `rows`, rows[0] the top row, each of at
    // least layout().rowBytes bytes, as the library's loader reads it: an
    // interlaced picture pass by pass, each pass's pixels put at their
    // places; bits of a last, partly used byte that are not part of the row
    // are left as they were. Instead of ReadRow; `rowsDone`, when given,
    // hears of each row.
    bool ReadImage(BYTE** rows, RowsDoneFn rowsDone = nullptr, void* context = nullptr);

    // Reads the chunks after the pixels, as the loader does.
    bool Finish();

    // The time of the last change the file records (its tIME chunk, before
    // or after the pixels), once Finish has read the end.
    bool ModificationTime(png_time* out) const;

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
