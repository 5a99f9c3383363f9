// How far the worker has come with the file it converts. The worker counts,
// whoever started the run reads: one number per run, in thousandths of the
// file's work, so a terminal line and a progress bar show the same thing.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>

namespace tarnwick {

class FileProgress {
public:
    static constexpr int kWhole = 1000;

    // A new file: nothing of it done yet.
    void Restart() { perMille_.store(0, std::memory_order_relaxed); }
    // Moves forward to `perMille` (never back within a file). One writer:
    // the worker thread.
    void Reach(int perMille) {
        perMille = std::clamp(perMille, 0, kWhole);
        if (perMille > perMille_.load(std::memory_order_relaxed))
            perMille_.store(perMille, std::memory_order_relaxed);
    }
    int PerMille() const { return perMille_.load(std::memory_order_relaxed); }

private:
    std::atomic<int> perMille_{0};
};

// A part of a file's work, from `from` to `to` thousandths. Without a
// FileProgress (nobody watches the run) every report does nothing, so the
// code that reports pays one test of a pointer.
struct ProgressSpan {
    FileProgress* progress = nullptr;
    int from = 0;
    int to = FileProgress::kWhole;

    explicit operator bool() const { return progress != nullptr; }

    // `done` of `total` units of this part are done.
    void Report(uint64_t done, uint64_t total) const {
        if (!progress || total == 0) return;
        const uint64_t part = std::min(done, total) * static_cast<uint64_t>(to - from) / total;
        progress->Reach(from + static_cast<int>(part));
    }
    // This part is done.
    void Complete() const {
        if (progress) progress->Reach(to);
    }
    // The piece of this part from `first` to `last` thousandths of it.
    ProgressSpan Piece(int first, int last) const {
        const int width = to - from;
        return {progress, from + width * first / FileProgress::kWhole,
                from + width * last / FileProgress::kWhole};
    }
};

}  // namespace tarnwick
