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

// What became of one file.
struct FileOutcome {
    bool converted = false;  // the output was written
    std::string
        reason;  // why not, for the user, e.g. "cannot write /out/x.bmp: No space left on device"
    std::string outputPath;  // the output's name (empty when the file failed before it had one)
    int32_t sourceBpp = 0;   // bits per pixel of the decoded picture (0 when it was not decoded)
    int32_t outputBpp = 0;   // bits per pixel of the output
    int32_t width = 0, height = 0;  // the output's size
};

// Converts run.inputPath into one output file. `run` is the file's own
// working record (a copy of the run's request with the file and the naming
// counters filled in); it receives the output name, depths and size, which
// the outcome repeats. With `progress`, the share of the work done is
// counted there as the file goes: rows decoded and written on the
// row-by-row path; on the whole-picture path the decode up to 40 %, the
// steps up to 80 % and the encoding to the end.
FileOutcome ConvertFile(const Settings& s, RunState& run, const FormatRegistry& reg,
                        FileProgress* progress = nullptr);

// One run's request, fixed when it starts: the settings as they were then
// and the run record with its output encoding resolved (format, depth or
// automatic depth, save flags), output folder and mode. The worker reads it
// and never writes a program-wide record.
struct RunRequest {
    Settings settings;
    RunState base;
};

// The naming counters (%n%, %rnd%): the run starts from the program's, and
// its starter hands them back when it ends.
struct NamingCounters {
    int32_t fileNumber = 1;
    int32_t randomNumber = 1;
};

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
    const RunRequest& request;
    NamingCounters& counters;  // written by the worker under progressLock
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
