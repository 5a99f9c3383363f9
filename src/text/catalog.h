// The string catalog: every user-visible text by group and key.
#pragma once

#include <string>

namespace tarnwick {

// Builds the lookup tables from the compiled-in texts; later calls do nothing.
void LoadCatalog();
// The text, or "%NO_STRING_ERROR%" when the group or key does not exist.
// Main thread only: the lookup keeps an unsynchronised cache of the last group.
std::string CatalogText(const std::string& group, const std::string& key);
std::string FormatMessage(const std::string& tmpl, const std::string& s1 = "",
                          const std::string& s2 = "", const std::string& s3 = "",
                          const std::string& s4 = "");

}  // namespace tarnwick
