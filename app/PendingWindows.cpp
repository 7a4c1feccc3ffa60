#include "PendingWindows.h"

TOtchetForm::TOtchetForm(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("OtchetForm"));
    setWindowTitle(QStringLiteral("Отчёт"));
}
