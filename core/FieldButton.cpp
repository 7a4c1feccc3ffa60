#include "core/FieldButton.h"

#include <QPushButton>

namespace core {

QPushButton *makeFieldButton(FieldButton kind, const QString &objectName, QWidget *parent,
                             const QString &toolTip)
{
    const bool clear = kind == FieldButton::Clear;
    auto *b = new QPushButton(clear ? QStringLiteral("X") : QStringLiteral("..."), parent);
    b->setObjectName(objectName);
    b->setProperty(kFieldButtonProperty, true);
    b->setAutoDefault(false);
    b->setFixedWidth(kFieldButtonWidth);
    b->setToolTip(!toolTip.isEmpty() ? toolTip
                  : clear            ? QStringLiteral("Очистить поле")
                                     : QStringLiteral("Выбрать из списка"));
    return b;
}

} // namespace core
