// The text format, the configuration file and the profiles.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "settings/config.h"
#include "settings/options.h"
#include "settings/preference_file.h"
#include "settings/settings.h"
#include "support/test_support.h"

using namespace tarnwick;
using tarnwick::test::ReadFile;
using tarnwick::test::TempDir;
using tarnwick::test::WriteFile;

namespace {

const std::string kBom = "\xEF\xBB\xBF";

Settings Defaults() {
    Settings s;
    ApplyDefaults(s, false, 1920, 1080);
    s.updateDate = s.customTimestamp = 1234567890;
    return s;
}

// Loads a configuration given as text with the current defaults.
Settings LoadText(const std::string& bytes, int dw = 1920, int dh = 1080) {
    TempDir dir;
    WriteFile(dir / "config.ini", bytes);
    Settings s;
    LoadConfiguration(s, dir / "config.ini", dw, dh);
    return s;
}

Settings LoadProfileText(Settings s, const std::string& bytes) {
    TempDir dir;
    WriteFile(dir / "p.ini", bytes);
    EXPECT_TRUE(LoadProfile(s, dir / "p.ini"));
    return s;
}

}  // namespace

TEST(PreferenceFileReader, LineEndingsGroupsAndKeys) {
    PreferenceFile f;
    f.OpenFromBytes(
        "orphan = 1\r[One] trailing text\nA = 1\r\n a\t=  second  \n; comment = 5\n"
        "B=x=y;z\rNoEquals\n[ONE]\nC = 3\n[Two\nA = -12abc\n");
    f.SelectGroup("one");
    EXPECT_EQ(f.ReadInteger("a", 0), 1);  // first key wins
    EXPECT_EQ(f.ReadText("B", ""), "x=y;z");
    EXPECT_EQ(f.ReadText("noequals", "def"), "");
    EXPECT_EQ(f.ReadInteger("C", 7), 7);  // only the first [One] is found
    EXPECT_EQ(f.ReadInteger("orphan", 9), 9);
    EXPECT_EQ(f.ReadText("; comment", "none"), "none");
    auto keys = f.ListKeys();
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(keys[1].first, "a");
    EXPECT_EQ(keys[1].second, "second");
    f.SelectGroup("TWO");  // group line without a closing bracket
    EXPECT_EQ(f.ReadInteger("A", 0), -12);
    f.SelectGroup("Three");
    EXPECT_EQ(f.ReadInteger("A", 42), 42);
    EXPECT_TRUE(f.ListKeys().empty());
}

TEST(PreferenceFileReader, NumbersAndEncodings) {
    PreferenceFile f;
    f.OpenFromBytes(
        "[G]\nN = abc\nBig = 4294967297\nNeg = -7\nD = 2.5\nInf = -INFINITY\nNan = nan\n"
        "Comma = 1,5\nName = caf\xE9\n");
    f.SelectGroup("G");
    EXPECT_EQ(f.ReadInteger("N", 5), 0);
    EXPECT_EQ(f.ReadInteger("Big", 0), 0);  // beyond 32 bits: no number
    EXPECT_EQ(f.ReadInteger("Neg", 0), -7);
    EXPECT_DOUBLE_EQ(f.ReadDecimal("D", 0), 2.5);
    EXPECT_EQ(f.ReadDecimal("Inf", 0), -INFINITY);
    EXPECT_TRUE(std::isnan(f.ReadDecimal("Nan", 0)));
    EXPECT_DOUBLE_EQ(f.ReadDecimal("Comma", 0), 1.0);
    EXPECT_DOUBLE_EQ(f.ReadDecimal("Missing", 3.25), 3.25);
    EXPECT_EQ(f.ReadText("Name", ""), "caf\xC3\xA9");  // ISO-8859-1 without the mark

    f.OpenFromBytes(kBom + "[G]\r\nName = caf\xC3\xA9\r\n");
    f.SelectGroup("G");
    EXPECT_EQ(f.ReadText("Name", ""), "caf\xC3\xA9");  // UTF-8 after the mark
}

TEST(PreferenceFileWriter, LayoutOfGroupsKeysAndComments) {
    PreferenceFile f;
    f.CreateInMemory();
    f.SelectGroup("Empty");  // neither key nor comment: not written
    f.SelectGroup("A");
    f.WriteInteger("N", -3);
    f.WriteDecimal("G", 2.5);
    f.WriteDecimal("P", INFINITY);
    f.WriteDecimal("M", -INFINITY);
    f.WriteDecimal("Q", NAN);
    f.WriteText("T", "");
    f.WriteComment("");
    f.SelectGroup("B");
    f.WriteComment("note");
    f.WriteText("Broken", "one\r\ntwo\nthree");
    EXPECT_EQ(f.Serialize(),
              kBom +
                  "\r\n[A]\r\nN = -3\r\nG = 2.500000\r\nP = +Infinity\r\nM = -Infinity\r\n"
                  "Q = NaN\r\nT = \r\n; \r\n[B]\r\n; note\r\nBroken = one  two three\r\n");
}

TEST(PreferenceFileWriter, CreateRefusesMissingFoldersAndCloseReplacesWhole) {
    TempDir dir;
    PreferenceFile f;
    EXPECT_FALSE(f.Create(""));
    EXPECT_FALSE(f.Create(dir / "missing/config.ini"));
    EXPECT_FALSE(f.Create(dir.path()));

    WriteFile(dir / "c.ini", std::string(5000, 'x'));
    ASSERT_TRUE(f.Create(dir / "c.ini"));
    f.SelectGroup("G");
    f.WriteInteger("K", 1);
    EXPECT_TRUE(f.Close());
    EXPECT_EQ(ReadFile(dir / "c.ini"), kBom + "\r\n[G]\r\nK = 1\r\n");
    // Nothing but the file itself is left in the folder.
    int entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(Configuration, DefaultFileIsWrittenInTheFixedOrder) {
    std::string expected = kBom + "\r\n";
    const char* lines[] = {
        "[General]",
        "CFG = 17",
        "Language = en",
        "Update Range = 2",
        "Update Date = 1234567890",
        "Save Window Position = 1",
        "; ",
        "[Window]",
        "IsMaximized = 0",
        "Width = 510",
        "Height = 260",
        "X = 705",
        "Y = 410",
        "; ",
        "[Interface]",
        "UI Theme = handdrawn",
        "UI Size = 2",
        "; ",
        "[Input]",
        "Format = png",
        "; ",
        "[Output]",
        "Format = bmp",
        "BMP BPP = 0",
        "BMP Compression = 0",
        "BMP Color Table = 0",
        "; ",
        "[Transform]",
        "Do Image Rotation = 0",
        "Image Rotation Type = 0",
        "Image Rotation = 0",
        "Image Rotation Back Color = 000000",
        "Do Image Resize = 0",
        "Image Width = 0",
        "Image Width Unit = 0",
        "Image Height = 0",
        "Image Height Unit = 0",
        "Keep Aspect Ratio = 1",
        "Image Resize Type = 0",
        "Image Resize Algorithm = 3",
        "Do Image Flip Horizontal = 0",
        "Do Image Flip Vertical = 0",
        "; ",
        "[Adjustment]",
        "Do Image Color Correction = 0",
        "Image Brightness = 0",
        "Image Contrast = 0",
        "Image Gamma = 1.000000",
        "Image Invert = 0",
        "Do Image Greyscale = 0",
        "Do Image Threshold = 0",
        "Image Threshold = 0",
        "; ",
        "[Frame]",
        "Do Frame = 0",
        "Solid Left = 0",
        "Solid Right = 0",
        "Solid Top = 0",
        "Solid Bottom = 0",
        "Solid Left Color = 000000",
        "Solid Right Color = 000000",
        "Solid Top Color = 000000",
        "Solid Bottom Color = 000000",
        "Solid Opacity = 255",
        "; ",
        "[Watermark]",
        "Do Watermark = 0",
        "TEXT",
        "Fonts = Arial,Tahoma,Verdana",
        "Font = Arial",
        "Font Size = 14",
        "Font Leading = 0",
        "Font Colors = 000000,FFFFFF,FF0000,FF8000,FFFF00,008000,00FFFF,0000FF,8000FF",
        "Font Color = FFFFFF",
        "Font Style = 0",
        "Font Effect = 0",
        "Text Antialiasing = 0",
        "Text Alignment = 0",
        "Text Padding = 0",
        "Text Opacity = 255",
        "Back Colors = 000000,FFFFFF,FF0000,FF8000,FFFF00,008000,00FFFF,0000FF,8000FF",
        "Back Color = 000000",
        "Back Opacity = 1",
        "Text Boundary = 0",
        "Text Position = 8",
        "Text X Offset = 10",
        "Text Y Offset = 10",
        "Text Rotation = 0",
        "Text Size = 0",
        "Text Scale = 10",
        "Image = ",
        "Image Greyscale = 0",
        "Image Opacity = 255",
        "Image Boundary = 0",
        "Image Position = 8",
        "Image X Offset = 10",
        "Image Y Offset = 10",
        "Image Rotation = 0",
        "Image Size = 0",
        "Image Scale = 10",
        "; ",
        "[Advanced]",
        "Filename Mask = %filename%.%ext%",
        "File Timestamp = 0",
        "Custom Timestamp = 1234567890",
        "Out Folders History = 1",
        "Out Folders Number = 5",
        "Keep Subfolders = 1",
        "; ",
        "[File]",
        "Recent Out Folders = ",
        "Recent Files = ",
        "; ",
        "[Privacy]",
        "Clean Recent Files = 0",
        "; "};
    for (const char* l : lines) {
        std::string line = l;
        if (line == "TEXT") line = std::string("Text = ") + kDefaultWatermarkText;
        expected += line + "\r\n";
    }
    EXPECT_EQ(SerializeConfiguration(Defaults()), expected);
}

TEST(Configuration, CfgIsAlwaysWrittenAsTheCurrentLayout) {
    Settings s = Defaults();
    s.cfg = 3;
    EXPECT_NE(SerializeConfiguration(s).find("\r\nCFG = 17\r\n"), std::string::npos);
}

TEST(Configuration, WindowGroupIsEmptyWithoutSavedPosition) {
    Settings s = Defaults();
    s.saveWindowPosition = 0;
    std::string text = SerializeConfiguration(s);
    EXPECT_NE(text.find("Save Window Position = 0\r\n; \r\n[Window]\r\n; \r\n[Interface]\r\n"),
              std::string::npos);
    // A window group without keys reads as 100, 100, 510 x 260, not centred.
    Settings back = LoadText(text, 1920, 1080);
    EXPECT_EQ(back.windowX, 100);
    EXPECT_EQ(back.windowY, 100);
    EXPECT_EQ(back.windowWidth, 510);
    EXPECT_EQ(back.windowHeight, 260);
}

TEST(Configuration, RoundTripGivesIdenticalBytes) {
    TempDir dir;
    const std::string path = dir / "config.ini";
    ASSERT_TRUE(SaveConfiguration(Defaults(), path));
    const std::string first = ReadFile(path);
    Settings back;
    LoadConfiguration(back, path, 800, 600);
    ASSERT_TRUE(SaveConfiguration(back, path));
    EXPECT_EQ(ReadFile(path), first);

    // Values away from the defaults survive too.
    Settings s = Defaults();
    s.language = "de";
    s.windowX = -1200;
    s.isMaximized = 1;
    s.imageGamma = 2.5f;
    s.imageBrightness = -40;
    s.watermarkText = "caf\xC3\xA9 = %n%; %eol%x";
    s.recentOutFolders = "/a b/\t/c/";
    s.bmpBpp = 8;
    s.bmpColorTable = 1;
    s.textPosition = -3;
    s.fontColor = "ff8000";
    Settings loaded = LoadText(SerializeConfiguration(s));
    EXPECT_EQ(SerializeConfiguration(loaded), SerializeConfiguration(s));
    EXPECT_EQ(loaded.watermarkText, s.watermarkText);
    EXPECT_EQ(loaded.recentOutFolders, s.recentOutFolders);
    EXPECT_FLOAT_EQ(loaded.imageGamma, 2.5f);
    EXPECT_NE(SerializeConfiguration(s).find("Image Gamma = 2.500000\r\n"), std::string::npos);
}

TEST(Configuration, LineBreakInATextDoesNotInjectKeys) {
    Settings s = Defaults();
    s.watermarkText = "a\r\n[Window]\r\nX = 5";
    Settings back = LoadText(SerializeConfiguration(s));
    EXPECT_EQ(back.windowX, 705);
    EXPECT_EQ(back.watermarkText, "a  [Window]  X = 5");
}

TEST(Configuration, MissingFileGivesWindowModeDefaults) {
    TempDir dir;
    Settings s;
    s.keepAspectRatio = 0;
    s.bmpBpp = 24;
    LoadConfiguration(s, dir / "none.ini", 1920, 1080);
    EXPECT_EQ(s.keepAspectRatio, 1);
    EXPECT_EQ(s.bmpBpp, 0);
    EXPECT_EQ(s.windowX, 705);
    EXPECT_EQ(s.cfg, 17);
    EXPECT_EQ(s.filenameMask, "%filename%.%ext%");
}

TEST(Configuration, CaseInsensitiveNamesAndByteTruncation) {
    Settings s = LoadText("[general]\nsave window position = 0\n");
    EXPECT_EQ(s.saveWindowPosition, 0);
    EXPECT_EQ(s.cfg, 0);  // a missing CFG reads as 0
    s = LoadText(
        "[General]\nSave Window Position = 256\n[Transform]\nImage Resize Algorithm = 261\n"
        "Do Image Flip Vertical = 255\n");
    EXPECT_EQ(s.saveWindowPosition, 0);
    EXPECT_EQ(s.imageResizeAlgorithm, 5);
    EXPECT_EQ(s.doImageFlipVertical, -1);
    s = LoadText(
        "[Adjustment]\nImage Gamma = 2.5\nImage Brightness = x\n[Interface]\nUI Theme =   dark  "
        "\n");
    EXPECT_FLOAT_EQ(s.imageGamma, 2.5f);
    EXPECT_EQ(s.imageBrightness, 0);
    EXPECT_EQ(s.uiTheme, "dark");
    s = LoadText("[Advanced]\nFilename Mask = caf\xE9\n");
    EXPECT_EQ(s.filenameMask, "caf\xC3\xA9.%ext%");
}

TEST(Configuration, SameKeyInTwoGroupsStaysApart) {
    Settings s = LoadText(
        "[Watermark]\nImage Rotation = 45\nImage = /w.png\n[Transform]\nImage Rotation = 90\n"
        "[Input]\nFormat = raw\nRAW Load As = 2\n[Output]\nFormat = jpg\nJPG Quality = 50\n");
    EXPECT_EQ(s.watermarkImageRotation, 45);
    EXPECT_EQ(s.imageRotation, 90);
    EXPECT_EQ(s.watermarkImage, "/w.png");
    EXPECT_EQ(s.inputFormat, "raw");
    EXPECT_EQ(s.outputFormat, "jpg");
    // Keys of formats outside the product lists are read but not written.
    EXPECT_EQ(s.jpgQuality, 50);
    EXPECT_EQ(SerializeConfiguration(s).find("JPG Quality"), std::string::npos);
}

TEST(Configuration, UpgradesOfOlderLayouts) {
    EXPECT_EQ(LoadText("[Advanced]\nFilename Mask = %filename%\n").filenameMask,
              "%filename%.%ext%");
    EXPECT_EQ(LoadText("[Advanced]\nFilename Mask = x_%ext%_%filename%\n").filenameMask,
              "x_%ext%_%filename%");
    EXPECT_EQ(LoadText("[Advanced]\nFilename Mask = a.%EXT%\n").filenameMask, "a.%EXT%");
    EXPECT_EQ(
        LoadText("[General]\nCFG = 10\n[Advanced]\nFilename Mask = %filename%\n").filenameMask,
        "%filename%.%ext%");
    EXPECT_EQ(
        LoadText("[General]\nCFG = 11\n[Advanced]\nFilename Mask = %filename%\n").filenameMask,
        "%filename%");
    EXPECT_EQ(
        LoadText("[General]\nCFG = 17\n[Advanced]\nFilename Mask = %filename%\n").filenameMask,
        "%filename%");

    EXPECT_EQ(LoadText("[General]\nCFG = 13\n[Input]\nRAW Load As = 1\n").rawLoadAs, 3);
    EXPECT_EQ(LoadText("[General]\nCFG = 13\n[Input]\nRAW Load As = 0\n").rawLoadAs, 0);
    EXPECT_EQ(LoadText("[General]\nCFG = 14\n[Input]\nRAW Load As = 1\n").rawLoadAs, 1);
    Settings s = LoadText("[General]\nCFG = 13\n");
    EXPECT_EQ(s.cfg, 13);  // the value read is kept; the next save writes 17
}

TEST(Configuration, SaveFailsQuietlyWhereNothingCanBeWritten) {
    TempDir dir;
    EXPECT_FALSE(SaveConfiguration(Defaults(), dir / "no/such/config.ini"));
    EXPECT_FALSE(std::filesystem::exists(dir / "no"));
}

TEST(Configuration, SettingsFolderIsCreatedBelowTheUserConfigFolder) {
    TempDir dir;
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    const char* oldHome = std::getenv("HOME");
    std::string savedXdg = oldXdg ? oldXdg : "", savedHome = oldHome ? oldHome : "";

    setenv("XDG_CONFIG_HOME", (dir / "xdg/deeper").c_str(), 1);
    EXPECT_EQ(SettingsFolder(), dir / "xdg/deeper/Pictavo/tarnwick/");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "xdg/deeper/Pictavo/tarnwick"));

    setenv("HOME", (dir / "home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", "relative/path", 1);  // not an absolute path: not used
    EXPECT_EQ(SettingsFolder(), dir / "home/.config/Pictavo/tarnwick/");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(SettingsFolder(), dir / "home/.config/Pictavo/tarnwick/");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "home/.config/Pictavo/tarnwick"));

    if (oldXdg) setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    if (oldHome) setenv("HOME", savedHome.c_str(), 1);
}

TEST(Profile, MissingFileOrPathFails) {
    TempDir dir;
    Settings s;
    EXPECT_FALSE(LoadProfile(s, ""));
    EXPECT_FALSE(LoadProfile(s, dir / "none.ini"));
    EXPECT_FALSE(LoadProfile(s, dir.path()));
}

TEST(Profile, WithoutCliGroupNothingChanges) {
    Settings before;
    ApplyDefaults(before, true);
    Settings after = LoadProfileText(before, "[Other]\n--WIDTH = 5\n");
    EXPECT_EQ(SerializeConfiguration(after), SerializeConfiguration(before));
    after = LoadProfileText(before, "");
    EXPECT_EQ(SerializeConfiguration(after), SerializeConfiguration(before));
}

TEST(Profile, KeysActLikeTheirOptions) {
    Settings s;
    ApplyDefaults(s, true);
    s = LoadProfileText(
        s,
        "[cli]\n--flip-horizontal = 0\n--INPUT = other.png\n--OUTPUT = /tmp\nWIDTH = 9\n"
        "--Resize-Algorithm =  bicubic  \n--WM-TEXT = \"word\"\n--FILENAME-MASK = \"%n%\"\n"
        "--FR-SOLID-OPACITY = 128\n--JPG-QUALITY = $64\n--GAMMA = 1,5\n"
        "--HEIGHT = 100\n--HEIGHT = 200\n--NO-SUBFOLDERS\n--BRIGHTNESS =\n");
    EXPECT_EQ(s.doImageFlipHorizontal, 1);
    EXPECT_EQ(s.imageWidth, 0);
    EXPECT_EQ(s.imageResizeAlgorithm, 3);
    EXPECT_EQ(s.watermarkText, "\"word\"");
    EXPECT_EQ(s.doWatermark, 1);
    EXPECT_EQ(s.filenameMask, "%n%");
    EXPECT_EQ(s.solidOpacity, 128);
    EXPECT_EQ(s.doFrame, 0);
    EXPECT_EQ(s.jpgQuality, 100);
    EXPECT_FLOAT_EQ(s.imageGamma, 1.0f);
    EXPECT_EQ(s.imageHeight, 200);  // a later key overrides an earlier one
    EXPECT_EQ(s.doImageResize, 1);
    EXPECT_EQ(s.keepSubfolders, 0);
    EXPECT_EQ(s.imageBrightness, 0);
    EXPECT_EQ(s.doImageColorCorrection, 1);
}

TEST(Profile, SitsBetweenTheOptionsAroundIt) {
    Settings s;
    ApplyDefaults(s, true);
    ApplyOption(s, "--WIDTH", "100");
    ApplyOption(s, "--HEIGHT", "50");
    s = LoadProfileText(s, "[CLI]\n--WIDTH = 200\n");
    EXPECT_EQ(s.imageWidth, 200);
    EXPECT_EQ(s.imageHeight, 50);
    ApplyOption(s, "--WIDTH", "300");
    EXPECT_EQ(s.imageWidth, 300);
}
