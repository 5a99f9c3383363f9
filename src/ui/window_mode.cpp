// The window mode from start to end, and the module's entry points.
#include "ui/window_mode.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QIcon>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <system_error>
#include <thread>

#include "engine/format_registry.h"
#include "engine/input_list.h"
#include "engine/run_state.h"
#include "platform/instance.h"
#include "platform/platform.h"
#include "settings/config.h"
#include "settings/settings.h"
#include "text/catalog.h"
#include "text/product.h"
#include "text/shown.h"
#include "ui/help_commands.h"
#include "ui/images.h"
#include "ui/main_window.h"
#include "ui/themes.h"
#include "ui/ui_entry.h"
#include "ui/user_dialogs.h"
#include "ui/window_logic.h"

namespace tarnwick {

namespace {

bool EnvSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// SIGTERM and SIGINT become a close request of the main window: the handler
// only writes a byte into a pipe that the event loop watches.
int g_signalPipe[2] = {-1, -1};

extern "C" void OnTerminationSignal(int) {
    const char byte = 1;
    if (g_signalPipe[1] >= 0) {
        [[maybe_unused]] ssize_t n = write(g_signalPipe[1], &byte, 1);
    }
}

class SignalBridge {
public:
    explicit SignalBridge(MainWindow& window) {
        if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
        notifier_ = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier_, &QSocketNotifier::activated, [&window] {
            char buffer[16];
            while (read(g_signalPipe[0], buffer, sizeof buffer) > 0) {
            }
            window.RequestQuit();
        });
        struct sigaction action {};
        action.sa_handler = OnTerminationSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &action, &oldTerm_);
        sigaction(SIGINT, &action, &oldInt_);
        installed_ = true;
    }
    ~SignalBridge() {
        if (installed_) {
            sigaction(SIGTERM, &oldTerm_, nullptr);
            sigaction(SIGINT, &oldInt_, nullptr);
        }
        delete notifier_;
        for (int& fd : g_signalPipe) {
            if (fd >= 0) close(fd);
            fd = -1;
        }
    }

private:
    QSocketNotifier* notifier_ = nullptr;
    struct sigaction oldTerm_ {};
    struct sigaction oldInt_ {};
    bool installed_ = false;
};

}  // namespace

namespace {

// With only an X display named, asks the X server before Qt does: Qt ends the
// process when it cannot connect. Without libxcb the answer is left to Qt.
bool XServerReachable() {
    void* xcb = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!xcb) return true;
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    auto connect = reinterpret_cast<Connect>(dlsym(xcb, "xcb_connect"));
    auto hasError = reinterpret_cast<HasError>(dlsym(xcb, "xcb_connection_has_error"));
    auto disconnect = reinterpret_cast<Disconnect>(dlsym(xcb, "xcb_disconnect"));
    bool reachable = true;
    if (connect && hasError && disconnect) {
        void* connection = connect(nullptr, nullptr);
        reachable = connection && hasError(connection) == 0;
        if (connection) disconnect(connection);
    }
    dlclose(xcb);
    return reachable;
}

}  // namespace

bool DisplayAvailable() {
    if (EnvSet("QT_QPA_PLATFORM") || EnvSet("WAYLAND_DISPLAY")) return true;
    return EnvSet("DISPLAY") && XServerReachable();
}

std::unique_ptr<QApplication> OpenApplication(const std::string& what) {
    if (!DisplayAvailable()) {
        platform::WriteLine("Error: Cannot open the " + what + ": no display available");
        platform::WriteErrorLine(text::FailureLine(
            std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "", "no display available"));
        return nullptr;
    }
    static int argc = 1;
    static char name[] = "tarnwick";
    static char* argv[] = {name, nullptr};
    auto app = std::make_unique<QApplication>(argc, argv);
    SetApplicationIdentity();
    return app;
}

void SetApplicationIdentity() {
    SetDesktopEntry();
    SetApplicationIcon();
}

void SetDesktopEntry() { QGuiApplication::setDesktopFileName(QStringLiteral("tarnwick")); }

void SetApplicationIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const QString file = QStringLiteral(":/app/tarnwick-%1.png").arg(size);
        if (QFile::exists(file)) icon.addFile(file, QSize(size, size));
    }
    if (icon.isNull()) icon = QIcon::fromTheme(QStringLiteral("tarnwick"));
    QApplication::setWindowIcon(icon);
}

std::string StartupInputFile(const std::vector<std::string>& arguments) {
    if (arguments.size() != 1 || arguments[0].empty() || arguments[0][0] == '-') return {};
    return arguments[0];
}

void DesktopSize(int* width, int* height) {
    *width = 0;
    *height = 0;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        *width = screen->geometry().width();
        *height = screen->geometry().height();
    }
}

namespace {

// The built-in images and the theme's, decoded on a thread of their own while
// this one reads the font database (the window's first text needs it): the
// two are the longest parts of the start, and they need nothing of each other.
void LoadInterfaceImages(Settings& s) {
    const std::string package = ThemePackagePath(s.uiTheme);
    const int toolbarPixels = ToolbarIconPixels(s.uiSize);
    IconImages images;
    const auto read = [&] {
        try {
            images = ReadBuiltInImages();
            ReadThemeImages(package, toolbarPixels, true, true, true, &images);
        } catch (const std::bad_alloc&) {
            // Out of memory: the images read so far are put in, the rest
            // stay blank.
        }
    };
    std::thread reader;
    try {
        reader = std::thread(read);
    } catch (const std::system_error&) {
        read();  // no thread to be had: one after the other
    }
    QFontMetrics(QApplication::font()).height();
    if (reader.joinable()) reader.join();
    InstallIconImages(images);
}

}  // namespace

WindowModeSession::WindowModeSession(UserDialogs& dialogs) : dialogs_(dialogs) {}

WindowModeSession::~WindowModeSession() {
    delete handOffNotifier_;
    platform::StopHandOff(handOffSocket_, WindowTitle());
}

void WindowModeSession::Start() {
    Settings& s = GlobalSettings();
    int desktopWidth, desktopHeight;
    DesktopSize(&desktopWidth, &desktopHeight);
    const std::string settingsFolder = SettingsFolder();
    configPath_ = settingsFolder.empty() ? std::string() : settingsFolder + "config.ini";
    LoadConfiguration(s, configPath_, desktopWidth, desktopHeight);
    LoadCatalog();
    // The packages' names wait for the preferences dialog.
    ScanThemes(ThemeNames::Later);
    LoadInterfaceImages(s);

    window_ = std::make_unique<MainWindow>(dialogs_);
    window_->Create({s.windowX, s.windowY, s.windowWidth, s.windowHeight});
    window_->SetConfigPath(configPath_);
    MainWindow* window = window_.get();
    window_->SetScheduledUpdateCheck([window] { window->Help().RunScheduledUpdateCheck(); });
    window_->Prepare();
}

void WindowModeSession::TakeStartupFile(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    AddInputFile(error ? path : absolute.lexically_normal().string());
}

bool WindowModeSession::ListenForHandOffs() {
    if (handOffSocket_ >= 0) return true;
    handOffSocket_ = platform::ListenForHandOff(WindowTitle());
    if (handOffSocket_ < 0) return false;
    handOffNotifier_ = new QSocketNotifier(handOffSocket_, QSocketNotifier::Read);
    QObject::connect(handOffNotifier_, &QSocketNotifier::activated, [this] {
        for (std::string& path : platform::AcceptHandOffs(handOffSocket_))
            pending_.push_back(std::move(path));
        TakeHandOffs();
    });
    return true;
}

void WindowModeSession::TakeHandOffs() {
    if (pending_.empty() || !window_) return;
    // The input file list stays as it is while a run works on it, and the
    // window takes nothing while it waits for the run's end.
    if (window_->CurrentRun() || !window_->isEnabled()) {
        QTimer::singleShot(200, window_.get(), [this] { TakeHandOffs(); });
        return;
    }
    const std::vector<std::string> paths = std::move(pending_);
    pending_.clear();
    for (const std::string& path : paths) TakeStartupFile(path);
    window_->LayoutMainWindow();
    if (window_->isMinimized()) window_->showNormal();
    window_->raise();
    window_->activateWindow();
}

bool WindowModeSession::Finish() {
    Settings& s = GlobalSettings();
    if (window_) StoreWindowStateForExit(window_->Snapshot(), s);
    else if (s.outFoldersHistory == 0) s.recentOutFolders.clear();
    return SaveConfiguration(s, configPath_);
}

}  // namespace tarnwick

extern "C" int tarnwick_window_main(int argc, char** argv) {
    using namespace tarnwick;
    if (!DisplayAvailable()) {
        platform::WriteLine("Error: Cannot open the main window: no display available");
        platform::WriteErrorLine(text::FailureLine(
            std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "", "no display available"));
        return 1;
    }
    if (SettingsFolder().empty()) {
        platform::WriteLine("Error: Cannot find the settings folder: no home folder");
        platform::WriteErrorLine(text::FailureLine("~/.config", "no home folder"));
        return 1;
    }
    static int qtArgc;
    qtArgc = argc > 0 ? 1 : 0;  // the options were the command line's; Qt gets none
    const std::string startupFile =
        StartupInputFile(std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
    QApplication app(qtArgc, argv);
    SetDesktopEntry();
    // The window appears first; its icon is set as soon as the events run.
    QTimer::singleShot(0, &app, [] { SetApplicationIcon(); });
    QtUserDialogs dialogs;
    WindowModeSession session(dialogs);
    session.Start();
    if (!startupFile.empty()) session.TakeStartupFile(startupFile);
    session.ListenForHandOffs();
    {
        SignalBridge bridge(session.Window());
        app.exec();
    }
    session.Finish();
    return 0;
}
