// The drawing canvas: frames, text and image watermark layers and watermark
// fonts, drawn with QImage and QPainter. The engine loads this module only when
// it needs one of them, so a plain conversion never loads Qt.
//
// Layers are written straight into memory the engine hands over (FreeImage
// bitmaps), 32 bits per pixel, colour not premultiplied. Where colour and
// alpha must be written exactly, Qt only supplies a coverage mask and the
// pixels are computed here.
#include <QtGui/QFont>
#include <QtGui/QFontDatabase>
#include <QtGui/QFontMetrics>
#include <QtGui/QFontMetricsF>
#include <QtGui/QGuiApplication>
#include <QtGui/QImage>
#include <QtGui/QImageReader>
#include <QtGui/QPainter>
#include <QtGui/QPolygon>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "abi/canvas_abi.h"
#include "text/text_util.h"

namespace {

using tarnwick::AlignLineX;

// Screen resolution the font sizes are converted at: one point is 96/72 pixels.
constexpr double kPixelsPerPoint = 96.0 / 72.0;

// Settings colour (red in the lowest byte) with alpha -> ARGB32 pixel value.
uint32_t Pixel(uint32_t color, int alpha) {
    const uint32_t r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;
    return (static_cast<uint32_t>(tarnwick::text::ClampToByte(alpha)) << 24) | (r << 16) |
           (g << 8) | b;
}

QColor OpaqueColor(uint32_t color) {
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

uint32_t* Row(const TwSurface& s, int y) {
    return reinterpret_cast<uint32_t*>(s.bits + static_cast<ptrdiff_t>(y) * s.pitch);
}

bool TooManyPixels(long long w, long long h, int maxPixels) {
    return w <= 0 || h <= 0 || (maxPixels > 0 && w * h > maxPixels);
}

// Painted layers also keep within the painter's coordinate range.
bool TooLarge(long long w, long long h, int maxPixels) {
    return w > 32767 || h > 32767 || TooManyPixels(w, h, maxPixels);
}

// ---------------------------------------------------------------------------
// Application

// A console run keeps its output to its own lines: Qt's notes and warnings
// (for example about a missing runtime folder) are dropped, errors kept.
QtMessageHandler previousHandler = nullptr;

void QuietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtDebugMsg || type == QtInfoMsg || type == QtWarningMsg) return;
    if (previousHandler) previousHandler(type, context, message);
}

int Prepare() {
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return 1;
    if (QCoreApplication::instance()) return 0;  // a non-GUI application: no fonts
    // The window mode has its own application; a command-line run draws off screen.
    static int argc = 3;
    static char arg0[] = "tarnwick";
    static char arg1[] = "-platform";
    static char arg2[] = "offscreen";
    static char* argv[] = {arg0, arg1, arg2, nullptr};
    previousHandler = qInstallMessageHandler(QuietMessages);
    new QGuiApplication(argc, argv);  // lives as long as the process
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Frame

int DrawFrame(const TwFrameRequest* rq, const TwSurface* target) {
    if (!rq || !target || !target->bits || target->width <= 0 || target->height <= 0) return 0;
    QImage canvas(target->bits, target->width, target->height, target->pitch,
                  QImage::Format_ARGB32_Premultiplied);
    if (canvas.isNull()) return 0;

    const int W = rq->width, H = rq->height;
    const int L = rq->left, R = rq->right, T = rq->top, B = rq->bottom;
    {
        QPainter p;
        if (!p.begin(&canvas)) return 0;
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(Qt::NoPen);
        p.translate(-rq->originX, -rq->originY);

        const QColor top = OpaqueColor(rq->topColor), right = OpaqueColor(rq->rightColor),
                     bottom = OpaqueColor(rq->bottomColor), left = OpaqueColor(rq->leftColor);
        // Corner squares first; the mitred sides are laid over them, so each
        // corner ends up split along its diagonal with no gap between the sides.
        p.fillRect(QRect(0, 0, L, T), top);
        p.fillRect(QRect(W - R, 0, R, T), right);
        p.fillRect(QRect(W - R, H - B, R, B), bottom);
        p.fillRect(QRect(0, H - B, L, B), left);

        auto side = [&](const QColor& c, std::initializer_list<QPoint> pts) {
            p.setBrush(c);
            p.drawPolygon(QPolygon(QList<QPoint>(pts)));
        };
        side(top, {{0, 0}, {W, 0}, {W - R, T}, {L, T}});
        side(right, {{W, 0}, {W, H}, {W - R, H - B}, {W - R, T}});
        side(bottom, {{W, H}, {0, H}, {L, H - B}, {W - R, H - B}});
        side(left, {{0, H}, {0, 0}, {L, T}, {L, H - B}});
        p.end();
    }

    // The common opacity, and back to colour that is not premultiplied.
    const int opacity = tarnwick::text::ClampToByte(rq->opacity);
    for (int y = 0; y < target->height; ++y) {
        uint32_t* row = Row(*target, y);
        for (int x = 0; x < target->width; ++x) {
            const uint32_t v = row[x];
            const uint32_t a = v >> 24;
            if (a == 0) continue;
            uint32_t r = (v >> 16) & 0xFF, g = (v >> 8) & 0xFF, b = v & 0xFF;
            if (a != 255) {
                r = std::min<uint32_t>(255, (r * 255 + a / 2) / a);
                g = std::min<uint32_t>(255, (g * 255 + a / 2) / a);
                b = std::min<uint32_t>(255, (b * 255 + a / 2) / a);
            }
            const uint32_t na = (a * static_cast<uint32_t>(opacity) + 127) / 255;
            row[x] = na == 0 ? 0u : (na << 24) | (r << 16) | (g << 8) | b;
        }
    }
    return 1;
}

// ---------------------------------------------------------------------------
// Fonts

QString FindFamily(const QStringList& families, const QString& name) {
    for (const QString& f : families)
        if (f.compare(name, Qt::CaseInsensitive) == 0) return f;
    return {};
}

void* LoadFont(const TwFontRequest* rq) {
    if (!rq || !rq->face) return nullptr;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return nullptr;

    const QString face = QString::fromUtf8(rq->face).trimmed();
    if (face.isEmpty()) return nullptr;
    // QFont quietly substitutes any face it does not have, so the face is
    // looked up in the installed families: the face itself, else the free
    // face that stands in for a Windows core font.
    const QStringList families = QFontDatabase::families();
    QString family = FindFamily(families, face);
    if (family.isEmpty()) {
        static const char* const kStandIns[][2] = {
            {"arial", "Liberation Sans"},       {"times new roman", "Liberation Serif"},
            {"courier new", "Liberation Mono"}, {"tahoma", "DejaVu Sans"},
            {"verdana", "DejaVu Sans"},
        };
        const QString lower = face.toLower();
        for (const auto& entry : kStandIns)
            if (lower == QLatin1String(entry[0]))
                family = FindFamily(families, QString::fromLatin1(entry[1]));
    }
    if (family.isEmpty()) return nullptr;

    auto* font = new QFont(family);
    const double pixels = std::round(static_cast<double>(rq->pointSize) * kPixelsPerPoint);
    font->setPixelSize(static_cast<int>(std::clamp(pixels, 1.0, 16384.0)));
    font->setBold(rq->bold != 0);
    font->setItalic(rq->italic != 0);
    font->setUnderline(rq->underline != 0);
    font->setStrikeOut(rq->strikeOut != 0);
    font->setKerning(false);
    return font;
}

void ReleaseFont(void* font) { delete static_cast<QFont*>(font); }

// ---------------------------------------------------------------------------
// Text layer

int DrawText(const TwTextRequest* rq, TwAllocateFn allocate, void* context) {
    if (!rq || !rq->font || !allocate) return 0;
    const QFont& base = *static_cast<const QFont*>(rq->font);
    QFont plainFont(base), smoothFont(base);
    plainFont.setStyleStrategy(QFont::NoAntialias);
    smoothFont.setStyleStrategy(QFont::PreferAntialias);
    const bool smooth = rq->antialias != 0;

    const QString text = QString::fromUtf8(rq->text ? rq->text : "");
    // The line breaks are counted as the split finds them, one after the
    // other: "%eol%eol%" holds one break, not two overlapping ones.
    const QLatin1String eol("%eol%");
    QStringList lines = text.split(eol, Qt::KeepEmptyParts, Qt::CaseInsensitive);
    const int n = static_cast<int>(lines.size()) - 1;

    // Measured with the plain metrics.
    const QFontMetrics plain(plainFont);
    long long textW = 0, textH = 0, lineStep = 0;
    if (n > 0) {
        int maxW = 10, lineH = 10;
        for (const QString& line : lines) {
            maxW = std::max(maxW, plain.horizontalAdvance(line));
            lineH = std::max(lineH, plain.height());
        }
        lineStep = static_cast<long long>(lineH) + rq->leading;
        textW = maxW;
        textH = lineH + static_cast<long long>(n) * lineStep;
    } else {
        lines = QStringList{text};
        textW = plain.horizontalAdvance(text);
        textH = plain.height();
    }
    const long long boxW = textW + 2LL * rq->padding;
    const long long boxH = textH + 2LL * rq->padding;
    if (boxW <= 0 || boxH <= 0) {
        // A box without area (an empty text, a negative padding): nothing
        // shows, which a single transparent pixel says.
        TwSurface none{};
        return allocate(context, 1, 1, &none) && none.bits ? 1 : 0;
    }
    if (TooLarge(boxW, boxH, rq->maxPixels)) return 0;
    const int BW = static_cast<int>(boxW), BH = static_cast<int>(boxH);

    // Coverage of the glyphs, drawn opaque on a transparent mask.
    QImage mask(BW, BH, QImage::Format_ARGB32_Premultiplied);
    if (mask.isNull()) return 0;
    mask.fill(Qt::transparent);
    {
        QPainter p;
        if (!p.begin(&mask)) return 0;
        p.setRenderHint(QPainter::TextAntialiasing, smooth);
        p.setRenderHint(QPainter::Antialiasing, smooth);
        p.setFont(smooth ? smoothFont : plainFont);
        p.setPen(Qt::white);
        const QFontMetrics fm(smooth ? smoothFont : plainFont);
        const QFontMetricsF fmf(smoothFont);
        if (n == 0) {
            p.drawText(QPoint(rq->padding, rq->padding + fm.ascent()), text);
        } else {
            long long y = rq->padding;
            for (const QString& line : lines) {
                const int lw = smooth ? static_cast<int>(std::lround(fmf.horizontalAdvance(line)))
                                      : plain.horizontalAdvance(line);
                const int x = AlignLineX(lw, BW, rq->alignment, rq->padding);
                if (y > -65536 && y < 65536)
                    p.drawText(QPoint(x, static_cast<int>(y) + fm.ascent()), line);
                y += lineStep;
            }
        }
        p.end();
    }

    TwSurface layer{};
    if (!allocate(context, BW, BH, &layer) || !layer.bits) return 0;

    const int textAlpha = tarnwick::text::ClampToByte(rq->textOpacity);
    const int backAlpha = tarnwick::text::ClampToByte(rq->backOpacity);
    if (!smooth) {
        // Colour and alpha written directly: the box, and the glyphs over it.
        const uint32_t back = Pixel(rq->backColor, backAlpha);
        const uint32_t fore = Pixel(rq->textColor, textAlpha);
        for (int y = 0; y < BH; ++y) {
            const QRgb* m = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
            uint32_t* row = Row(layer, y);
            for (int x = 0; x < BW; ++x) row[x] = qAlpha(m[x]) >= 128 ? fore : back;
        }
        return 1;
    }

    // The opaque box at its opacity, then the antialiased text at its opacity
    // over it (source-over).
    const double fr = rq->textColor & 0xFF, fg = (rq->textColor >> 8) & 0xFF,
                 fb = (rq->textColor >> 16) & 0xFF;
    const double br = rq->backColor & 0xFF, bg = (rq->backColor >> 8) & 0xFF,
                 bb = (rq->backColor >> 16) & 0xFF;
    const double ab = backAlpha / 255.0;
    for (int y = 0; y < BH; ++y) {
        const QRgb* m = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
        uint32_t* row = Row(layer, y);
        for (int x = 0; x < BW; ++x) {
            const double at = qAlpha(m[x]) / 255.0 * textAlpha / 255.0;
            const double a = at + ab * (1.0 - at);
            if (a <= 0.0) {
                row[x] = 0;
                continue;
            }
            const double wb = ab * (1.0 - at);
            const auto mix = [&](double f, double b) {
                return static_cast<uint32_t>(
                    std::clamp(std::lround((f * at + b * wb) / a), 0L, 255L));
            };
            const uint32_t alpha = static_cast<uint32_t>(std::lround(a * 255.0));
            row[x] = (alpha << 24) | (mix(fr, br) << 16) | (mix(fg, bg) << 8) | mix(fb, bb);
        }
    }
    return 1;
}

// ---------------------------------------------------------------------------
// Image layer

// Qt refuses on its own to read pictures whose decoded form passes its
// allocation limit (256 MiB by default), well below the program's own limit,
// `maxPixels`, for some formats: Qt's limit is raised to cover it at 8 bytes a pixel (16 bits per
// channel with alpha) and the size is checked here, from the header, before anything is decoded.
void AllowPixels(int maxPixels) {
    const long long mib = (static_cast<long long>(maxPixels > 0 ? maxPixels : 0) * 8 >> 20) + 1;
    if (QImageReader::allocationLimit() < mib)
        QImageReader::setAllocationLimit(static_cast<int>(std::min<long long>(mib, 1 << 30)));
}

// Says why a picture cannot be drawn; 0, as the failed call returns.
int Refuse(TwFailure* failure, const char* what, const QString& detail = QString()) {
    if (!failure) return 0;
    if (detail.isEmpty()) std::snprintf(failure->why, sizeof failure->why, "%s", what);
    else
        std::snprintf(failure->why, sizeof failure->why, "%s: %s", what,
                      detail.toUtf8().constData());
    return 0;
}

int DrawImage(const TwImageRequest* rq, TwAllocateFn allocate, void* context, TwFailure* failure) {
    if (!rq || !rq->path || !allocate) return Refuse(failure, "no picture named");
    QImageReader reader(QString::fromUtf8(rq->path));
    const QSize claimed = reader.size();
    if (claimed.isValid() && TooManyPixels(claimed.width(), claimed.height(), rq->maxPixels))
        return Refuse(failure, "the picture has more pixels than a watermark may have");
    AllowPixels(rq->maxPixels);
    QImage source = reader.read();
    if (source.isNull()) return Refuse(failure, "the picture cannot be read", reader.errorString());
    if (TooManyPixels(source.width(), source.height(), rq->maxPixels))
        return Refuse(failure, "the picture has more pixels than a watermark may have");
    // A picture without an alpha channel is opaque; one with it keeps its own
    // transparency, further reduced by the opacity.
    const bool hasAlpha = source.hasAlphaChannel();
    source = source.convertToFormat(QImage::Format_ARGB32);
    if (source.isNull()) return Refuse(failure, "not enough memory for the picture");

    TwSurface layer{};
    if (!allocate(context, source.width(), source.height(), &layer) || !layer.bits)
        return Refuse(failure, "not enough memory for the picture's layer");
    const uint32_t opacity = static_cast<uint32_t>(tarnwick::text::ClampToByte(rq->opacity));
    for (int y = 0; y < source.height(); ++y) {
        const QRgb* src = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        uint32_t* row = Row(layer, y);
        for (int x = 0; x < source.width(); ++x) {
            uint32_t r = qRed(src[x]), g = qGreen(src[x]), b = qBlue(src[x]);
            const uint32_t a0 = hasAlpha ? static_cast<uint32_t>(qAlpha(src[x])) : 255u;
            if (rq->greyscale) r = g = b = (77 * r + 150 * g + 29 * b) / 256;
            const uint32_t a = (a0 * opacity + 127) / 255;
            row[x] = (a << 24) | (r << 16) | (g << 8) | b;
        }
    }
    return 1;
}

const TwCanvasApi kApi = {TW_CANVAS_API_VERSION, Prepare,  DrawFrame, LoadFont,
                          ReleaseFont,           DrawText, DrawImage};

}  // namespace

extern "C" __attribute__((visibility("default"))) const TwCanvasApi* tarnwick_canvas_api() {
    return &kApi;
}
