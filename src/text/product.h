// Product identity: name, version and the texts derived from them.
#pragma once

#include <string>
#include <vector>

namespace tarnwick {

inline constexpr const char* kProductName = "Pictavo PNG to BMP";
inline constexpr const char* kShortName = "tarnwick";
inline constexpr int kProgramVersion = 290;
inline constexpr const char* kWebSite = "http://pictavo.example";
inline constexpr const char* kSupportEmail = "support@pictavo.example";
// The program's data beside it or in the installed data folder
// (platform::DataPath): the user manual and the folder of theme packages.
inline constexpr const char* kManualFile = "tarnwick.html";
inline constexpr const char* kThemeFolder = "gfx/";
// The maker's notice line of the console banner.
inline constexpr const char* kNoticeLine = "Copyright (c) 2026 Pictavo. All rights reserved.";

// 290 -> "2.9", 291 -> "2.9.1", 300 -> "3.0".
std::string VersionText(int version);
// Name, one blank, VersionText(version).
std::string BuildWindowTitle(const std::string& name, int version);
// The product's input and output formats by extension, lower case.
const std::vector<std::string>& InputExtensions();
const std::vector<std::string>& OutputExtensions();

// "Pictavo PNG to BMP 2.9".
const std::string& WindowTitle();

}  // namespace tarnwick
