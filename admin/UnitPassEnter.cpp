#include "admin/UnitPassEnter.h"
#include "admin/Bezopasnost.h"

#include "core/MessageService.h"
#include "core/ProcessValues.h"
#include "core/SoundService.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TPassEnterForm::TPassEnterForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("PassEnterForm"));
    setWindowTitle(QString());
    setModal(true);

    auto *layout = new QVBoxLayout(this);
    auto *heading = new QLabel(QStringLiteral("Введите пароль"), this);
    heading->setObjectName(QStringLiteral("LabelVvediteParol"));
    QFont f = heading->font();
    f.setBold(true);
    heading->setFont(f);
    layout->addWidget(heading);

    EditEnterPassword = new QLineEdit(this);
    EditEnterPassword->setObjectName(QStringLiteral("EditEnterPassword"));
    EditEnterPassword->setEchoMode(QLineEdit::Password);
    EditEnterPassword->setMinimumWidth(240);
    layout->addWidget(EditEnterPassword);

    CheckBoxNeZaprashivatVTekSessii =
        new QCheckBox(QStringLiteral("Запомнить пароль на эту сессию"), this);
    CheckBoxNeZaprashivatVTekSessii->setObjectName(QStringLiteral("CheckBoxNeZaprashivatVTekSessii"));
    layout->addWidget(CheckBoxNeZaprashivatVTekSessii);

    auto *buttons = new QHBoxLayout;
    ButtonEnterPassword_OK = new QPushButton(QStringLiteral("OK"), this);
    ButtonEnterPassword_OK->setObjectName(QStringLiteral("ButtonEnterPassword_OK"));
    ButtonEnterPassword_OK->setDefault(true);
    ButtonEnterPassword_Otmena = new QPushButton(QStringLiteral("Отмена"), this);
    ButtonEnterPassword_Otmena->setObjectName(QStringLiteral("ButtonEnterPassword_Otmena"));
    buttons->addStretch(1);
    buttons->addWidget(ButtonEnterPassword_OK);
    buttons->addWidget(ButtonEnterPassword_Otmena);
    layout->addLayout(buttons);

    connect(ButtonEnterPassword_OK, &QPushButton::clicked, this,
            &TPassEnterForm::ButtonEnterPassword_OKClick);
    connect(ButtonEnterPassword_Otmena, &QPushButton::clicked, this,
            &TPassEnterForm::ButtonEnterPassword_OtmenaClick);

    // What its showing does; the prompt is made anew for every asking.
    auto &b = core::pv().Bezopasnost;
    b.RezultatVvoda = false;
    b.ZapomnitVSessii = false;
    CheckBoxNeZaprashivatVTekSessii->setChecked(false);
    core::beep(core::Beep::Default);
    EditEnterPassword->setFocus(Qt::OtherFocusReason);
}

void TPassEnterForm::ButtonEnterPassword_OKClick()
{
    auto &b = core::pv().Bezopasnost;
    b.RezultatVvoda = false;
    b.ZapomnitVSessii = false;
    if (admin::KhranimayaForma(EditEnterPassword->text()) != b.Parol) {
        core::beep(core::Beep::Default);
        core::showMessage(QStringLiteral("Пароль не подходит!"));
        EditEnterPassword->setFocus(Qt::OtherFocusReason);
        EditEnterPassword->selectAll();
        return;
    }
    b.RezultatVvoda = true;
    b.ZapomnitVSessii = CheckBoxNeZaprashivatVTekSessii->isChecked();
    accept();
}

void TPassEnterForm::ButtonEnterPassword_OtmenaClick() { reject(); }

void TPassEnterForm::reject()
{
    auto &b = core::pv().Bezopasnost;
    b.RezultatVvoda = false;
    b.ZapomnitVSessii = false;
    QDialog::reject();
}
