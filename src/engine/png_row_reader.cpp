#include "engine/png_row_reader.h"

#include <csetjmp>
#include <cstring>

namespace tarnwick {

namespace {

// ---- libpng, its errors kept inside this file -----------------------------
//
// libpng reports an error by a longjmp to the last setjmp. Every call that
// can fail is made by one of the small wrappers below, whose frames hold no
// object with a destructor, so the jump skips no clean-up; the wrappers turn
// the jump into a false result.

void OnPngError(png_structp png, png_const_charp message) {
    auto* error = static_cast<PngError*>(png_get_error_ptr(png));
    if (error) std::snprintf(error->text, sizeof error->text, "%s", message ? message : "");
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

void ReadFromSource(png_structp png, png_bytep data, size_t size) {
    auto* source = static_cast<ByteSource*>(png_get_io_ptr(png));
    if (!source->Read(data, size)) png_error(png, source->Error());
}

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
            d.alphaCount = static_cast<unsigned>(count);
            std::memcpy(d.alpha, table, static_cast<size_t>(count));
        }
    }

    // The background colour, for bitmaps of 8 bits per sample only; libpng
    // has filled all three samples of a grey or palette picture's.
    png_color_16p background = nullptr;
    if ((d.kind == RowKind::Indexed || d.kind == RowKind::Bgr24 || d.kind == RowKind::Bgra32) &&
        png_get_valid(png, info, PNG_INFO_bKGD) && png_get_bKGD(png, info, &background) &&
        background) {
        d.hasBackground = true;
        d.background =
            RGBQUAD{static_cast<BYTE>(background->blue), static_cast<BYTE>(background->green),
                    static_cast<BYTE>(background->red), 0};
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

void OnRowRead(png_structp png, png_uint_32, int) {
    auto* error = static_cast<PngError*>(png_get_error_ptr(png));
    if (error && error->rowsDone)
        error->rowsDone(error->rowsContext, ++error->rows, error->totalRows);
}

// The rows libpng delivers for a picture: each pass of an interlaced one
// delivers its own rows, and a pass without columns none.
uint64_t RowsDelivered(uint32_t width, uint32_t height, bool interlaced) {
    if (!interlaced) return height;
    uint64_t rows = 0;
    for (int pass = 0; pass < 7; ++pass)
        if (PNG_PASS_COLS(width, pass) > 0) rows += PNG_PASS_ROWS(height, pass);
    return rows;
}

// png_read_image, as the library's loader calls it after
// png_read_update_info: it turns libpng's interlace handling on itself.
bool ReadAllRows(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_status_fn(png, OnRowRead);
    png_read_image(png, rows);
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
    // Chunks the picture does not depend on are passed over, never read into
    // libpng's records (text never inflated). The chunks libpng weighs for
    // its gamma are all read: it drops the gamma when gAMA, sRGB, cHRM and
    // iCCP disagree or one is damaged, and scales 16-bit samples by sBIT.
    static const png_byte kUnusedChunks[] = "tEXt\0zTXt\0iTXt\0hIST\0sPLT\0oFFs\0pCAL\0sCAL\0eXIf";
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kUnusedChunks, 9);
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

}  // namespace

FileHandle OpenForReading(const std::string& path) {
    FileHandle file(std::fopen(path.c_str(), "rb"));
    if (file) std::setvbuf(file.get(), nullptr, _IOFBF, 1 << 16);
    return file;
}

PngRowReader::~PngRowReader() {
    if (png_) png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr);
}

bool PngRowReader::Open(ByteSource& source, bool prepared) {
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

bool PngRowReader::ReadRow(BYTE* row) {
    row[layout_.rowBytes - 1] = 0;
    return ReadOneRow(png_, row) || Fail(error_.text);
}

bool PngRowReader::ReadImage(BYTE** rows, RowsDoneFn rowsDone, void* context) {
    error_.rowsDone = rowsDone;
    error_.rowsContext = context;
    error_.rows = 0;
    error_.totalRows = RowsDelivered(layout_.width, layout_.height, layout_.interlaced);
    const bool read = ReadAllRows(png_, rows);
    error_.rowsDone = nullptr;
    return read || Fail(error_.text);
}

bool PngRowReader::Finish() { return ReadEnd(png_, info_) || Fail(error_.text); }

bool PngRowReader::ModificationTime(png_time* out) const {
    png_timep time = nullptr;
    if (!png_ || !info_ || !png_get_tIME(png_, info_, &time) || !time) return false;
    *out = *time;
    return true;
}

}  // namespace tarnwick
