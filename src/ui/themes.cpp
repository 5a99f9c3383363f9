// Icon themes: finding the packages, reading theme.cfg and loading the images
// of the chosen theme straight from the zip archive into the icon tables.
#include "ui/themes.h"

#include <archive.h>
#include <archive_entry.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QString>
#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

#include "engine/run_state.h"
#include "platform/platform.h"
#include "settings/settings.h"
#include "text/product.h"
#include "text/text_util.h"
#include "ui/images.h"
#include "ui/window_logic.h"

namespace tarnwick {

namespace {

std::string& LastFoundKey() {
    static std::string key;
    return key;
}

// The largest image edge a theme may bring; icons are at most 64 pixels.
constexpr int kMaxImageEdge = 1024;
// theme.cfg is a small text; anything longer is not a theme description.
constexpr int64_t kMaxCfgBytes = 1024 * 1024;

// A reader over one zip file; freed with the object.
class ArchiveReader {
public:
    explicit ArchiveReader(const std::string& path) : a_(archive_read_new()) {
        if (!a_) return;
        archive_read_support_format_zip(a_);
        open_ = archive_read_open_filename(a_, path.c_str(), 64 * 1024) == ARCHIVE_OK;
    }
    ~ArchiveReader() {
        if (a_) archive_read_free(a_);
    }
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    bool IsOpen() const { return open_; }
    // The next entry: 1 read, 0 end of the archive, -1 a damaged archive.
    int Next(archive_entry** entry) {
        const int r = archive_read_next_header(a_, entry);
        if (r == ARCHIVE_OK || r == ARCHIVE_WARN) return 1;
        if (r == ARCHIVE_EOF) return 0;
        return -1;
    }
    // The current entry's data, at most `limit` bytes. With `truncate` the
    // first `limit` bytes are returned; without it a longer entry fails.
    std::optional<std::string> Read(int64_t limit, bool truncate) {
        std::string data;
        char buffer[16384];
        for (;;) {
            const la_ssize_t n = archive_read_data(a_, buffer, sizeof buffer);
            if (n < 0) return std::nullopt;
            if (n == 0) break;
            const int64_t room = limit - static_cast<int64_t>(data.size());
            if (n > room) {
                if (!truncate) return std::nullopt;
                data.append(buffer, static_cast<size_t>(room));
                break;
            }
            data.append(buffer, static_cast<size_t>(n));
        }
        return data;
    }

private:
    archive* a_;
    bool open_ = false;
};

const char* EntryName(archive_entry* entry) {
    const char* name = archive_entry_pathname(entry);
    return name && *name ? name : nullptr;
}

bool IsRegularFile(archive_entry* entry) { return archive_entry_filetype(entry) == AE_IFREG; }

// Names that would point outside the package if anyone unpacked it.
bool IsSafeName(const std::string& name) {
    if (name.empty() || name[0] == '/' || name[0] == '\\') return false;
    if (name.size() > 1 && name[1] == ':') return false;
    size_t start = 0;
    for (;;) {
        const size_t end = name.find_first_of("/\\", start);
        if (name.compare(start, end == std::string::npos ? std::string::npos : end - start, "..") ==
            0)
            return false;
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

bool ValidUtf8(const std::string& s) {
    const QString decoded = QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
    return decoded.toUtf8() == QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

// theme.cfg is 8-bit text: UTF-8 when it reads as such, else Latin-1.
std::string CfgTextToUtf8(const std::string& s) {
    if (ValidUtf8(s)) return s;
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())).toUtf8().toStdString();
}

std::optional<QImage> DecodePng(const std::string& bytes) {
    QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    if (!buffer.open(QIODevice::ReadOnly)) return std::nullopt;
    QImageReader reader(&buffer, "png");
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > kMaxImageEdge || size.height() > kMaxImageEdge)
        return std::nullopt;
    QImage image;
    if (!reader.read(&image) || image.isNull()) return std::nullopt;
    return image;
}

bool HasZipExtension(const std::string& name) {
    return name.size() > 4 && name.compare(name.size() - 4, 4, ".zip") == 0;
}

}  // namespace

// ---- Zip packages --------------------------------------------------------------

ZipPackage::ZipPackage(std::string path) : path_(std::move(path)) {}

bool ZipPackage::Open() {
    entries_.clear();
    extracted_ = 0;
    if (platform::FileSize(path_) <= 0) return false;
    ArchiveReader reader(path_);
    if (!reader.IsOpen()) return false;
    archive_entry* entry = nullptr;
    int r = reader.Next(&entry);
    if (r < 0) return false;  // not a zip archive (or damaged from the start)
    size_t seen = 0;
    for (; r == 1 && seen < kMaxEntries; r = reader.Next(&entry), ++seen) {
        const char* name = EntryName(entry);
        if (!name || !IsRegularFile(entry) || !IsSafeName(name)) continue;
        const int64_t size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : -1;
        // Empty entries are left out; an unknown size is checked while reading.
        if (size == 0 || size > kMaxEntryBytes) continue;
        entries_.emplace(name, size);
    }
    return true;
}

std::optional<std::string> ZipPackage::ExtractPrefix(const std::string& name, int64_t maxBytes) {
    if (!entries_.count(name)) return std::nullopt;
    ArchiveReader reader(path_);
    if (!reader.IsOpen()) return std::nullopt;
    archive_entry* entry = nullptr;
    for (size_t seen = 0; seen < kMaxEntries && reader.Next(&entry) == 1; ++seen) {
        const char* entryName = EntryName(entry);
        if (!entryName || name != entryName || !IsRegularFile(entry)) continue;
        auto data = reader.Read(std::min(maxBytes, kMaxEntryBytes), true);
        if (data) extracted_ += static_cast<int64_t>(data->size());
        return data;
    }
    return std::nullopt;
}

std::optional<std::string> ZipPackage::Extract(const std::string& name) {
    auto found = ExtractMany({name});
    auto it = found.find(name);
    if (it == found.end()) return std::nullopt;
    return std::move(it->second);
}

std::map<std::string, std::string> ZipPackage::ExtractMany(const std::vector<std::string>& names) {
    std::map<std::string, std::string> result;
    std::set<std::string> wanted;
    for (const std::string& n : names)
        if (entries_.count(n)) wanted.insert(n);
    if (wanted.empty()) return result;
    ArchiveReader reader(path_);
    if (!reader.IsOpen()) return result;
    archive_entry* entry = nullptr;
    for (size_t seen = 0; seen < kMaxEntries && !wanted.empty() && reader.Next(&entry) == 1;
         ++seen) {
        const char* entryName = EntryName(entry);
        if (!entryName || !IsRegularFile(entry)) continue;
        auto it = wanted.find(entryName);
        if (it == wanted.end()) continue;
        const int64_t room = kMaxTotalBytes - extracted_;
        if (room <= 0) break;
        // Declared sizes are not trusted: the reading itself stops at the limit.
        auto data = reader.Read(std::min(kMaxEntryBytes, room), false);
        if (data && !data->empty()) {
            extracted_ += static_cast<int64_t>(data->size());
            result.emplace(*it, std::move(*data));
        }
        wanted.erase(it);  // the first entry of a name counts, as in the listing
    }
    return result;
}

// ---- theme.cfg ------------------------------------------------------------------

std::string ReadCfgValue(const std::string& text, const std::string& group,
                         const std::string& key) {
    const std::string lower = text::Lower(text);
    std::string header(1, '[');
    header.append(text::Lower(group)).push_back(']');
    const size_t headerAt = lower.find(header);
    if (headerAt == std::string::npos) return {};
    const size_t groupEnd = lower.find('[', headerAt + header.size());
    std::string keyLine("\r\n");
    keyLine.append(text::Lower(key));
    const size_t lineAt = lower.find(keyLine, headerAt);
    if (lineAt == std::string::npos || (groupEnd != std::string::npos && lineAt > groupEnd))
        return {};
    const size_t lineEnd = text.find("\r\n", lineAt + 2);
    if (lineEnd == std::string::npos) return {};  // the last line without a line break
    const std::string line = text.substr(lineAt + 2, lineEnd - lineAt - 2);
    const size_t equals = line.find('=');
    if (equals == std::string::npos) return {};
    const size_t second = line.find('=', equals + 1);
    std::string value = line.substr(
        equals + 1, second == std::string::npos ? std::string::npos : second - equals - 1);
    if (!value.empty()) {
        for (const char c : {' ', '\t', '\r', '\n'}) {
            const size_t b = value.find_first_not_of(c);
            if (b == std::string::npos) {
                value.clear();
                break;
            }
            value = value.substr(b, value.find_last_not_of(c) - b + 1);
        }
    }
    return value;
}

std::string ThemeImageFile(const std::string& value, int pixels) {
    if (text::Lower(value).find(".png") != std::string::npos) return value;
    return value + "_" + std::to_string(pixels) + ".png";
}

// ---- The installed themes ----------------------------------------------------------

std::map<std::string, std::string>& GlobalThemeTable() {
    static std::map<std::string, std::string> table;
    return table;
}

const std::string& LastFoundTheme() { return LastFoundKey(); }

std::string ThemeFolder() {
    std::string folder = GlobalRunState().programFolder;
    if (folder.empty()) folder = platform::ProgramFolder();
    return platform::DataPath(folder, kThemeFolder);
}

std::string ThemeDisplayName(const std::string& key) {
    std::string result = key;
    ZipPackage package(ThemeFolder() + key + ".zip");
    if (package.Open()) {
        // Only the first 255 bytes of theme.cfg can name the theme.
        const std::string cfg = package.ExtractPrefix("theme.cfg", 255).value_or(std::string());
        result = CfgTextToUtf8(ReadCfgValue(cfg, "Theme", "Name"));
    }
    return result;
}

namespace {

// The keys whose names a scan left to ReadThemeNames.
std::vector<std::string>& UnreadThemeNames() {
    static std::vector<std::string> keys;
    return keys;
}

}  // namespace

void ReadThemeNames() {
    auto& table = GlobalThemeTable();
    for (const std::string& key : UnreadThemeNames())
        if (auto it = table.find(key); it != table.end()) it->second = ThemeDisplayName(key);
    UnreadThemeNames().clear();
}

void ScanThemes(ThemeNames reading) {
    auto& table = GlobalThemeTable();
    table.clear();
    UnreadThemeNames().clear();
    LastFoundKey().clear();
    std::error_code ec;
    std::vector<std::string> names;
    std::filesystem::directory_iterator it(ThemeFolder(), ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (!HasZipExtension(name) || !it->is_regular_file(typeError)) continue;
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string key = name.substr(0, name.size() - 4);
        if (reading == ThemeNames::Now) {
            table[key] = ThemeDisplayName(key);
        } else {
            table[key].clear();
            UnreadThemeNames().push_back(key);
        }
        LastFoundKey() = key;
    }
}

std::string ThemePackagePath(std::string& uiTheme) {
    const auto packagePath = [](const std::string& key) {
        // A key is a plain file name; anything else names no package.
        if (key.find('/') != std::string::npos) return std::string();
        return ThemeFolder() + key + ".zip";
    };
    std::string path = packagePath(uiTheme);
    if ((path.empty() || platform::FileSize(path) < 0) && !GlobalThemeTable().empty() &&
        !LastFoundKey().empty()) {
        uiTheme = LastFoundKey();
        path = packagePath(uiTheme);
    }
    return path;
}

void ReadThemeImages(const std::string& packagePath, int toolbarPixels, bool loadButtons,
                     bool loadMenuIcons, bool loadToolbarIcons, IconImages* images) {
    if (packagePath.empty()) return;
    ZipPackage package(packagePath);
    if (!package.Open()) return;
    const auto cfgBytes = package.ExtractPrefix("theme.cfg", kMaxCfgBytes);
    if (!cfgBytes) return;
    const std::string& cfg = *cfgBytes;

    struct Slot {
        QImage* image;
        std::string file;
    };
    std::vector<Slot> targets;
    const auto want = [&](std::map<std::string, QImage>& table,
                          const std::vector<std::string>& names, const char* group, int pixels) {
        for (const std::string& name : names) {
            const std::string value = ReadCfgValue(cfg, group, name);
            if (value.empty()) continue;
            targets.push_back({&table[name], ThemeImageFile(value, pixels)});
        }
    };
    if (loadButtons) want(images->buttons, ButtonIconNames(), "Buttons", ToolbarIconPixels(0));
    if (loadMenuIcons) want(images->menu, MenuIconNames(), "Icons", ToolbarIconPixels(0));
    if (loadToolbarIcons) want(images->toolbar, MenuIconNames(), "Icons", toolbarPixels);

    std::vector<std::string> files;
    for (const Slot& slot : targets) files.push_back(slot.file);
    const auto extracted = package.ExtractMany(files);
    for (const Slot& slot : targets) {
        auto it = extracted.find(slot.file);
        if (it == extracted.end()) continue;  // absent: the slot keeps its image
        if (auto image = DecodePng(it->second)) *slot.image = std::move(*image);
    }
}

void ApplyTheme(bool loadButtons, bool loadMenuIcons, bool loadToolbarIcons) {
    Settings& s = GlobalSettings();
    const std::string path = ThemePackagePath(s.uiTheme);
    IconImages images;
    ReadThemeImages(path, ToolbarIconPixels(s.uiSize), loadButtons, loadMenuIcons, loadToolbarIcons,
                    &images);
    InstallIconImages(images);
}

}  // namespace tarnwick
