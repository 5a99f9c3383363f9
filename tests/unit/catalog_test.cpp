#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "text/catalog.h"
#include "text/catalog_data.h"

using namespace tarnwick;
using catalog_detail::CatalogTables;
using catalog_detail::kCatalogSource;

namespace {

const char* const kMiss = "%NO_STRING_ERROR%";

struct SourceEntry {
    std::string group, key, text;
};

std::vector<SourceEntry> ReadSource() {
    std::vector<SourceEntry> entries;
    std::string group;
    for (const char* const* p = kCatalogSource; std::string(p[0]) != "_END_"; p += 2) {
        if (std::string(p[0]) == "_GROUP_") group = p[1];
        else entries.push_back({group, p[0], p[1]});
    }
    return entries;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

}  // namespace

TEST(CatalogSource, GroupsInOrderWithTheirEntryCounts) {
    std::vector<std::pair<std::string, int>> groups;
    for (const char* const* p = kCatalogSource; std::string(p[0]) != "_END_"; p += 2) {
        if (std::string(p[0]) == "_GROUP_") groups.emplace_back(p[1], 0);
        else ++groups.back().second;
    }
    const std::vector<std::pair<std::string, int>> expected{{"Menu", 27},
                                                            {"General", 10},
                                                            {"Msg", 41},
                                                            {"Dialog", 16},
                                                            {"Preferences", 214},
                                                            {"About", 4},
                                                            {"Custom-Converter", 4},
                                                            {"Uninstall", 3}};
    EXPECT_EQ(groups, expected);
}

TEST(CatalogSource, KeysAreUniquePerGroupExceptTheDoubleMedium) {
    std::map<std::string, int> seen;
    for (const auto& e : ReadSource()) ++seen[e.group + "/" + Lower(e.key)];
    for (const auto& [name, count] : seen) {
        if (name == "Preferences/medium") EXPECT_EQ(count, 2);
        else EXPECT_EQ(count, 1) << name;
    }
}

TEST(Catalog, EveryEntryIsFoundWhateverTheCase) {
    LoadCatalog();
    LoadCatalog();  // a second load changes nothing
    for (const auto& e : ReadSource()) {
        EXPECT_EQ(CatalogText(e.group, e.key), e.text) << e.group << "/" << e.key;
        EXPECT_EQ(CatalogText(Lower(e.group), Lower(e.key)), e.text) << e.group << "/" << e.key;
    }
}

TEST(Catalog, KnownTexts) {
    EXPECT_EQ(CatalogText("Preferences", "Check For Updates"), "Check for Updates:");
    EXPECT_EQ(CatalogText("Msg", "Check for Updates"), "Check for Updates");
    EXPECT_EQ(CatalogText("Preferences", "Medium"), "Medium");
    EXPECT_EQ(CatalogText("General", "Input File"), "Input File:");
    EXPECT_EQ(CatalogText("Custom-Converter", "From"), "From:");
    EXPECT_EQ(CatalogText("About", "Title"), "About...");
    EXPECT_EQ(CatalogText("Uninstall", "Title"), "Uninstall");
    EXPECT_EQ(CatalogText("Msg", "Invalid output folder"),
              "The following output folder is invalid or doesn't exist:\r\n%s1%\r\n\r\n"
              "Please, correct the output path and try again!");
}

TEST(Catalog, MissesYieldTheErrorText) {
    EXPECT_EQ(CatalogText("Msg", "No such key"), kMiss);
    EXPECT_EQ(CatalogText("Nothing", "Error"), kMiss);
    EXPECT_EQ(CatalogText("", "Error"), kMiss);
    EXPECT_EQ(CatalogText("Msg", ""), kMiss);
    EXPECT_EQ(CatalogText("Msg", "Erro"), kMiss);       // a prefix of a key
    EXPECT_EQ(CatalogText("Msg", "Errors"), kMiss);     // a key extended
    EXPECT_EQ(CatalogText("Msg", "Zzz"), kMiss);        // past the last key
    EXPECT_EQ(CatalogText("Menu", "Language"), kMiss);  // a key of another group
}

TEST(Catalog, AlternatingGroupsAndMissesKeepTheCacheRight) {
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(CatalogText("Menu", "Open"), "Open...");
        EXPECT_EQ(CatalogText("Dialog", "OK"), "OK");
        EXPECT_EQ(CatalogText("Nothing", "Open"), kMiss);
        EXPECT_EQ(CatalogText("Title", "Open"), kMiss);
        EXPECT_EQ(CatalogText("About", "Title"), "About...");
        EXPECT_EQ(CatalogText("Preferences", "Title"), "Preferences...");
    }
}

TEST(CatalogTables, LayoutAfterLoading) {
    CatalogTables t;
    t.Load(kCatalogSource);
    ASSERT_EQ(t.Groups().size(), 9u);
    EXPECT_EQ(t.Groups()[0].name, "");
    EXPECT_EQ(t.Groups()[5].name, "PREFERENCES");
    EXPECT_EQ(t.Keys().size(), 320u);
    EXPECT_EQ(t.Groups()[1].firstEntry, 1);
    EXPECT_EQ(t.Groups()[8].lastEntry, 319);
    for (size_t g = 1; g < t.Groups().size(); ++g) {
        const auto& grp = t.Groups()[g];
        for (int32_t n = grp.firstEntry; n < grp.lastEntry; ++n)
            EXPECT_LE(t.Keys()[n], t.Keys()[n + 1]) << grp.name;
        for (int c = 0; c < 256; ++c) {
            const int32_t n = grp.firstCharIndex[c];
            if (n == 0) continue;
            EXPECT_EQ(static_cast<unsigned char>(t.Keys()[n][0]), c);
            if (n > grp.firstEntry) {
                EXPECT_NE(static_cast<unsigned char>(t.Keys()[n - 1][0]), c);
            }
        }
    }
}

TEST(CatalogTables, EmptyGroupsPrefixKeysAndLowerCaseMarkers) {
    const char* const block[] = {
        "_group_", "Empty", "_GROUP_", "Words", "ab", "two",  "a",     "one",
        "b",       "three", "_GROUP_", "Last",  "a",  "last", "_end_", "",
    };
    CatalogTables t;
    t.Load(block);
    ASSERT_EQ(t.Groups().size(), 4u);
    EXPECT_EQ(t.Groups()[1].firstEntry, t.Groups()[1].lastEntry + 1);
    EXPECT_EQ(t.Text("empty", "a"), kMiss);
    EXPECT_EQ(t.Text("words", "A"), "one");
    EXPECT_EQ(t.Text("words", "AB"), "two");
    EXPECT_EQ(t.Text("words", "b"), "three");
    EXPECT_EQ(t.Text("words", "aa"), kMiss);
    EXPECT_EQ(t.Text("last", "a"), "last");
    EXPECT_EQ(t.Text("words", "ac"), kMiss);
    EXPECT_EQ(t.Text("last", "b"), kMiss);
}

TEST(FormatMessage, Placeholders) {
    const std::string files = "Files converted: %s1% of %s2%";
    EXPECT_EQ(FormatMessage(files, "3", "5"), "Files converted: 3 of 5");
    EXPECT_EQ(FormatMessage(files, "3", ""), "Files converted: 3 of %s2%");
    EXPECT_EQ(FormatMessage("", "a", "b", "c", "d"), "");
    EXPECT_EQ(FormatMessage("%S1%-%s1%-%s4%-%S3%", "x", "", "z", "w"), "x-x-w-z");
    // Replacement runs in order on the growing text.
    EXPECT_EQ(FormatMessage("[%s1%]", "%s2%", "two"), "[two]");
    EXPECT_EQ(FormatMessage("[%s2%]", "two", "%s1%"), "[%s1%]");
    // A value holding its own placeholder is inserted once, not expanded again.
    EXPECT_EQ(FormatMessage("%s1%%s1%", "%s1%"), "%s1%%s1%");
}
