// Process entry: the command line, then (when no action was asked for) the
// window mode from its loadable module. Help and version take no lock;
// conversions share the single-instance lock, the window holds it alone.
#include <string>
#include <vector>

#include "app/cli.h"
#include "app/window_module.h"
#include "platform/platform.h"
#include "platform/safe_save.h"
#include "text/shown.h"

namespace {

int RunWindowMode(int argc, char** argv) {
    std::string reason;
    const TwWindowApi* module = tarnwick::LoadWindowApi(&reason);
    if (!module) {
        tarnwick::platform::WriteLine("Error: The main window is not available: " + reason);
        tarnwick::platform::WriteErrorLine(tarnwick::text::FailureLine(
            "libtarnwick_ui.so", "the main window is not available: " + reason));
        return 1;
    }
    return module->windowMain(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
    tarnwick::platform::IgnoreFileSizeSignal();
    std::vector<std::string> params(argv + 1, argv + argc);
    tarnwick::CliResult result = tarnwick::CommandLineEntry(params);
    if (!result.windowMode) return result.exitCode;
    if (const auto refused = tarnwick::ClaimWindow(params)) return *refused;
    return RunWindowMode(argc, argv);
}
