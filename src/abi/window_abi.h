// The plain C interface of the window module (libtarnwick_ui.so): one
// exported function gives a table of its entry points and the stamp of the
// program it was built with. The module uses the program's own classes
// (settings, engine, catalog), so a module from another build must never be
// run: the loader compares the stamps and refuses a module whose stamp is
// not the program's.
#pragma once

#include <stdint.h>

extern "C" {

#define TW_WINDOW_API_VERSION 1
#define TW_WINDOW_API_SYMBOL "tarnwick_window_api"

struct TwWindowApi {
    uint32_t version;   // TW_WINDOW_API_VERSION
    uint32_t size;      // sizeof(TwWindowApi)
    const char* stamp;  // the build's stamp (see window_stamp.h)
    // The whole window mode: configuration, main window, event loop, and the
    // configuration written at the end. Returns the exit code.
    int (*windowMain)(int argc, char** argv);
    // The uninstall prompt. Returns the exit code.
    int (*uninstallPrompt)(void);
    // Two JPEG pictures of the main window in `folder` (the program's folder
    // when empty). Returns the exit code.
    int (*screenshotMode)(const char* folder);
};

typedef const TwWindowApi* (*TwWindowApiFn)(void);
}
