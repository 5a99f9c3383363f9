// Icon themes: theme.cfg reading, the installed packages, loading a theme at
// the chosen sizes, the fallback package and hostile packages.
#include <archive.h>
#include <archive_entry.h>

#include <QAction>
#include <QBuffer>
#include <QColor>
#include <QComboBox>
#include <QImage>
#include <QPixmap>
#include <QToolBar>
#include <utility>
#include <vector>

#include "engine/run_state.h"
#include "gui_support.h"
#include "platform/platform.h"
#include "settings/settings.h"
#include "support/test_support.h"
#include "ui/images.h"
#include "ui/main_window.h"
#include "ui/preferences/preferences_dialog.h"
#include "ui/themes.h"

namespace tarnwick::test {
namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

// Writes a zip package with deflated entries.
void WriteZip(const std::string& path, const Entries& entries) {
    archive* a = archive_write_new();
    ASSERT_NE(a, nullptr);
    archive_write_set_format_zip(a);
    ASSERT_EQ(archive_write_open_filename(a, path.c_str()), ARCHIVE_OK);
    for (const auto& [name, data] : entries) {
        archive_entry* e = archive_entry_new();
        archive_entry_set_pathname(e, name.c_str());
        archive_entry_set_size(e, static_cast<la_int64_t>(data.size()));
        archive_entry_set_filetype(e, AE_IFREG);
        archive_entry_set_perm(e, 0644);
        archive_write_header(a, e);
        archive_write_data(a, data.data(), data.size());
        archive_entry_free(e);
    }
    archive_write_close(a);
    archive_write_free(a);
}

std::string Png(int size, QColor color) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

QRgb Pixel(const QPixmap& p) { return p.toImage().pixel(0, 0); }

std::string Cfg(const std::string& name, const std::string& icons) {
    return "[Theme]\r\nName=" + name + "\r\n[Buttons]\r\nConvert=convert.png\r\n[Icons]\r\n" +
           icons;
}

class ThemeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetProgramState();
        LoadBuiltInImages();
        GlobalRunState().programFolder = dir.path();
        platform::CreateFolders(dir / "gfx/");
        WriteFile(dir / "gfx/.keep", "");
    }
    void TearDown() override {
        GlobalThemeTable().clear();
        LoadBuiltInImages();
    }
    std::string Package(const std::string& key) const { return dir / ("gfx/" + key + ".zip"); }

    TempDir dir;
};

TEST(ReadCfgValue, FollowsTheThemeFileRules) {
    const std::string cfg =
        "[Theme]\r\nName = A = B\r\nNameX=other\r\n[Icons]\r\nnew=  \tnew_icon \r\nLast=x";
    EXPECT_EQ(ReadCfgValue(cfg, "Theme", "Name"), "A");        // cut at a second "="
    EXPECT_EQ(ReadCfgValue(cfg, "theme", "NAME"), "A");        // without regard to case
    EXPECT_EQ(ReadCfgValue(cfg, "Icons", "New"), "new_icon");  // spaces, then tabs, then spaces
    EXPECT_EQ(ReadCfgValue(cfg, "Icons", "Last"), "");         // last line without a line break
    EXPECT_EQ(ReadCfgValue(cfg, "Icons", "Name"), "");         // only in another group
    EXPECT_EQ(ReadCfgValue(cfg, "Buttons", "New"), "");
    // The key matches a line's beginning as a prefix.
    EXPECT_EQ(ReadCfgValue("[Theme]\r\nNameX=1\r\n", "Theme", "Name"), "1");
    // The Name entry as the last line of the file gives an empty name.
    EXPECT_EQ(ReadCfgValue("[Theme]\r\nName=Last line", "Theme", "Name"), "");
    EXPECT_EQ(ReadCfgValue("[Theme]\r\nName\r\n", "Theme", "Name"), "");

    EXPECT_EQ(ThemeImageFile("new", 16), "new_16.png");
    EXPECT_EQ(ThemeImageFile("new", 32), "new_32.png");
    EXPECT_EQ(ThemeImageFile("New.PNG", 48), "New.PNG");
}

TEST_F(ThemeTest, ScanFindsPackagesWithTheirDisplayNames) {
    WriteZip(Package("beta"), {{"theme.cfg", Cfg("Beta Icons", "")}});
    WriteZip(Package("alpha"), {{"theme.cfg", "[Theme]\r\nName=First"}});  // no line break after it
    // The name lies beyond the first 255 bytes of theme.cfg.
    WriteZip(Package("long"),
             {{"theme.cfg", "[Theme]\r\n;" + std::string(300, 'x') + "\r\nName=Late\r\n"}});
    WriteZip(Package("nocfg"), {{"other.txt", "hello"}});
    WriteFile(Package("broken"), "this is not a zip archive");
    WriteFile(Package("empty"), "");
    WriteFile(dir / "gfx/readme.txt", "not a package");

    ScanThemes();
    const std::map<std::string, std::string> expected{{"alpha", ""},        {"beta", "Beta Icons"},
                                                      {"broken", "broken"}, {"empty", "empty"},
                                                      {"long", ""},         {"nocfg", ""}};
    EXPECT_EQ(GlobalThemeTable(), expected);
    EXPECT_EQ(LastFoundTheme(), "nocfg");

    // No gfx folder: no themes, nothing else happens.
    GlobalRunState().programFolder = dir / "nowhere/";
    ScanThemes();
    EXPECT_TRUE(GlobalThemeTable().empty());
    EXPECT_EQ(LastFoundTheme(), "");
}

TEST_F(ThemeTest, BaseNamesAreCompletedWithTheIconSize) {
    WriteZip(Package("sized"),
             {{"theme.cfg", Cfg("Sized", "New=new\r\nExit=Exit.PNG\r\nAdd=missing\r\n")},
              {"new_16.png", Png(16, Qt::red)},
              {"new_32.png", Png(32, Qt::green)},
              {"Exit.PNG", Png(20, Qt::blue)},
              {"convert.png", Png(64, Qt::yellow)}});
    const QPixmap builtinAdd = GlobalIcons().menu["Add"];
    GlobalSettings().uiTheme = "sized";
    GlobalSettings().uiSize = 2;
    ScanThemes();
    ApplyTheme(true, true, true);
    IconTables& t = GlobalIcons();
    EXPECT_EQ(t.menu["New"].size(), QSize(16, 16));
    EXPECT_EQ(Pixel(t.menu["New"]), QColor(Qt::red).rgba());
    EXPECT_EQ(t.toolbar["New"].size(), QSize(32, 32));
    EXPECT_EQ(Pixel(t.toolbar["New"]), QColor(Qt::green).rgba());
    // A file name with ".png" is used for every size.
    EXPECT_EQ(Pixel(t.menu["Exit"]), QColor(Qt::blue).rgba());
    EXPECT_EQ(Pixel(t.toolbar["Exit"]), QColor(Qt::blue).rgba());
    EXPECT_EQ(Pixel(t.buttons["Convert"]), QColor(Qt::yellow).rgba());
    // An image the package lacks keeps the built-in one.
    EXPECT_EQ(t.menu["Add"].toImage(), builtinAdd.toImage());

    // Only the toolbar is reloaded after a size change.
    GlobalSettings().uiSize = 0;
    t.menu["New"] = QPixmap();
    ApplyTheme(false, false, true);
    EXPECT_EQ(t.toolbar["New"].size(), QSize(16, 16));
    EXPECT_TRUE(t.menu["New"].isNull());
}

TEST_F(ThemeTest, MissingPackageFallsBackToTheLastOneFound) {
    WriteZip(Package("a"),
             {{"theme.cfg", Cfg("A", "New=New.png\r\n")}, {"New.png", Png(16, Qt::red)}});
    WriteZip(Package("b"),
             {{"theme.cfg", Cfg("B", "New=New.png\r\n")}, {"New.png", Png(16, Qt::green)}});
    GlobalSettings().uiTheme = "deleted";
    ScanThemes();
    ApplyTheme(true, true, true);
    EXPECT_EQ(GlobalSettings().uiTheme, "b");
    EXPECT_EQ(Pixel(GlobalIcons().menu["New"]), QColor(Qt::green).rgba());

    // A key that is a path names no package either.
    GlobalSettings().uiTheme = "../gfx/a";
    ApplyTheme(true, true, true);
    EXPECT_EQ(GlobalSettings().uiTheme, "b");

    // With no packages at all nothing changes.
    GlobalThemeTable().clear();
    GlobalRunState().programFolder = dir / "nowhere/";
    ScanThemes();
    GlobalSettings().uiTheme = "deleted";
    ApplyTheme(true, true, true);
    EXPECT_EQ(GlobalSettings().uiTheme, "deleted");
}

// Sets every stored uncompressed size of a zip file to `size` (a lying package).
void PatchStoredSizes(const std::string& path, uint32_t size) {
    std::string zip = ReadFile(path);
    const auto put = [&](size_t at) {
        for (int i = 0; i < 4; ++i)
            zip[at + static_cast<size_t>(i)] = static_cast<char>((size >> (8 * i)) & 0xFF);
    };
    for (size_t i = 0; i + 46 < zip.size(); ++i) {
        if (zip.compare(i, 4, "PK\x03\x04") == 0) put(i + 22);
        if (zip.compare(i, 4, "PK\x01\x02") == 0) put(i + 24);
        if (zip.compare(i, 4, "PK\x07\x08") == 0) put(i + 12);
    }
    WriteFile(path, zip);
}

TEST_F(ThemeTest, HostilePackagesLeaveTheImagesAsTheyWere) {
    const IconTables before = GlobalIcons();
    const auto unchanged = [&](const char* what) {
        for (const auto& [name, image] : before.menu)
            EXPECT_EQ(GlobalIcons().menu[name].toImage(), image.toImage()) << what << " " << name;
        for (const auto& [name, image] : before.toolbar)
            EXPECT_EQ(GlobalIcons().toolbar[name].toImage(), image.toImage())
                << what << " " << name;
    };
    const std::string cfg = Cfg("Hostile", "New=new\r\nExit=../exit.png\r\nAdd=/tmp/add.png\r\n");
    const std::string big(9 * 1024 * 1024, '\0');  // over the entry limit; deflates to a few KiB

    WriteZip(Package("big"), {{"theme.cfg", cfg}, {"new_16.png", big}, {"new_32.png", big}});
    WriteZip(Package("paths"), {{"theme.cfg", cfg},
                                {"../exit.png", Png(16, Qt::red)},
                                {"/tmp/add.png", Png(16, Qt::red)}});
    WriteZip(Package("bomb"), {{"theme.cfg", cfg}, {"new_16.png", big}});
    PatchStoredSizes(Package("bomb"), 100);  // claims 100 bytes, inflates to 9 MiB
    WriteZip(Package("nocfg"), {{"new_16.png", Png(16, Qt::red)}});
    WriteZip(Package("badpng"),
             {{"theme.cfg", cfg}, {"new_16.png", "\x89PNG\r\n\x1a\nnot really"}});
    WriteZip(Package("truncated"), {{"theme.cfg", cfg}, {"new_16.png", Png(16, Qt::red)}});
    const std::string whole = ReadFile(Package("truncated"));
    WriteFile(Package("truncated"), whole.substr(0, whole.size() / 2));
    WriteFile(Package("text"), "PK but not really a zip file at all");

    ScanThemes();
    for (const char* key : {"big", "paths", "bomb", "nocfg", "badpng", "truncated", "text"}) {
        GlobalSettings().uiTheme = key;
        ApplyTheme(true, true, true);
        EXPECT_EQ(GlobalSettings().uiTheme, key);
        unchanged(key);
    }

    ZipPackage paths(Package("paths"));
    ASSERT_TRUE(paths.Open());
    EXPECT_EQ(paths.Entries().count("../exit.png"), 0u);
    EXPECT_EQ(paths.Entries().count("/tmp/add.png"), 0u);
    ZipPackage bomb(Package("bomb"));
    ASSERT_TRUE(bomb.Open());
    EXPECT_FALSE(bomb.Extract("new_16.png").has_value());
    // Nothing was unpacked anywhere beside the packages.
    EXPECT_EQ(ReadFile(dir / "gfx/.keep"), "");
    EXPECT_EQ(platform::FileSize(dir / "exit.png"), -1);
    EXPECT_EQ(platform::FileSize("/tmp/add.png"), -1);
}

class ThemeInWindowTest : public WindowTest {
protected:
    void BeforeCreate() override {
        GlobalRunState().programFolder = dir.path();
        platform::CreateFolders(dir / "gfx/");
        const std::string icons = "New=new\r\nPreferences=new\r\n";
        WriteZip(dir / "gfx/zeta.zip", {{"theme.cfg", Cfg("Zeta", icons)},
                                        {"new_16.png", Png(16, Qt::red)},
                                        {"new_32.png", Png(32, Qt::red)}});
        WriteZip(dir / "gfx/Flat.zip", {{"theme.cfg", Cfg("Flat", icons)},
                                        {"new_16.png", Png(16, Qt::blue)},
                                        {"new_32.png", Png(32, Qt::blue)},
                                        {"new_48.png", Png(48, Qt::green)}});
        WriteZip(dir / "gfx/unnamed.zip", {{"theme.cfg", "[Theme]\r\n"}});
        GlobalSettings().uiTheme = "zeta";
        ScanThemes();
        ApplyTheme(true, true, true);
    }
    void TearDown() override {
        WindowTest::TearDown();
        GlobalThemeTable().clear();
        LoadBuiltInImages();
    }
    TempDir dir;
};

TEST_F(ThemeInWindowTest, ThemeChosenInThePreferencesIsAppliedAtOnce) {
    window->SetConfigPath(dir / "config.ini");
    GlobalRunState().programFolder = dir.path();  // the New command set the real one
    const auto toolbarPixel = [&](const char* tooltip) {
        for (QAction* a : window->Toolbar()->actions())
            if (a->toolTip() == QString::fromLatin1(tooltip)) {
                const QSize size = window->Toolbar()->iconSize();
                return a->icon().pixmap(size).toImage().pixel(size.width() / 2, size.height() / 2);
            }
        return QRgb(0);
    };
    EXPECT_EQ(toolbarPixel("New"), QColor(Qt::red).rgba());

    window->RunCommand(kCmdPreferences);
    PreferencesDialog* d = window->Preferences();
    ASSERT_NE(d, nullptr);
    QComboBox* themes = d->findChild<QComboBox*>(QStringLiteral("uiTheme"));
    ASSERT_NE(themes, nullptr);
    // Sorted without regard to case; the package without a name is not offered.
    ASSERT_EQ(themes->count(), 2);
    EXPECT_EQ(themes->itemText(0).toStdString(), "Flat");
    EXPECT_EQ(themes->itemText(1).toStdString(), "Zeta");
    EXPECT_EQ(themes->currentIndex(), 1);
    themes->setCurrentIndex(0);
    d->findChild<QComboBox*>(QStringLiteral("uiSize"))->setCurrentIndex(1);
    d->Confirm();
    EXPECT_EQ(GlobalSettings().uiTheme, "Flat");
    EXPECT_EQ(GlobalSettings().uiSize, 1);
    EXPECT_EQ(window->Toolbar()->iconSize(), QSize(24, 24));
    // The menus take the new theme too; the 24-pixel image the package lacks
    // falls back to the built-in picture, not to the previous theme's.
    EXPECT_EQ(Pixel(GlobalIcons().menu["New"]), QColor(Qt::blue).rgba());
    EXPECT_NE(toolbarPixel("New"), QColor(Qt::red).rgba());
    const std::string saved = ReadFile(dir / "config.ini");
    EXPECT_NE(saved.find("UI Theme = Flat"), std::string::npos);
}

}  // namespace
}  // namespace tarnwick::test
