// The window on a Linux desktop: a file passed by "Open With" at start or by a
// second start of the program, a file dropped onto the input field, the
// keyboard mnemonics and the shortcuts of Linux desktops.
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <filesystem>
#include <functional>

#include "engine/input_list.h"
#include "engine/run_state.h"
#include "gui_support.h"
#include "platform/instance.h"
#include "platform/platform.h"
#include "settings/config.h"
#include "settings/settings.h"
#include "support/test_support.h"
#include "text/product.h"
#include "ui/progress_window.h"
#include "ui/window_mode.h"

namespace tarnwick::test {
namespace {

std::string S(const QString& s) { return s.toStdString(); }

TEST(StartupInputFile, OnlyASingleArgumentThatIsNoOption) {
    EXPECT_EQ(StartupInputFile({"/home/u/a.png"}), "/home/u/a.png");
    EXPECT_EQ(StartupInputFile({}), "");
    EXPECT_EQ(StartupInputFile({"-d"}), "");
    EXPECT_EQ(StartupInputFile({"/home/u/a.png", "/home/u/b.png"}), "");
    EXPECT_EQ(StartupInputFile({""}), "");
}

TEST(StartupInputFile, IsTakenLikeAnAddedFileAndSetsTheOutputFolder) {
    ResetProgramState();
    std::filesystem::remove(SettingsFolder() + "config.ini");
    TempDir dir;
    WriteFile(dir / "photo.png", "not really a picture");
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());

    FakeDialogs dialogs;
    WindowModeSession session(dialogs);
    session.Start();
    session.TakeStartupFile("photo.png");  // relative to the current folder
    std::filesystem::current_path(before);

    MainWindow& w = session.Window();
    EXPECT_EQ(S(w.InputField()->text()), dir / "photo.png");
    EXPECT_EQ(S(w.OutputFolderList()->currentText()), dir.path());
    EXPECT_EQ(GlobalRunState().outputFolder, dir.path());
    ASSERT_EQ(GlobalInputList().size(), 1u);
    EXPECT_EQ(GlobalInputList().begin()->first, dir / "photo.png");

    // A file the list refuses leaves the window as it was.
    WriteFile(dir / "notes.txt", "text");
    session.TakeStartupFile(dir / "notes.txt");
    EXPECT_EQ(S(w.InputField()->text()), dir / "photo.png");
    w.close();
}

// Runs the event loop until `done` or `ms` milliseconds have passed.
bool ProcessEventsUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

TEST(HandOff, ASecondStartHandsItsFileToTheWindowAndF5ConvertsIt) {
    ResetProgramState();
    std::filesystem::remove(SettingsFolder() + "config.ini");
    TempDir dir;
    WriteFile(dir / "x.png", ReadFile(Suite("basn2c08.png")));
    // This test is the running window: it holds the lock and listens.
    ASSERT_EQ(platform::AcquireInstanceLock(WindowTitle(), platform::LockMode::Exclusive),
              platform::LockOutcome::Taken);
    FakeDialogs dialogs;
    WindowModeSession session(dialogs);
    session.Start();
    ASSERT_TRUE(session.ListenForHandOffs());
    MainWindow& w = session.Window();

    // The real program started a second time, by a file manager in its own folder.
    QProcess second;
    second.setWorkingDirectory(QString::fromStdString(dir.path()));
    second.start(QStringLiteral(TARNWICK_EXE), {QStringLiteral("x.png")});
    ASSERT_TRUE(ProcessEventsUntil([&] { return second.state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !w.InputField()->text().isEmpty(); }, 2000));
    EXPECT_EQ(S(w.InputField()->text()), dir / "x.png");
    EXPECT_EQ(S(w.OutputFolderList()->currentText()), dir.path());
    EXPECT_EQ(session.PendingHandOffs(), 0u);

    // F5 converts it beside itself.
    QApplication::setActiveWindow(&w);
    QTimer ok;
    QObject::connect(&ok, &QTimer::timeout, [&] {
        if (ProgressRun* run = w.CurrentRun();
            run && run->Dialog() && run->Dialog()->OkButton()->isEnabled())
            run->Dialog()->OkButton()->click();
    });
    ok.start(10);
    QTest::keyClick(&w, Qt::Key_F5);
    ok.stop();
    EXPECT_GT(platform::FileSize(dir / "x.bmp"), 54);
    EXPECT_EQ(w.StatusText(), "Conversion complete");

    // A file the window does not read is refused by the second start itself.
    WriteFile(dir / "notes.txt", "text");
    second.start(QStringLiteral(TARNWICK_EXE), {QString::fromStdString(dir / "notes.txt")});
    ASSERT_TRUE(ProcessEventsUntil([&] { return second.state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_EQ(S(w.InputField()->text()), dir / "x.png");
    w.close();
}

TEST_F(WindowTest, CtrlOAddsAnInputFileAndCtrlQQuits) {
    QApplication::setActiveWindow(window.get());
    QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(dialogs.fileTitle, "Select Input Files");
    ASSERT_TRUE(window->isVisible());
    QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowTest, FileDroppedOntoTheInputFieldIsTakenNotPasted) {
    TempDir dir;
    WriteFile(dir / "a.png", "x");
    WriteFile(dir / "b.png", "y");
    window->InputField()->setText(QStringLiteral("typed"));

    // File managers offer the paths as plain text too.
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir / "a.png")),
                  QUrl::fromLocalFile(QString::fromStdString(dir / "b.png"))});
    data.setText(QString::fromStdString(dir / "a.png\n" + dir / "b.png"));
    const QPoint at(20, 10);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window->InputField(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window->InputField(), &drop);

    EXPECT_EQ(S(window->InputField()->text()), dir / "a.png");
    EXPECT_EQ(S(window->OutputFolderList()->currentText()), dir.path());
    ASSERT_EQ(GlobalInputList().size(), 1u);
    EXPECT_EQ(GlobalInputList().begin()->first, dir / "a.png");

    // A file the list refuses leaves the field as it was: nothing is pasted.
    WriteFile(dir / "notes.txt", "text");
    QMimeData refused;
    refused.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir / "notes.txt"))});
    refused.setText(QString::fromStdString(dir / "notes.txt"));
    QDragEnterEvent enterRefused(at, Qt::CopyAction, &refused, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window->InputField(), &enterRefused);
    QDropEvent dropRefused(QPointF(at), Qt::CopyAction, &refused, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window->InputField(), &dropRefused);
    EXPECT_EQ(S(window->InputField()->text()), dir / "a.png");
}

TEST_F(WindowTest, FieldLabelsLeadTheKeyboardToTheirFields) {
    const auto labels = window->findChildren<QLabel*>();
    std::vector<std::pair<std::string, QWidget*>> buddies;
    for (QLabel* label : labels)
        if (label->buddy()) buddies.emplace_back(S(label->text()), label->buddy());
    const std::vector<std::pair<std::string, QWidget*>> expected{
        {"&Input File:", window->InputField()},
        {"&Output Folder:", window->OutputFolderList()},
        {"O&utput Format:", window->OutputFormatList()}};
    EXPECT_EQ(buddies, expected);
}

TEST(Mnemonic, PrefersWordStartsAndNeverRepeatsAKey) {
    std::string taken = "x";
    EXPECT_EQ(MainWindow::WithMnemonic("Exit", taken), "&Exit");
    EXPECT_EQ(MainWindow::WithMnemonic("Edit", taken), "E&dit");  // e taken, no other word
    EXPECT_EQ(MainWindow::WithMnemonic("Save Each", taken), "&Save Each");
    EXPECT_EQ(MainWindow::WithMnemonic("Sed", taken), "Sed");  // s, e and d are all taken
    EXPECT_EQ(taken, "xeds");
    // An "&" of the text shows as it is; the shortcut after a tab takes no key.
    taken = "";
    EXPECT_EQ(MainWindow::WithMnemonic("R&D", taken), "&R&&D");
    EXPECT_EQ(MainWindow::WithMnemonic("r\tF5", taken), "r\tF5");
}

}  // namespace
}  // namespace tarnwick::test
