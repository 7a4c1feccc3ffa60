#pragma once
#include "scanner/ComPort.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QSpinBox;

namespace scanner {

// The port settings dialog: port (the system's serial ports or any device
// path typed in), baud rate, data bits, stop bits, parity and flow control.
// OK hands the choices back through settings(); the caller applies them.
class ComPortDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ComPortDialog(const ComPortSettings &current, QWidget *parent = nullptr);

    ComPortSettings settings() const;

    void accept() override;

private:
    void updateCustomRate();
    void updatePortHint();

    ComPortSettings m_initial;
    QComboBox *m_port;
    QLabel *m_portHint;
    QComboBox *m_baud;
    QSpinBox *m_customBaud;
    QComboBox *m_dataBits;
    QComboBox *m_stopBits;
    QComboBox *m_parity;
    QComboBox *m_flow;
};

} // namespace scanner
