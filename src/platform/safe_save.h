// The one way every file of the program is written: to a temporary file beside
// the target, checked at every write, flushed to disk and then renamed over
// the target, so an existing file is either kept whole or replaced whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

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
SaveResult SafeSave(const std::string& target, const std::function<bool(SaveSink&)>& fill);
SaveResult SafeSaveBytes(const std::string& target, const void* data, size_t size);

}  // namespace tarnwick::platform
