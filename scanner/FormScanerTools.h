#pragma once
#include <QDialog>
#include <memory>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace scanner {

class ComPort;

// "Настройки сканера": the scanner flag, the port settings and a test of the
// port with a port of its own. Created for one opening (by the administration
// window); only "Сохранить и закрыть" stores anything, and the test port
// closes with the window.
class TFormScanerTools : public QDialog
{
    Q_OBJECT
public:
    explicit TFormScanerTools(QWidget *parent = nullptr);
    ~TFormScanerTools() override;

    // Flag from the exchange flag, port settings from CRCom.ini; errors ignored.
    void NachaloRabotiSComP();
    // Exchange flag from the check box, port settings into CRCom.ini; errors ignored.
    void ZapisatNastroyki();

    ComPort &port();

    void done(int result) override;

private:
    void ButtonNastroitComClick();
    void ButtonEditProverkaComClClick();
    void ButtonProveritScanerClick();
    void ButtonSaveScanToolsClick();
    void ComPortRxChar(const QString &text);

    std::unique_ptr<ComPort> m_port;
    QCheckBox *CheckBoxIspolzovatScaner;
    QPushButton *ButtonNastroitCom;
    QLineEdit *EditProverkaCom;
    QPushButton *ButtonEditProverkaComCl;
    QPushButton *ButtonProveritScaner;
    QPushButton *ButtonSaveScanTools;
};

} // namespace scanner
