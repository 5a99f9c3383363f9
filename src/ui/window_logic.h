// Window-mode rules that need no screen: command numbers, the resize rule,
// the stored window state, the recent output folders, the open-file filter and
// the shortened path of the progress window.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/paths.h"
#include "settings/settings.h"
#include "text/text_util.h"

namespace tarnwick {

struct FormatRegistry;

// Command numbers: the same number means the same command whether it comes
// from a menu item, a toolbar button or a keyboard shortcut.
enum Command : int {
    kCmdNew = 0,
    kCmdExit = 3,
    kCmdAddInputFile = 5,
    kCmdSelectOutputFolder = 7,
    kCmdOutputFormatOptions = 8,
    kCmdConvert = 14,
    kCmdFindConverter = 16,
    kCmdPreferences = 17,
    kCmdUserManual = 18,
    kCmdSendFeedback = 21,
    kCmdVisitHomePage = 22,
    kCmdCheckForNewVersion = 23,
    kCmdAbout = 24,
};

// Window numbers of the window mode.
enum WindowNumber : int {
    kWinMain = 0,
    kWinPreferences = 1,
    kWinProgress = 3,
    kWinConverterSearch = 6,
    kWinAbout = 8,
};

// Keyboard shortcuts of the main window, as key texts ("Ctrl+N") with their command.
const std::vector<std::pair<std::string, int>>& MainShortcuts();

// Icon edge length for a uiSize value: 1->24, 2->32, 3->48, 4->64, else 16.
int ToolbarIconPixels(int sizeIndex);

// Size limits of the main window's inner area (below the menu bar).
constexpr int kMinWindowWidth = kDefaultWindowWidth;
constexpr int kWindowHeight = kDefaultWindowHeight;

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
    bool operator==(const Rect&) const = default;
};

// Where the controls go for an inner size W x H. Coordinates of the fields and
// buttons are relative to the panel below the toolbar.
struct MainLayout {
    Rect panel;       // in window coordinates (y = toolbarHeight)
    Rect inputField;  // panel coordinates from here on
    Rect outputFolderList;
    Rect outputFormatList;
    Rect fieldButtons[3];  // add input file, select output folder, format options
    Rect convertButton;
    Rect inputLabel, outputFolderLabel, outputFormatLabel;
    Rect noticeLabel;  // window coordinates (below the panel)
};

MainLayout ComputeMainLayout(int width, int height, int menuHeight, int toolbarHeight,
                             int statusBarHeight);

// `window` moved the least so that it lies within `screen` (its top-left
// corner first when it is larger than the screen).
Rect KeepOnScreen(const Rect& window, const Rect& screen);

// The fixed height of the inner area: kWindowHeight, or more when a toolbar
// of large icons would otherwise push the controls onto the notice line and
// the status bar.
int MainInnerHeight(int menuHeight, int toolbarHeight, int statusBarHeight);

// The window's state when the program ends.
struct WindowSnapshot {
    bool maximized = false;
    bool minimized = false;
    int x = 0, y = 0, width = 0, height = 0;
};

// Stores the geometry for the next start and applies the folder-history rule.
void StoreWindowStateForExit(const WindowSnapshot& window, Settings& s);

// Recent output folders: tab-separated in s.recentOutFolders, most recent first.
// Entry `index` (0 = first), trimmed of blanks; empty when there is none.
std::string RecentOutFolder(const Settings& s, int index);
// Puts `folder` at the top, drops its earlier occurrence (compared by the
// CRC-32 of the upper-cased text) and keeps at most outFoldersNumber entries.
// 0 for an empty folder (nothing changed), else 1.
int AddRecentOutFolder(Settings& s, const std::string& folder);
// The CRC-32 fingerprint of a folder text (upper-cased, UTF-8).
uint32_t FolderFingerprint(const std::string& folder);
// The non-empty entries to show in the output folder list, in order, and the
// position to select: the entry equal (same case) to `current`, else 0.
std::vector<std::string> RecentOutFolderItems(const Settings& s, const std::string& current,
                                              int* selection);

// Everything up to and including the last '/'; empty when there is none.
inline std::string FolderPart(const std::string& path) { return platform::FolderPart(path, "/"); }
using text::TrimBlanks;

// The open-file filter of the input file dialog, in the "description|pattern|"
// form: "All Supported Files|*.png|Portable Network Graphics|*.png|All Files (*.*)|*.*".
std::string BuildInputFilter(const FormatRegistry& reg, const std::string& allSupportedText,
                             const std::string& allFilesText);
// The same filter as a list of Qt name filters ("Description (pattern pattern)").
// "*.*" becomes "*", so files without an extension are offered too.
std::vector<std::string> FilterToNameFilters(const std::string& filter);

// Shortens a text longer than maxChars characters (UTF-8 code points) to its
// first and last (maxChars - 3) / 2 characters around "...".
std::string ShortenPath(const std::string& text, int maxChars);

// The failed files of a run for the progress window: a heading with their
// number, and one line per file, "path: reason", names shown safely.
std::string FailedFilesHeading(size_t count);
std::string FailedFilesText(const std::vector<std::pair<std::string, std::string>>& failed);
// Number of characters (code points) of a UTF-8 text.
int CharacterCount(const std::string& text);

}  // namespace tarnwick
