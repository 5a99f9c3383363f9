#include <gtest/gtest.h>

#include "engine/naming.h"

namespace tarnwick {
namespace {

std::tm FixedTime() {
    std::tm tm{};
    tm.tm_year = 2024 - 1900;
    tm.tm_mon = 2;  // March
    tm.tm_mday = 5;
    tm.tm_hour = 7;
    tm.tm_min = 8;
    tm.tm_sec = 9;
    return tm;
}

RunState MakeRun(const std::string& input) {
    RunState run;
    run.inputPath = input;
    run.outputFolder = "/out/";
    run.conversion = "bmp";
    run.fileNumber = 1;
    run.randomNumber = 42;
    return run;
}

std::string Expand(const std::string& mask, const RunState& run) {
    return ExpandNameMask(mask, run, FixedTime);
}

TEST(NamingTest, FileNameAndExtensionTokens) {
    RunState run = MakeRun("/in/Holiday.PNG");
    EXPECT_EQ(Expand("%filename%.%ext%", run), "Holiday.bmp");
    EXPECT_EQ(Expand("", run), "Holiday.bmp");  // empty mask means the default
    EXPECT_EQ(Expand("%FILENAME%.%EXT%", run), "Holiday.bmp");
    EXPECT_EQ(Expand("%filename[u]%_%ext[u]%", run), "HOLIDAY_BMP");
    EXPECT_EQ(Expand("%filename[l]%.%ext[t]%", run), "holiday.Bmp");
    EXPECT_EQ(Expand("%filename[t]%.%ext%", MakeRun("/in/hOLIDAY.png")), "Holiday.bmp");
}

TEST(NamingTest, BaseNameDropsOnlyTheLastExtension) {
    EXPECT_EQ(Expand("%filename%.%ext%", MakeRun("/in/archive.tar.png")), "archive.tar.bmp");
    EXPECT_EQ(Expand("%filename%.%ext%", MakeRun("/in/.png")), ".bmp");
    EXPECT_EQ(Expand("%filename%", MakeRun("/in/noext")), "noext");
    // A point in a folder name is not an extension.
    EXPECT_EQ(Expand("%filename%", MakeRun("/in.d/plain")), "plain");
}

TEST(NamingTest, LiteralTextIsLowerCasedButValuesKeepTheirCase) {
    RunState run = MakeRun("/in/Holiday.png");
    EXPECT_EQ(Expand("Photo_%n%", run), "photo_00001");
    EXPECT_EQ(Expand("ÜBER_%filename%", run), "über_Holiday");
    EXPECT_EQ(Expand("%filename[u]%", MakeRun("/in/élan.png")), "ÉLAN");
    EXPECT_EQ(Expand("%filename[t]%", MakeRun("/in/éLAN.png")), "Élan");
}

TEST(NamingTest, NumbersAreZeroPaddedAndCut) {
    RunState run = MakeRun("/in/a.png");
    EXPECT_EQ(Expand("IMG_%n%.%ext%", run), "img_00001.bmp");
    run.fileNumber = 2;
    EXPECT_EQ(Expand("IMG_%n%.%ext%", run), "img_00002.bmp");
    run.fileNumber = 1234567;
    EXPECT_EQ(Expand("%n%", run), "12345");
    EXPECT_EQ(Expand("%rnd%", run), "00042");
    run.randomNumber = 99999;
    EXPECT_EQ(Expand("%rnd%", run), "99999");
}

TEST(NamingTest, DateSizeAndDepthTokens) {
    RunState run = MakeRun("/in/a.png");
    run.outputBpp = 24;
    run.outputWidth = 640;
    run.outputHeight = 480;
    EXPECT_EQ(Expand("%yyyy%-%mm%-%dd% %hh%.%ii%.%ss%", run), "2024-03-05 07.08.09");
    EXPECT_EQ(Expand("%width%x%height%@%bpp%", run), "640x480@24");
}

TEST(NamingTest, TokensInsideInsertedValuesAreReplacedLater) {
    EXPECT_EQ(Expand("%filename%.%ext%", MakeRun("/in/x%n%y.png")), "x00001y.bmp");
    // An upper-case token inside a value is only found when the mask itself
    // holds that token.
    EXPECT_EQ(Expand("%filename%.%ext%", MakeRun("/in/x%N%y.png")), "x%N%y.bmp");
    EXPECT_EQ(Expand("%filename%%n%", MakeRun("/in/x%N%y.png")), "x00001y00001");
}

TEST(NamingTest, ReplaceTokenIgnoresCaseAndKeepsOtherText) {
    RunState run = MakeRun("/in/a.png");
    run.outputWidth = 800;
    EXPECT_EQ(ReplaceToken("Size %WIDTH% and %Width%, not %height", "%width%", run, FixedTime),
              "Size 800 and 800, not %height");
    EXPECT_EQ(ReplaceToken("%eol%", "%eol%", run, FixedTime), "%eol%");  // not a naming token
    int count = 0;
    const char* const* tokens = NamingTokens(count);
    ASSERT_EQ(count, 18);
    EXPECT_STREQ(tokens[0], "%filename%");
    EXPECT_STREQ(tokens[17], "%n%");
}

TEST(NamingTest, OutputPathJoinsFolderSubfolderAndName) {
    Settings s;
    RunState run = MakeRun("/in/sub/pic.png");
    run.relativeSubfolder = "sub/";
    s.keepSubfolders = 1;
    EXPECT_EQ(BuildOutputPath(s, run, FixedTime), "/out/sub/pic.bmp");
    s.keepSubfolders = 0;
    EXPECT_EQ(BuildOutputPath(s, run, FixedTime), "/out/pic.bmp");
    s.keepSubfolders = 1;
    run.relativeSubfolder.clear();
    EXPECT_EQ(BuildOutputPath(s, run, FixedTime), "/out/pic.bmp");
    // Either separator in the mask makes a path below the output folder.
    s.filenameMask = "Year%yyyy%\\%filename%.%ext%";
    EXPECT_EQ(BuildOutputPath(s, run, FixedTime), "/out/year2024/pic.bmp");
}

}  // namespace
}  // namespace tarnwick
