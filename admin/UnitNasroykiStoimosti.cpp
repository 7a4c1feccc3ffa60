#include "admin/UnitNasroykiStoimosti.h"

#include "admin/PriceEdit.h"
#include "core/IniSettings.h"
#include "core/MessageService.h"
#include "core/ProcessValues.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace admin {

namespace {

const QString kSection = QStringLiteral("Stoimost");
const QString kZero = QStringLiteral("0,00");

QCheckBox *flazhok(QWidget *parent, const char *name, const QString &caption)
{
    auto *c = new QCheckBox(caption, parent);
    c->setObjectName(QLatin1String(name));
    return c;
}

QLineEdit *tsena(QWidget *parent, const char *name)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setAlignment(Qt::AlignRight);
    new PriceKeyFilter(e);
    return e;
}

} // namespace

TNasroykiStoimostiForm::TNasroykiStoimostiForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("NasroykiStoimostiForm"));
    setWindowTitle(QStringLiteral("Настройки стоимости"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    CheckBoxVestiUtchetStoimosti =
        flazhok(this, "CheckBoxVestiUtchetStoimosti", QStringLiteral("Вести учёт стоимости"));
    CheckBoxOtobrazhatPanelVvodaStoimosti = flazhok(
        this, "CheckBoxOtobrazhatPanelVvodaStoimosti", QStringLiteral("Отображать панель ввода стоимости"));
    CheckBoxZapretitVvodNulevoyStoimosti = flazhok(
        this, "CheckBoxZapretitVvodNulevoyStoimosti", QStringLiteral("Запретить ввод нулевой стоимости"));

    GroupBoxNasroykiStoimosti = new QGroupBox(QStringLiteral("Настройки стоимости"), this);
    GroupBoxNasroykiStoimosti->setObjectName(QStringLiteral("GroupBoxNasroykiStoimosti"));
    EditStoimostZavtrak = tsena(GroupBoxNasroykiStoimosti, "EditStoimostZavtrak");
    EditStoimostObed = tsena(GroupBoxNasroykiStoimosti, "EditStoimostObed");
    EditStoimostUzhin = tsena(GroupBoxNasroykiStoimosti, "EditStoimostUzhin");
    EditStoimostNochnoePit = tsena(GroupBoxNasroykiStoimosti, "EditStoimostNochnoePit");
    auto *prices = new QFormLayout(GroupBoxNasroykiStoimosti);
    prices->addRow(QStringLiteral("Завтрак:"), EditStoimostZavtrak);
    prices->addRow(QStringLiteral("Обед:"), EditStoimostObed);
    prices->addRow(QStringLiteral("Ужин:"), EditStoimostUzhin);
    prices->addRow(QStringLiteral("Ночное питание:"), EditStoimostNochnoePit);

    auto *zapisat = new QPushButton(QStringLiteral("Записать"), this);
    zapisat->setObjectName(QStringLiteral("ButtonZapisatStoimost"));
    auto *zakrit = new QPushButton(QStringLiteral("Закрыть"), this);
    zakrit->setObjectName(QStringLiteral("ButtonZakritFormStoimost"));
    for (QPushButton *b : {zapisat, zakrit})
        b->setAutoDefault(false);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(zapisat);
    buttons->addWidget(zakrit);
    auto *main = new QVBoxLayout(this);
    main->addWidget(CheckBoxVestiUtchetStoimosti);
    main->addWidget(CheckBoxOtobrazhatPanelVvodaStoimosti);
    main->addWidget(CheckBoxZapretitVvodNulevoyStoimosti);
    main->addWidget(GroupBoxNasroykiStoimosti);
    main->addLayout(buttons);
    main->setSizeConstraint(QLayout::SetFixedSize);

    connect(CheckBoxVestiUtchetStoimosti, &QCheckBox::clicked, this,
            [this] { OtrisovkaFormiStoimost(); });
    connect(zapisat, &QPushButton::clicked, this, &TNasroykiStoimostiForm::ButtonZapisatStoimostClick);
    connect(zakrit, &QPushButton::clicked, this, &QDialog::reject);
}

void TNasroykiStoimostiForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    ChteniyeIniStoimost();
    OtrisovkaFormiStoimost();
}

void TNasroykiStoimostiForm::ChteniyeIniStoimost()
{
    try {
        const auto ini = core::openMainIni();
        CheckBoxVestiUtchetStoimosti->setChecked(
            ini->readBool(kSection, QStringLiteral("CheckBoxVestiUtchetStoimosti"), false));
        CheckBoxOtobrazhatPanelVvodaStoimosti->setChecked(
            ini->readBool(kSection, QStringLiteral("CheckBoxOtobrazhatPanelVvodaStoimosti"), false));
        CheckBoxZapretitVvodNulevoyStoimosti->setChecked(
            ini->readBool(kSection, QStringLiteral("CheckBoxZapretitVvodNulevoyStoimosti"), false));
        EditStoimostZavtrak->setText(ini->readString(kSection, QStringLiteral("EditStoimostZavtrak"), kZero));
        EditStoimostObed->setText(ini->readString(kSection, QStringLiteral("EditStoimostObed"), kZero));
        EditStoimostUzhin->setText(ini->readString(kSection, QStringLiteral("EditStoimostUzhin"), kZero));
        EditStoimostNochnoePit->setText(
            ini->readString(kSection, QStringLiteral("EditStoimostNochnoePit"), kZero));
    } catch (...) {
        // An unreadable file leaves the defaults in the controls.
    }
}

bool TNasroykiStoimostiForm::OtrisovkaFormiStoimost()
{
    const bool on = CheckBoxVestiUtchetStoimosti->isChecked();
    CheckBoxOtobrazhatPanelVvodaStoimosti->setEnabled(on);
    CheckBoxZapretitVvodNulevoyStoimosti->setEnabled(on);
    GroupBoxNasroykiStoimosti->setEnabled(on);
    const QList<QLineEdit *> edits = {EditStoimostZavtrak, EditStoimostObed, EditStoimostUzhin,
                                      EditStoimostNochnoePit};
    for (QLineEdit *e : edits)
        if (e->text().isEmpty())
            e->setText(QStringLiteral("0"));
    for (QLineEdit *e : edits) {
        const std::optional<QString> price = normalizovatStoimost(e->text());
        if (!price) {
            core::showMessage(soobshcheniyeNeChislo(e->text()), core::Icon::Warning);
            if (e->isEnabled())
                e->setFocus();
            return false;
        }
        e->setText(*price);
    }
    return true;
}

void TNasroykiStoimostiForm::ButtonZapisatStoimostClick()
{
    if (!OtrisovkaFormiStoimost())
        return;   // nothing copied, nothing written: the operator corrects the price
    auto &n = core::pv().Nastroyki;
    n.VestiUtchetStoimosti = CheckBoxVestiUtchetStoimosti->isChecked();
    n.OtobrazhatPanelVvodaStoimosti = CheckBoxOtobrazhatPanelVvodaStoimosti->isChecked();
    n.ZapretitVvodNulevoyStoimosti = CheckBoxZapretitVvodNulevoyStoimosti->isChecked();
    n.StoimostZavtrak = EditStoimostZavtrak->text();
    n.StoimostObed = EditStoimostObed->text();
    n.StoimostUzhin = EditStoimostUzhin->text();
    n.StoimostNochnoePit = EditStoimostNochnoePit->text();
    ZapisIniStoimost();
    accept();
}

void TNasroykiStoimostiForm::ZapisIniStoimost()
{
    try {
        const auto ini = core::openMainIni();
        ini->writeBool(kSection, QStringLiteral("CheckBoxVestiUtchetStoimosti"),
                       CheckBoxVestiUtchetStoimosti->isChecked());
        ini->writeBool(kSection, QStringLiteral("CheckBoxOtobrazhatPanelVvodaStoimosti"),
                       CheckBoxOtobrazhatPanelVvodaStoimosti->isChecked());
        ini->writeBool(kSection, QStringLiteral("CheckBoxZapretitVvodNulevoyStoimosti"),
                       CheckBoxZapretitVvodNulevoyStoimosti->isChecked());
        ini->writeString(kSection, QStringLiteral("EditStoimostZavtrak"), EditStoimostZavtrak->text());
        ini->writeString(kSection, QStringLiteral("EditStoimostObed"), EditStoimostObed->text());
        ini->writeString(kSection, QStringLiteral("EditStoimostUzhin"), EditStoimostUzhin->text());
        ini->writeString(kSection, QStringLiteral("EditStoimostNochnoePit"), EditStoimostNochnoePit->text());
        ini->flush();
    } catch (...) {
        // The memory holds the prices; the file is written at the next save.
    }
}

} // namespace admin
