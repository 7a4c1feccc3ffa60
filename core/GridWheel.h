#pragma once

class QAbstractItemView;
class QEvent;
class QObject;

namespace core {

// The wheel over a grid whose selected row must stay put (the journal, the
// report): a wheel event on the grid's viewport scrolls the view one line
// per notch, down or up, and is taken. True when `event` was one.
bool prokrutitVidKolesom(QAbstractItemView *grid, QObject *watched, QEvent *event);

} // namespace core
