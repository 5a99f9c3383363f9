// The window-mode session: the window opens where the configuration says, and
// the configuration written at exit follows the geometry rules.
#include <QComboBox>
#include <filesystem>

#include "gui_support.h"
#include "platform/platform.h"
#include "settings/config.h"
#include "settings/settings.h"
#include "support/test_support.h"
#include "ui/window_mode.h"

namespace tarnwick::test {
namespace {

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetProgramState();
        std::filesystem::remove(SettingsFolder() + "config.ini");
    }
    // Writes a configuration with the given window fields.
    void WriteConfig(int x, int y, int width, int maximized, int history,
                     const std::string& recent) {
        Settings s;
        ApplyDefaults(s, false, 1920, 1080);
        s.windowX = x;
        s.windowY = y;
        s.windowWidth = width;
        s.isMaximized = static_cast<int8_t>(maximized);
        s.outFoldersHistory = static_cast<int8_t>(history);
        s.recentOutFolders = recent;
        ASSERT_TRUE(SaveConfiguration(s, SettingsFolder() + "config.ini"));
    }
    Settings Saved() {
        Settings s;
        LoadConfiguration(s, SettingsFolder() + "config.ini", 1920, 1080);
        return s;
    }
    FakeDialogs dialogs;
};

TEST_F(SessionTest, OpensAtTheStoredPlaceAndStoresTheNewOne) {
    WriteConfig(120, 80, 640, 0, 1, "/a/\t/b/");
    WindowModeSession session(dialogs);
    session.Start();
    MainWindow& w = session.Window();
    EXPECT_EQ(w.pos(), QPoint(120, 80));
    EXPECT_EQ(w.width(), 640);
    EXPECT_EQ(w.OutputFolderList()->count(), 2);

    w.move(200, 150);
    w.resize(720, w.height());
    w.close();
    ASSERT_TRUE(session.Finish());
    const Settings s = Saved();
    EXPECT_EQ(s.isMaximized, 0);
    EXPECT_EQ(s.windowX, 200);
    EXPECT_EQ(s.windowY, 150);
    EXPECT_EQ(s.windowWidth, 720);
    EXPECT_EQ(s.windowHeight, 260);
    EXPECT_EQ(s.recentOutFolders, "/a/\t/b/");
}

TEST_F(SessionTest, MaximisedWindowKeepsTheStoredGeometry) {
    WriteConfig(120, 80, 640, 1, 0, "/a/");
    WindowModeSession session(dialogs);
    session.Start();
    ASSERT_TRUE(session.Window().isMaximized());  // opened maximised
    session.Window().close();
    ASSERT_TRUE(session.Finish());
    const Settings s = Saved();
    EXPECT_EQ(s.isMaximized, 1);
    EXPECT_EQ(s.windowX, 120);
    EXPECT_EQ(s.windowY, 80);
    EXPECT_EQ(s.windowWidth, 640);
    // Output folder history "clean on exit".
    EXPECT_EQ(s.recentOutFolders, "");
}

TEST_F(SessionTest, WithoutConfigurationTheWindowIsCentred) {
    WindowModeSession session(dialogs);
    session.Start();
    EXPECT_EQ(session.ConfigPath(), SettingsFolder() + "config.ini");
    int width, height;
    DesktopSize(&width, &height);
    ASSERT_GT(width, 510);
    ASSERT_GT(height, 260);
    EXPECT_EQ(session.Window().pos(), QPoint((width - 510) / 2, (height - 260) / 2));
    session.Window().close();
    ASSERT_TRUE(session.Finish());
    EXPECT_GT(platform::FileSize(session.ConfigPath()), 0);
}

}  // namespace
}  // namespace tarnwick::test
