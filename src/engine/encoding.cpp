#include "engine/encoding.h"

#include "engine/bmp_format.h"

#include <cstring>
#include <vector>

#include "engine/format_registry.h"
#include "platform/safe_save.h"

namespace tarnwick {

namespace {

// Picks the flag for a setting value from a table; an unlisted value adds nothing.
template <size_t N>
int Pick(const int (&table)[N], int value) {
    return value >= 0 && static_cast<size_t>(value) < N ? table[value] : 0;
}

}  // namespace

int SaveFlagsFor(const Settings& s, const std::string& extension) {
    const std::string& e = extension;
    if (e == "bmp") {
        static const int t[] = {0, BMP_SAVE_RLE};
        return Pick(t, s.bmpCompression);
    }
    if (e == "exr") {
        static const int t[] = {EXR_NONE, EXR_ZIP, EXR_PIZ, EXR_PXR24, EXR_B44};
        return Pick(t, s.exrCompression);
    }
    if (e == "jpg") {
        static const int chroma[] = {JPEG_SUBSAMPLING_444, JPEG_SUBSAMPLING_422,
                                     JPEG_SUBSAMPLING_420, JPEG_SUBSAMPLING_411};
        static const int saveAs[] = {0, JPEG_BASELINE, JPEG_OPTIMIZE, JPEG_PROGRESSIVE};
        int flags = s.jpgQuality >= 1 && s.jpgQuality <= 100 ? s.jpgQuality : 0;
        return flags | Pick(chroma, s.jpgChroma) | Pick(saveAs, s.jpgSaveAs);
    }
    if (e == "jxr") return JXR_LOSSLESS;
    if (e == "png") {
        static const int t[] = {PNG_Z_NO_COMPRESSION, PNG_Z_BEST_SPEED, PNG_Z_DEFAULT_COMPRESSION,
                                PNG_Z_BEST_COMPRESSION};
        return Pick(t, s.pngCompression) | (s.pngInterlaced != 0 ? PNG_INTERLACED : 0);
    }
    if (e == "tga") {
        static const int t[] = {0, TARGA_SAVE_RLE};
        return Pick(t, s.tgaCompression);
    }
    if (e == "tiff") {
        static const int t[] = {TIFF_NONE,     TIFF_CCITTFAX3, TIFF_CCITTFAX4,
                                TIFF_PACKBITS, TIFF_DEFLATE,   TIFF_ADOBE_DEFLATE,
                                TIFF_LZW,      TIFF_JPEG,      TIFF_LOGLUV};
        return Pick(t, s.tiffCompression) | (s.tiffColorModel == 1 ? TIFF_CMYK : 0);
    }
    if (e == "webp") return WEBP_LOSSLESS;
    return 0;
}

void PrepareOutputEncoding(const FormatRegistry& reg, const Settings& s, RunState& run,
                           const std::string& extension) {
    const OutputFormatInfo* info = FindOutputFormat(reg, extension);
    run.outputFif = info ? info->fif : static_cast<int32_t>(FIF_UNKNOWN);
    run.outputBpp = BppSetting(s, extension);
    run.saveFlags = SaveFlagsFor(s, extension);
    run.autoBpp = run.outputBpp == 0 ? 1 : 0;
}

int AutoBppFor(const FormatRegistry& reg, const std::string& extension, int sourceBpp) {
    const OutputFormatInfo* info = FindOutputFormat(reg, extension);
    if (!info) return 0;
    const std::vector<int>& list = info->bppList;
    for (int bpp : list)
        if (bpp >= sourceBpp) return bpp;
    return list.empty() ? 0 : list.back();
}

void ResolveOutputBpp(const FormatRegistry& reg, RunState& run) {
    if (run.autoBpp == 1) run.outputBpp = AutoBppFor(reg, run.conversion, run.sourceBpp);
}

Bitmap ConvertDepth(Bitmap image, const FormatRegistry& reg, const RunState& run) {
    if (!image) return image;
    FIBITMAP* dib = image.get();
    const int bpp = static_cast<int>(Fi().GetBPP(dib));
    if (bpp == run.outputBpp) return image;

    const std::string& ext = run.conversion;
    switch (run.outputBpp) {
        case 96: return Bitmap(Fi().ConvertToRGBF(dib));
        case 48: return Bitmap(Fi().ConvertToRGB16(dib));
        case 32: return Bitmap(Fi().ConvertTo32Bits(dib));
        case 24: return Bitmap(Fi().ConvertTo24Bits(dib));
        case 16: {
            if (bpp > 32) {
                image.reset(Fi().ConvertTo24Bits(dib));
                if (!image) return image;
                dib = image.get();
            }
            if (ext == "ico" || ext == "tga") return Bitmap(Fi().ConvertTo16Bits555(dib));
            return Bitmap(Fi().ConvertTo16Bits565(dib));
        }
        case 8: {
            if (ext == "j2k" || ext == "jp2" || ext == "jpg" || ext == "jxr")
                return Bitmap(Fi().ConvertTo8Bits(dib));
            if (bpp != 24) {
                image.reset(Fi().ConvertTo24Bits(dib));
                if (!image) return image;
                dib = image.get();
            }
            return Bitmap(Fi().ColorQuantizeEx(dib, FIQ_WUQUANT, 256, 0, nullptr));
        }
        case 4: return Bitmap(Fi().ConvertTo4Bits(dib));
        case 1: return Bitmap(Fi().Dither(dib, FID_FS));
        default: return Bitmap();
    }
}

EncodedFile EncodeImage(FIBITMAP* image, int fif, int flags) {
    EncodedFile file;
    if (!image) return file;
    file.stream.reset(Fi().OpenMemory(nullptr, 0));
    if (!file.stream) return file;
    if (!Fi().SaveToMemory(static_cast<FREE_IMAGE_FORMAT>(fif), image, file.stream.get(), flags))
        return EncodedFile();
    BYTE* data = nullptr;
    DWORD size = 0;
    if (!Fi().AcquireMemory(file.stream.get(), &data, &size) || !data || size == 0)
        return EncodedFile();
    if (fif == FIF_BMP) {
        FixBmpSizeFields(data, size);
        const uint32_t pixelOffset = size >= kBmpHeadersBytes ? GetLe32(data + 10) : 0;
        if (pixelOffset >= kBmpHeadersBytes && pixelOffset <= size &&
            GetLe32(data + 30) == 1)  // BI_RLE8
            ClearRle8Padding(data + pixelOffset, size - pixelOffset);
    }
    file.data = data;
    file.size = size;
    return file;
}

EncodedFile EncodeBmpExactPalette(FIBITMAP* image, const RunState& run) {
    if (!image || Fi().GetBPP(image) != 8 || !Fi().GetPalette(image)) return EncodedFile();
    EncodedFile file = EncodeImage(image, run.outputFif, run.saveFlags);
    if (!file) return file;
    BYTE* data = file.data;
    const size_t size = file.size;
    // The encoder's own headers say where its pixel data starts (after its
    // full 256-entry colour table) and how the pixels are compressed.
    if (size < kBmpHeadersBytes || data[0] != 'B' || data[1] != 'M') return EncodedFile();
    const uint32_t pixelOffset = GetLe32(data + 10);
    if (pixelOffset < kBmpHeadersBytes || pixelOffset > size) return EncodedFile();
    const uint32_t compression = GetLe32(data + 30);
    const uint32_t pixelBytes = static_cast<uint32_t>(size - pixelOffset);

    // Highest palette index used by any pixel; row padding is not looked at.
    const unsigned width = Fi().GetWidth(image);
    const unsigned height = Fi().GetHeight(image);
    unsigned highest = 0;
    for (unsigned y = 0; y < height && highest < 255; ++y) {
        const BYTE* row = Fi().GetScanLine(image, static_cast<int>(y));
        for (unsigned x = 0; x < width; ++x)
            if (row[x] > highest) highest = row[x];
    }
    const uint32_t n = highest + 1;

    const BITMAPINFOHEADER* info = Fi().GetInfoHeader(image);
    const RGBQUAD* palette = Fi().GetPalette(image);
    const uint32_t dataOffset = kBmpHeadersBytes + 4 * n;
    if (dataOffset > pixelOffset) return EncodedFile();
    std::vector<BYTE> head(dataOffset, 0);
    head[0] = 'B';
    head[1] = 'M';
    PutLe32(&head[2], dataOffset + pixelBytes);
    PutLe32(&head[10], dataOffset);
    PutLe32(&head[14], 40);
    PutLe32(&head[18], static_cast<uint32_t>(info->biWidth));
    PutLe32(&head[22], static_cast<uint32_t>(info->biHeight));
    PutLe16(&head[26], 1);
    PutLe16(&head[28], 8);
    PutLe32(&head[30], compression);
    PutLe32(&head[34], pixelBytes);
    PutLe32(&head[38], static_cast<uint32_t>(info->biXPelsPerMeter));
    PutLe32(&head[42], static_cast<uint32_t>(info->biYPelsPerMeter));
    PutLe32(&head[46], n);
    PutLe32(&head[50], n);
    for (uint32_t i = 0; i < n; ++i) {
        head[kBmpHeadersBytes + 4 * i] = palette[i].rgbBlue;
        head[kBmpHeadersBytes + 4 * i + 1] = palette[i].rgbGreen;
        head[kBmpHeadersBytes + 4 * i + 2] = palette[i].rgbRed;
        head[kBmpHeadersBytes + 4 * i + 3] = 0;
    }
    // The shorter colour table moves the pixel data forward inside the
    // encoder's own buffer; no second copy of the picture is made.
    std::memmove(data + dataOffset, data + pixelOffset, pixelBytes);
    std::memcpy(data, head.data(), head.size());
    file.size = static_cast<size_t>(dataOffset) + pixelBytes;
    return file;
}

int SaveBmpExactPalette(FIBITMAP* image, const std::string& path, const RunState& run) {
    const EncodedFile file = EncodeBmpExactPalette(image, run);
    if (!file) return 0;
    return platform::SafeSaveBytes(path, file.data, file.size).ok ? 1 : 0;
}

}  // namespace tarnwick
