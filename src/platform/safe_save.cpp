#include "platform/safe_save.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/platform.h"

namespace tarnwick::platform {

namespace {

class FileSink : public SaveSink {
public:
    explicit FileSink(int fd) : fd_(fd) {}
    bool Write(const void* data, size_t size) override {
        if (!WriteAt(end_, data, size)) return false;
        return true;
    }
    bool WriteAt(uint64_t offset, const void* data, size_t size) override {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            ssize_t n = ::pwrite(fd_, p, size, static_cast<off_t>(offset));
            if (n < 0) {
                if (errno == EINTR) continue;
                error_ = errno;
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

private:
    int fd_;
    uint64_t end_ = 0;
    int error_ = 0;
};

SaveResult Failure(const std::string& target, int error) {
    SaveResult r;
    r.error = "cannot write " + target + (error ? std::string(": ") + std::strerror(error) : "");
    return r;
}

}  // namespace

SaveResult SafeSave(const std::string& target, const std::function<bool(SaveSink&)>& fill) {
    const std::string temp = TempPathBeside(target);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return Failure(target, errno);
    FileSink sink(fd);
    bool ok = fill(sink);
    int error = sink.error();
    if (ok && ::fsync(fd) != 0) ok = false, error = errno;
    if (::close(fd) != 0 && ok) ok = false, error = errno;
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) ok = false, error = errno;
    if (!ok) {
        ::unlink(temp.c_str());
        return Failure(target, error);
    }
    return SaveResult{true, {}};
}

SaveResult SafeSaveBytes(const std::string& target, const void* data, size_t size) {
    return SafeSave(target, [&](SaveSink& sink) { return sink.Write(data, size); });
}

}  // namespace tarnwick::platform
