// Linux implementation of the platform layer.
#include "platform/platform.h"

#include <locale.h>
#include <cwctype>

#include "platform/paths.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <random>
#include <string>

namespace tarnwick::platform {

namespace {

std::string ExecutablePath() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    buf[n] = '\0';
    return buf;
}

// Local wall-clock fields of a UTC instant, read back as if they were UTC.
int64_t ToLocalDateValue(time_t t) {
    std::tm lt{};
    localtime_r(&t, &lt);
    return static_cast<int64_t>(timegm(&lt));
}

// The UTC instant whose local wall-clock reading is the given date value.
time_t FromLocalDateValue(int64_t value) {
    time_t v = static_cast<time_t>(value);
    std::tm tm{};
    gmtime_r(&v, &tm);
    tm.tm_isdst = -1;
    return mktime(&tm);
}

std::mutex& ConsoleMutex() {
    static std::mutex m;
    return m;
}

}  // namespace

std::string ProgramFolder() {
    const std::string folder = FolderPart(ExecutablePath(), "/");
    return folder.empty() ? "./" : folder;
}

std::string DataPath(const std::string& programFolder, const std::string& name) {
    const auto exists = [](const std::string& path) {
        struct stat st {};
        return stat(path.c_str(), &st) == 0;
    };
    const std::string beside = programFolder + name;
    if (exists(beside)) return beside;
    for (const std::string& folder :
         {programFolder + TARNWICK_DATA_FROM_PROGRAM, std::string(TARNWICK_INSTALLED_DATA_DIR)}) {
        if (!exists(folder + name)) continue;
        // The folder without "..": the path is shown and handed to other programs.
        char resolved[PATH_MAX];
        if (!realpath(folder.c_str(), resolved)) continue;
        std::string clean = resolved;
        if (clean.back() != '/') clean += '/';
        return clean + name;
    }
    return beside;
}

std::string ProgramName() {
    std::string name = FileNamePart(ExecutablePath(), "/");
    auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name.empty() ? "tarnwick" : name;
}

long long FileSize(const std::string& path) {
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<long long>(st.st_size);
}

bool FolderExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string InputFileProblem(const std::string& path) {
    struct stat st {};
    if (path.empty()) return std::strerror(ENOENT);
    if (stat(path.c_str(), &st) != 0) return std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return "is a folder";
    if (!S_ISREG(st.st_mode)) return "not a regular file";
    if (st.st_size == 0) return "is empty";
    if (access(path.c_str(), R_OK) != 0) return std::strerror(errno);
    return {};
}

std::string FolderProblem(const std::string& path) {
    struct stat st {};
    if (path.empty()) return std::strerror(ENOENT);
    if (stat(path.c_str(), &st) != 0) return std::strerror(errno);
    if (!S_ISDIR(st.st_mode)) return std::strerror(ENOTDIR);
    return {};
}

bool CreateFolder(const std::string& path, unsigned mode) {
    if (FolderExists(path)) return true;
    return mkdir(path.c_str(), static_cast<mode_t>(mode)) == 0 || errno == EEXIST;
}

std::string CurrentFolder() {
    char buf[PATH_MAX];
    if (!getcwd(buf, sizeof buf)) return "./";
    std::string dir = buf;
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

std::optional<int64_t> FileModifiedLocal(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return std::nullopt;
    return ToLocalDateValue(st.st_mtim.tv_sec);
}

bool SetFileModifiedLocal(const std::string& path, int64_t localDateValue) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;  // access time stays as it is
    times[1].tv_sec = FromLocalDateValue(localDateValue);
    times[1].tv_nsec = 0;
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

std::optional<std::string> ReadRegularFile(const std::string& path, uint64_t maxBytes) {
    if (path.empty()) return std::nullopt;
    // A look before opening: opening a device can already do something.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    // Non-blocking, so a FIFO put there in the meantime is never waited on;
    // the opened file is looked at again.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> bytes;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
        static_cast<uint64_t>(st.st_size) <= maxBytes) {
        std::string data;
        data.reserve(static_cast<size_t>(st.st_size));
        char buffer[65536];
        bool ok = true;
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0) {
                if (errno == EINTR) continue;
                ok = false;
                break;
            }
            if (n == 0) break;
            // The file may grow while it is read.
            if (data.size() + static_cast<size_t>(n) > maxBytes) {
                ok = false;
                break;
            }
            data.append(buffer, static_cast<size_t>(n));
        }
        if (ok) bytes = std::move(data);
    }
    ::close(fd);
    return bytes;
}

// The instant is copied as it is: going through the local wall-clock value
// would be ambiguous in the hour that repeats when daylight saving time ends.
bool CopyModificationTime(const std::string& from, const std::string& to) {
    struct stat st {};
    if (::stat(from.c_str(), &st) != 0) return false;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = st.st_mtim.tv_sec;
    times[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, to.c_str(), times, 0) == 0;
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool RenameFile(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

namespace {

std::string EnvText(const char* name) {
    const char* v = std::getenv(name);
    std::string t = v ? v : "";
    size_t b = t.find_first_not_of(" \t");
    if (b == std::string::npos) return std::string();
    return t.substr(b, t.find_last_not_of(" \t") - b + 1);
}

// The user's home folder: $HOME when it is an absolute path, else the
// password database; empty when neither knows one.
std::string HomeFolder() {
    std::string home = EnvText("HOME");
    if (!home.empty() && home[0] == '/') return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/')
        return pw->pw_dir;
    return std::string();
}

}  // namespace

std::string UserConfigFolder() {
    std::string base = EnvText("XDG_CONFIG_HOME");
    if (base.empty() || base[0] != '/') {  // relative values are not used
        std::string home = HomeFolder();
        if (home.empty()) return std::string();  // never the root folder
        base = home + "/.config";
    }
    if (base.back() != '/') base += '/';
    return base;
}

void CreateFolders(const std::string& folder, unsigned mode) {
    if (folder.empty() || FolderExists(folder)) return;
    std::string parent = folder;
    while (!parent.empty() && parent.back() == '/') parent.pop_back();
    size_t slash = parent.find_last_of('/');
    if (slash != std::string::npos && slash > 0) CreateFolders(parent.substr(0, slash + 1), mode);
    CreateFolder(folder, mode);
}

int64_t NowLocalDateValue() { return ToLocalDateValue(time(nullptr)); }

void WriteLine(const std::string& text) {
    std::lock_guard<std::mutex> lock(ConsoleMutex());
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void WriteErrorLine(const std::string& text) {
    std::lock_guard<std::mutex> lock(ConsoleMutex());
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

void WriteErrorText(const std::string& text) {
    std::lock_guard<std::mutex> lock(ConsoleMutex());
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

int StandardErrorColumns() {
    struct winsize size {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}

void SetConsoleTitle(const std::string& title) {
    if (!isatty(STDOUT_FILENO)) return;
    std::lock_guard<std::mutex> lock(ConsoleMutex());
    std::fprintf(stdout, "\033]0;%s\007", title.c_str());
    std::fflush(stdout);
}

void WaitForKey() {
    if (!isatty(STDIN_FILENO)) return;
    struct termios old {};
    if (tcgetattr(STDIN_FILENO, &old) != 0) return;
    struct termios raw = old;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    char c;
    while (read(STDIN_FILENO, &c, 1) < 0 && errno == EINTR) {
    }
    // One key can send several bytes (an arrow key "ESC [ A", a function key,
    // a character of several UTF-8 bytes). They arrive together; whatever
    // follows within a moment belongs to the same key and is read too, so
    // nothing of it reaches the shell after the program ends.
    char rest[64];
    for (int round = 0; round < 64; ++round) {
        struct pollfd p {
            STDIN_FILENO, POLLIN, 0
        };
        const int ready = poll(&p, 1, 30);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0 || !(p.revents & POLLIN)) break;
        if (read(STDIN_FILENO, rest, sizeof rest) <= 0) break;
    }
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
}

bool OpenWithDesktop(const std::string& target) {
    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        // Detach so the opener outlives neither our console nor our lock.
        if (fork() != 0) _exit(0);
        int devnull = open("/dev/null", O_RDWR);
        if (devnull >= 0) {
            dup2(devnull, STDIN_FILENO);
            dup2(devnull, STDOUT_FILENO);
            dup2(devnull, STDERR_FILENO);
        }
        execlp("xdg-open", "xdg-open", target.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}

void* LoadModule(const std::string& fileName, std::string* error) {
    std::string path = ProgramFolder() + fileName;
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (!handle) {
        // Installed layouts may keep the modules one level up from a bin/ folder.
        std::string first = dlerror();
        std::string alt = ProgramFolder() + "../lib/tarnwick/" + fileName;
        handle = dlopen(alt.c_str(), RTLD_NOW | RTLD_GLOBAL);
        if (!handle && error) *error = first;
    }
    return handle;
}

void* LoadSystemLibrary(const std::string& fileName, std::string* error) {
    void* handle = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle && error) *error = dlerror();
    return handle;
}

void* ModuleSymbol(void* module, const char* name) {
    return module ? dlsym(module, name) : nullptr;
}

char32_t MapUnicodeCase(char32_t cp, bool upper) {
    // A locale with full Unicode case tables, independent of the process locale.
    static const locale_t loc = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
        if (!l) l = newlocale(LC_CTYPE_MASK, "en_US.UTF-8", static_cast<locale_t>(0));
        return l;
    }();
    if (!loc) return cp;
    const wint_t w = static_cast<wint_t>(cp);
    return static_cast<char32_t>(upper ? towupper_l(w, loc) : towlower_l(w, loc));
}

}  // namespace tarnwick::platform
