#pragma once
#include <QObject>
#include <QString>
#include <memory>

namespace scanner {

class ComPort;

// The main window's barcode scanner: its serial port and the port's settings
// in CRCom.ini. The main window owns one (as a child), connects
// barcodeReceived to its ComPortRxChar (replace GLEditShtrKod's whole text,
// then ObrabotkaShtrichKoda) and statusMessage to its status bar.
//
// Main window duties:
//   first showing, once connected:  ObnovitRabotuSoScanerom();
//   "Настройки":                    beginSettingsWindow(); <administration window>;
//                                   endSettingsWindow();
//   shutdown (GL_ZavershenieRaboti): close(); saveSettings();
//                                   (the flag itself goes to CRIni.ini with the
//                                   other main-window keys)
class ScannerController : public QObject
{
    Q_OBJECT
public:
    explicit ScannerController(QObject *parent = nullptr);
    ~ScannerController() override;

    // Loads the port settings from CRCom.ini; opens the port when
    // core::pv().Nastroyki.ScanerIspolzovanie is on and it is not open yet,
    // closes it when the flag is off. Any error: one message (class name +
    // " Ошибка с сообщением: " + what to do); the scanner stays closed and the
    // program goes on.
    void ObnovitRabotuSoScanerom();

    // Closes the port if it is open; errors are ignored.
    void close();
    bool isOpen() const;

    // Stores the port settings into CRCom.ini; errors are ignored.
    void saveSettings();

    // Around the administration window: copies the scanner flag into the
    // exchange flag and frees the port, so the settings window can test the
    // same port; afterwards takes the exchange flag back, clears it and runs
    // ObnovitRabotuSoScanerom.
    void beginSettingsWindow();
    void endSettingsWindow();

    ComPort &port();

signals:
    // One scanned code, without its line ending (NUL bytes left out, bytes
    // as Latin-1): ComPortRxChar of the main window. Handed out by a queued
    // call, so a message box it opens does not hold up the line.
    void barcodeReceived(const QString &text);
    // A text for the main window's status bar (the scanner was unplugged,
    // line noise was dropped).
    void statusMessage(const QString &text);

private:
    void onReceived(const QString &text);
    void onLost(const QString &message);

    std::unique_ptr<ComPort> m_port;
};

} // namespace scanner
