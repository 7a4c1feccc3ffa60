#include "scanner/ComPort.h"

#include "core/AppPaths.h"
#include "core/Error.h"
#include "core/IniSettings.h"
#include "core/TextUtil.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <optional>

#include <poll.h>
#include <unistd.h>

namespace scanner {

namespace {

const QString kSection = QStringLiteral("ComPort");

[[noreturn]] void fail(const QString &message) { throw core::Error(kComPortError, message); }

// The key's value when present; nullopt keeps the current setting.
std::optional<QString> keyValue(const core::IniFile &ini, const QString &key)
{
    if (!ini.hasKey(kSection, key))
        return std::nullopt;
    return core::trimCodes(ini.readString(kSection, key, QString()));
}

bool same(const QString &a, const char *b) { return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0; }

QString stopBitsName(StopBits s)
{
    switch (s) {
    case StopBits::One: return QStringLiteral("1");
    case StopBits::OneAndHalf: return QStringLiteral("1.5");
    case StopBits::Two: return QStringLiteral("2");
    }
    return QStringLiteral("1");
}

QString parityName(QSerialPort::Parity p)
{
    switch (p) {
    case QSerialPort::OddParity: return QStringLiteral("Odd");
    case QSerialPort::EvenParity: return QStringLiteral("Even");
    case QSerialPort::MarkParity: return QStringLiteral("Mark");
    case QSerialPort::SpaceParity: return QStringLiteral("Space");
    default: return QStringLiteral("None");
    }
}

QString flowName(FlowControl f)
{
    switch (f) {
    case FlowControl::Hardware: return QStringLiteral("Hardware");
    case FlowControl::Software: return QStringLiteral("Software");
    case FlowControl::None: break;
    }
    return QStringLiteral("None");
}

QString portLabel(const QString &port, const QString &device)
{
    return port == device ? QStringLiteral("«%1»").arg(port)
                          : QStringLiteral("«%1» (%2)").arg(port, device);
}

QString openFailureText(QSerialPort::SerialPortError error, const QString &port,
                        const QString &device, const QString &systemText)
{
    const QString label = portLabel(port, device);
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return QStringLiteral("Порт %1 не найден. Подключите сканер или выберите существующий порт "
                              "в окне «Настройки сканера».")
            .arg(label);
    case QSerialPort::PermissionError: {
        // Qt reports a port held by another program and a port we may not
        // open alike; the access rights tell them apart.
        if (::access(QFile::encodeName(device).constData(), R_OK) == 0)
            return QStringLiteral("Порт %1 занят другой программой. Закройте её или выберите другой "
                                  "порт в окне «Настройки сканера».")
                .arg(label);
        QString group = QFileInfo(device).group();
        if (group.isEmpty() || group == QLatin1String("root"))
            group = QStringLiteral("dialout");
        return QStringLiteral("Нет доступа к порту %1. Добавьте пользователя в группу %2 "
                              "(sudo usermod -aG %2 имя_пользователя) и войдите в систему заново.")
            .arg(label, group);
    }
    default:
        return QStringLiteral("Не удалось открыть порт %1: %2. Проверьте подключение сканера и "
                              "настройки порта.")
            .arg(label, systemText);
    }
}

bool lineHungUp(int fd)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

} // namespace

const QStringList &baudRateNames()
{
    static const QStringList names = {
        QStringLiteral("Custom"), QStringLiteral("110"),    QStringLiteral("300"),
        QStringLiteral("600"),    QStringLiteral("1200"),   QStringLiteral("2400"),
        QStringLiteral("4800"),   QStringLiteral("9600"),   QStringLiteral("14400"),
        QStringLiteral("19200"),  QStringLiteral("38400"),  QStringLiteral("56000"),
        QStringLiteral("57600"),  QStringLiteral("115200"), QStringLiteral("128000"),
        QStringLiteral("256000")};
    return names;
}

void loadComPortSettings(const core::IniFile &ini, ComPortSettings &s)
{
    if (auto v = keyValue(ini, QStringLiteral("Port")))
        s.port = *v;

    if (auto v = keyValue(ini, QStringLiteral("BaudRate"))) {
        if (same(*v, "Custom")) {
            s.baudRate = ComPortSettings::kCustomBaud;
            const int rate = ini.readInt(kSection, QStringLiteral("CustomBaudRate"), 9600);
            s.customBaudRate = rate > 0 ? rate : 9600;
        } else if (baudRateNames().contains(*v)) {
            s.baudRate = v->toInt();
        } else {
            s.baudRate = 9600;
        }
    }

    if (auto v = keyValue(ini, QStringLiteral("StopBits"))) {
        if (*v == QLatin1String("1.5"))
            s.stopBits = StopBits::OneAndHalf;
        else if (*v == QLatin1String("2"))
            s.stopBits = StopBits::Two;
        else
            s.stopBits = StopBits::One;
    }

    if (auto v = keyValue(ini, QStringLiteral("DataBits"))) {
        const int bits = v->toInt();
        s.dataBits = bits >= 5 && bits <= 8 && v->size() == 1 ? QSerialPort::DataBits(bits)
                                                              : QSerialPort::Data8;
    }

    if (auto v = keyValue(ini, QStringLiteral("Parity"))) {
        if (same(*v, "Odd"))
            s.parity = QSerialPort::OddParity;
        else if (same(*v, "Even"))
            s.parity = QSerialPort::EvenParity;
        else if (same(*v, "Mark"))
            s.parity = QSerialPort::MarkParity;
        else if (same(*v, "Space"))
            s.parity = QSerialPort::SpaceParity;
        else
            s.parity = QSerialPort::NoParity;
    }

    // "Custom" and anything unknown leave the flow settings as they are.
    if (auto v = keyValue(ini, QStringLiteral("FlowControl"))) {
        if (same(*v, "None"))
            s.flow = FlowControl::None;
        else if (same(*v, "Hardware"))
            s.flow = FlowControl::Hardware;
        else if (same(*v, "Software"))
            s.flow = FlowControl::Software;
    }
}

void storeComPortSettings(core::IniFile &ini, const ComPortSettings &s)
{
    ini.writeString(kSection, QStringLiteral("Port"), s.port);
    if (s.baudRate == ComPortSettings::kCustomBaud) {
        ini.writeString(kSection, QStringLiteral("BaudRate"), QStringLiteral("Custom"));
        ini.writeInt(kSection, QStringLiteral("CustomBaudRate"), s.customBaudRate);
    } else {
        ini.writeString(kSection, QStringLiteral("BaudRate"), QString::number(s.baudRate));
    }
    ini.writeString(kSection, QStringLiteral("StopBits"), stopBitsName(s.stopBits));
    ini.writeString(kSection, QStringLiteral("DataBits"), QString::number(int(s.dataBits)));
    ini.writeString(kSection, QStringLiteral("Parity"), parityName(s.parity));
    ini.writeString(kSection, QStringLiteral("FlowControl"), flowName(s.flow));
}

QString comIniPath() { return core::programFile(QStringLiteral("CRCom.ini")); }

QString devicePath(const QString &portName)
{
    const QString name = core::trimCodes(portName);
    static const QRegularExpression com(QStringLiteral("^COM([0-9]{1,3})$"),
                                        QRegularExpression::CaseInsensitiveOption);
    if (const auto m = com.match(name); m.hasMatch()) {
        const int n = m.captured(1).toInt();
        if (n >= 1)
            return QStringLiteral("/dev/ttyS%1").arg(n - 1);
    }
    if (name.startsWith(QLatin1Char('/')))
        return name;
    return QStringLiteral("/dev/") + name;
}

ComPort::ComPort(QObject *parent) : QObject(parent), m_serial(std::make_unique<QSerialPort>())
{
    m_quiet.setSingleShot(true);
    connect(&m_quiet, &QTimer::timeout, this, &ComPort::onQuiet);
    connect(m_serial.get(), &QSerialPort::readyRead, this, &ComPort::onReadyRead);
    connect(m_serial.get(), &QSerialPort::errorOccurred, this, &ComPort::onError);
}

ComPort::~ComPort() { close(); }

void ComPort::setSettings(const ComPortSettings &s)
{
    const bool wasOpen = connected();
    if (wasOpen && s == m_settings)
        return;
    // An open port is reopened rather than changed line by line: that is the
    // one path every setting is known to take (a pseudo-terminal, for one,
    // refuses live changes of data bits and parity that it accepts at open).
    close();
    m_settings = s;
    if (wasOpen)
        open();
}

void ComPort::applyLine()
{
    // Linux has no 1.5 stop bits; two are sent instead, which a receiving
    // UART accepts the same (it checks only the first stop bit).
    const auto stop = m_settings.stopBits == StopBits::One ? QSerialPort::OneStop
                                                           : QSerialPort::TwoStop;
    const auto flow = m_settings.flow == FlowControl::Hardware ? QSerialPort::HardwareControl
                      : m_settings.flow == FlowControl::Software ? QSerialPort::SoftwareControl
                                                                 : QSerialPort::NoFlowControl;
    // On a closed port these only record the values; open() applies them.
    m_serial->setBaudRate(m_settings.effectiveBaudRate());
    m_serial->setDataBits(m_settings.dataBits);
    m_serial->setParity(m_settings.parity);
    m_serial->setStopBits(stop);
    m_serial->setFlowControl(flow);
}

void ComPort::open()
{
    if (connected())
        return;
    if (core::trimCodes(m_settings.port).isEmpty())
        fail(QStringLiteral("Порт сканера не указан. Выберите порт в окне «Настройки сканера»."));

    const QString device = devicePath(m_settings.port);
    m_serial->setPortName(device);
    applyLine();
    m_lostReported = false;
    if (!m_serial->open(QIODevice::ReadOnly)) {
        const auto error = m_serial->error();
        const QString text = m_serial->errorString();
        m_serial->clearError();
        fail(openFailureText(error, m_settings.port, device, text));
    }
    // DTR on, RTS off unless it does the handshake. A pseudo-terminal has
    // neither line and refuses both: that costs the scanner nothing.
    if (!m_serial->setDataTerminalReady(true))
        m_serial->clearError();
    if (m_settings.flow != FlowControl::Hardware && !m_serial->setRequestToSend(false))
        m_serial->clearError();
}

void ComPort::close() noexcept
{
    if (m_serial->isOpen())
        m_serial->close();
    m_serial->clearError();
    // Half a code or codes not handed out yet belong to the line just closed.
    m_quiet.stop();
    m_assembler.clear();
    m_codes.clear();
}

bool ComPort::connected() const { return m_serial->isOpen(); }

void ComPort::loadSettings(const QString &iniPath)
{
    const QFileInfo info(iniPath);
    if (!info.exists())
        return;
    if (!info.isReadable())
        fail(QStringLiteral("Файл настроек порта «%1» не читается. Разрешите его чтение "
                            "пользователю программы.")
                 .arg(iniPath));
    const core::IniFile ini(iniPath);
    ComPortSettings s = m_settings;
    loadComPortSettings(ini, s);
    setSettings(s);
}

void ComPort::storeSettings(const QString &iniPath) const
{
    core::IniFile ini(iniPath);
    storeComPortSettings(ini, m_settings);
    if (!ini.flush())
        fail(QStringLiteral("Не удалось записать файл настроек порта «%1».").arg(iniPath));
}

void ComPort::onReadyRead()
{
    // Only read and split here: Qt does not notify again while this runs.
    take(m_assembler.feed(m_serial->readAll()));
    if (m_assembler.holdsLine()) {
        const int bits = 1 + int(m_settings.dataBits)
            + (m_settings.parity == QSerialPort::NoParity ? 0 : 1)
            + (m_settings.stopBits == StopBits::One ? 1 : 2);
        m_quiet.start(quietGapMs(m_settings.effectiveBaudRate(), bits));
    } else {
        m_quiet.stop();
    }
}

void ComPort::onQuiet() { take(m_assembler.flush()); }

void ComPort::take(const CodeAssembler::Result &r)
{
    if (r.noise > 0)
        emit noiseDropped();
    if (r.codes.isEmpty())
        return;
    m_codes << r.codes;
    scheduleDelivery();
}

void ComPort::scheduleDelivery()
{
    if (m_deliveryQueued)
        return;
    m_deliveryQueued = true;
    QMetaObject::invokeMethod(this, &ComPort::deliverOne, Qt::QueuedConnection);
}

void ComPort::deliverOne()
{
    m_deliveryQueued = false;
    if (m_codes.isEmpty())
        return;
    const QString code = m_codes.takeFirst();
    // The rest follow even while a box opened for this one is up, so they
    // reach the registration's queue in the order they were scanned.
    if (!m_codes.isEmpty())
        scheduleDelivery();
    emit received(code);
}

void ComPort::onError(QSerialPort::SerialPortError error)
{
    // Only a failing read of an open port can mean the device went away; the
    // refused DTR/RTS calls of a pseudo-terminal and the like are harmless.
    if ((error != QSerialPort::ResourceError && error != QSerialPort::ReadError) || !connected()
        || m_lostReported)
        return;
    // A read error may be a passing wake-up with nothing to read; the line
    // is gone only when it has hung up (a closed pty ends reads this way).
    if (error == QSerialPort::ReadError && !lineHungUp(int(m_serial->handle()))) {
        m_serial->clearError();
        return;
    }
    m_lostReported = true;
    const QString message =
        QStringLiteral("Сканер штрихкодов отключился: порт %1 недоступен. Подключите сканер; "
                       "порт откроется снова после окна «Настройки».")
            .arg(portLabel(m_settings.port, devicePath(m_settings.port)));
    // Qt is still inside its read handler here: close once it has returned.
    QMetaObject::invokeMethod(
        this,
        [this, message] {
            close();
            emit lost(message);
        },
        Qt::QueuedConnection);
}

} // namespace scanner
