#include "resources/AppIcon.h"

#include <array>

namespace res {

namespace {
constexpr std::array<int, 4> StoredSizes = {16, 32, 48, 256};

QString IconPath(int size) {
    return QStringLiteral(":/icons/atlasforge-%1.png").arg(size);
}
} // namespace

QIcon AppIcon() {
    QIcon icon;
    for (int size : StoredSizes) {
        icon.addFile(IconPath(size), QSize(size, size));
    }
    return icon;
}

QPixmap AppIconPixmap(int size) {
    for (int stored : StoredSizes) {
        if (stored == size) {
            return QPixmap(IconPath(size));
        }
    }
    return AppIcon().pixmap(size, size);
}

} // namespace res
