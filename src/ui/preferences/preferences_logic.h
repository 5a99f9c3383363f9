// The rules of the preferences dialog that need no screen: reading numbers,
// slider pairs, the gamma box, colour and font lists, text cleaning, the
// enabling rules, the theme list and what a confirmation changes.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "settings/settings.h"

namespace tarnwick {

// Number boxes and fields: blanks and tabs, an optional sign, then "$" and
// hexadecimal digits, "%" and binary digits, or decimal digits; nothing
// readable (and an empty text) gives 0.
int32_t ReadInteger(const std::string& text);
// True for a text that is only the start of a number ("", "-", "+$", ...):
// while typing, such a text is left alone instead of being rewritten.
bool IsIncompleteNumber(const std::string& text);

// A slider pair: the number box runs from min to max, the slider from
// min + shift to max + shift.
struct PairRange {
    int min = 0;
    int max = 100;
    int shift = 0;
    int Clamp(int64_t value) const {
        return static_cast<int>(value < min ? min : value > max ? max : value);
    }
    // The box value for a typed text.
    int FromText(const std::string& text) const { return Clamp(ReadInteger(text)); }
};

// The gamma pair: slider and box hold the gamma times 100, 1 to 999.
int GammaFromSetting(float gamma);
// A typed gamma text: decimal number x 100, rounded, clamped to 1..999.
int GammaFromText(const std::string& text);
// The box text for a gamma value x 100: two decimals ("2.50").
std::string GammaText(int value);

// Watermark text, watermark image path and file-name mask on confirming:
// blanks removed at both ends, then every tab, CR and LF removed.
std::string CleanText(const std::string& text);

// The raw input panel: which rows its "Load As" choice enables.
struct RawRowsEnabled {
    bool sizeRows = false;  // header size, width and height
    bool toneMapping = false;
};
RawRowsEnabled RawEnabling(int loadAs);

// ---- Colours -------------------------------------------------------------------

struct NamedColor {
    const char* key;    // catalog key (group Preferences) of its name
    const char* color;  // RRGGBB
};
const std::vector<NamedColor>& NamedColors();

struct ColorEntry {
    uint32_t value = 0;
    std::string label;
};
// The label of one piece of a colour-list setting: the named colour's text
// when the piece is exactly (same case) one of the named colour texts, else
// "Color #" and the piece.
std::string ColorPieceLabel(const std::string& piece);
// The entries of a colour-list setting ("000000,FFFFFF,...").
std::vector<ColorEntry> ColorListEntries(const std::string& list);
// The first entry with that value, or -1.
int FindColorEntry(const std::vector<ColorEntry>& entries, uint32_t value);
// A colour picked with "...": when no entry has that value an entry is added
// and "," + FormatColor(value) is appended to the list setting. Returns the
// position to select.
int AddPickedColor(std::string& listSetting, std::vector<ColorEntry>& entries, uint32_t value);

// ---- Fonts ---------------------------------------------------------------------

// The font list: `fonts` (set to `font` first when empty) split at ",",
// blanks trimmed. `selected` gets the entry equal to `font` (0 when none).
std::vector<std::string> FontListEntries(Settings& s, int* selected);
// A face name from the font picker: commas removed; added to the entries and
// to the `fonts` setting when it is new. Returns its position.
int AddPickedFont(std::string& fontsSetting, std::vector<std::string>& entries,
                  const std::string& face);

// The font picker reports bold 256 + italic 512 + underline 4 + strikeout 8.
constexpr int kPickerBold = 256, kPickerItalic = 512, kPickerUnderline = 4, kPickerStrikeout = 8;
// Position in the "Font Style" list (Regular, Bold, Italic, Bold Italic).
int FontStyleFromPicker(int flags);
// Position in the "Font Effect" list (None, Underline, Strikethrough).
int FontEffectFromPicker(int flags);

// ---- Interface page ------------------------------------------------------------------

struct ThemeChoices {
    std::vector<std::string> keys;    // theme keys, in list order
    std::vector<std::string> titles;  // what the list shows
    int selected = 0;
};
// The installed themes sorted by key without regard to case; themes without a
// display name are not offered. Selects `current` (else position 0).
ThemeChoices BuildThemeChoices(const std::map<std::string, std::string>& table,
                               const std::string& current);

// What the main window reloads after confirmed preferences: every image
// when the theme changed, the toolbar when only the icon size changed.
enum class IconReload { None, ToolbarSize, Theme };
IconReload DecideIconReload(const std::string& oldTheme, int oldSize, const std::string& newTheme,
                            int newSize);

// doImageColorCorrection as the adjustment settings imply it.
int8_t ColorCorrectionFlag(const Settings& s);

// The name filters of the watermark-image chooser (first preselected).
std::vector<std::string> WatermarkImageFilters();

}  // namespace tarnwick
