// The one symbol the window module exports: its table of entry points with
// the stamp of the build it belongs to.
#include "abi/window_abi.h"
#include "ui/ui_entry.h"
#include "window_stamp.h"

extern "C" __attribute__((visibility("default"))) const TwWindowApi* tarnwick_window_api(void) {
    static const TwWindowApi api = {
        TW_WINDOW_API_VERSION, sizeof(TwWindowApi),       TW_WINDOW_STAMP,
        tarnwick_window_main,  tarnwick_uninstall_prompt, tarnwick_screenshot_mode,
    };
    return &api;
}
