#include "scanner/ScannerController.h"

#include "core/Error.h"
#include "core/MessageService.h"
#include "core/ProcessValues.h"
#include "scanner/ComPort.h"
#include "scanner/ExchangeFlag.h"

namespace scanner {

bool &ScanerIspolzovanieObmen()
{
    static bool flag = false;
    return flag;
}

ScannerController::ScannerController(QObject *parent)
    : QObject(parent), m_port(std::make_unique<ComPort>())
{
    connect(m_port.get(), &ComPort::received, this, &ScannerController::onReceived);
    connect(m_port.get(), &ComPort::lost, this, &ScannerController::onLost);
    // Garbled characters mostly mean a wrong rate or parity, or a bad cable.
    connect(m_port.get(), &ComPort::noiseDropped, this, [this] {
        emit statusMessage(QStringLiteral(
            "Сканер штрихкодов: принятые знаки не похожи на штрихкод и отброшены. Проверьте кабель "
            "и настройки порта (скорость, чётность) в окне «Настройки сканера»."));
    });
}

ScannerController::~ScannerController() = default;

void ScannerController::ObnovitRabotuSoScanerom()
{
    try {
        m_port->loadSettings(comIniPath());
        if (core::pv().Nastroyki.ScanerIspolzovanie)
            m_port->open();
        else
            m_port->close();
    } catch (const core::Error &e) {
        m_port->close();
        core::showError(e, false);
    }
}

void ScannerController::close() { m_port->close(); }

bool ScannerController::isOpen() const { return m_port->connected(); }

void ScannerController::saveSettings()
{
    try {
        m_port->storeSettings(comIniPath());
    } catch (const core::Error &) {
        // Shutdown must always finish; the next start reads the old file.
    }
}

void ScannerController::beginSettingsWindow()
{
    ScanerIspolzovanieObmen() = core::pv().Nastroyki.ScanerIspolzovanie;
    close();
}

void ScannerController::endSettingsWindow()
{
    core::pv().Nastroyki.ScanerIspolzovanie = ScanerIspolzovanieObmen();
    ScanerIspolzovanieObmen() = false;
    ObnovitRabotuSoScanerom();
}

ComPort &ScannerController::port() { return *m_port; }

void ScannerController::onReceived(const QString &text) { emit barcodeReceived(text); }

void ScannerController::onLost(const QString &message) { emit statusMessage(message); }

} // namespace scanner
