#include "support/test_support.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include <zlib.h>

namespace fs = std::filesystem;

namespace tarnwick::test {

const std::string kPngSignature("\x89PNG\r\n\x1a\n", 8);

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}

std::string Be32(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (24 - 8 * i));
    return s;
}

std::string PngChunk(const std::string& type, const std::string& data) {
    const std::string body = type + data;
    const uLong crc =
        crc32(0L, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
    return Be32(static_cast<uint32_t>(data.size())) + body + Be32(static_cast<uint32_t>(crc));
}

std::string PngHeaderChunk(uint32_t width, uint32_t height, int bitDepth, int colorType,
                           int interlace) {
    std::string d = Be32(width) + Be32(height);
    d += static_cast<char>(bitDepth);
    d += static_cast<char>(colorType);
    d += std::string(2, '\0');
    d += static_cast<char>(interlace);
    return PngChunk("IHDR", d);
}

void WriteSlowPng(const std::string& path, uint32_t width, uint32_t height) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const auto put = [&](const std::string& bytes) {
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    };
    put(kPngSignature + PngHeaderChunk(width, height, 8, 6));
    z_stream z{};
    if (deflateInit(&z, Z_NO_COMPRESSION) != Z_OK) throw std::runtime_error("deflateInit failed");
    std::vector<Bytef> row(1 + size_t{width} * 4);
    std::vector<Bytef> packed(1 << 20);
    uint32_t noise = 1;
    for (uint32_t y = 0; y < height; ++y) {
        row[0] = 4;  // Paeth
        for (size_t x = 1; x < row.size(); ++x) {
            noise = noise * 1103515245u + 12345u;
            row[x] = static_cast<Bytef>(noise >> 16);
        }
        z.next_in = row.data();
        z.avail_in = static_cast<uInt>(row.size());
        const int flush = y + 1 == height ? Z_FINISH : Z_NO_FLUSH;
        int status = Z_OK;
        do {
            z.next_out = packed.data();
            z.avail_out = static_cast<uInt>(packed.size());
            status = deflate(&z, flush);
            const size_t made = packed.size() - z.avail_out;
            if (made > 0)
                put(PngChunk("IDAT",
                             std::string(reinterpret_cast<const char*>(packed.data()), made)));
        } while (z.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
    }
    deflateEnd(&z);
    put(PngChunk("IEND", ""));
    if (!out) throw std::runtime_error("cannot write " + path);
}

TempDir::TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "tarnwick-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl + "/";
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string Suite(const std::string& name) {
    return std::string(TARNWICK_TESTDATA) + "/pngsuite/" + name;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

int RunCommand(const std::string& command, std::string* output) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) text.append(buf, n);
    int status = pclose(pipe);
    if (output) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TerminalProcess::TerminalProcess(const std::vector<std::string>& argv,
                                 const std::vector<std::string>& env, const std::string& cwd) {
    pid_ = forkpty(&fd_, nullptr, nullptr, nullptr);
    if (pid_ < 0) throw std::runtime_error("forkpty failed");
    if (pid_ == 0) {
        for (const std::string& pair : env) putenv(strdup(pair.c_str()));
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
}

TerminalProcess::~TerminalProcess() {
    if (pid_ > 0 && status_ < 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (fd_ >= 0) close(fd_);
}

void TerminalProcess::Type(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

void TerminalProcess::Collect(int timeoutMs) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return;
    char buffer[4096];
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n > 0) output_.append(buffer, static_cast<size_t>(n));
    else std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));  // closed
}

bool TerminalProcess::WaitFor(const std::string& text, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (output_.find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= end) return false;
        Collect(20);
    }
    return true;
}

int TerminalProcess::Wait(int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (status_ < 0) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
            break;
        }
        if (std::chrono::steady_clock::now() >= end) return -1;
        Collect(20);
    }
    return status_;
}

void IsolateUserFolders() {
    static std::string base;
    if (base.empty()) {
        std::string tmpl = (fs::temp_directory_path() / "tarnwick-home-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
        base = tmpl;
        // The folder goes when the test program ends (not when a forked
        // child of it does).
        static const pid_t owner = getpid();
        std::atexit([] {
            if (getpid() != owner) return;
            std::error_code ignored;
            fs::remove_all(base, ignored);
        });
        fs::create_directories(base + "/config");
        fs::create_directories(base + "/runtime");
        fs::permissions(base + "/runtime", fs::perms::owner_all, fs::perm_options::replace);
    }
    setenv("HOME", base.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (base + "/config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (base + "/runtime").c_str(), 1);
}

}  // namespace tarnwick::test
