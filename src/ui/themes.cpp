// Icon themes. Reading packages is not done yet: the built-in images stay.
#include "ui/themes.h"

namespace tarnwick {

std::map<std::string, std::string>& GlobalThemeTable() {
    static std::map<std::string, std::string> table;
    return table;
}

void ScanThemes() {}

void ApplyTheme(bool, bool, bool) {}

}  // namespace tarnwick
