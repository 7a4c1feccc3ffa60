#include "PendingWindows.h"

TMainCRForm::TMainCRForm(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("MainCRForm"));
    setWindowTitle(QStringLiteral("Настройки оборудования"));
}

TOtchetForm::TOtchetForm(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("OtchetForm"));
    setWindowTitle(QStringLiteral("Отчёт"));
}
