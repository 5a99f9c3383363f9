// Helpers shared by the test programs.
#pragma once

#include <cstdint>
#include <string>

namespace tarnwick::test {

// A fresh temporary folder (with trailing '/'), removed when the object dies.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

// Path of a file of the PNG suite, e.g. Suite("basn2c08.png").
std::string Suite(const std::string& name);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

// Pieces of hand-made PNG files: a big-endian 32-bit number, a chunk with its
// length and CRC, the signature and an IHDR chunk.
std::string Be32(uint32_t v);
std::string PngChunk(const std::string& type, const std::string& data);
extern const std::string kPngSignature;
std::string PngHeaderChunk(uint32_t width, uint32_t height, int bitDepth, int colorType,
                           int interlace = 0);

// `s` in single quotes for a shell command line.
std::string Quote(const std::string& s);

// Runs a shell command; returns its exit code and fills `output` with stdout.
int RunCommand(const std::string& command, std::string* output = nullptr);

// Points HOME and XDG_CONFIG_HOME/XDG_RUNTIME_DIR to a private folder for this
// test process, so no test touches a real configuration.
void IsolateUserFolders();

}  // namespace tarnwick::test
