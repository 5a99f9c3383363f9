#include "engine/row_steps.h"

#include <array>
#include <cstring>

#if defined(__SSE2__) && defined(__x86_64__)
#include <emmintrin.h>
#endif

#include "engine/bitmap.h"

namespace tarnwick {

namespace {

inline unsigned IndexAt(const BYTE* row, uint32_t x, unsigned bits) {
    switch (bits) {
        case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1u;
        case 4: return (x & 1) ? (row[x >> 1] & 0x0Fu) : (row[x >> 1] >> 4);
        default: return row[x];
    }
}

// Sets pixel x of a row whose bits at x are 0.
inline void PutIndex(BYTE* row, uint32_t x, unsigned bits, unsigned value) {
    switch (bits) {
        case 1: row[x >> 3] |= static_cast<BYTE>((value & 1u) << (7 - (x & 7))); break;
        case 4: row[x >> 1] |= static_cast<BYTE>((x & 1) ? (value & 0x0Fu) : (value << 4)); break;
        default: row[x] = static_cast<BYTE>(value); break;
    }
}

class FlipRow final : public RowOp {
public:
    explicit FlipRow(unsigned bpp) : bpp_(bpp) {}
    void Run(const BYTE* in, BYTE* out, uint32_t width) override {
        const size_t line = (static_cast<size_t>(width) * bpp_ + 7) / 8;
        switch (bpp_) {
            case 1:
                // Pixel by pixel onto a copy: the unused bits of the last byte stay.
                std::memcpy(out, in, line);
                for (uint32_t x = 0; x < width; ++x) {
                    const uint32_t nx = width - 1 - x;
                    const BYTE mask = static_cast<BYTE>(0x80 >> (nx & 7));
                    if (in[x >> 3] & (0x80 >> (x & 7))) out[nx >> 3] |= mask;
                    else out[nx >> 3] &= static_cast<BYTE>(~mask);
                }
                break;
            case 4:
                // Bytes in the other order, nibbles swapped: with an odd width
                // the unused nibble becomes the first pixel.
                for (size_t c = 0; c < line; ++c) {
                    const BYTE b = in[line - c - 1];
                    out[c] = static_cast<BYTE>((b << 4) | (b >> 4));
                }
                break;
            case 8:
                for (uint32_t x = 0; x < width; ++x) out[x] = in[width - 1 - x];
                break;
            case 24: {
                const BYTE* src = in + line - 3;
                for (uint32_t x = 0; x < width; ++x, src -= 3, out += 3) {
                    out[0] = src[0];
                    out[1] = src[1];
                    out[2] = src[2];
                }
                break;
            }
            default: {
                for (uint32_t x = 0; x < width; ++x)
                    std::memcpy(out + 4 * static_cast<size_t>(x),
                                in + 4 * static_cast<size_t>(width - 1 - x), 4);
                break;
            }
        }
    }

private:
    unsigned bpp_;
};

class ColourLookup final : public RowOp {
public:
    ColourLookup(unsigned bpp, const BYTE (&lut)[256]) : step_(bpp / 8) {
        std::memcpy(lut_, lut, sizeof lut_);
    }
    void Run(const BYTE* in, BYTE* out, uint32_t width) override {
        if (step_ == 3) {
            // Blue, green and red alike: every byte of the row.
            for (size_t i = 0, n = static_cast<size_t>(width) * 3; i < n; ++i) out[i] = lut_[in[i]];
            return;
        }
        for (uint32_t x = 0; x < width; ++x, in += 4, out += 4) {
            out[FI_RGBA_BLUE] = lut_[in[FI_RGBA_BLUE]];
            out[FI_RGBA_GREEN] = lut_[in[FI_RGBA_GREEN]];
            out[FI_RGBA_RED] = lut_[in[FI_RGBA_RED]];
            out[FI_RGBA_ALPHA] = in[FI_RGBA_ALPHA];
        }
    }

private:
    unsigned step_;
    BYTE lut_[256];
};

// The library's own line conversion from colours to its 8-bit grey.
void GreyLine(unsigned bpp, const BYTE* in, BYTE* out, uint32_t width) {
    BYTE* src = const_cast<BYTE*>(in);  // the library's signature; it only reads
    if (bpp == 32) Fi().ConvertLine32To8(out, src, static_cast<int>(width));
    else Fi().ConvertLine24To8(out, src, static_cast<int>(width));
}

class GreyRow final : public RowOp {
public:
    explicit GreyRow(unsigned bpp) : bpp_(bpp) {}
    void Run(const BYTE* in, BYTE* out, uint32_t width) override { GreyLine(bpp_, in, out, width); }

private:
    unsigned bpp_;
};

// Each byte with its bits in the other order.
constexpr auto kReversedBits = [] {
    std::array<BYTE, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned r = 0;
        for (unsigned bit = 0; bit < 8; ++bit)
            if (i & (1u << bit)) r |= 0x80u >> bit;
        table[i] = static_cast<BYTE>(r);
    }
    return table;
}();

class ThresholdRow final : public RowOp {
public:
    ThresholdRow(unsigned bpp, unsigned threshold) : bpp_(bpp), threshold_(threshold) {}
    void Run(const BYTE* in, BYTE* out, uint32_t width) override {
        grey_.resize(width);
        GreyLine(bpp_, in, grey_.data(), width);
        // Eight pixels to a byte, the first in its high bit; the unused bits
        // of the last byte stay 0, as in the library's new bitmap.
        const BYTE* g = grey_.data();
        uint32_t x = 0;
#if defined(__SSE2__) && defined(__x86_64__)
        // Sixteen pixels at a time: the comparison's mask has the first pixel
        // in its lowest bit, so each byte of it is turned round.
        const __m128i limit = _mm_set1_epi8(static_cast<char>(threshold_));
        for (; x + 16 <= width; x += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g + x));
            const unsigned mask =
                static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(v, limit), v)));
            out[x >> 3] = kReversedBits[mask & 0xFF];
            out[(x >> 3) + 1] = kReversedBits[mask >> 8];
        }
#endif
        for (; x + 8 <= width; x += 8) {
            unsigned byte = 0;
            for (unsigned k = 0; k < 8; ++k)
                byte = (byte << 1) | (g[x + k] >= threshold_ ? 1u : 0u);
            out[x >> 3] = static_cast<BYTE>(byte);
        }
        if (x < width) {
            unsigned byte = 0;
            for (unsigned k = 0; k < 8; ++k)
                byte = (byte << 1) | (x + k < width && g[x + k] >= threshold_ ? 1u : 0u);
            out[x >> 3] = static_cast<BYTE>(byte);
        }
    }

private:
    unsigned bpp_;
    unsigned threshold_;
    std::vector<BYTE> grey_;
};

// What a step made of each palette index: an index of the format after it,
// or a colour.
class IndexTable final : public RowOp {
public:
    IndexTable(unsigned from, unsigned to, const RGBQUAD (&colours)[256],
               const BYTE (&indices)[256], bool identity)
        : from_(from), to_(to), identity_(identity) {
        std::memcpy(colours_, colours, sizeof colours_);
        std::memcpy(indices_, indices, sizeof indices_);
    }
    void Run(const BYTE* in, BYTE* out, uint32_t width) override {
        if (identity_) {
            std::memcpy(out, in, (static_cast<size_t>(width) * from_ + 7) / 8);
            return;
        }
        if (to_ <= 8) {
            std::memset(out, 0, (static_cast<size_t>(width) * to_ + 7) / 8);
            for (uint32_t x = 0; x < width; ++x)
                PutIndex(out, x, to_, indices_[IndexAt(in, x, from_)]);
            return;
        }
        const unsigned n = to_ / 8;
        for (uint32_t x = 0; x < width; ++x, out += n) {
            const RGBQUAD& c = colours_[IndexAt(in, x, from_)];
            out[FI_RGBA_BLUE] = c.rgbBlue;
            out[FI_RGBA_GREEN] = c.rgbGreen;
            out[FI_RGBA_RED] = c.rgbRed;
            if (n == 4) out[FI_RGBA_ALPHA] = c.rgbReserved;
        }
    }

private:
    unsigned from_, to_;
    bool identity_;
    RGBQUAD colours_[256] = {};
    BYTE indices_[256] = {};
};

// A picture of `before`'s format, one row, with every palette index once
// (or one opaque black pixel for colours).
FIBITMAP* MakeProbe(const RowFormat& before) {
    if (!before.indexed()) {
        FIBITMAP* probe = Fi().Allocate(1, 1, static_cast<int>(before.bpp), 0, 0, 0);
        if (probe && before.bpp == 32) Fi().GetScanLine(probe, 0)[FI_RGBA_ALPHA] = 0xFF;
        return probe;
    }
    const unsigned n = 1u << before.bpp;
    FIBITMAP* probe = Fi().Allocate(static_cast<int>(n), 1, static_cast<int>(before.bpp), 0, 0, 0);
    if (!probe) return nullptr;
    std::memcpy(Fi().GetPalette(probe), before.palette, n * sizeof(RGBQUAD));
    BYTE* row = Fi().GetScanLine(probe, 0);
    std::memset(row, 0, Fi().GetLine(probe));
    for (unsigned x = 0; x < n; ++x) PutIndex(row, x, before.bpp, x);
    return probe;
}

// The format of `result`; false when it is not 1, 4, 8, 24 or 32 bits.
bool ReadFormat(FIBITMAP* result, RowFormat* after) {
    if (Fi().GetImageType(result) != FIT_BITMAP) return false;
    const unsigned bpp = Fi().GetBPP(result);
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return false;
    *after = RowFormat{};
    after->bpp = bpp;
    if (bpp <= 8) {
        const RGBQUAD* palette = Fi().GetPalette(result);
        if (!palette) return false;
        std::memcpy(after->palette, palette, (size_t{1} << bpp) * sizeof(RGBQUAD));
    }
    return true;
}

}  // namespace

void RowSteps::Add(std::unique_ptr<RowOp> op, const RowFormat& after) {
    ops_.push_back(std::move(op));
    format_ = after;
}

const BYTE* RowSteps::Run(const BYTE* row, BYTE* a, BYTE* b, uint32_t width) {
    const BYTE* in = row;
    BYTE* out = a;
    for (const auto& op : ops_) {
        op->Run(in, out, width);
        in = out;
        out = out == a ? b : a;
    }
    return in;
}

std::unique_ptr<RowOp> FlipRowOp(unsigned bpp) { return std::make_unique<FlipRow>(bpp); }

std::unique_ptr<RowOp> ColourLookupRowOp(unsigned bpp, double brightness, double contrast,
                                         double gamma, bool invert) {
    BYTE lut[256];
    if (!Fi().GetAdjustColorsLookupTable(lut, brightness, contrast, gamma, invert ? TRUE : FALSE))
        return nullptr;
    return std::make_unique<ColourLookup>(bpp, lut);
}

std::unique_ptr<RowOp> GreyRowOp(unsigned bpp) { return std::make_unique<GreyRow>(bpp); }

std::unique_ptr<RowOp> ThresholdRowOp(unsigned bpp, unsigned threshold) {
    return std::make_unique<ThresholdRow>(bpp, threshold);
}

std::unique_ptr<RowOp> IndexTableRowOp(const RowFormat& before, const PictureStep& step,
                                       RowFormat* after, std::string* why) {
    if (!before.indexed()) {
        *why = "a table of indices needs palette rows";
        return nullptr;
    }
    const unsigned n = 1u << before.bpp;
    Bitmap result(step(MakeProbe(before)));
    if (!result || !ReadFormat(result.get(), after) || Fi().GetWidth(result.get()) != n ||
        Fi().GetHeight(result.get()) != 1) {
        *why = "the step makes a picture the rows cannot hold";
        return nullptr;
    }
    RGBQUAD colours[256] = {};
    BYTE indices[256] = {};
    bool identity = after->bpp == before.bpp;
    const BYTE* row = Fi().GetScanLine(result.get(), 0);
    for (unsigned x = 0; x < n; ++x) {
        if (after->indexed()) {
            indices[x] = static_cast<BYTE>(IndexAt(row, x, after->bpp));
            identity = identity && indices[x] == x;
        } else {
            const BYTE* p = row + x * (after->bpp / 8);
            colours[x].rgbBlue = p[FI_RGBA_BLUE];
            colours[x].rgbGreen = p[FI_RGBA_GREEN];
            colours[x].rgbRed = p[FI_RGBA_RED];
            colours[x].rgbReserved = after->bpp == 32 ? p[FI_RGBA_ALPHA] : 0;
        }
    }
    return std::make_unique<IndexTable>(before.bpp, after->bpp, colours, indices, identity);
}

bool ProbeFormat(const RowFormat& before, const PictureStep& step, RowFormat* after) {
    Bitmap result(step(MakeProbe(before)));
    return result && ReadFormat(result.get(), after);
}

}  // namespace tarnwick
