#include "app/window_module.h"

#include <cstring>

#include "platform/platform.h"
#include "window_stamp.h"

namespace tarnwick {

const TwWindowApi* LoadWindowApi(std::string* why) {
    static std::string error;
    static const TwWindowApi* const api = []() -> const TwWindowApi* {
        void* module = platform::LoadModule("libtarnwick_ui.so", &error);
        if (!module) {
            if (error.empty()) error = "window module not found";
            return nullptr;
        }
        const auto entry =
            reinterpret_cast<TwWindowApiFn>(platform::ModuleSymbol(module, TW_WINDOW_API_SYMBOL));
        const TwWindowApi* table = entry ? entry() : nullptr;
        if (!table || table->version != TW_WINDOW_API_VERSION ||
            table->size != sizeof(TwWindowApi)) {
            error = "libtarnwick_ui.so is not a window module of this program";
            return nullptr;
        }
        if (!table->stamp || std::strcmp(table->stamp, TW_WINDOW_STAMP) != 0) {
            error = std::string("libtarnwick_ui.so was built for another build of the program (") +
                    (table->stamp ? table->stamp : "no stamp") + ", the program is " +
                    TW_WINDOW_STAMP + ")";
            return nullptr;
        }
        return table;
    }();
    if (!api && why) *why = error;
    return api;
}

}  // namespace tarnwick
