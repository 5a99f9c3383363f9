// The controls of the preferences pages and the rows they sit in: a label at
// x 10 and a control at x 170, rows 30 pixels apart. Each control is filled
// from the settings record when it is made and registers how it is written back.
#pragma once

#include <QSpinBox>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "ui/preferences/preferences_logic.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;
class QWidget;

namespace tarnwick {

// Geometry of the rows (pixels).
constexpr int kRowStep = 30;
constexpr int kFirstRowY = 10;
constexpr int kLabelX = 10, kLabelWidth = 160;
constexpr int kControlX = 170;

// The number box of a slider pair: any text is accepted, read as an integer
// and clamped to the pair's range; a typed value out of range is rewritten at
// once. A text that is only the start of a number ("-", "$") is left while
// the user types and tidied when the box loses the focus.
class NumberBox : public QSpinBox {
public:
    NumberBox(const PairRange& range, QWidget* parent);
    QValidator::State validate(QString& text, int& pos) const override;
    int valueFromText(const QString& text) const override;

private:
    void OnTextChanged(const QString& text);
    PairRange range_;
};

// The gamma box: holds the gamma x 100 (1 to 999) and shows it with two
// decimals. The slider follows the typed text at once; the text itself is
// rewritten with two decimals when the user leaves the box or presses an arrow.
class GammaBox : public QSpinBox {
public:
    explicit GammaBox(QWidget* parent);
    QValidator::State validate(QString& text, int& pos) const override;
    int valueFromText(const QString& text) const override;
    QString textFromValue(int value) const override;
};

// Fits a label's text into its width without cutting a character: the font
// is made smaller (down to 7 points), then the text is elided with "...",
// the full text staying in the tooltip.
void FitLabelText(QLabel* label, int width);

// One row: its label and its controls, enabled or shown together.
struct Row {
    QLabel* label = nullptr;
    std::vector<QWidget*> controls;
    void SetEnabled(bool enabled) const;
    void SetVisible(bool visible) const;
};

// How the page controls are written back into the record on confirming.
class Bindings {
public:
    void Add(std::function<void(Settings&)> store) { stores_.push_back(std::move(store)); }
    void StoreAll(Settings& s) const {
        for (const auto& store : stores_) store(s);
    }

private:
    std::vector<std::function<void(Settings&)>> stores_;
};

// Makes rows in one area (a page, a scrolling area or a format panel). The
// controls are named after their settings field ("jpgQuality"; the slider of
// a pair "jpgQuality.slider", a unit list "imageWidth.unit").
class RowBuilder {
public:
    RowBuilder(QWidget* area, const Settings& settings, Bindings& bindings,
               int firstY = kFirstRowY);

    QWidget* Area() const { return area_; }
    int Y() const { return y_; }
    // The label of the current row, with a catalog text of group Preferences.
    QLabel* Label(const std::string& key);
    void NextRow() { y_ += kRowStep; }

    // A choice list whose value is the position of its entry; a value without
    // an entry shows no selection and stores -1.
    Row Choice(const std::string& labelKey, const std::string& field,
               const std::vector<std::string>& texts);
    // The same with catalog keys of group Preferences for the entries.
    Row ChoiceKeys(const std::string& labelKey, const std::string& field,
                   std::initializer_list<const char*> entryKeys);
    // A choice list that stores nothing.
    Row FixedChoice(const std::string& labelKey, const std::vector<std::string>& texts,
                    const std::string& name);
    Row Check(const std::string& labelKey, const std::string& field);
    // A digits-only number field with a unit list; with `unitField` the unit
    // list is stored too, else it holds the units for show only.
    Row Number(const std::string& labelKey, const std::string& field,
               std::initializer_list<const char*> unitKeys,
               const std::string& unitField = std::string());
    Row Pair(const std::string& labelKey, const std::string& field, const PairRange& range);
    Row Gamma(const std::string& labelKey, const std::string& field);
    Row Text(const std::string& labelKey, std::string Settings::*field, const std::string& name,
             bool clean);

    static QComboBox* MakeChoice(QWidget* parent, const std::vector<std::string>& texts, int x,
                                 int y, int width);

private:
    QWidget* area_;
    const Settings& settings_;
    Bindings& bindings_;
    int y_;
};

// Catalog text of group Preferences.
std::string PrefText(const std::string& key);

}  // namespace tarnwick
