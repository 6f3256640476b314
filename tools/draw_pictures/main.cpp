// Draws Vornel's pictures: the splash picture, the About box's back picture and the window icons.
//
//   draw_pictures <resources folder>
//
// writes pictures/splash.jpg, pictures/about_back.jpg and icons/*.png under that folder, and beside
// each picture a window shows larger than its pixels on a scaled screen its drawing at twice the
// size (name@2x.jpg, name@2x.png), which the program takes there. The
// motif is the program's own: a trace in the indicator's green between the orange brackets of a
// record, on a dark instrument screen. Everything is drawn here; the output is the same on every
// run, so the committed files can be checked by drawing them again.
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

namespace {

// The program's colours.
const QColor kOrange(0xFF, 0x80, 0x00);
const QColor kGreen(0x00, 0xFF, 0x00);
const QColor kYellow(0xFF, 0xFF, 0x80);
const QColor kStrip(0x40, 0x40, 0x40);
const QColor kSilver(0xC0, 0xC0, 0xC0);

// The trace: a few sines, so that it looks like a measured signal rather than a textbook wave.
double trace(double t) {
    using std::numbers::pi;
    return 0.55 * std::sin(2 * pi * 1.5 * t) + 0.3 * std::sin(2 * pi * 4.2 * t + 0.8) +
           0.15 * std::sin(2 * pi * 9.7 * t + 2.1);
}

QPainterPath tracePath(QRectF box, int samples) {
    QPainterPath path;
    for (int i = 0; i <= samples; ++i) {
        const double t = static_cast<double>(i) / samples;
        const QPointF point(box.left() + t * box.width(),
                            box.center().y() - trace(t) * box.height() / 2);
        if (i == 0) {
            path.moveTo(point);
        } else {
            path.lineTo(point);
        }
    }
    return path;
}

// A square bracket as a thick stroke; `open` is "[", otherwise "]".
void drawBracket(QPainter& p, QRectF box, double weight, const QColor& colour, bool open) {
    QPainterPath path;
    const double x0 = open ? box.right() : box.left();
    const double x1 = open ? box.left() : box.right();
    path.moveTo(x0, box.top());
    path.lineTo(x1, box.top());
    path.lineTo(x1, box.bottom());
    path.lineTo(x0, box.bottom());
    p.setPen(QPen(colour, weight, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

// A glowing trace: wide faint strokes under a bright thin one.
void drawGlowingTrace(QPainter& p, const QPainterPath& path, const QColor& colour, double width) {
    for (const auto& [scale, alpha] : {std::pair{6.0, 28}, {3.0, 60}, {1.0, 255}}) {
        QColor c = colour;
        c.setAlpha(alpha);
        p.setPen(QPen(c, width * scale, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(path);
    }
}

void drawGrid(QPainter& p, QRectF area, double step, const QColor& colour) {
    p.setPen(QPen(colour, 1));
    for (double x = area.left(); x <= area.right(); x += step) {
        p.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
    }
    for (double y = area.top(); y <= area.bottom(); y += step) {
        p.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    }
}

// The splash picture. It is stretched from 563 x 511 into a strip about 473 x 231 pixels wide
// and high, so it is drawn in that strip's proportions and pre-stretched to compensate; "Click
// to RUN" lies over the band between about 48 and 89 of those 231 rows. `scale` 2 draws it at
// twice the size.
QImage drawSplash(int scale) {
    constexpr double kShownWidth = 473;
    constexpr double kShownHeight = 231;
    QImage image(563 * scale, 511 * scale, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(image.width() / kShownWidth, image.height() / kShownHeight);

    const QRectF all(0, 0, kShownWidth, kShownHeight);
    QLinearGradient sky(all.topLeft(), all.bottomLeft());
    sky.setColorAt(0, QColor(0x0B, 0x12, 0x1C));
    sky.setColorAt(1, QColor(0x1A, 0x26, 0x33));
    p.fillRect(all, sky);
    drawGrid(p, all.adjusted(6, 6, -6, -6), 19, QColor(0x24, 0x34, 0x42));

    // A soft light behind the caption band, so the green caption reads well.
    QRadialGradient glow(QPointF(kShownWidth / 2, 68), 150);
    glow.setColorAt(0, QColor(0, 0, 0, 150));
    glow.setColorAt(1, QColor(0, 0, 0, 0));
    p.fillRect(all, glow);

    // The record's brackets and the trace between them.
    drawBracket(p, QRectF(22, 22, 34, kShownHeight - 44), 9, kOrange, true);
    drawBracket(p, QRectF(kShownWidth - 56, 22, 34, kShownHeight - 44), 9, kOrange, false);
    drawGlowingTrace(p, tracePath(QRectF(70, 118, kShownWidth - 140, 80), 400), kGreen, 2.2);

    // Sample points along the trace, in the caption's yellow.
    p.setPen(Qt::NoPen);
    p.setBrush(kYellow);
    for (int i = 1; i < 12; ++i) {
        const double t = i / 12.0;
        p.drawEllipse(QPointF(70 + t * (kShownWidth - 140), 158 - trace(t) * 40), 2.6, 2.6);
    }

    // A stream of small records along the bottom.
    for (int i = 0; i < 9; ++i) {
        const double x = 84 + i * 35.5;
        drawBracket(p, QRectF(x, 206, 5, 12), 1.6, kOrange, true);
        drawBracket(p, QRectF(x + 20, 206, 5, 12), 1.6, kOrange, false);
        p.fillRect(QRectF(x + 8, 211, 9, 2), kSilver);
    }
    return image;
}

// The About box's back picture, drawn at its own size; the box shows its top-left 452 x 300
// pixels (at 96 dpi) behind light-yellow, red and white text, so it stays dark. `scale` 2 draws
// it at twice the size.
QImage drawAboutBack(int scale) {
    QImage image(489 * scale, 368 * scale, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);
    const QRectF all(0, 0, 489, 368);
    QLinearGradient shade(all.topLeft(), all.bottomRight());
    shade.setColorAt(0, QColor(0x05, 0x08, 0x10));
    shade.setColorAt(1, QColor(0x10, 0x1A, 0x28));
    p.fillRect(all, shade);
    drawGrid(p, all, 24, QColor(0x12, 0x1C, 0x28));

    // Faint brackets right of the warning line, a dim trace under the separator.
    drawBracket(p, QRectF(312, 128, 16, 44), 5, QColor(0x55, 0x2E, 0x08), true);
    drawBracket(p, QRectF(416, 128, 16, 44), 5, QColor(0x55, 0x2E, 0x08), false);
    QColor dimGreen(0x00, 0x90, 0x30);
    drawGlowingTrace(p, tracePath(QRectF(0, 200, all.width(), 44), 300), dimGreen, 1.2);
    return image;
}

// The main window's icon at `size` pixels: a dark instrument with a green trace between orange
// brackets.
QImage drawMainIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    p.setPen(QPen(kSilver, 1.5));
    p.setBrush(kStrip);
    p.drawRoundedRect(QRectF(1.5, 3.5, 29, 25), 4, 4);
    p.fillRect(QRectF(4, 6, 24, 20), Qt::black);
    drawBracket(p, QRectF(5.5, 8, 4, 16), 2.2, kOrange, true);
    drawBracket(p, QRectF(22.5, 8, 4, 16), 2.2, kOrange, false);
    // At this size the trace is a single clean period.
    QPainterPath wave;
    for (int i = 0; i <= 24; ++i) {
        const double t = i / 24.0;
        const QPointF point(10 + 12 * t, 16 - 5 * std::sin(2 * std::numbers::pi * t));
        if (i == 0) {
            wave.moveTo(point);
        } else {
            wave.lineTo(point);
        }
    }
    p.setPen(QPen(kGreen, size >= 32 ? 1.8 : 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(wave);
    return image;
}

// The setup dialog's icon at `size` pixels: a serial connector with its pins.
QImage drawSetupIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    QPainterPath shell;
    shell.moveTo(2, 8);
    shell.lineTo(30, 8);
    shell.lineTo(26, 24);
    shell.lineTo(6, 24);
    shell.closeSubpath();
    p.setPen(QPen(kSilver, 1.5));
    p.setBrush(kStrip);
    p.drawPath(shell);
    p.setPen(Qt::NoPen);
    p.setBrush(kOrange);
    for (int i = 0; i < 5; ++i) {
        p.drawEllipse(QPointF(8 + i * 4, 13), 1.5, 1.5);
    }
    p.setBrush(kGreen);
    for (int i = 0; i < 4; ++i) {
        p.drawEllipse(QPointF(10 + i * 4, 19), 1.5, 1.5);
    }
    return image;
}

// The raw data viewer's icon at `size` pixels: a sheet of text rows, one of them a bracketed
// record.
QImage drawRawIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    p.setPen(QPen(kStrip, 1.2));
    p.setBrush(QColor(0xF4, 0xF4, 0xEC));
    p.drawRect(QRectF(5.5, 2.5, 21, 27));
    for (int row = 0; row < 5; ++row) {
        const double y = 7 + row * 4.5;
        drawBracket(p, QRectF(8, y - 1.5, 2, 3), 1, kOrange, true);
        drawBracket(p, QRectF(22, y - 1.5, 2, 3), 1, kOrange, false);
        p.fillRect(QRectF(11.5, y - 0.5, row == 2 ? 9 : 6 + row, 1.4),
                   row == 2 ? QColor(0x00, 0x90, 0x00) : QColor(0x60, 0x60, 0x60));
    }
    return image;
}

// Reduces an image to a palette of at most 16 entries (one of them transparent), without
// dithering, as the About box's 16-colour icon.
QImage toSixteenColours(const QImage& source) {
    const std::vector<QRgb> palette{
        qRgba(0, 0, 0, 0),      qRgb(0, 0, 0),          qRgb(0x40, 0x40, 0x40),
        qRgb(0x80, 0x80, 0x80), qRgb(0xC0, 0xC0, 0xC0), qRgb(0xFF, 0xFF, 0xFF),
        kOrange.rgb(),          qRgb(0x80, 0x40, 0x00), kGreen.rgb(),
        qRgb(0x00, 0x80, 0x00), kYellow.rgb(),          qRgb(0xFF, 0x00, 0x00),
        qRgb(0x00, 0x00, 0xFF), qRgb(0x00, 0x00, 0x80), qRgb(0x00, 0x80, 0x80),
        qRgb(0x80, 0x80, 0x00),
    };
    QImage out(source.size(), QImage::Format_Indexed8);
    out.setColorTable(QList<QRgb>(palette.begin(), palette.end()));
    const QImage argb = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb px = argb.pixel(x, y);
            int best = 0;
            if (qAlpha(px) >= 128) {
                long bestDistance = -1;
                for (std::size_t i = 1; i < palette.size(); ++i) {
                    const long dr = qRed(px) - qRed(palette[i]);
                    const long dg = qGreen(px) - qGreen(palette[i]);
                    const long db = qBlue(px) - qBlue(palette[i]);
                    const long distance = dr * dr + dg * dg + db * db;
                    if (bestDistance < 0 || distance < bestDistance) {
                        bestDistance = distance;
                        best = static_cast<int>(i);
                    }
                }
            }
            out.setPixel(x, y, static_cast<uint>(best));
        }
    }
    return out;
}

bool save(const QImage& image, const QString& path, const char* format, int quality) {
    if (!QDir().mkpath(QFileInfo(path).path()) || !image.save(path, format, quality)) {
        std::fprintf(stderr, "draw_pictures: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s (%dx%d)\n", qPrintable(path), image.width(), image.height());
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: draw_pictures <resources folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    bool ok = true;
    for (const int scale : {1, 2}) {
        const QString at = scale == 1 ? QString() : QStringLiteral("@2x");
        auto path = [&](const char* name, const char* suffix) {
            return out.filePath(QString::fromLatin1(name) + at + QString::fromLatin1(suffix));
        };
        ok &= save(drawSplash(scale), path("pictures/splash", ".jpg"), "JPEG", 82);
        ok &= save(drawAboutBack(scale), path("pictures/about_back", ".jpg"), "JPEG", 82);
        ok &= save(drawMainIcon(32 * scale), path("icons/vornel_32", ".png"), "PNG", -1);
        ok &= save(drawSetupIcon(32 * scale), path("icons/setup", ".png"), "PNG", -1);
        ok &= save(drawRawIcon(32 * scale), path("icons/raw", ".png"), "PNG", -1);
        ok &= save(toSixteenColours(drawMainIcon(32 * scale)), path("icons/about", ".png"), "PNG",
                   -1);
    }
    ok &= save(drawMainIcon(16), out.filePath(QStringLiteral("icons/vornel_16.png")), "PNG", -1);
    // For desktop menus, which want a larger icon than the windows do.
    ok &= save(drawMainIcon(128), out.filePath(QStringLiteral("icons/vornel_128.png")), "PNG", -1);
    return ok ? 0 : 1;
}
