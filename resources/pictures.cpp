#include "resources/pictures.h"

#include <QGuiApplication>
#include <QImageReader>
#include <QPixmap>
#include <QPixmapCache>
#include <QScreen>
#include <initializer_list>

namespace vornel::pictures {

namespace {

// Decoded for the window that shows it, outside Qt's pixmap cache.
QPixmap decoded(const QString& path) {
    QImageReader reader(path);
    return QPixmap::fromImageReader(&reader);
}

// A window icon made of the same pictures every time. What Qt makes of an icon's picture (the
// copy for the window system, each size drawn) it keeps in its pixmap cache under the picture's
// own key: a picture loaded afresh for every window would add to the cache each time a window
// opens.
QIcon iconOf(std::initializer_list<const char*> paths) {
    QIcon icon;
    for (const char* path : paths) {
        QPixmap shown;
        if (!QPixmapCache::find(QString::fromLatin1(path), &shown)) {
            shown = picture(path);
            QPixmapCache::insert(QString::fromLatin1(path), shown);
        }
        icon.addPixmap(shown);
    }
    return icon;
}

}  // namespace

QPixmap picture(const char* path) {
    const QString plain = QString::fromLatin1(path);
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen != nullptr && screen->devicePixelRatio() > 1) {
        const qsizetype dot = plain.lastIndexOf(u'.');
        QPixmap sharp = decoded(plain.left(dot) + QStringLiteral("@2x") + plain.mid(dot));
        if (!sharp.isNull()) {
            sharp.setDevicePixelRatio(2);
            return sharp;
        }
    }
    return decoded(plain);
}

QIcon mainIcon() {
    return iconOf({kMainIcon32, kMainIcon16});
}

QIcon setupIcon() {
    return iconOf({kSetupIcon});
}

QIcon rawIcon() {
    return iconOf({kRawIcon});
}

}  // namespace vornel::pictures
