// Window-mode rules that need no screen.
#include "ui/window_logic.h"

#include <algorithm>

#include <zlib.h>

#include <QString>
#include <map>

#include "engine/format_registry.h"
#include "text/shown.h"

namespace tarnwick {

const std::vector<std::pair<std::string, int>>& MainShortcuts() {
    static const std::vector<std::pair<std::string, int>> shortcuts{
        {"Ctrl+N", kCmdNew},    {"Alt+X", kCmdExit},         {"F5", kCmdConvert},
        {"F1", kCmdUserManual},  // the program's own, then those of every Linux desktop
        {"Ctrl+Q", kCmdExit},   {"Ctrl+O", kCmdAddInputFile}};
    return shortcuts;
}

std::string FailedFilesHeading(size_t count) {
    return count == 1 ? "1 file not converted:" : std::to_string(count) + " files not converted:";
}

std::string FailedFilesText(const std::vector<std::pair<std::string, std::string>>& failed) {
    std::string text;
    for (const auto& [path, reason] : failed) {
        if (!text.empty()) text += '\n';
        text += text::Shown(path);
        text += ": ";
        text += text::Shown(reason);
    }
    return text;
}

int ToolbarIconPixels(int sizeIndex) {
    switch (sizeIndex) {
        case 1: return 24;
        case 2: return 32;
        case 3: return 48;
        case 4: return 64;
        default: return 16;
    }
}

MainLayout ComputeMainLayout(int width, int height, int menuHeight, int toolbarHeight,
                             int statusBarHeight) {
    MainLayout l;
    const int fieldWidth = width - 160;
    l.panel = {0, toolbarHeight, width, height - menuHeight - toolbarHeight - statusBarHeight - 40};
    l.inputLabel = {10, 5, 350, 20};
    l.inputField = {10, 20, fieldWidth, 20};
    l.outputFolderLabel = {10, 45, 350, 20};
    l.outputFolderList = {10, 60, fieldWidth, 21};
    l.outputFormatLabel = {10, 85, 350, 20};
    l.outputFormatList = {10, 100, fieldWidth, 21};
    const int buttonY[3] = {19, 59, 99};
    for (int i = 0; i < 3; ++i) l.fieldButtons[i] = {width - 146, buttonY[i], 24, 24};
    l.convertButton = {width - 110, 20, 100, 100};
    l.noticeLabel = {10, height - 70, 350, 20};
    return l;
}

Rect KeepOnScreen(const Rect& window, const Rect& screen) {
    Rect r = window;
    r.x = std::max(screen.x, std::min(r.x, screen.x + screen.w - r.w));
    r.y = std::max(screen.y, std::min(r.y, screen.y + screen.h - r.h));
    return r;
}

int MainInnerHeight(int menuHeight, int toolbarHeight, int statusBarHeight) {
    // The panel (see ComputeMainLayout) must hold the convert button, which
    // ends 120 pixels down, with a small margin; the notice line keeps its
    // distance from the bottom.
    const int needed = 124 + menuHeight + toolbarHeight + statusBarHeight + 40;
    return std::max(kWindowHeight, needed);
}

void StoreWindowStateForExit(const WindowSnapshot& window, Settings& s) {
    // Nothing about a minimised window is stored, also when it was minimised
    // from the maximised state (it then reports both).
    if (!window.minimized) {
        if (window.maximized) {
            s.isMaximized = 1;
        } else {
            s.isMaximized = 0;
            s.windowX = window.x;
            s.windowY = window.y;
            s.windowWidth = window.width;
            s.windowHeight = window.height;
        }
    }
    if (s.outFoldersHistory == 0) s.recentOutFolders.clear();
}

std::string RecentOutFolder(const Settings& s, int index) {
    if (index < 0) return {};
    const std::string& all = s.recentOutFolders;
    size_t start = 0;
    for (int i = 0; i < index; ++i) {
        const size_t tab = all.find('\t', start);
        if (tab == std::string::npos) return {};
        start = tab + 1;
    }
    const size_t end = all.find('\t', start);
    return TrimBlanks(
        all.substr(start, end == std::string::npos ? std::string::npos : end - start));
}

uint32_t FolderFingerprint(const std::string& folder) {
    const QByteArray upper =
        QString::fromUtf8(folder.data(), static_cast<qsizetype>(folder.size())).toUpper().toUtf8();
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(upper.constData()),
                static_cast<uInt>(upper.size()));
    return static_cast<uint32_t>(crc);
}

int AddRecentOutFolder(Settings& s, const std::string& folder) {
    if (folder.empty()) return 0;
    std::string text = folder;
    int count = 1;
    const uint32_t key = FolderFingerprint(folder);
    const int limit = s.outFoldersNumber;
    for (int index = 0; index < limit; ++index) {
        const std::string entry = RecentOutFolder(s, index);
        if (!entry.empty() && count <= limit - 1 && FolderFingerprint(entry) != key) {
            text += '\t';
            text += entry;
            ++count;
        }
    }
    s.recentOutFolders = text;
    return 1;
}

std::vector<std::string> RecentOutFolderItems(const Settings& s, const std::string& current,
                                              int* selection) {
    std::vector<std::string> items;
    int selected = 0;
    for (int index = 0; index < s.outFoldersNumber; ++index) {
        const std::string entry = RecentOutFolder(s, index);
        if (entry.empty()) continue;
        // The position counts the list's own items, so a skipped blank entry
        // cannot shift the selection onto the wrong folder.
        if (entry == current) selected = static_cast<int>(items.size());
        items.push_back(entry);
    }
    if (selection) *selection = selected;
    return items;
}

std::string BuildInputFilter(const FormatRegistry& reg, const std::string& allSupportedText,
                             const std::string& allFilesText) {
    std::string allTypes;
    std::map<std::string, std::string> byDescription;
    for (const std::string& ext : reg.acceptedInputExtensions) {
        const InputExtensionInfo* info = FindInputExtension(reg, ext);
        const std::string description = info ? info->description : std::string();
        allTypes += "*." + ext + ";";
        std::string& pattern = byDescription[description];
        pattern = pattern.empty() ? "*." + ext : "*." + ext + ";" + pattern;
    }
    if (!allTypes.empty()) allTypes.pop_back();

    std::string filter = allSupportedText + "|" + allTypes + "|";
    for (const auto& [description, pattern] : byDescription)
        filter += description + "|" + pattern + "|";
    filter += allFilesText + " (*.*)|*.*";
    return filter;
}

std::vector<std::string> FilterToNameFilters(const std::string& filter) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t bar = filter.find('|', start);
        parts.push_back(
            filter.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    std::vector<std::string> result;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::string description = parts[i];
        std::string patterns;
        size_t p = 0;
        const std::string& raw = parts[i + 1];
        for (;;) {
            const size_t semi = raw.find(';', p);
            std::string one =
                raw.substr(p, semi == std::string::npos ? std::string::npos : semi - p);
            if (one == "*.*") one = "*";
            if (!one.empty()) patterns += (patterns.empty() ? "" : " ") + one;
            if (semi == std::string::npos) break;
            p = semi + 1;
        }
        // A description that already names its pattern in brackets loses it:
        // the list shows the pattern that is actually used.
        const size_t open = description.rfind(" (");
        if (open != std::string::npos && !description.empty() && description.back() == ')')
            description.erase(open);
        result.push_back(description + " (" + patterns + ")");
    }
    return result;
}

namespace {

// Byte offsets of the start of each code point, plus the end offset.
std::vector<size_t> CodePointStarts(const std::string& text) {
    std::vector<size_t> starts;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
    }
    starts.push_back(text.size());
    return starts;
}

}  // namespace

int CharacterCount(const std::string& text) {
    return static_cast<int>(CodePointStarts(text).size()) - 1;
}

std::string ShortenPath(const std::string& text, int maxChars) {
    if (text.empty()) return text;
    const std::vector<size_t> starts = CodePointStarts(text);
    const int count = static_cast<int>(starts.size()) - 1;
    if (count <= maxChars) return text;
    const int half = maxChars > 3 ? (maxChars - 3) / 2 : 0;
    return text.substr(0, starts[half]) + "..." + text.substr(starts[count - half]);
}

}  // namespace tarnwick
