// The configuration file of the window mode and the command-line profiles.
#pragma once

#include <string>

#include "settings/settings.h"

namespace tarnwick {

// $XDG_CONFIG_HOME (else ~/.config) + "/Pictavo/tarnwick/", created if needed;
// empty when the user has no home folder (nothing is created then).
std::string SettingsFolder();

// Fills `s` from the file (defaults when missing) and upgrades old layouts.
void LoadConfiguration(Settings& s, const std::string& path, int desktopWidth = 0,
                       int desktopHeight = 0);
// Writes the whole record; false when the file could not be written.
bool SaveConfiguration(const Settings& s, const std::string& path);
// The exact bytes SaveConfiguration writes.
std::string SerializeConfiguration(const Settings& s);

// Applies the [CLI] group of a profile; false when the path is empty, the file
// unreadable, not a regular file or larger than PreferenceFile::kMaxFileBytes.
bool LoadProfile(Settings& s, const std::string& path);

}  // namespace tarnwick
