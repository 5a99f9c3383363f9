// Rotation, resizing, flipping and colour values on real bitmaps.
#include <gtest/gtest.h>

#include "engine/steps.h"
#include "platform/memory.h"
#include "support/test_support.h"

using namespace tarnwick;

namespace {

Bitmap Filled(int w, int h, BYTE r, BYTE g, BYTE b, int bpp = 24) {
    LoadImageLibrary();
    Bitmap dib(FreeImage_Allocate(w, h, bpp));
    RGBQUAD c{b, g, r, 255};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) FreeImage_SetPixelColor(dib.get(), x, y, &c);
    return dib;
}

// Colour at (x, y) counted from the top-left corner.
RGBQUAD At(FIBITMAP* dib, int x, int y) {
    RGBQUAD c{};
    FreeImage_GetPixelColor(dib, x, FreeImage_GetHeight(dib) - 1 - y, &c);
    return c;
}

Settings Rotation(int angle, int type, const std::string& back = "00FF00") {
    Settings s;
    s.doImageRotation = 1;
    s.imageRotation = angle;
    s.imageRotationType = static_cast<int8_t>(type);
    s.imageRotationBackColor = back;
    return s;
}

Settings Resize(int w, int h, int unit, bool keep, int type = 0) {
    Settings s;
    s.doImageResize = 1;
    s.imageWidth = w;
    s.imageHeight = h;
    s.imageWidthUnit = s.imageHeightUnit = static_cast<int8_t>(unit);
    s.keepAspectRatio = keep ? 1 : 0;
    s.imageResizeType = static_cast<int8_t>(type);
    return s;
}

std::pair<unsigned, unsigned> SizeOf(const Bitmap& b) {
    return {FreeImage_GetWidth(b.get()), FreeImage_GetHeight(b.get())};
}

}  // namespace

TEST(Rotate, SimpleQuarterTurnSwapsSidesWithoutBackground) {
    Bitmap out = RotateImage(Filled(200, 100, 255, 0, 0), Rotation(90, 0));
    ASSERT_TRUE(out);
    EXPECT_EQ(SizeOf(out), std::make_pair(100u, 200u));
    for (int y = 0; y < 200; y += 7)
        for (int x = 0; x < 100; x += 3)
            ASSERT_EQ(At(out.get(), x, y).rgbRed, 255) << x << "," << y;
    EXPECT_EQ(At(out.get(), 0, 0).rgbGreen, 0);
}

TEST(Rotate, SimpleDiagonalEnlargesWithBackgroundCorners) {
    Bitmap out = RotateImage(Filled(200, 100, 255, 0, 0), Rotation(45, 0, "0000FF"));
    ASSERT_TRUE(out);
    // The bounding box of a 200 x 100 rectangle turned by 45 degrees: 150*sqrt(2) = 212.1.
    EXPECT_GE(FreeImage_GetWidth(out.get()), 212u);
    EXPECT_LE(FreeImage_GetWidth(out.get()), 214u);
    RGBQUAD corner = At(out.get(), 0, 0);
    EXPECT_EQ(corner.rgbBlue, 255);
    EXPECT_EQ(corner.rgbRed, 0);
    RGBQUAD centre =
        At(out.get(), FreeImage_GetWidth(out.get()) / 2, FreeImage_GetHeight(out.get()) / 2);
    EXPECT_EQ(centre.rgbRed, 255);

    // A colour text of the wrong length gives black.
    Bitmap black = RotateImage(Filled(200, 100, 255, 0, 0), Rotation(45, 0, "0000F"));
    RGBQUAD c = At(black.get(), 0, 0);
    EXPECT_EQ(c.rgbRed + c.rgbGreen + c.rgbBlue, 0);
}

TEST(Rotate, UncoveredCornersAreOpaqueBackgroundOnTransparentPictures) {
    // 100 x 50, red at half opacity, turned by 45 degrees about its centre:
    // the result is about 107 x 107 and the picture's corners touch its edges
    // at (35, 0), (107, 71), (71, 107) and (0, 35). The four corner triangles
    // beyond them are background, opaque, not transparent (which would
    // later turn white).
    Bitmap in = Filled(100, 50, 255, 0, 0, 32);
    for (int y = 0; y < 50; ++y) {
        BYTE* row = FreeImage_GetScanLine(in.get(), y);
        for (int x = 0; x < 100; ++x) row[4 * x + FI_RGBA_ALPHA] = 128;
    }
    Bitmap out = RotateImage(std::move(in), Rotation(45, 0, "0000FF"));
    ASSERT_TRUE(out);
    ASSERT_EQ(FreeImage_GetBPP(out.get()), 32u);
    const int W = static_cast<int>(FreeImage_GetWidth(out.get()));
    const int H = static_cast<int>(FreeImage_GetHeight(out.get()));
    EXPECT_NEAR(W, 107, 2);
    EXPECT_NEAR(H, 107, 2);
    for (auto [x, y] :
         {std::pair{5, 5}, {W - 6, 5}, {5, H - 6}, {W - 6, H - 6}, {20, 2}, {2, 20}}) {
        const RGBQUAD c = At(out.get(), x, y);
        EXPECT_EQ(c.rgbBlue, 255) << x << "," << y;
        EXPECT_EQ(c.rgbRed, 0) << x << "," << y;
        EXPECT_EQ(c.rgbReserved, 255) << x << "," << y;
    }
    const RGBQUAD centre = At(out.get(), W / 2, H / 2);
    EXPECT_EQ(centre.rgbRed, 255);
    EXPECT_NEAR(centre.rgbReserved, 128, 1);

    // A palette with a transparent entry keeps its transparency through the
    // turn (32 bits), so it is still put onto white later.
    Bitmap palette(FreeImage_Load(FIF_PNG, test::Suite("ftbbn3p08.png").c_str(), 0));
    ASSERT_TRUE(palette);
    ASSERT_TRUE(FreeImage_IsTransparent(palette.get()));
    Bitmap turned = RotateImage(std::move(palette), Rotation(90, 0));
    ASSERT_TRUE(turned);
    EXPECT_EQ(FreeImage_GetBPP(turned.get()), 32u);
    EXPECT_TRUE(FreeImage_IsTransparent(turned.get()));
}

TEST(Rotate, AdvancedKeepsSize) {
    Bitmap out = RotateImage(Filled(200, 100, 255, 0, 0), Rotation(45, 1));
    ASSERT_TRUE(out);
    EXPECT_EQ(SizeOf(out), std::make_pair(200u, 100u));
}

TEST(Rotate, AnglesOutsideTheOpenRangeChangeNothing) {
    for (int angle : {0, 360, -90, 450}) {
        Bitmap in = Filled(20, 10, 1, 2, 3, 8);
        FIBITMAP* raw = in.get();
        Bitmap out = RotateImage(std::move(in), Rotation(angle, 0));
        EXPECT_EQ(out.get(), raw) << angle;
        EXPECT_EQ(FreeImage_GetBPP(out.get()), 8u);
    }
    Settings off = Rotation(90, 0);
    off.doImageRotation = 0;
    EXPECT_EQ(SizeOf(RotateImage(Filled(20, 10, 0, 0, 0), off)), std::make_pair(20u, 10u));
}

TEST(Rotate, DepthRules) {
    // 8-bit palettised becomes 24-bit even for a quarter turn; 32-bit keeps its depth.
    EXPECT_EQ(FreeImage_GetBPP(RotateImage(Filled(20, 10, 0, 0, 0, 8), Rotation(90, 0)).get()),
              24u);
    EXPECT_EQ(FreeImage_GetBPP(RotateImage(Filled(20, 10, 0, 0, 0, 32), Rotation(90, 0)).get()),
              32u);
    // A 16-bit greyscale PNG still rotates (the library has no direct 24-bit conversion for it).
    Bitmap grey(FreeImage_Load(FIF_PNG, test::Suite("basn0g16.png").c_str(), 0));
    ASSERT_TRUE(grey);
    ASSERT_EQ(FreeImage_GetImageType(grey.get()), FIT_UINT16);
    Bitmap out = RotateImage(std::move(grey), Rotation(90, 0));
    ASSERT_TRUE(out);
    EXPECT_EQ(FreeImage_GetBPP(out.get()), 24u);
    EXPECT_EQ(SizeOf(out), std::make_pair(32u, 32u));
}

TEST(Resize, TargetDimensionAndFilters) {
    EXPECT_EQ(TargetDimension(640, 0, 123), 640);
    EXPECT_EQ(TargetDimension(50, 1, 101), 50);  // 50.5 -> even neighbour
    EXPECT_EQ(TargetDimension(50, 1, 103), 52);  // 51.5 -> even neighbour
    EXPECT_EQ(TargetDimension(50, 1, 640), 320);
    EXPECT_EQ(TargetDimension(0, 1, 640), 0);
    EXPECT_EQ(TargetDimension(50, 2, 640), 0);

    EXPECT_EQ(ResizeFilterFor(0), FILTER_BOX);
    EXPECT_EQ(ResizeFilterFor(1), FILTER_BILINEAR);
    EXPECT_EQ(ResizeFilterFor(2), FILTER_BSPLINE);
    EXPECT_EQ(ResizeFilterFor(3), FILTER_BICUBIC);
    EXPECT_EQ(ResizeFilterFor(4), FILTER_CATMULLROM);
    EXPECT_EQ(ResizeFilterFor(5), FILTER_LANCZOS3);
    EXPECT_EQ(ResizeFilterFor(6), FILTER_BICUBIC);
    EXPECT_EQ(ResizeFilterFor(-1), FILTER_BICUBIC);
}

TEST(Resize, SizesFromTargets) {
    EXPECT_EQ(SizeOf(ResizeImage(Filled(640, 480, 0, 0, 0), 640, 480, Resize(50, 50, 1, false))),
              std::make_pair(320u, 240u));
    // Portrait with proportions kept: the height target decides.
    EXPECT_EQ(SizeOf(ResizeImage(Filled(300, 400, 0, 0, 0), 300, 400, Resize(100, 200, 0, true))),
              std::make_pair(150u, 200u));
    // Landscape: the width target decides, the height target is not used.
    EXPECT_EQ(SizeOf(ResizeImage(Filled(400, 300, 0, 0, 0), 400, 300, Resize(200, 50, 0, true))),
              std::make_pair(200u, 150u));
    // Without proportions both targets are taken as they are.
    EXPECT_EQ(SizeOf(ResizeImage(Filled(400, 300, 0, 0, 0), 400, 300, Resize(200, 50, 0, false))),
              std::make_pair(200u, 50u));
    // 0 % and negative targets leave the picture alone.
    EXPECT_EQ(SizeOf(ResizeImage(Filled(64, 48, 0, 0, 0), 64, 48, Resize(0, 0, 1, false))),
              std::make_pair(64u, 48u));
    EXPECT_EQ(SizeOf(ResizeImage(Filled(64, 48, 0, 0, 0), 64, 48, Resize(-5, 10, 0, false))),
              std::make_pair(64u, 48u));
}

TEST(Resize, ImpossibleTargetsFailWithTheirReason) {
    // Keeping the proportions of 1000 x 10 at width 10 rounds the height to nothing.
    std::string why;
    EXPECT_FALSE(ResizeImage(Filled(1000, 10, 0, 0, 0), 1000, 10, Resize(10, 10, 0, true), &why));
    EXPECT_EQ(why, "resize to 10 x 0 is impossible");

    // Percentages past the integer range keep their size instead of turning into 0
    // (which would leave the picture alone and report success).
    EXPECT_EQ(TargetDimension(2000000000, 1, 2000), 2147483647);
    why.clear();
    EXPECT_FALSE(
        ResizeImage(Filled(2000, 20, 0, 0, 0), 2000, 20, Resize(2000000000, 100, 1, false), &why));
    EXPECT_EQ(why.rfind("resize to 2147483647 x 20 is impossible", 0), 0u) << why;

    // 100000 x 100000 at 32 bits is 40 GB: more than this machine can give.
    const auto available = platform::AvailableMemoryBytes();
    if (available && *available > (41ull << 30))
        GTEST_SKIP() << "machine with more than 41 GiB free";
    why.clear();
    EXPECT_FALSE(
        ResizeImage(Filled(40, 30, 0, 0, 0, 32), 40, 30, Resize(100000, 100000, 0, false), &why));
    EXPECT_EQ(why.rfind("resize to 100000 x 100000 is impossible: not enough memory", 0), 0u)
        << why;
}

TEST(Resize, LargeImagesOnly) {
    Settings s = Resize(800, 600, 0, false, 1);
    EXPECT_EQ(SizeOf(ResizeImage(Filled(1024, 500, 0, 0, 0), 1024, 500, s)),
              std::make_pair(800u, 600u));
    EXPECT_EQ(SizeOf(ResizeImage(Filled(640, 480, 0, 0, 0), 640, 480, s)),
              std::make_pair(640u, 480u));
}

TEST(Flip, BothDirectionsTurnByHalf) {
    Bitmap dib = Filled(4, 3, 0, 0, 0);
    RGBQUAD red{0, 0, 255, 0};
    FreeImage_SetPixelColor(dib.get(), 0, 2, &red);  // top-left
    Settings s;
    s.doImageFlipHorizontal = 1;
    s.doImageFlipVertical = 1;
    FlipImage(dib.get(), s);
    EXPECT_EQ(At(dib.get(), 3, 2).rgbRed, 255);
    EXPECT_EQ(At(dib.get(), 0, 0).rgbRed, 0);
    s.doImageFlipVertical = 0;
    FlipImage(dib.get(), s);
    EXPECT_EQ(At(dib.get(), 0, 2).rgbRed, 255);
    FlipImage(nullptr, s);
}

TEST(Colors, HexToColorAlpha) {
    EXPECT_EQ(HexToColorAlpha("FF8000", 0), 0x0080FFu);
    EXPECT_EQ(HexToColorAlpha("0000FF", 255), 0xFFFF0000u);
    EXPECT_EQ(HexToColorAlpha("12345", 128), 0x80000000u);
    EXPECT_EQ(HexToColorAlpha("FFFFFF", 300), 0xFFFFFFFFu);
    EXPECT_EQ(HexToColorAlpha("FFFFFF", -4), 0x00FFFFFFu);
}

TEST(Steps, NoImageStaysNoImage) {
    Settings s = Rotation(90, 0);
    s.doImageResize = 1;
    s.imageWidth = s.imageHeight = 10;
    EXPECT_FALSE(RotateImage(nullptr, s));
    EXPECT_FALSE(ResizeImage(nullptr, 10, 10, s));
}
