// The command-line option values: keyword lists, number readers and the table
// of long options shared by the command line and the profiles.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "settings/settings.h"

namespace tarnwick {

enum class KeywordList {
    DdsLoadAs,
    RawLoadAs,
    FrameLoading,
    ToneMapping,
    Compression,
    ColorTable,
    ColorModel,
    Chroma,
    JpegSaveAs,
    RotationType,
    SizeUnit,
    ResizeType,
    ResizeAlgorithm,
    FrameKind,
    WatermarkKind,
    FontStyle,
    FontEffect,
    TextAlignment,
    Boundary,
    Position,
    SizeMode,
    Timestamp
};

// Number of the keyword equal to the trimmed, upper-cased text; else 0.
int KeywordValue(const std::string& text, KeywordList list);
// First keyword with that number ("" when none). For Compression the output
// format's group is used (number 0 gives "NONE").
std::string KeywordName(KeywordList list, int number, const std::string& format = "");

// Whole number: blanks/tabs, sign, "$" hex, "%" binary or decimal digits; stops
// at the first other character; no digits, or a number beyond 32 bits, gives 0.
int32_t ReadWholeNumber(const std::string& text);
// Decimal number with ".", "+Infinity", "-Infinity", "NaN"; else 0.
float ReadDecimalNumber(const std::string& text);

enum class OptionKind { Keyword, Whole, Decimal, Text, Flag };

// Applies one long option (upper-case name with leading "--", e.g. "--WIDTH")
// with its value. Returns false when the name is not an option of the table
// (including --INPUT, --OUTPUT, --CONVERSION, --PROFILE and the mode options).
// fromProfile: the value comes from a profile (--FILENAME-MASK loses
// surrounding double quotes there). `outOfRange` is set when a whole number
// lies beyond 32 bits (the field then gets 0, as for text without a number).
bool ApplyOption(Settings& s, const std::string& name, const std::string& value,
                 bool fromProfile = false, bool* outOfRange = nullptr);
// True when the name is an option of the table; `kind` receives its value kind.
bool FindOption(const std::string& name, OptionKind* kind = nullptr);
// The names of all options of the table, in table order.
std::vector<std::string> OptionNames();
// The keywords a keyword option takes, each with its number, as KeywordName
// reports them (one name a number; for a compression option the names of its
// output format's group). Empty for an option that takes no keyword.
std::vector<std::pair<std::string, int>> OptionKeywords(const std::string& name);

}  // namespace tarnwick
