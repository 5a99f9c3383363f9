// Writing the output picture: encoded in memory as the run asks, then saved
// through the platform's safe save.
#pragma once

#include <FreeImage.h>

#include <string>

#include "engine/file_progress.h"
#include "engine/run_state.h"
#include "platform/safe_save.h"
#include "settings/settings.h"

namespace tarnwick {

// Encodes `image` for the run (the exact-palette BMP writer for 8-bit BMP with
// `bmpColorTable` 1, else the library's writer for run.outputFif with
// run.saveFlags; BMP size fields made honest) and saves it at `path`. On
// failure the result says why and an existing file at `path` is unchanged.
// The image is not released. The bytes written, against the size of the
// picture's pixels, are reported to `progress` as the library writes them.
platform::SaveResult SaveOutputImage(FIBITMAP* image, const std::string& path, const RunState& run,
                                     const Settings& s, const ProgressSpan& progress = {});

}  // namespace tarnwick
