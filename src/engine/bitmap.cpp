#include "engine/bitmap.h"

#include <mutex>

namespace tarnwick {

namespace {
// FreeImage reports decoder trouble through this callback; the engine judges
// results by return values, so the messages are dropped.
void IgnoreFreeImageMessage(FREE_IMAGE_FORMAT, const char*) {}
}  // namespace

void EnsureFreeImage() {
    static std::once_flag once;
    std::call_once(once, [] {
        FreeImage_Initialise(FALSE);
        FreeImage_SetOutputMessage(IgnoreFreeImageMessage);
    });
}

}  // namespace tarnwick
