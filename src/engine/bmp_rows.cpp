#include "engine/bmp_rows.h"

#include <cstring>

#include "engine/bmp_format.h"

namespace tarnwick {

namespace {

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

}  // namespace

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

bool DecodedFormat(const DecodedLayout& d, RowFormat* format, std::string* why) {
    *format = RowFormat{};
    switch (d.kind) {
        case RowKind::Indexed:
            if (d.transparent && d.indexBits != 8) {
                *why = "a transparent palette picture below 8 bits";
                return false;
            }
            if (d.transparent) break;  // onto white, 24 bits
            format->bpp = d.indexBits;
            std::memcpy(format->palette, d.palette, sizeof format->palette);
            break;
        case RowKind::Grey16:
            // Its high byte, with the library's plain grey ramp.
            format->bpp = 8;
            for (unsigned i = 0; i < 256; ++i)
                format->palette[i] =
                    RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
            break;
        case RowKind::Bgr24:
        case RowKind::Rgb48: break;
        case RowKind::Bgra32:
        case RowKind::Rgba64: format->bpp = 32; break;
    }
    return true;
}

bool PlanRows(const DecodedLayout& d, unsigned outputBpp, RowPlan* plan, std::string* why,
              const RowFormat* last) {
    RowFormat decoded;
    if (!DecodedFormat(d, &decoded, why)) return false;
    const Stage stage = decoded.indexed()   ? Stage::Indexed
                        : decoded.bpp == 24 ? Stage::Bgr24
                                            : Stage::Bgra32;
    const RowFormat& reached = last ? *last : decoded;
    const bool keeps = reached.indexed() && outputBpp == reached.bpp;
    if (!keeps && outputBpp != 16 && outputBpp != 24 && outputBpp != 32) {
        *why = "the depth step needs the whole picture";
        return false;
    }
    const uint64_t pitch = BmpRowBytes(d.width, outputBpp);
    const uint64_t offset = BmpDataOffset(outputBpp);
    const uint64_t bytes = BmpFileBytes(d.width, d.height, outputBpp);
    // The BMP header holds the file size in 32 bits and the sides as signed
    // 32-bit numbers.
    if (bytes > 0xFFFFFFFFull || d.width > 0x7FFFFFFFu || d.height > 0x7FFFFFFFu) {
        *why = "the BMP would be 4 GiB or larger";
        return false;
    }
    plan->stage = stage;
    plan->last = reached;
    plan->outputBpp = outputBpp;
    plan->pitch = static_cast<uint32_t>(pitch);
    plan->dataOffset = static_cast<uint32_t>(offset);
    plan->fileBytes = bytes;
    return true;
}

std::vector<BYTE> BmpHeader(const DecodedLayout& d, const RowPlan& plan) {
    std::vector<BYTE> h(plan.dataOffset, 0);
    const unsigned bpp = plan.outputBpp;
    const uint32_t colors = BmpColorTableEntries(bpp);
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
        PutLe32(&h[kBmpHeadersBytes], FI16_565_RED_MASK);
        PutLe32(&h[kBmpHeadersBytes + 4], FI16_565_GREEN_MASK);
        PutLe32(&h[kBmpHeadersBytes + 8], FI16_565_BLUE_MASK);
    }
    // The colour table of the rows that reach the depth step (a 16-bit grey
    // picture's is the library's plain grey ramp).
    for (uint32_t i = 0; i < colors; ++i) {
        const RGBQUAD c = plan.last.palette[i];
        BYTE* entry = &h[kBmpHeadersBytes + 4 * i];
        entry[0] = c.rgbBlue;
        entry[1] = c.rgbGreen;
        entry[2] = c.rgbRed;
        entry[3] = c.rgbReserved;
    }
    return h;
}

RowConverter::RowConverter(const DecodedLayout& d, const RowPlan& plan) : d_(d), plan_(plan) {
    if (d.kind == RowKind::Grey16) {
        for (unsigned i = 0; i < 256; ++i)
            palette_[i] =
                RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
    } else {
        std::memcpy(palette_, d.palette, sizeof palette_);
    }
    stageRow_.resize(static_cast<size_t>(d.width) * 4 + 4);
}

bool RowConverter::DecodesInPlace() const {
    switch (d_.kind) {
        case RowKind::Indexed:
            return plan_.stage == Stage::Indexed && plan_.outputBpp == d_.indexBits;
        case RowKind::Bgr24: return plan_.outputBpp == 24;
        case RowKind::Bgra32: return plan_.outputBpp == 32;
        default: return false;
    }
}

void RowConverter::Convert(BYTE* src, BYTE* dst) {
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
                OntoWhite(src, s);
                WriteColourRow(s, 3, w, plan_.outputBpp, dst);
            } else {
                FromIndices(src, d_.indexBits, palette_, dst);
            }
            return;
        case RowKind::Grey16:
            // The high byte of each little-endian sample.
            for (uint32_t x = 0; x < w; ++x) s[x] = src[2 * x + 1];
            if (plan_.outputBpp == 8) {
                std::memcpy(dst, s, w);
            } else {
                FromIndices(s, 8, palette_, dst);
            }
            return;
        case RowKind::Bgr24: WriteColourRow(src, 3, w, plan_.outputBpp, dst); return;
        case RowKind::Bgra32:
            for (uint32_t x = 0; x < w; ++x) FlattenPixel(src + 4 * x);
            WriteColourRow(src, 4, w, plan_.outputBpp, dst);
            return;
        case RowKind::Rgb48:
            HighBytes48(src, s);
            WriteColourRow(s, 3, w, plan_.outputBpp, dst);
            return;
        case RowKind::Rgba64:
            HighBytes64(src, s);
            WriteColourRow(s, 4, w, plan_.outputBpp, dst);
            return;
    }
}

void RowConverter::OntoWhite(const BYTE* src, BYTE* s) const {
    const uint32_t w = d_.width;
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
}

void RowConverter::HighBytes48(const BYTE* src, BYTE* s) const {
    for (uint32_t x = 0; x < d_.width; ++x) {
        s[3 * x] = src[6 * x + 5];
        s[3 * x + 1] = src[6 * x + 3];
        s[3 * x + 2] = src[6 * x + 1];
    }
}

void RowConverter::HighBytes64(const BYTE* src, BYTE* s) const {
    for (uint32_t x = 0; x < d_.width; ++x) {
        BYTE* p = s + 4 * x;
        p[0] = src[8 * x + 5];
        p[1] = src[8 * x + 3];
        p[2] = src[8 * x + 1];
        p[3] = src[8 * x + 7];
        FlattenPixel(p);
    }
}

const BYTE* RowConverter::Stage(BYTE* src) {
    const uint32_t w = d_.width;
    BYTE* s = stageRow_.data();
    switch (d_.kind) {
        case RowKind::Indexed:
            if (!d_.transparent) return src;
            OntoWhite(src, s);
            return s;
        case RowKind::Grey16:
            for (uint32_t x = 0; x < w; ++x) s[x] = src[2 * x + 1];
            return s;
        case RowKind::Bgr24: return src;
        case RowKind::Bgra32:
            for (uint32_t x = 0; x < w; ++x) FlattenPixel(src + 4 * x);
            return src;
        case RowKind::Rgb48: HighBytes48(src, s); return s;
        case RowKind::Rgba64: HighBytes64(src, s); return s;
    }
    return src;
}

void RowConverter::Output(const BYTE* row, BYTE* dst) {
    const RowFormat& f = plan_.last;
    if (f.bpp == plan_.outputBpp) {
        std::memcpy(dst, row, f.RowBytes(d_.width));
    } else if (f.indexed()) {
        FromIndices(row, f.bpp, f.palette, dst);
    } else {
        WriteColourRow(row, f.bpp / 8, d_.width, plan_.outputBpp, dst);
    }
}

void RowConverter::FromIndices(const BYTE* src, unsigned bits, const RGBQUAD* palette, BYTE* dst) {
    const uint32_t w = d_.width;
    for (uint32_t x = 0; x < w; ++x) {
        const RGBQUAD& c = palette[IndexAt(src, x, bits)];
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

}  // namespace tarnwick
