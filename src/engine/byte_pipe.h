// Bytes from a producer thread to a consumer thread, for the row-by-row
// reader: the inflating feeder writes the PNG into it, libpng reads it.
#pragma once

#include <FreeImage.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "engine/png_row_reader.h"

namespace tarnwick {

// Bytes from one producer thread to one consumer thread, in buffers of
// kPipeBufferBytes, at most kPipeBuffers of them waiting unless the consumer
// lets the producer run further ahead for a while.
class BytePipe : public ByteSource {
public:
    static constexpr size_t kPipeBufferBytes = 256 * 1024;
    static constexpr size_t kPipeBuffers = 4;

    // Consumer: lets up to `bytes` wait (at least kPipeBuffers buffers), for
    // a time the consumer is busy elsewhere; 0 goes back to kPipeBuffers.
    void AllowAhead(size_t bytes) {
        std::lock_guard<std::mutex> lock(m_);
        depth_ = std::max(kPipeBuffers, bytes / kPipeBufferBytes);
        cv_.notify_all();
    }

    // Producer: appends bytes; false once the consumer has gone.
    bool Put(const void* data, size_t size) {
        const auto* p = static_cast<const BYTE*>(data);
        while (size > 0) {
            if (filling_.capacity() < kPipeBufferBytes) filling_.reserve(kPipeBufferBytes);
            const size_t n = std::min(size, kPipeBufferBytes - filling_.size());
            filling_.insert(filling_.end(), p, p + n);
            p += n;
            size -= n;
            if (filling_.size() == kPipeBufferBytes && !Push()) return false;
        }
        return true;
    }

    // Producer: no more bytes; `error` says why, or is empty at the end of
    // the file.
    void Close(const std::string& error) {
        Push();
        std::lock_guard<std::mutex> lock(m_);
        closed_ = true;
        error_ = error;
        cv_.notify_all();
    }

    // Consumer: stops the producer (it sees Put fail).
    void Cancel() {
        std::lock_guard<std::mutex> lock(m_);
        cancelled_ = true;
        cv_.notify_all();
    }

    bool Read(void* data, size_t size) override {
        auto* p = static_cast<BYTE*>(data);
        while (size > 0) {
            if (readAt_ == reading_.size() && !Pop()) return false;
            const size_t n = std::min(size, reading_.size() - readAt_);
            std::memcpy(p, reading_.data() + readAt_, n);
            readAt_ += n;
            p += n;
            size -= n;
        }
        return true;
    }

    const char* Error() const override {
        return readError_.empty() ? "the file ends too early" : readError_.c_str();
    }

private:
    bool Push() {
        if (filling_.empty()) return true;
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait(lock, [&] { return cancelled_ || ready_.size() < depth_; });
        if (cancelled_) return false;
        ready_.push_back(std::move(filling_));
        filling_ = TakeSpare();
        cv_.notify_all();
        return true;
    }

    bool Pop() {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait(lock, [&] { return !ready_.empty() || closed_; });
        if (ready_.empty()) {
            readError_ = error_;
            return false;
        }
        reading_.clear();
        // The buffers of a read-ahead are given back; a few are kept.
        if (spare_.size() < kPipeBuffers) spare_.push_back(std::move(reading_));
        reading_ = std::move(ready_.front());
        ready_.pop_front();
        readAt_ = 0;
        cv_.notify_all();
        return true;
    }

    // Called with the lock held.
    std::vector<BYTE> TakeSpare() {
        if (spare_.empty()) return {};
        std::vector<BYTE> b = std::move(spare_.back());
        spare_.pop_back();
        b.clear();
        return b;
    }

    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::vector<BYTE>> ready_;
    std::vector<std::vector<BYTE>> spare_;
    size_t depth_ = kPipeBuffers;
    bool closed_ = false;
    bool cancelled_ = false;
    std::string error_;
    std::vector<BYTE> filling_;  // producer's own
    std::vector<BYTE> reading_;  // consumer's own
    size_t readAt_ = 0;
    std::string readError_;
};

}  // namespace tarnwick
