// Text and image watermarks on real bitmaps: fonts, placement, clipping,
// rotation, opacity and transparency.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdlib>
#include <cstring>

#include "engine/format_registry.h"
#include "engine/steps.h"
#include "support/test_support.h"

using namespace tarnwick;

namespace {

class Watermark : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        LoadImageLibrary();
        ASSERT_TRUE(PrepareCanvas());
    }
    void TearDown() override { ReleaseWatermarkFont(); }
    test::TempDir dir;
};

Bitmap Filled(int w, int h, BYTE r, BYTE g, BYTE b) {
    Bitmap dib(FreeImage_Allocate(w, h, 24));
    RGBQUAD c{b, g, r, 0};
    FreeImage_FillBackground(dib.get(), &c);
    return dib;
}

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

Rgb At(FIBITMAP* dib, int x, int y) {
    RGBQUAD c{};
    FreeImage_GetPixelColor(dib, x, FreeImage_GetHeight(dib) - 1 - y, &c);
    return {c.rgbRed, c.rgbGreen, c.rgbBlue};
}

// Box around the pixels that differ from `background`; empty (w = 0) when none do.
struct Box {
    int x = 0, y = 0, w = 0, h = 0;
};
Box Changed(FIBITMAP* dib, Rgb background) {
    const int W = FreeImage_GetWidth(dib), H = FreeImage_GetHeight(dib);
    int x0 = W, y0 = H, x1 = -1, y1 = -1;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            if (!(At(dib, x, y) == background)) {
                x0 = std::min(x0, x), y0 = std::min(y0, y);
                x1 = std::max(x1, x), y1 = std::max(y1, y);
            }
    if (x1 < 0) return {};
    return {x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

// Writes a 32-bit PNG of w x h: colour (r, g, b) with alpha `leftAlpha` on the
// left half and `rightAlpha` on the right half.
std::string WritePng(const std::string& path, int w, int h, BYTE r, BYTE g, BYTE b, BYTE leftAlpha,
                     BYTE rightAlpha, int bpp = 32) {
    Bitmap dib(FreeImage_Allocate(w, h, 32));
    for (int y = 0; y < h; ++y) {
        BYTE* row = FreeImage_GetScanLine(dib.get(), y);
        for (int x = 0; x < w; ++x) {
            row[4 * x + FI_RGBA_RED] = r;
            row[4 * x + FI_RGBA_GREEN] = g;
            row[4 * x + FI_RGBA_BLUE] = b;
            row[4 * x + FI_RGBA_ALPHA] = x < w / 2 ? leftAlpha : rightAlpha;
        }
    }
    if (bpp == 24) dib.reset(FreeImage_ConvertTo24Bits(dib.get()));
    EXPECT_TRUE(FreeImage_Save(FIF_PNG, dib.get(), path.c_str(), 0));
    return path;
}

Settings ImageMark(const std::string& path, int position = 0, int dx = 0, int dy = 0) {
    Settings s;
    s.doWatermark = 2;
    s.watermarkImage = path;
    s.watermarkImagePosition = static_cast<int8_t>(position);
    s.watermarkImageXOffset = dx;
    s.watermarkImageYOffset = dy;
    return s;
}

Settings TextMark(const std::string& text) {
    Settings s;
    s.doWatermark = 1;
    s.watermarkText = text;
    s.font = "DejaVu Sans";
    s.fontSize = 12;
    s.fontColor = "FFFFFF";
    s.backColor = "FF0000";
    s.backOpacity = 255;
    return s;
}

Bitmap Marked(Bitmap in, const Settings& s, const RunState& run = RunState()) {
    const int w = static_cast<int>(FreeImage_GetWidth(in.get()));
    const int h = static_cast<int>(FreeImage_GetHeight(in.get()));
    return DrawWatermark(std::move(in), w, h, s, run);
}

}  // namespace

TEST_F(Watermark, FontsLoadByFaceOrStandInAndMadeUpFacesFail) {
    Settings s;
    for (const char* face : {"Arial", "arial", "Times New Roman", "Courier New", "TAHOMA",
                             "Verdana", "DejaVu Sans", "Liberation Serif"}) {
        s.font = face;
        EXPECT_TRUE(LoadWatermarkFont(s)) << face;
    }
    s.fontStyle = 3;
    s.fontEffect = 2;
    s.fontSize = -4;
    s.font = "Arial";
    EXPECT_TRUE(LoadWatermarkFont(s));
    for (const char* face : {"Qwzx Imaginary Grotesk", "", "Arial Nonexistent"}) {
        s.font = face;
        EXPECT_FALSE(LoadWatermarkFont(s)) << face;
    }
    // Without a font the picture passes unmarked (but 24-bit).
    Bitmap out = Marked(Filled(50, 50, 0, 0, 255), TextMark("x"));
    EXPECT_EQ(Changed(out.get(), {0, 0, 255}).w, 0);
}

TEST_F(Watermark, PositionTableAndFrameBoundary) {
    Settings s;
    s.doWatermark = 1;
    s.textXOffset = 10;
    s.textYOffset = 5;
    const int expected[9][2] = {{10, 5},  {40, 5},  {70, 5},  {10, 40}, {40, 40},
                                {70, 40}, {10, 75}, {40, 75}, {70, 75}};
    for (int p = 0; p < 9; ++p) {
        s.textPosition = static_cast<int8_t>(p);
        const LayerPosition at = WatermarkPosition(100, 100, 20, 20, s);
        EXPECT_EQ(at.x, expected[p][0]) << p;
        EXPECT_EQ(at.y, expected[p][1]) << p;
    }
    s.textPosition = 9;
    EXPECT_EQ(WatermarkPosition(100, 100, 20, 20, s).x, 0);
    // Centred halves truncate toward zero: (100 - 21) / 2 = 39, (10 - 21) / 2 = -5.
    s.textPosition = 4;
    EXPECT_EQ(WatermarkPosition(100, 10, 21, 21, s).x, 39);
    EXPECT_EQ(WatermarkPosition(100, 10, 21, 21, s).y, -5);

    // Frame boundary with a 20-pixel frame, position 0 and offsets 10: (30, 30).
    s.doFrame = 1;
    s.solidLeft = s.solidRight = s.solidTop = s.solidBottom = 20;
    s.textBoundary = 1;
    s.textPosition = 0;
    s.textXOffset = s.textYOffset = 10;
    EXPECT_EQ(WatermarkPosition(200, 100, 20, 20, s).x, 30);
    EXPECT_EQ(WatermarkPosition(200, 100, 20, 20, s).y, 30);
    s.textPosition = 8;
    EXPECT_EQ(WatermarkPosition(200, 100, 20, 20, s).x, 200 - 20 - 20 - 10);
    EXPECT_EQ(WatermarkPosition(200, 100, 20, 20, s).y, 100 - 20 - 20 - 10);

    // The same through the whole step, with an image layer.
    Settings img = ImageMark(WritePng(dir / "w.png", 8, 6, 0, 0, 0, 255, 255), 0, 10, 10);
    img.doFrame = 1;
    img.solidLeft = img.solidRight = img.solidTop = img.solidBottom = 20;
    img.watermarkImageBoundary = 1;
    Bitmap out = Marked(Filled(200, 100, 255, 255, 255), img);
    const Box box = Changed(out.get(), {255, 255, 255});
    EXPECT_EQ(box.x, 30);
    EXPECT_EQ(box.y, 30);
    EXPECT_EQ(box.w, 8);
    EXPECT_EQ(box.h, 6);
}

TEST_F(Watermark, WiderThanThePictureIsCutAndShowsItsLeftPart) {
    // 300 x 20: black left half, 24-bit.
    const std::string path = dir / "wide.png";
    {
        Bitmap dib(FreeImage_Allocate(300, 20, 24));
        for (int y = 0; y < 20; ++y) {
            BYTE* row = FreeImage_GetScanLine(dib.get(), y);
            for (int x = 0; x < 300; ++x)
                row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = x < 150 ? 0 : 100;
        }
        ASSERT_TRUE(FreeImage_Save(FIF_PNG, dib.get(), path.c_str(), 0));
    }
    Bitmap out = Marked(Filled(200, 50, 255, 255, 255), ImageMark(path, 0, 10, 10));
    const Box box = Changed(out.get(), {255, 255, 255});
    EXPECT_EQ(box.x, 10);
    EXPECT_EQ(box.w, 190);
    EXPECT_EQ(box.h, 20);
    EXPECT_EQ(At(out.get(), 159, 15).r, 0);
    EXPECT_EQ(At(out.get(), 160, 15).r, 100);
    EXPECT_EQ(At(out.get(), 199, 15).r, 100);

    Settings s = ImageMark(path, 0, 10, 10);
    Bitmap layer(FreeImage_Allocate(300, 20, 32));
    layer = ClipWatermark(std::move(layer), 200, 50, s);
    EXPECT_EQ(FreeImage_GetWidth(layer.get()), 190u);
    EXPECT_EQ(FreeImage_GetHeight(layer.get()), 20u);
    s.watermarkImageXOffset = 250;
    EXPECT_FALSE(ClipWatermark(Bitmap(FreeImage_Allocate(300, 20, 32)), 200, 50, s));
}

TEST_F(Watermark, RotationTurnsTheLayer) {
    const std::string path = WritePng(dir / "bar.png", 200, 40, 0, 0, 0, 255, 255);
    Settings s = ImageMark(path, 0, 0, 0);
    s.watermarkImageRotation = 90;
    Bitmap out = Marked(Filled(300, 300, 255, 255, 255), s);
    const Box box = Changed(out.get(), {255, 255, 255});
    EXPECT_EQ(box.x, 0);
    EXPECT_EQ(box.y, 0);
    EXPECT_EQ(box.w, 40);
    EXPECT_EQ(box.h, 200);

    // A text box turned by 90 degrees swaps its sides too.
    Settings t = TextMark("Tarnwick");
    t.textPosition = 0;
    t.textXOffset = t.textYOffset = 0;
    t.textPadding = 3;
    ASSERT_TRUE(LoadWatermarkFont(t));
    const Box flat = Changed(Marked(Filled(300, 300, 0, 0, 255), t).get(), {0, 0, 255});
    ASSERT_GT(flat.w, flat.h);
    t.textRotation = 90;
    const Box turned = Changed(Marked(Filled(300, 300, 0, 0, 255), t).get(), {0, 0, 255});
    EXPECT_EQ(turned.w, flat.h);
    EXPECT_EQ(turned.h, flat.w);
    // Angles outside 0..360 leave it flat.
    t.textRotation = 450;
    const Box same = Changed(Marked(Filled(300, 300, 0, 0, 255), t).get(), {0, 0, 255});
    EXPECT_EQ(same.w, flat.w);
}

TEST_F(Watermark, ImageOpacityTransparencyAndGreyscale) {
    // A 32-bit PNG keeps its transparency: clear left half, opaque right half.
    const std::string path = WritePng(dir / "alpha.png", 20, 10, 255, 0, 0, 0, 255);
    Bitmap out = Marked(Filled(40, 40, 255, 255, 255), ImageMark(path, 0, 0, 0));
    EXPECT_EQ(At(out.get(), 5, 5), (Rgb{255, 255, 255}));
    EXPECT_EQ(At(out.get(), 15, 5), (Rgb{255, 0, 0}));
    // ... further reduced by the opacity.
    Settings half = ImageMark(path, 0, 0, 0);
    half.watermarkImageOpacity = 128;
    out = Marked(Filled(40, 40, 255, 255, 255), half);
    EXPECT_EQ(At(out.get(), 5, 5), (Rgb{255, 255, 255}));
    EXPECT_NEAR(At(out.get(), 15, 5).g, 127, 2);
    EXPECT_GE(At(out.get(), 15, 5).r, 253);

    // A 24-bit picture at opacity 128 shows the picture through at half strength.
    const std::string opaque = WritePng(dir / "opaque.png", 20, 10, 0, 0, 0, 255, 255, 24);
    Settings o = ImageMark(opaque, 0, 0, 0);
    o.watermarkImageOpacity = 128;
    out = Marked(Filled(40, 40, 255, 255, 255), o);
    EXPECT_NEAR(At(out.get(), 5, 5).r, 127, 2);
    EXPECT_NEAR(At(out.get(), 15, 5).b, 127, 2);

    // Greyscale: g = (77 r + 150 g + 29 b) / 256 = 124 for (200, 100, 50).
    const std::string colour = WritePng(dir / "colour.png", 4, 4, 200, 100, 50, 255, 255);
    Settings grey = ImageMark(colour, 0, 0, 0);
    grey.watermarkImageGreyscale = 1;
    out = Marked(Filled(10, 10, 0, 0, 0), grey);
    EXPECT_EQ(At(out.get(), 1, 1), (Rgb{124, 124, 124}));

    // An unreadable image cannot be drawn: the step fails and says why.
    test::WriteFile(dir / "broken.png", "not a picture");
    std::string why;
    Bitmap pic = Filled(10, 10, 0, 0, 0);
    EXPECT_FALSE(
        DrawWatermark(std::move(pic), 10, 10, ImageMark(dir / "broken.png"), RunState(), &why));
    EXPECT_EQ(why, "the watermark image " + (dir / "broken.png") +
                       " cannot be drawn: the picture cannot be read: Unsupported image format");
}

TEST_F(Watermark, TextBoxPlacementAndPlainPixels) {
    // Default placement: bottom-right, 10 pixels from both edges.
    Settings s = TextMark("Hello");
    s.textPosition = 8;
    s.textPadding = 4;
    ASSERT_TRUE(LoadWatermarkFont(s));
    Bitmap out = Marked(Filled(200, 100, 0, 0, 255), s);
    const Box box = Changed(out.get(), {0, 0, 255});
    ASSERT_GT(box.w, 8);
    EXPECT_EQ(box.x + box.w, 190);
    EXPECT_EQ(box.y + box.h, 90);
    // Plain text writes exactly two colours: the box and the glyphs.
    int white = 0;
    for (int y = box.y; y < box.y + box.h; ++y)
        for (int x = box.x; x < box.x + box.w; ++x) {
            const Rgb c = At(out.get(), x, y);
            ASSERT_TRUE(c == (Rgb{255, 0, 0}) || c == (Rgb{255, 255, 255})) << x << "," << y;
            white += c.g == 255;
        }
    EXPECT_GT(white, 10);
    // The padding is box colour all round.
    for (int x = box.x; x < box.x + box.w; ++x)
        EXPECT_EQ(At(out.get(), x, box.y + 1), (Rgb{255, 0, 0}));

    // Antialiased text has intermediate shades.
    s.textAntialiasing = 1;
    out = Marked(Filled(200, 100, 0, 0, 255), s);
    int mixed = 0;
    for (int y = box.y; y < box.y + box.h; ++y)
        for (int x = box.x; x < box.x + box.w; ++x) {
            const Rgb c = At(out.get(), x, y);
            mixed += c.g > 0 && c.g < 255;
        }
    EXPECT_GT(mixed, 0);
}

TEST_F(Watermark, MultiLineTextIsTallerThanOneLine) {
    Settings s = TextMark("Wide first line");
    s.textPosition = 0;
    s.textXOffset = s.textYOffset = 0;
    ASSERT_TRUE(LoadWatermarkFont(s));
    const Box one = Changed(Marked(Filled(400, 200, 0, 0, 255), s).get(), {0, 0, 255});
    s.watermarkText = "Wide first line%EOL%x%eol%y";
    s.fontLeading = 5;
    const Box three = Changed(Marked(Filled(400, 200, 0, 0, 255), s).get(), {0, 0, 255});
    EXPECT_EQ(three.w, one.w);
    // Three lines of the same height with two leadings.
    EXPECT_EQ(three.h, 3 * one.h + 10);
    // Breaks overlapping in "%eol%eol%" count once: two lines, "x" and "eol%y".
    s.watermarkText = "x%eol%eol%y";
    const Box two = Changed(Marked(Filled(400, 200, 0, 0, 255), s).get(), {0, 0, 255});
    EXPECT_EQ(two.h, 2 * one.h + 5);
}

TEST_F(Watermark, TokensShowTheCurrentPicture) {
    BuildOutputRegistry(GlobalRegistry());
    RunState run;
    run.conversion = "bmp";
    run.autoBpp = 1;
    run.sourceBpp = 8;
    run.outputBpp = 8;    // resolved by the pipeline before the watermark
    run.outputWidth = 1;  // left over from another file
    run.inputPath = "/pictures/Holiday.png";
    Settings s = TextMark("%WIDTH%x%height% %bpp% %filename%");
    s.textPosition = 0;
    ASSERT_TRUE(LoadWatermarkFont(s));
    Bitmap withTokens = Marked(Filled(321, 80, 0, 0, 255), s, run);
    s.watermarkText = "321x80 8 Holiday";
    Bitmap literal = Marked(Filled(321, 80, 0, 0, 255), s, run);
    for (int y = 0; y < 80; ++y)
        ASSERT_EQ(0, memcmp(FreeImage_GetScanLine(withTokens.get(), y),
                            FreeImage_GetScanLine(literal.get(), y), 321 * 3))
            << y;

    // Text without tokens stays as typed.
    Settings plain;
    plain.watermarkText = "100% Mine";
    EXPECT_EQ(ExpandWatermarkText(plain, run), "100% Mine");
    plain.watermarkText = "%Filename% by ME %eol%";
    EXPECT_EQ(ExpandWatermarkText(plain, run), "Holiday by ME %eol%");
}

TEST_F(Watermark, OutOfRangeValuesKeepThePicture) {
    const std::string path = WritePng(dir / "m.png", 30, 30, 0, 0, 0, 255, 255);
    Settings s = ImageMark(path, 0, -50, 0);  // off the picture: not laid
    Bitmap out = Marked(Filled(60, 60, 255, 255, 255), s);
    ASSERT_TRUE(out);
    EXPECT_EQ(Changed(out.get(), {255, 255, 255}).w, 0);
    s = ImageMark(path, 8, 1000000, 1000000);
    s.watermarkImageOpacity = 900;
    s.watermarkImageRotation = 720;
    EXPECT_TRUE(Marked(Filled(60, 60, 255, 255, 255), s));
    s = ImageMark(path, 4);
    s.watermarkImageOpacity = -3;
    s.doFrame = 1;
    s.solidLeft = s.solidRight = 500;
    s.watermarkImageBoundary = 1;
    out = Marked(Filled(60, 60, 255, 255, 255), s);
    ASSERT_TRUE(out);
    EXPECT_EQ(FreeImage_GetWidth(out.get()), 60u);
    s.doWatermark = 7;
    EXPECT_EQ(FreeImage_GetBPP(Marked(Filled(6, 6, 1, 1, 1), s).get()), 24u);

    Settings t = TextMark("Out of range");
    t.fontSize = 0;
    t.fontLeading = -1000;
    t.textPadding = -500;
    t.textOpacity = 400;
    t.backOpacity = -1;
    t.textAlignment = 9;
    t.textRotation = 33;
    ASSERT_TRUE(LoadWatermarkFont(t));
    EXPECT_TRUE(Marked(Filled(60, 60, 255, 255, 255), t));
    t.watermarkText = "a%eol%b%eol%c";
    EXPECT_TRUE(Marked(Filled(60, 60, 255, 255, 255), t));
    t.watermarkText = "";
    t.textPadding = 0;
    EXPECT_TRUE(Marked(Filled(60, 60, 255, 255, 255), t));
    t.fontSize = 100000;  // a box past any sensible size cannot be drawn: the step fails
    t.watermarkText = "Big";
    ASSERT_TRUE(LoadWatermarkFont(t));
    std::string why;
    EXPECT_FALSE(DrawWatermark(Filled(60, 60, 255, 255, 255), 60, 60, t, RunState(), &why));
    EXPECT_EQ(why.rfind("the watermark text cannot be drawn", 0), 0u) << why;
}

namespace {

// A PNG of w x h pixels of one RGBA colour, written with zlib directly (fast
// for large sizes); with `claimOnly` the image data is a token and only the
// header is meaningful.
std::string SolidRgbaPng(const std::string& path, uint32_t w, uint32_t h, const BYTE rgba[4],
                         bool claimOnly = false) {
    std::string raw;
    if (!claimOnly) {
        std::string row(1 + 4 * static_cast<size_t>(w), '\0');
        for (uint32_t x = 0; x < w; ++x) std::memcpy(&row[1 + 4 * x], rgba, 4);
        raw.reserve(row.size() * h);
        for (uint32_t y = 0; y < h; ++y) raw += row;
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(size, '\0');
    compress2(reinterpret_cast<Bytef*>(&packed[0]), &size,
              reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()), 1);
    packed.resize(size);
    test::WriteFile(path, test::kPngSignature + test::PngHeaderChunk(w, h, 8, 6) +
                              test::PngChunk("IDAT", packed) + test::PngChunk("IEND", ""));
    return path;
}

}  // namespace

TEST_F(Watermark, PicturesUpToTheProgramsLimitAreDrawnAndLargerOnesRefused) {
    // 8000 x 5000 = 40 megapixels, under the program's limit of 2^26 but past
    // the image reader's own default: it is drawn, not silently dropped.
    const BYTE green[4] = {0, 255, 0, 255};
    const std::string big = SolidRgbaPng(dir / "big.png", 8000, 5000, green);
    std::string why;
    EXPECT_TRUE(WatermarkImageUsable(big, &why)) << why;
    Bitmap out =
        DrawWatermark(Filled(60, 60, 255, 255, 255), 60, 60, ImageMark(big), RunState(), &why);
    ASSERT_TRUE(out) << why;
    EXPECT_EQ(At(out.get(), 30, 30), (Rgb{0, 255, 0}));

    // A header claiming 10000 x 10000 is refused from the header alone, before a run.
    const std::string huge = SolidRgbaPng(dir / "huge.png", 10000, 10000, green, true);
    EXPECT_FALSE(WatermarkImageUsable(huge, &why));
    EXPECT_EQ(why, "watermark image " + huge +
                       " has 10000 x 10000 pixels, more than the 67108864 a watermark may have");
    EXPECT_FALSE(
        DrawWatermark(Filled(60, 60, 255, 255, 255), 60, 60, ImageMark(huge), RunState(), &why));

    test::WriteFile(dir / "empty.png", "");
    EXPECT_FALSE(WatermarkImageUsable(dir / "empty.png", &why));
    EXPECT_TRUE(WatermarkImageUsable(test::Suite("basn6a08.png")));
}
