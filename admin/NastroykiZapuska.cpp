#include "admin/NastroykiZapuska.h"

#include "core/IniSettings.h"
#include "core/RadioGroup.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace admin {

namespace {

const QString kSection = QStringLiteral("VidPitaniya");
constexpr int kSleduyushchiy = 2;   // "Следующий за последним отмеченным"

QLabel *poyasneniye(QWidget *parent, const char *name, const QString &text)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setContentsMargins(20, 0, 0, 0);
    return l;
}

} // namespace

TFormNastroykiZapuska::TFormNastroykiZapuska(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormNastroykiZapuska"));
    setWindowTitle(QStringLiteral("Настройки запуска"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    RadioGroupNastrPriStarte = new TRadioGroup(
        QStringLiteral("Вид питания при запуске программы"),
        {QStringLiteral("Все"), QStringLiteral("Последнее  открытое"),
         QStringLiteral("Следующий за последним отмеченным"), QStringLiteral("Завтрак"),
         QStringLiteral("Обед"), QStringLiteral("Ужин"), QStringLiteral("Ночное")},
        this);
    RadioGroupNastrPriStarte->setObjectName(QStringLiteral("RadioGroupNastrPriStarte"));
    CheckBoxNastrIsklNP = new QCheckBox(QStringLiteral("Исключить ночное питание"), this);
    CheckBoxNastrIsklNP->setObjectName(QStringLiteral("CheckBoxNastrIsklNP"));
    Label1 = poyasneniye(this, "Label1", QStringLiteral("При выборе \"Следующий за последним отмеченным\""));
    Label2 = poyasneniye(this, "Label2", QStringLiteral("после ужина будет выбран завтрак:"));
    Label3 = poyasneniye(this, "Label3", QStringLiteral("ночное питание пропускается."));

    auto *zakrit = new QPushButton(QStringLiteral("Закрыть"), this);
    zakrit->setObjectName(QStringLiteral("ButtonZakrit"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(zakrit);
    auto *main = new QVBoxLayout(this);
    main->addWidget(RadioGroupNastrPriStarte);
    main->addWidget(CheckBoxNastrIsklNP);
    main->addWidget(Label1);
    main->addWidget(Label2);
    main->addWidget(Label3);
    main->addLayout(buttons);
    main->setSizeConstraint(QLayout::SetFixedSize);

    connect(RadioGroupNastrPriStarte, &TRadioGroup::itemClicked, this,
            &TFormNastroykiZapuska::ObrabotkaIsklVP);
    connect(zakrit, &QPushButton::clicked, this, &QDialog::accept);
}

void TFormNastroykiZapuska::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    try {
        const auto ini = core::openMainIni();
        RadioGroupNastrPriStarte->setItemIndex(ini->readInt(kSection, QStringLiteral("NastrPriStarte"), 0));
        CheckBoxNastrIsklNP->setChecked(ini->readBool(kSection, QStringLiteral("NastrIsklNP"), false));
    } catch (...) {
    }
    ObrabotkaIsklVP();
}

void TFormNastroykiZapuska::ObrabotkaIsklVP()
{
    const bool on = RadioGroupNastrPriStarte->itemIndex() == kSleduyushchiy;
    for (QWidget *w : std::initializer_list<QWidget *>{CheckBoxNastrIsklNP, Label1, Label2, Label3})
        w->setEnabled(on);
}

void TFormNastroykiZapuska::done(int result)
{
    try {
        const auto ini = core::openMainIni();
        // A value the file held out of range shows no choice; it stays as it was.
        if (RadioGroupNastrPriStarte->itemIndex() >= 0)
            ini->writeInt(kSection, QStringLiteral("NastrPriStarte"), RadioGroupNastrPriStarte->itemIndex());
        ini->writeBool(kSection, QStringLiteral("NastrIsklNP"), CheckBoxNastrIsklNP->isChecked());
        ini->flush();
    } catch (...) {
    }
    QDialog::done(result);
}

} // namespace admin
