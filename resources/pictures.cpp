#include "resources/pictures.h"

namespace vornel::pictures {

QIcon mainIcon() {
    QIcon icon;
    icon.addFile(QString::fromLatin1(kMainIcon32), QSize(32, 32));
    icon.addFile(QString::fromLatin1(kMainIcon16), QSize(16, 16));
    return icon;
}

QIcon setupIcon() {
    return QIcon(QString::fromLatin1(kSetupIcon));
}

QIcon rawIcon() {
    return QIcon(QString::fromLatin1(kRawIcon));
}

}  // namespace vornel::pictures
