// Rules of the window mode that need no window: layout, recent folders,
// open-file filter, shortened paths and the state stored at exit.
#include <gtest/gtest.h>

#include "engine/format_registry.h"
#include "settings/settings.h"
#include "ui/window_logic.h"

namespace tarnwick {
namespace {

TEST(MainLayoutTest, FieldsAndButtonsFollowTheRightEdge) {
    // At the minimum width: fields 350 wide, field buttons at 364, Convert at 400.
    MainLayout narrow = ComputeMainLayout(510, 260, 20, 40, 22);
    EXPECT_EQ(narrow.inputField, (Rect{10, 20, 350, 20}));
    EXPECT_EQ(narrow.outputFolderList, (Rect{10, 60, 350, 21}));
    EXPECT_EQ(narrow.outputFormatList, (Rect{10, 100, 350, 21}));
    EXPECT_EQ(narrow.fieldButtons[0], (Rect{364, 19, 24, 24}));
    EXPECT_EQ(narrow.fieldButtons[1], (Rect{364, 59, 24, 24}));
    EXPECT_EQ(narrow.fieldButtons[2], (Rect{364, 99, 24, 24}));
    EXPECT_EQ(narrow.convertButton, (Rect{400, 20, 100, 100}));
    EXPECT_EQ(narrow.panel, (Rect{0, 40, 510, 260 - 20 - 40 - 22 - 40}));
    EXPECT_EQ(narrow.noticeLabel, (Rect{10, 190, 350, 20}));

    for (int width : {640, 1000, 1917}) {
        MainLayout l = ComputeMainLayout(width, 260, 20, 40, 22);
        EXPECT_EQ(l.inputField.w, width - 160);
        EXPECT_EQ(l.outputFolderList.w, width - 160);
        EXPECT_EQ(l.outputFormatList.w, width - 160);
        for (const Rect& b : l.fieldButtons) EXPECT_EQ(b.x, width - 146);
        EXPECT_EQ(l.convertButton.x, width - 110);
        EXPECT_EQ(l.inputLabel, narrow.inputLabel);  // labels keep their size
        EXPECT_EQ(l.panel.w, width);
    }
}

TEST(MainLayoutTest, ToolbarIconPixelsBySizeIndex) {
    EXPECT_EQ(ToolbarIconPixels(0), 16);
    EXPECT_EQ(ToolbarIconPixels(1), 24);
    EXPECT_EQ(ToolbarIconPixels(2), 32);
    EXPECT_EQ(ToolbarIconPixels(3), 48);
    EXPECT_EQ(ToolbarIconPixels(4), 64);
    EXPECT_EQ(ToolbarIconPixels(5), 16);
    EXPECT_EQ(ToolbarIconPixels(-1), 16);
}

TEST(RecentFoldersTest, ReadingEntries) {
    Settings s;
    s.recentOutFolders = "  /a/ \t/b/\t\t/c/";
    EXPECT_EQ(RecentOutFolder(s, 0), "/a/");
    EXPECT_EQ(RecentOutFolder(s, 1), "/b/");
    EXPECT_EQ(RecentOutFolder(s, 2), "");
    EXPECT_EQ(RecentOutFolder(s, 3), "/c/");
    EXPECT_EQ(RecentOutFolder(s, 4), "");
    EXPECT_EQ(RecentOutFolder(s, -1), "");

    // The list shows the non-empty entries; the selection is the list position
    // of the entry equal (same case) to the current folder, else 0.
    int selection = -1;
    auto items = RecentOutFolderItems(s, "/c/", &selection);
    EXPECT_EQ(items, (std::vector<std::string>{"/a/", "/b/", "/c/"}));
    EXPECT_EQ(selection, 2);
    RecentOutFolderItems(s, "/C/", &selection);
    EXPECT_EQ(selection, 0);
}

TEST(RecentFoldersTest, AddingMovesToTopDropsDuplicatesAndKeepsTheLimit) {
    Settings s;
    s.outFoldersNumber = 5;
    EXPECT_EQ(AddRecentOutFolder(s, ""), 0);
    EXPECT_EQ(s.recentOutFolders, "");

    for (const char* f : {"/1/", "/2/", "/3/", "/4/", "/5/"})
        EXPECT_EQ(AddRecentOutFolder(s, f), 1);
    EXPECT_EQ(s.recentOutFolders, "/5/\t/4/\t/3/\t/2/\t/1/");

    // A sixth folder drops the oldest.
    AddRecentOutFolder(s, "/6/");
    EXPECT_EQ(s.recentOutFolders, "/6/\t/5/\t/4/\t/3/\t/2/");

    // A folder already listed, in another case, moves to the top in the new case.
    s.recentOutFolders = "/6/\t/Photos/Ärger/\t/4/";
    AddRecentOutFolder(s, "/PHOTOS/ÄRGER/");
    EXPECT_EQ(s.recentOutFolders, "/PHOTOS/ÄRGER/\t/6/\t/4/");
    EXPECT_EQ(FolderFingerprint("/photos/ärger/"), FolderFingerprint("/PHOTOS/ÄRGER/"));
    EXPECT_NE(FolderFingerprint("/photos/a/"), FolderFingerprint("/photos/b/"));

    // Blanks around entries are trimmed; empty entries are dropped.
    s.recentOutFolders = " /x/ \t\t /y/";
    AddRecentOutFolder(s, "/z/");
    EXPECT_EQ(s.recentOutFolders, "/z/\t/x/\t/y/");

    s.outFoldersNumber = 1;
    AddRecentOutFolder(s, "/only/");
    EXPECT_EQ(s.recentOutFolders, "/only/");
}

TEST(InputFilterTest, ProductFilterAndItsQtForm) {
    FormatRegistry reg;
    BuildInputRegistry(reg);
    BuildAcceptedInputExtensions(reg, {"png"});
    const std::string filter = BuildInputFilter(reg, "All Supported Files", "All Files");
    EXPECT_EQ(filter,
              "All Supported Files|*.png|Portable Network Graphics|*.png|All Files (*.*)|*.*");
    EXPECT_EQ(FilterToNameFilters(filter),
              (std::vector<std::string>{"All Supported Files (*.png)",
                                        "Portable Network Graphics (*.png)", "All Files (*)"}));

    // Extensions of one description share an entry, the one added last first.
    reg.acceptedInputExtensions = {"jpg", "jpeg", "png"};
    const std::string wider = BuildInputFilter(reg, "All", "Any");
    EXPECT_EQ(wider.substr(0, wider.find('|', 4) + 1), "All|*.jpg;*.jpeg;*.png|");
    EXPECT_NE(wider.find("|*.jpeg;*.jpg|"), std::string::npos);
    EXPECT_NE(FilterToNameFilters(wider).front().find("(*.jpg *.jpeg *.png)"), std::string::npos);
}

TEST(ShortenPathTest, KeepsBothEndsAroundDots) {
    const std::string fifty = "/home/user/pictures/2024/holiday/beach/img0001.png";
    ASSERT_EQ(fifty.size(), 50u);
    const std::string shortened = ShortenPath(fifty, 40);
    EXPECT_EQ(shortened, fifty.substr(0, 18) + "..." + fifty.substr(50 - 18));
    EXPECT_LE(shortened.size(), 40u);
    EXPECT_EQ(ShortenPath(fifty, 50), fifty);
    EXPECT_EQ(ShortenPath("", 3), "");

    // Characters, not bytes: a multi-byte character is never cut in half.
    const std::string umlauts = "/ääääääääää/öööööööööö.png";
    EXPECT_EQ(CharacterCount(umlauts), 26);
    EXPECT_EQ(ShortenPath(umlauts, 13), "/ääää...ö.png");
}

TEST(WindowStateTest, GeometryStoredOnlyForANormalWindow) {
    Settings s;
    s.windowX = 1, s.windowY = 2, s.windowWidth = 600, s.windowHeight = 260;

    WindowSnapshot normal{false, false, 30, 40, 700, 260};
    StoreWindowStateForExit(normal, s);
    EXPECT_EQ(s.isMaximized, 0);
    EXPECT_EQ(s.windowX, 30);
    EXPECT_EQ(s.windowY, 40);
    EXPECT_EQ(s.windowWidth, 700);
    EXPECT_EQ(s.windowHeight, 260);

    WindowSnapshot maximized{true, false, 0, 0, 1920, 260};
    StoreWindowStateForExit(maximized, s);
    EXPECT_EQ(s.isMaximized, 1);
    EXPECT_EQ(s.windowX, 30);
    EXPECT_EQ(s.windowWidth, 700);

    WindowSnapshot minimized{false, true, -32000, -32000, 160, 28};
    StoreWindowStateForExit(minimized, s);
    EXPECT_EQ(s.isMaximized, 1);
    EXPECT_EQ(s.windowX, 30);

    // Minimised from the maximised state: still nothing is stored.
    s.isMaximized = 0;
    WindowSnapshot minimizedFromMaximized{true, true, -32000, -32000, 160, 28};
    StoreWindowStateForExit(minimizedFromMaximized, s);
    EXPECT_EQ(s.isMaximized, 0);
    EXPECT_EQ(s.windowX, 30);

    s.recentOutFolders = "/a/";
    s.outFoldersHistory = 1;
    StoreWindowStateForExit(normal, s);
    EXPECT_EQ(s.recentOutFolders, "/a/");
    s.outFoldersHistory = 0;
    StoreWindowStateForExit(normal, s);
    EXPECT_EQ(s.recentOutFolders, "");
}

}  // namespace
}  // namespace tarnwick
