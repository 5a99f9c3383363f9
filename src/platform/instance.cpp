// Linux implementation of the single-instance lock and the hand-off socket.
#include "platform/instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace tarnwick::platform {

namespace {

// The runtime folder belongs to the user alone; /tmp is shared, so the files
// there carry the user id.
std::string InstanceFile(const std::string& name, const char* suffix) {
    std::string file;
    for (char c : name) file += (c == '/' || c == ' ') ? '_' : c;
    const char* value = std::getenv("XDG_RUNTIME_DIR");
    std::string runtime = value ? value : "";
    while (!runtime.empty() && (runtime.back() == ' ' || runtime.back() == '\t'))
        runtime.pop_back();
    struct stat st {};
    if (!runtime.empty() && runtime[0] == '/' && stat(runtime.c_str(), &st) == 0 &&
        S_ISDIR(st.st_mode))
        return runtime + (runtime.back() == '/' ? "" : "/") + file + suffix;
    return "/tmp/" + file + "-" + std::to_string(static_cast<unsigned long>(getuid())) + suffix;
}

// Opens the lock file; -1 when it cannot be used (a link, another user's
// file, a folder we may not write).
int OpenLockFile(const std::string& name) {
    const std::string path = InstanceLockPath(name);
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0) return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
        close(fd);
        return -1;
    }
    return fd;
}

bool SocketAddress(const std::string& path, sockaddr_un* address) {
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    if (path.size() >= sizeof address->sun_path) return false;
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

// A socket file of this user (not a link, not someone else's).
bool OwnSocket(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_uid == geteuid();
}

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Reads the path a sender writes, up to its terminating zero byte; waits at
// most `timeoutMs`. Empty when nothing usable came.
std::string ReadHandOff(int fd, int timeoutMs) {
    constexpr size_t kMaxPath = 65536;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string text;
    char buffer[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, MillisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return {};
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return {};  // ended before its zero byte: a sender cut short
        text.append(buffer, static_cast<size_t>(n));
        if (const size_t end = text.find('\0'); end != std::string::npos) {
            text.resize(end);
            return text;
        }
        if (text.size() > kMaxPath) return {};
    }
}

}  // namespace

std::string InstanceLockPath(const std::string& name) { return InstanceFile(name, ".lock"); }
std::string HandOffSocketPath(const std::string& name) { return InstanceFile(name, ".sock"); }

LockOutcome AcquireInstanceLock(const std::string& name, LockMode mode) {
    const int fd = OpenLockFile(name);
    if (fd < 0) return LockOutcome::Unusable;
    // The descriptor stays open for the life of the process; the kernel drops
    // the lock when the process ends, however it ends.
    const int operation = (mode == LockMode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    int result;
    while ((result = flock(fd, operation)) != 0 && errno == EINTR) {
    }
    if (result == 0) return LockOutcome::Taken;
    const bool held = errno == EWOULDBLOCK;
    close(fd);
    return held ? LockOutcome::Held : LockOutcome::Unusable;
}

bool InstanceHeldExclusively(const std::string& name) {
    const int fd = OpenLockFile(name);
    if (fd < 0) return false;
    int result;
    while ((result = flock(fd, LOCK_SH | LOCK_NB)) != 0 && errno == EINTR) {
    }
    const bool exclusive = result != 0 && errno == EWOULDBLOCK;
    close(fd);  // drops the shared lock of the look, if it was taken
    return exclusive;
}

bool AcquireSingleInstance(const std::string& name) {
    return AcquireInstanceLock(name, LockMode::Exclusive) != LockOutcome::Held;
}

int ListenForHandOff(const std::string& name) {
    const std::string path = HandOffSocketPath(name);
    sockaddr_un address;
    if (!SocketAddress(path, &address)) return -1;
    // A socket left by a window that ended is ours to replace (the exclusive
    // lock says no window listens on it); anything else stays untouched.
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) {
        if (!OwnSocket(path) || unlink(path.c_str()) != 0) return -1;
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    // Owner-only: the file's mode, and every sender's user id is checked too
    // (the mode is set only after the file exists).
    chmod(path.c_str(), 0600);
    if (listen(fd, 8) != 0) {
        close(fd);
        unlink(path.c_str());
        return -1;
    }
    return fd;
}

std::vector<std::string> AcceptHandOffs(int listener) {
    std::vector<std::string> paths;
    if (listener < 0) return paths;
    for (;;) {
        const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR) continue;
            break;  // nothing more waiting
        }
        ucred peer{};
        socklen_t size = sizeof peer;
        if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == geteuid()) {
            std::string path = ReadHandOff(fd, 1000);
            if (!path.empty()) {
                paths.push_back(std::move(path));
                [[maybe_unused]] ssize_t n = send(fd, "1", 1, MSG_NOSIGNAL);
            }
        }
        close(fd);
    }
    return paths;
}

void StopHandOff(int listener, const std::string& name) {
    if (listener < 0) return;
    close(listener);
    const std::string path = HandOffSocketPath(name);
    if (OwnSocket(path)) unlink(path.c_str());
}

bool HandOffToWindow(const std::string& name, const std::string& path, int timeoutMs,
                     std::string* reason) {
    const std::string socketPath = HandOffSocketPath(name);
    sockaddr_un address;
    if (!SocketAddress(socketPath, &address)) {
        if (reason) *reason = "the hand-off socket's path is too long: " + socketPath;
        return false;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    // A window that is still starting has its lock but not yet its socket.
    int fd = -1;
    int lastError = ENOENT;
    while (fd < 0) {
        if (OwnSocket(socketPath)) {
            fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (fd < 0) {
                lastError = errno;
                break;
            }
            if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
                lastError = errno;
                close(fd);
                fd = -1;
            }
        }
        if (fd >= 0 || MillisecondsLeft(deadline) == 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (fd < 0) {
        if (reason) *reason = std::strerror(lastError);
        return false;
    }
    const std::string message = path + '\0';
    size_t sent = 0;
    while (sent < message.size()) {
        const ssize_t n = send(fd, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (reason) *reason = std::strerror(errno);
            close(fd);
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    char ack = 0;
    bool taken = false;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, MillisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR) continue;
        taken = ready > 0 && read(fd, &ack, 1) == 1 && ack == '1';
        break;
    }
    close(fd);
    if (!taken && reason) *reason = "the running window did not answer";
    return taken;
}

}  // namespace tarnwick::platform
