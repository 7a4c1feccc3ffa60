#include "InfoForm.h"

#include "core/AppPaths.h"
#include "core/ProcessValues.h"
#include "core/RegistryLogin.h"
#include "db/Connection.h"
#include "scanner/ComPort.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TInfoForm::TInfoForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("InfoForm"));
    setWindowTitle(QStringLiteral("Информация"));

    auto *layout = new QVBoxLayout(this);
    auto *title = new QLabel(QStringLiteral("Трапезон"), this);
    QFont f = title->font();
    f.setPointSize(18);
    f.setBold(true);
    title->setFont(f);
    layout->addWidget(title);

    auto *text = new QLabel(infoText(), this);
    text->setObjectName(QStringLiteral("LabelInfo"));
    text->setWordWrap(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(text);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    setMinimumWidth(480);
}

QString TInfoForm::infoText()
{
    const QString db = core::pv().Nastroyki.PutKFayluBD.isEmpty()
                           ? core::defaultDbPath()
                           : db::shownPath(core::pv().Nastroyki.PutKFayluBD);
    return QStringLiteral(
               "Версия: 2.1.0\n\n"
               "Журнал питания столовой предприятия: регистрация питания сотрудников по "
               "бесконтактной карте, штрихкоду или выбором из списка, справочники "
               "сотрудников, организаций, подразделений и должностей, отчёты за период.\n\n"
               "Папка программы: %1\n"
               "База данных: %2\n"
               "Файлы настроек: %3, %4, %5\n"
               "Учётные данные базы данных: %6")
        .arg(core::programFolder(), db, core::iniPath(), scanner::comIniPath(),
             core::programFile(QCoreApplication::applicationName() + QStringLiteral(".ini")),
             core::dbLoginPath());
}
