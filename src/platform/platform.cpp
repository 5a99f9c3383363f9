// Linux implementation of the platform layer.
#include "platform/platform.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <sys/file.h>
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
    std::string exe = ExecutablePath();
    auto slash = exe.rfind('/');
    if (slash == std::string::npos) return "./";
    return exe.substr(0, slash + 1);
}

std::string ProgramName() {
    std::string exe = ExecutablePath();
    auto slash = exe.rfind('/');
    std::string name = slash == std::string::npos ? exe : exe.substr(slash + 1);
    auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name.empty() ? "tarnwick" : name;
}

long long FileSize(const std::string& path) {
    struct stat st{};
    if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<long long>(st.st_size);
}

bool FolderExists(const std::string& path) {
    struct stat st{};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateFolder(const std::string& path) {
    if (FolderExists(path)) return true;
    return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

std::string CurrentFolder() {
    char buf[PATH_MAX];
    if (!getcwd(buf, sizeof buf)) return "./";
    std::string dir = buf;
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

std::optional<int64_t> FileModifiedLocal(const std::string& path) {
    struct stat st{};
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

std::string TempPathBeside(const std::string& path) {
    static std::mt19937_64 rng{std::random_device{}()};
    static std::mutex m;
    std::lock_guard<std::mutex> lock(m);
    auto slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%d.%08llx.tmp", static_cast<int>(getpid()),
                  static_cast<unsigned long long>(rng() & 0xffffffffull));
    return folder + "." + name + suffix;
}

bool WriteFileAtomic(const std::string& path, const std::string& bytes) {
    std::string tmp = TempPathBeside(path);
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t done = 0;
    bool ok = true;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (ok && fsync(fd) != 0) ok = false;
    if (close(fd) != 0) ok = false;
    if (ok && rename(tmp.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) unlink(tmp.c_str());
    return ok;
}

// The instant is copied as it is: going through the local wall-clock value
// would be ambiguous in the hour that repeats when daylight saving time ends.
bool CopyModificationTime(const std::string& from, const std::string& to) {
    struct stat st{};
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

// The user's home folder: $HOME, else the password database.
std::string HomeFolder() {
    std::string home = EnvText("HOME");
    if (!home.empty()) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return std::string();
}

}  // namespace

std::string UserConfigFolder() {
    std::string base = EnvText("XDG_CONFIG_HOME");
    if (base.empty() || base[0] != '/') {  // relative values are not used
        std::string home = HomeFolder();
        base = home.empty() ? std::string() : home + "/.config";
    }
    if (base.empty() || base.back() != '/') base += '/';
    return base;
}

void CreateFolders(const std::string& folder) {
    if (folder.empty() || FolderExists(folder)) return;
    std::string parent = folder;
    while (!parent.empty() && parent.back() == '/') parent.pop_back();
    size_t slash = parent.find_last_of('/');
    if (slash != std::string::npos && slash > 0) CreateFolders(parent.substr(0, slash + 1));
    CreateFolder(folder);
}

int64_t NowLocalDateValue() { return ToLocalDateValue(time(nullptr)); }

void WriteLine(const std::string& text) {
    std::lock_guard<std::mutex> lock(ConsoleMutex());
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void SetConsoleTitle(const std::string& title) {
    if (!isatty(STDOUT_FILENO)) return;
    std::lock_guard<std::mutex> lock(ConsoleMutex());
    std::fprintf(stdout, "\033]0;%s\007", title.c_str());
    std::fflush(stdout);
}

void WaitForKey() {
    if (!isatty(STDIN_FILENO)) return;
    struct termios old{};
    if (tcgetattr(STDIN_FILENO, &old) != 0) return;
    struct termios raw = old;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    char c;
    while (read(STDIN_FILENO, &c, 1) < 0 && errno == EINTR) {
    }
    tcsetattr(STDIN_FILENO, TCSANOW, &old);
}

bool AcquireSingleInstance(const std::string& name) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string folder = (runtime && *runtime && FolderExists(runtime)) ? runtime : "/tmp";
void WriteErrorLine(const std::string& text) {
    std::lock_guard<std::mutex> lock(ConsoleMutex());
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

    if (folder.back() != '/') folder += '/';
    std::string file;
    for (char c : name) file += (c == '/' || c == ' ') ? '_' : c;
    std::string path = folder + file + ".lock";
    // The descriptor stays open for the life of the process; the kernel
    // drops the lock when the process ends, however it ends.
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return false;
    }
    return true;
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

void* ModuleSymbol(void* module, const char* name) {
    return module ? dlsym(module, name) : nullptr;
}

}  // namespace tarnwick::platform
