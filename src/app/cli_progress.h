// The progress line of a command-line run: on a terminal's standard error,
// one line that rewrites itself while a file takes longer than a moment.
#pragma once

#include <chrono>
#include <mutex>
#include <optional>
#include <string>

#include "engine/run_starter.h"

namespace tarnwick {

// "photo.png  42%  0:03": the file's name (shown safely, shortened from the
// front to fit `columns` when that is above 0), the share of its work done
// and the time it has taken (minutes and seconds, hours when it comes to that).
std::string ProgressLineText(const std::string& name, int perMille,
                             std::chrono::milliseconds elapsed, int columns);

// Follows a started run and draws its progress line on standard error, which
// the caller has found to be a terminal. The line appears once a file has
// taken more than half a second, changes at most ten times a second, and is
// erased when the file ends, before any other line on standard error
// (failure lines go through WriteErrorLine here) and before the run's result
// lines on standard output.
class TerminalProgress {
public:
    explicit TerminalProgress(RunStarter& starter) : starter_(starter) {}
    ~TerminalProgress() { Erase(); }
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    // Draws the line until the worker has finished; the line is gone after.
    void FollowUntilFinished();
    // One line on standard error, with the progress line erased first and
    // the file it showed taken as ended. Safe from the worker's thread.
    void WriteErrorLine(const std::string& line);

private:
    using Clock = std::chrono::steady_clock;
    // Draws the line for the file number `index` unless that file has ended.
    void Draw(int index, const std::string& text, int perMille);
    void Erase();
    // The file number `index` has ended: with `finalPerMille`, where it
    // ended is drawn once more when the line was shown and the rate of
    // drawings allows it; then the line goes.
    void EndFile(int index, std::optional<int> finalPerMille);

    RunStarter& starter_;
    std::mutex m_;
    bool shown_ = false;
    int endedIndex_ = 0;  // files up to this number have ended
    int drawnPerMille_ = -1;
    Clock::time_point lastDraw_{};
    Clock::time_point fileStart_{};
    std::string fileName_;
};

}  // namespace tarnwick
