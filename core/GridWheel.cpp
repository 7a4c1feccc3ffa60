#include "core/GridWheel.h"

#include <QAbstractItemView>
#include <QScrollBar>
#include <QWheelEvent>

namespace core {

bool prokrutitVidKolesom(QAbstractItemView *grid, QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Wheel || watched != grid->viewport())
        return false;
    const int dy = static_cast<QWheelEvent *>(event)->angleDelta().y();
    if (dy < 0)
        grid->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    else if (dy > 0)
        grid->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    return true;
}

} // namespace core
