// The main window without a screen: layout, menus and toolbar, the input file
// and output folders, and the New command.
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include "engine/input_list.h"
#include "engine/run_state.h"
#include "gui_support.h"
#include "settings/settings.h"
#include "support/test_support.h"
#include "ui/preferences/preferences_dialog.h"

namespace tarnwick::test {
namespace {

std::string S(const QString& s) { return s.toStdString(); }

TEST_F(WindowTest, SizeLimitsAndLayoutFollowTheWidth) {
    EXPECT_EQ(S(window->windowTitle()), "Pictavo PNG to BMP 2.9");
    EXPECT_EQ(window->pos(), QPoint(100, 100));
    EXPECT_EQ(window->width(), 510);
    EXPECT_EQ(window->height() - window->MenuHeight(), 260);

    // Height fixed, width not below 510.
    window->resize(300, 600);
    EXPECT_EQ(window->width(), 510);
    EXPECT_EQ(window->height() - window->MenuHeight(), 260);
    EXPECT_EQ(window->InputField()->geometry(), QRect(10, 20, 350, 20));
    EXPECT_EQ(window->FieldButton(0)->geometry(), QRect(364, 19, 24, 24));
    EXPECT_EQ(window->ConvertButton()->geometry(), QRect(400, 20, 100, 100));

    window->resize(900, 260 + window->MenuHeight());
    EXPECT_EQ(window->width(), 900);
    EXPECT_EQ(window->InputField()->width(), 740);
    EXPECT_EQ(window->OutputFolderList()->width(), 740);
    EXPECT_EQ(window->OutputFormatList()->width(), 740);
    EXPECT_EQ(window->FieldButton(1)->geometry(), QRect(754, 59, 24, 24));
    EXPECT_EQ(window->FieldButton(2)->geometry(), QRect(754, 99, 24, 24));
    EXPECT_EQ(window->ConvertButton()->x(), 790);
}

TEST_F(WindowTest, MenusToolbarAndShortcutsDeliverCommandNumbers) {
    std::vector<std::pair<std::string, int>> items;
    for (QAction* menu : window->menuBar()->actions()) {
        items.emplace_back(S(menu->text()), -1);
        for (QAction* a : menu->menu()->actions())
            if (!a->isSeparator()) items.emplace_back(S(a->text()), a->data().toInt());
    }
    const std::vector<std::pair<std::string, int>> expected{{"&File", -1},
                                                            {"&New\tCtrl+N", 0},
                                                            {"&Add Input File...", 5},
                                                            {"&Select Output Folder...", 7},
                                                            {"&Exit\tAlt+X", 3},
                                                            {"&Converter", -1},
                                                            {"&Convert\tF5", 14},
                                                            {"&Find a File Converter...", 16},
                                                            {"&Preferences...", 17},
                                                            {"&Help", -1},
                                                            {"&User Manual...\tF1", 18},
                                                            {"&Send Feedback", 21},
                                                            {"&Visit the Program's Homepage", 22},
                                                            {"&Check For a New Version", 23},
                                                            {"&About...", 24}};
    EXPECT_EQ(items, expected);

    std::vector<std::pair<std::string, int>> tools;
    for (QAction* a : window->Toolbar()->actions())
        if (!a->isSeparator()) tools.emplace_back(S(a->toolTip()), a->data().toInt());
    const std::vector<std::pair<std::string, int>> expectedTools{
        {"New", 0},
        {"Add Input File...", 5},
        {"Select Output Folder...", 7},
        {"Preferences...", 17},
        {"Convert", 14},
        {"User Manual...", 18},
        {"Send Feedback", 21},
        {"Visit the Program's Homepage", 22},
        {"Check For a New Version", 23}};
    EXPECT_EQ(tools, expectedTools);
    EXPECT_EQ(window->Toolbar()->iconSize(), QSize(32, 32));  // uiSize 2
    // Right-clicking the menu bar offers no menu that could hide the toolbar.
    EXPECT_EQ(window->createPopupMenu(), nullptr);

    GlobalSettings().uiSize = 0;
    window->BuildMainToolbar();
    EXPECT_EQ(window->Toolbar()->iconSize(), QSize(16, 16));

    EXPECT_EQ(S(window->FieldButton(0)->toolTip()), "Add Input File...");
    EXPECT_EQ(S(window->FieldButton(1)->toolTip()), "Select Output Folder...");
    EXPECT_EQ(S(window->FieldButton(2)->toolTip()), "Options...");

    std::vector<std::string> keys;
    for (QShortcut* s : window->findChildren<QShortcut*>()) keys.push_back(S(s->key().toString()));
    // The program's own keys, then Ctrl+Q and Ctrl+O as on every Linux desktop.
    EXPECT_EQ(keys, (std::vector<std::string>{"Ctrl+N", "Alt+X", "F5", "F1", "Ctrl+Q", "Ctrl+O"}));

    // Format options open the preferences on the Output page, Preferences on
    // the first page.
    window->RunCommand(kCmdOutputFormatOptions);
    ASSERT_NE(window->Preferences(), nullptr);
    EXPECT_TRUE(window->Preferences()->isVisible());
    EXPECT_EQ(window->Preferences()->CurrentPage(), 3);
    window->Preferences()->reject();
    QCoreApplication::processEvents();
    window->RunCommand(kCmdPreferences);
    ASSERT_NE(window->Preferences(), nullptr);
    EXPECT_EQ(window->Preferences()->CurrentPage(), 0);
    window->Preferences()->reject();
    QCoreApplication::processEvents();
    window->RunCommand(kCmdAbout);  // the About box opens over a disabled window
    EXPECT_FALSE(window->isEnabled());
}

TEST_F(WindowTest, StartsWithAnEmptyFolderItemAndTheFormatSelected) {
    ASSERT_EQ(window->OutputFolderList()->count(), 1);
    EXPECT_EQ(S(window->OutputFolderList()->currentText()), "");
    ASSERT_EQ(window->OutputFormatList()->count(), 1);
    EXPECT_EQ(S(window->OutputFormatList()->currentText()), "BMP (Windows or OS/2 Bitmap)");
    EXPECT_EQ(window->SelectedFormatData(), 0);
    EXPECT_FALSE(window->OutputFormatList()->itemIcon(0).isNull());
    EXPECT_EQ(S(window->NoticeLabel()->text()), "Copyright (c) 2026 Pictavo. All rights reserved.");
}

TEST_F(WindowTest, TakenFileShowsAndSetsTheOutputFolderOnce) {
    TempDir dir;
    WriteFile(dir / "a.png", "not really a picture");
    WriteFile(dir / "b.png", "another one");
    WriteFile(dir / "empty.png", "");

    ASSERT_EQ(AddInputFile(dir / "a.png"), 1);
    EXPECT_EQ(S(window->InputField()->text()), dir / "a.png");
    EXPECT_EQ(S(window->OutputFolderList()->currentText()), dir.path());
    EXPECT_EQ(GlobalRunState().outputFolder, dir.path());
    EXPECT_EQ(RecentOutFolder(GlobalSettings(), 0), dir.path());

    // Refused files change nothing.
    EXPECT_EQ(AddInputFile(dir / "empty.png"), 0);
    EXPECT_EQ(AddInputFile(dir / "a.txt"), 0);
    EXPECT_EQ(S(window->InputField()->text()), dir / "a.png");

    // With a folder shown, a file from elsewhere keeps the output folder.
    TempDir other;
    WriteFile(other / "c.png", "x");
    AddInputFile(other / "c.png");
    EXPECT_EQ(S(window->InputField()->text()), other / "c.png");
    EXPECT_EQ(S(window->OutputFolderList()->currentText()), dir.path());

    // Of several dropped files only the first is taken.
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir / "b.png")),
                  QUrl::fromLocalFile(QString::fromStdString(dir / "a.png"))});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &drop);
    EXPECT_EQ(S(window->InputField()->text()), dir / "b.png");
    ASSERT_EQ(GlobalInputList().size(), 1u);
    EXPECT_EQ(GlobalInputList().begin()->first, dir / "b.png");

    // New empties the fields and the run; the recent folders stay to choose from.
    window->RunCommand(kCmdNew);
    EXPECT_EQ(S(window->InputField()->text()), "");
    EXPECT_EQ(S(window->OutputFolderList()->currentText()), "");
    EXPECT_EQ(window->OutputFolderList()->count(), 1);
    EXPECT_EQ(S(window->OutputFolderList()->itemText(0)), dir.path());
    EXPECT_TRUE(GlobalInputList().empty());
    EXPECT_EQ(GlobalRunState().outputFolder, "");
}

TEST_F(WindowTest, OpenFileAndFolderDialogs) {
    TempDir dir;
    WriteFile(dir / "pic.png", "x");
    GlobalRunState().inputPath = dir / "last.png";
    dialogs.nextFile = dir / "pic.png";
    window->RunCommand(kCmdAddInputFile);
    EXPECT_EQ(dialogs.fileTitle, "Select Input Files");
    EXPECT_EQ(dialogs.fileInitial, dir / "last.png");
    EXPECT_EQ(dialogs.fileFilters,
              (std::vector<std::string>{"All Supported Files (*.png)",
                                        "Portable Network Graphics (*.png)", "All Files (*)"}));
    EXPECT_EQ(S(window->InputField()->text()), dir / "pic.png");
    EXPECT_EQ(GlobalRunState().inputPath, "");

    // A chosen folder gets its trailing '/' and goes to the top of the list.
    TempDir out;
    std::string chosen = out.path();
    chosen.pop_back();
    dialogs.nextFolder = chosen;
    window->RunCommand(kCmdSelectOutputFolder);
    EXPECT_EQ(dialogs.folderTitle, "Select Output Folder");
    EXPECT_EQ(dialogs.folderStart, dir.path());
    EXPECT_EQ(GlobalRunState().outputFolder, out.path());
    EXPECT_EQ(S(window->OutputFolderList()->currentText()), out.path());
    EXPECT_EQ(RecentOutFolder(GlobalSettings(), 0), out.path());
    EXPECT_EQ(RecentOutFolder(GlobalSettings(), 1), dir.path());

    // A folder that does not exist, or a cancelled dialog, changes nothing.
    dialogs.nextFolder = out / "missing";
    window->RunCommand(kCmdSelectOutputFolder);
    dialogs.nextFolder.reset();
    window->RunCommand(kCmdSelectOutputFolder);
    EXPECT_EQ(GlobalRunState().outputFolder, out.path());
    EXPECT_EQ(window->OutputFolderList()->count(), 2);
}

class WindowWithRecentFolders : public WindowTest {
protected:
    void BeforeCreate() override {
        GlobalSettings().recentOutFolders = " /first/ \t/second/\t\t/third/";
        GlobalSettings().outFoldersNumber = 3;
    }
};

TEST_F(WindowWithRecentFolders, ListShowsTrimmedRecentFoldersButNoneSelected) {
    QComboBox* list = window->OutputFolderList();
    ASSERT_EQ(list->count(), 2);  // only the first three entries count; one is empty
    EXPECT_EQ(S(list->itemText(0)), "/first/");
    EXPECT_EQ(S(list->itemText(1)), "/second/");
    EXPECT_EQ(S(list->currentText()), "");
    EXPECT_FALSE(list->itemIcon(0).isNull());

    // Choosing an entry makes it the run's output folder.
    list->setCurrentIndex(1);
    emit list->activated(1);
    EXPECT_EQ(GlobalRunState().outputFolder, "/second/");
}

// The toolbar of every icon size leaves the controls, the notice line and
// the status bar apart: the window grows for the large sizes only, and the
// notice line keeps its distance from the bottom.
TEST_F(WindowTest, ToolbarOfEveryIconSizeFitsTheWindow) {
    window->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(window->height() - window->MenuHeight(), 260);
    const int noticeTop = window->NoticeLabel()->mapTo(window.get(), QPoint(0, 0)).y();
    EXPECT_EQ(noticeTop, window->MenuHeight() + 260 - 70);
    const int noticeFromBottom = window->height() - noticeTop;

    for (int size : {0, 1, 2, 3, 4}) {
        GlobalSettings().uiSize = size;
        window->ApplyInterfaceChanges(IconReload::ToolbarSize, -1);
        QCoreApplication::processEvents();
        const int pixels = size == 0 ? 16 : size == 1 ? 24 : size == 2 ? 32 : size == 3 ? 48 : 64;
        EXPECT_EQ(window->Toolbar()->iconSize(), QSize(pixels, pixels));
        const QWidget* w = window.get();
        const QRect button(window->ConvertButton()->mapTo(w, QPoint(0, 0)),
                           window->ConvertButton()->size());
        const QRect notice(window->NoticeLabel()->mapTo(w, QPoint(0, 0)),
                           window->NoticeLabel()->size());
        const int statusTop = window->statusBar()->mapTo(w, QPoint(0, 0)).y();
        EXPECT_LE(button.bottom(), notice.top()) << "icon size " << size;
        EXPECT_LE(notice.bottom(), statusTop) << "icon size " << size;
        EXPECT_EQ(window->height() - notice.top(), noticeFromBottom) << "icon size " << size;
        if (size <= 2) {
            EXPECT_EQ(window->height() - window->MenuHeight(), 260);
        }
    }
}

// A preferences dialog opened over a main window in a corner of the screen
// stays on the screen.
TEST_F(WindowTest, PreferencesDialogOpensOnTheScreen) {
    window->move(0, 0);
    window->show();
    QCoreApplication::processEvents();
    window->RunCommand(kCmdPreferences);
    QCoreApplication::processEvents();
    auto* dialog = window->findChild<PreferencesDialog*>();
    ASSERT_NE(dialog, nullptr);
    const QRect screen = window->screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(dialog->geometry())) << dialog->x() << "," << dialog->y();
    dialog->reject();
    QCoreApplication::processEvents();
}

}  // namespace
}  // namespace tarnwick::test
