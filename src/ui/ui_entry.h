// The window module's entry points. The program reaches them only through
// the table that tarnwick_window_api gives (abi/window_abi.h); nothing else
// of the module is visible outside it.
#pragma once

extern "C" {

// The whole window mode: configuration, main window, event loop, and the
// configuration written at the end. Returns the exit code.
int tarnwick_window_main(int argc, char** argv);

// The uninstall prompt. Returns the exit code.
int tarnwick_uninstall_prompt(void);

// Two JPEG pictures of the main window in `folder` (the program's folder when
// empty). Returns the exit code.
int tarnwick_screenshot_mode(const char* folder);
}
