// Entry points of the window module (libtarnwick_ui.so), looked up by name
// when the program needs a window.
#pragma once

#define TARNWICK_UI_EXPORT __attribute__((visibility("default")))

extern "C" {

// The whole window mode: configuration, main window, event loop, and the
// configuration written at the end. Returns the exit code.
TARNWICK_UI_EXPORT int tarnwick_window_main(int argc, char** argv);

// The uninstall prompt. Returns the exit code.
TARNWICK_UI_EXPORT int tarnwick_uninstall_prompt(void);

// Two JPEG pictures of the main window in `folder` (the program's folder when
// empty). Returns the exit code.
TARNWICK_UI_EXPORT int tarnwick_screenshot_mode(const char* folder);
}
