// The whole-picture decode against the bitmap library's own PNG loader: over
// the PNG suite, a corpus written here with libpng (every colour type and
// depth, the ancillary chunks the loader reads or libpng weighs, odd sizes,
// interlaced and not) and damaged copies, the decode must give bit for bit
// the bitmap the loader gives - fed, as the program once fed it, the file
// without its text chunks, with the same widening of a low grey depth's
// transparent level and the same normalisation - or fail where it fails.
#include "engine/png_decode.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/bitmap.h"
#include "engine/png_chunks.h"
#include "engine/png_unfilter.h"
#include "support/test_support.h"

namespace tarnwick {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::Suite;
using test::TempDir;
using test::WriteFile;

// ---- The reference: the library's loader, as the program used it ---------

// A PNG file presented as a byte stream without its text chunks; every other
// byte is passed as it is. Notes the header's depth and colour type and a
// grey picture's transparent level on the way.
class PngChunkFilter {
public:
    explicit PngChunkFilter(std::FILE* file) : file_(file) {}

    size_t Read(void* data, size_t size) {
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

    bool Seek(uint64_t position) {
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
    uint64_t Tell() const { return position_; }

    int bitDepth() const { return bitDepth_; }
    int colorType() const { return colorType_; }
    std::optional<uint16_t> transparentGrey() const { return transparentGrey_; }

private:
    bool Next() {
        pending_.clear();
        pendingAt_ = 0;
        if (!started_) {
            started_ = true;
            pending_.resize(8);
            pending_.resize(std::fread(pending_.data(), 1, 8, file_));
            return !pending_.empty();
        }
        if (chunkLeft_ > 0) {
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

    std::FILE* file_;
    uint64_t position_ = 0;
    bool started_ = false;
    uint64_t chunkLeft_ = 0;
    std::vector<unsigned char> pending_;
    size_t pendingAt_ = 0;
    int bitDepth_ = 0;
    int colorType_ = -1;
    std::optional<uint16_t> transparentGrey_;
};

unsigned DLL_CALLCONV ReadFiltered(void* buffer, unsigned size, unsigned count, fi_handle h) {
    if (size == 0) return 0;
    return static_cast<unsigned>(static_cast<PngChunkFilter*>(h)->Read(buffer, size * count) /
                                 size);
}
unsigned DLL_CALLCONV WriteNothing(void*, unsigned, unsigned, fi_handle) { return 0; }
int DLL_CALLCONV SeekFiltered(fi_handle h, long offset, int origin) {
    auto* filter = static_cast<PngChunkFilter*>(h);
    if (origin == SEEK_END) return -1;
    const int64_t base = origin == SEEK_CUR ? static_cast<int64_t>(filter->Tell()) : 0;
    if (base + offset < 0) return -1;
    return filter->Seek(static_cast<uint64_t>(base + offset)) ? 0 : -1;
}
long DLL_CALLCONV TellFiltered(fi_handle h) {
    return static_cast<long>(static_cast<PngChunkFilter*>(h)->Tell());
}

Bitmap Normalised(Bitmap image) {
    FIBITMAP* dib = image.get();
    switch (FreeImage_GetImageType(dib)) {
        case FIT_BITMAP:
        case FIT_RGB16:
        case FIT_RGBA16:
        case FIT_RGBF:
        case FIT_RGBAF: return image;
        case FIT_UINT16: return Bitmap(FreeImage_ConvertTo8Bits(dib));
        case FIT_FLOAT: return Bitmap(FreeImage_ConvertToRGBF(dib));
        default: return Bitmap(FreeImage_ConvertToStandardType(dib, TRUE));
    }
}

// The loader fed the file without its text chunks; a grey level below 8 bits
// named transparent is widened like the samples; then the normalisation.
Bitmap LoaderDecode(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return Bitmap();
    PngChunkFilter filter(file);
    FreeImageIO io{ReadFiltered, WriteNothing, SeekFiltered, TellFiltered};
    Bitmap image(FreeImage_LoadFromHandle(FIF_PNG, &io, &filter, 0));
    std::fclose(file);
    if (!image) return image;
    const int depth = filter.bitDepth();
    if (filter.colorType() == 0 && (depth == 1 || depth == 2 || depth == 4) &&
        filter.transparentGrey() && FreeImage_GetBPP(image.get()) == 8) {
        BYTE table[256];
        std::memset(table, 0xFF, sizeof table);
        const unsigned level = *filter.transparentGrey() * (255u / ((1u << depth) - 1));
        if (level < 256) table[level] = 0;
        FreeImage_SetTransparencyTable(image.get(), table, 256);
    }
    return Normalised(std::move(image));
}

// ---- Comparing two bitmaps ------------------------------------------------

std::string DateTime(FIBITMAP* dib) {
    FITAG* tag = nullptr;
    if (!FreeImage_GetMetadata(FIMD_EXIF_MAIN, dib, "DateTime", &tag) || !tag) return "(none)";
    const char* value = static_cast<const char*>(FreeImage_GetTagValue(tag));
    return std::string(value ? value : "") + " id " + std::to_string(FreeImage_GetTagID(tag)) +
           " type " + std::to_string(FreeImage_GetTagType(tag)) + " count " +
           std::to_string(FreeImage_GetTagCount(tag));
}

// What differs between two bitmaps, empty when nothing does.
std::string Differences(FIBITMAP* a, FIBITMAP* b) {
    std::string out;
    const auto field = [&](const char* name, long long x, long long y) {
        if (x != y)
            out += std::string(name) + " " + std::to_string(x) + " / " + std::to_string(y) + "; ";
    };
    field("type", FreeImage_GetImageType(a), FreeImage_GetImageType(b));
    field("bpp", FreeImage_GetBPP(a), FreeImage_GetBPP(b));
    field("width", FreeImage_GetWidth(a), FreeImage_GetWidth(b));
    field("height", FreeImage_GetHeight(a), FreeImage_GetHeight(b));
    field("pitch", FreeImage_GetPitch(a), FreeImage_GetPitch(b));
    if (!out.empty()) return out;
    const size_t used = (static_cast<size_t>(FreeImage_GetWidth(a)) * FreeImage_GetBPP(a) + 7) / 8;
    for (unsigned y = 0; y < FreeImage_GetHeight(a); ++y) {
        if (std::memcmp(FreeImage_GetScanLine(a, static_cast<int>(y)),
                        FreeImage_GetScanLine(b, static_cast<int>(y)), used) != 0) {
            out += "row " + std::to_string(FreeImage_GetHeight(a) - 1 - y) + " (from the top); ";
            break;
        }
    }
    field("colours", FreeImage_GetColorsUsed(a), FreeImage_GetColorsUsed(b));
    if (FreeImage_GetColorsUsed(a) == FreeImage_GetColorsUsed(b) && FreeImage_GetPalette(a) &&
        std::memcmp(FreeImage_GetPalette(a), FreeImage_GetPalette(b),
                    FreeImage_GetColorsUsed(a) * sizeof(RGBQUAD)) != 0)
        out += "palette; ";
    field("transparent", FreeImage_IsTransparent(a), FreeImage_IsTransparent(b));
    field("transparency count", FreeImage_GetTransparencyCount(a),
          FreeImage_GetTransparencyCount(b));
    if (FreeImage_GetTransparencyCount(a) == FreeImage_GetTransparencyCount(b) &&
        std::memcmp(FreeImage_GetTransparencyTable(a), FreeImage_GetTransparencyTable(b),
                    FreeImage_GetTransparencyCount(a)) != 0)
        out += "transparency table; ";
    field("has background", FreeImage_HasBackgroundColor(a), FreeImage_HasBackgroundColor(b));
    RGBQUAD ca{}, cb{};
    FreeImage_GetBackgroundColor(a, &ca);
    FreeImage_GetBackgroundColor(b, &cb);
    if (std::memcmp(&ca, &cb, sizeof ca) != 0) out += "background colour; ";
    field("dots per metre x", FreeImage_GetDotsPerMeterX(a), FreeImage_GetDotsPerMeterX(b));
    field("dots per metre y", FreeImage_GetDotsPerMeterY(a), FreeImage_GetDotsPerMeterY(b));
    if (DateTime(a) != DateTime(b)) out += "DateTime " + DateTime(a) + " / " + DateTime(b) + "; ";
    for (FREE_IMAGE_MDMODEL model : {FIMD_COMMENTS, FIMD_EXIF_MAIN, FIMD_XMP})
        field("metadata", FreeImage_GetMetadataCount(model, a),
              FreeImage_GetMetadataCount(model, b));
    field("profile", FreeImage_GetICCProfile(a)->size, FreeImage_GetICCProfile(b)->size);
    return out;
}

// ---- The generated corpus -------------------------------------------------

struct PngKind {
    int colorType = 0;
    int depth = 8;
    uint32_t width = 1, height = 1;
    bool interlaced = false;
    int variant = 0;
};

std::string Describe(const PngKind& s) {
    return "type " + std::to_string(s.colorType) + " depth " + std::to_string(s.depth) + " " +
           std::to_string(s.width) + "x" + std::to_string(s.height) +
           (s.interlaced ? " interlaced" : "") + " variant " + std::to_string(s.variant);
}

uint32_t Next(uint32_t& seed) {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
}

void ToString(png_structp png, png_bytep data, size_t size) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), size);
}
void NoFlush(png_structp) {}

// An ICC profile for a grey or a colour picture: a header, no tags and 200
// bytes of noise, so that libpng, which takes a profile whose chunk is
// shorter than 92 bytes for a damaged one, reads it.
std::string IccProfile(bool grey) {
    std::string p(332, '\0');
    const auto put = [&](size_t at, const std::string& v) { p.replace(at, v.size(), v); };
    put(0, test::Be32(332));
    put(8, test::Be32(0x02100000));
    put(12, "mntr");
    put(16, grey ? "GRAY" : "RGB ");
    put(20, "XYZ ");
    put(36, "acsp");
    put(68, test::Be32(0xF6D6) + test::Be32(0x10000) + test::Be32(0xD32D));  // D50
    uint32_t noise = 7;
    for (size_t i = 132; i < p.size(); ++i) p[i] = static_cast<char>(Next(noise));
    return p;
}

std::string Compressed(const std::string& data) {
    std::string z(compressBound(data.size()), '\0');
    uLongf size = z.size();
    compress2(reinterpret_cast<Bytef*>(z.data()), &size,
              reinterpret_cast<const Bytef*>(data.data()), data.size(), 9);
    z.resize(size);
    return z;
}

// Chunks put by hand right after IHDR or right before IEND: ones libpng's
// writer would refuse (a profile that does not fit the picture, impossible
// chromaticities, an sRGB chunk against a gAMA) and text on both sides.
std::string Spliced(const std::string& png, const std::string& early, const std::string& late) {
    const size_t afterHeader = 8 + 8 + 13 + 4;
    const size_t beforeEnd = png.size() - 12;
    return png.substr(0, afterHeader) + early + png.substr(afterHeader, beforeEnd - afterHeader) +
           late + png.substr(beforeEnd);
}

// Variants of the ancillary chunks:
//   0 none; 1 tRNS, bKGD, pHYs in metres, IDAT in many chunks;
//   2 gAMA 1.0, sBIT, a fitting iCCP, cHRM, tIME, pHYs without unit, text;
//   3 gAMA 0.7, a short tRNS and palette, another bKGD, tIME after the pixels;
//   4 gAMA 1.0 with a profile for the other colour kind (libpng drops the gamma);
//   5 gAMA 1.0 with impossible chromaticities; 6 sRGB alone; 7 sRGB against gAMA 1.0.
// The rows' filter changes with the variant and the width.
constexpr int kVariants = 8;

std::string WritePng(const PngKind& s, uint32_t* random) {
    uint32_t& seed = *random;
    std::string bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return "";
    }
    png_set_write_fn(png, &bytes, ToString, NoFlush);
    png_set_IHDR(png, info, s.width, s.height, s.depth, s.colorType,
                 s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
                 PNG_FILTER_TYPE_BASE);
    const bool palette = s.colorType == PNG_COLOR_TYPE_PALETTE;
    const bool grey = (s.colorType & PNG_COLOR_MASK_COLOR) == 0;
    const bool alpha = (s.colorType & PNG_COLOR_MASK_ALPHA) != 0;
    const int sampleMax = (1 << s.depth) - 1;
    int entries = palette ? (1 << s.depth) : 0;
    if (palette && s.variant == 3) entries = std::max(1, entries * 3 / 4);
    std::vector<png_color> colors(static_cast<size_t>(entries));
    for (auto& c : colors)
        c = png_color{static_cast<png_byte>(Next(seed)), static_cast<png_byte>(Next(seed)),
                      static_cast<png_byte>(Next(seed))};
    if (palette) png_set_PLTE(png, info, colors.data(), entries);

    // A transparent colour the first pixel has.
    png_color_16 transparent{};
    const bool withTrns = (s.variant == 1 || s.variant == 3) && !alpha;
    if (withTrns) {
        if (palette) {
            std::vector<png_byte> table(
                static_cast<size_t>(s.variant == 3 ? entries / 2 + 1 : entries));
            for (auto& t : table) t = static_cast<png_byte>(Next(seed));
            png_set_tRNS(png, info, table.data(), static_cast<int>(table.size()), nullptr);
        } else {
            transparent.gray = static_cast<png_uint_16>(Next(seed) % (sampleMax + 1));
            transparent.red = static_cast<png_uint_16>(Next(seed) % (sampleMax + 1));
            transparent.green = static_cast<png_uint_16>(Next(seed) % (sampleMax + 1));
            transparent.blue = static_cast<png_uint_16>(Next(seed) % (sampleMax + 1));
            png_set_tRNS(png, info, nullptr, 0, &transparent);
        }
    }
    if (s.variant == 1 || s.variant == 3) {
        png_color_16 background{};
        const int limit = palette ? entries : sampleMax + 1;
        background.index = static_cast<png_byte>(Next(seed) % limit);
        background.gray = static_cast<png_uint_16>(Next(seed) % limit);
        background.red = static_cast<png_uint_16>(Next(seed) % limit);
        background.green = static_cast<png_uint_16>(Next(seed) % limit);
        background.blue = static_cast<png_uint_16>(Next(seed) % limit);
        png_set_bKGD(png, info, &background);
    }
    if (s.variant == 1) png_set_pHYs(png, info, 3937, 1181, PNG_RESOLUTION_METER);
    if (s.variant == 2) png_set_pHYs(png, info, 3, 2, PNG_RESOLUTION_UNKNOWN);
    if (s.variant == 2 || s.variant == 4 || s.variant == 5) png_set_gAMA_fixed(png, info, 100000);
    if (s.variant == 3) png_set_gAMA_fixed(png, info, 70000);
    if (s.variant == 2) {
        const int bits = palette ? 8 : s.depth;
        png_color_8 sig{};
        sig.red = sig.green = sig.blue = sig.gray = static_cast<png_byte>(std::max(1, bits - 1));
        sig.alpha = static_cast<png_byte>(bits);
        png_set_sBIT(png, info, &sig);
        const std::string profile = IccProfile(grey);
        png_set_iCCP(png, info, "test", 0, reinterpret_cast<png_const_bytep>(profile.data()),
                     static_cast<png_uint_32>(profile.size()));
        png_set_cHRM(png, info, 0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06);
        png_time t{2024, 2, 29, 23, 59, 58};
        png_set_tIME(png, info, &t);
    }
    if (s.variant == 1) png_set_compression_buffer_size(png, 64);
    // Each filter on its own, and libpng's choice row by row.
    static const int kFilters[] = {PNG_FILTER_NONE, PNG_FILTER_SUB,   PNG_FILTER_UP,
                                   PNG_FILTER_AVG,  PNG_FILTER_PAETH, PNG_ALL_FILTERS};
    png_set_filter(png, PNG_FILTER_TYPE_BASE, kFilters[(s.variant + s.width) % 6]);
    if (s.variant == 6) png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    png_write_info(png, info);
    if (s.depth == 16) png_set_swap(png);  // samples are written little-endian below

    const size_t rowBytes = png_get_rowbytes(png, info);
    std::vector<std::string> rows(s.height, std::string(rowBytes, '\0'));
    for (uint32_t y = 0; y < s.height; ++y) {
        auto* row = reinterpret_cast<png_byte*>(rows[y].data());
        if (palette) {
            const unsigned perByte = 8 / static_cast<unsigned>(s.depth);
            for (uint32_t x = 0; x < s.width; ++x) {
                const unsigned index = Next(seed) % static_cast<unsigned>(entries);
                const unsigned shift = (perByte - 1 - x % perByte) * static_cast<unsigned>(s.depth);
                row[x / perByte] = static_cast<png_byte>(row[x / perByte] | index << shift);
            }
        } else {
            // Odd variants take few values, so the Paeth predictor meets
            // ties (left and above equally near) often.
            static const png_byte kFew[4] = {0, 1, 2, 255};
            for (size_t i = 0; i < rowBytes; ++i)
                row[i] = s.variant % 2 ? kFew[Next(seed) % 4] : static_cast<png_byte>(Next(seed));
            if (s.depth < 8) {  // the pad bits of the last byte stay 0
                const size_t bits = static_cast<size_t>(s.width) * s.depth;
                if (bits % 8) row[rowBytes - 1] &= static_cast<png_byte>(0xFF << (8 - bits % 8));
            }
        }
    }
    // The first pixel has the transparent colour.
    if (withTrns && !palette && s.height > 0) {
        auto* row = reinterpret_cast<png_byte*>(rows[0].data());
        if (s.depth < 8) {
            row[0] = static_cast<png_byte>((row[0] & (0xFF >> s.depth)) | transparent.gray
                                                                              << (8 - s.depth));
        } else if (s.depth == 8) {
            if (grey) {
                row[0] = static_cast<png_byte>(transparent.gray);
            } else {
                row[0] = static_cast<png_byte>(transparent.red);
                row[1] = static_cast<png_byte>(transparent.green);
                row[2] = static_cast<png_byte>(transparent.blue);
            }
        } else {
            const png_uint_16 v[3] = {grey ? transparent.gray : transparent.red, transparent.green,
                                      transparent.blue};
            for (int i = 0; i < (grey ? 1 : 3); ++i) {
                row[2 * i] = static_cast<png_byte>(v[i]);
                row[2 * i + 1] = static_cast<png_byte>(v[i] >> 8);
            }
        }
    }
    std::vector<png_bytep> pointers;
    for (auto& r : rows) pointers.push_back(reinterpret_cast<png_bytep>(r.data()));
    png_write_image(png, pointers.data());
    if (s.variant == 3) {
        png_time t{1999, 12, 31, 0, 0, 1};
        png_set_tIME(png, info, &t);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);

    std::string early, late;
    const std::string text = test::PngChunk("tEXt", std::string("Title\0a picture", 15));
    const std::string ztext =
        test::PngChunk("zTXt", std::string("Comment\0\0", 9) + Compressed(std::string(5000, 'z')));
    if (s.variant == 2) {
        early = text + ztext;
        late = text;
    }
    if (s.variant == 4)
        early = test::PngChunk("iCCP", std::string("odd\0\0", 5) + Compressed(IccProfile(!grey)));
    if (s.variant == 5) early = test::PngChunk("cHRM", std::string(32, '\0'));
    if (s.variant == 7)
        early = test::PngChunk("sRGB", std::string(1, '\0')) +
                test::PngChunk("gAMA", test::Be32(100000));
    return Spliced(bytes, early, late);
}

std::vector<PngKind> Corpus() {
    const int types[][2] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                            {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};
    const uint32_t sizes[][2] = {{1, 1}, {7, 3}, {33, 17}};
    std::vector<PngKind> corpus;
    for (const auto& t : types)
        for (const auto& size : sizes)
            for (bool interlaced : {false, true})
                for (int variant = 0; variant < kVariants; ++variant)
                    corpus.push_back(PngKind{t[0], t[1], size[0], size[1], interlaced, variant});
    return corpus;
}

// ---- Damaged files ----------------------------------------------------------

// The picture's chunks, whole (length, type, data, CRC).
std::vector<std::string> Chunks(const std::string& png) {
    std::vector<std::string> chunks;
    for (size_t at = 8; at + 12 <= png.size();) {
        const uint32_t length = PngBe32(reinterpret_cast<const unsigned char*>(png.data() + at));
        if (length > png.size() - at - 12) break;
        chunks.push_back(png.substr(at, 12 + length));
        at += 12 + length;
    }
    return chunks;
}

// A bit of the last IDAT chunk's data flipped, its CRC made right again or
// left wrong.
std::string FlipPixelBit(const std::string& png, size_t bitFromEnd, bool fixCrc) {
    std::vector<std::string> chunks = Chunks(png);
    for (size_t i = chunks.size(); i-- > 0;) {
        std::string& c = chunks[i];
        if (c.compare(4, 4, "IDAT") != 0 || c.size() <= 12) continue;
        const size_t dataBytes = c.size() - 12;
        const size_t byte = 8 + dataBytes - 1 - (bitFromEnd / 8) % dataBytes;
        c[byte] = static_cast<char>(c[byte] ^ (1 << (bitFromEnd % 8)));
        if (fixCrc) c = test::PngChunk("IDAT", c.substr(8, dataBytes));
        break;
    }
    std::string out = test::kPngSignature;
    for (const auto& c : chunks) out += c;
    return out;
}

class PngDecodeTest : public ::testing::Test {
protected:
    void SetUp() override { LoadImageLibrary(); }

    // Decodes `png` with the loader and with the program's reader, its pixel
    // data inflated on the second thread and on the reading thread alike; a
    // failure of the test names `what`.
    void Compare(const std::string& png, const std::string& what) {
        for (Inflating inflating : {Inflating::OnThread, Inflating::Here})
            Compare(png, what + (inflating == Inflating::Here ? " (inflated here)" : ""),
                    inflating);
    }
    void Compare(const std::string& png, const std::string& what, Inflating inflating) {
        const Bitmap expected = LoaderDecode(png);
        WholePng decoded = DecodeWholePng(png, {}, inflating);
        ASSERT_EQ(expected != nullptr, decoded.image != nullptr)
            << what << ": the loader " << (expected ? "decodes" : "refuses")
            << " it; the decode says " << (decoded.image ? "nothing" : decoded.error);
        if (!expected) {
            ++refused;
            return;
        }
        EXPECT_TRUE(decoded.error.empty());
        EXPECT_EQ(Differences(expected.get(), decoded.image.get()), "") << what;
        ++decodedCount;
    }

    int refused = 0;
    int decodedCount = 0;
};

TEST_F(PngDecodeTest, EveryPictureDecodesToTheLoadersBitmap) {
    TempDir dir;
    // The PNG suite as it is.
    std::vector<std::string> suite;
    for (const auto& e : fs::directory_iterator(Suite("")))
        if (e.path().extension() == ".png") suite.push_back(e.path().filename());
    std::sort(suite.begin(), suite.end());
    ASSERT_GE(suite.size(), 60u);
    for (const std::string& name : suite) Compare(Suite(name), name);

    // The generated corpus.
    uint32_t seed = 1;
    for (const PngKind& kind : Corpus()) {
        const std::string bytes = WritePng(kind, &seed);
        ASSERT_FALSE(bytes.empty()) << Describe(kind);
        const std::string png = dir / "generated.png";
        WriteFile(png, bytes);
        Compare(png, Describe(kind));
    }
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(decodedCount, 2 * static_cast<int>(suite.size() + Corpus().size()));
}

// Damaged copies: cut short, a pixel bit flipped (its CRC right or wrong), a
// zlib checksum broken. Where the loader refuses the file the decode refuses
// it; where the loader takes it, the decode gives its bitmap.
TEST_F(PngDecodeTest, DamagedPicturesAreRefusedWhereTheLoaderRefusesThem) {
    TempDir dir;
    for (const char* name : {"basn0g01.png", "basn0g16.png", "basn2c08.png", "basn3p04.png",
                             "basn6a16.png", "ibasn2c08.png", "ibasn3p08.png", "ftbbn0g04.png"}) {
        const std::string original = ReadFile(Suite(name));
        std::vector<std::pair<std::string, std::string>> cases;
        for (size_t cut :
             {original.size() - 12, original.size() - 20, original.size() / 2, size_t{60}})
            cases.emplace_back("cut at " + std::to_string(cut), original.substr(0, cut));
        for (size_t bit : {0, 9, 17, 30, 200, 1000})
            for (bool fixCrc : {true, false})
                cases.emplace_back("bit " + std::to_string(bit) + (fixCrc ? "" : " bad CRC"),
                                   FlipPixelBit(original, bit, fixCrc));
        // An ancillary chunk's CRC broken (libpng drops the chunk), bytes
        // after the end.
        std::string badAncillary = test::kPngSignature;
        for (std::string c : Chunks(original)) {
            if (c.compare(4, 4, "gAMA") == 0) c[8] = static_cast<char>(c[8] ^ 1);
            badAncillary += c;
        }
        cases.emplace_back("gAMA with a bad CRC", badAncillary);
        cases.emplace_back("bytes after IEND", original + "trailing bytes");
        for (const auto& [what, bytes] : cases) {
            const std::string png = dir / "damaged.png";
            WriteFile(png, bytes);
            Compare(png, std::string(name) + " " + what);
        }
    }
    EXPECT_GT(refused, 20);
    EXPECT_GT(decodedCount, 5);
}

// The rows the inflating thread rebuilds, against PNG's filter formulas
// written out byte by byte: every filter, every pixel size, rows of noise
// and rows of few values (where Paeth's ties decide).
TEST(PngUnfilter, RowsAreRebuiltByThePngFormulas) {
    const auto paeth = [](int a, int b, int c) {
        const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
        return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
    };
    uint32_t seed = 3;
    for (unsigned bpp = 1; bpp <= 8; ++bpp) {
        for (const size_t pixels : {size_t{1}, size_t{2}, size_t{5}, size_t{64}}) {
            const size_t n = pixels * bpp;
            for (int few = 0; few < 2; ++few) {
                std::vector<uint8_t> prior(n), filtered(n);
                for (auto& v : prior)
                    v = static_cast<uint8_t>(few ? Next(seed) % 3 * 127 : Next(seed));
                for (auto& v : filtered)
                    v = static_cast<uint8_t>(few ? Next(seed) % 3 : Next(seed));
                for (uint8_t filter = 0; filter <= 5; ++filter) {
                    std::vector<uint8_t> expected = filtered;
                    for (size_t i = 0; i < n; ++i) {
                        const int a = i >= bpp ? expected[i - bpp] : 0, b = prior[i];
                        const int c = i >= bpp ? prior[i - bpp] : 0;
                        const int add = filter == 1   ? a
                                        : filter == 2 ? b
                                        : filter == 3 ? (a + b) / 2
                                        : filter == 4 ? paeth(a, b, c)
                                                      : 0;
                        expected[i] = static_cast<uint8_t>(expected[i] + add);
                    }
                    std::vector<uint8_t> row = filtered;
                    EXPECT_EQ(UnfilterRow(filter, row.data(), prior.data(), n, bpp), filter <= 4);
                    EXPECT_TRUE(row == (filter <= 4 ? expected : filtered))
                        << "filter " << int{filter} << ", " << bpp << " bytes a pixel, " << pixels
                        << " pixels" << (few ? ", few values" : "");
                }
            }
        }
    }
}

}  // namespace
}  // namespace tarnwick
