#include "platform/safe_save.h"

#include "platform/paths.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <random>
#include <vector>

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

// While an existing file is overwritten in place, the three signals only
// note themselves: the overwrite ends first, then the process ends as the
// signal says. A half-overwritten file would be neither the old nor the new.
std::atomic<int> g_holdSignals{0};
volatile sig_atomic_t g_heldSignal = 0;

void RemoveTempsAndEnd(int sig) {
    for (TempSlot& slot : g_tempSlots)
        if (slot.state.load() == kSlotActive) ::unlink(slot.path);
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(sig, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(sig);
}

extern "C" void OnEndingSignal(int sig) {
    const int savedErrno = errno;
    g_heldSignal = sig;  // first, so the end of a held overwrite always sees it
    if (g_holdSignals.load() == 0) RemoveTempsAndEnd(sig);
    errno = savedErrno;
}

// Holds the ending signals for its lifetime; a signal that came meanwhile
// takes effect when it ends.
class HeldSignals {
public:
    HeldSignals() { g_holdSignals.fetch_add(1); }
    ~HeldSignals() {
        if (g_holdSignals.fetch_sub(1) == 1 && g_heldSignal != 0) RemoveTempsAndEnd(g_heldSignal);
    }
    HeldSignals(const HeldSignals&) = delete;
    HeldSignals& operator=(const HeldSignals&) = delete;
};

// --- Paths -----------------------------------------------------------------

// A symbolic link another user planted in a shared sticky folder (such as
// /tmp) is not followed: the kernel refuses such links to everybody but
// their owner and the folder's owner, and so does the save, which follows
// links itself.
bool PlantedLink(const std::string& link, const struct stat& linkStat) {
    struct stat folder {};
    if (::stat(FolderPart(link, "/").empty() ? "." : FolderPart(link, "/").c_str(), &folder) != 0)
        return false;
    const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    return shared && linkStat.st_uid != ::geteuid() && linkStat.st_uid != folder.st_uid;
}

constexpr const char* kPlantedLink =
    "a symbolic link of another user in a shared folder is not followed";

// Follows symbolic links to the file that is really replaced. A dangling
// link gives the path it points to (the save creates that file).
std::optional<std::string> FinalTarget(const std::string& target, int* error, bool* planted) {
    std::string path = target;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        if (PlantedLink(path, st)) {
            *planted = true;
            return std::nullopt;
        }
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

// Copies the first `size` bytes of the file `from` into `to`.
bool CopyFileBytes(int from, uint64_t size, FileSink& to) {
    std::vector<char> buffer(1 << 20);
    for (uint64_t at = 0; at < size;) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), size - at));
        const ssize_t n = ::pread(from, buffer.data(), want, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        if (!to.WriteAt(at, buffer.data(), static_cast<size_t>(n))) return false;
        at += static_cast<uint64_t>(n);
    }
    return true;
}

// The old file's state that the new file keeps.
struct OldFile {
    bool exists = false;
    mode_t mode = 0;
    uid_t uid = 0;
    gid_t gid = 0;
    off_t size = 0;
};

// Overwrites an existing file in place with `total` bytes that `write` puts
// into it: for a target whose folder we may not change but whose file we
// may. The bytes are complete before this starts (in memory or in a
// finished temporary file), and the ending signals wait until it is done.
SaveResult OverwriteInPlace(const std::string& target, const std::string& path, uint64_t total,
                            const std::function<bool(FileSink&)>& write, const OldFile& old,
                            int folderError) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return Failure(target, folderError);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Failure(target, folderError);
    }
    const HeldSignals held;

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
    bool ok = write(sink);
    int error = sink.error() ? sink.error() : EIO;
    if (ok && ::ftruncate(fd, static_cast<off_t>(total)) != 0) ok = false, error = errno;
    if (ok && ::fsync(fd) != 0) ok = false, error = errno;
    if (::close(fd) != 0 && ok) ok = false, error = errno;
    return ok ? SaveResult{true, {}} : Failure(target, error);
}

// Where the new bytes are written before they take the target's place.
struct TempFile {
    int fd = -1;
    bool unnamed = false;  // O_TMPFILE: no name until it is complete
    bool beside = true;    // in the target's folder (else a scratch file elsewhere)
    std::string name;      // the named temporary file, when there is one
    int slot = -1;         // its slot for the signal handler
    int error = 0;         // why none could be made

    ~TempFile() {
        if (fd >= 0) ::close(fd);
        if (!name.empty()) ::unlink(name.c_str());
        ReleaseTemp(slot);
    }
    // The file now has its final name (or is gone): nothing to clean up.
    void Forget() {
        name.clear();
        ReleaseTemp(slot);
        slot = -1;
    }
};

bool UnnamedFilesWork() {
    static const bool work = ::access("/proc/self/fd", X_OK) == 0;
    return work;
}

// An unnamed file in `folder` where the file system has them, so a killed
// process leaves nothing behind; else a short named file.
void MakeTemp(const std::string& folder, mode_t mode, TempFile* t) {
#ifdef O_TMPFILE
    if (UnnamedFilesWork()) {
        t->fd = ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
        if (t->fd >= 0) {
            t->unnamed = true;
            return;
        }
        if (errno == EACCES || errno == EPERM || errno == EROFS || errno == ENOSPC) {
            t->error = errno;
            return;
        }
    }
#endif
    for (int attempt = 0; attempt < 100; ++attempt) {
        t->name = folder + ShortTempName();
        t->slot = RegisterTemp(t->name);
        t->fd = ::open(t->name.c_str(),
                       O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, mode);
        if (t->fd >= 0) return;
        t->error = errno;
        t->name.clear();
        ReleaseTemp(t->slot);
        t->slot = -1;
        if (t->error != EEXIST) return;
    }
}

// Gives a finished unnamed file a short name in `folder`.
int NameTemp(const std::string& folder, TempFile* t) {
    const std::string fdPath = "/proc/self/fd/" + std::to_string(t->fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        t->name = folder + ShortTempName();
        t->slot = RegisterTemp(t->name);
        if (::linkat(AT_FDCWD, fdPath.c_str(), AT_FDCWD, t->name.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return 0;
        const int error = errno;
        t->name.clear();
        ReleaseTemp(t->slot);
        t->slot = -1;
        if (error != EEXIST) return error;
    }
    return EEXIST;
}

std::string ScratchFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = tmp && tmp[0] == '/' ? tmp : "/tmp";
    if (folder.back() != '/') folder += '/';
    return folder;
}

SaveResult Save(const std::string& target, const std::function<bool(SaveSink&)>& fill,
                const std::vector<SaveBuffer>* inMemory) {
    if (target.empty()) return Failure(target, ENOENT);
    int error = 0;
    bool planted = false;
    const std::optional<std::string> finalPath = FinalTarget(target, &error, &planted);
    if (planted) return Failure(target, kPlantedLink);
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

    // The temporary file starts private; an old file's mode is put on it
    // when it is complete, a new file gets what the umask allows.
    const std::string folder = FolderPart(path, "/");
    TempFile temp;
    MakeTemp(folder, old.exists ? 0600 : 0666, &temp);
    if (temp.fd < 0) {
        const int folderError = temp.error;
        const bool mayOverwrite = old.exists && (folderError == EACCES || folderError == EPERM);
        if (!mayOverwrite) return Failure(target, folderError);
        // The folder takes no new file, but the old file may be writable.
        if (inMemory) {
            uint64_t total = 0;
            for (const SaveBuffer& part : *inMemory) total += part.size;
            return OverwriteInPlace(
                target, path, total,
                [&](FileSink& sink) {
                    for (const SaveBuffer& part : *inMemory)
                        if (!sink.Write(part.data, part.size)) return false;
                    return true;
                },
                old, folderError);
        }
        // Bytes made on the fly are finished in a scratch file first.
        MakeTemp(ScratchFolder(), 0600, &temp);
        if (temp.fd < 0) return Failure(target, folderError);
        temp.beside = false;
    }

    FileSink sink(temp.fd);
    bool ok = fill(sink);
    error = sink.error();
    // The finished bytes copied over the old file, where only it may be written.
    const auto copyInPlace = [&](int folderError) {
        return OverwriteInPlace(
            target, path, sink.end(),
            [&](FileSink& to) { return CopyFileBytes(temp.fd, sink.end(), to); }, old, folderError);
    };
    if (ok && !temp.beside) return copyInPlace(EACCES);
    if (ok && old.exists) {
        // Owner first: a change of owner clears set-id bits that the mode
        // then puts back. Only root (or a group member) may change them; the
        // file is saved anyway.
        if ((old.uid != ::geteuid() || old.gid != ::getegid()) &&
            ::fchown(temp.fd, old.uid, old.gid) != 0) {
        }
        if (::fchmod(temp.fd, old.mode) != 0) ok = false, error = errno;
    }
    if (ok && ::fsync(temp.fd) != 0) ok = false, error = errno;
    if (ok && temp.unnamed) {
        if (const int e = NameTemp(folder, &temp)) ok = false, error = e;
    }
    if (!ok) return Failure(target, error);
    if (::rename(temp.name.c_str(), path.c_str()) != 0) {
        error = errno;
        // A sticky folder (such as /tmp) lets us create files but not
        // replace another user's file, even one we may write.
        if (old.exists && (error == EACCES || error == EPERM)) return copyInPlace(error);
        return Failure(target, error);
    }
    temp.Forget();
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
            action.sa_handler = OnEndingSignal;
            sigemptyset(&action.sa_mask);
            ::sigaction(sig, &action, nullptr);
        }
    });
}

void IgnoreFileSizeSignal() {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGXFSZ, &action, nullptr);
}

}  // namespace tarnwick::platform
