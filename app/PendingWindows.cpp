#include "PendingWindows.h"

TMainCRForm::TMainCRForm(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("MainCRForm"));
    setWindowTitle(QStringLiteral("Настройки оборудования"));
}
