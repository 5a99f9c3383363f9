// The built-in interface images.
#include "ui/images.h"

#include <QString>

namespace tarnwick {

namespace {

QImage LoadOrBlank(const QString& path, int width, int height) {
    QImage image(path);
    if (image.isNull()) {
        image = QImage(width, height, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
    }
    return image;
}

void Install(std::map<std::string, QPixmap>& table, const std::map<std::string, QImage>& images) {
    for (const auto& [name, image] : images)
        if (!image.isNull()) table[name] = QPixmap::fromImage(image);
}

}  // namespace

IconTables& GlobalIcons() {
    static IconTables tables;
    return tables;
}

const std::vector<std::string>& ButtonIconNames() {
    static const std::vector<std::string> names{"Convert", "InFiles", "InFolder"};
    return names;
}

const std::vector<std::string>& MenuIconNames() {
    static const std::vector<std::string> names{"New",
                                                "Add",
                                                "InFiles",
                                                "InFolder",
                                                "OutFolder",
                                                "OutFormat",
                                                "FavFolder",
                                                "ImportFiles",
                                                "ExportFiles",
                                                "Exit",
                                                "Copy",
                                                "Delete",
                                                "SelectAll",
                                                "Convert",
                                                "Error",
                                                "Preferences",
                                                "CustomConverter",
                                                "Help",
                                                "Email",
                                                "Web",
                                                "Updates",
                                                "About"};
    return names;
}

void LoadBuiltInImages() { InstallIconImages(ReadBuiltInImages()); }

void InstallIconImages(const IconImages& images) {
    IconTables& t = GlobalIcons();
    if (!images.banner.isNull()) t.banner = QPixmap::fromImage(images.banner);
    Install(t.buttons, images.buttons);
    Install(t.menu, images.menu);
    Install(t.toolbar, images.toolbar);
}

IconImages ReadBuiltInImages() {
    IconImages t;
    t.banner = LoadOrBlank(QStringLiteral(":/builtin/banner.png"), 360, 40);
    for (const std::string& name : ButtonIconNames()) {
        const int pixels = name == "Convert" ? 64 : 48;
        t.buttons[name] = LoadOrBlank(
            QStringLiteral(":/builtin/buttons/%1.png").arg(QString::fromStdString(name)), pixels,
            pixels);
    }
    for (const std::string& name : MenuIconNames()) {
        const QImage image = LoadOrBlank(
            QStringLiteral(":/builtin/icons/%1.png").arg(QString::fromStdString(name)), 16, 16);
        t.menu[name] = image;
        t.toolbar[name] = image;
    }
    return t;
}

QPixmap TableImage(const std::map<std::string, QPixmap>& table, const std::string& name,
                   int pixels) {
    auto it = table.find(name);
    if (it != table.end() && !it->second.isNull()) return it->second;
    QPixmap blank(pixels, pixels);
    blank.fill(Qt::transparent);
    return blank;
}

}  // namespace tarnwick
