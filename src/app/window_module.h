// The one loader of the window module (libtarnwick_ui.so): the window mode,
// the uninstall prompt and the screenshot mode all come through it.
#pragma once

#include <string>

#include "abi/window_abi.h"

namespace tarnwick {

// The module's table of entry points, loaded on first use. Null, with the
// reason in `why`, when the module is missing, is not a window module, or was
// built for another build of the program (its stamp differs: running it
// would mix two programs' classes).
const TwWindowApi* LoadWindowApi(std::string* why);

}  // namespace tarnwick
