// The main window: input file field, output folder and format lists, the
// Convert button, menus, toolbar and status bar, and the commands behind them.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "ui/convert_command.h"
#include "ui/preferences/preferences_logic.h"
#include "ui/window_logic.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolBar;
class QToolButton;

namespace tarnwick {

class HelpCommands;
class PreferencesDialog;
class PreferencesPickers;
class ProgressRun;
class UserDialogs;

class MainWindow : public QMainWindow, public ConvertView {
public:
    struct Geometry {
        int x = 100, y = 100, width = kMinWindowWidth, height = kWindowHeight;
    };

    explicit MainWindow(UserDialogs& dialogs);
    ~MainWindow() override;

    // Builds the window, hidden, at the given position with the given inner size.
    void Create(const Geometry& geometry);
    // Builds the format registry, fills the lists, runs New and shows the window.
    void Prepare();

    // Carries out a command by its number.
    void RunCommand(int command);
    // Commands carried out by other parts of the program (preferences, help,
    // update check, ...). A command without a handler does nothing.
    void SetCommandHandler(int command, std::function<void()> handler);
    // Run once after the window is shown unless the run mode is "T".
    void SetScheduledUpdateCheck(std::function<void()> check) { updateCheck_ = std::move(check); }
    // User manual, feedback, home page, About box, converter search and the
    // update check (the commands of the Help menu and "Find a File Converter").
    HelpCommands& Help() { return *help_; }

    // Input file and output folders.
    void ShowAddedInputFile(const std::string& path);
    void AddInputFileDialog();
    void NewCommand();
    void SelectOutputFolder();
    void RefreshOutputFolderList() override;

    // Menus, toolbar, images and layout.
    void BuildMainMenu();
    void BuildMainToolbar();
    void BuildFieldButtons();
    void LayoutMainWindow();
    void RefreshControlImages();
    // After the preferences dialog stored changed settings; `formatIndex` is the
    // position selected in its output format list (-1 for none).
    void ApplyInterfaceChanges(IconReload reload, int formatIndex);
    // Opens the preferences dialog on a copy of the settings, on `startPage`
    // (Preferences command: page 0; Output Format Options: page 3). Confirming
    // it stores the copy, writes the configuration file ConfigPath() and
    // applies the changes here.
    void OpenPreferences(int startPage = 0);
    // The open preferences dialog, or nullptr.
    PreferencesDialog* Preferences() const;
    // The colour and font pickers of the dialog (the real ones unless set).
    void SetPreferencesPickers(PreferencesPickers* pickers) { pickers_ = pickers; }
    // The configuration file of the session; by default config.ini in the
    // settings folder.
    void SetConfigPath(const std::string& path) { configPath_ = path; }
    std::string ConfigPath() const;
    static void FillFormatList(QComboBox* list, bool withDescription);
    static void SetToolbarIconSize(QToolBar* toolbar, int pixels);
    // The text with a keyboard mnemonic: "&" goes before the first letter or
    // digit that starts a word and is not yet in `taken`, else before the first
    // such character anywhere (none when all are taken). The chosen character
    // is added to `taken` in lower case. A shortcut after a tab gets none, and
    // an "&" of the text itself is doubled so it shows as it is.
    static std::string WithMnemonic(const std::string& text, std::string& taken);

    // The state stored at exit; height is the inner height below the menu bar.
    WindowSnapshot Snapshot() const;
    // A close request from outside (a signal): a running conversion is stopped
    // after the current file, then the window closes.
    void RequestQuit();

    // ConvertView.
    std::string InputFieldText() const override;
    std::string OutputFolderText() const override;
    int SelectedFormatData() const override;
    void SetStatusText(const std::string& text) override;
    void RunProgressWindow(RunStarter& starter) override;

    // Controls, for the screenshot mode and the tests.
    QLineEdit* InputField() const { return inputField_; }
    QComboBox* OutputFolderList() const { return folderList_; }
    QComboBox* OutputFormatList() const { return formatList_; }
    QPushButton* ConvertButton() const { return convertButton_; }
    QToolBar* Toolbar() const { return toolbar_; }
    QToolButton* FieldButton(int i) const { return fieldButtons_[i]; }
    QWidget* Panel() const { return panel_; }
    QLabel* NoticeLabel() const { return notice_; }
    std::string StatusText() const;
    int MenuHeight() const { return menuHeight_; }
    int ToolbarHeight() const { return toolbarHeight_; }
    int StatusBarHeight() const { return statusBarHeight_; }
    // No pop-up menu on the menu bar or toolbar: the toolbar cannot be hidden.
    QMenu* createPopupMenu() override { return nullptr; }
    // The run in progress, or nullptr.
    ProgressRun* CurrentRun() const { return run_; }
    // Called with each new run before its worker starts (lets a caller choose the worker).
    void SetRunHook(std::function<void(ProgressRun&)> hook) { runHook_ = std::move(hook); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void ApplySizeLimits();
    // Tab moves through the fields in reading order, each followed by its button.
    void ApplyTabOrder();

    UserDialogs& dialogs_;
    std::map<int, std::function<void()>> handlers_;
    std::function<void()> updateCheck_;
    std::unique_ptr<HelpCommands> help_;
    QPointer<QWidget> preferences_;
    std::unique_ptr<PreferencesPickers> ownPickers_;
    PreferencesPickers* pickers_ = nullptr;
    std::string configPath_;
    std::function<void(ProgressRun&)> runHook_;
    ProgressRun* run_ = nullptr;
    bool quitAfterRun_ = false;
    bool created_ = false;

    QWidget* central_ = nullptr;
    QWidget* panel_ = nullptr;
    QLineEdit* inputField_ = nullptr;
    QComboBox* folderList_ = nullptr;
    QComboBox* formatList_ = nullptr;
    QPushButton* convertButton_ = nullptr;
    QToolButton* fieldButtons_[3] = {nullptr, nullptr, nullptr};
    QLabel* labels_[3] = {nullptr, nullptr, nullptr};
    QLabel* notice_ = nullptr;
    QLabel* status_ = nullptr;
    QToolBar* toolbar_ = nullptr;
    int menuHeight_ = 0;
    int toolbarHeight_ = 0;
    int statusBarHeight_ = 0;
};

}  // namespace tarnwick
