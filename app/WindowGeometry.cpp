#include "WindowGeometry.h"

#include <algorithm>

namespace app {

QRect placeOnScreen(QSize wanted, QSize minimum, const QRect &available)
{
    const int w = std::max(minimum.width(), std::min(wanted.width(), available.width()));
    const int h = std::max(minimum.height(), std::min(wanted.height(), available.height()));
    QRect r(0, 0, w, h);
    r.moveCenter(available.center());
    // A screen smaller than the minimum: keep the title bar reachable.
    r.moveTop(std::max(r.top(), available.top()));
    r.moveLeft(std::max(r.left(), available.left()));
    return r;
}

} // namespace app
