// The colour and font pickers on Qt Widgets.
#include "ui/preferences/pickers.h"

#include <QColor>
#include <QColorDialog>
#include <QFont>
#include <QFontDialog>

#include "ui/preferences/preferences_logic.h"
#include "ui/qt_text.h"

namespace tarnwick {

std::optional<uint32_t> QtPreferencesPickers::ChooseColor(QWidget* parent, uint32_t initial) {
    const QColor start(static_cast<int>(initial & 0xFF), static_cast<int>((initial >> 8) & 0xFF),
                       static_cast<int>((initial >> 16) & 0xFF));
    const QColor chosen = QColorDialog::getColor(start, parent);
    if (!chosen.isValid()) return std::nullopt;
    return static_cast<uint32_t>(chosen.red()) | (static_cast<uint32_t>(chosen.green()) << 8) |
           (static_cast<uint32_t>(chosen.blue()) << 16);
}

std::optional<FontChoice> QtPreferencesPickers::ChooseFont(QWidget* parent, const std::string& face,
                                                           int size) {
    QFont start(Q(face));
    if (size > 0) start.setPointSize(size);
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, start, parent);
    if (!ok) return std::nullopt;
    FontChoice choice;
    choice.face = chosen.family().toUtf8().toStdString();
    choice.size = chosen.pointSize() > 0 ? chosen.pointSize() : size;
    choice.style = (chosen.bold() ? kPickerBold : 0) + (chosen.italic() ? kPickerItalic : 0) +
                   (chosen.underline() ? kPickerUnderline : 0) +
                   (chosen.strikeOut() ? kPickerStrikeout : 0);
    return choice;
}

}  // namespace tarnwick
