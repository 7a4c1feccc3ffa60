#include "scanner/FormScanerTools.h"

#include "core/Error.h"
#include "core/FieldButton.h"
#include "core/MessageService.h"
#include "scanner/ComPort.h"
#include "scanner/ComPortDialog.h"
#include "scanner/ExchangeFlag.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace scanner {

TFormScanerTools::TFormScanerTools(QWidget *parent)
    : QDialog(parent), m_port(std::make_unique<ComPort>())
{
    setObjectName(QStringLiteral("FormScanerTools"));
    setWindowTitle(QStringLiteral("Настройки сканера"));

    CheckBoxIspolzovatScaner = new QCheckBox(QStringLiteral("Использовать сканер штрихкодов"), this);
    CheckBoxIspolzovatScaner->setObjectName(QStringLiteral("CheckBoxIspolzovatScaner"));
    ButtonNastroitCom = core::makeButton("ButtonNastroitCom", QStringLiteral("Настройки сканера"), this);
    EditProverkaCom = new QLineEdit(this);
    EditProverkaCom->setObjectName(QStringLiteral("EditProverkaCom"));
    EditProverkaCom->setReadOnly(true);
    ButtonEditProverkaComCl = core::makeFieldButton(
        core::FieldButton::Clear, QStringLiteral("ButtonEditProverkaComCl"), this,
        QStringLiteral("Очистить поле проверки"));
    ButtonProveritScaner = core::makeButton("ButtonProveritScaner", QStringLiteral("Проверить сканер"), this);
    ButtonSaveScanTools = core::makeButton("ButtonSaveScanTools", QStringLiteral("Сохранить и закрыть"), this);

    auto *test = new QHBoxLayout;
    test->addWidget(EditProverkaCom, 1);
    test->addWidget(ButtonEditProverkaComCl);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(CheckBoxIspolzovatScaner);
    layout->addWidget(ButtonNastroitCom);
    layout->addLayout(test);
    layout->addWidget(ButtonProveritScaner);
    layout->addStretch();
    layout->addWidget(ButtonSaveScanTools);

    connect(ButtonNastroitCom, &QPushButton::clicked, this, &TFormScanerTools::ButtonNastroitComClick);
    connect(ButtonEditProverkaComCl, &QPushButton::clicked, this,
            &TFormScanerTools::ButtonEditProverkaComClClick);
    connect(ButtonProveritScaner, &QPushButton::clicked, this,
            &TFormScanerTools::ButtonProveritScanerClick);
    connect(ButtonSaveScanTools, &QPushButton::clicked, this,
            &TFormScanerTools::ButtonSaveScanToolsClick);
    connect(m_port.get(), &ComPort::received, this, &TFormScanerTools::ComPortRxChar);

    // The window lives for one opening, so taking the values here is taking
    // them when it is shown.
    NachaloRabotiSComP();
}

TFormScanerTools::~TFormScanerTools() = default;

void TFormScanerTools::NachaloRabotiSComP()
{
    CheckBoxIspolzovatScaner->setChecked(ScanerIspolzovanieObmen());
    try {
        m_port->loadSettings(comIniPath());
    } catch (const core::Error &) {
        // An unreadable CRCom.ini leaves the defaults; saving writes a good one.
    }
}

void TFormScanerTools::ZapisatNastroyki()
{
    ScanerIspolzovanieObmen() = CheckBoxIspolzovatScaner->isChecked();
    try {
        m_port->storeSettings(comIniPath());
    } catch (const core::Error &) {
    }
}

ComPort &TFormScanerTools::port() { return *m_port; }

void TFormScanerTools::done(int result)
{
    // However the window closes, the test port is given back, so the main
    // window can open the device again.
    m_port->close();
    QDialog::done(result);
}

void TFormScanerTools::ButtonNastroitComClick()
{
    ComPortDialog dialog(m_port->settings(), this);
    if (core::execModal(dialog) != QDialog::Accepted)
        return;
    try {
        m_port->setSettings(dialog.settings());
    } catch (const core::Error &e) {
        core::showError(e, false);
    }
}

void TFormScanerTools::ButtonEditProverkaComClClick() { EditProverkaCom->clear(); }

void TFormScanerTools::ButtonProveritScanerClick()
{
    if (!CheckBoxIspolzovatScaner->isChecked()) {
        core::showMessage(QStringLiteral("Галочка \"Использовать сканер штрихкодов\" не установлена"));
        return;
    }
    try {
        m_port->open(); // an open port stays as it is
    } catch (const core::Error &e) {
        core::showError(e, false);
    }
}

void TFormScanerTools::ButtonSaveScanToolsClick()
{
    ZapisatNastroyki();
    accept(); // done() closes the port
}

void TFormScanerTools::ComPortRxChar(const QString &text) { EditProverkaCom->setText(text); }

} // namespace scanner
