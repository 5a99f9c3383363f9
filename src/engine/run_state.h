// The program-wide record of the current run, and the record shared by the
// conversion worker and the side that started it.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "engine/file_progress.h"

namespace tarnwick {

// How the program runs: a normal run, a command-line run with the debug
// report, or the screenshot mode.
enum class RunMode { Normal, Debug, Screenshot };

struct RunState {
    // Start-up and command line.
    std::string programFolder;  // folder of the executable, with trailing '/'
    std::string inputFile;      // the input option's text, unresolved
    std::string outputFolder;   // output folder, with trailing '/' once checked
    std::string conversion;     // output extension, lower case
    bool inputGiven = false;    // the command line named an input
    RunMode runMode = RunMode::Normal;

    // Engine.
    std::string inputPath;
    std::string relativeSubfolder;
    std::string outputPath;
    int32_t outputFif = 0;
    int32_t outputBpp = 0;
    int32_t saveFlags = 0;
    int8_t autoBpp = 0;
    int32_t sourceBpp = 0;
    int32_t outputWidth = 0;
    int32_t outputHeight = 0;
    int32_t randomNumber = 1;
    int32_t fileNumber = 1;

    // Window mode.
    std::string fromExtension;
    std::string toExtension;
};

RunState& GlobalRunState();

// A random integer from 1 to 99999 inclusive.
int32_t NewRandomNumber();

// Empties the run state (runMode is kept), sets the naming counters to their
// start values, empties the input file list and rebuilds the accepted input
// extensions. programFolder is set from the platform.
void ResetRunState();

struct WorkerProgress {
    int32_t currentIndex = 0;
    std::string currentFile;
    int32_t convertedCount = 0;
    std::atomic<int8_t> keepRunning{1};
    // The share of the current file done; counted only while the starter
    // watches it (WorkerSinks::watchFile), read without progressLock.
    FileProgress file;
};

}  // namespace tarnwick
