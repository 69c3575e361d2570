#pragma once

// Icon 128, the application icon, compiled into the program from resources/icons/.

#include <QIcon>
#include <QPixmap>

namespace res {

// Every size of the icon (16, 32, 48 and 256 pixels).
QIcon AppIcon();
// The picture at size x size pixels (the nearest stored size, scaled when needed).
QPixmap AppIconPixmap(int size);

} // namespace res
