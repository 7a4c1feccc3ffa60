#include "core/FieldButton.h"

#include <QPushButton>

namespace core {

QPushButton *makeButton(const char *objectName, const QString &caption, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(objectName));
    b->setAutoDefault(false);
    return b;
}

QPushButton *makeFieldButton(FieldButton kind, const QString &objectName, QWidget *parent,
                             const QString &toolTip)
{
    const bool clear = kind == FieldButton::Clear;
    auto *b = makeButton("", clear ? QStringLiteral("X") : QStringLiteral("..."), parent);
    b->setObjectName(objectName);
    b->setProperty(kFieldButtonProperty, true);
    b->setFixedWidth(kFieldButtonWidth);
    b->setToolTip(!toolTip.isEmpty() ? toolTip
                  : clear            ? QStringLiteral("Очистить поле")
                                     : QStringLiteral("Выбрать из списка"));
    return b;
}

} // namespace core
