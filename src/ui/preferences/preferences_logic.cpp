// Rules of the preferences dialog that need no screen.
#include "ui/preferences/preferences_logic.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "settings/options.h"
#include "text/catalog.h"
#include "text/text_util.h"
#include "ui/window_logic.h"

namespace tarnwick {

int32_t ReadInteger(const std::string& text) { return ReadWholeNumber(text); }

bool IsIncompleteNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (i < text.size() && (text[i] == '$' || text[i] == '%')) ++i;
    return i == text.size();
}

int GammaFromSetting(float gamma) {
    if (!std::isfinite(gamma)) return gamma > 0 ? 999 : 1;
    const double v = std::round(static_cast<double>(gamma) * 100.0);
    return static_cast<int>(std::clamp(v, 1.0, 999.0));
}

int GammaFromText(const std::string& text) {
    const double number = text::ParseDecimal<double>(text);
    if (std::isnan(number)) return 1;
    const double v = std::round(number * 100.0);
    return static_cast<int>(std::clamp(v, 1.0, 999.0));
}

std::string GammaText(int value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%d.%02d", value / 100, value % 100);
    return buffer;
}

std::string CleanText(const std::string& text) {
    if (text.empty()) return text;
    std::string result;
    for (const char c : TrimBlanks(text))
        if (c != '\t' && c != '\r' && c != '\n') result += c;
    return result;
}

RawRowsEnabled RawEnabling(int loadAs) {
    switch (loadAs) {
        case 1:
        case 2: return {true, false};  // RGB 8-bit, RGB 16-bit
        case 4:
        case 5: return {false, true};    // RGB 48-bit (HS), RGB 48-bit
        default: return {false, false};  // Auto, RGB 24-bit
    }
}

// ---- Colours ---------------------------------------------------------------------

const std::vector<NamedColor>& NamedColors() {
    static const std::vector<NamedColor> colors{
        {"Black", "000000"},  {"Silver", "C0C0C0"}, {"Gray", "808080"},   {"White", "FFFFFF"},
        {"Maroon", "800000"}, {"Red", "FF0000"},    {"Purple", "800080"}, {"Fuchsia", "FF00FF"},
        {"Green", "008000"},  {"Lime", "00FF00"},   {"Olive", "808000"},  {"Yellow", "FFFF00"},
        {"Navy", "000080"},   {"Blue", "0000FF"},   {"Teal", "008080"},   {"Aqua", "00FFFF"},
        {"Orange", "FF8000"}, {"Brown", "804000"},  {"Violet", "8000FF"}};
    return colors;
}

std::string ColorPieceLabel(const std::string& piece) {
    for (const NamedColor& named : NamedColors())
        if (piece == named.color) return CatalogText("Preferences", named.key);
    return CatalogText("Preferences", "Color") + " #" + piece;
}

std::vector<ColorEntry> ColorListEntries(const std::string& list) {
    std::vector<ColorEntry> entries;
    size_t start = 0;
    for (;;) {
        const size_t comma = list.find(',', start);
        const std::string piece = TrimBlanks(
            list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        entries.push_back({ParseColor(piece), ColorPieceLabel(piece)});
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return entries;
}

int FindColorEntry(const std::vector<ColorEntry>& entries, uint32_t value) {
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].value == value) return static_cast<int>(i);
    return -1;
}

int AddPickedColor(std::string& listSetting, std::vector<ColorEntry>& entries, uint32_t value) {
    const int found = FindColorEntry(entries, value);
    if (found >= 0) return found;
    const std::string text = FormatColor(value);
    entries.push_back({value, ColorPieceLabel(text)});
    listSetting += "," + text;
    return static_cast<int>(entries.size()) - 1;
}

// ---- Fonts -------------------------------------------------------------------------

std::vector<std::string> FontListEntries(Settings& s, int* selected) {
    if (s.fonts.empty()) s.fonts = s.font;
    std::vector<std::string> entries;
    size_t start = 0;
    for (;;) {
        const size_t comma = s.fonts.find(',', start);
        entries.push_back(TrimBlanks(
            s.fonts.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    int chosen = 0;
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i] == s.font) {
            chosen = static_cast<int>(i);
            break;
        }
    if (selected) *selected = chosen;
    return entries;
}

int AddPickedFont(std::string& fontsSetting, std::vector<std::string>& entries,
                  const std::string& face) {
    std::string name;
    for (const char c : face)
        if (c != ',') name += c;
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i] == name) return static_cast<int>(i);
    entries.push_back(name);
    fontsSetting += "," + name;
    return static_cast<int>(entries.size()) - 1;
}

int FontStyleFromPicker(int flags) {
    return ((flags & kPickerBold) ? 1 : 0) + ((flags & kPickerItalic) ? 2 : 0);
}

int FontEffectFromPicker(int flags) {
    if (flags & kPickerUnderline) return 1;
    if (flags & kPickerStrikeout) return 2;
    return 0;
}

// ---- Interface page ----------------------------------------------------------------

ThemeChoices BuildThemeChoices(const std::map<std::string, std::string>& table,
                               const std::string& current) {
    std::vector<std::string> keys;
    for (const auto& [key, title] : table) keys.push_back(key);
    std::stable_sort(keys.begin(), keys.end(), [](const std::string& a, const std::string& b) {
        return text::Upper(a) < text::Upper(b);
    });
    ThemeChoices choices;
    for (const std::string& key : keys) {
        const std::string& title = table.at(key);
        if (title.empty()) continue;
        if (key == current) choices.selected = static_cast<int>(choices.keys.size());
        choices.keys.push_back(key);
        choices.titles.push_back(title);
    }
    if (choices.keys.empty()) {
        // No theme installed: the single entry "None" stores an empty name. With
        // packages that only lack a name, the current theme is kept.
        choices.keys.push_back(table.empty() ? std::string() : current);
        choices.titles.push_back(CatalogText("Preferences", "None"));
        choices.selected = 0;
    }
    return choices;
}

IconReload DecideIconReload(const std::string& oldTheme, int oldSize, const std::string& newTheme,
                            int newSize) {
    if (newTheme != oldTheme) return IconReload::Theme;
    if (newSize != oldSize) return IconReload::ToolbarSize;
    return IconReload::None;
}

int8_t ColorCorrectionFlag(const Settings& s) {
    return (s.imageBrightness != 0 || s.imageContrast != 0 || s.imageGamma != 1.0f ||
            s.imageInvert == 1)
               ? 1
               : 0;
}

std::vector<std::string> WatermarkImageFilters() {
    const std::string jpeg = "*.jpg;*.jpeg;*.jpe;*.jif";
    const std::string png = "*.png";
    const std::string bmp = "*.bmp;*.rle;*.dib";
    const std::string filter = CatalogText("Dialog", "All Supported Files") + "|" + jpeg + ";" +
                               png + ";" + bmp + "|JPEG File|" + jpeg +
                               "|Portable Network Graphics|" + png + "|Windows or OS/2 Bitmap|" +
                               bmp + "|" + CatalogText("Dialog", "All Files") + " (*.*)|*.*";
    return FilterToNameFilters(filter);
}

}  // namespace tarnwick
