// The main window and the commands it carries out itself.
#include "ui/main_window.h"
#include "ui/qt_text.h"

#include <algorithm>
#include <cctype>

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include "engine/format_registry.h"
#include "engine/input_list.h"
#include "engine/run_state.h"
#include "platform/platform.h"
#include "settings/config.h"
#include "settings/settings.h"
#include "text/catalog.h"
#include "text/product.h"
#include "ui/help_commands.h"
#include "ui/images.h"
#include "ui/preferences/pickers.h"
#include "ui/preferences/preferences_dialog.h"
#include "ui/progress_window.h"
#include "ui/themes.h"
#include "ui/user_dialogs.h"

namespace tarnwick {

namespace {

std::string S(const QString& s) { return s.toUtf8().toStdString(); }

QIcon IconAt(const QPixmap& image, int pixels) {
    if (image.width() == pixels && image.height() == pixels) return QIcon(image);
    return QIcon(image.scaled(pixels, pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

QIcon MenuIcon(const std::string& name) {
    return IconAt(TableImage(GlobalIcons().menu, name, 16), 16);
}

void Place(QWidget* w, const Rect& r) { w->setGeometry(r.x, r.y, r.w, r.h); }

// The texts that share the window's Alt keys: the three menu titles, then the
// three field labels. Alt+X stays the Exit shortcut.
std::vector<std::string> WindowMnemonicTexts() {
    const std::pair<const char*, const char*> keys[6] = {
        {"Menu", "File"},          {"Menu", "Converter"},        {"Menu", "Help"},
        {"General", "Input File"}, {"General", "Output Folder"}, {"General", "Output Format"}};
    std::string taken = "x";
    std::vector<std::string> texts;
    for (const auto& [group, key] : keys)
        texts.push_back(MainWindow::WithMnemonic(CatalogText(group, key), taken));
    return texts;
}

}  // namespace

std::string MainWindow::WithMnemonic(const std::string& text, std::string& taken) {
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '&') out += '&';
    }
    const size_t end = std::min(out.find('\t'), out.size());
    const auto usable = [&](size_t i) {
        const unsigned char c = static_cast<unsigned char>(out[i]);
        return c < 0x80 && std::isalnum(c) &&
               taken.find(static_cast<char>(std::tolower(c))) == std::string::npos;
    };
    for (const bool wordStartsOnly : {true, false}) {
        for (size_t i = 0; i < end; ++i) {
            const bool wordStart = i == 0 || out[i - 1] == ' ';
            if ((wordStart || !wordStartsOnly) && usable(i)) {
                taken += static_cast<char>(std::tolower(static_cast<unsigned char>(out[i])));
                out.insert(out.begin() + static_cast<std::ptrdiff_t>(i), '&');
                return out;
            }
        }
    }
    return out;
}

MainWindow::MainWindow(UserDialogs& dialogs)
    : dialogs_(dialogs), help_(std::make_unique<HelpCommands>(this, dialogs)) {
    setObjectName(QStringLiteral("mainWindow"));
    SetShowAddedInputFileHook([this](const std::string& path) { ShowAddedInputFile(path); });
}

MainWindow::~MainWindow() { SetShowAddedInputFileHook(nullptr); }

void MainWindow::Create(const Geometry& g) {
    setWindowTitle(Q(WindowTitle()));
    setAcceptDrops(true);

    BuildMainMenu();
    BuildMainToolbar();

    status_ = new QLabel(this);
    statusBar()->setSizeGripEnabled(false);
    statusBar()->addWidget(status_, 1);
    statusBarHeight_ = statusBar()->sizeHint().height();

    central_ = new QWidget(this);
    setCentralWidget(central_);
    panel_ = new QWidget(central_);
    panel_->setGeometry(0, 0, g.width, std::max(0, g.height - 130));

    const std::vector<std::string> mnemonicTexts = WindowMnemonicTexts();
    for (int i = 0; i < 3; ++i) {
        labels_[i] = new QLabel(Q(mnemonicTexts[3 + static_cast<size_t>(i)]), panel_);
        labels_[i]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    inputField_ = new QLineEdit(panel_);
    inputField_->setObjectName(QStringLiteral("inputFile"));
    // A file dropped onto the field goes to the window like any other drop,
    // instead of being pasted into the text.
    inputField_->setAcceptDrops(false);
    folderList_ = new QComboBox(panel_);
    folderList_->setObjectName(QStringLiteral("outputFolders"));
    formatList_ = new QComboBox(panel_);
    formatList_->setObjectName(QStringLiteral("outputFormats"));
    labels_[0]->setBuddy(inputField_);
    labels_[1]->setBuddy(folderList_);
    labels_[2]->setBuddy(formatList_);
    BuildFieldButtons();
    convertButton_ = new QPushButton(panel_);
    convertButton_->setObjectName(QStringLiteral("convertButton"));
    convertButton_->setIconSize(QSize(64, 64));
    convertButton_->setToolTip(Q(CatalogText("General", "Convert")));
    convertButton_->setAccessibleName(Q(CatalogText("General", "Convert")));
    RefreshControlImages();
    ApplyTabOrder();

    // Directly in the window, so a toolbar of another height does not move it.
    notice_ = new QLabel(Q(kNoticeLine), this);

    // Control events: only the user's own choices count, not changes made here.
    QObject::connect(folderList_, &QComboBox::activated, [this](int) {
        GlobalRunState().outputFolder = S(folderList_->currentText());
    });
    QObject::connect(formatList_, &QComboBox::activated, [this](int) {
        const int i = SelectedFormatData();
        const auto& outputs = OutputExtensions();
        if (i >= 0 && i < static_cast<int>(outputs.size()))
            GlobalSettings().outputFormat = outputs[static_cast<size_t>(i)];
    });
    QObject::connect(convertButton_, &QPushButton::clicked, [this] { RunCommand(kCmdConvert); });

    for (const auto& [keys, command] : MainShortcuts()) {
        auto* shortcut = new QShortcut(QKeySequence(Q(keys)), this);
        const int c = command;
        QObject::connect(shortcut, &QShortcut::activated, [this, c] { RunCommand(c); });
    }

    ApplySizeLimits();
    move(g.x, g.y);
    resize(g.width, g.height + menuHeight_);
    created_ = true;
    LayoutMainWindow();
}

void MainWindow::ApplySizeLimits() {
    // Only the width can change; the height is fixed below the menu bar (and
    // grows with a toolbar of large icons).
    const int inner = MainInnerHeight(menuHeight_, toolbarHeight_, statusBarHeight_);
    setMinimumSize(kMinWindowWidth, inner + menuHeight_);
    setMaximumHeight(inner + menuHeight_);
}

void MainWindow::Prepare() {
    FormatRegistry& reg = GlobalRegistry();
    BuildInputRegistry(reg);
    BuildOutputRegistry(reg);

    if (GlobalSettings().isMaximized == 1) setWindowState(windowState() | Qt::WindowMaximized);
    if (GlobalSettings().recentOutFolders.empty())
        folderList_->insertItem(0, MenuIcon("FavFolder"), QString());
    FillFormatList(formatList_, true);
    NewCommand();
    show();
    LayoutMainWindow();
    // A due update check asks its question over a painted window: it runs
    // once the events (the first paint among them) have had their turn.
    if (GlobalRunState().runMode != RunMode::Screenshot && updateCheck_)
        QTimer::singleShot(0, this, [this] { updateCheck_(); });
}

void MainWindow::SetCommandHandler(int command, std::function<void()> handler) {
    handlers_[command] = std::move(handler);
}

void MainWindow::RunCommand(int command) {
    const auto handler = [this](int c) {
        auto it = handlers_.find(c);
        if (it != handlers_.end() && it->second) it->second();
    };
    switch (command) {
        case kCmdNew: NewCommand(); break;
        case kCmdExit: close(); break;
        case kCmdAddInputFile: AddInputFileDialog(); break;
        case kCmdSelectOutputFolder: SelectOutputFolder(); break;
        case kCmdOutputFormatOptions: OpenPreferences(PreferencesDialog::kOutput); break;
        case kCmdPreferences: OpenPreferences(); break;
        case kCmdConvert: ConvertCommand(*this, dialogs_); break;
        case kCmdFindConverter: help_->ShowConverterSearch(); break;
        case kCmdUserManual: help_->UserManual(); break;
        case kCmdSendFeedback: help_->SendFeedback(); break;
        case kCmdVisitHomePage: help_->VisitHomePage(); break;
        case kCmdCheckForNewVersion: help_->CheckForUpdate(); break;
        case kCmdAbout: help_->ShowAboutBox(); break;
        default: handler(command); break;
    }
}

// ---- Input file and output folders ----------------------------------------

void MainWindow::ShowAddedInputFile(const std::string& path) {
    inputField_->setText(Q(path));
    if (folderList_->currentText().isEmpty()) {
        const std::string folder = FolderPart(path);
        AddRecentOutFolder(GlobalSettings(), folder);
        GlobalRunState().outputFolder = folder;
        RefreshOutputFolderList();
    }
}

void MainWindow::AddInputFileDialog() {
    RunState& run = GlobalRunState();
    const std::string filter =
        BuildInputFilter(GlobalRegistry(), CatalogText("Dialog", "All Supported Files"),
                         CatalogText("Dialog", "All Files"));
    const auto chosen = dialogs_.ChooseInputFile(this, CatalogText("Dialog", "Select Input Files"),
                                                 run.inputPath, FilterToNameFilters(filter));
    if (chosen) AddInputFile(*chosen);
    run.inputPath.clear();
    LayoutMainWindow();
}

void MainWindow::NewCommand() {
    RefreshOutputFolderList();
    ResetRunState();
    inputField_->clear();
    folderList_->setCurrentIndex(-1);
}

void MainWindow::SelectOutputFolder() {
    RunState& run = GlobalRunState();
    std::string start = run.outputFolder;
    const std::string shown = S(folderList_->currentText());
    if (!shown.empty()) start = FolderPart(shown);
    const auto chosen =
        dialogs_.ChooseFolder(this, CatalogText("Dialog", "Select Output Folder"), start);
    if (chosen && !chosen->empty() && platform::FolderExists(*chosen)) {
        std::string folder = *chosen;
        if (folder.back() != '/') folder += '/';
        AddRecentOutFolder(GlobalSettings(), folder);
        run.outputFolder = folder;
        RefreshOutputFolderList();
    }
    LayoutMainWindow();
}

void MainWindow::RefreshOutputFolderList() {
    const Settings& s = GlobalSettings();
    if (s.recentOutFolders.empty()) return;
    folderList_->clear();
    int selection = 0;
    const auto items = RecentOutFolderItems(s, GlobalRunState().outputFolder, &selection);
    const QIcon icon = MenuIcon("FavFolder");
    for (const std::string& item : items) folderList_->addItem(icon, Q(item));
    if (!items.empty()) folderList_->setCurrentIndex(selection);
}

// ---- Menus, toolbar, images, layout ------------------------------------------

void MainWindow::BuildMainMenu() {
    QMenuBar* bar = menuBar();
    // The menus of the previous build go with their items.
    for (QAction* title : bar->actions())
        if (QMenu* menu = title->menu()) menu->deleteLater();
    bar->clear();
    // Mnemonics of the items of one menu; the titles share the window's.
    std::string taken;
    const auto item = [this, &taken](QMenu* menu, const char* key, const char* image, int command,
                                     const char* keys = nullptr) {
        std::string text = WithMnemonic(CatalogText("Menu", key), taken);
        if (keys) text += std::string("\t") + keys;
        QAction* action = menu->addAction(MenuIcon(image), Q(text));
        action->setData(command);
        QObject::connect(action, &QAction::triggered, [this, command] { RunCommand(command); });
    };
    const std::vector<std::string> titles = WindowMnemonicTexts();
    QMenu* file = bar->addMenu(Q(titles[0]));
    item(file, "New", "New", kCmdNew, "Ctrl+N");
    file->addSeparator();
    item(file, "Select Input File", "Add", kCmdAddInputFile);
    item(file, "Select Output Folder", "OutFolder", kCmdSelectOutputFolder);
    file->addSeparator();
    item(file, "Exit", "Exit", kCmdExit, "Alt+X");

    taken.clear();
    QMenu* converter = bar->addMenu(Q(titles[1]));
    item(converter, "Convert", "Convert", kCmdConvert, "F5");
    converter->addSeparator();
    item(converter, "Custom Converter", "CustomConverter", kCmdFindConverter);
    converter->addSeparator();
    item(converter, "Preferences", "Preferences", kCmdPreferences);

    taken.clear();
    QMenu* help = bar->addMenu(Q(titles[2]));
    item(help, "Manual", "Help", kCmdUserManual, "F1");
    help->addSeparator();
    item(help, "Send Feedback", "Email", kCmdSendFeedback);
    item(help, "Visit Homepage", "Web", kCmdVisitHomePage);
    item(help, "Check For New Version", "Updates", kCmdCheckForNewVersion);
    help->addSeparator();
    item(help, "About", "About", kCmdAbout);

    menuHeight_ = bar->sizeHint().height();
    if (created_) ApplySizeLimits();
}

void MainWindow::SetToolbarIconSize(QToolBar* toolbar, int pixels) {
    toolbar->setIconSize(QSize(pixels, pixels));
    toolbar->adjustSize();
}

void MainWindow::BuildMainToolbar() {
    if (toolbar_) {
        removeToolBar(toolbar_);
        delete toolbar_;
    }
    toolbar_ = new QToolBar(this);
    toolbar_->setObjectName(QStringLiteral("mainToolbar"));
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    toolbar_->setContextMenuPolicy(Qt::PreventContextMenu);
    const int pixels = ToolbarIconPixels(GlobalSettings().uiSize);
    SetToolbarIconSize(toolbar_, pixels);
    const auto button = [this, pixels](const char* image, int command, const char* tooltipKey) {
        QAction* action = toolbar_->addAction(
            IconAt(TableImage(GlobalIcons().toolbar, image, pixels), pixels), QString());
        action->setToolTip(Q(CatalogText("Menu", tooltipKey)));
        action->setData(command);
        QObject::connect(action, &QAction::triggered, [this, command] { RunCommand(command); });
    };
    button("New", kCmdNew, "New");
    button("Add", kCmdAddInputFile, "Select Input File");
    button("OutFolder", kCmdSelectOutputFolder, "Select Output Folder");
    toolbar_->addSeparator();
    button("Preferences", kCmdPreferences, "Preferences");
    toolbar_->addSeparator();
    button("Convert", kCmdConvert, "Convert");
    toolbar_->addSeparator();
    button("Help", kCmdUserManual, "Manual");
    button("Email", kCmdSendFeedback, "Send Feedback");
    button("Web", kCmdVisitHomePage, "Visit Homepage");
    button("Updates", kCmdCheckForNewVersion, "Check For New Version");
    addToolBar(Qt::TopToolBarArea, toolbar_);
    toolbarHeight_ = toolbar_->sizeHint().height();
    if (created_) {
        ApplySizeLimits();
        resize(width(), maximumHeight());
    }
}

void MainWindow::BuildFieldButtons() {
    struct FieldButtonRow {
        const char* image;
        int command;
        const char* tooltipKey;
    };
    const FieldButtonRow rows[3] = {
        {"Add", kCmdAddInputFile, "Select Input File"},
        {"OutFolder", kCmdSelectOutputFolder, "Select Output Folder"},
        {"OutFormat", kCmdOutputFormatOptions, "Output Format Options"}};
    for (int i = 0; i < 3; ++i) {
        delete fieldButtons_[i];
        auto* b = new QToolButton(panel_);
        b->setAutoRaise(true);
        b->setIcon(MenuIcon(rows[i].image));
        b->setIconSize(QSize(16, 16));
        b->setToolTip(Q(CatalogText("Menu", rows[i].tooltipKey)));
        b->resize(24, 24);
        const int command = rows[i].command;
        QObject::connect(b, &QToolButton::clicked, [this, command] { RunCommand(command); });
        fieldButtons_[i] = b;
        b->show();
    }
    if (created_) {
        ApplyTabOrder();
        LayoutMainWindow();
    }
}

void MainWindow::ApplyTabOrder() {
    QWidget* order[] = {inputField_, fieldButtons_[0], folderList_,   fieldButtons_[1],
                        formatList_, fieldButtons_[2], convertButton_};
    for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

void MainWindow::RefreshControlImages() {
    convertButton_->setIcon(IconAt(TableImage(GlobalIcons().buttons, "Convert", 64), 64));
    const QIcon folder = MenuIcon("FavFolder");
    for (int i = 0; i < folderList_->count(); ++i) folderList_->setItemIcon(i, folder);
    const QIcon format = MenuIcon("New");
    for (int i = 0; i < formatList_->count(); ++i) formatList_->setItemIcon(i, format);
}

void MainWindow::FillFormatList(QComboBox* list, bool withDescription) {
    const FormatRegistry& reg = GlobalRegistry();
    const auto& outputs = OutputExtensions();
    const std::string& current = GlobalSettings().outputFormat;
    const QIcon icon = MenuIcon("New");
    int selected = -1;
    const int count = std::min<int>(static_cast<int>(outputs.size()), 128);
    for (int i = 0; i < count; ++i) {
        const std::string& ext = outputs[static_cast<size_t>(i)];
        if (ext.empty()) continue;
        const int position = std::min(i, list->count());
        list->insertItem(position, icon, Q(OutputFormatLabel(reg, ext, withDescription)), i);
        if (ext == current && selected < 0) selected = position;
    }
    if (list->count() > 0) list->setCurrentIndex(selected >= 0 ? selected : 0);
}

void MainWindow::LayoutMainWindow() {
    if (!created_) return;
    const int width = this->width();
    const int inner = height() - menuHeight_;
    const MainLayout l =
        ComputeMainLayout(width, inner, menuHeight_, toolbarHeight_, statusBarHeight_);
    // The panel never clips its own controls, whatever the toolbar's height.
    const int contentBottom = l.convertButton.y + l.convertButton.h;
    panel_->setGeometry(0, 0, l.panel.w, std::max(l.panel.h, contentBottom));
    Place(labels_[0], l.inputLabel);
    Place(inputField_, l.inputField);
    Place(labels_[1], l.outputFolderLabel);
    Place(folderList_, l.outputFolderList);
    Place(labels_[2], l.outputFormatLabel);
    Place(formatList_, l.outputFormatList);
    for (int i = 0; i < 3; ++i)
        if (fieldButtons_[i]) Place(fieldButtons_[i], l.fieldButtons[i]);
    Place(convertButton_, l.convertButton);
    // The notice line sits at a fixed place in the inner area below the menu bar.
    Place(notice_,
          {l.noticeLabel.x, menuHeight_ + l.noticeLabel.y, l.noticeLabel.w, l.noticeLabel.h});
    update();
}

void MainWindow::ApplyInterfaceChanges(IconReload reload, int formatIndex) {
    if (reload == IconReload::ToolbarSize) {
        ApplyTheme(false, false, true);
        BuildMainToolbar();
        LayoutMainWindow();
    }
    if (reload == IconReload::Theme) {
        // Images the new theme does not name show the built-in ones, not the
        // previous theme's.
        LoadBuiltInImages();
        ApplyTheme(true, true, true);
        BuildMainMenu();
        BuildMainToolbar();
        BuildFieldButtons();
        RefreshControlImages();
        LayoutMainWindow();
    }
    if (formatList_ && formatIndex >= 0 && formatIndex < formatList_->count())
        formatList_->setCurrentIndex(formatIndex);
    if (folderList_->count() != GlobalSettings().outFoldersNumber) RefreshOutputFolderList();
}

// ---- Preferences -------------------------------------------------------------------

std::string MainWindow::ConfigPath() const {
    if (!configPath_.empty()) return configPath_;
    const std::string folder = SettingsFolder();
    return folder.empty() ? std::string() : folder + "config.ini";
}

PreferencesDialog* MainWindow::Preferences() const {
    return static_cast<PreferencesDialog*>(preferences_.data());
}

void MainWindow::OpenPreferences(int startPage) {
    PreferencesDialog* open = Preferences();
    if (open && open->isVisible()) {
        open->raise();
        open->activateWindow();
        return;
    }
    if (!pickers_) {
        ownPickers_ = std::make_unique<QtPreferencesPickers>();
        pickers_ = ownPickers_.get();
    }
    PreferencesDialog::Host host;
    host.dialogs = &dialogs_;
    host.pickers = pickers_;
    // The dialog works on a copy; confirmed, the copy becomes the settings.
    host.apply = [this](const Settings& confirmed, IconReload reload, int formatPosition) {
        GlobalSettings() = confirmed;
        if (!SaveConfiguration(GlobalSettings(), ConfigPath()))
            dialogs_.Warning(
                FormatMessage(CatalogText("Msg", "Unable to save file"), ConfigPath()));
        ApplyInterfaceChanges(reload, formatPosition);
    };
    host.keepList = [](std::string Settings::*list, const std::string& value) {
        GlobalSettings().*list = value;
    };
    auto* dialog = new PreferencesDialog(this, std::move(host), GlobalSettings());
    preferences_ = dialog;
    dialog->Open(startPage);
}

// ---- State, events ------------------------------------------------------------

WindowSnapshot MainWindow::Snapshot() const {
    WindowSnapshot w;
    w.maximized = isMaximized();
    w.minimized = isMinimized();
    w.x = pos().x();
    w.y = pos().y();
    w.width = width();
    w.height = height() - menuHeight_;
    return w;
}

void MainWindow::RequestQuit() {
    if (run_) {
        quitAfterRun_ = true;
        run_->StopAndClose();
        return;
    }
    close();
}

std::string MainWindow::InputFieldText() const { return S(inputField_->text()); }
std::string MainWindow::OutputFolderText() const { return S(folderList_->currentText()); }

int MainWindow::SelectedFormatData() const {
    const QVariant data = formatList_->currentData();
    return data.isValid() ? data.toInt() : -1;
}

void MainWindow::SetStatusText(const std::string& text) { status_->setText(Q(text)); }
std::string MainWindow::StatusText() const { return status_ ? S(status_->text()) : std::string(); }

void MainWindow::RunProgressWindow(RunStarter& starter) {
    ProgressRun run(this, dialogs_, starter,
                    [this](const std::string& text) { SetStatusText(text); });
    run_ = &run;
    if (runHook_) runHook_(run);
    run.Run();
    run_ = nullptr;
    if (quitAfterRun_) {
        quitAfterRun_ = false;
        close();
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // During a run the progress window decides; the window closes after it.
    if (run_) {
        event->ignore();
        return;
    }
    event->accept();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    LayoutMainWindow();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    // Only the first dropped file is taken.
    if (!urls.isEmpty() && urls.front().isLocalFile()) AddInputFile(S(urls.front().toLocalFile()));
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

}  // namespace tarnwick
