// Icon themes: zip packages in the gfx/ folder beside the program. A package
// holds PNG images and a theme.cfg that names the image of every icon.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ui/images.h"

namespace tarnwick {

// Theme key (file name without ".zip") to display name.
std::map<std::string, std::string>& GlobalThemeTable();
// The key of the last package ScanThemes found ("" before a scan or when none).
const std::string& LastFoundTheme();

// The theme folder: gfx/ beside the program (run.programFolder), else the
// installed data folder (platform::DataPath).
std::string ThemeFolder();

// Finds the installed theme packages (listing order: by file name). With
// ThemeNames::Later the table has each key with an empty name until
// ReadThemeNames reads them: the window's start needs the packages, and only
// the preferences dialog shows their names.
enum class ThemeNames { Now, Later };
void ScanThemes(ThemeNames names = ThemeNames::Now);
// Reads the names a ScanThemes(ThemeNames::Later) left unread.
void ReadThemeNames();
// The "Name" of the package's theme.cfg, read from its first 255 bytes; the
// key itself when the file is missing, empty or not a zip archive.
std::string ThemeDisplayName(const std::string& key);
// Loads the images of the theme named by uiTheme into the chosen icon tables.
// A missing package is replaced by the last one found (which becomes uiTheme).
void ApplyTheme(bool loadButtons, bool loadMenuIcons, bool loadToolbarIcons);

// ApplyTheme's two halves, for a start that decodes the images on a thread of
// their own. The package of `uiTheme`, or of the last one found (which then
// becomes `uiTheme`) when it is missing; empty when there is none.
std::string ThemePackagePath(std::string& uiTheme);
// The images the package's theme.cfg names and the package holds, decoded
// into `images` (any thread; `toolbarPixels` is the toolbar icons' size).
void ReadThemeImages(const std::string& packagePath, int toolbarPixels, bool loadButtons,
                     bool loadMenuIcons, bool loadToolbarIcons, IconImages* images);

// The value of `key` in `group` of a theme.cfg text (CR LF lines), compared
// without regard to ASCII case; empty when absent. The key matches a line's
// beginning as a prefix; a last line without a line break gives nothing; the
// value ends at a second "=".
std::string ReadCfgValue(const std::string& text, const std::string& group, const std::string& key);
// The file used for a theme.cfg value: the value itself when it contains
// ".png" (any case), else value + "_" + pixels + ".png".
std::string ThemeImageFile(const std::string& value, int pixels);

// Read-only access to a zip package. Nothing is ever written to disk: entries
// are extracted into memory with size limits, so a hostile package can at
// worst fail to load.
class ZipPackage {
public:
    // Largest entry taken from a package, and the most read from one package.
    static constexpr int64_t kMaxEntryBytes = 8 * 1024 * 1024;
    static constexpr int64_t kMaxTotalBytes = 64 * 1024 * 1024;
    static constexpr size_t kMaxEntries = 10000;

    explicit ZipPackage(std::string path);
    // True when the file exists with a size above 0 and reads as a zip archive.
    bool Open();
    // Entry name to uncompressed size, without empty entries, entries over the
    // size limit, and names that are absolute or climb with "..".
    const std::map<std::string, int64_t>& Entries() const { return entries_; }
    // One entry's bytes; nothing when it is absent, unreadable or larger than
    // kMaxEntryBytes.
    std::optional<std::string> Extract(const std::string& name);
    // The first `maxBytes` bytes of an entry (fewer when it is shorter).
    std::optional<std::string> ExtractPrefix(const std::string& name, int64_t maxBytes);
    // Several entries in one pass over the archive; absent or failing entries
    // are left out of the result.
    std::map<std::string, std::string> ExtractMany(const std::vector<std::string>& names);

private:
    std::string path_;
    std::map<std::string, int64_t> entries_;
    int64_t extracted_ = 0;
};

}  // namespace tarnwick
