// The controls of the preferences pages.
#include "ui/preferences/controls.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSlider>

#include "settings/fields.h"
#include "text/catalog.h"
#include "ui/qt_text.h"

namespace tarnwick {

namespace {

std::string S(const QString& s) { return s.toUtf8().toStdString(); }

const FieldRef& Field(const std::string& name) {
    const FieldInfo* info = FindField(name);
    // Every name used by the pages is a field of the record.
    static const FieldRef none;
    return info ? info->ref : none;
}

int64_t NumberOf(const Settings& s, const std::string& name) {
    const FieldRef& f = Field(name);
    return f.IsNumber() ? f.Number(s) : 0;
}

void StoreNumber(Settings& s, const std::string& name, int64_t value) {
    const FieldRef& f = Field(name);
    if (f.IsNumber()) f.SetNumber(s, value);
}

QObject* Named(QObject* object, const std::string& name) {
    object->setObjectName(Q(name));
    return object;
}

}  // namespace

std::string PrefText(const std::string& key) { return CatalogText("Preferences", key); }

// ---- Number boxes ---------------------------------------------------------------

NumberBox::NumberBox(const PairRange& range, QWidget* parent) : QSpinBox(parent), range_(range) {
    setRange(range.min, range.max);
    setAccelerated(true);
    connect(lineEdit(), &QLineEdit::textChanged, this,
            [this](const QString& t) { OnTextChanged(t); });
}

QValidator::State NumberBox::validate(QString&, int&) const { return QValidator::Acceptable; }

int NumberBox::valueFromText(const QString& text) const { return range_.FromText(S(text)); }

void NumberBox::OnTextChanged(const QString& text) {
    const std::string typed = S(text);
    if (IsIncompleteNumber(typed)) return;
    const int value = range_.FromText(typed);
    const QString shown = QString::number(value);
    if (shown != text) {
        lineEdit()->setText(shown);
        setValue(value);
    }
}

GammaBox::GammaBox(QWidget* parent) : QSpinBox(parent) {
    setRange(1, 999);
    setAccelerated(true);
}

QValidator::State GammaBox::validate(QString&, int&) const { return QValidator::Acceptable; }
int GammaBox::valueFromText(const QString& text) const { return GammaFromText(S(text)); }
QString GammaBox::textFromValue(int value) const { return Q(GammaText(value)); }

// ---- Labels and rows --------------------------------------------------------------

void FitLabelText(QLabel* label, int width) {
    const QString text = label->text();
    QFont font = label->font();
    if (QFontMetrics(font).horizontalAdvance(text) <= width) return;
    while (font.pointSizeF() > 7.0) {
        font.setPointSizeF(font.pointSizeF() - 0.5);
        if (QFontMetrics(font).horizontalAdvance(text) <= width) {
            label->setFont(font);
            return;
        }
    }
    label->setFont(font);
    label->setToolTip(text);
    label->setText(QFontMetrics(font).elidedText(text, Qt::ElideRight, width));
}

void Row::SetEnabled(bool enabled) const {
    if (label) label->setEnabled(enabled);
    for (QWidget* w : controls) w->setEnabled(enabled);
}

void Row::SetVisible(bool visible) const {
    if (label) label->setVisible(visible);
    for (QWidget* w : controls) w->setVisible(visible);
}

RowBuilder::RowBuilder(QWidget* area, const Settings& settings, Bindings& bindings, int firstY)
    : area_(area), settings_(settings), bindings_(bindings), y_(firstY) {}

QLabel* RowBuilder::Label(const std::string& key) {
    auto* label = new QLabel(Q(PrefText(key)), area_);
    label->setGeometry(kLabelX, y_ + 3, kLabelWidth, 20);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    FitLabelText(label, kLabelWidth);
    return label;
}

QComboBox* RowBuilder::MakeChoice(QWidget* parent, const std::vector<std::string>& texts, int x,
                                  int y, int width) {
    auto* list = new QComboBox(parent);
    for (const std::string& t : texts) list->addItem(Q(t));
    list->setGeometry(x, y, width, 21);
    return list;
}

Row RowBuilder::Choice(const std::string& labelKey, const std::string& field,
                       const std::vector<std::string>& texts) {
    Row row;
    row.label = Label(labelKey);
    QComboBox* list = MakeChoice(area_, texts, kControlX, y_, 240);
    Named(list, field);
    const int64_t value = NumberOf(settings_, field);
    list->setCurrentIndex(value >= 0 && value < list->count() ? static_cast<int>(value) : -1);
    row.label->setBuddy(list);
    row.controls = {list};
    bindings_.Add([list, field](Settings& s) { StoreNumber(s, field, list->currentIndex()); });
    NextRow();
    return row;
}

Row RowBuilder::ChoiceKeys(const std::string& labelKey, const std::string& field,
                           std::initializer_list<const char*> entryKeys) {
    std::vector<std::string> texts;
    for (const char* key : entryKeys) texts.push_back(PrefText(key));
    return Choice(labelKey, field, texts);
}

Row RowBuilder::FixedChoice(const std::string& labelKey, const std::vector<std::string>& texts,
                            const std::string& name) {
    Row row;
    row.label = Label(labelKey);
    QComboBox* list = MakeChoice(area_, texts, kControlX, y_, 240);
    Named(list, name);
    list->setCurrentIndex(list->count() > 0 ? 0 : -1);
    row.label->setBuddy(list);
    row.controls = {list};
    NextRow();
    return row;
}

Row RowBuilder::Check(const std::string& labelKey, const std::string& field) {
    Row row;
    row.label = Label(labelKey);
    auto* box = new QCheckBox(area_);
    Named(box, field);
    box->setGeometry(kControlX, y_, 240, 20);
    box->setChecked(NumberOf(settings_, field) != 0);
    // The label names the box for screen readers and the keyboard focus.
    box->setAccessibleName(row.label->text());
    row.label->setBuddy(box);
    row.controls = {box};
    bindings_.Add([box, field](Settings& s) { StoreNumber(s, field, box->isChecked() ? 1 : 0); });
    NextRow();
    return row;
}

Row RowBuilder::Number(const std::string& labelKey, const std::string& field,
                       std::initializer_list<const char*> unitKeys, const std::string& unitField) {
    Row row;
    row.label = Label(labelKey);
    auto* edit = new QLineEdit(area_);
    Named(edit, field);
    edit->setGeometry(kControlX, y_, 160, 20);
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    edit->setText(QString::number(NumberOf(settings_, field)));
    std::vector<std::string> units;
    for (const char* key : unitKeys) units.push_back(PrefText(key));
    QComboBox* unit = MakeChoice(area_, units, 340, y_, 70);
    Named(unit, field + ".unit");
    // The unit list ends where the row's controls end and is as wide as its
    // longest unit needs ("Percent" in a larger font); the box gives way.
    const int unitWidth = std::max(70, unit->sizeHint().width());
    const int unitX = kControlX + 240 - unitWidth;
    unit->setGeometry(unitX, y_, unitWidth, unit->height());
    edit->setGeometry(kControlX, y_, std::max(60, unitX - 10 - kControlX), 20);
    if (!unitField.empty()) {
        const int64_t value = NumberOf(settings_, unitField);
        unit->setCurrentIndex(value >= 0 && value < unit->count() ? static_cast<int>(value) : -1);
    } else {
        unit->setCurrentIndex(0);
    }
    row.label->setBuddy(edit);
    row.controls = {edit, unit};
    bindings_.Add(
        [edit, field](Settings& s) { StoreNumber(s, field, ReadInteger(S(edit->text()))); });
    if (!unitField.empty())
        bindings_.Add(
            [unit, unitField](Settings& s) { StoreNumber(s, unitField, unit->currentIndex()); });
    NextRow();
    return row;
}

namespace {

QSlider* MakeSlider(QWidget* area, int y, int min, int max) {
    auto* slider = new QSlider(Qt::Horizontal, area);
    slider->setGeometry(kControlX, y, 170, 20);
    slider->setRange(min, max);
    return slider;
}

}  // namespace

Row RowBuilder::Pair(const std::string& labelKey, const std::string& field,
                     const PairRange& range) {
    Row row;
    row.label = Label(labelKey);
    QSlider* slider = MakeSlider(area_, y_, range.min + range.shift, range.max + range.shift);
    Named(slider, field + ".slider");
    auto* box = new NumberBox(range, area_);
    Named(box, field);
    box->setGeometry(340, y_, 70, 20);
    const int value = range.Clamp(NumberOf(settings_, field));
    box->setValue(value);
    slider->setValue(value + range.shift);
    const int shift = range.shift;
    QObject::connect(slider, &QSlider::valueChanged, box,
                     [box, shift](int v) { box->setValue(v - shift); });
    QObject::connect(box, &QSpinBox::valueChanged, slider,
                     [slider, shift](int v) { slider->setValue(v + shift); });
    slider->setAccessibleName(row.label->text());
    row.label->setBuddy(slider);
    row.controls = {slider, box};
    bindings_.Add([box, field](Settings& s) { StoreNumber(s, field, box->value()); });
    NextRow();
    return row;
}

Row RowBuilder::Gamma(const std::string& labelKey, const std::string& field) {
    Row row;
    row.label = Label(labelKey);
    QSlider* slider = MakeSlider(area_, y_, 1, 999);
    Named(slider, field + ".slider");
    auto* box = new GammaBox(area_);
    Named(box, field);
    box->setGeometry(340, y_, 70, 20);
    const FieldRef& ref = Field(field);
    const float gamma = ref.type == FieldType::Float ? settings_.*(ref.floatField) : 1.0f;
    box->setValue(GammaFromSetting(gamma));
    slider->setValue(box->value());
    QObject::connect(slider, &QSlider::valueChanged, box, [box](int v) { box->setValue(v); });
    QObject::connect(box, &QSpinBox::valueChanged, slider,
                     [slider](int v) { slider->setValue(v); });
    slider->setAccessibleName(row.label->text());
    row.label->setBuddy(slider);
    row.controls = {slider, box};
    bindings_.Add([box, ref](Settings& s) {
        if (ref.type == FieldType::Float)
            s.*(ref.floatField) = static_cast<float>(box->value()) / 100.0f;
    });
    NextRow();
    return row;
}

Row RowBuilder::Text(const std::string& labelKey, std::string Settings::*field,
                     const std::string& name, bool clean) {
    Row row;
    row.label = Label(labelKey);
    auto* edit = new QLineEdit(area_);
    Named(edit, name);
    edit->setGeometry(kControlX, y_, 240, 20);
    edit->setText(Q(settings_.*field));
    edit->setCursorPosition(0);
    row.label->setBuddy(edit);
    row.controls = {edit};
    bindings_.Add([edit, field, clean](Settings& s) {
        const std::string text = S(edit->text());
        s.*field = clean ? CleanText(text) : text;
    });
    NextRow();
    return row;
}

}  // namespace tarnwick
