// Reader and writer of the INI-style text format.
#include "settings/preference_file.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>

#include "platform/paths.h"
#include "platform/platform.h"
#include "platform/safe_save.h"
#include "text/text_util.h"

namespace tarnwick {

namespace {

// The folder a file is written into; "." for a bare name.
std::string FolderOrCurrent(const std::string& path) {
    const std::string folder = platform::FolderPart(path, "/");
    return folder.empty() ? "." : folder;
}

const std::string kBom = "\xEF\xBB\xBF";

// One byte per character, ISO-8859-1 to UTF-8.
std::string Latin1ToUtf8(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// A line break inside a written value would start a new line of the file:
// it is written as a blank instead.
std::string OneLine(std::string t) {
    for (char& c : t)
        if (c == '\r' || c == '\n') c = ' ';
    return t;
}

}  // namespace

bool PreferenceFile::Open(const std::string& path) {
    groups_.clear();
    current_ = -1;
    writing_ = false;
    out_.clear();
    path_.clear();
    const std::optional<std::string> bytes = platform::ReadRegularFile(path, kMaxFileBytes);
    if (!bytes) return false;
    OpenFromBytes(*bytes);
    return true;
}

void PreferenceFile::OpenFromBytes(const std::string& bytes) {
    groups_.clear();
    current_ = -1;
    writing_ = false;
    out_.clear();
    std::string content =
        bytes.compare(0, kBom.size(), kBom) == 0 ? bytes.substr(kBom.size()) : Latin1ToUtf8(bytes);
    int group = -1;  // lines before the first group line belong to no group
    size_t pos = 0;
    while (pos <= content.size()) {
        size_t end = content.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = content.size();
        std::string line = text::Trim(content.substr(pos, end - pos));
        if (end < content.size() && content[end] == '\r' && end + 1 < content.size() &&
            content[end + 1] == '\n')
            ++end;
        pos = end + 1;

        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            size_t close = line.find(']');
            std::string name =
                line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
            groups_.push_back(Group{text::Trim(name), {}});
            group = static_cast<int>(groups_.size()) - 1;
            continue;
        }
        if (group < 0) continue;
        // A line without "=" counts as a key with an empty value.
        size_t eq = line.find('=');
        std::string key = text::Trim(line.substr(0, eq));
        std::string value =
            eq == std::string::npos ? std::string() : text::Trim(line.substr(eq + 1));
        if (key.empty()) continue;
        groups_[static_cast<size_t>(group)].keys.emplace_back(key, value);
    }
}

bool PreferenceFile::Create(const std::string& path) {
    groups_.clear();
    current_ = -1;
    if (path.empty() || path.back() == '/' || platform::FolderExists(path) ||
        !platform::FolderExists(FolderOrCurrent(path)))
        return false;
    CreateInMemory();
    path_ = path;
    return true;
}

void PreferenceFile::CreateInMemory() {
    groups_.clear();
    current_ = -1;
    writing_ = true;
    path_.clear();
    out_.clear();
    pendingGroup_.clear();
    groupWritten_ = false;
}

void PreferenceFile::SelectGroup(const std::string& name) {
    if (writing_) {
        pendingGroup_ = OneLine(name);
        groupWritten_ = false;
        return;
    }
    current_ = -1;
    for (size_t i = 0; i < groups_.size(); ++i) {
        if (text::EqualNoCase(groups_[i].name, name)) {
            current_ = static_cast<int>(i);
            return;
        }
    }
}

const std::string* PreferenceFile::Find(const std::string& key) const {
    if (writing_ || current_ < 0) return nullptr;
    for (const auto& kv : groups_[static_cast<size_t>(current_)].keys)
        if (text::EqualNoCase(kv.first, key)) return &kv.second;
    return nullptr;
}

long PreferenceFile::ReadInteger(const std::string& key, long def) const {
    const std::string* value = Find(key);
    if (!value) return def;
    return text::ReadWholeNumber(*value, false, false);  // decimal digits only
}

double PreferenceFile::ReadDecimal(const std::string& key, double def) const {
    const std::string* value = Find(key);
    return value ? text::ParseDecimal<double>(*value) : def;
}

std::string PreferenceFile::ReadText(const std::string& key, const std::string& def) const {
    const std::string* value = Find(key);
    return value ? *value : def;
}

std::vector<std::pair<std::string, std::string>> PreferenceFile::ListKeys() const {
    if (writing_ || current_ < 0) return {};
    return groups_[static_cast<size_t>(current_)].keys;
}

void PreferenceFile::FlushGroupLine() {
    if (!groupWritten_ && !pendingGroup_.empty()) out_.push_back("[" + pendingGroup_ + "]");
    groupWritten_ = true;
}

void PreferenceFile::WriteInteger(const std::string& key, long value) {
    WriteText(key, std::to_string(value));
}

void PreferenceFile::WriteDecimal(const std::string& key, double value) {
    std::string t;
    if (std::isnan(value)) {
        t = "NaN";
    } else if (std::isinf(value)) {
        t = value > 0 ? "+Infinity" : "-Infinity";
    } else {
        // Always "." and six decimals, whatever the C locale says.
        char buf[400];
        auto result = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 6);
        t.assign(buf, result.ptr);
    }
    WriteText(key, t);
}

void PreferenceFile::WriteText(const std::string& key, const std::string& value) {
    if (!writing_) return;
    FlushGroupLine();
    out_.push_back(OneLine(key) + " = " + OneLine(value));
}

void PreferenceFile::WriteComment(const std::string& text) {
    if (!writing_) return;
    FlushGroupLine();
    out_.push_back("; " + OneLine(text));
}

std::string PreferenceFile::Serialize() const {
    std::string bytes = kBom + "\r\n";
    for (const std::string& line : out_) bytes += line + "\r\n";
    return bytes;
}

bool PreferenceFile::Close() {
    bool ok = true;
    if (writing_) {
        const std::string bytes = Serialize();
        ok = !path_.empty() && platform::SafeSaveBytes(path_, bytes.data(), bytes.size()).ok;
    }
    groups_.clear();
    current_ = -1;
    writing_ = false;
    out_.clear();
    path_.clear();
    return ok;
}

}  // namespace tarnwick
