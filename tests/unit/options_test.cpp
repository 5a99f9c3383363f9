// Option values: keyword lists, number readers and the long-option table.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>

#include "settings/options.h"
#include "settings/settings.h"

using namespace tarnwick;

TEST(Keywords, ValueIsTrimmedUpperCasedAndDefaultsToZero) {
    EXPECT_EQ(KeywordValue("lanczos", KeywordList::ResizeAlgorithm), 5);
    EXPECT_EQ(KeywordValue("  Bicubic\t", KeywordList::ResizeAlgorithm), 3);
    EXPECT_EQ(KeywordValue("foo", KeywordList::ResizeAlgorithm), 0);
    EXPECT_EQ(KeywordValue("", KeywordList::Position), 0);
    EXPECT_EQ(KeywordValue("STRIKETHROUGHT", KeywordList::FontEffect), 2);
    EXPECT_EQ(KeywordValue("STRIKETHROUGH", KeywordList::FontEffect), 0);
    EXPECT_EQ(KeywordValue("48hs", KeywordList::RawLoadAs), 4);
    EXPECT_EQ(KeywordValue("48", KeywordList::RawLoadAs), 5);
    EXPECT_EQ(KeywordValue("anything", KeywordList::SizeMode), 0);
    EXPECT_EQ(KeywordValue("bottomright", KeywordList::Position), 8);
    EXPECT_EQ(KeywordValue("custom", KeywordList::Timestamp), 2);
    // Any compression keyword stands for its number, whatever the format.
    EXPECT_EQ(KeywordValue("RLE", KeywordList::Compression), 1);
    EXPECT_EQ(KeywordValue("zlib9", KeywordList::Compression), 3);
    EXPECT_EQ(KeywordValue("LogLuv", KeywordList::Compression), 8);
    EXPECT_EQ(KeywordValue("B44", KeywordList::Compression), 4);
}

TEST(Keywords, CompressionNamesFollowTheFormatGroup) {
    EXPECT_EQ(KeywordName(KeywordList::Compression, 0, "png"), "NONE");
    EXPECT_EQ(KeywordName(KeywordList::Compression, 0, "jpg"), "NONE");
    EXPECT_EQ(KeywordName(KeywordList::Compression, 1, "png"), "ZLIB1");
    EXPECT_EQ(KeywordName(KeywordList::Compression, 3, "png"), "ZLIB9");
    EXPECT_EQ(KeywordName(KeywordList::Compression, 4, "png"), "");
    EXPECT_EQ(KeywordName(KeywordList::Compression, 1, "bmp"), "RLE");
    EXPECT_EQ(KeywordName(KeywordList::Compression, 1, "tga"), "RLE");
    EXPECT_EQ(KeywordName(KeywordList::Compression, 2, "bmp"), "");
    EXPECT_EQ(KeywordName(KeywordList::Compression, 2, "exr"), "PIZ");
    EXPECT_EQ(KeywordName(KeywordList::Compression, 8, "tiff"), "LOGLUV");
    EXPECT_EQ(KeywordName(KeywordList::Compression, 5, "tiff"), "ADOBEDEFLATE");
    EXPECT_EQ(KeywordName(KeywordList::Compression, -1, "tiff"), "");
    EXPECT_EQ(KeywordName(KeywordList::Compression, 1, "jpg"), "");
}

TEST(Keywords, NamesOfOtherLists) {
    EXPECT_EQ(KeywordName(KeywordList::Position, 8), "BOTTOMRIGHT");
    EXPECT_EQ(KeywordName(KeywordList::Position, 9), "");
    EXPECT_EQ(KeywordName(KeywordList::Timestamp, 0), "CURRENT");
    EXPECT_EQ(KeywordName(KeywordList::FrameKind, 1), "SOLID");
    EXPECT_EQ(KeywordName(KeywordList::WatermarkKind, 2), "IMAGE");
    EXPECT_EQ(KeywordName(KeywordList::ColorTable, 0), "AUTO");
    EXPECT_EQ(KeywordName(KeywordList::SizeMode, 1), "");
    EXPECT_EQ(KeywordName(KeywordList::RawLoadAs, 4), "48HS");
    EXPECT_EQ(KeywordName(KeywordList::FontEffect, -3), "");
}

TEST(Numbers, WholeNumberForms) {
    EXPECT_EQ(ReadWholeNumber("95"), 95);
    EXPECT_EQ(ReadWholeNumber("$64"), 100);
    EXPECT_EQ(ReadWholeNumber("$ff"), 255);
    EXPECT_EQ(ReadWholeNumber("%101"), 5);
    EXPECT_EQ(ReadWholeNumber("%102"), 2);
    EXPECT_EQ(ReadWholeNumber(" \t-20"), -20);
    EXPECT_EQ(ReadWholeNumber("+7px"), 7);
    EXPECT_EQ(ReadWholeNumber("-$10"), -16);
    EXPECT_EQ(ReadWholeNumber("12 34"), 12);
    EXPECT_EQ(ReadWholeNumber("1.9"), 1);
    EXPECT_EQ(ReadWholeNumber("abc"), 0);
    EXPECT_EQ(ReadWholeNumber(""), 0);
    EXPECT_EQ(ReadWholeNumber("$"), 0);
    EXPECT_EQ(ReadWholeNumber("- 5"), 0);
    EXPECT_EQ(ReadWholeNumber("--5"), 0);
}

TEST(Numbers, WholeNumbersBeyondThirtyTwoBitsAreNoNumbers) {
    EXPECT_EQ(ReadWholeNumber("2147483647"), 2147483647);
    EXPECT_EQ(ReadWholeNumber("2147483648"), 0);
    EXPECT_EQ(ReadWholeNumber("4294967301"), 0);
    EXPECT_EQ(ReadWholeNumber("99999999999999999999"), 0);
    EXPECT_EQ(ReadWholeNumber("$FFFFFFFF"), -1);
    EXPECT_EQ(ReadWholeNumber("-2147483648"), INT32_MIN);
}

TEST(Numbers, DecimalNumberForms) {
    EXPECT_FLOAT_EQ(ReadDecimalNumber("2.5"), 2.5f);
    EXPECT_FLOAT_EQ(ReadDecimalNumber(".5"), 0.5f);
    EXPECT_FLOAT_EQ(ReadDecimalNumber("-0.25"), -0.25f);
    EXPECT_FLOAT_EQ(ReadDecimalNumber("+9.99"), 9.99f);
    EXPECT_FLOAT_EQ(ReadDecimalNumber("1,5"), 1.0f);
    EXPECT_FLOAT_EQ(ReadDecimalNumber("abc"), 0.0f);
    EXPECT_FLOAT_EQ(ReadDecimalNumber(""), 0.0f);
    EXPECT_FLOAT_EQ(ReadDecimalNumber("0x10"), 0.0f);
    EXPECT_FLOAT_EQ(ReadDecimalNumber("3abc"), 3.0f);
    EXPECT_EQ(ReadDecimalNumber("+Infinity"), INFINITY);
    EXPECT_EQ(ReadDecimalNumber("-infinity"), -INFINITY);
    EXPECT_TRUE(std::isnan(ReadDecimalNumber("nan")));
    EXPECT_TRUE(std::isnan(ReadDecimalNumber("NaN")));
    // Other spellings are not numbers.
    EXPECT_EQ(ReadDecimalNumber("inf"), 0.0f);
    EXPECT_EQ(ReadDecimalNumber("nanx"), 0.0f);
    EXPECT_EQ(ReadDecimalNumber("1e60"), INFINITY);
    EXPECT_EQ(ReadDecimalNumber("1e-60"), 0.0f);
}

// The table holds exactly the long options that a profile may name, with the
// kinds of value listed for them.
TEST(OptionTable, HoldsEveryProfileOptionWithItsKind) {
    std::map<std::string, OptionKind> expected;
    for (const char* n : {"--RAW-HEADER-SIZE",
                          "--RAW-WIDTH",
                          "--RAW-HEIGHT",
                          "--BMP-BPP",
                          "--DDS-BPP",
                          "--EXR-BPP",
                          "--GIF-BPP",
                          "--HDR-BPP",
                          "--ICO-BPP",
                          "--J2K-BPP",
                          "--JNG-BPP",
                          "--JP2-BPP",
                          "--JPG-BPP",
                          "--JXR-BPP",
                          "--PBM-BPP",
                          "--PCX-BPP",
                          "--PFM-BPP",
                          "--PGM-BPP",
                          "--PNG-BPP",
                          "--PPM-BPP",
                          "--PSD-BPP",
                          "--TGA-BPP",
                          "--TIFF-BPP",
                          "--WBMP-BPP",
                          "--WEBP-BPP",
                          "--XPM-BPP",
                          "--JPG-QUALITY",
                          "--ROTATION",
                          "--WIDTH",
                          "--HEIGHT",
                          "--BRIGHTNESS",
                          "--CONTRAST",
                          "--THRESHOLD",
                          "--FR-SOLID-LEFT",
                          "--FR-SOLID-RIGHT",
                          "--FR-SOLID-TOP",
                          "--FR-SOLID-BOTTOM",
                          "--FR-SOLID-OPACITY",
                          "--WM-FONT-SIZE",
                          "--WM-FONT-LEADING",
                          "--WM-TEXT-PADDING",
                          "--WM-TEXT-OPACITY",
                          "--WM-BACK-OPACITY",
                          "--WM-TEXT-X-OFFSET",
                          "--WM-TEXT-Y-OFFSET",
                          "--WM-TEXT-ROTATION",
                          "--WM-IMAGE-OPACITY",
                          "--WM-IMAGE-X-OFFSET",
                          "--WM-IMAGE-Y-OFFSET",
                          "--WM-IMAGE-ROTATION",
                          "--FILE-TIMESTAMP-CUSTOM"})
        expected[n] = OptionKind::Whole;
    expected["--GAMMA"] = OptionKind::Decimal;
    for (const char* n : {"--DDS-LOAD-AS",       "--GIF-FRAME-LOADING", "--ICO-FRAME-LOADING",
                          "--RAW-LOAD-AS",       "--RAW-TONE-MAPPING",  "--TIFF-FRAME-LOADING",
                          "--BMP-COMPRESSION",   "--BMP-COLOR-TABLE",   "--EXR-COMPRESSION",
                          "--JPG-CHROMA",        "--JPG-SAVE-AS",       "--PNG-COMPRESSION",
                          "--TGA-COMPRESSION",   "--TIFF-COMPRESSION",  "--TIFF-COLOR-MODEL",
                          "--ROTATION-TYPE",     "--WIDTH-UNIT",        "--HEIGHT-UNIT",
                          "--RESIZE-TYPE",       "--RESIZE-ALGORITHM",  "--WM-FONT-STYLE",
                          "--WM-FONT-EFFECT",    "--WM-TEXT-ALIGNMENT", "--WM-TEXT-BOUNDARY",
                          "--WM-TEXT-POSITION",  "--WM-TEXT-SIZE",      "--WM-IMAGE-BOUNDARY",
                          "--WM-IMAGE-POSITION", "--WM-IMAGE-SIZE",     "--FILE-TIMESTAMP"})
        expected[n] = OptionKind::Keyword;
    for (const char* n :
         {"--ROTATION-BACK-COLOR", "--FR-SOLID-LEFT-COLOR", "--FR-SOLID-RIGHT-COLOR",
          "--FR-SOLID-TOP-COLOR", "--FR-SOLID-BOTTOM-COLOR", "--WM-TEXT", "--WM-FONT",
          "--WM-FONT-COLOR", "--WM-BACK-COLOR", "--WM-IMAGE", "--FILENAME-MASK"})
        expected[n] = OptionKind::Text;
    for (const char* n : {"--PNG-INTERLACED", "--KEEP-ASPECT-RATIO", "--FLIP-HORIZONTAL",
                          "--FLIP-VERTICAL", "--INVERT", "--GREYSCALE", "--WM-TEXT-ANTIALIASING",
                          "--WM-IMAGE-GREYSCALE", "--NO-SUBFOLDERS"})
        expected[n] = OptionKind::Flag;
    ASSERT_EQ(expected.size(), 102u);

    std::map<std::string, OptionKind> actual;
    for (const std::string& n : OptionNames()) {
        OptionKind kind{};
        ASSERT_TRUE(FindOption(n, &kind)) << n;
        actual[n] = kind;
    }
    EXPECT_EQ(actual, expected);

    for (const char* n : {"--INPUT", "--OUTPUT", "--CONVERSION", "--PROFILE", "--QUIET", "--DEBUG",
                          "--PAUSE", "--HELP", "--VERSION", "-I", "WIDTH", ""}) {
        Settings s;
        EXPECT_FALSE(FindOption(n)) << n;
        EXPECT_FALSE(ApplyOption(s, n, "x")) << n;
    }
}

TEST(ApplyOption, NumbersAndKeywordsReachTheirFields) {
    Settings s;
    EXPECT_TRUE(ApplyOption(s, "--JPG-QUALITY", "$64"));
    EXPECT_EQ(s.jpgQuality, 100);
    EXPECT_TRUE(ApplyOption(s, "--jpg-quality", "80"));  // names in any case
    EXPECT_EQ(s.jpgQuality, 80);
    ApplyOption(s, "--RAW-WIDTH", "640");
    ApplyOption(s, "--RAW-HEIGHT", "480");
    EXPECT_EQ(s.rawImageWidth, 640);
    EXPECT_EQ(s.rawImageHeight, 480);
    ApplyOption(s, "--FILE-TIMESTAMP-CUSTOM", "-5");
    EXPECT_EQ(s.customTimestamp, -5);
    ApplyOption(s, "--PNG-COMPRESSION", "RLE");
    EXPECT_EQ(s.pngCompression, 1);
    EXPECT_EQ(KeywordName(KeywordList::Compression, s.pngCompression, "png"), "ZLIB1");
    ApplyOption(s, "--TIFF-COLOR-MODEL", "lab");
    EXPECT_EQ(s.tiffColorModel, 2);
    ApplyOption(s, "--BMP-BPP", "8");
    EXPECT_EQ(s.bmpBpp, 8);
    ApplyOption(s, "--TIFF-BPP", "96");
    EXPECT_EQ(s.tiffBpp, 96);
    EXPECT_EQ(s.bmpBpp, 8);
}

TEST(ApplyOption, ByteWideKeywordsStayInTheirByte) {
    Settings s;
    s.imageResizeType = 0;
    s.doImageFlipHorizontal = 0;
    s.doImageFlipVertical = 0;
    ApplyOption(s, "--RESIZE-ALGORITHM", "lanczos");
    EXPECT_EQ(s.imageResizeAlgorithm, 5);
    EXPECT_EQ(s.imageResizeType, 0);
    EXPECT_EQ(s.doImageFlipHorizontal, 0);
    ApplyOption(s, "--RESIZE-ALGORITHM", "foo");
    EXPECT_EQ(s.imageResizeAlgorithm, 0);
    ApplyOption(s, "--WM-TEXT-POSITION", "middlecenter");
    EXPECT_EQ(s.textPosition, 4);
    ApplyOption(s, "--WM-IMAGE-POSITION", "TOPRIGHT");
    EXPECT_EQ(s.watermarkImagePosition, 2);
    EXPECT_EQ(s.textPosition, 4);
    s.textSize = 5;
    ApplyOption(s, "--WM-TEXT-SIZE", "anything");
    EXPECT_EQ(s.textSize, 0);
    ApplyOption(s, "--FILE-TIMESTAMP", "original");
    EXPECT_EQ(s.fileTimestamp, 1);
    ApplyOption(s, "--WM-FONT-EFFECT", "STRIKETHROUGHT");
    EXPECT_EQ(s.fontEffect, 2);
}

TEST(ApplyOption, FlagsSetTheirFixedValueWhateverTheText) {
    Settings s;
    ApplyDefaults(s, true);
    ApplyOption(s, "--PNG-INTERLACED", "0");
    EXPECT_EQ(s.pngInterlaced, 1);
    ApplyOption(s, "--KEEP-ASPECT-RATIO", "no");
    EXPECT_EQ(s.keepAspectRatio, 1);
    ApplyOption(s, "--NO-SUBFOLDERS", "1");
    EXPECT_EQ(s.keepSubfolders, 0);
    ApplyOption(s, "--INVERT", "0");
    EXPECT_EQ(s.imageInvert, 1);
    EXPECT_EQ(s.doImageColorCorrection, 1);
    ApplyOption(s, "--WM-TEXT-ANTIALIASING", "");
    EXPECT_EQ(s.textAntialiasing, 1);
}

TEST(ApplyOption, OptionsThatSwitchAStepOn) {
    Settings s;
    ApplyDefaults(s, true);
    ApplyOption(s, "--FR-SOLID-LEFT-COLOR", "FF0000");
    ApplyOption(s, "--FR-SOLID-OPACITY", "128");
    EXPECT_EQ(s.doFrame, 0);
    EXPECT_EQ(s.solidLeftColor, "FF0000");
    EXPECT_EQ(s.solidOpacity, 128);
    ApplyOption(s, "--FR-SOLID-BOTTOM", "4");
    EXPECT_EQ(s.doFrame, 1);
    EXPECT_EQ(s.solidBottom, 4);

    ApplyOption(s, "--WIDTH", "800");
    EXPECT_EQ(s.doImageResize, 1);
    EXPECT_EQ(s.imageWidth, 800);
    EXPECT_EQ(s.imageHeight, 0);

    ApplyOption(s, "--GAMMA", "1,5");
    EXPECT_FLOAT_EQ(s.imageGamma, 1.0f);
    EXPECT_EQ(s.doImageColorCorrection, 1);

    ApplyOption(s, "--ROTATION", "90");
    EXPECT_EQ(s.doImageRotation, 1);
    ApplyOption(s, "--THRESHOLD", "abc");
    EXPECT_EQ(s.doImageThreshold, 1);
    EXPECT_EQ(s.imageThreshold, 0);

    ApplyOption(s, "--WM-TEXT", "x");
    ApplyOption(s, "--WM-IMAGE", "y");
    EXPECT_EQ(s.doWatermark, 2);
    ApplyOption(s, "--WM-TEXT", "x");
    EXPECT_EQ(s.doWatermark, 1);
    EXPECT_EQ(s.watermarkText, "x");
    EXPECT_EQ(s.watermarkImage, "y");
}

TEST(ApplyOption, DoubleQuotesLeaveOnlyTheProfileFilenameMask) {
    Settings s;
    ApplyOption(s, "--FILENAME-MASK", "\"%filename%\"", true);
    EXPECT_EQ(s.filenameMask, "%filename%");
    ApplyOption(s, "--FILENAME-MASK", "\"%filename%\"", false);
    EXPECT_EQ(s.filenameMask, "\"%filename%\"");
    ApplyOption(s, "--WM-TEXT", "\"word\"", true);
    EXPECT_EQ(s.watermarkText, "\"word\"");
    ApplyOption(s, "--FILENAME-MASK", "", true);
    EXPECT_EQ(s.filenameMask, "");
}
