#pragma once
#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLineEdit;

namespace admin {

// "Настройки стоимости": price keeping, the entry panel, the zero-price
// refusal and one price per meal type, in the section Stoimost of CRIni.ini.
// "Записать" saves into memory (the next registration uses it at once) and
// into the file; "Закрыть" leaves everything as it was.
class TNasroykiStoimostiForm : public QDialog
{
    Q_OBJECT
public:
    explicit TNasroykiStoimostiForm(QWidget *parent = nullptr);

    void ChteniyeIniStoimost();
    // Enables the controls as price keeping says and writes every price back
    // in the program's form; false (the message shown) when a price is no
    // number.
    bool OtrisovkaFormiStoimost();
    void ZapisIniStoimost();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void ButtonZapisatStoimostClick();

    QCheckBox *CheckBoxVestiUtchetStoimosti;
    QCheckBox *CheckBoxOtobrazhatPanelVvodaStoimosti;
    QCheckBox *CheckBoxZapretitVvodNulevoyStoimosti;
    QGroupBox *GroupBoxNasroykiStoimosti;
    QLineEdit *EditStoimostZavtrak;
    QLineEdit *EditStoimostObed;
    QLineEdit *EditStoimostUzhin;
    QLineEdit *EditStoimostNochnoePit;
};

} // namespace admin
