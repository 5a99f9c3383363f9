// Parameter parsing and the texts of the command line.
#include <gtest/gtest.h>

#include "app/cli.h"
#include "text/catalog.h"
#include "text/product.h"

using namespace tarnwick;

TEST(VersionText, InsertsPointsAndDropsTrailingZero) {
    EXPECT_EQ(VersionText(290), "2.9");
    EXPECT_EQ(VersionText(291), "2.9.1");
    EXPECT_EQ(VersionText(300), "3.0");
    EXPECT_EQ(VersionText(310), "3.1");
    EXPECT_EQ(WindowTitle(), "Pictavo PNG to BMP 2.9");
}

TEST(OptionParsing, KeyIsUpperCasedAndValueFollowsTheFirstEquals) {
    EXPECT_EQ(OptionKey("--Input=x.png"), "--INPUT");
    EXPECT_EQ(OptionKey("-i"), "-I");
    EXPECT_EQ(OptionKey("-i=x"), "-I=X");  // short options take no "=" form
    EXPECT_EQ(OptionKey("photo.png"), "");
    EXPECT_EQ(OptionValue("--input=a=b.png"), "a=b.png");
    EXPECT_EQ(OptionValue("--Mask=Keep Case"), "Keep Case");
    EXPECT_EQ(OptionValue("--brightness=-20"), "-20");
    // Without "=" the value is the whole parameter, which the scan then refuses.
    EXPECT_EQ(OptionValue("--brightness"), "--brightness");
    EXPECT_EQ(OptionValue("-i"), "-i");
}

TEST(HelpText, FillsProgramNameAndExampleExtension) {
    LoadCatalog();
    auto lines = HelpLines("tarnwick", {"png"});
    ASSERT_EQ(lines.size(), 36u);
    EXPECT_EQ(lines[3], "  tarnwick -i example.png");
    EXPECT_EQ(lines[4], "  tarnwick -i /tmp/example.png");
    EXPECT_EQ(lines[5], "  tarnwick -i /tmp/example.png -o ~/converted");
    for (const auto& l : lines) {
        EXPECT_FALSE(l.empty());                          // blank lines hold one blank
        EXPECT_EQ(l.find('\\'), std::string::npos) << l;  // no drive-letter paths
    }
    EXPECT_EQ(lines[13],
              "  -c STR, --conversion=STR  Set output extension, STR = (jpg | bmp | ...)");
}
