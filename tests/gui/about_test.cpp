// The Help menu and the converter search without a screen: manual, feedback
// and home-page links, the About box, the converter-search dialog and the
// update check against a loopback server. Links go to a recording opener.
#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QToolBar>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "engine/run_state.h"
#include "gui_support.h"
#include "platform/platform.h"
#include "settings/config.h"
#include "settings/settings.h"
#include "support/loopback_server.h"
#include "ui/about_box.h"
#include "ui/converter_search.h"
#include "ui/help_commands.h"
#include "ui/links.h"
#include "ui/window_logic.h"
#include "ui/window_mode.h"

namespace tarnwick::test {
namespace {

std::string S(const QString& s) { return s.toStdString(); }

class RecordingOpener : public DesktopOpener {
public:
    std::vector<std::string> opened;
    void Open(const std::string& target) override { opened.push_back(target); }
};

// FakeDialogs that also records information boxes.
class RecordingDialogs : public FakeDialogs {
public:
    std::vector<std::pair<std::string, std::string>> infos;
    void Info(const std::string& title, const std::string& text) override {
        infos.emplace_back(title, text);
    }
};

// No window test of this program starts a browser or mail program: links of
// windows that have no opener of their own are only recorded.
class NoDesktopEnvironment : public ::testing::Environment {
public:
    void SetUp() override { SetDefaultDesktopOpener(&opener_); }
    void TearDown() override { SetDefaultDesktopOpener(nullptr); }

private:
    RecordingOpener opener_;
};

[[maybe_unused]] ::testing::Environment* const kNoDesktop =
    ::testing::AddGlobalTestEnvironment(new NoDesktopEnvironment);

void FinishDeletes() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void PressKey(QWidget* target, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
}

class HelpTest : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("TARNWICK_SITE");
        ResetProgramState();
        window = std::make_unique<MainWindow>(dialogs);
        window->Create({100, 100, 510, 260});
        window->Prepare();
        window->Help().SetOpener(opener);
    }
    void TearDown() override {
        window.reset();
        FinishDeletes();
        unsetenv("TARNWICK_SITE");
    }
    AboutBox* About() { return window->Help().OpenAboutBox(); }
    ConverterSearch* Search() { return window->Help().OpenConverterSearch(); }

    RecordingDialogs dialogs;
    RecordingOpener opener;
    std::unique_ptr<MainWindow> window;
};

const std::pair<std::string, std::string> kNoUpdate{
    "No Update",
    "There is no update of Pictavo PNG to BMP yet. You're using the most recent version."};

TEST_F(HelpTest, ManualFeedbackAndHomePageOpenTheirTargets) {
    window->RunCommand(kCmdUserManual);
    window->RunCommand(kCmdSendFeedback);
    window->RunCommand(kCmdVisitHomePage);
    setenv("TARNWICK_SITE", "http://127.0.0.1:8123", 1);
    window->RunCommand(kCmdVisitHomePage);
    const std::vector<std::string> expected{
        platform::ProgramFolder() + "tarnwick.html",
        "mailto:support@pictavo.example?subject=Pictavo PNG to BMP 2.9 Feedback",
        "http://pictavo.example/tarnwick/", "http://127.0.0.1:8123/tarnwick/"};
    EXPECT_EQ(opener.opened, expected);
    // The manual is found beside the program wherever the current folder is.
    EXPECT_EQ(opener.opened[0].front(), '/');

    // F1 opens the manual too.
    opener.opened.clear();
    for (QShortcut* shortcut : window->findChildren<QShortcut*>())
        if (shortcut->key() == QKeySequence(Qt::Key_F1)) emit shortcut->activated();
    EXPECT_EQ(opener.opened,
              (std::vector<std::string>{platform::ProgramFolder() + "tarnwick.html"}));
}

TEST_F(HelpTest, EveryHelpMenuAndToolbarCommandDoesSomething) {
    LoopbackServer server({LoopbackServer::Response("290")}, LoopbackServer::Mode::Answer,
                          std::chrono::milliseconds(0), std::chrono::seconds(30));
    setenv("TARNWICK_SITE", server.Site().c_str(), 1);
    std::vector<QAction*> actions;
    for (QAction* title : window->menuBar()->actions())
        if (title->menu())
            for (QAction* a : title->menu()->actions()) actions.push_back(a);
    for (QAction* a : window->Toolbar()->actions()) actions.push_back(a);

    const std::set<int> ours{kCmdFindConverter, kCmdUserManual,         kCmdSendFeedback,
                             kCmdVisitHomePage, kCmdCheckForNewVersion, kCmdAbout};
    int triggered = 0;
    for (QAction* a : actions) {
        if (a->isSeparator() || !ours.count(a->data().toInt())) continue;
        const int command = a->data().toInt();
        const size_t opened = opener.opened.size(), infos = dialogs.infos.size();
        a->trigger();
        ++triggered;
        if (command == kCmdAbout) {
            ASSERT_NE(About(), nullptr);
            About()->close();
        } else if (command == kCmdFindConverter) {
            ASSERT_NE(Search(), nullptr);
            Search()->close();
        } else if (command == kCmdCheckForNewVersion) {
            EXPECT_EQ(dialogs.infos.size(), infos + 1);
        } else {
            EXPECT_EQ(opener.opened.size(), opened + 1) << "command " << command;
        }
        FinishDeletes();
        EXPECT_TRUE(window->isEnabled());
    }
    EXPECT_EQ(triggered, 6 + 4);  // Help and Converter menus, and the toolbar
    EXPECT_EQ(dialogs.infos.back(), kNoUpdate);
    EXPECT_EQ(server.Connections(), 2);
}

TEST_F(HelpTest, AboutBoxShowsTheProductAndTwoLinks) {
    window->RunCommand(kCmdAbout);
    AboutBox* box = About();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_FALSE(window->isEnabled());
    EXPECT_EQ(S(box->windowTitle()), "About...");
    EXPECT_EQ(box->size(), QSize(360, 240));
    EXPECT_LE((box->geometry().center() - window->frameGeometry().center()).manhattanLength(), 2);
    EXPECT_EQ(box->Banner()->geometry(), QRect(0, 0, 360, 40));
    EXPECT_EQ(box->Banner()->pixmap().size(), QSize(360, 40));
    EXPECT_EQ(S(box->ProductLine()->text()), "Pictavo PNG to BMP 2.9");
    EXPECT_EQ(S(box->NoticeLine()->text()), "Copyright (c) 2026 Pictavo. All rights reserved.");
    EXPECT_EQ(S(box->OkButton()->text()), "OK");
    EXPECT_EQ(box->focusWidget(), box->OkButton());
    EXPECT_EQ(box->OkButton()->geometry(), QRect(140, 200, 80, 25));
    for (QLabel* link : {box->WebLink(), box->MailLink()}) {
        EXPECT_NE(S(link->text()).find("color:#0000ff"), std::string::npos);
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
    }
    EXPECT_NE(S(box->WebLink()->text()).find(">http://pictavo.example<"), std::string::npos);
    EXPECT_NE(S(box->MailLink()->text()).find(">support@pictavo.example<"), std::string::npos);

    // Links open and leave the box open.
    emit box->WebLink()->linkActivated(QStringLiteral("ignored"));
    emit box->MailLink()->linkActivated(QStringLiteral("ignored"));
    EXPECT_EQ(opener.opened, (std::vector<std::string>{"http://pictavo.example",
                                                       "mailto:support@pictavo.example"}));
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(About(), box);
    // A second About command does not open a second box.
    window->RunCommand(kCmdAbout);
    EXPECT_EQ(About(), box);
}

TEST_F(HelpTest, AboutBoxClosesByOkEnterEscapeAndCloseBox) {
    const std::vector<std::pair<std::string, std::function<void(AboutBox*)>>> ways{
        {"OK", [](AboutBox* b) { b->OkButton()->click(); }},
        {"Enter", [](AboutBox* b) { PressKey(b, Qt::Key_Return); }},
        {"Escape", [](AboutBox* b) { PressKey(b, Qt::Key_Escape); }},
        {"close box", [](AboutBox* b) { b->close(); }}};
    for (const auto& [name, closeIt] : ways) {
        window->RunCommand(kCmdAbout);
        ASSERT_NE(About(), nullptr) << name;
        closeIt(About());
        FinishDeletes();
        EXPECT_EQ(About(), nullptr) << name;
        EXPECT_TRUE(window->isEnabled()) << name;
    }
    EXPECT_TRUE(opener.opened.empty());
}

TEST(ConverterFields, CleanedToTwelveCharactersThenLettersAndDigits) {
    RunState run;
    EXPECT_TRUE(ReadConverterFields(". PNG ", "Bmp!", run));
    EXPECT_EQ(run.fromExtension, "png");
    EXPECT_EQ(run.toExtension, "bmp");
    EXPECT_TRUE(ReadConverterFields(".jpeg", "TIFF", run));
    EXPECT_EQ(run.fromExtension, "jpeg");
    EXPECT_EQ(run.toExtension, "tiff");
    // The cut comes first: punctuation inside the first 12 leaves fewer.
    EXPECT_TRUE(ReadConverterFields("a.b.c.d.e.f.ghij", "abcdefghijklmnop", run));
    EXPECT_EQ(run.fromExtension, "abcdef");
    EXPECT_EQ(run.toExtension, "abcdefghijkl");
    // Twelve characters, not twelve bytes; other letters are dropped.
    EXPECT_FALSE(ReadConverterFields("ééééééééééééxyz", "bmp", run));
    EXPECT_EQ(run.fromExtension, "");
    EXPECT_TRUE(ReadConverterFields("pñg", "bmp", run));
    EXPECT_EQ(run.fromExtension, "pg");
    EXPECT_FALSE(ReadConverterFields("png", "", run));
    EXPECT_FALSE(ReadConverterFields(" . ", "bmp", run));
    EXPECT_EQ(KeepAlphanumeric("a-Z_0 9.~"), "aZ09");
}

TEST_F(HelpTest, ConverterSearchOpensTheSearchPageOnEnter) {
    window->RunCommand(kCmdFindConverter);
    ConverterSearch* dialog = Search();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(window->isEnabled());
    EXPECT_EQ(S(dialog->windowTitle()), "Find a File Converter");
    EXPECT_EQ(dialog->size(), QSize(370, 60));
    EXPECT_EQ(dialog->FromField()->geometry(), QRect(50, 20, 80, 20));
    EXPECT_EQ(dialog->ToField()->geometry(), QRect(180, 20, 80, 20));
    EXPECT_EQ(S(dialog->SearchButton()->text()), "Search");
    EXPECT_TRUE(dialog->SearchButton()->isDefault());
    EXPECT_EQ(dialog->focusWidget(), dialog->FromField());

    dialog->FromField()->setText(QStringLiteral(". PNG "));
    dialog->ToField()->setText(QStringLiteral("Bmp!"));
    PressKey(dialog, Qt::Key_Return);
    EXPECT_EQ(opener.opened, (std::vector<std::string>{"http://pictavo.example/find/png-bmp/"}));
    EXPECT_EQ(GlobalRunState().fromExtension, "png");
    EXPECT_EQ(GlobalRunState().toExtension, "bmp");
    FinishDeletes();
    EXPECT_EQ(Search(), nullptr);
    EXPECT_TRUE(window->isEnabled());
    EXPECT_TRUE(dialogs.warnings.empty());

    // The search follows the site of the environment.
    setenv("TARNWICK_SITE", "http://127.0.0.1:8123/", 1);
    window->RunCommand(kCmdFindConverter);
    Search()->FromField()->setText(QStringLiteral("gif"));
    Search()->ToField()->setText(QStringLiteral("ico"));
    Search()->SearchButton()->click();
    EXPECT_EQ(opener.opened.back(), "http://127.0.0.1:8123/find/gif-ico/");
}

TEST_F(HelpTest, ConverterSearchWarnsOnAnEmptyFieldAndEscapeCloses) {
    window->RunCommand(kCmdFindConverter);
    ConverterSearch* dialog = Search();
    ASSERT_NE(dialog, nullptr);
    dialog->FromField()->setText(QStringLiteral("png"));
    dialog->SearchButton()->click();
    EXPECT_EQ(dialogs.warnings,
              (std::vector<std::string>{"Please, fill all required fields and try again!"}));
    FinishDeletes();
    ASSERT_EQ(Search(), dialog);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(S(dialog->FromField()->text()), "png");
    EXPECT_FALSE(window->isEnabled());

    PressKey(dialog, Qt::Key_Escape);
    FinishDeletes();
    EXPECT_EQ(Search(), nullptr);
    EXPECT_TRUE(window->isEnabled());
    EXPECT_TRUE(opener.opened.empty());
}

TEST_F(HelpTest, CheckCommandShowsTheOutcomeAndKeepsTheDate) {
    GlobalSettings().updateDate = 1234;
    struct Case {
        std::string body;
        bool answer;
    };
    for (const Case& c : {Case{"291", true}, Case{"290", false}, Case{"\r\n291", false}}) {
        LoopbackServer server = LoopbackServer::WithBody(c.body);
        setenv("TARNWICK_SITE", server.Site().c_str(), 1);
        dialogs.answer = c.answer;
        window->RunCommand(kCmdCheckForNewVersion);
    }
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].first, "New Update");
    ASSERT_EQ(opener.opened.size(), 1u);
    EXPECT_EQ(opener.opened[0].substr(0, 17), "http://127.0.0.1:");
    EXPECT_EQ(opener.opened[0].substr(opener.opened[0].size() - 10), "/tarnwick/");
    EXPECT_EQ(dialogs.infos, (std::vector<std::pair<std::string, std::string>>{kNoUpdate}));
    EXPECT_EQ(dialogs.errors, (std::vector<std::string>{"Internet connection problems!"}));
    EXPECT_EQ(GlobalSettings().updateDate, 1234);
    EXPECT_TRUE(window->isEnabled());
}

TEST_F(HelpTest, WindowStaysPaintedButDisabledDuringTheFetch) {
    // The body comes 400 ms after the headers; meanwhile the window thread
    // runs timers, the window is disabled and a close request waits.
    LoopbackServer slow({"HTTP/1.0 200 OK\r\n\r\n", "290"}, LoopbackServer::Mode::Answer,
                        std::chrono::milliseconds(400));
    setenv("TARNWICK_SITE", slow.Site().c_str(), 1);
    int ticks = 0;
    bool enabledDuringFetch = true;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        enabledDuringFetch = enabledDuringFetch && window->isEnabled();
        window->close();
    });
    timer.start(50);
    window->RunCommand(kCmdCheckForNewVersion);
    timer.stop();
    EXPECT_GE(ticks, 3);
    EXPECT_FALSE(enabledDuringFetch);
    EXPECT_EQ(dialogs.infos, (std::vector<std::pair<std::string, std::string>>{kNoUpdate}));
    EXPECT_TRUE(window->isEnabled());
    // The held close request arrives after the check.
    EXPECT_TRUE(window->isVisible());
    QCoreApplication::processEvents();
    EXPECT_FALSE(window->isVisible());
}

class ScheduledCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetProgramState();
        std::filesystem::remove(SettingsFolder() + "config.ini");
    }
    void TearDown() override { GlobalRunState().runMode = RunMode::Normal; }
    void WriteConfig(int range, int64_t date) {
        Settings s;
        ApplyDefaults(s, false, 1920, 1080);
        s.updateRange = range;
        s.updateDate = static_cast<int32_t>(date);
        ASSERT_TRUE(SaveConfiguration(s, SettingsFolder() + "config.ini"));
    }
    RecordingDialogs dialogs;
};

// The question is asked once the window has had its first events (its first
// paint), not before.
TEST_F(ScheduledCheckTest, StartAsksWhenDueAndNoMovesTheDate) {
    const int64_t now = platform::NowLocalDateValue();
    WriteConfig(0, now - 86400 - 60);
    {
        WindowModeSession session(dialogs);
        session.Start();
        QCoreApplication::processEvents();  // the check waits for the first paint
        ASSERT_EQ(dialogs.questions.size(), 1u);
        EXPECT_EQ(dialogs.questions[0],
                  (std::pair<std::string, std::string>{"Check for Updates",
                                                       "Do you want to check for updates?"}));
        EXPECT_GE(GlobalSettings().updateDate, now);
        ASSERT_TRUE(session.Finish());
    }
    // Stored: the next start does not ask.
    dialogs.questions.clear();
    {
        WindowModeSession session(dialogs);
        session.Start();
        QCoreApplication::processEvents();  // the check waits for the first paint
        EXPECT_TRUE(dialogs.questions.empty());
    }
}

TEST_F(ScheduledCheckTest, NeverAndTheScreenshotModeDoNotAsk) {
    const int64_t old = platform::NowLocalDateValue() - 400 * 86400LL;
    WriteConfig(5, old);
    {
        WindowModeSession session(dialogs);
        session.Start();
        QCoreApplication::processEvents();  // the check waits for the first paint
    }
    WriteConfig(0, old);
    GlobalRunState().runMode = RunMode::Screenshot;
    {
        WindowModeSession session(dialogs);
        session.Start();
        QCoreApplication::processEvents();  // the check waits for the first paint
    }
    EXPECT_TRUE(dialogs.questions.empty());
    EXPECT_EQ(GlobalSettings().updateDate, static_cast<int32_t>(old));
}

}  // namespace
}  // namespace tarnwick::test
