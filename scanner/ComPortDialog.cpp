#include "scanner/ComPortDialog.h"

#include "core/MessageService.h"
#include "core/TextUtil.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSpinBox>
#include <QVBoxLayout>

namespace scanner {

namespace {

QComboBox *combo(QWidget *parent, const char *name)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    return box;
}

void selectData(QComboBox *box, const QVariant &value)
{
    const int i = box->findData(value);
    box->setCurrentIndex(i < 0 ? 0 : i);
}

} // namespace

ComPortDialog::ComPortDialog(const ComPortSettings &current, QWidget *parent)
    : QDialog(parent), m_initial(current)
{
    setObjectName(QStringLiteral("ComPortDialog"));
    setWindowTitle(QStringLiteral("Настройки порта сканера"));

    m_port = combo(this, "ComboBoxPort");
    m_port->setEditable(true);
    m_port->setInsertPolicy(QComboBox::NoInsert);
    m_port->lineEdit()->setPlaceholderText(QStringLiteral("COM1, ttyUSB0 или /dev/..."));
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        m_port->addItem(info.portName(), info.description());
    m_port->setEditText(current.port);
    m_portHint = new QLabel(this);
    m_portHint->setObjectName(QStringLiteral("LabelPortDevice"));
    connect(m_port, &QComboBox::editTextChanged, this, &ComPortDialog::updatePortHint);

    m_baud = combo(this, "ComboBoxBaudRate");
    for (const QString &name : baudRateNames()) {
        if (name == QLatin1String("Custom"))
            continue;
        m_baud->addItem(name, name.toInt());
    }
    m_baud->addItem(QStringLiteral("Другая"), ComPortSettings::kCustomBaud);
    m_customBaud = new QSpinBox(this);
    m_customBaud->setObjectName(QStringLiteral("SpinBoxCustomBaudRate"));
    m_customBaud->setRange(1, 4000000);
    m_customBaud->setValue(current.customBaudRate);
    const int baudIndex = m_baud->findData(current.baudRate);
    m_baud->setCurrentIndex(baudIndex < 0 ? m_baud->findData(9600) : baudIndex);
    connect(m_baud, &QComboBox::currentIndexChanged, this, &ComPortDialog::updateCustomRate);

    m_dataBits = combo(this, "ComboBoxDataBits");
    for (int bits = 5; bits <= 8; ++bits)
        m_dataBits->addItem(QString::number(bits), bits);
    selectData(m_dataBits, int(current.dataBits));

    m_stopBits = combo(this, "ComboBoxStopBits");
    m_stopBits->addItem(QStringLiteral("1"), int(StopBits::One));
    m_stopBits->addItem(QStringLiteral("1,5"), int(StopBits::OneAndHalf));
    m_stopBits->addItem(QStringLiteral("2"), int(StopBits::Two));
    selectData(m_stopBits, int(current.stopBits));

    m_parity = combo(this, "ComboBoxParity");
    m_parity->addItem(QStringLiteral("Нет"), int(QSerialPort::NoParity));
    m_parity->addItem(QStringLiteral("Нечётность"), int(QSerialPort::OddParity));
    m_parity->addItem(QStringLiteral("Чётность"), int(QSerialPort::EvenParity));
    m_parity->addItem(QStringLiteral("Маркер (1)"), int(QSerialPort::MarkParity));
    m_parity->addItem(QStringLiteral("Пробел (0)"), int(QSerialPort::SpaceParity));
    selectData(m_parity, int(current.parity));

    m_flow = combo(this, "ComboBoxFlowControl");
    m_flow->addItem(QStringLiteral("Нет"), int(FlowControl::None));
    m_flow->addItem(QStringLiteral("Аппаратное (RTS/CTS)"), int(FlowControl::Hardware));
    m_flow->addItem(QStringLiteral("Программное (XON/XOFF)"), int(FlowControl::Software));
    selectData(m_flow, int(current.flow));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Порт:"), m_port);
    form->addRow(QString(), m_portHint);
    form->addRow(QStringLiteral("Скорость, бод:"), m_baud);
    form->addRow(QStringLiteral("Другая скорость:"), m_customBaud);
    form->addRow(QStringLiteral("Биты данных:"), m_dataBits);
    form->addRow(QStringLiteral("Стоповые биты:"), m_stopBits);
    form->addRow(QStringLiteral("Чётность:"), m_parity);
    form->addRow(QStringLiteral("Управление потоком:"), m_flow);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("ButtonBox"));
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &ComPortDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ComPortDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    updateCustomRate();
    updatePortHint();
}

ComPortSettings ComPortDialog::settings() const
{
    ComPortSettings s = m_initial;
    s.port = core::trimCodes(m_port->currentText());
    s.baudRate = m_baud->currentData().toInt();
    if (s.baudRate == ComPortSettings::kCustomBaud)
        s.customBaudRate = m_customBaud->value();
    s.dataBits = QSerialPort::DataBits(m_dataBits->currentData().toInt());
    s.stopBits = StopBits(m_stopBits->currentData().toInt());
    s.parity = QSerialPort::Parity(m_parity->currentData().toInt());
    s.flow = FlowControl(m_flow->currentData().toInt());
    return s;
}

void ComPortDialog::accept()
{
    if (core::trimCodes(m_port->currentText()).isEmpty()) {
        core::showMessage(QStringLiteral("Укажите порт сканера: выберите его из списка или введите "
                                         "путь к устройству."),
                          core::Icon::Warning);
        return;
    }
    QDialog::accept();
}

void ComPortDialog::updateCustomRate()
{
    m_customBaud->setEnabled(m_baud->currentData().toInt() == ComPortSettings::kCustomBaud);
}

void ComPortDialog::updatePortHint()
{
    const QString name = core::trimCodes(m_port->currentText());
    const int i = m_port->findText(name);
    const QString description = i >= 0 ? m_port->itemData(i).toString() : QString();
    const QString device = name.isEmpty() ? QString() : devicePath(name);
    m_portHint->setText(description.isEmpty() ? device
                                              : QStringLiteral("%1 — %2").arg(device, description));
}

} // namespace scanner
