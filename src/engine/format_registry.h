// The formats the engine knows: output formats with their FreeImage identifier,
// description and allowed depths; input extensions with their family.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "text/product.h"

namespace tarnwick {

struct OutputFormatInfo {
    int fif = 0;
    std::string extension;
    std::string description;
    std::vector<int> bppList;  // allowed bits per pixel, ascending, e.g. 1, 4, 8, 16, 24, 32
};

struct InputExtensionInfo {
    std::string family;
    std::string description;
};

struct FormatRegistry {
    std::map<std::string, OutputFormatInfo> outputFormats;
    std::vector<std::string> outputOrder;  // insertion order of outputFormats
    std::map<std::string, InputExtensionInfo> inputExtensions;
    std::vector<std::string> inputOrder;  // insertion order of inputExtensions
    std::vector<std::string> acceptedInputExtensions;
};

FormatRegistry& GlobalRegistry();

void BuildOutputRegistry(FormatRegistry& reg);
void BuildInputRegistry(FormatRegistry& reg);
// Rebuilds reg.acceptedInputExtensions from the given product input list.
void BuildAcceptedInputExtensions(FormatRegistry& reg, const std::vector<std::string>& inputList);

const OutputFormatInfo* FindOutputFormat(const FormatRegistry& reg, const std::string& ext);
const InputExtensionInfo* FindInputExtension(const FormatRegistry& reg, const std::string& ext);

// True when bpp is 0 or one of the format's bppList.
bool IsBppAllowed(const FormatRegistry& reg, const std::string& ext, int bpp);

// Choice list for a depth combo: first `autoText`, then each entry of bppList;
// `selected` receives the index to select for `current`: 0 ("Auto") when current
// is 0, the item whose text is current's decimal text, or -1 when none is.
std::vector<std::string> BppChoices(const FormatRegistry& reg, const std::string& ext, int current,
                                    const std::string& autoText, int& selected);

// "BMP" or "BMP (Windows or OS/2 Bitmap)".
std::string OutputFormatLabel(const FormatRegistry& reg, const std::string& ext,
                              bool withDescription);

}  // namespace tarnwick
