// The single-file conversion pipeline and the worker that runs it over the
// input file list. Both take everything they read as arguments; only the run
// starters look at the program-wide records.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "engine/bitmap.h"
#include "engine/file_progress.h"
#include "engine/input_list.h"
#include "engine/run_state.h"
#include "settings/settings.h"

namespace tarnwick {

struct FormatRegistry;

// Why a file was not converted.
enum class FileFailure {
    None,
    HeaderRefused,  // not a PNG, truncated, or a size the engine does not take
    DecodeFailed,
    StepFailed,  // a processing step could not make its picture
    SaveFailed,
    Stopped,  // the run was asked to stop before this file
};

struct FileResult {
    int converted = 0;  // 1 when the output was written
    FileFailure failure = FileFailure::None;
    std::string reason;  // for the user, e.g. "cannot write /out/x.bmp: No space left on device"
};

// Converts run.inputPath into one output file (run.outputPath). With
// `progress`, the share of the work done is counted there as the file goes:
// rows decoded and written on the row-by-row path; on the whole-picture path
// the decode up to 40 %, the steps up to 80 % and the encoding to the end.
FileResult ConvertFile(const Settings& s, RunState& run, const FormatRegistry& reg,
                       FileProgress* progress = nullptr);

// Holds the worker at its next file boundary while paused.
class PauseGate {
public:
    void Pause();
    void Resume();
    void WaitWhilePaused();

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool paused_ = false;
};

// Everything a run reads and writes.
struct RunContext {
    const Settings& settings;
    RunState& run;
    const FormatRegistry& registry;
    const InputFileList& files;
    WorkerProgress& progress;
    std::mutex& progressLock;
    PauseGate& pause;
};

// Where the worker reports: the debug lines of a command-line debug run, and
// one line per failed file with its reason.
struct WorkerSinks {
    std::function<void(const std::string& line)> debugLine;
    std::function<void(const std::string& inputPath, const std::string& reason)> failure;
    // The starter shows how far each file has come: the worker counts it in
    // progress.file. Off, nothing is counted.
    bool watchFile = false;
};

// The worker thread body: converts every file of the list until the list ends
// or progress.keepRunning drops to 0. Returns 0.
int RunConversionWorker(const RunContext& ctx, const WorkerSinks& sinks);

}  // namespace tarnwick
