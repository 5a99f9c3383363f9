// The single-file conversion pipeline and the worker that runs it over the
// input file list.
#pragma once

#include <functional>
#include <string>

#include "engine/bitmap.h"
#include "engine/run_state.h"
#include "settings/settings.h"

namespace tarnwick {

// Converts run.inputPath into one output file. 1 when the output was written.
int ConvertFile();

// Worker thread body. Writes debug lines through `writeLine` when the run is a
// command-line debug run. Returns 0.
int RunConversionWorker(int unused);

// Where the worker's debug lines go (the console writer by default).
void SetWorkerLineWriter(std::function<void(const std::string&)> writer);

// Cooperative pause: while paused, the worker waits at the next file boundary.
void PauseWorker();
void ResumeWorker();

}  // namespace tarnwick
