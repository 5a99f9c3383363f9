// The one way every file of the program is written: to a temporary file beside
// the target, checked at every write, flushed to disk and then renamed over
// the target, so an existing file is either kept whole or replaced whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tarnwick::platform {

// Where the bytes of a save go. Writes either append or land at an offset
// (a BMP written row by row fills its rows bottom-up).
class SaveSink {
public:
    virtual ~SaveSink() = default;
    // Appends at the current end of the file.
    virtual bool Write(const void* data, size_t size) = 0;
    // Writes at `offset`; the file grows as needed.
    virtual bool WriteAt(uint64_t offset, const void* data, size_t size) = 0;
};

struct SaveResult {
    bool ok = false;
    std::string error;  // why it failed, e.g. "cannot write /out/x.bmp: No space left on device"
    explicit operator bool() const { return ok; }
};

// Saves the file that `fill` writes into the sink. When fill returns false or
// any write, flush or rename fails, the target is left as it was and no
// temporary file remains.
//
// How the target is replaced:
// - a symbolic link is followed to its final target, which is replaced (the
//   link stays a link), except a link another user owns in a shared sticky
//   folder such as /tmp (neither ours nor the folder owner's): that one is
//   refused, as the kernel refuses to follow it;
// - an existing target keeps its permission bits (and, where allowed, its
//   owner); a new file gets the usual 0666 less the umask;
// - an existing target that is not a regular file (a folder, a FIFO, a
//   device) is refused;
// - the new bytes go to an unnamed file in the target's folder where the
//   file system has them (a killed process leaves nothing behind), else to
//   a short named file (".tarnwick-XXXXXXXX.tmp"), so any legal target name
//   can be saved; the file is flushed to disk before it takes the target's
//   name, the folder after it;
// - when the folder does not let us create the file or replace the target
//   (a sticky folder and another user's file) but the existing target is
//   writable, the finished bytes overwrite the target in place. Room for
//   the whole file is reserved first, so a full disk is found before the
//   old content is touched, and the ending signals wait until it is done.
//   Such an overwrite cannot survive a power cut or SIGKILL, so it is only
//   the fallback.
SaveResult SafeSave(const std::string& target, const std::function<bool(SaveSink&)>& fill);

// A piece of a file that is already complete in memory.
struct SaveBuffer {
    const void* data = nullptr;
    size_t size = 0;
};

// Saves bytes that are all in memory, one piece after the other, as SafeSave.
SaveResult SafeSaveBuffers(const std::string& target, const std::vector<SaveBuffer>& parts);
SaveResult SafeSaveBytes(const std::string& target, const void* data, size_t size);

// Makes SIGINT, SIGTERM and SIGHUP remove the temporary file of a save in
// progress before the process ends as the signal says (the signal is raised
// again with its default action); during an overwrite in place they wait
// until it is done. For the command line, whose process simply ends on
// these signals. Idempotent.
void InstallSaveCleanupOnSignals();

// A file-size limit (ulimit -f, a quota) makes a write fail with EFBIG and
// the save's failure path run, instead of killing the process. Called at
// the program's start.
void IgnoreFileSizeSignal();

}  // namespace tarnwick::platform
