#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "engine/format_registry.h"

using namespace tarnwick;

namespace {

FormatRegistry Built() {
    FormatRegistry reg;
    BuildOutputRegistry(reg);
    BuildInputRegistry(reg);
    return reg;
}

}  // namespace

TEST(FormatRegistry, OutputFormats) {
    FormatRegistry reg = Built();
    BuildOutputRegistry(reg);  // building again overwrites without duplicates
    ASSERT_EQ(reg.outputFormats.size(), 20u);
    ASSERT_EQ(reg.outputOrder.size(), 20u);
    EXPECT_EQ(reg.outputOrder.front(), "bmp");
    EXPECT_EQ(reg.outputOrder.back(), "xpm");

    const OutputFormatInfo* bmp = FindOutputFormat(reg, "bmp");
    ASSERT_NE(bmp, nullptr);
    EXPECT_EQ(bmp->fif, 0);
    EXPECT_EQ(bmp->extension, "bmp");
    EXPECT_EQ(bmp->description, "Windows or OS/2 Bitmap");
    EXPECT_EQ(bmp->bppList, (std::vector<int>{1, 4, 8, 16, 24, 32}));
    EXPECT_EQ(FindOutputFormat(reg, "tga")->fif, 17);
    EXPECT_EQ(FindOutputFormat(reg, "webp")->fif, 35);
    EXPECT_EQ(FindOutputFormat(reg, "jpg")->fif, 2);
    EXPECT_EQ(FindOutputFormat(reg, "jpeg"), nullptr);
    EXPECT_EQ(FindOutputFormat(reg, "BMP"), nullptr);

    for (const auto& [ext, info] : reg.outputFormats) {
        EXPECT_EQ(ext, info.extension);
        // Depth lists are ascending.
        int previous = 0;
        for (int bpp : info.bppList) {
            EXPECT_GT(bpp, previous) << ext;
            previous = bpp;
        }
    }
}

TEST(FormatRegistry, InputExtensionsAndFamilies) {
    FormatRegistry reg = Built();
    BuildInputRegistry(reg);
    ASSERT_EQ(reg.inputExtensions.size(), 79u);
    ASSERT_EQ(reg.inputOrder.size(), 79u);
    std::set<std::string> families;
    for (const auto& [key, info] : reg.inputExtensions) families.insert(info.family);
    EXPECT_EQ(families.size(), 16u);
    EXPECT_EQ(reg.inputOrder.front(), "bmp");
    EXPECT_EQ(reg.inputOrder.back(), "rwl");
    // The first key of every family is the family's own name.
    std::set<std::string> seen;
    for (const std::string& key : reg.inputOrder) {
        const std::string& family = reg.inputExtensions.at(key).family;
        if (seen.insert(family).second) {
            EXPECT_EQ(key, family);
        }
    }

    EXPECT_EQ(FindInputExtension(reg, "tif")->family, "tiff");
    EXPECT_EQ(FindInputExtension(reg, "tiff")->family, "tiff");
    EXPECT_EQ(FindInputExtension(reg, "jpeg")->family, "jpg");
    EXPECT_EQ(FindInputExtension(reg, "apm")->family, "wmf");
    EXPECT_EQ(FindInputExtension(reg, "apm")->description, "Aldus Placeable Metafile");
    EXPECT_EQ(FindInputExtension(reg, "wmz")->description, "Windows Metafile Format");
    EXPECT_EQ(FindInputExtension(reg, "3fr")->family, "raw");
    EXPECT_EQ(FindInputExtension(reg, "dcs")->description, "Kodak Camera RAW Image");
    EXPECT_EQ(FindInputExtension(reg, "png")->description, "Portable Network Graphics");
    EXPECT_EQ(FindInputExtension(reg, "xyz"), nullptr);
}

TEST(FormatRegistry, AcceptedInputExtensions) {
    FormatRegistry reg = Built();
    BuildAcceptedInputExtensions(reg, InputExtensions());
    EXPECT_EQ(reg.acceptedInputExtensions, std::vector<std::string>{"png"});

    BuildAcceptedInputExtensions(reg, {"jpg"});
    EXPECT_EQ(reg.acceptedInputExtensions, (std::vector<std::string>{"jpg", "jpeg", "jpe", "jif"}));
    BuildAcceptedInputExtensions(reg, {"png", "wmf"});
    EXPECT_EQ(reg.acceptedInputExtensions, (std::vector<std::string>{"png", "wmf", "wmz", "apm"}));
    BuildAcceptedInputExtensions(reg, {"raw"});
    EXPECT_EQ(reg.acceptedInputExtensions.size(), 48u);
    BuildAcceptedInputExtensions(reg, {});
    EXPECT_EQ(reg.acceptedInputExtensions, std::vector<std::string>{""});

    EXPECT_EQ(InputExtensions(), std::vector<std::string>{"png"});
    EXPECT_EQ(OutputExtensions(), std::vector<std::string>{"bmp"});
}

TEST(FormatRegistry, IsBppAllowed) {
    const FormatRegistry reg = Built();
    EXPECT_TRUE(IsBppAllowed(reg, "bmp", 16));
    EXPECT_FALSE(IsBppAllowed(reg, "jpg", 16));
    EXPECT_TRUE(IsBppAllowed(reg, "png", 0));
    EXPECT_FALSE(IsBppAllowed(reg, "png", 16));
    EXPECT_TRUE(IsBppAllowed(reg, "png", 48));
    EXPECT_TRUE(IsBppAllowed(reg, "exr", 96));
    EXPECT_FALSE(IsBppAllowed(reg, "bmp", 3));  // not a prefix match of "32"
    EXPECT_FALSE(IsBppAllowed(reg, "bmp", -1));
    EXPECT_FALSE(IsBppAllowed(reg, "xyz", 8));
}

TEST(FormatRegistry, BppChoicesAndLabels) {
    const FormatRegistry reg = Built();
    int selected = -2;
    auto items = BppChoices(reg, "tga", 0, "Auto", selected);
    EXPECT_EQ(items, (std::vector<std::string>{"Auto", "8", "16", "24", "32"}));
    EXPECT_EQ(selected, 0);
    BppChoices(reg, "tga", 24, "Auto", selected);
    EXPECT_EQ(selected, 3);
    BppChoices(reg, "tga", 1, "Auto", selected);
    EXPECT_EQ(selected, -1);

    EXPECT_EQ(OutputFormatLabel(reg, "bmp", true), "BMP (Windows or OS/2 Bitmap)");
    EXPECT_EQ(OutputFormatLabel(reg, "bmp", false), "BMP");
    EXPECT_EQ(OutputFormatLabel(reg, "tiff", true), "TIFF (Tagged Image File Format)");
}

TEST(FormatRegistry, GlobalRegistryIsOneRecord) { EXPECT_EQ(&GlobalRegistry(), &GlobalRegistry()); }
