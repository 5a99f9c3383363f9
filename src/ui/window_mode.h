// The window-mode sequence: configuration, catalog, images and theme, the main
// window, and what is stored when the program ends.
#pragma once

#include <memory>
#include <string>
#include <vector>

class QApplication;
class QSocketNotifier;

namespace tarnwick {

class MainWindow;
class UserDialogs;

// True when a window can be opened: Qt is told which platform to use, a
// Wayland display is named, or the named X display answers.
bool DisplayAvailable();

// Checks for a display and starts the Qt application of a window-mode program
// (the screenshot mode, the uninstall prompt). Without a display it writes
// "Error: Cannot open the <what>: no display available" and returns nothing.
std::unique_ptr<QApplication> OpenApplication(const std::string& what);

// The primary screen's size (a QApplication must exist).
void DesktopSize(int* width, int* height);

// Tells the desktop which entry the program's windows belong to and gives them
// the application icon (a QApplication must exist).
void SetApplicationIdentity();
// The two halves: the entry must be known before a window is made; the icon
// (six sizes, each decoded) may follow the first window.
void SetDesktopEntry();
void SetApplicationIcon();

// The file that "Open With" of a file manager passes: the only argument after
// the program name when it is not an option; empty otherwise.
std::string StartupInputFile(const std::vector<std::string>& arguments);

class WindowModeSession {
public:
    explicit WindowModeSession(UserDialogs& dialogs);
    ~WindowModeSession();

    // Loads the configuration, catalog, images and theme, then creates,
    // prepares and shows the main window. A QApplication must exist.
    void Start();
    // Takes a file named at start as if it were added with "Add Input File".
    void TakeStartupFile(const std::string& path);
    // Listens for files that a second start of the program hands over ("Open
    // With" while this window runs). Each is taken as a startup file and the
    // window is raised; while a conversion runs, it waits for the run's end.
    // False when no socket could be made (the window works without).
    bool ListenForHandOffs();
    // Files handed over and not yet taken.
    size_t PendingHandOffs() const { return pending_.size(); }
    // Stores the window's state, applies the folder-history rule and writes the
    // configuration file. False when the file could not be written.
    bool Finish();

    MainWindow& Window() { return *window_; }
    const std::string& ConfigPath() const { return configPath_; }

private:
    void TakeHandOffs();

    UserDialogs& dialogs_;
    std::unique_ptr<MainWindow> window_;
    std::string configPath_;
    int handOffSocket_ = -1;
    QSocketNotifier* handOffNotifier_ = nullptr;
    std::vector<std::string> pending_;
};

}  // namespace tarnwick
