// The settings record: defaults, colour texts and the depth fields.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "settings/config.h"
#include "settings/fields.h"
#include "settings/settings.h"

using namespace tarnwick;

namespace {

Settings Defaults(bool commandLine, int dw = 1920, int dh = 1080) {
    Settings s;
    ApplyDefaults(s, commandLine, dw, dh);
    s.updateDate = s.customTimestamp = 1000;  // the clock is not under test
    return s;
}

}  // namespace

TEST(SettingsDefaults, WindowIsCentredOnLargeDesktopsOnly) {
    Settings s = Defaults(false, 1920, 1080);
    EXPECT_EQ(s.windowX, 705);
    EXPECT_EQ(s.windowY, 410);
    EXPECT_EQ(s.windowWidth, 510);
    EXPECT_EQ(s.windowHeight, 260);

    s = Defaults(false, 500, 1080);
    EXPECT_EQ(s.windowX, 100);
    EXPECT_EQ(s.windowY, 410);

    // Exactly the window size is not "greater"; odd sizes drop the remainder.
    s = Defaults(false, 510, 260);
    EXPECT_EQ(s.windowX, 100);
    EXPECT_EQ(s.windowY, 100);
    s = Defaults(false, 1025, 601);
    EXPECT_EQ(s.windowX, 257);
    EXPECT_EQ(s.windowY, 170);
}

TEST(SettingsDefaults, CommandLineModeChangesOnlyKeepAspectRatio) {
    Settings window = Defaults(false);
    Settings cli = Defaults(true);
    EXPECT_EQ(window.keepAspectRatio, 1);
    EXPECT_EQ(cli.keepAspectRatio, 0);
    cli.keepAspectRatio = 1;
    EXPECT_EQ(SerializeConfiguration(window), SerializeConfiguration(cli));
}

TEST(SettingsDefaults, FieldsThatAreEasyToGetWrong) {
    Settings s;
    s.backOpacity = 77;
    s.imageGamma = 3.0f;
    s.watermarkText.clear();
    ApplyDefaults(s, false, 0, 0);
    EXPECT_EQ(s.backOpacity, 1);
    EXPECT_EQ(s.textOpacity, 255);
    EXPECT_EQ(s.watermarkImageOpacity, 255);
    EXPECT_EQ(s.solidOpacity, 255);
    EXPECT_FLOAT_EQ(s.imageGamma, 1.0f);
    EXPECT_EQ(s.imageResizeAlgorithm, 3);
    EXPECT_EQ(s.rawToneMapping, 2);
    EXPECT_EQ(s.textPosition, 8);
    EXPECT_EQ(s.inputFormat, "png");
    EXPECT_EQ(s.outputFormat, "bmp");
    EXPECT_EQ(s.filenameMask, "%filename%.%ext%");
    EXPECT_EQ(s.windowX, 100);  // no desktop size known
    EXPECT_EQ(s.watermarkText, kDefaultWatermarkText);
    EXPECT_FALSE(s.watermarkText.empty());
    EXPECT_EQ(s.watermarkText.find_first_of("\r\n"), std::string::npos);
    EXPECT_GT(s.updateDate, 1600000000);  // the current date, not 0
    EXPECT_EQ(s.updateDate, s.customTimestamp);
}

// The record's member initialisers and the field table state the defaults
// twice; they must agree.
TEST(SettingsDefaults, FieldTableAgreesWithRecordInitialisers) {
    Settings initialised;
    initialised.watermarkText = kDefaultWatermarkText;
    initialised.updateDate = initialised.customTimestamp = 1000;
    Settings applied = Defaults(false, 0, 0);
    EXPECT_EQ(SerializeConfiguration(applied), SerializeConfiguration(initialised));
}

TEST(SettingsFields, KeysAreUniquePerGroupAndNamesResolve) {
    std::set<std::string> keys, names;
    for (const FieldInfo& f : SettingsFields()) {
        std::string k = std::string(f.group) + "/" + f.key;
        for (char& c : k) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_TRUE(keys.insert(k).second) << k;
        EXPECT_TRUE(names.insert(f.name).second) << f.name;
        EXPECT_EQ(FindField(f.name), &f);
    }
    EXPECT_EQ(FindField("noSuchField"), nullptr);
}

TEST(ColorText, ParseReadsPairsFromTheLeft) {
    EXPECT_EQ(ParseColor("FF8000"), 255u + 128u * 256u);
    EXPECT_EQ(ParseColor("ff8000"), 255u + 128u * 256u);
    EXPECT_EQ(ParseColor("0000FF"), 255u * 65536u);
    EXPECT_EQ(ParseColor("F80"), 0u);
    EXPECT_EQ(ParseColor(""), 0u);
    EXPECT_EQ(ParseColor("FF80001"), 0u);
    EXPECT_EQ(ParseColor("GG0000"), 0u);
    // A pair stops at its first non-hexadecimal character: "FG" reads as F.
    EXPECT_EQ(ParseColor("FG0000"), 15u);
    EXPECT_EQ(ParseColor("00zz10"), 16u * 65536u);
    // Length is counted in characters: "FF00é0" has six, "FF0é0" only five.
    EXPECT_EQ(ParseColor("FF00\xC3\xA9"
                         "0"),
              255u);
    EXPECT_EQ(ParseColor("FF0\xC3\xA9"
                         "0"),
              0u);
}

TEST(ColorText, FormatWritesUpperCaseRrGgBb) {
    EXPECT_EQ(FormatColor(255u + 128u * 256u), "FF8000");
    EXPECT_EQ(FormatColor(0), "000000");
    EXPECT_EQ(FormatColor(0x0A0B0C), "0C0B0A");
    EXPECT_EQ(FormatColor(0xFF123456u), "563412");  // the alpha byte is not a colour
    EXPECT_EQ(FormatColor(ParseColor("a1b2c3")), "A1B2C3");
}

TEST(DepthFields, EveryOutputFormatHasItsOwnField) {
    const char* formats[] = {"bmp", "dds", "exr", "gif",  "hdr",  "ico",  "j2k", "jng",
                             "jp2", "jpg", "jxr", "pbm",  "pcx",  "pfm",  "pgm", "png",
                             "ppm", "psd", "tga", "tiff", "wbmp", "webp", "xpm"};
    Settings s;
    std::set<int32_t*> seen;
    for (const char* f : formats) {
        int32_t* field = BppField(s, f);
        ASSERT_NE(field, nullptr) << f;
        EXPECT_TRUE(seen.insert(field).second) << f;
    }
    EXPECT_EQ(BppField(s, "bmp"), &s.bmpBpp);
    EXPECT_EQ(BppField(s, "TIFF"), &s.tiffBpp);
    EXPECT_EQ(BppField(s, "xpm"), &s.xpmBpp);
    EXPECT_EQ(BppField(s, "raw"), nullptr);
    EXPECT_EQ(BppField(s, ""), nullptr);
    s.pngBpp = 48;
    EXPECT_EQ(BppSetting(s, "png"), 48);
    EXPECT_EQ(BppSetting(s, "nope"), 0);
}
