#include "resources/pictures.h"

#include <QImageReader>
#include <QPixmap>
#include <QPixmapCache>
#include <initializer_list>

namespace vornel::pictures {

namespace {

// A window icon made of the same pictures every time. What Qt makes of an icon's picture (the
// copy for the window system, each size drawn) it keeps in its pixmap cache under the picture's
// own key: a picture loaded afresh for every window would add to the cache each time a window
// opens.
QIcon iconOf(std::initializer_list<const char*> paths) {
    QIcon icon;
    for (const char* path : paths) {
        const QString name = QString::fromLatin1(path);
        QPixmap picture;
        if (!QPixmapCache::find(name, &picture)) {
            picture.load(name);
            QPixmapCache::insert(name, picture);
        }
        icon.addPixmap(picture);
    }
    return icon;
}

}  // namespace

QPixmap picture(const char* path) {
    QImageReader reader(QString::fromLatin1(path));
    return QPixmap::fromImageReader(&reader);
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
