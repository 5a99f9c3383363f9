// The solid-colour frame on real bitmaps: opacity, mitred corners, widths
// past the picture.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>

#include "engine/steps.h"

using namespace tarnwick;

namespace {

class Frame : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        LoadImageLibrary();
        ASSERT_TRUE(PrepareCanvas());
    }
};

Bitmap Filled(int w, int h, BYTE r, BYTE g, BYTE b, int bpp = 24) {
    Bitmap dib(FreeImage_Allocate(w, h, 24));
    RGBQUAD c{b, g, r, 0};
    FreeImage_FillBackground(dib.get(), &c);
    if (bpp != 24)
        dib.reset(bpp == 8 ? FreeImage_ConvertToGreyscale(dib.get())
                           : FreeImage_ConvertTo32Bits(dib.get()));
    return dib;
}

struct Rgb {
    int r, g, b;
};

Rgb At(FIBITMAP* dib, int x, int y) {
    RGBQUAD c{};
    FreeImage_GetPixelColor(dib, x, FreeImage_GetHeight(dib) - 1 - y, &c);
    return {c.rgbRed, c.rgbGreen, c.rgbBlue};
}

Settings SolidFrame(int l, int r, int t, int b) {
    Settings s;
    s.doFrame = 1;
    s.solidLeft = l;
    s.solidRight = r;
    s.solidTop = t;
    s.solidBottom = b;
    return s;
}

Bitmap Framed(Bitmap in, const Settings& s) {
    const int w = static_cast<int>(FreeImage_GetWidth(in.get()));
    const int h = static_cast<int>(FreeImage_GetHeight(in.get()));
    return DrawFrame(std::move(in), w, h, s);
}

}  // namespace

TEST_F(Frame, HalfOpaqueBlackOnWhiteIsMidGrey) {
    Settings s = SolidFrame(5, 5, 5, 5);
    s.solidOpacity = 128;
    Bitmap out = Framed(Filled(60, 40, 255, 255, 255), s);
    ASSERT_TRUE(out);
    EXPECT_EQ(FreeImage_GetBPP(out.get()), 24u);
    for (auto [x, y] : {std::pair{2, 20}, {57, 20}, {30, 2}, {30, 37}, {0, 0}, {59, 39}}) {
        const Rgb c = At(out.get(), x, y);
        EXPECT_NEAR(c.r, 127, 2) << x << "," << y;
        EXPECT_EQ(c.r, c.g);
        EXPECT_EQ(c.g, c.b);
    }
    EXPECT_EQ(At(out.get(), 5, 5).r, 255);
    EXPECT_EQ(At(out.get(), 54, 34).r, 255);
    EXPECT_EQ(At(out.get(), 30, 20).r, 255);
}

TEST_F(Frame, BandsAndMitredCorner) {
    // L = 10, T = 20, R = 10 on 100 x 80: top band y 0..19 narrowing to x 10..89,
    // the top-left corner split on the line from (0, 0) to (10, 20), i.e. x = y / 2.
    Settings s = SolidFrame(10, 10, 20, 0);
    s.solidTopColor = "FF0000";
    s.solidLeftColor = "0000FF";
    s.solidRightColor = "00FF00";
    Bitmap out = Framed(Filled(100, 80, 255, 255, 255), s);
    ASSERT_TRUE(out);

    EXPECT_EQ(At(out.get(), 50, 0).r, 255);
    EXPECT_EQ(At(out.get(), 50, 19).g, 0);    // still the top band
    EXPECT_EQ(At(out.get(), 50, 20).g, 255);  // the picture
    EXPECT_EQ(At(out.get(), 10, 19).r, 255);
    EXPECT_EQ(At(out.get(), 10, 19).b, 0);
    EXPECT_EQ(At(out.get(), 89, 19).r, 255);
    EXPECT_EQ(At(out.get(), 89, 19).g, 0);
    EXPECT_EQ(At(out.get(), 5, 79).b, 255);  // no bottom: the left side runs to the edge
    EXPECT_EQ(At(out.get(), 95, 79).g, 255);
    EXPECT_EQ(At(out.get(), 10, 40).r, 255);  // just inside: the picture
    EXPECT_EQ(At(out.get(), 10, 40).b, 255);

    // Well off the diagonal each pixel has one side's colour.
    EXPECT_EQ(At(out.get(), 1, 18).b, 255);
    EXPECT_EQ(At(out.get(), 1, 18).r, 0);
    EXPECT_EQ(At(out.get(), 8, 2).r, 255);
    EXPECT_EQ(At(out.get(), 8, 2).b, 0);
    // Every pixel of the corner is a mix of the two sides only.
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 10; ++x) {
            const Rgb c = At(out.get(), x, y);
            ASSERT_EQ(c.g, 0) << x << "," << y;
            ASSERT_NEAR(c.r + c.b, 255, 2) << x << "," << y;
            if (2 * x + 2 < y) {
                ASSERT_GE(c.b, 250) << x << "," << y;
            }
            if (2 * x > y + 2) {
                ASSERT_GE(c.r, 250) << x << "," << y;
            }
        }
}

TEST_F(Frame, FourColoursMeetOnlyInPairs) {
    Settings s = SolidFrame(10, 10, 10, 10);
    s.solidTopColor = "FF0000";     // red
    s.solidRightColor = "00FF00";   // green
    s.solidBottomColor = "0000FF";  // blue
    s.solidLeftColor = "FFFF00";    // yellow
    Bitmap out = Framed(Filled(60, 50, 255, 255, 255), s);
    ASSERT_TRUE(out);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            const Rgb tl = At(out.get(), x, y);  // red / yellow
            EXPECT_GE(tl.r, 253);
            EXPECT_LE(tl.b, 2);
            const Rgb tr = At(out.get(), 50 + x, y);  // red / green
            EXPECT_LE(tr.b, 2);
            EXPECT_NEAR(tr.r + tr.g, 255, 3);
            const Rgb br = At(out.get(), 50 + x, 40 + y);  // green / blue
            EXPECT_LE(br.r, 2);
            EXPECT_NEAR(br.g + br.b, 255, 3);
            const Rgb bl = At(out.get(), x, 40 + y);  // blue / yellow
            EXPECT_NEAR(bl.r, bl.g, 2);
            EXPECT_NEAR(bl.r + bl.b, 255, 3);
        }
    // Both colours of each corner show.
    EXPECT_EQ(At(out.get(), 8, 1).g, 0);      // red
    EXPECT_EQ(At(out.get(), 1, 8).g, 255);    // yellow
    EXPECT_EQ(At(out.get(), 58, 8).g, 255);   // green
    EXPECT_EQ(At(out.get(), 51, 1).r, 255);   // red
    EXPECT_EQ(At(out.get(), 58, 41).g, 255);  // green
    EXPECT_EQ(At(out.get(), 51, 48).b, 255);  // blue
    EXPECT_EQ(At(out.get(), 1, 41).r, 255);   // yellow
    EXPECT_EQ(At(out.get(), 8, 48).b, 255);   // blue
    EXPECT_EQ(At(out.get(), 30, 25).r, 255);  // the picture inside
    EXPECT_EQ(At(out.get(), 30, 25).b, 255);
}

TEST_F(Frame, DepthRules) {
    // A greyscale picture gets a coloured frame; every non-zero type gives 24 bits.
    Settings s = SolidFrame(3, 3, 3, 3);
    s.solidTopColor = "FF0000";
    Bitmap out = Framed(Filled(20, 20, 128, 128, 128, 8), s);
    ASSERT_EQ(FreeImage_GetBPP(out.get()), 24u);
    EXPECT_EQ(At(out.get(), 10, 0).r, 255);
    EXPECT_EQ(At(out.get(), 10, 0).g, 0);

    Bitmap none = Framed(Filled(20, 20, 7, 8, 9, 32), SolidFrame(0, 0, 0, 0));
    ASSERT_EQ(FreeImage_GetBPP(none.get()), 24u);
    EXPECT_EQ(At(none.get(), 0, 0).r, 7);

    Settings other = SolidFrame(3, 3, 3, 3);
    other.doFrame = 2;
    Bitmap unframed = Framed(Filled(20, 20, 7, 8, 9, 8), other);
    ASSERT_EQ(FreeImage_GetBPP(unframed.get()), 24u);
    EXPECT_EQ(At(unframed.get(), 0, 0).r, At(unframed.get(), 10, 10).r);

    Settings off = SolidFrame(3, 3, 3, 3);
    off.doFrame = 0;
    EXPECT_EQ(FreeImage_GetBPP(Framed(Filled(20, 20, 1, 1, 1, 8), off).get()), 8u);
}

TEST_F(Frame, WidthsAndOpacityOutOfRange) {
    // Sides wider than the picture share it: the whole picture is covered.
    Settings wide = SolidFrame(80, 60, 10, 10);
    wide.solidLeftColor = wide.solidRightColor = wide.solidTopColor = wide.solidBottomColor =
        "000000";
    Bitmap out = Framed(Filled(100, 50, 255, 255, 255), wide);
    ASSERT_TRUE(out);
    for (int y = 0; y < 50; y += 3)
        for (int x = 0; x < 100; x += 3) ASSERT_LE(At(out.get(), x, y).r, 2) << x << "," << y;
    const FrameWidths f = EffectiveFrameWidths(100, 50, wide);
    EXPECT_EQ(f.left, 57);
    EXPECT_EQ(f.right, 43);

    Settings huge = SolidFrame(INT_MAX, INT_MAX, INT_MAX, -5);
    huge.solidOpacity = 1000;
    out = Framed(Filled(30, 20, 255, 255, 255), huge);
    ASSERT_TRUE(out);
    EXPECT_EQ(FreeImage_GetWidth(out.get()), 30u);
    EXPECT_EQ(At(out.get(), 15, 19).r, 0);

    // Negative widths count as none; a negative opacity draws nothing.
    Settings negative = SolidFrame(-10, 4, -1, 0);
    out = Framed(Filled(30, 20, 255, 255, 255), negative);
    EXPECT_EQ(At(out.get(), 0, 10).r, 255);
    EXPECT_EQ(At(out.get(), 29, 10).r, 0);
    negative.solidOpacity = -20;
    out = Framed(Filled(30, 20, 255, 255, 255), negative);
    EXPECT_EQ(At(out.get(), 29, 10).r, 255);

    // Tiny pictures.
    out = Framed(Filled(1, 1, 255, 255, 255), SolidFrame(5, 5, 5, 5));
    ASSERT_TRUE(out);
    EXPECT_EQ(At(out.get(), 0, 0).r, 0);
}
