#include "engine/run_starter.h"

#include <system_error>

#include "engine/encoding.h"
#include "engine/steps.h"
#include "platform/platform.h"
#include "text/shown.h"

namespace tarnwick {

bool WatermarkFont::Load(const Settings& s) {
    Release();
    loaded_ = LoadWatermarkFont(s);
    return loaded_;
}

void WatermarkFont::Release() {
    if (!loaded_) return;
    ReleaseWatermarkFont();
    loaded_ = false;
}

RunStarter::RunStarter(const Settings& s, RunState& run, const FormatRegistry& reg,
                       const InputFileList& files)
    : settings_(s), run_(run), registry_(reg), context_{request_,  counters_,     reg,   files,
                                                        progress_, progressLock_, pause_} {}

std::unique_ptr<RunStarter> RunStarter::ForProgramRecords() {
    return std::make_unique<RunStarter>(GlobalSettings(), GlobalRunState(), GlobalRegistry(),
                                        GlobalInputList());
}

RunStarter::~RunStarter() {
    if (thread_.joinable()) {
        RequestStop();
        pause_.Resume();
        thread_.join();
    }
}

DrawingCheck RunStarter::PrepareDrawing() {
    const Settings& s = settings_;
    if (s.frameKind() != FrameKind::None || s.watermarkKind() != WatermarkKind::None)
        PrepareCanvas();
    if (s.watermarkKind() == WatermarkKind::Text) {
        // Without the drawing module no font can load; that is not the
        // font's fault: each file fails at the watermark with the reason.
        if (!CanvasAvailable()) return DrawingCheck::Ready;
        if (!font_.Load(s)) return DrawingCheck::InvalidFont;
    } else if (s.watermarkKind() == WatermarkKind::Image) {
        if (s.watermarkImage.empty()) return DrawingCheck::EmptyWatermarkImage;
        if (!WatermarkImageUsable(s.watermarkImage)) return DrawingCheck::InvalidWatermarkImage;
    }
    return DrawingCheck::Ready;
}

void RunStarter::PrepareEncoding() {
    PrepareOutputEncoding(registry_, settings_, run_, run_.conversion);
}

bool RunStarter::Start(WorkerSinks sinks, std::string* why) {
    // The run's request: the settings and the run record as they are now,
    // the output encoding already resolved by PrepareEncoding.
    request_.settings = settings_;
    request_.base = run_;
    counters_ = NamingCounters{run_.fileNumber, run_.randomNumber};
    {
        std::lock_guard<std::mutex> lock(progressLock_);
        progress_.currentIndex = 0;
        progress_.currentFile.clear();
        progress_.convertedCount = 0;
        progress_.keepRunning = 1;
        progress_.file.Restart();
    }
    if (!sinks.failure) {
        sinks.failure = [](const std::string& input, const std::string& reason) {
            platform::WriteErrorLine(text::FailureLine(input, reason));
        };
    }
    finished_ = false;
    std::function<void(const RunContext&)> body = body_;
    if (!body) body = [sinks](const RunContext& ctx) { RunConversionWorker(ctx, sinks); };
    try {
        thread_ = std::thread([this, body] {
            body(context_);
            {
                std::lock_guard<std::mutex> lock(finishedLock_);
                finished_ = true;
            }
            finishedChanged_.notify_all();
        });
    } catch (const std::system_error& e) {
        // At the process limit, say: the run ends at once, nothing converted.
        finished_ = true;
        if (why) *why = std::string("cannot start the conversion: ") + e.code().message();
        return false;
    }
    return true;
}

bool RunStarter::WaitFinished(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(finishedLock_);
    return finishedChanged_.wait_for(lock, timeout, [this] { return finished_.load(); });
}

int RunStarter::Wait() {
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> lock(progressLock_);
    run_.fileNumber = counters_.fileNumber;
    run_.randomNumber = counters_.randomNumber;
    return progress_.convertedCount;
}

RunStarter::Position RunStarter::Where() const {
    std::lock_guard<std::mutex> lock(progressLock_);
    return {progress_.currentIndex, progress_.currentFile, progress_.file.PerMille()};
}

void RunStarter::RequestStop() {
    std::lock_guard<std::mutex> lock(progressLock_);
    progress_.keepRunning = 0;
}

}  // namespace tarnwick
