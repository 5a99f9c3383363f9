// The preferences pages of the conversion steps: Transform, Adjustment, Frame,
// Watermark and Advanced, with their colour rows, colour and font lists, the
// watermark-image chooser and the rules that enable or show rows.
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <memory>

#include "settings/settings.h"
#include "text/catalog.h"
#include "ui/preferences/pickers.h"
#include "ui/preferences/preferences_dialog.h"
#include "ui/qt_text.h"
#include "ui/user_dialogs.h"
#include "ui/window_logic.h"

namespace tarnwick {

namespace {

std::string S(const QString& s) { return s.toUtf8().toStdString(); }

QColor ToQColor(uint32_t value) {
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
}

QIcon Swatch(uint32_t value, int width, int height) {
    QPixmap image(width, height);
    image.fill(ToQColor(value));
    QPainter painter(&image);
    painter.setPen(QColor(64, 64, 64));
    painter.drawRect(0, 0, width - 1, height - 1);
    return QIcon(image);
}

QComboBox* ListOf(const Row& row) { return static_cast<QComboBox*>(row.controls.front()); }
QCheckBox* CheckOf(const Row& row) { return static_cast<QCheckBox*>(row.controls.front()); }

// Runs a rule once now and whenever a choice list changes.
template <typename Rule>
void OnChoice(QObject* context, QComboBox* list, Rule rule) {
    rule();
    QObject::connect(list, &QComboBox::currentIndexChanged, context, rule);
}

template <typename Rule>
void OnCheck(QObject* context, QCheckBox* box, Rule rule) {
    rule();
    QObject::connect(box, &QCheckBox::toggled, context, rule);
}

// Date values are local wall-clock seconds, shown as they are (no zone shift).
constexpr qint64 kLastDateValue = 2147483647;  // 2038-01-19 03:14:07

}  // namespace

QPushButton* PreferencesDialog::DotsButton(QWidget* area, int y, const std::string& name) {
    auto* button = new QPushButton(QStringLiteral("..."), area);
    button->setObjectName(Q(name + ".choose"));
    button->setGeometry(389, y, 22, 22);
    return button;
}

Row PreferencesDialog::ColorRow(RowBuilder& rows, const std::string& labelKey,
                                std::string Settings::*field, const std::string& name) {
    Row row;
    row.label = rows.Label(labelKey);
    QWidget* area = rows.Area();
    auto* button = new QPushButton(area);
    button->setObjectName(Q(name + ".button"));
    button->setGeometry(kControlX, rows.Y(), 44, 22);
    button->setIconSize(QSize(34, 12));
    button->setAccessibleName(row.label->text());
    auto* text = new QLineEdit(area);
    text->setObjectName(Q(name));
    text->setGeometry(220, rows.Y(), 190, 20);
    text->setReadOnly(true);
    text->setFocusPolicy(Qt::ClickFocus);
    const uint32_t color = ParseColor(draft_.*field);
    text->setText(Q(FormatColor(color)));
    button->setIcon(Swatch(color, 34, 12));
    row.label->setBuddy(button);
    connect(button, &QPushButton::clicked, this, [this, button, text] {
        const uint32_t current = ParseColor(S(text->text()));
        if (!host_.pickers) return;
        const auto picked = host_.pickers->ChooseColor(this, current);
        if (!picked || *picked == current) return;
        text->setText(Q(FormatColor(*picked)));
        button->setIcon(Swatch(*picked, 34, 12));
    });
    bindings_.Add(
        [text, field](Settings& s) { s.*field = FormatColor(ParseColor(S(text->text()))); });
    row.controls = {button, text};
    rows.NextRow();
    return row;
}

Row PreferencesDialog::ColorList(RowBuilder& rows, const std::string& labelKey,
                                 std::string Settings::*colorField,
                                 std::string Settings::*listField, const std::string& name) {
    Row row;
    row.label = rows.Label(labelKey);
    QWidget* area = rows.Area();
    auto* list = new QComboBox(area);
    list->setObjectName(Q(name));
    list->setGeometry(kControlX, rows.Y(), 214, 21);
    list->setIconSize(QSize(16, 16));
    const Settings& s = draft_;
    auto entries = std::make_shared<std::vector<ColorEntry>>(ColorListEntries(s.*listField));
    for (const ColorEntry& e : *entries) list->addItem(Swatch(e.value, 16, 16), Q(e.label));
    const int found = FindColorEntry(*entries, ParseColor(s.*colorField));
    list->setCurrentIndex(found >= 0 ? found : 0);
    QPushButton* dots = DotsButton(area, rows.Y(), name);
    row.label->setBuddy(list);
    connect(dots, &QPushButton::clicked, this, [this, list, entries, listField] {
        if (!host_.pickers) return;
        const int index = list->currentIndex();
        const uint32_t initial = index >= 0 ? (*entries)[static_cast<size_t>(index)].value : 0;
        const auto picked = host_.pickers->ChooseColor(this, initial);
        if (!picked) return;
        // A new colour joins the list setting at once, confirmed or not.
        const int position = AddPickedColor(draft_.*listField, *entries, *picked);
        if (host_.keepList) host_.keepList(listField, draft_.*listField);
        if (position >= list->count()) {
            const ColorEntry& e = (*entries)[static_cast<size_t>(position)];
            list->addItem(Swatch(e.value, 16, 16), Q(e.label));
        }
        list->setCurrentIndex(position);
    });
    bindings_.Add([list, entries, colorField](Settings& st) {
        const int index = list->currentIndex();
        if (index >= 0 && index < static_cast<int>(entries->size()))
            st.*colorField = FormatColor((*entries)[static_cast<size_t>(index)].value);
    });
    row.controls = {list, dots};
    rows.NextRow();
    return row;
}

Row PreferencesDialog::FontList(RowBuilder& rows) {
    Row row;
    row.label = rows.Label("Font");
    QWidget* area = rows.Area();
    auto* list = new QComboBox(area);
    list->setObjectName(QStringLiteral("font"));
    list->setGeometry(kControlX, rows.Y(), 214, 21);
    int selected = 0;
    auto entries = std::make_shared<std::vector<std::string>>(FontListEntries(draft_, &selected));
    for (const std::string& face : *entries) list->addItem(Q(face));
    list->setCurrentIndex(selected);
    QPushButton* dots = DotsButton(area, rows.Y(), "font");
    row.label->setBuddy(list);
    connect(dots, &QPushButton::clicked, this, [this, list, entries] {
        if (!host_.pickers) return;
        const int size = fontSizeField_ ? ReadInteger(S(fontSizeField_->text())) : 0;
        const auto chosen = host_.pickers->ChooseFont(this, S(list->currentText()), size);
        if (!chosen) return;
        const int position = AddPickedFont(draft_.fonts, *entries, chosen->face);
        if (host_.keepList) host_.keepList(&Settings::fonts, draft_.fonts);
        if (position >= list->count()) list->addItem(Q((*entries)[static_cast<size_t>(position)]));
        list->setCurrentIndex(position);
        if (fontSizeField_) fontSizeField_->setText(QString::number(chosen->size));
        if (fontStyleList_) fontStyleList_->setCurrentIndex(FontStyleFromPicker(chosen->style));
        if (fontEffectList_) fontEffectList_->setCurrentIndex(FontEffectFromPicker(chosen->style));
    });
    bindings_.Add([list](Settings& s) {
        if (list->currentIndex() >= 0) s.font = S(list->currentText());
    });
    row.controls = {list, dots};
    rows.NextRow();
    return row;
}

Row PreferencesDialog::ImageChooserRow(RowBuilder& rows) {
    Row row;
    row.label = rows.Label("Image");
    QWidget* area = rows.Area();
    auto* edit = new QLineEdit(area);
    edit->setObjectName(QStringLiteral("watermarkImage"));
    edit->setGeometry(kControlX, rows.Y(), 214, 20);
    edit->setText(Q(draft_.watermarkImage));
    edit->setCursorPosition(0);
    QPushButton* dots = DotsButton(area, rows.Y(), "watermarkImage");
    row.label->setBuddy(edit);
    connect(dots, &QPushButton::clicked, this, [this, edit] {
        if (!host_.dialogs) return;
        const auto chosen =
            host_.dialogs->ChooseInputFile(this, CatalogText("Dialog", "Select Watermark Image"),
                                           TrimBlanks(S(edit->text())), WatermarkImageFilters());
        if (chosen) edit->setText(Q(*chosen));
    });
    bindings_.Add([edit](Settings& s) { s.watermarkImage = CleanText(S(edit->text())); });
    row.controls = {edit, dots};
    rows.NextRow();
    return row;
}

// ---- Transform ---------------------------------------------------------------------------

void PreferencesDialog::BuildTransformPage() {
    QWidget* page = NewPage();
    QScrollArea* scroll = NewScrollArea(page, 0, 0, 450, 255, 420, 375);
    scroll->setObjectName(QStringLiteral("transformArea"));
    const Settings& s = draft_;
    RowBuilder rows(scroll->widget(), s, bindings_);
    const Row rotation = rows.Check("Image Rotation", "doImageRotation");
    const Row type = rows.ChoiceKeys("Rotation Type", "imageRotationType",
                                     {"Simple Rotation", "Advanced Rotation"});
    const Row angle = rows.Pair("Rotation Angle", "imageRotation", PairRange{0, 360, 0});
    const Row back = ColorRow(rows, "Background Color", &Settings::imageRotationBackColor,
                              "imageRotationBackColor");
    const Row resize = rows.Check("Image Resize", "doImageResize");
    const Row width =
        rows.Number("Image Width", "imageWidth", {"Pixels", "Percent"}, "imageWidthUnit");
    const Row height =
        rows.Number("Image Height", "imageHeight", {"Pixels", "Percent"}, "imageHeightUnit");
    const Row keep = rows.Check("Keep Aspect Ratio", "keepAspectRatio");
    const Row resizeType =
        rows.ChoiceKeys("Resize Type", "imageResizeType", {"All Images", "Large Images"});
    const Row algorithm =
        rows.ChoiceKeys("Resize Algorithm", "imageResizeAlgorithm",
                        {"Box", "Bilinear", "Bspline", "Bicubic", "Catmullrom", "Lanczos"});
    rows.Check("Image Flip Horizontal", "doImageFlipHorizontal");
    rows.Check("Image Flip Vertical", "doImageFlipVertical");

    QCheckBox* rotate = CheckOf(rotation);
    OnCheck(this, rotate, [=] {
        const bool on = rotate->isChecked();
        for (const Row& r : {type, angle, back}) r.SetEnabled(on);
    });
    QCheckBox* resizeBox = CheckOf(resize);
    OnCheck(this, resizeBox, [=] {
        const bool on = resizeBox->isChecked();
        for (const Row& r : {width, height, keep, resizeType, algorithm}) r.SetEnabled(on);
    });
}

// ---- Adjustment --------------------------------------------------------------------------

void PreferencesDialog::BuildAdjustmentPage() {
    QWidget* page = NewPage();
    const Settings& s = draft_;
    RowBuilder rows(page, s, bindings_);
    rows.Pair("Image Brightness", "imageBrightness", PairRange{-100, 100, 100});
    rows.Pair("Image Contrast", "imageContrast", PairRange{-100, 100, 100});
    rows.Gamma("Image Gamma", "imageGamma");
    rows.Check("Image Invert", "imageInvert");
    rows.Check("Image Greyscale", "doImageGreyscale");
    const Row threshold = rows.Check("Image Threshold", "doImageThreshold");
    const Row level = rows.Pair("Threshold Level", "imageThreshold", PairRange{0, 255, 0});
    QCheckBox* box = CheckOf(threshold);
    OnCheck(this, box, [=] { level.SetEnabled(box->isChecked()); });
}

// ---- Frame -------------------------------------------------------------------------------

void PreferencesDialog::BuildFramePage() {
    QWidget* page = NewPage();
    const Settings& s = draft_;
    RowBuilder top(page, s, bindings_);
    const Row kind = top.ChoiceKeys("Frame Type", "doFrame", {"None", "Frame Solid"});
    QScrollArea* scroll = NewScrollArea(page, 0, 40, 450, 215, 420, 310);
    scroll->setObjectName(QStringLiteral("frameArea"));
    RowBuilder rows(scroll->widget(), s, bindings_);
    rows.Number("Left", "solidLeft", {"Pixels"});
    rows.Number("Right", "solidRight", {"Pixels"});
    rows.Number("Top", "solidTop", {"Pixels"});
    rows.Number("Bottom", "solidBottom", {"Pixels"});
    ColorRow(rows, "Left Color", &Settings::solidLeftColor, "solidLeftColor");
    ColorRow(rows, "Right Color", &Settings::solidRightColor, "solidRightColor");
    ColorRow(rows, "Top Color", &Settings::solidTopColor, "solidTopColor");
    ColorRow(rows, "Bottom Color", &Settings::solidBottomColor, "solidBottomColor");
    rows.Pair("Opacity", "solidOpacity", PairRange{1, 255, 0});
    QComboBox* list = ListOf(kind);
    OnChoice(this, list, [=] { scroll->setVisible(list->currentIndex() == 1); });
}

// ---- Watermark ---------------------------------------------------------------------------

void PreferencesDialog::BuildWatermarkPage() {
    QWidget* page = NewPage();
    const Settings& s = draft_;
    RowBuilder top(page, s, bindings_);
    const Row kind = top.ChoiceKeys("Watermark Type", "doWatermark",
                                    {"None", "Watermark Text", "Watermark Image"});

    QScrollArea* textArea = NewScrollArea(page, 0, 40, 450, 215, 420, 610);
    textArea->setObjectName(QStringLiteral("watermarkTextArea"));
    RowBuilder text(textArea->widget(), s, bindings_);
    text.Text("Text", &Settings::watermarkText, "watermarkText", true);
    FontList(text);
    fontSizeField_ =
        static_cast<QLineEdit*>(text.Number("Font Size", "fontSize", {"Points"}).controls.front());
    text.Number("Font Leading", "fontLeading", {"Pixels"});
    ColorList(text, "Font Color", &Settings::fontColor, &Settings::fontColors, "fontColor");
    fontStyleList_ = ListOf(
        text.ChoiceKeys("Font Style", "fontStyle", {"Regular", "Bold", "Italic", "Bold Italic"}));
    fontEffectList_ =
        ListOf(text.ChoiceKeys("Font Effect", "fontEffect", {"None", "Underline", "Strikeout"}));
    text.Check("Antialiasing", "textAntialiasing");
    text.ChoiceKeys("Text Alignment", "textAlignment",
                    {"Align Left", "Align Center", "Align Right"});
    text.Number("Text Padding", "textPadding", {"Pixels"});
    text.Pair("Text Opacity", "textOpacity", PairRange{1, 255, 0});
    ColorList(text, "Background Color", &Settings::backColor, &Settings::backColors, "backColor");
    text.Pair("Background Opacity", "backOpacity", PairRange{1, 255, 0});
    const std::initializer_list<const char*> boundaries{"Bound Image", "Bound Frame"};
    const std::initializer_list<const char*> positions{
        "Top-Left",     "Top-Center",  "Top-Right",     "Middle-Left", "Middle-Center",
        "Middle-Right", "Bottom-Left", "Bottom-Center", "Bottom-Right"};
    text.ChoiceKeys("Boundary", "textBoundary", boundaries);
    text.ChoiceKeys("Position", "textPosition", positions);
    text.Number("X-Offset", "textXOffset", {"Pixels"});
    text.Number("Y-Offset", "textYOffset", {"Pixels"});
    text.Pair("Rotation Angle", "textRotation", PairRange{0, 360, 0});
    QComboBox* textSize = ListOf(text.ChoiceKeys("Size", "textSize", {"Fixed"}));
    const Row textScale = text.Pair("Scale", "textScale", PairRange{1, 200, 0});

    QScrollArea* imageArea = NewScrollArea(page, 0, 40, 450, 215, 420, 310);
    imageArea->setObjectName(QStringLiteral("watermarkImageArea"));
    RowBuilder image(imageArea->widget(), s, bindings_);
    ImageChooserRow(image);
    image.Check("Image Greyscale", "watermarkImageGreyscale");
    image.Pair("Opacity", "watermarkImageOpacity", PairRange{1, 255, 0});
    image.ChoiceKeys("Boundary", "watermarkImageBoundary", boundaries);
    image.ChoiceKeys("Position", "watermarkImagePosition", positions);
    image.Number("X-Offset", "watermarkImageXOffset", {"Pixels"});
    image.Number("Y-Offset", "watermarkImageYOffset", {"Pixels"});
    image.Pair("Rotation Angle", "watermarkImageRotation", PairRange{0, 360, 0});
    QComboBox* imageSize = ListOf(image.ChoiceKeys("Size", "watermarkImageSize", {"Fixed"}));
    const Row imageScale = image.Pair("Scale", "watermarkImageScale", PairRange{1, 200, 0});

    QComboBox* list = ListOf(kind);
    OnChoice(this, list, [=] {
        textArea->setVisible(list->currentIndex() == 1);
        imageArea->setVisible(list->currentIndex() == 2);
    });
    OnChoice(this, textSize, [=] { textScale.SetVisible(textSize->currentIndex() == 1); });
    OnChoice(this, imageSize, [=] { imageScale.SetVisible(imageSize->currentIndex() == 1); });
}

// ---- Advanced ------------------------------------------------------------------------------

void PreferencesDialog::BuildAdvancedPage() {
    QWidget* page = NewPage();
    const Settings& s = draft_;
    RowBuilder rows(page, s, bindings_);
    rows.Text("Filename Mask", &Settings::filenameMask, "filenameMask", true);
    const Row timestamp =
        rows.ChoiceKeys("File Timestamp", "fileTimestamp", {"Current", "Original", "Custom"});

    Row custom;
    custom.label = rows.Label("Custom Timestamp");
    auto* picker = new QDateTimeEdit(page);
    picker->setObjectName(QStringLiteral("customTimestamp"));
    picker->setGeometry(kControlX, rows.Y(), 240, 21);
    picker->setTimeSpec(Qt::UTC);
    picker->setDateTimeRange(QDateTime::fromSecsSinceEpoch(0, Qt::UTC),
                             QDateTime::fromSecsSinceEpoch(kLastDateValue, Qt::UTC));
    picker->setDisplayFormat(QStringLiteral("yyyy/MM/dd HH:mm"));
    picker->setCalendarPopup(true);
    const qint64 value = std::clamp<qint64>(s.customTimestamp, 0, kLastDateValue);
    picker->setDateTime(QDateTime::fromSecsSinceEpoch(value, Qt::UTC));
    custom.label->setBuddy(picker);
    custom.controls = {picker};
    rows.NextRow();
    bindings_.Add([picker](Settings& st) {
        st.customTimestamp = static_cast<int32_t>(
            std::clamp<qint64>(picker->dateTime().toSecsSinceEpoch(), 0, kLastDateValue));
    });

    rows.ChoiceKeys("Out Folders History", "outFoldersHistory", {"Clean On Exit", "Keep Folders"});
    rows.Pair("Out Folders Number", "outFoldersNumber", PairRange{1, 50, 0});
    // Hidden, but filled and read back so the setting keeps its value.
    rows.Check("Keep Subfolders", "keepSubfolders").SetVisible(false);

    QComboBox* list = ListOf(timestamp);
    OnChoice(this, list, [=] { custom.SetEnabled(list->currentIndex() == 2); });
}

}  // namespace tarnwick
