#pragma once
#include <QRect>
#include <QSize>

namespace app {

// Where a window of the `wanted` size goes on a screen whose free area is
// `available`: the size is cut down to what the screen holds (never below
// `minimum`; a nonsensical saved size gives the minimum), and the window is
// centred, so a size saved on a larger or removed screen never leaves the
// window out of sight.
QRect placeOnScreen(QSize wanted, QSize minimum, const QRect &available);

} // namespace app
