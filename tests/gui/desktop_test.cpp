// The window on a Linux desktop: a file passed by "Open With", a file dropped
// onto the input field, and the keyboard mnemonics.
#include <QComboBox>
#include <QCoreApplication>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>
#include <filesystem>

#include "engine/input_list.h"
#include "engine/run_state.h"
#include "gui_support.h"
#include "platform/platform.h"
#include "settings/config.h"
#include "settings/settings.h"
#include "support/test_support.h"
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
