// Colour correction, greyscale and threshold on real bitmaps.
#include <gtest/gtest.h>

#include "engine/steps.h"
#include "support/test_support.h"

using namespace tarnwick;

namespace {

// A 24-bit picture with a known colour in each of its four pixels.
Bitmap FourColours() {
    LoadImageLibrary();
    Bitmap dib(FreeImage_Allocate(2, 2, 24));
    const RGBQUAD colours[4] = {{0, 0, 255, 0}, {10, 200, 30, 0}, {255, 255, 255, 0}, {0, 0, 0, 0}};
    for (int i = 0; i < 4; ++i)
        FreeImage_SetPixelColor(dib.get(), i % 2, i / 2, const_cast<RGBQUAD*>(&colours[i]));
    return dib;
}

Bitmap Load(const std::string& name) {
    LoadImageLibrary();
    return Bitmap(FreeImage_Load(FIF_PNG, test::Suite(name).c_str(), 0));
}

}  // namespace

TEST(CorrectColors, InvertAloneGivesTheNegative) {
    Settings s;
    s.doImageColorCorrection = 1;
    s.imageInvert = 1;
    Bitmap in = FourColours();
    Bitmap original(FreeImage_Clone(in.get()));
    Bitmap out = CorrectColors(std::move(in), s);
    ASSERT_TRUE(out);
    for (int i = 0; i < 4; ++i) {
        RGBQUAD a{}, b{};
        FreeImage_GetPixelColor(original.get(), i % 2, i / 2, &a);
        FreeImage_GetPixelColor(out.get(), i % 2, i / 2, &b);
        EXPECT_EQ(b.rgbRed, 255 - a.rgbRed);
        EXPECT_EQ(b.rgbGreen, 255 - a.rgbGreen);
        EXPECT_EQ(b.rgbBlue, 255 - a.rgbBlue);
    }
}

TEST(CorrectColors, NeutralValuesLeaveTheColoursAndLowDepthsBecome24Bit) {
    Settings s;
    s.doImageColorCorrection = 1;
    Bitmap in = FourColours();
    Bitmap original(FreeImage_Clone(in.get()));
    Bitmap out = CorrectColors(std::move(in), s);
    for (int y = 0; y < 2; ++y)
        EXPECT_EQ(0, memcmp(FreeImage_GetScanLine(out.get(), y),
                            FreeImage_GetScanLine(original.get(), y), 6));

    s.imageBrightness = 50;
    for (const char* name : {"basn0g01.png", "basn3p04.png", "basn0g16.png"}) {
        Bitmap low = CorrectColors(Load(name), s);
        ASSERT_TRUE(low) << name;
        EXPECT_EQ(FreeImage_GetBPP(low.get()), 24u) << name;
    }
}

TEST(Greyscale, GivesEightBitsAndFeedsTheThreshold) {
    Settings s;
    s.doImageGreyscale = 1;
    s.doImageThreshold = 1;
    s.imageThreshold = 128;
    Bitmap grey = MakeGreyscale(FourColours(), s);
    ASSERT_TRUE(grey);
    EXPECT_EQ(FreeImage_GetBPP(grey.get()), 8u);
    Bitmap bw = ApplyThreshold(std::move(grey), s);
    ASSERT_TRUE(bw);
    EXPECT_EQ(FreeImage_GetBPP(bw.get()), 1u);
    BYTE white = 0, black = 1;
    FreeImage_GetPixelIndex(bw.get(), 0, 1, &white);  // (255, 255, 255)
    FreeImage_GetPixelIndex(bw.get(), 1, 1, &black);  // (0, 0, 0)
    EXPECT_EQ(white, 1);
    EXPECT_EQ(black, 0);

    // 48 and 64-bit pictures are brought to 24 bits first.
    EXPECT_EQ(FreeImage_GetBPP(MakeGreyscale(Load("basn2c16.png"), s).get()), 8u);
    EXPECT_EQ(FreeImage_GetBPP(ApplyThreshold(Load("basn4a16.png"), s).get()), 1u);
}

TEST(Threshold, LevelZeroMakesEverythingWhite) {
    Settings s;
    s.doImageThreshold = 1;
    s.imageThreshold = 0;
    Bitmap bw = ApplyThreshold(FourColours(), s);
    ASSERT_TRUE(bw);
    ASSERT_EQ(FreeImage_GetBPP(bw.get()), 1u);
    RGBQUAD* palette = FreeImage_GetPalette(bw.get());
    for (int i = 0; i < 4; ++i) {
        BYTE index = 0;
        FreeImage_GetPixelIndex(bw.get(), i % 2, i / 2, &index);
        EXPECT_EQ(palette[index].rgbRed, 255);
    }
}

TEST(Tonal, OffOrNoImage) {
    Settings s;
    Bitmap in = FourColours();
    FIBITMAP* raw = in.get();
    in = ApplyThreshold(MakeGreyscale(CorrectColors(std::move(in), s), s), s);
    EXPECT_EQ(in.get(), raw);
    s.doImageColorCorrection = s.doImageGreyscale = s.doImageThreshold = 1;
    EXPECT_FALSE(CorrectColors(nullptr, s));
    EXPECT_FALSE(MakeGreyscale(nullptr, s));
    EXPECT_FALSE(ApplyThreshold(nullptr, s));
}
