#include "platform/safe_save.h"

#include "platform/paths.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <random>

namespace tarnwick::platform {

namespace {

// --- Temporary files known to the signal handler -------------------------
//
// A save in progress keeps its temporary path in one of these preallocated
// slots, so a signal handler can remove it without allocating anything.

static_assert(std::atomic<int>::is_always_lock_free);

constexpr int kSlotFree = 0;
constexpr int kSlotFilling = 1;
constexpr int kSlotActive = 2;

struct TempSlot {
    std::atomic<int> state{kSlotFree};
    char path[PATH_MAX];
};

TempSlot g_tempSlots[8];

// Claims a slot for `path`; -1 when none is free or the path is too long
// (such a save still works, it only cannot be cleaned up by a signal).
int RegisterTemp(const std::string& path) {
    if (path.size() >= PATH_MAX) return -1;
    for (int i = 0; i < static_cast<int>(std::size(g_tempSlots)); ++i) {
        int expected = kSlotFree;
        if (!g_tempSlots[i].state.compare_exchange_strong(expected, kSlotFilling)) continue;
        std::memcpy(g_tempSlots[i].path, path.c_str(), path.size() + 1);
        g_tempSlots[i].state.store(kSlotActive);
        return i;
    }
    return -1;
}

void ReleaseTemp(int slot) {
    if (slot >= 0) g_tempSlots[slot].state.store(kSlotFree);
}

extern "C" void RemoveTempsAndRaise(int sig) {
    const int savedErrno = errno;
    for (TempSlot& slot : g_tempSlots)
        if (slot.state.load() == kSlotActive) ::unlink(slot.path);
    errno = savedErrno;
    // The handler was installed with SA_RESETHAND: the default action is back
    // and takes effect when the handler returns.
    ::raise(sig);
}

// --- Paths -----------------------------------------------------------------

// Follows symbolic links to the file that is really replaced. A dangling
// link gives the path it points to (the save creates that file).
std::optional<std::string> FinalTarget(const std::string& target, int* error) {
    std::string path = target;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        char buffer[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
        if (n < 0 || static_cast<size_t>(n) >= sizeof buffer) {
            *error = n < 0 ? errno : ENAMETOOLONG;
            return std::nullopt;
        }
        const std::string link(buffer, static_cast<size_t>(n));
        path = !link.empty() && link[0] == '/' ? link : FolderPart(path, "/") + link;
    }
    *error = ELOOP;
    return std::nullopt;
}

std::string ShortTempName() {
    static std::mutex m;
    static std::mt19937_64 rng{std::random_device{}()};
    std::lock_guard<std::mutex> lock(m);
    char name[32];
    std::snprintf(name, sizeof name, ".tarnwick-%08llx.tmp",
                  static_cast<unsigned long long>(rng() & 0xffffffffull));
    return name;
}

// Flushes a folder's entries (the rename) to disk. A file system that cannot
// do that has nothing more to offer, so a failure here is not the save's.
void SyncFolder(const std::string& folder) {
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

SaveResult Failure(const std::string& target, int error) {
    SaveResult r;
    r.error = "cannot write " + target + (error ? std::string(": ") + std::strerror(error) : "");
    return r;
}

SaveResult Failure(const std::string& target, const char* reason) {
    SaveResult r;
    r.error = "cannot write " + target + ": " + reason;
    return r;
}

class FileSink : public SaveSink {
public:
    explicit FileSink(int fd) : fd_(fd) {}
    bool Write(const void* data, size_t size) override { return WriteAt(end_, data, size); }
    bool WriteAt(uint64_t offset, const void* data, size_t size) override {
        if (error_ != 0) return false;  // the file is already lost
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t n = ::pwrite(fd_, p, size, static_cast<off_t>(offset));
            if (n < 0) {
                if (errno == EINTR) continue;
                error_ = errno;
                return false;
            }
            if (n == 0) {  // no progress: treat as a full device
                error_ = ENOSPC;
                return false;
            }
            p += n;
            size -= static_cast<size_t>(n);
            offset += static_cast<uint64_t>(n);
        }
        if (offset > end_) end_ = offset;
        return true;
    }
    int error() const { return error_; }
    uint64_t end() const { return end_; }

private:
    int fd_;
    uint64_t end_ = 0;
    int error_ = 0;
};

// The old file's state that the new file keeps.
struct OldFile {
    bool exists = false;
    mode_t mode = 0;
    uid_t uid = 0;
    gid_t gid = 0;
    off_t size = 0;
};

// Overwrites an existing file in place: for a target whose folder we may not
// change but whose file we may. Only for bytes already in memory.
SaveResult OverwriteInPlace(const std::string& target, const std::string& path,
                            const std::vector<SaveBuffer>& parts, const OldFile& old,
                            int folderError) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return Failure(target, folderError);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Failure(target, folderError);
    }
    uint64_t total = 0;
    for (const SaveBuffer& part : parts) total += part.size;

    // Reserve the room first: a full disk then fails before any old byte
    // is overwritten. File systems without reservation go on without it.
    if (total > static_cast<uint64_t>(old.size) &&
        ::fallocate(fd, 0, 0, static_cast<off_t>(total)) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS) {
        const int error = errno;
        if (::ftruncate(fd, old.size) != 0) {
            // The size stays as the failed reservation left it; the content is unchanged.
        }
        ::close(fd);
        return Failure(target, error);
    }

    FileSink sink(fd);
    bool ok = true;
    for (const SaveBuffer& part : parts)
        if (!(ok = sink.Write(part.data, part.size))) break;
    int error = sink.error();
    if (ok && ::ftruncate(fd, static_cast<off_t>(total)) != 0) ok = false, error = errno;
    if (ok && ::fsync(fd) != 0) ok = false, error = errno;
    if (::close(fd) != 0 && ok) ok = false, error = errno;
    return ok ? SaveResult{true, {}} : Failure(target, error);
}

SaveResult Save(const std::string& target, const std::function<bool(SaveSink&)>& fill,
                const std::vector<SaveBuffer>* inMemory) {
    if (target.empty()) return Failure(target, ENOENT);
    int error = 0;
    const std::optional<std::string> finalPath = FinalTarget(target, &error);
    if (!finalPath) return Failure(target, error);
    const std::string& path = *finalPath;
    if (path.empty() || path.back() == '/') return Failure(target, EISDIR);

    OldFile old;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return Failure(target, EISDIR);
        if (!S_ISREG(st.st_mode)) return Failure(target, "not a regular file");
        old = OldFile{true, static_cast<mode_t>(st.st_mode & 07777), st.st_uid, st.st_gid,
                      st.st_size};
    }

    const std::string folder = FolderPart(path, "/");
    std::string temp;
    int fd = -1;
    int slot = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder + ShortTempName();
        slot = RegisterTemp(temp);
        // The temporary file starts private; an old file's mode is put on it
        // when it is complete, a new file gets what the umask allows.
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
                    old.exists ? 0600 : 0666);
        if (fd < 0) {
            error = errno;
            ReleaseTemp(slot);
            slot = -1;
            if (error != EEXIST) break;
        }
    }
    if (fd < 0) {
        if (inMemory && old.exists && (error == EACCES || error == EPERM))
            return OverwriteInPlace(target, path, *inMemory, old, error);
        return Failure(target, error);
    }

    FileSink sink(fd);
    bool ok = fill(sink);
    error = sink.error();
    if (ok && old.exists) {
        // Owner first: a change of owner clears set-id bits that the mode
        // then puts back. Only root (or a group member) may change them; the
        // file is saved anyway.
        if ((old.uid != ::geteuid() || old.gid != ::getegid()) &&
            ::fchown(fd, old.uid, old.gid) != 0) {
        }
        if (::fchmod(fd, old.mode) != 0) ok = false, error = errno;
    }
    if (ok && ::fsync(fd) != 0) ok = false, error = errno;
    if (::close(fd) != 0 && ok) ok = false, error = errno;
    bool renameRefused = false;
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        error = errno;
        renameRefused = error == EACCES || error == EPERM;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        ReleaseTemp(slot);
        // A sticky folder (such as /tmp) lets us create files but not
        // replace another user's file, even one we may write.
        if (renameRefused && inMemory && old.exists)
            return OverwriteInPlace(target, path, *inMemory, old, error);
        return Failure(target, error);
    }
    ReleaseTemp(slot);
    SyncFolder(folder);
    return SaveResult{true, {}};
}

}  // namespace

SaveResult SafeSave(const std::string& target, const std::function<bool(SaveSink&)>& fill) {
    return Save(target, fill, nullptr);
}

SaveResult SafeSaveBuffers(const std::string& target, const std::vector<SaveBuffer>& parts) {
    return Save(
        target,
        [&](SaveSink& sink) {
            for (const SaveBuffer& part : parts)
                if (!sink.Write(part.data, part.size)) return false;
            return true;
        },
        &parts);
}

SaveResult SafeSaveBytes(const std::string& target, const void* data, size_t size) {
    return SafeSaveBuffers(target, {SaveBuffer{data, size}});
}

void InstallSaveCleanupOnSignals() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction old {};
            if (::sigaction(sig, nullptr, &old) != 0) continue;
            if (old.sa_handler == SIG_IGN) continue;  // e.g. nohup: the signal stays ignored
            struct sigaction action {};
            action.sa_handler = RemoveTempsAndRaise;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESETHAND;
            ::sigaction(sig, &action, nullptr);
        }
    });
}

}  // namespace tarnwick::platform
