#include "engine/bitmap.h"

#include <mutex>

namespace tarnwick {

void EnsureFreeImage() {
    static std::once_flag once;
    std::call_once(once, [] {
        // No message callback is installed: the engine judges results by
        // return values, and with a callback the library formats every
        // message into a fixed 512-byte buffer, which a long file name in a
        // message overruns. Without one it formats nothing.
        FreeImage_Initialise(FALSE);
    });
}

}  // namespace tarnwick
