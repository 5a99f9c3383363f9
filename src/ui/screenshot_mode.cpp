// The screenshot mode: two JPEG pictures of the main window for the web pages.
#include <QApplication>
#include <QBuffer>
#include <QByteArray>
#include <QComboBox>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cmath>

#include "engine/format_registry.h"
#include "engine/run_state.h"
#include "platform/platform.h"
#include "platform/safe_save.h"
#include "settings/settings.h"
#include "text/catalog.h"
#include "text/product.h"
#include "ui/images.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"
#include "ui/screenshot_mode.h"
#include "ui/themes.h"
#include "ui/ui_entry.h"
#include "ui/user_dialogs.h"
#include "ui/window_mode.h"

namespace tarnwick {

int ScaledPictureHeight(int width, int height) {
    if (width <= 0 || height <= 0) return 0;
    return static_cast<int>(std::lround(180.0 / (static_cast<double>(width) / height)));
}

QImage CaptureWindow(QWidget& window) {
    const QRect frame = window.frameGeometry();
    // Platforms without a real screen have nothing to copy from.
    const QString platform = QGuiApplication::platformName();
    const bool realScreen =
        platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
    QPixmap shot;
    if (QScreen* screen = window.screen(); screen && realScreen)
        shot = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    // Without a screen copy (or with the window partly off screen) the window
    // draws itself: the picture then holds the inner area only.
    if (shot.isNull() || shot.size() != frame.size()) shot = window.grab();
    return shot.toImage().convertToFormat(QImage::Format_RGB32);
}

void DrawWebAddress(QImage& image) {
    QPainter painter(&image);
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSize(8);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.setBackgroundMode(Qt::TransparentMode);
    const QString text = QString::fromLatin1(kWebSite);
    const QFontMetrics metrics(font, &image);
    const int x = image.width() - 35 - metrics.horizontalAdvance(text);
    const int y = image.height() - 26;
    painter.drawText(QRect(x, y, metrics.horizontalAdvance(text) + 1, metrics.height()),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

namespace {

// Encodes in memory and writes through the safe save, so an old picture is
// never left half-overwritten.
bool SaveJpeg(const QImage& image, const std::string& path) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "JPEG", 90)) return false;
    buffer.close();
    return platform::SafeSaveBytes(path, bytes.constData(), static_cast<size_t>(bytes.size())).ok;
}

}  // namespace

bool SaveScreenshotPictures(const QImage& picture, const std::string& folder) {
    const bool first = SaveJpeg(picture, folder + "tarnwick1.jpg");
    const QImage small = picture.scaled(180, ScaledPictureHeight(picture.width(), picture.height()),
                                        Qt::IgnoreAspectRatio, Qt::FastTransformation);
    const bool second = SaveJpeg(small, folder + "tarnwick1x.jpg");
    return first && second;
}

}  // namespace tarnwick

extern "C" int tarnwick_screenshot_mode(const char* folderText) {
    using namespace tarnwick;
    std::string folder = folderText ? folderText : "";
    if (folder.empty()) folder = platform::ProgramFolder();
    if (folder.back() != '/') folder += '/';
    if (!platform::FolderExists(folder)) return 1;

    std::unique_ptr<QApplication> app = OpenApplication("main window");
    if (!app) return 1;
    LoadCatalog();
    LoadBuiltInImages();
    ScanThemes();
    ApplyTheme(true, true, true);
    GlobalRunState().runMode = RunMode::Screenshot;

    QtUserDialogs dialogs;
    MainWindow window(dialogs);
    window.Create({400, 400, kMinWindowWidth, kWindowHeight});
    window.Prepare();
    const auto& inputs = InputExtensions();
    window.InputField()->setText(
        Q("/images/pictavo." + (inputs.empty() ? std::string() : inputs.front())));
    QComboBox* folders = window.OutputFolderList();
    folders->clear();
    folders->addItem(QIcon(TableImage(GlobalIcons().menu, "FavFolder", 16)),
                     QStringLiteral("/converted/"));
    folders->setCurrentIndex(0);

    bool saved = false;
    QTimer::singleShot(500, [&] {
        QImage picture = CaptureWindow(window);
        DrawWebAddress(picture);
        saved = SaveScreenshotPictures(picture, folder);
        window.close();
        app->quit();
    });
    app->exec();
    return saved ? 0 : 1;
}
