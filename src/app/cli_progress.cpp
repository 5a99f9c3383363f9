#include "app/cli_progress.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "platform/platform.h"
#include "text/shown.h"

namespace tarnwick {

namespace {

using namespace std::chrono_literals;

constexpr auto kLookEvery = 20ms;    // how often the worker's position is read
constexpr auto kShownAfter = 500ms;  // a file shows its line once it takes longer
constexpr auto kDrawnEvery = 100ms;  // at most ten drawings a second
constexpr const char* kErase = "\r\x1b[K";

// Characters of UTF-8 text (bytes that do not continue a character).
size_t CharacterCount(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// The last `count` characters of UTF-8 text.
std::string LastCharacters(const std::string& text, size_t count) {
    size_t at = text.size();
    for (size_t seen = 0; at > 0 && seen < count;) {
        --at;
        if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80) ++seen;
    }
    return text.substr(at);
}

std::string ElapsedText(std::chrono::milliseconds elapsed) {
    const long long seconds = std::max<long long>(0, elapsed.count() / 1000);
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                      seconds % 60);
    else std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    return text;
}

}  // namespace

std::string ProgressLineText(const std::string& name, int perMille,
                             std::chrono::milliseconds elapsed, int columns) {
    char percent[16];
    std::snprintf(percent, sizeof percent, "%3d%%", std::clamp(perMille, 0, 1000) / 10);
    const std::string tail = std::string("  ") + percent + "  " + ElapsedText(elapsed);
    std::string shown = text::Shown(name);
    if (columns > 0) {
        // The last column stays free: a line that fills it would wrap on
        // some terminals, and the erasing works on the last row only.
        const long long room =
            static_cast<long long>(columns) - 1 - static_cast<long long>(tail.size());
        if (room < 4) return tail.substr(2);
        if (CharacterCount(shown) > static_cast<size_t>(room))
            shown = "..." + LastCharacters(shown, static_cast<size_t>(room) - 3);
    }
    return shown + tail;
}

void TerminalProgress::FollowUntilFinished() {
    int index = 0;
    std::string drawn;
    while (!starter_.WaitFinished(kLookEvery)) {
        const RunStarter::Position at = starter_.Where();
        const Clock::time_point now = Clock::now();
        if (at.index != index) {
            // A new file: the line of the one before goes with it.
            if (index > 0) EndFile(index, std::nullopt);
            index = at.index;
            fileStart_ = now;
            fileName_ = at.file;
            drawn.clear();
            continue;
        }
        if (index == 0 || now - fileStart_ <= kShownAfter || now - lastDraw_ < kDrawnEvery)
            continue;
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(now - fileStart_);
        const std::string text =
            ProgressLineText(fileName_, at.perMille, elapsed, platform::StandardErrorColumns());
        if (text == drawn) continue;
        Draw(index, text, at.perMille);
        drawn = text;
    }
    // The worker has ended: the count belongs to the last file still.
    if (index > 0) EndFile(index, starter_.Where().perMille);
    Erase();
}

void TerminalProgress::Draw(int index, const std::string& text, int perMille) {
    std::lock_guard<std::mutex> lock(m_);
    if (index <= endedIndex_) return;
    platform::WriteErrorText("\r" + text + "\x1b[K");
    shown_ = true;
    lastDraw_ = Clock::now();
    drawnPerMille_ = perMille;
}

void TerminalProgress::EndFile(int index, std::optional<int> finalPerMille) {
    bool drawFinal = false;
    {
        std::lock_guard<std::mutex> lock(m_);
        drawFinal =
            shown_ && index > endedIndex_ && finalPerMille && *finalPerMille != drawnPerMille_;
    }
    // Where the file ended, when the rate of drawings allows it (the run is
    // not held up for it).
    if (drawFinal && Clock::now() - lastDraw_ >= kDrawnEvery) {
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - fileStart_);
        Draw(index,
             ProgressLineText(fileName_, *finalPerMille, elapsed, platform::StandardErrorColumns()),
             *finalPerMille);
    }
    std::lock_guard<std::mutex> lock(m_);
    endedIndex_ = std::max(endedIndex_, index);
    if (shown_) platform::WriteErrorText(kErase);
    shown_ = false;
}

void TerminalProgress::Erase() {
    std::lock_guard<std::mutex> lock(m_);
    if (shown_) platform::WriteErrorText(kErase);
    shown_ = false;
}

void TerminalProgress::WriteErrorLine(const std::string& line) {
    const int index = starter_.Where().index;
    std::lock_guard<std::mutex> lock(m_);
    if (shown_) platform::WriteErrorText(kErase);
    shown_ = false;
    endedIndex_ = std::max(endedIndex_, index);
    platform::WriteErrorLine(line);
}

}  // namespace tarnwick
