// Helpers shared by the test programs.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

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

// Writes a large RGBA PNG that takes its time to decode: noise, every row
// with the Paeth filter, stored without compression. Written row by row.
void WriteSlowPng(const std::string& path, uint32_t width, uint32_t height);

// `s` in single quotes for a shell command line.
std::string Quote(const std::string& s);

// Runs a shell command; returns its exit code and fills `output` with stdout.
int RunCommand(const std::string& command, std::string* output = nullptr);

// A program running on a terminal of its own (a pseudo-terminal): what it
// writes is collected, keys are typed into it. Killed if still running when
// the object goes.
class TerminalProcess {
public:
    // `env` holds NAME=VALUE pairs added to the test's environment.
    TerminalProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                    const std::string& cwd = "");
    ~TerminalProcess();
    TerminalProcess(const TerminalProcess&) = delete;
    TerminalProcess& operator=(const TerminalProcess&) = delete;

    void Type(const std::string& bytes);
    // Collects output until `text` has appeared (true) or `timeoutMs` passed.
    bool WaitFor(const std::string& text, int timeoutMs);
    // Waits for the end; the exit code, -1 when it did not end in time.
    int Wait(int timeoutMs);
    const std::string& Output() const { return output_; }

private:
    void Collect(int timeoutMs);
    pid_t pid_ = -1;
    int fd_ = -1;
    int status_ = -1;
    std::string output_;
};

// Points HOME and XDG_CONFIG_HOME/XDG_RUNTIME_DIR to a private folder for this
// test process, so no test touches a real configuration.
void IsolateUserFolders();

}  // namespace tarnwick::test
