#include "engine/png_decode.h"

#include "platform/platform.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "engine/inflating_feeder.h"

namespace tarnwick {

namespace {

// Brings an image of a type the later steps cannot take to a standard one.
// Deep colour types stay: the tone-mapping step makes 24-bit images of them.
Bitmap NormaliseType(Bitmap image) {
    FIBITMAP* dib = image.get();
    switch (Fi().GetImageType(dib)) {
        case FIT_BITMAP:
        case FIT_RGB16:
        case FIT_RGBA16:
        case FIT_RGBF:
        case FIT_RGBAF: return image;
        case FIT_UINT16:  // 16-bit greyscale: keep the high byte, as 8-bit grey
            return Bitmap(Fi().ConvertTo8Bits(dib));
        case FIT_FLOAT: return Bitmap(Fi().ConvertToRGBF(dib));
        default: return Bitmap(Fi().ConvertToStandardType(dib, TRUE));
    }
}

// A new bitmap of the type and depth the loader makes for these rows, with
// the library's own defaults (a grey ramp for 8 bits, 72 dpi, no background).
Bitmap AllocateFor(const DecodedLayout& d) {
    FREE_IMAGE_TYPE type = FIT_BITMAP;
    int bpp = 0;
    switch (d.kind) {
        case RowKind::Indexed: bpp = static_cast<int>(d.indexBits); break;
        case RowKind::Grey16:
            type = FIT_UINT16;
            bpp = 16;
            break;
        case RowKind::Bgr24: bpp = 24; break;
        case RowKind::Bgra32: bpp = 32; break;
        case RowKind::Rgb48:
            type = FIT_RGB16;
            bpp = 48;
            break;
        case RowKind::Rgba64:
            type = FIT_RGBA16;
            bpp = 64;
            break;
    }
    return Bitmap(Fi().AllocateT(type, static_cast<int>(d.width), static_cast<int>(d.height), bpp,
                                 FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK, FI_RGBA_BLUE_MASK));
}

// The header's fields, set as the loader sets them.
void SetFields(FIBITMAP* dib, const DecodedLayout& d) {
    if (d.kind == RowKind::Indexed) {
        RGBQUAD* palette = Fi().GetPalette(dib);
        if (palette) std::memcpy(palette, d.palette, d.paletteSize * sizeof(RGBQUAD));
    }
    if (d.alphaCount > 0) {
        BYTE table[256];
        std::memcpy(table, d.alpha, sizeof table);
        Fi().SetTransparencyTable(dib, table, static_cast<int>(d.alphaCount));
    }
    if (d.hasBackground) {
        RGBQUAD background = d.background;
        Fi().SetBackgroundColor(dib, &background);
    }
    Fi().SetDotsPerMeterX(dib, d.xPelsPerMeter);
    Fi().SetDotsPerMeterY(dib, d.yPelsPerMeter);
}

// The tIME chunk as the loader keeps it: the Exif DateTime tag.
void SetModificationTime(FIBITMAP* dib, const png_time& t) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%4d:%02d:%02d %2d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    FITAG* tag = Fi().CreateTag();
    if (!tag) return;
    const DWORD length = static_cast<DWORD>(std::strlen(stamp) + 1);
    constexpr WORD kDateTimeTag = 0x0132;
    Fi().SetTagLength(tag, length);
    Fi().SetTagCount(tag, length);
    Fi().SetTagType(tag, FIDT_ASCII);
    Fi().SetTagID(tag, kDateTimeTag);
    Fi().SetTagValue(tag, stamp);
    Fi().SetTagKey(tag, "DateTime");
    Fi().SetMetadata(FIMD_EXIF_MAIN, dib, "DateTime", tag);
    Fi().DeleteTag(tag);
}

// How far the inflating thread may get ahead while the bitmap is made.
constexpr size_t kReadAheadBytes = 32 << 20;

void ReportRows(void* context, uint64_t done, uint64_t total) {
    static_cast<const ProgressSpan*>(context)->Report(done, total);
}

}  // namespace

OpenPng::~OpenPng() {
    pipe_.Cancel();
    if (feeder_.joinable()) feeder_.join();
}

bool OpenPng::Open(const std::string& path, RowFilters filters, Inflating inflating) {
    file_ = OpenForReading(path);
    if (inflating == Inflating::Auto)
        inflating =
            platform::FileSize(path) <= kInflateHereBytes ? Inflating::Here : Inflating::OnThread;
    if (inflating == Inflating::OnThread) feederFile_ = OpenForReading(path);
    if (!file_ || (inflating == Inflating::OnThread && !feederFile_)) {
        error_ = "cannot open the file";
        return false;
    }
    if (inflating == Inflating::OnThread) {
        try {
            const bool rebuild = filters == RowFilters::OnFeeder;
            feeder_ =
                std::thread([this, rebuild] { FeedInflated(feederFile_.get(), pipe_, rebuild); });
        } catch (...) {
            // No thread to be had: libpng inflates on this one.
        }
    }
    const bool prepared = feeder_.joinable();
    fileSource_.emplace(file_.get());
    ByteSource& source = prepared ? static_cast<ByteSource&>(pipe_) : *fileSource_;
    return reader_.Open(source, prepared);
}

std::string PngReadFailure(const std::string& path, const std::string& why) {
    return "cannot read " + path + ": " + why;
}

WholePng DecodeWholePng(const std::string& path, const ProgressSpan& progress,
                        Inflating inflating) {
    WholePng out;
    const auto failure = [&](const std::string& why) {
        out.image.reset();
        out.error = PngReadFailure(path, why);
        return std::move(out);
    };
    OpenPng png;
    if (!png.Open(path, RowFilters::OnFeeder, inflating)) return failure(png.error());
    PngRowReader& reader = png.reader();
    const DecodedLayout& d = reader.layout();
    const std::string size = std::to_string(d.width) + " x " + std::to_string(d.height);

    // Making the bitmap (the library clears it) takes a while: the inflating
    // thread goes on meanwhile, up to a bounded amount of rows.
    png.AllowReadAhead(kReadAheadBytes);
    Bitmap image = AllocateFor(d);
    png.AllowReadAhead(0);
    std::unique_ptr<BYTE*[]> rows(image ? new (std::nothrow) BYTE*[d.height] : nullptr);
    if (!image || !rows) return failure("not enough memory for a " + size + " picture");
    FIBITMAP* dib = image.get();
    SetFields(dib, d);
    // The bitmap holds its rows bottom-up.
    for (uint32_t y = 0; y < d.height; ++y)
        rows[y] = Fi().GetScanLine(dib, static_cast<int>(d.height - 1 - y));
    ProgressSpan rowShare = progress;
    if (!reader.ReadImage(rows.get(), progress ? ReportRows : nullptr, &rowShare))
        return failure(reader.error());
    rows.reset();
    if (!reader.Finish()) return failure(reader.error());

    if (Fi().GetBPP(dib) == 32) Fi().SetTransparent(dib, Fi().GetColorType(dib) == FIC_RGBALPHA);
    if (png_time t; reader.ModificationTime(&t)) SetModificationTime(dib, t);

    out.image = NormaliseType(std::move(image));
    if (!out.image) return failure("not enough memory for a " + size + " picture");
    return out;
}

}  // namespace tarnwick
