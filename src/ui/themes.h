// Icon themes: zip packages in the gfx/ folder beside the program.
#pragma once

#include <map>
#include <string>

namespace tarnwick {

// Theme key (file name without ".zip") to display name.
std::map<std::string, std::string>& GlobalThemeTable();

// Finds the installed theme packages.
void ScanThemes();
// Loads the images of the theme named by uiTheme into the chosen icon tables.
void ApplyTheme(bool loadButtons, bool loadMenuIcons, bool loadToolbarIcons);

}  // namespace tarnwick
