// tarnwick_iconrender: renders SVG drawings into PNG images.
//
//   tarnwick_iconrender DRAWING.svg WIDTHxHEIGHT OUT.png [DRAWING.svg WxH OUT.png ...]
//
// Each triple renders one drawing, scaled to fill the given size, onto a
// transparent background and writes it as a 32-bit PNG. Missing folders of
// OUT.png are created. The exit code is 0 when every image was written and
// 1 otherwise. No display is needed: the offscreen platform is used unless
// QT_QPA_PLATFORM says otherwise.
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool ParseSize(const QString& text, int& width, int& height) {
    const QStringList parts = text.split(QLatin1Char('x'));
    if (parts.size() != 2) return false;
    bool okW = false, okH = false;
    width = parts[0].toInt(&okW);
    height = parts[1].toInt(&okH);
    return okW && okH && width > 0 && height > 0 && width <= 4096 && height <= 4096;
}

bool Render(const QString& svgPath, const QString& sizeText, const QString& outPath) {
    int width = 0, height = 0;
    if (!ParseSize(sizeText, width, height)) {
        std::fprintf(stderr, "iconrender: bad size '%s'\n", qPrintable(sizeText));
        return false;
    }
    QSvgRenderer renderer(svgPath);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "iconrender: cannot read drawing '%s'\n", qPrintable(svgPath));
        return false;
    }
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        renderer.render(&painter, QRectF(0, 0, width, height));
    }
    const QFileInfo out(outPath);
    if (!QDir().mkpath(out.absolutePath())) {
        std::fprintf(stderr, "iconrender: cannot create folder for '%s'\n", qPrintable(outPath));
        return false;
    }
    if (!image.convertToFormat(QImage::Format_ARGB32).save(outPath, "PNG")) {
        std::fprintf(stderr, "iconrender: cannot write '%s'\n", qPrintable(outPath));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4 || (args.size() - 1) % 3 != 0) {
        std::fprintf(stderr, "usage: tarnwick_iconrender DRAWING.svg WIDTHxHEIGHT OUT.png [...]\n");
        return 1;
    }
    bool ok = true;
    for (int i = 1; i + 2 < args.size(); i += 3)
        ok = Render(args[i], args[i + 1], args[i + 2]) && ok;
    return ok ? 0 : 1;
}
