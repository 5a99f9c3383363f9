#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "engine/encoding.h"
#include "engine/format_registry.h"
#include "support/test_support.h"

namespace tarnwick {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

uint32_t Le32(const std::string& b, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}
uint16_t Le16(const std::string& b, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) |
                                 static_cast<unsigned char>(b[at + 1]) << 8);
}

const FormatRegistry& Registry() {
    static FormatRegistry reg = [] {
        FormatRegistry r;
        BuildOutputRegistry(r);
        return r;
    }();
    return reg;
}

// A 24-bit image with a horizontal colour ramp.
Bitmap ColourRamp(int width, int height) {
    Bitmap dib(FreeImage_Allocate(width, height, 24));
    for (int y = 0; y < height; ++y) {
        BYTE* row = FreeImage_GetScanLine(dib.get(), y);
        for (int x = 0; x < width; ++x) {
            row[3 * x + FI_RGBA_RED] = static_cast<BYTE>(x * 255 / (width - 1));
            row[3 * x + FI_RGBA_GREEN] = static_cast<BYTE>(y * 255 / (height - 1));
            row[3 * x + FI_RGBA_BLUE] = 128;
        }
    }
    return dib;
}

TEST(EncodingTest, SaveFlagsPerFormat) {
    Settings s;
    s.jpgQuality = 95;
    s.jpgChroma = 0;
    s.jpgSaveAs = 3;
    EXPECT_EQ(SaveFlagsFor(s, "jpg"), 95 | 65536 | 8192);
    s.jpgQuality = 40;
    s.jpgChroma = 2;
    s.jpgSaveAs = 1;
    EXPECT_EQ(SaveFlagsFor(s, "jpg"), 40 | 16384 | 262144);
    s.bmpCompression = 1;
    EXPECT_EQ(SaveFlagsFor(s, "bmp"), 1);
    s.bmpCompression = 7;  // not a listed value: adds nothing
    EXPECT_EQ(SaveFlagsFor(s, "bmp"), 0);
    s.pngCompression = 3;
    s.pngInterlaced = 1;
    EXPECT_EQ(SaveFlagsFor(s, "png"), 9 | 512);
    s.pngCompression = 0;
    s.pngInterlaced = 0;
    EXPECT_EQ(SaveFlagsFor(s, "png"), 256);
    s.tiffCompression = 6;
    s.tiffColorModel = 1;
    EXPECT_EQ(SaveFlagsFor(s, "tiff"), 16384 | 1);
    s.tiffColorModel = 2;
    EXPECT_EQ(SaveFlagsFor(s, "tiff"), 16384);
    s.exrCompression = 0;
    EXPECT_EQ(SaveFlagsFor(s, "exr"), 2);
    s.tgaCompression = 1;
    EXPECT_EQ(SaveFlagsFor(s, "tga"), 2);
    EXPECT_EQ(SaveFlagsFor(s, "jxr"), 100);
    EXPECT_EQ(SaveFlagsFor(s, "webp"), 256);
    EXPECT_EQ(SaveFlagsFor(s, "gif"), 0);
    EXPECT_EQ(SaveFlagsFor(s, "unknown"), 0);
}

TEST(EncodingTest, AutoDepthAndPreparation) {
    const FormatRegistry& reg = Registry();
    EXPECT_EQ(AutoBppFor(reg, "bmp", 1), 1);
    EXPECT_EQ(AutoBppFor(reg, "bmp", 2), 4);
    EXPECT_EQ(AutoBppFor(reg, "bmp", 8), 8);
    EXPECT_EQ(AutoBppFor(reg, "bmp", 24), 24);
    EXPECT_EQ(AutoBppFor(reg, "bmp", 32), 32);
    EXPECT_EQ(AutoBppFor(reg, "bmp", 48), 32);
    EXPECT_EQ(AutoBppFor(reg, "bmp", 64), 32);
    EXPECT_EQ(AutoBppFor(reg, "jpg", 32), 24);

    Settings s;
    RunState run;
    s.bmpBpp = 0;
    s.bmpCompression = 1;
    PrepareOutputEncoding(reg, s, run, "bmp");
    EXPECT_EQ(run.outputFif, FIF_BMP);
    EXPECT_EQ(run.outputBpp, 0);
    EXPECT_EQ(run.autoBpp, 1);
    EXPECT_EQ(run.saveFlags, BMP_SAVE_RLE);
    s.bmpBpp = 16;
    PrepareOutputEncoding(reg, s, run, "bmp");
    EXPECT_EQ(run.outputBpp, 16);
    EXPECT_EQ(run.autoBpp, 0);
}

TEST(EncodingTest, ConvertDepthFollowsTheTable) {
    const FormatRegistry& reg = Registry();
    RunState run;
    run.conversion = "bmp";
    auto convert = [&](const std::string& ext, int bpp) {
        run.conversion = ext;
        run.outputBpp = bpp;
        run.autoBpp = 0;
        return ConvertDepth(ColourRamp(40, 30), reg, run);
    };

    Bitmap b565 = convert("bmp", 16);
    ASSERT_TRUE(b565);
    EXPECT_EQ(FreeImage_GetBPP(b565.get()), 16u);
    EXPECT_EQ(FreeImage_GetGreenMask(b565.get()), static_cast<unsigned>(FI16_565_GREEN_MASK));
    Bitmap b555 = convert("tga", 16);
    EXPECT_EQ(FreeImage_GetGreenMask(b555.get()), static_cast<unsigned>(FI16_555_GREEN_MASK));
    Bitmap i555 = convert("ico", 16);
    EXPECT_EQ(FreeImage_GetGreenMask(i555.get()), static_cast<unsigned>(FI16_555_GREEN_MASK));

    Bitmap quantized = convert("bmp", 8);
    ASSERT_TRUE(quantized);
    EXPECT_EQ(FreeImage_GetBPP(quantized.get()), 8u);
    EXPECT_EQ(FreeImage_GetColorType(quantized.get()), FIC_PALETTE);  // colour, not grey
    Bitmap grey = convert("jpg", 8);
    EXPECT_EQ(FreeImage_GetColorType(grey.get()), FIC_MINISBLACK);

    EXPECT_EQ(FreeImage_GetBPP(convert("bmp", 32).get()), 32u);
    EXPECT_EQ(FreeImage_GetBPP(convert("bmp", 4).get()), 4u);
    EXPECT_EQ(FreeImage_GetImageType(convert("exr", 96).get()), FIT_RGBF);
    EXPECT_EQ(FreeImage_GetImageType(convert("png", 48).get()), FIT_RGB16);
    EXPECT_FALSE(convert("bmp", 7));  // no such depth: no image

    // Same depth: the very same bitmap comes back.
    Bitmap ramp = ColourRamp(8, 8);
    FIBITMAP* raw = ramp.get();
    run.conversion = "bmp";
    run.outputBpp = 24;
    EXPECT_EQ(ConvertDepth(std::move(ramp), reg, run).get(), raw);

    // Auto resolves from the depth of the file as decoded, not of the image.
    run.autoBpp = 1;
    run.sourceBpp = 32;
    ResolveOutputBpp(reg, run);
    Bitmap autoDepth = ConvertDepth(ColourRamp(8, 8), reg, run);
    EXPECT_EQ(run.outputBpp, 32);
    EXPECT_EQ(FreeImage_GetBPP(autoDepth.get()), 32u);
}

TEST(EncodingTest, OneBitIsDitheredNotThresholded) {
    const FormatRegistry& reg = Registry();
    Bitmap grey(FreeImage_Allocate(32, 32, 24));
    for (int y = 0; y < 32; ++y) std::memset(FreeImage_GetScanLine(grey.get(), y), 128, 32 * 3);
    RunState run;
    run.conversion = "bmp";
    run.outputBpp = 1;
    Bitmap mono = ConvertDepth(std::move(grey), reg, run);
    ASSERT_TRUE(mono);
    ASSERT_EQ(FreeImage_GetBPP(mono.get()), 1u);
    int set = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            BYTE index = 0;
            FreeImage_GetPixelIndex(mono.get(), x, y, &index);
            set += index ? 1 : 0;
        }
    // Mid grey diffuses into a mix of black and white.
    EXPECT_GT(set, 32 * 32 / 4);
    EXPECT_LT(set, 32 * 32 * 3 / 4);
}

// An 8-bit image 7 pixels wide (rows padded to 8 bytes) using indices 0..5,
// with the padding bytes set to a high index that must not count.
Bitmap SixColourImage() {
    Bitmap dib(FreeImage_Allocate(7, 3, 8));
    RGBQUAD* pal = FreeImage_GetPalette(dib.get());
    for (int i = 0; i < 256; ++i) {
        pal[i].rgbRed = static_cast<BYTE>(i);
        pal[i].rgbGreen = static_cast<BYTE>(255 - i);
        pal[i].rgbBlue = static_cast<BYTE>(i * 7);
        pal[i].rgbReserved = 0x5A;
    }
    for (int y = 0; y < 3; ++y) {
        BYTE* row = FreeImage_GetScanLine(dib.get(), y);
        for (int x = 0; x < 7; ++x) row[x] = static_cast<BYTE>((x + y) % 6);
        row[7] = 250;
    }
    FreeImage_SetDotsPerMeterX(dib.get(), 2835);
    FreeImage_SetDotsPerMeterY(dib.get(), 3780);
    return dib;
}

std::vector<std::vector<int>> DecodePlain8(const std::string& b, size_t at, int w, int h) {
    std::vector<std::vector<int>> rows(h, std::vector<int>(w, -1));
    const int pitch = (w + 3) / 4 * 4;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            rows[y][x] = static_cast<unsigned char>(b.at(at + static_cast<size_t>(y * pitch + x)));
    return rows;
}

// RLE8 as laid down for BMP: runs, end of line, end of bitmap, delta and
// absolute blocks padded to an even length. Rows are bottom-up.
std::vector<std::vector<int>> DecodeRle8(const std::string& b, size_t at, int w, int h) {
    std::vector<std::vector<int>> rows(h, std::vector<int>(w, -1));
    int x = 0, y = 0;
    auto next = [&] { return static_cast<int>(static_cast<unsigned char>(b.at(at++))); };
    auto put = [&](int v) {
        if (y < h && x < w) rows[y][x] = v;
        ++x;
    };
    for (;;) {
        int count = next(), value = next();
        if (count > 0) {
            for (int i = 0; i < count; ++i) put(value);
        } else if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            x += next();
            y += next();
        } else {
            for (int i = 0; i < value; ++i) put(next());
            if (value & 1) next();
        }
    }
    EXPECT_EQ(at, b.size()) << "end of bitmap is the last thing in the file";
    return rows;
}

void CheckExactPaletteFile(const std::string& path, FIBITMAP* source, uint32_t compression) {
    const std::string b = ReadFile(path);
    ASSERT_GE(b.size(), 54u);
    const uint32_t n = 6;
    EXPECT_EQ(b.substr(0, 2), "BM");
    EXPECT_EQ(Le32(b, 2), b.size());
    EXPECT_EQ(Le16(b, 6), 0);
    EXPECT_EQ(Le16(b, 8), 0);
    EXPECT_EQ(Le32(b, 10), 54 + 4 * n);
    EXPECT_EQ(Le32(b, 14), 40u);
    EXPECT_EQ(Le32(b, 18), 7u);
    EXPECT_EQ(Le32(b, 22), 3u);
    EXPECT_EQ(Le16(b, 26), 1);
    EXPECT_EQ(Le16(b, 28), 8);
    EXPECT_EQ(Le32(b, 30), compression);
    EXPECT_EQ(Le32(b, 34), b.size() - 54 - 4 * n);
    EXPECT_EQ(Le32(b, 38), 2835u);
    EXPECT_EQ(Le32(b, 42), 3780u);
    EXPECT_EQ(Le32(b, 46), n);
    EXPECT_EQ(Le32(b, 50), n);
    for (uint32_t i = 0; i < n; ++i) {
        EXPECT_EQ(static_cast<unsigned char>(b[54 + 4 * i]), (i * 7) & 0xFF);
        EXPECT_EQ(static_cast<unsigned char>(b[55 + 4 * i]), 255 - i);
        EXPECT_EQ(static_cast<unsigned char>(b[56 + 4 * i]), i);
        EXPECT_EQ(b[57 + 4 * i], 0);
    }
    if (compression == 0) {
        // Rows bottom-up, padded to four bytes.
        ASSERT_EQ(b.size(), 54 + 4 * n + 3 * 8);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 7; ++x)
                EXPECT_EQ(static_cast<unsigned char>(b[54 + 4 * n + 8 * y + x]), (x + y) % 6);
    }
    // The pixel data decodes to the source's indices.
    const std::vector<std::vector<int>> rows =
        compression == 1 ? DecodeRle8(b, 54 + 4 * n, 7, 3) : DecodePlain8(b, 54 + 4 * n, 7, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x) {
            BYTE index = 0;
            FreeImage_GetPixelIndex(source, x, y, &index);
            EXPECT_EQ(rows[y][x], index) << "at " << x << "," << y;
        }
}

TEST(EncodingTest, ExactPaletteBmpLayout) {
    TempDir dir;
    Bitmap image = SixColourImage();
    RunState run;
    run.outputFif = FIF_BMP;
    run.saveFlags = 0;
    ASSERT_EQ(SaveBmpExactPalette(image.get(), dir / "plain.bmp", run), 1);
    CheckExactPaletteFile(dir / "plain.bmp", image.get(), 0);

    run.saveFlags = BMP_SAVE_RLE;
    ASSERT_EQ(SaveBmpExactPalette(image.get(), dir / "rle.bmp", run), 1);
    CheckExactPaletteFile(dir / "rle.bmp", image.get(), 1);
}

TEST(EncodingTest, ExactPaletteWriterNeverLeavesBrokenFiles) {
    TempDir dir;
    Bitmap image = SixColourImage();
    RunState run;
    run.outputFif = FIF_BMP;
    EXPECT_EQ(SaveBmpExactPalette(image.get(), dir / "missing/x.bmp", run), 0);
    // Not an 8-bit image: refused, the existing file stays as it was.
    WriteFile(dir / "keep.bmp", "old");
    Bitmap rgb = ColourRamp(4, 4);
    EXPECT_EQ(SaveBmpExactPalette(rgb.get(), dir / "keep.bmp", run), 0);
    EXPECT_EQ(ReadFile(dir / "keep.bmp"), "old");
    // A good save replaces it and leaves nothing else behind.
    EXPECT_EQ(SaveBmpExactPalette(image.get(), dir / "keep.bmp", run), 1);
    EXPECT_EQ(ReadFile(dir / "keep.bmp").substr(0, 2), "BM");
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

}  // namespace
}  // namespace tarnwick
