#include "admin/UnitNastroykiRabotiSBD.h"

#include "core/AppEvents.h"
#include "core/IniSettings.h"
#include "core/MessageService.h"
#include "core/ProcessValues.h"
#include "core/RadioGroup.h"
#include "core/SoundService.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace admin {

namespace {

const QString kSection = QStringLiteral("Options");

} // namespace

TNastroykiRabotiSBDForm::TNastroykiRabotiSBDForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("NastroykiRabotiSBDForm"));
    setWindowTitle(QStringLiteral("Настройки работы с БД"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    RadioGroupNastroykiOtboraVBD = new TRadioGroup(
        QStringLiteral("Настройки отбора в БД"), {QStringLiteral("Фильтрация"), QStringLiteral("Запрос")}, this);
    RadioGroupNastroykiOtboraVBD->setObjectName(QStringLiteral("RadioGroupNastroykiOtboraVBD"));

    auto *refresh = new QGroupBox(QStringLiteral("Принуждение обновления компонентов"), this);
    refresh->setObjectName(QStringLiteral("GroupBoxRefresh"));
    CheckBoxRefreshGrid = new QCheckBox(QStringLiteral("Сетка"), refresh);
    CheckBoxRefreshGrid->setObjectName(QStringLiteral("CheckBoxRefreshGrid"));
    CheckBoxRefreshQuery = new QCheckBox(QStringLiteral("Запрос"), refresh);
    CheckBoxRefreshQuery->setObjectName(QStringLiteral("CheckBoxRefreshQuery"));
    auto *refreshLayout = new QVBoxLayout(refresh);
    refreshLayout->addWidget(CheckBoxRefreshGrid);
    refreshLayout->addWidget(CheckBoxRefreshQuery);

    auto *advice = new QLabel(QStringLiteral("На высоконагруженных базах рекомендуется устанавливать:\n"
                                             "Настройки отбора в БД - Запрос\n"
                                             "Принуждение обновления компонентов - Отключить все флажки"),
                              this);
    advice->setObjectName(QStringLiteral("LabelSovet"));

    auto *zakrit = new QPushButton(QStringLiteral("Закрыть"), this);
    zakrit->setObjectName(QStringLiteral("ButtonZakrNZ"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(zakrit);
    auto *main = new QVBoxLayout(this);
    main->addWidget(RadioGroupNastroykiOtboraVBD);
    main->addWidget(refresh);
    main->addWidget(advice);
    main->addLayout(buttons);
    main->setSizeConstraint(QLayout::SetFixedSize);

    connect(zakrit, &QPushButton::clicked, this, &TNastroykiRabotiSBDForm::ButtonZakrNZClick);
}

void TNastroykiRabotiSBDForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    try {
        const auto ini = core::openMainIni();
        m_ishodnyRezhim = ini->readInt(kSection, QStringLiteral("NastroykiOtboraVBD"), 0);
        RadioGroupNastroykiOtboraVBD->setItemIndex(m_ishodnyRezhim);
        CheckBoxRefreshGrid->setChecked(ini->readBool(kSection, QStringLiteral("RefreshGrid"), false));
        CheckBoxRefreshQuery->setChecked(ini->readBool(kSection, QStringLiteral("RefreshQuery"), false));
    } catch (...) {
    }
}

void TNastroykiRabotiSBDForm::ButtonZakrNZClick()
{
    auto &n = core::pv().Nastroyki;
    n.RefreshGrid = CheckBoxRefreshGrid->isChecked();
    n.RefreshQuery = CheckBoxRefreshQuery->isChecked();
    accept();
}

void TNastroykiRabotiSBDForm::done(int result)
{
    try {
        const int rezhim = RadioGroupNastroykiOtboraVBD->itemIndex();
        const auto ini = core::openMainIni();
        // A mode the file held that the window cannot show stays as it was.
        if (rezhim >= 0)
            ini->writeInt(kSection, QStringLiteral("NastroykiOtboraVBD"), rezhim);
        ini->writeBool(kSection, QStringLiteral("RefreshGrid"), CheckBoxRefreshGrid->isChecked());
        ini->writeBool(kSection, QStringLiteral("RefreshQuery"), CheckBoxRefreshQuery->isChecked());
        ini->flush();
        if (rezhim >= 0 && rezhim != m_ishodnyRezhim) {
            core::beep(core::Beep::Default);
            core::showMessage(QStringLiteral(
                "Настройки отбора в базе данных были изменены! Приложение будет закрыто! Согласитесь с "
                "предложением остановки работы программы! Следующий запуск будет выполнен с новыми "
                "настройками!"));
            emit core::AppEvents::instance().mainWindowCloseRequested();
        }
    } catch (...) {
    }
    QDialog::done(result);
}

} // namespace admin
