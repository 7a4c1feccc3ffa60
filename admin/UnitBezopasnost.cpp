#include "admin/UnitBezopasnost.h"
#include "admin/Bezopasnost.h"

#include "core/MessageService.h"
#include "core/ProcessValues.h"
#include "core/SoundService.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLineEdit *passwordField(const QString &name, QWidget *parent)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setEchoMode(QLineEdit::Password);
    return e;
}

QCheckBox *checkBox(const QString &name, const QString &text, QWidget *parent)
{
    auto *c = new QCheckBox(text, parent);
    c->setObjectName(name);
    return c;
}

} // namespace

TBezopasnostForm::TBezopasnostForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("BezopasnostForm"));
    setWindowTitle(QStringLiteral("Настройки безопасности"));
    setModal(true);

    auto *layout = new QVBoxLayout(this);
    auto *fields = new QFormLayout;
    EditPassword_NB = passwordField(QStringLiteral("EditPassword_NB"), this);
    EditPasswordPodtverzhdenie_NB = passwordField(QStringLiteral("EditPasswordPodtverzhdenie_NB"), this);
    fields->addRow(QStringLiteral("Пароль:"), EditPassword_NB);
    fields->addRow(QStringLiteral("Подтверждение пароля:"), EditPasswordPodtverzhdenie_NB);
    layout->addLayout(fields);

    CheckBoxIspolzovatTrebovatParol =
        checkBox(QStringLiteral("CheckBoxIspolzovatTrebovatParol"), QStringLiteral("Защита паролем"), this);
    layout->addWidget(CheckBoxIspolzovatTrebovatParol);
    GroupBoxTrebovatParol = new QGroupBox(QStringLiteral("Защита паролем"), this);
    GroupBoxTrebovatParol->setObjectName(QStringLiteral("GroupBoxTrebovatParol"));
    auto *group = new QVBoxLayout(GroupBoxTrebovatParol);
    CheckBoxPassOtchet =
        checkBox(QStringLiteral("CheckBoxPassOtchet"), QStringLiteral("Отчёт"), GroupBoxTrebovatParol);
    CheckBoxPassOchistkaTablits = checkBox(QStringLiteral("CheckBoxPassOchistkaTablits"),
                                           QStringLiteral("Очистка справочников"), GroupBoxTrebovatParol);
    CheckBoxPassUdalenie = checkBox(QStringLiteral("CheckBoxPassUdalenie"),
                                    QStringLiteral("Удаление из списка питания"), GroupBoxTrebovatParol);
    group->addWidget(CheckBoxPassOtchet);
    group->addWidget(CheckBoxPassOchistkaTablits);
    group->addWidget(CheckBoxPassUdalenie);
    layout->addWidget(GroupBoxTrebovatParol);

    auto *buttons = new QHBoxLayout;
    ButtonZapisatBezopasnost = new QPushButton(QStringLiteral("Записать"), this);
    ButtonZapisatBezopasnost->setObjectName(QStringLiteral("ButtonZapisatBezopasnost"));
    ButtonZakritBezopasnost = new QPushButton(QStringLiteral("Закрыть"), this);
    ButtonZakritBezopasnost->setObjectName(QStringLiteral("ButtonZakritBezopasnost"));
    buttons->addStretch(1);
    buttons->addWidget(ButtonZapisatBezopasnost);
    buttons->addWidget(ButtonZakritBezopasnost);
    layout->addLayout(buttons);

    connect(CheckBoxIspolzovatTrebovatParol, &QCheckBox::toggled, this,
            &TBezopasnostForm::OtrisovkaFormiBezopasnost);
    connect(ButtonZapisatBezopasnost, &QPushButton::clicked, this,
            &TBezopasnostForm::ButtonZapisatBezopasnostClick);
    connect(ButtonZakritBezopasnost, &QPushButton::clicked, this, &QDialog::reject);

    ZapolnenieFormiBezopasnostIzNastroek();
    OtrisovkaFormiBezopasnost();
    ButtonZapisatBezopasnost->setFocus(Qt::OtherFocusReason);
}

void TBezopasnostForm::ZapolnenieFormiBezopasnostIzNastroek()
{
    const auto &b = core::pv().Bezopasnost;
    const QString parol = admin::ParolIzKhranimoyFormi(b.Parol);
    EditPassword_NB->setText(parol);
    EditPasswordPodtverzhdenie_NB->setText(parol);
    CheckBoxIspolzovatTrebovatParol->setChecked(b.ZashchitaParolem);
    CheckBoxPassOtchet->setChecked(b.ZashchitaOtcheta);
    CheckBoxPassOchistkaTablits->setChecked(b.ZashchitaOchistki);
    CheckBoxPassUdalenie->setChecked(b.ZashchitaUdaleniya);
}

void TBezopasnostForm::OtrisovkaFormiBezopasnost()
{
    GroupBoxTrebovatParol->setEnabled(CheckBoxIspolzovatTrebovatParol->isChecked());
}

QString TBezopasnostForm::ZapolnenoVerno() const
{
    QString message;
    const QString parol = EditPassword_NB->text();
    if (parol != EditPasswordPodtverzhdenie_NB->text())
        message += QStringLiteral("Пароль и подтверждение пароля не совпадают!\r\n");
    if (parol.isEmpty() && CheckBoxIspolzovatTrebovatParol->isChecked())
        message += QStringLiteral("Выбрана защита паролем, но пароль пустой!\r\n");
    if (const QString bad = admin::NekhranimyeSimvoly(parol); !bad.isEmpty())
        message += QStringLiteral("Пароль содержит символы, которые нельзя сохранить в базе: ") + bad
                   + QStringLiteral("\r\n");
    return message;
}

void TBezopasnostForm::ZapisatNastroykiBezopasnosti()
{
    auto &b = core::pv().Bezopasnost;
    b.Parol = admin::KhranimayaForma(EditPassword_NB->text());
    b.ZashchitaParolem = CheckBoxIspolzovatTrebovatParol->isChecked();
    b.ZashchitaOtcheta = CheckBoxPassOtchet->isChecked();
    b.ZashchitaOchistki = CheckBoxPassOchistkaTablits->isChecked();
    b.ZashchitaUdaleniya = CheckBoxPassUdalenie->isChecked();
    b.IzBazi = true;
    admin::ZapisNastroekBezopasnosti();
}

void TBezopasnostForm::ButtonZapisatBezopasnostClick()
{
    if (const QString message = ZapolnenoVerno(); !message.isEmpty()) {
        core::beep(core::Beep::Default);
        core::showMessage(message);
        return;
    }
    if (core::ask(QStringLiteral("Сохранить настройки?"), core::Buttons::OkCancel) == core::Answer::Ok)
        ZapisatNastroykiBezopasnosti();
}

namespace admin {

void OtkritNastroykiBezopasnosti(QWidget *parent)
{
    if (!ProverkaDostupa(kNastroyki))
        return;
    TBezopasnostForm form(parent);
    core::execModal(form);
}

} // namespace admin
