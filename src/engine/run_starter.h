// Starting and ending a conversion run, shared by the command line and the
// window's Convert command: the drawing preparation with the watermark font
// held for the run, the output encoding, and the worker thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "engine/format_registry.h"
#include "engine/input_list.h"
#include "engine/pipeline.h"
#include "engine/run_state.h"
#include "settings/settings.h"

namespace tarnwick {

// The watermark font of a run: loaded before the worker starts, released when
// the run ends (at the latest when this object goes).
class WatermarkFont {
public:
    WatermarkFont() = default;
    ~WatermarkFont() { Release(); }
    WatermarkFont(const WatermarkFont&) = delete;
    WatermarkFont& operator=(const WatermarkFont&) = delete;

    bool Load(const Settings& s);
    void Release();
    bool Loaded() const { return loaded_; }

private:
    bool loaded_ = false;
};

// The outcome of preparing a run's frame or watermark.
enum class DrawingCheck {
    Ready,
    InvalidFont,            // the text watermark's font cannot be loaded
    EmptyWatermarkImage,    // no watermark image named
    InvalidWatermarkImage,  // the watermark image is missing or empty
};

// One run over the input file list. The starter hands in the records the run
// works on; the worker runs on its own thread between Start and Wait.
class RunStarter {
public:
    // The starter owns the run's progress record and its lock.
    RunStarter(const Settings& s, RunState& run, const FormatRegistry& reg,
               const InputFileList& files);
    // A run over the program-wide records.
    static std::unique_ptr<RunStarter> ForProgramRecords();
    ~RunStarter();  // waits for a started worker
    RunStarter(const RunStarter&) = delete;
    RunStarter& operator=(const RunStarter&) = delete;

    // Sets up the drawing canvas on this thread when a frame or a watermark is
    // on, then loads a text watermark's font or checks the watermark image.
    DrawingCheck PrepareDrawing();
    // The output format number, depth and save flags of run.conversion.
    void PrepareEncoding();

    // Resets the progress record and starts the worker. Failed files are
    // reported to sinks.failure (standard error when none is given). False,
    // with the reason in `why`, when no thread can be started: the run is
    // then finished with nothing converted.
    bool Start(WorkerSinks sinks = {}, std::string* why = nullptr);
    bool Finished() const { return finished_; }
    // Waits until the worker has finished, for at most `timeout`; whether it has.
    bool WaitFinished(std::chrono::milliseconds timeout);

    // Where the worker is: the number of the file it converts (0 before the
    // first), its path, and the thousandths of that file done (counted only
    // when the sinks handed to Start watch the file).
    struct Position {
        int index = 0;
        std::string file;
        int perMille = 0;
    };
    Position Where() const;
    // Waits for the worker; the number of files converted.
    int Wait();

    void Pause() { pause_.Pause(); }
    void Resume() { pause_.Resume(); }
    // The worker stops after the file it is converting.
    void RequestStop();

    // Replaces the worker's body (tests drive the progress window with it).
    void SetWorkerBody(std::function<void(const RunContext&)> body) { body_ = std::move(body); }

    const RunContext& Context() const { return context_; }

private:
    const Settings& settings_;
    RunState& run_;
    const FormatRegistry& registry_;
    WorkerProgress progress_;
    mutable std::mutex progressLock_;
    PauseGate pause_;
    // The request and naming counters of the run, fixed by Start; the
    // counters go back to the run record when the run has ended (Wait).
    RunRequest request_;
    NamingCounters counters_;
    RunContext context_;
    WatermarkFont font_;
    std::function<void(const RunContext&)> body_;
    std::thread thread_;
    std::atomic<bool> finished_{false};
    std::mutex finishedLock_;
    std::condition_variable finishedChanged_;
};

}  // namespace tarnwick
