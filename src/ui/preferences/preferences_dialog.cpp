// The preferences dialog: frame, buttons and the pages General, Interface,
// Input and Output. The image-processing pages are in processing_pages.cpp.
#include "ui/preferences/preferences_dialog.h"

#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTreeWidget>
#include <map>

#include "engine/format_registry.h"
#include "engine/run_state.h"
#include "settings/config.h"
#include "settings/settings.h"
#include "text/catalog.h"
#include "text/product.h"
#include "text/text_util.h"
#include "ui/images.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"
#include "ui/themes.h"
#include "ui/user_dialogs.h"
#include "ui/window_logic.h"
#include "ui/window_mode.h"

namespace tarnwick {

namespace {

const char* const kPageKeys[PreferencesDialog::kPageCount] = {"General", "Interface", "Input",
                                                              "Output",  "Transform", "Adjustment",
                                                              "Frame",   "Watermark", "Advanced"};

// Format panels below the format list of the Input and Output pages.
constexpr int kPanelY = 40, kPanelWidth = 450, kPanelHeight = 215;

QIcon FormatIcon() {
    const QPixmap image = TableImage(GlobalIcons().menu, "New", 16);
    return QIcon(image.width() == 16 && image.height() == 16
                     ? image
                     : image.scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

}  // namespace

PreferencesDialog::PreferencesDialog(QWidget* owner, Host host, Settings draft)
    : QDialog(owner), host_(std::move(host)), draft_(std::move(draft)) {
    setObjectName(QStringLiteral("preferencesDialog"));
    setWindowTitle(Q(PrefText("Title")));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(600, 350);
    BuildFrame();
    BuildGeneralPage();
    BuildInterfacePage();
    BuildInputPage();
    BuildOutputPage();
    BuildTransformPage();
    BuildAdjustmentPage();
    BuildFramePage();
    BuildWatermarkPage();
    BuildAdvancedPage();
    BuildButtons();
}

PreferencesDialog::~PreferencesDialog() = default;

void PreferencesDialog::BuildFrame() {
    tree_ = new QTreeWidget(this);
    tree_->setObjectName(QStringLiteral("categories"));
    tree_->setGeometry(10, 10, 120, 295);
    tree_->setHeaderHidden(true);
    tree_->setRootIsDecorated(false);
    tree_->setItemsExpandable(false);
    tree_->setColumnCount(1);
    // The selection stays visible when the tree loses the focus.
    QPalette palette = tree_->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    tree_->setPalette(palette);
    for (const char* key : kPageKeys) new QTreeWidgetItem(tree_, QStringList(Q(PrefText(key))));

    auto* band = new QFrame(this);
    band->setObjectName(QStringLiteral("headerBand"));
    band->setGeometry(140, 10, 450, 30);
    band->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    band->setLineWidth(1);
    band->setAutoFillBackground(true);
    QPalette white = band->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    band->setPalette(white);
    header_ = new QLabel(band);
    header_->setObjectName(QStringLiteral("pageTitle"));
    header_->setGeometry(10, 7, 330, 20);
    QFont font(QStringLiteral("MS Shell Dlg"));
    font.setStyleHint(QFont::SansSerif);
    font.setFamilies({QStringLiteral("MS Shell Dlg"), QFont().family()});
    font.setPointSize(10);
    font.setBold(true);
    header_->setFont(font);

    stack_ = new QStackedWidget(this);
    stack_->setObjectName(QStringLiteral("pages"));
    stack_->setGeometry(140, 50, 450, 255);

    connect(tree_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item, QTreeWidgetItem*) {
                if (item) ShowPage(tree_->indexOfTopLevelItem(item));
            });
}

void PreferencesDialog::BuildButtons() {
    // Made after the pages, so the keyboard order runs from the tree through
    // the page's rows to the buttons.
    const auto button = [this](const char* key, int x, const char* name) {
        auto* b = new QPushButton(Q(CatalogText("Dialog", key)), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(x, 315, 80, 25);
        return b;
    };
    defaultsButton_ = button("Defaults", 10, "defaultsButton");
    okButton_ = button("OK", 420, "okButton");
    cancelButton_ = button("Cancel", 510, "cancelButton");
    // Return anywhere but on another button confirms.
    okButton_->setDefault(true);
    connect(okButton_, &QPushButton::clicked, this, [this] { Confirm(); });
    connect(defaultsButton_, &QPushButton::clicked, this, [this] { ResetToDefaults(); });
    // Cancel, Escape and the close box: nothing is read back.
    connect(cancelButton_, &QPushButton::clicked, this, [this] { reject(); });
}

QWidget* PreferencesDialog::NewPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("page%1").arg(pages_.size()));
    stack_->addWidget(page);
    pages_.push_back(page);
    return page;
}

QScrollArea* PreferencesDialog::NewScrollArea(QWidget* parent, int x, int y, int w, int h,
                                              int innerW, int innerH) {
    auto* area = new QScrollArea(parent);
    area->setGeometry(x, y, w, h);
    area->setFrameShape(QFrame::NoFrame);
    // Tab goes through the page's controls, not through the area around them.
    area->setFocusPolicy(Qt::NoFocus);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->verticalScrollBar()->setSingleStep(10);
    auto* inner = new QWidget;
    inner->setFixedSize(innerW, innerH);
    area->setWidget(inner);
    return area;
}

// ---- Opening, switching, closing -----------------------------------------------------

void PreferencesDialog::Open(int startPage) {
    const int start = startPage < 0 || startPage >= kPageCount ? 0 : startPage;
    tree_->setCurrentItem(tree_->topLevelItem(start));
    ShowPage(start);
    if (QWidget* owner = parentWidget()) {
        // Centred on the main window, but never partly off the screen (a
        // main window in a corner of the screen).
        const QRect frame = owner->frameGeometry();
        const QPoint corner = frame.center() - QPoint(width() / 2, height() / 2);
        Rect placed{corner.x(), corner.y(), width(), height()};
        if (const QScreen* screen = owner->screen()) {
            const QRect area = screen->availableGeometry();
            placed = KeepOnScreen(placed, {area.x(), area.y(), area.width(), area.height()});
        }
        move(placed.x, placed.y);
    }
    connect(this, &QDialog::finished, this, [this](int) {
        if (QWidget* owner = parentWidget()) owner->activateWindow();
        deleteLater();
    });
    open();
    activateWindow();
    tree_->setFocus(Qt::OtherFocusReason);
}

void PreferencesDialog::ShowPage(int index) {
    if (index < 0 || index >= kPageCount) return;
    header_->setText(Q(PrefText(kPageKeys[index])));
    stack_->setCurrentIndex(index);
}

int PreferencesDialog::CurrentPage() const { return stack_->currentIndex(); }
QString PreferencesDialog::HeaderText() const { return header_->text(); }

int PreferencesDialog::SelectedOutputPosition() const {
    return outputFormatList_ ? outputFormatList_->currentIndex() : -1;
}

void PreferencesDialog::Confirm() {
    // The icons on screen are those of the theme and size the dialog started from.
    const std::string oldTheme = draft_.uiTheme;
    const int oldSize = draft_.uiSize;
    bindings_.StoreAll(draft_);
    draft_.doImageColorCorrection = ColorCorrectionFlag(draft_);
    const IconReload reload = DecideIconReload(oldTheme, oldSize, draft_.uiTheme, draft_.uiSize);
    if (host_.apply) host_.apply(draft_, reload, SelectedOutputPosition());
    accept();
}

void PreferencesDialog::ResetToDefaults() {
    if (!host_.dialogs ||
        !host_.dialogs->Question(CatalogText("Msg", "Reset to Defaults"),
                                 CatalogText("Msg", "Ask reset to defaults"), false))
        return;
    Settings& s = draft_;
    // The icons on screen are those of the stored theme and size, so the reset
    // is compared with them.
    const std::string oldTheme = s.uiTheme;
    const int oldSize = s.uiSize;
    int desktopWidth = 0, desktopHeight = 0;
    DesktopSize(&desktopWidth, &desktopHeight);
    ApplyDefaults(s, false, desktopWidth, desktopHeight);
    const IconReload reload = DecideIconReload(oldTheme, oldSize, s.uiTheme, s.uiSize);
    int position = 0;
    const auto& outputs = OutputExtensions();
    for (size_t i = 0, shown = 0; i < outputs.size(); ++i) {
        if (outputs[i].empty()) continue;
        if (outputs[i] == s.outputFormat) {
            position = static_cast<int>(shown);
            break;
        }
        ++shown;
    }
    if (host_.apply) host_.apply(draft_, reload, position);
    accept();
}

// ---- General ------------------------------------------------------------------------

void PreferencesDialog::BuildGeneralPage() {
    QWidget* page = NewPage();
    const Settings& s = draft_;
    RowBuilder rows(page, s, bindings_);
    // English is the only language; OK always stores "en".
    rows.FixedChoice("Language", {"English"}, "language");
    bindings_.Add([](Settings& st) { st.language = "en"; });
    rows.ChoiceKeys(
        "Check for Updates", "updateRange",
        {"Every day", "Every week", "Every month", "Every 3 months", "Every 6 months", "Never"});
    rows.Check("Save window position", "saveWindowPosition");
}

// ---- Interface ----------------------------------------------------------------------

void PreferencesDialog::BuildInterfacePage() {
    QWidget* page = NewPage();
    const Settings& s = draft_;
    RowBuilder rows(page, s, bindings_);

    ReadThemeNames();  // the window's start left them unread
    const ThemeChoices choices = BuildThemeChoices(GlobalThemeTable(), s.uiTheme);
    QLabel* themeLabel = rows.Label("UI Theme");
    themeList_ = RowBuilder::MakeChoice(page, choices.titles, kControlX, rows.Y(), 240);
    themeList_->setObjectName(QStringLiteral("uiTheme"));
    for (int i = 0; i < themeList_->count(); ++i)
        themeList_->setItemData(i, Q(choices.keys[static_cast<size_t>(i)]));
    themeList_->setCurrentIndex(choices.selected);
    themeLabel->setBuddy(themeList_);
    rows.NextRow();
    bindings_.Add([list = themeList_](Settings& st) {
        if (list->currentIndex() >= 0)
            st.uiTheme = list->currentData().toString().toUtf8().toStdString();
    });

    const Row size = rows.ChoiceKeys("UI Size", "uiSize", {"Small", "Medium", "Large"});
    sizeList_ = static_cast<QComboBox*>(size.controls.front());
    // A larger size set in the configuration file has no entry here; it is kept
    // unless the user picks one of the three.
    const int storedSize = s.uiSize;
    if (sizeList_->currentIndex() < 0) {
        bindings_.Add([list = sizeList_, storedSize](Settings& st) {
            if (list->currentIndex() < 0) st.uiSize = storedSize;
        });
    }
}

// ---- Input --------------------------------------------------------------------------

void PreferencesDialog::BuildInputPage() {
    QWidget* page = NewPage();
    const Settings& s = draft_;
    RowBuilder rows(page, s, bindings_);
    QLabel* label = rows.Label("Input Format");
    auto* list = new QComboBox(page);
    list->setObjectName(QStringLiteral("inputFormat"));
    list->setGeometry(kControlX, rows.Y(), 240, 21);
    label->setBuddy(list);
    const QIcon icon = FormatIcon();
    const auto& inputs = InputExtensions();
    int selected = 0;
    for (size_t i = 0; i < inputs.size(); ++i) {
        list->addItem(icon, Q(text::Upper(inputs[i])), Q(inputs[i]));
        if (inputs[i] == s.inputFormat && selected == 0) selected = static_cast<int>(i);
    }

    auto* panels = new QStackedWidget(page);
    panels->setGeometry(0, kPanelY, kPanelWidth, kPanelHeight);
    panels->addWidget(new QWidget);  // formats without options
    std::map<std::string, int> panelOf;
    const auto panel = [&](const std::string& ext) {
        auto* w = new QWidget;
        w->setObjectName(Q("input." + ext));
        panelOf[ext] = panels->addWidget(w);
        return w;
    };
    {
        RowBuilder p(panel("dds"), s, bindings_);
        p.ChoiceKeys("Load As", "ddsLoadAs", {"Auto", "BGRA", "RGBA"});
    }
    const std::initializer_list<const char*> frames{"All Frames", "First Frame", "Middle Frame",
                                                    "Last Frame", "Random Frame"};
    for (const auto& [ext, field] : {std::pair<const char*, const char*>{"gif", "gifFrameLoading"},
                                     {"ico", "icoFrameLoading"},
                                     {"tiff", "tiffFrameLoading"}}) {
        RowBuilder p(panel(ext), s, bindings_);
        p.ChoiceKeys("Frame Loading", field, frames);
    }
    {
        RowBuilder p(panel("raw"), s, bindings_);
        const Row loadAs = p.ChoiceKeys("Load As", "rawLoadAs",
                                        {"Auto", "RGB8", "RGB16", "RGB24", "RGB48HS", "RGB48"});
        const Row header = p.Number("Header Size", "rawHeaderSize", {"Bytes"});
        const Row width = p.Number("Image Width", "rawImageWidth", {"Pixels"});
        const Row height = p.Number("Image Height", "rawImageHeight", {"Pixels"});
        const Row tone = p.ChoiceKeys(
            "Tone Mapping", "rawToneMapping",
            {"None", "Linear", "Adaptive Logarithmic", "DR Reduction", "Gradient Domain"});
        auto* loadList = static_cast<QComboBox*>(loadAs.controls.front());
        const auto rule = [=] {
            const RawRowsEnabled e = RawEnabling(loadList->currentIndex());
            header.SetEnabled(e.sizeRows);
            width.SetEnabled(e.sizeRows);
            height.SetEnabled(e.sizeRows);
            tone.SetEnabled(e.toneMapping);
        };
        rule();
        connect(loadList, &QComboBox::currentIndexChanged, this, rule);
    }

    const auto showPanel = [list, panels, panelOf] {
        const std::string ext = list->currentData().toString().toStdString();
        auto it = panelOf.find(ext);
        panels->setCurrentIndex(it == panelOf.end() ? 0 : it->second);
    };
    list->setCurrentIndex(list->count() > 0 ? selected : -1);
    showPanel();
    connect(list, &QComboBox::currentIndexChanged, this, showPanel);
    bindings_.Add([list](Settings& st) {
        if (list->currentIndex() >= 0)
            st.inputFormat = list->currentData().toString().toStdString();
    });
}

// ---- Output -------------------------------------------------------------------------

void PreferencesDialog::BuildOutputPage() {
    QWidget* page = NewPage();
    Settings& s = draft_;
    RowBuilder rows(page, s, bindings_);
    QLabel* label = rows.Label("Output Format");
    outputFormatList_ = new QComboBox(page);
    outputFormatList_->setObjectName(QStringLiteral("outputFormat"));
    outputFormatList_->setGeometry(kControlX, rows.Y(), 240, 21);
    label->setBuddy(outputFormatList_);
    MainWindow::FillFormatList(outputFormatList_, false);

    auto* panels = new QStackedWidget(page);
    panels->setGeometry(0, kPanelY, kPanelWidth, kPanelHeight);
    panels->addWidget(new QWidget);
    static const char* const kFormats[] = {
        "bmp", "dds", "exr", "gif", "hdr", "ico", "j2k", "jng",  "jp2",  "jpg",  "jxr", "pbm",
        "pcx", "pfm", "pgm", "png", "ppm", "psd", "tga", "tiff", "wbmp", "webp", "xpm"};
    std::map<std::string, int> panelOf;
    const FormatRegistry& reg = GlobalRegistry();
    const std::string autoText = PrefText("Auto");
    for (const char* ext : kFormats) {
        auto* w = new QWidget;
        w->setObjectName(Q(std::string("output.") + ext));
        panelOf[ext] = panels->addWidget(w);
        RowBuilder p(w, s, bindings_);
        // Bits per pixel: "Auto", then the format's depths; stores the number shown.
        int selected = -1;
        const std::vector<std::string> depths =
            BppChoices(reg, ext, BppSetting(s, ext), autoText, selected);
        const Row bpp = p.FixedChoice("Bits Per Pixel", depths, std::string(ext) + "Bpp");
        auto* bppList = static_cast<QComboBox*>(bpp.controls.front());
        bppList->setCurrentIndex(selected);
        bindings_.Add([bppList, ext = std::string(ext)](Settings& st) {
            int32_t* field = BppField(st, ext);
            if (!field) return;
            *field = bppList->currentIndex() <= 0
                         ? 0
                         : ReadInteger(bppList->currentText().toStdString());
        });
        const std::string e = ext;
        if (e == "bmp") {
            p.ChoiceKeys("Compression", "bmpCompression", {"None", "RLE"});
            p.ChoiceKeys("Color Table", "bmpColorTable", {"Auto", "Exact"});
        } else if (e == "exr") {
            p.ChoiceKeys("Compression", "exrCompression", {"None", "ZIP", "PIZ", "PXR24", "B44"});
        } else if (e == "jpg") {
            p.Pair("Image Quality", "jpgQuality", PairRange{1, 100, 0});
            p.ChoiceKeys("Chroma Subsampling", "jpgChroma", {"None", "Low", "Medium", "High"});
            p.ChoiceKeys(
                "Save As", "jpgSaveAs",
                {"Baseline Standard", "Baseline Simple", "Baseline Optimized", "Progressive"});
        } else if (e == "pcx") {
            p.FixedChoice("Compression", {PrefText("RLE")}, "pcxCompression");
        } else if (e == "png") {
            p.ChoiceKeys("Compression", "pngCompression", {"None", "ZLIB1", "ZLIB6", "ZLIB9"});
            p.Check("Interlaced", "pngInterlaced");
        } else if (e == "tga") {
            p.ChoiceKeys("Compression", "tgaCompression", {"None", "RLE"});
        } else if (e == "tiff") {
            p.ChoiceKeys("Compression", "tiffCompression",
                         {"None", "CCITTFAX3", "CCITTFAX4", "PACKBITS", "DEFLATE", "ADOBEDEFLATE",
                          "LZW", "JPEG", "LOGLUV"});
            p.ChoiceKeys("Color Model", "tiffColorModel", {"RGB", "CMYK"});
        }
    }

    QComboBox* list = outputFormatList_;
    const auto showPanel = [list, panels, panelOf] {
        const auto& outputs = OutputExtensions();
        const int i = list->currentData().isValid() ? list->currentData().toInt() : -1;
        int panel = 0;
        if (i >= 0 && i < static_cast<int>(outputs.size())) {
            auto it = panelOf.find(outputs[static_cast<size_t>(i)]);
            if (it != panelOf.end()) panel = it->second;
        }
        panels->setCurrentIndex(panel);
    };
    showPanel();
    connect(list, &QComboBox::currentIndexChanged, this, showPanel);
    bindings_.Add([list](Settings& st) {
        const auto& outputs = OutputExtensions();
        const int i = list->currentData().isValid() ? list->currentData().toInt() : -1;
        if (i >= 0 && i < static_cast<int>(outputs.size()))
            st.outputFormat = outputs[static_cast<size_t>(i)];
    });
}

}  // namespace tarnwick
