// Process entry: single instance, then the command line, then (when no action
// was asked for) the window mode from its loadable module.
#include <string>
#include <vector>

#include "app/cli.h"
#include "platform/platform.h"
#include "platform/safe_save.h"
#include "text/product.h"

namespace {

int RunWindowMode(int argc, char** argv) {
    std::string error;
    void* module = tarnwick::platform::LoadModule("libtarnwick_ui.so", &error);
    auto entry = reinterpret_cast<int (*)(int, char**)>(
        tarnwick::platform::ModuleSymbol(module, "tarnwick_window_main"));
    if (!entry) {
        tarnwick::platform::WriteLine(
            "Error: The main window is not available: " +
            (error.empty() ? std::string("window module not found") : error));
        return 1;
    }
    return entry(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
    tarnwick::platform::IgnoreFileSizeSignal();
    // A second copy ends at once, silently, whatever it was asked to do.
    if (!tarnwick::platform::AcquireSingleInstance(tarnwick::WindowTitle())) return 1;

    std::vector<std::string> params(argv + 1, argv + argc);
    tarnwick::CliResult result = tarnwick::CommandLineEntry(params);
    if (!result.windowMode) return result.exitCode;
    return RunWindowMode(argc, argv);
}
