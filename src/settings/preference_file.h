// Reader and writer of the INI-style text format shared by the configuration
// file and the command-line profiles.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tarnwick {

class PreferenceFile {
public:
    // The largest file Open reads; settings files are a few kilobytes.
    static constexpr uint64_t kMaxFileBytes = 16u * 1024 * 1024;

    // Reads the whole file (UTF-8 with BOM, else ISO-8859-1). False when it is
    // missing, unreadable, not a regular file (a FIFO is never waited on) or
    // larger than kMaxFileBytes.
    bool Open(const std::string& path);
    // Parses text already in memory (same rules as Open).
    void OpenFromBytes(const std::string& bytes);
    // Starts a new document that replaces the file at Close.
    bool Create(const std::string& path);
    // Starts a new document without a target file; Serialize gives its bytes.
    void CreateInMemory();
    void SelectGroup(const std::string& name);

    long ReadInteger(const std::string& key, long def) const;
    double ReadDecimal(const std::string& key, double def) const;
    std::string ReadText(const std::string& key, const std::string& def) const;
    std::vector<std::pair<std::string, std::string>> ListKeys() const;

    void WriteInteger(const std::string& key, long value);
    void WriteDecimal(const std::string& key, double value);
    void WriteText(const std::string& key, const std::string& value);
    void WriteComment(const std::string& text);

    // Writes a created document through the safe save (an existing file is
    // kept whole on any failure). False on failure.
    bool Close();
    // The bytes a created document would write.
    std::string Serialize() const;

private:
    struct Group {
        std::string name;
        std::vector<std::pair<std::string, std::string>> keys;
    };
    std::vector<Group> groups_;
    int current_ = -1;  // index into groups_, -1 = missing group
    bool writing_ = false;
    std::string path_;
    std::vector<std::string> out_;  // output lines when writing
    std::string pendingGroup_;
    bool groupWritten_ = false;
    const std::string* Find(const std::string& key) const;
    void FlushGroupLine();
};

}  // namespace tarnwick
