// The colour and font pickers of the preferences dialog. The dialog asks them
// only through PreferencesPickers, so a test can answer in the user's place.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

class QWidget;

namespace tarnwick {

struct FontChoice {
    std::string face;
    int size = 0;
    // bold 256 + italic 512 + underline 4 + strikeout 8
    int style = 0;
};

class PreferencesPickers {
public:
    virtual ~PreferencesPickers() = default;
    // The chosen colour (red + 256 * green + 65536 * blue), or nothing when cancelled.
    virtual std::optional<uint32_t> ChooseColor(QWidget* parent, uint32_t initial) = 0;
    // The chosen face, size and style, or nothing when cancelled.
    virtual std::optional<FontChoice> ChooseFont(QWidget* parent, const std::string& face,
                                                 int size) = 0;
};

// The real pickers (Qt's colour and font dialogs).
class QtPreferencesPickers : public PreferencesPickers {
public:
    std::optional<uint32_t> ChooseColor(QWidget* parent, uint32_t initial) override;
    std::optional<FontChoice> ChooseFont(QWidget* parent, const std::string& face,
                                         int size) override;
};

}  // namespace tarnwick
