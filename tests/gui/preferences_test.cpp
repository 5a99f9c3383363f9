// The preferences dialog without a screen: opening on the right page, the
// pages' controls, slider pairs and number reading, colour and font lists,
// the buttons, and what the main window applies afterwards.
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolBar>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>

#include "engine/run_state.h"
#include "gui_support.h"
#include "platform/platform.h"
#include "settings/config.h"
#include "settings/settings.h"
#include "support/test_support.h"
#include "ui/preferences/pickers.h"
#include "ui/preferences/preferences_dialog.h"
#include "ui/preferences/preferences_logic.h"
#include "ui/themes.h"

namespace tarnwick::test {
namespace {

std::string S(const QString& s) { return s.toStdString(); }

// The text field inside a number box, where the user types.
QLineEdit* Edit(QSpinBox* box) { return box->findChild<QLineEdit*>(); }

class FakePickers : public PreferencesPickers {
public:
    std::deque<std::optional<uint32_t>> colors;
    std::optional<FontChoice> font;
    std::vector<uint32_t> colorInitial;
    std::string fontFace;
    int fontSize = -1;

    std::optional<uint32_t> ChooseColor(QWidget*, uint32_t initial) override {
        colorInitial.push_back(initial);
        if (colors.empty()) return std::nullopt;
        auto c = colors.front();
        colors.pop_front();
        return c;
    }
    std::optional<FontChoice> ChooseFont(QWidget*, const std::string& face, int size) override {
        fontFace = face;
        fontSize = size;
        return font;
    }
};

class PreferencesTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        config = dir / "config.ini";
        window->SetConfigPath(config);
        window->SetPreferencesPickers(&pickers);
        GlobalRunState().programFolder = dir.path();
        ScanThemes();
    }
    void TearDown() override {
        WindowTest::TearDown();
        GlobalThemeTable().clear();
    }

    PreferencesDialog* Open(int command = kCmdPreferences) {
        window->RunCommand(command);
        PreferencesDialog* d = window->Preferences();
        EXPECT_NE(d, nullptr);
        EXPECT_TRUE(d && d->isVisible());
        return d;
    }
    template <typename T>
    T* Get(PreferencesDialog* d, const char* name) {
        T* w = d->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    bool Closed(PreferencesDialog* d) { return !d->isVisible(); }

    TempDir dir;
    std::string config;
    FakePickers pickers;
};

TEST(PreferencesRules, ReadingNumbersAndCleaningTexts) {
    EXPECT_EQ(ReadInteger("abc"), 0);
    EXPECT_EQ(ReadInteger(""), 0);
    EXPECT_EQ(ReadInteger("$1F"), 31);
    EXPECT_EQ(ReadInteger("%101"), 5);
    EXPECT_EQ(ReadInteger(" \t-12x"), -12);
    EXPECT_EQ((PairRange{1, 100, 0}.FromText("150")), 100);
    EXPECT_EQ((PairRange{1, 100, 0}.FromText("abc")), 1);
    EXPECT_EQ((PairRange{-100, 100, 100}.FromText("-250")), -100);

    EXPECT_EQ(GammaFromText("2.5"), 250);
    EXPECT_EQ(GammaFromText("0"), 1);
    EXPECT_EQ(GammaFromText("12"), 999);
    EXPECT_EQ(GammaText(250), "2.50");
    EXPECT_EQ(GammaText(1), "0.01");
    EXPECT_EQ(GammaFromSetting(2.5f), 250);

    EXPECT_EQ(CleanText(" Sample\ttext "), "Sampletext");
    EXPECT_EQ(CleanText("  %filename%\r\n.%ext% "), "%filename%.%ext%");

    EXPECT_EQ(DecideIconReload("a", 2, "a", 1), IconReload::ToolbarSize);
    EXPECT_EQ(DecideIconReload("a", 2, "b", 1), IconReload::Theme);
    EXPECT_EQ(DecideIconReload("a", 2, "b", 2), IconReload::Theme);
    EXPECT_EQ(DecideIconReload("a", 2, "a", 2), IconReload::None);

    // Raw panel: 8/16-bit enable the size rows, 48-bit the tone mapping.
    EXPECT_TRUE(RawEnabling(1).sizeRows && !RawEnabling(1).toneMapping);
    EXPECT_TRUE(!RawEnabling(5).sizeRows && RawEnabling(5).toneMapping);
    EXPECT_TRUE(!RawEnabling(3).sizeRows && !RawEnabling(3).toneMapping);

    // The theme list: sorted without regard to case, unnamed packages left out,
    // the item keeps its own key.
    const ThemeChoices c =
        BuildThemeChoices({{"b", "Bee"}, {"A", "Ay"}, {"noname", ""}, {"c", "Sea"}}, "c");
    EXPECT_EQ(c.keys, (std::vector<std::string>{"A", "b", "c"}));
    EXPECT_EQ(c.titles, (std::vector<std::string>{"Ay", "Bee", "Sea"}));
    EXPECT_EQ(c.selected, 2);
    const ThemeChoices none = BuildThemeChoices({}, "handdrawn");
    EXPECT_EQ(none.titles, (std::vector<std::string>{"None"}));
    EXPECT_EQ(none.keys, (std::vector<std::string>{""}));
}

TEST_F(PreferencesTest, OpensOnThePageOfItsCommand) {
    PreferencesDialog* d = Open(kCmdOutputFormatOptions);
    EXPECT_EQ(d->size(), QSize(600, 350));
    EXPECT_EQ(S(d->windowTitle()), "Preferences...");
    EXPECT_EQ(d->CurrentPage(), PreferencesDialog::kOutput);
    EXPECT_EQ(S(d->HeaderText()), "Output");
    EXPECT_EQ(S(d->Tree()->currentItem()->text(0)), "Output");
    EXPECT_TRUE(d->isModal() || d->windowModality() != Qt::NonModal);

    // The product's lists: the Input page offers PNG only, the Output page the
    // BMP panel.
    QComboBox* input = Get<QComboBox>(d, "inputFormat");
    ASSERT_EQ(input->count(), 1);
    EXPECT_EQ(S(input->itemText(0)), "PNG");
    QComboBox* output = Get<QComboBox>(d, "outputFormat");
    ASSERT_EQ(output->count(), 1);
    EXPECT_EQ(S(output->currentText()), "BMP");
    QWidget* bmp = Get<QWidget>(d, "output.bmp");
    std::vector<std::string> labels;
    for (QLabel* l : bmp->findChildren<QLabel*>()) labels.push_back(S(l->text()));
    EXPECT_EQ(labels,
              (std::vector<std::string>{"Bits Per Pixel:", "Compression:", "Color Table:"}));
    EXPECT_TRUE(bmp->isVisible());
    EXPECT_EQ(S(Get<QComboBox>(d, "bmpBpp")->currentText()), "Auto");

    // The tree switches pages; the header follows.
    d->Tree()->setCurrentItem(d->Tree()->topLevelItem(7));
    EXPECT_EQ(d->CurrentPage(), 7);
    EXPECT_EQ(S(d->HeaderText()), "Watermark");

    d->CancelButton()->click();
    EXPECT_TRUE(Closed(d));
    QCoreApplication::processEvents();
    d = Open(kCmdPreferences);
    EXPECT_EQ(d->CurrentPage(), PreferencesDialog::kGeneral);
    EXPECT_EQ(S(d->HeaderText()), "General");
    EXPECT_EQ(S(Get<QComboBox>(d, "language")->currentText()), "English");
}

TEST_F(PreferencesTest, SliderPairsClampWhatIsTyped) {
    PreferencesDialog* d = Open();
    QSpinBox* quality = Get<QSpinBox>(d, "jpgQuality");
    QSlider* slider = Get<QSlider>(d, "jpgQuality.slider");
    EXPECT_EQ(quality->value(), 95);
    Edit(quality)->setText("150");
    EXPECT_EQ(quality->value(), 100);
    EXPECT_EQ(S(Edit(quality)->text()), "100");
    EXPECT_EQ(slider->value(), 100);
    Edit(quality)->setText("abc");
    EXPECT_EQ(quality->value(), 1);
    EXPECT_EQ(slider->value(), 1);
    slider->setValue(42);
    EXPECT_EQ(quality->value(), 42);

    // Brightness: the slider is shifted by 100 against the box.
    QSpinBox* brightness = Get<QSpinBox>(d, "imageBrightness");
    QSlider* shifted = Get<QSlider>(d, "imageBrightness.slider");
    EXPECT_EQ(shifted->minimum(), 0);
    EXPECT_EQ(shifted->maximum(), 200);
    EXPECT_EQ(shifted->value(), 100);
    Edit(brightness)->setText("-");  // the start of a negative number stays
    EXPECT_EQ(S(Edit(brightness)->text()), "-");
    Edit(brightness)->setText("-30");
    EXPECT_EQ(brightness->value(), -30);
    EXPECT_EQ(shifted->value(), 70);

    // Gamma: two decimals, slider at gamma x 100.
    QSpinBox* gamma = Get<QSpinBox>(d, "imageGamma");
    QSlider* gammaSlider = Get<QSlider>(d, "imageGamma.slider");
    EXPECT_EQ(S(gamma->text()), "1.00");
    EXPECT_EQ(gammaSlider->value(), 100);
    Edit(gamma)->setText("2.5");
    EXPECT_EQ(gammaSlider->value(), 250);
    gamma->interpretText();
    EXPECT_EQ(S(gamma->text()), "2.50");
    Edit(gamma)->setText("0");
    gamma->interpretText();
    EXPECT_EQ(S(gamma->text()), "0.01");
    gammaSlider->setValue(100);
    EXPECT_EQ(S(gamma->text()), "1.00");
    gamma->stepBy(1);
    EXPECT_EQ(S(gamma->text()), "1.01");
    gamma->stepBy(-1);

    Edit(brightness)->setText("0");
    d->Confirm();
    EXPECT_EQ(GlobalSettings().jpgQuality, 42);
    EXPECT_EQ(GlobalSettings().imageGamma, 1.0f);
    EXPECT_EQ(GlobalSettings().doImageColorCorrection, 0);
}

TEST_F(PreferencesTest, ConfirmingWritesTheRecordAndTheConfigurationAtOnce) {
    Settings& s = GlobalSettings();
    s.tiffColorModel = 2;  // from the command line: no entry in the list
    s.solidLeftColor = "12345";
    s.watermarkText = "x";
    s.imageWidth = 640;
    PreferencesDialog* d = Open();
    EXPECT_EQ(Get<QComboBox>(d, "tiffColorModel")->currentIndex(), -1);
    EXPECT_EQ(S(Get<QLineEdit>(d, "solidLeftColor")->text()), "000000");

    Get<QLineEdit>(d, "watermarkText")->setText(" Sample\ttext ");
    Edit(Get<QSpinBox>(d, "imageContrast"))->setText("10");
    Get<QComboBox>(d, "updateRange")->setCurrentIndex(5);
    Get<QLineEdit>(d, "solidTop")->setText("");  // an empty field stores 0
    s.solidTop = 7;

    // Unchecking "Image Resize" disables its rows but keeps their values.
    QCheckBox* resize = Get<QCheckBox>(d, "doImageResize");
    resize->setChecked(true);
    EXPECT_TRUE(Get<QLineEdit>(d, "imageWidth")->isEnabled());
    resize->setChecked(false);
    EXPECT_FALSE(Get<QLineEdit>(d, "imageWidth")->isEnabled());
    EXPECT_FALSE(Get<QComboBox>(d, "imageResizeAlgorithm")->isEnabled());

    d->OkButton()->click();
    EXPECT_TRUE(Closed(d));
    EXPECT_EQ(s.tiffColorModel, -1);
    EXPECT_EQ(s.solidLeftColor, "000000");
    EXPECT_EQ(s.watermarkText, "Sampletext");
    EXPECT_EQ(s.imageContrast, 10);
    EXPECT_EQ(s.doImageColorCorrection, 1);
    EXPECT_EQ(s.updateRange, 5);
    EXPECT_EQ(s.solidTop, 0);
    EXPECT_EQ(s.imageWidth, 640);
    EXPECT_EQ(s.doImageResize, 0);
    EXPECT_EQ(s.language, "en");
    EXPECT_EQ(ReadFile(config), SerializeConfiguration(s));
}

TEST_F(PreferencesTest, AConfigurationThatCannotBeWrittenIsReported) {
    WriteFile(dir / "blocker", "a file where a folder should be");
    window->SetConfigPath(dir / "blocker/config.ini");
    PreferencesDialog* d = Open();
    Get<QComboBox>(d, "updateRange")->setCurrentIndex(4);
    d->Confirm();
    EXPECT_TRUE(Closed(d));
    EXPECT_EQ(GlobalSettings().updateRange, 4);  // kept for the save at exit
    ASSERT_EQ(dialogs.warnings.size(), 1u);
    EXPECT_EQ(dialogs.warnings[0], "Unable to save the file: " + dir / "blocker/config.ini" + "!");
}

TEST_F(PreferencesTest, CancelEscapeAndCloseChangeNothing) {
    const std::string before = SerializeConfiguration(GlobalSettings());
    for (int way = 0; way < 3; ++way) {
        PreferencesDialog* d = Open();
        Get<QComboBox>(d, "updateRange")->setCurrentIndex(0);
        Get<QCheckBox>(d, "saveWindowPosition")->setChecked(false);
        if (way == 0) {
            d->CancelButton()->click();
        } else if (way == 1) {
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QCoreApplication::sendEvent(d, &escape);
        } else {
            d->close();
        }
        EXPECT_TRUE(Closed(d)) << way;
        QCoreApplication::processEvents();
        EXPECT_EQ(SerializeConfiguration(GlobalSettings()), before) << way;
    }
    EXPECT_EQ(platform::FileSize(config), -1);

    // Return confirms.
    PreferencesDialog* d = Open();
    Get<QComboBox>(d, "updateRange")->setCurrentIndex(0);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(d, &enter);
    EXPECT_TRUE(Closed(d));
    EXPECT_EQ(GlobalSettings().updateRange, 0);
}

TEST_F(PreferencesTest, DefaultsAsksFirst) {
    Settings& s = GlobalSettings();
    s.jpgQuality = 50;
    s.uiSize = 0;
    PreferencesDialog* d = Open();
    dialogs.answer = false;
    d->DefaultsButton()->click();
    ASSERT_EQ(dialogs.questions.size(), 1u);
    EXPECT_EQ(dialogs.questions[0].first, "Reset to Defaults");
    EXPECT_EQ(dialogs.questions[0].second,
              "Are you sure you want to reset all your settings to the default values?");
    EXPECT_FALSE(Closed(d));
    EXPECT_EQ(s.jpgQuality, 50);
    EXPECT_EQ(platform::FileSize(config), -1);

    dialogs.answer = true;
    d->DefaultsButton()->click();
    EXPECT_TRUE(Closed(d));
    EXPECT_EQ(s.jpgQuality, 95);
    EXPECT_EQ(s.uiSize, 2);
    EXPECT_EQ(ReadFile(config), SerializeConfiguration(s));
    // The size went back to large: the toolbar follows at once.
    EXPECT_EQ(window->Toolbar()->iconSize(), QSize(32, 32));
}

TEST_F(PreferencesTest, ColourListsGrowAtOnceEvenWhenCancelled) {
    Settings& s = GlobalSettings();
    s.backColors = "000000,ff8000";
    PreferencesDialog* d = Open();
    QComboBox* fontColor = Get<QComboBox>(d, "fontColor");
    std::vector<std::string> names;
    for (int i = 0; i < fontColor->count(); ++i) names.push_back(S(fontColor->itemText(i)));
    EXPECT_EQ(names, (std::vector<std::string>{"Black", "White", "Red", "Orange", "Yellow", "Green",
                                               "Aqua", "Blue", "Violet"}));
    EXPECT_EQ(S(fontColor->currentText()), "White");
    // The named-colour match is case-sensitive; the swatch still shows orange.
    QComboBox* backColor = Get<QComboBox>(d, "backColor");
    EXPECT_EQ(S(backColor->itemText(1)), "Color #ff8000");
    EXPECT_EQ(backColor->itemIcon(1).pixmap(16, 16).toImage().pixel(8, 8),
              QColor(0xFF, 0x80, 0x00).rgb());

    const std::string defaultColors = s.fontColors;
    pickers.colors = {0x332211u, 0x0000FFu, std::nullopt};
    Get<QPushButton>(d, "fontColor.choose")->click();
    EXPECT_EQ(pickers.colorInitial.back(), 0xFFFFFFu);  // the selected entry's colour
    EXPECT_EQ(S(fontColor->currentText()), "Color #112233");
    EXPECT_EQ(fontColor->count(), 10);
    EXPECT_EQ(s.fontColors, defaultColors + ",112233");
    // A colour already listed is selected, not added.
    Get<QPushButton>(d, "fontColor.choose")->click();
    EXPECT_EQ(S(fontColor->currentText()), "Red");
    EXPECT_EQ(fontColor->count(), 10);
    // A cancelled picker changes nothing.
    Get<QPushButton>(d, "fontColor.choose")->click();
    EXPECT_EQ(S(fontColor->currentText()), "Red");

    d->CancelButton()->click();
    EXPECT_EQ(s.fontColors, defaultColors + ",112233");
    EXPECT_EQ(s.fontColor, "FFFFFF");
}

TEST_F(PreferencesTest, ColourRowsFontPickerAndImageChooser) {
    Settings& s = GlobalSettings();
    PreferencesDialog* d = Open();
    // A colour row: the same colour or a cancelled picker changes nothing.
    pickers.colors = {0x000000u, 0x0080FFu};
    QPushButton* button = Get<QPushButton>(d, "solidTopColor.button");
    button->click();
    EXPECT_EQ(S(Get<QLineEdit>(d, "solidTopColor")->text()), "000000");
    button->click();
    EXPECT_EQ(S(Get<QLineEdit>(d, "solidTopColor")->text()), "FF8000");

    // The font picker: the name loses its commas and joins `fonts` at once.
    pickers.font =
        FontChoice{"Liberation, Sans", 22, kPickerBold | kPickerItalic | kPickerUnderline};
    Get<QPushButton>(d, "font.choose")->click();
    EXPECT_EQ(pickers.fontFace, "Arial");
    EXPECT_EQ(pickers.fontSize, 14);
    EXPECT_EQ(s.fonts, "Arial,Tahoma,Verdana,Liberation Sans");
    EXPECT_EQ(S(Get<QComboBox>(d, "font")->currentText()), "Liberation Sans");
    EXPECT_EQ(S(Get<QLineEdit>(d, "fontSize")->text()), "22");
    EXPECT_EQ(S(Get<QComboBox>(d, "fontStyle")->currentText()), "Bold Italic");
    EXPECT_EQ(S(Get<QComboBox>(d, "fontEffect")->currentText()), "Underline");

    // The watermark-image chooser.
    Get<QLineEdit>(d, "watermarkImage")->setText("  /pictures/logo.png ");
    dialogs.nextFile = "/pictures/new logo.png";
    Get<QPushButton>(d, "watermarkImage.choose")->click();
    EXPECT_EQ(dialogs.fileTitle, "Select Watermark Image");
    EXPECT_EQ(dialogs.fileInitial, "/pictures/logo.png");
    ASSERT_EQ(dialogs.fileFilters.size(), 5u);
    EXPECT_EQ(dialogs.fileFilters[0],
              "All Supported Files (*.jpg *.jpeg *.jpe *.jif *.png *.bmp *.rle *.dib)");
    EXPECT_EQ(dialogs.fileFilters[4], "All Files (*)");
    EXPECT_EQ(S(Get<QLineEdit>(d, "watermarkImage")->text()), "/pictures/new logo.png");

    d->Confirm();
    EXPECT_EQ(s.solidTopColor, "FF8000");
    EXPECT_EQ(s.font, "Liberation Sans");
    EXPECT_EQ(s.fontSize, 22);
    EXPECT_EQ(s.fontStyle, 3);
    EXPECT_EQ(s.watermarkImage, "/pictures/new logo.png");
}

TEST_F(PreferencesTest, ShowingRulesFollowTheirLists) {
    Settings& s = GlobalSettings();
    s.doWatermark = 2;
    s.fileTimestamp = 2;
    s.customTimestamp = 1700000000;
    PreferencesDialog* d = Open();
    d->ShowPage(PreferencesDialog::kWatermark);
    QWidget* textArea = Get<QWidget>(d, "watermarkTextArea");
    QWidget* imageArea = Get<QWidget>(d, "watermarkImageArea");
    EXPECT_FALSE(textArea->isVisible());
    EXPECT_TRUE(imageArea->isVisible());
    Get<QComboBox>(d, "doWatermark")->setCurrentIndex(1);
    EXPECT_TRUE(textArea->isVisible());
    EXPECT_FALSE(imageArea->isVisible());
    EXPECT_FALSE(Get<QSpinBox>(d, "textScale")->isVisible());  // the size list has one entry

    d->ShowPage(PreferencesDialog::kFrame);
    EXPECT_FALSE(Get<QWidget>(d, "frameArea")->isVisible());
    Get<QComboBox>(d, "doFrame")->setCurrentIndex(1);
    EXPECT_TRUE(Get<QWidget>(d, "frameArea")->isVisible());

    // The raw input panel (not offered by this product's input list, but built).
    QComboBox* rawLoadAs = Get<QComboBox>(d, "rawLoadAs");
    QLineEdit* header = Get<QLineEdit>(d, "rawHeaderSize");
    QComboBox* tone = Get<QComboBox>(d, "rawToneMapping");
    EXPECT_FALSE(header->isEnabled());
    EXPECT_FALSE(tone->isEnabled());
    rawLoadAs->setCurrentIndex(2);  // RGB 16-bit
    EXPECT_TRUE(header->isEnabled());
    EXPECT_TRUE(Get<QComboBox>(d, "rawImageWidth.unit")->isEnabled());
    EXPECT_FALSE(tone->isEnabled());
    rawLoadAs->setCurrentIndex(4);  // RGB 48-bit (HS)
    EXPECT_FALSE(header->isEnabled());
    EXPECT_TRUE(tone->isEnabled());

    d->ShowPage(PreferencesDialog::kAdvanced);
    QDateTimeEdit* picker = Get<QDateTimeEdit>(d, "customTimestamp");
    EXPECT_TRUE(picker->isEnabled());
    EXPECT_EQ(S(picker->text()), "2023/11/14 22:13");
    Get<QComboBox>(d, "fileTimestamp")->setCurrentIndex(0);
    EXPECT_FALSE(picker->isEnabled());
    EXPECT_FALSE(Get<QCheckBox>(d, "keepSubfolders")->isVisible());
    s.keepSubfolders = 1;
    d->Confirm();
    EXPECT_EQ(s.customTimestamp, 1700000000);
    EXPECT_EQ(s.keepSubfolders, 1);
}

TEST_F(PreferencesTest, InterfacePageAppliesThemeAndSizeWithoutRestart) {
    PreferencesDialog* d = Open();
    QComboBox* themes = Get<QComboBox>(d, "uiTheme");
    ASSERT_EQ(themes->count(), 1);  // no packages in this program folder
    EXPECT_EQ(S(themes->currentText()), "None");
    QComboBox* sizes = Get<QComboBox>(d, "uiSize");
    EXPECT_EQ(sizes->currentIndex(), 2);
    sizes->setCurrentIndex(0);
    Get<QSpinBox>(d, "outFoldersNumber")->setValue(1);
    // Until it is confirmed, the dialog changes only its own copy.
    EXPECT_EQ(GlobalSettings().uiSize, 2);
    EXPECT_NE(GlobalSettings().outFoldersNumber, 1);
    d->Confirm();
    EXPECT_EQ(GlobalSettings().uiSize, 0);
    EXPECT_EQ(GlobalSettings().uiTheme, "");
    EXPECT_EQ(GlobalSettings().outFoldersNumber, 1);
    EXPECT_EQ(window->Toolbar()->iconSize(), QSize(16, 16));

    // A size that only the configuration file can set is kept by OK.
    QCoreApplication::processEvents();
    GlobalSettings().uiSize = 4;
    d = Open();
    EXPECT_EQ(Get<QComboBox>(d, "uiSize")->currentIndex(), -1);
    d->Confirm();
    EXPECT_EQ(GlobalSettings().uiSize, 4);
}

TEST_F(PreferencesTest, NoLabelIsCutMidCharacter) {
    Settings& s = GlobalSettings();
    s.doFrame = 1;
    s.doWatermark = 1;
    PreferencesDialog* d = Open();
    for (QLabel* label : d->findChildren<QLabel*>()) {
        if (label->text().isEmpty()) continue;
        const int needed = label->fontMetrics().horizontalAdvance(label->text());
        EXPECT_LE(needed, label->width()) << S(label->text());
    }
}

// The controls Tab reaches from the tree, in order, on the page shown.
std::vector<std::string> TabOrder(PreferencesDialog* d) {
    std::vector<std::string> names;
    QWidget* w = d->Tree();
    do {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(d) && w->isEnabled() &&
            !w->objectName().isEmpty() && !w->objectName().startsWith(QLatin1String("qt_")))
            names.push_back(S(w->objectName()));
        w = w->nextInFocusChain();
    } while (w != d->Tree());
    return names;
}

TEST_F(PreferencesTest, TabRunsFromTheTreeThroughTheRowsToTheButtons) {
    PreferencesDialog* d = Open();
    EXPECT_EQ(TabOrder(d), (std::vector<std::string>{"categories", "language", "updateRange",
                                                     "saveWindowPosition", "defaultsButton",
                                                     "okButton", "cancelButton"}));
    d->Tree()->setCurrentItem(d->Tree()->topLevelItem(PreferencesDialog::kOutput));
    EXPECT_EQ(TabOrder(d), (std::vector<std::string>{
                               "categories", "outputFormat", "bmpBpp", "bmpCompression",
                               "bmpColorTable", "defaultsButton", "okButton", "cancelButton"}));
    d->Tree()->setCurrentItem(d->Tree()->topLevelItem(PreferencesDialog::kAdjustment));
    EXPECT_EQ(TabOrder(d), (std::vector<std::string>{
                               "categories", "imageBrightness.slider", "imageBrightness",
                               "imageContrast.slider", "imageContrast", "imageGamma.slider",
                               "imageGamma", "imageInvert", "doImageGreyscale", "doImageThreshold",
                               "defaultsButton", "okButton", "cancelButton"}));
    EXPECT_TRUE(d->OkButton()->isDefault());
}

// No page has a Tab stop the user cannot see: the scrolling areas of the
// long pages take no focus of their own.
TEST_F(PreferencesTest, ScrollingPagesHaveNoInvisibleTabStop) {
    Settings& s = GlobalSettings();
    s.doFrame = 1;
    s.doWatermark = 1;
    PreferencesDialog* d = Open();
    for (int page = 0; page < d->Tree()->topLevelItemCount(); ++page) {
        d->Tree()->setCurrentItem(d->Tree()->topLevelItem(page));
        for (QScrollArea* area : d->findChildren<QScrollArea*>())
            if (area->isVisibleTo(d)) {
                EXPECT_FALSE(area->focusPolicy() & Qt::TabFocus) << "page " << page;
            }
    }
}

// The unit lists of the Transform page show their longest unit whole.
TEST_F(PreferencesTest, UnitListsAreWideEnoughForTheirUnits) {
    PreferencesDialog* d = Open();
    d->Tree()->setCurrentItem(d->Tree()->topLevelItem(PreferencesDialog::kTransform));
    for (const char* name : {"imageWidth.unit", "imageHeight.unit"}) {
        auto* units = Get<QComboBox>(d, name);
        ASSERT_NE(units, nullptr);
        int widest = 0;
        for (int i = 0; i < units->count(); ++i)
            widest = std::max(widest, units->fontMetrics().horizontalAdvance(units->itemText(i)));
        EXPECT_GE(units->width(), units->sizeHint().width()) << name;
        EXPECT_GT(units->width(), widest) << name;
        // Still beside its number box, within the page.
        auto* box = Get<QLineEdit>(
            d, name == std::string("imageWidth.unit") ? "imageWidth" : "imageHeight");
        EXPECT_LE(box->geometry().right(), units->x()) << name;
        EXPECT_LE(units->geometry().right(), units->parentWidget()->width()) << name;
    }
}

// Not run with the suite: bench/bench_preferences.sh runs it for the time it
// takes to build, fill and show the dialog.
TEST_F(PreferencesTest, DISABLED_OpeningTime) {
    const int runs = 20;
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        window->RunCommand(kCmdPreferences);
        QCoreApplication::processEvents();
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        window->Preferences()->reject();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    std::sort(times.begin(), times.end());
    std::printf(
        "preferences dialog opening (%d runs): first %.1f ms, median %.1f ms, worst %.1f ms\n",
        runs, times.front(), times[times.size() / 2], times.back());
}

// Not run with the suite: writes a picture of every page into the folder named
// by TARNWICK_SHOTS (for the manual). Run it under xvfb-run to see the real fonts.
TEST_F(PreferencesTest, DISABLED_PagePictures) {
    const char* folder = std::getenv("TARNWICK_SHOTS");
    ASSERT_NE(folder, nullptr);
    GlobalRunState().programFolder = TARNWICK_BIN_DIR "/";
    ScanThemes();
    GlobalSettings().uiTheme = "handdrawn";
    ApplyTheme(true, true, true);
    Settings& s = GlobalSettings();
    s.doImageResize = 1;
    s.doFrame = 1;
    s.doWatermark = 1;
    s.fileTimestamp = 2;
    s.customTimestamp = 1767225600;  // 2026/01/01 00:00
    PreferencesDialog* d = Open();
    const char* names[] = {"general",    "interface", "input",     "output",  "transform",
                           "adjustment", "frame",     "watermark", "advanced"};
    for (int i = 0; i < PreferencesDialog::kPageCount; ++i) {
        d->Tree()->setCurrentItem(d->Tree()->topLevelItem(i));
        QCoreApplication::processEvents();
        EXPECT_TRUE(
            d->grab().save(QString::fromUtf8(folder) + "/preferences-" + names[i] + ".png"));
    }
    d->Tree()->setCurrentItem(d->Tree()->topLevelItem(PreferencesDialog::kWatermark));
    Get<QComboBox>(d, "doWatermark")->setCurrentIndex(2);
    QCoreApplication::processEvents();
    EXPECT_TRUE(d->grab().save(QString::fromUtf8(folder) + "/preferences-watermark-image.png"));
    d->reject();
}

}  // namespace
}  // namespace tarnwick::test
