#include "engine/image_library.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/platform.h"

namespace tarnwick {

namespace {

// The library's file as the dynamic linker knows it (its soname).
constexpr const char* kLibraryFile = "libfreeimage.so.3";

struct Loaded {
    ImageLibrary table;
    bool ok = false;
    std::string why;
};

const Loaded& Load() {
    static Loaded loaded;
    static std::once_flag once;
    std::call_once(once, [] {
        std::string error;
        void* handle = platform::LoadSystemLibrary(kLibraryFile, &error);
        if (!handle) {
            loaded.why = "the image library cannot be loaded: " + error;
            return;
        }
        std::string missing;
        const auto resolve = [&](auto& slot, const char* name) {
            slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
                platform::ModuleSymbol(handle, name));
            if (!slot) missing += missing.empty() ? name : std::string(", ") + name;
        };
#define TARNWICK_IMAGE_LIBRARY_RESOLVE(name) resolve(loaded.table.name, "FreeImage_" #name);
        TARNWICK_IMAGE_LIBRARY_FUNCTIONS(TARNWICK_IMAGE_LIBRARY_RESOLVE)
#undef TARNWICK_IMAGE_LIBRARY_RESOLVE
        if (!missing.empty()) {
            loaded.why = std::string("the image library ") + kLibraryFile + " lacks " + missing;
            return;
        }
        // No message callback is installed: the engine judges results by
        // return values, and with a callback the library formats every
        // message into a fixed 512-byte buffer, which a long file name in a
        // message overruns. Without one it formats nothing. The library is
        // never unloaded: bitmaps may live until the program ends.
        loaded.table.Initialise(FALSE);
        loaded.ok = true;
    });
    return loaded;
}

}  // namespace

bool LoadImageLibrary(std::string* why) {
    const Loaded& loaded = Load();
    if (!loaded.ok && why) *why = loaded.why;
    return loaded.ok;
}

const ImageLibrary& Fi() {
    const Loaded& loaded = Load();
    if (!loaded.ok) {
        std::fprintf(stderr, "tarnwick: %s\n", loaded.why.c_str());
        std::abort();
    }
    return loaded.table;
}

}  // namespace tarnwick
