#pragma once
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>

#include "scanner/CodeAssembler.h"

namespace core {
class IniFile;
}

namespace scanner {

// The class name every error of the serial layer carries in front of
// " Ошибка с сообщением: ".
inline constexpr const char *kComPortError = "EComPort";

enum class StopBits { One, OneAndHalf, Two };
enum class FlowControl { None, Hardware, Software };

// The line settings of a scanner port as CRCom.ini keeps them.
struct ComPortSettings
{
    static constexpr int kCustomBaud = 0; // baudRate value meaning "Custom"

    QString port = QStringLiteral("COM1");
    int baudRate = 1200; // one of baudRateNames(), or kCustomBaud
    int customBaudRate = 9600;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    StopBits stopBits = StopBits::One;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    FlowControl flow = FlowControl::None;

    // The rate the line really runs at.
    int effectiveBaudRate() const { return baudRate == kCustomBaud ? customBaudRate : baudRate; }
    bool operator==(const ComPortSettings &) const = default;
};

// The values of the "BaudRate" key: "Custom" first, then the rates.
const QStringList &baudRateNames();

// Reads section "ComPort" into `s`: a missing key keeps the value `s` holds,
// values match without regard to case, a value outside the list reads as
// 9600 / 1 / 8 / None / Custom (Custom leaves the flow settings as they are).
void loadComPortSettings(const core::IniFile &ini, ComPortSettings &s);
// Writes the basic keys; "CustomBaudRate" only with "BaudRate" = "Custom".
void storeComPortSettings(core::IniFile &ini, const ComPortSettings &s);

// CRCom.ini in the program folder.
QString comIniPath();

// The device behind a port name: "COMn" is /dev/ttyS(n-1), a name beginning
// with "/" is a path used as it stands, anything else lives under /dev.
QString devicePath(const QString &portName);

// A serial port that a barcode scanner writes plain text to. Received bytes
// become characters of the same code (Latin-1); NUL bytes are dropped as the
// line discards them. The bytes are taken from the line as soon as they
// arrive and joined into whole codes (CodeAssembler); each code is handed
// out by its own queued call, never from inside the line's notification, so
// a message box that a code opens does not stop the reading of the next one.
// Lives on the UI thread.
class ComPort : public QObject
{
    Q_OBJECT
public:
    explicit ComPort(QObject *parent = nullptr);
    ~ComPort() override;

    const ComPortSettings &settings() const { return m_settings; }
    // Takes effect at once: an open port is reopened with the new settings
    // (a failing reopen raises core::Error and leaves it closed).
    void setSettings(const ComPortSettings &s);

    // Raises core::Error(kComPortError, what happened and what to do).
    void open();
    void close() noexcept;
    bool connected() const;
    // The line as the serial layer holds it (rates, parity, errors).
    const QSerialPort &line() const { return *m_serial; }

    // Missing file: nothing changes. Raises core::Error when it exists but
    // cannot be read.
    void loadSettings(const QString &iniPath);
    // Raises core::Error when the file cannot be written.
    void storeSettings(const QString &iniPath) const;

signals:
    // One code as the scanner sent it, without its line ending.
    void received(const QString &text);
    // Characters that were no code (line noise) have been dropped.
    void noiseDropped();
    // The open port stopped working (device unplugged); it has been closed.
    void lost(const QString &message);

private:
    void applyLine();
    void onReadyRead();
    void onQuiet();
    void take(const CodeAssembler::Result &r);
    void scheduleDelivery();
    void deliverOne();
    void onError(QSerialPort::SerialPortError error);

    ComPortSettings m_settings;
    std::unique_ptr<QSerialPort> m_serial;
    bool m_lostReported = false;
    CodeAssembler m_assembler;
    QTimer m_quiet;              // ends a code that comes without ending
    QStringList m_codes;         // assembled, not yet handed out
    bool m_deliveryQueued = false;
};

} // namespace scanner
