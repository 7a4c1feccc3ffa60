#pragma once
#include <QDialog>

class QCheckBox;
class QLineEdit;

namespace admin {

// "Настройки": the name of the catering facility, the database connection
// (file, login, password), the two registration options, and the buttons
// that open every other settings window. Its settings are stored however it
// closes; a changed connection acts only at the next start, so the program
// then closes through the main window's normal closing.
class TAdminToolsForm : public QDialog
{
    Q_OBJECT
public:
    explicit TAdminToolsForm(QWidget *parent = nullptr);

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormShow();
    bool FormCloseQuery();
    void BPutKFayluBDEditClick();

    void ButtonNastroykiZapuskaClick();
    void NastrSchitivatelyaClick();
    void ButtonNastroykiBezopasnostiClick();
    void ButtonNasroykiStoimostiClick();
    void ButtonNastrScanerClick();
    void ButtonNastrPhotoClick();
    void ButtonNastrRabotiSBDClick();
    void ButtonOchistkaTablitsBaziClick();

    QLineEdit *NameOP;
    QLineEdit *EditPutKFayluBD;
    QLineEdit *EditLogin;
    QLineEdit *EditPassword;
    QCheckBox *CheckBoxPreduprezhdatEsliDataPitNeTekushaya;
    QCheckBox *CheckBoxRazreshitPitaniyeNeskolkoRaz;

    // The connection as shown at opening, compared at closing.
    QString m_ishodnyPut;
    QString m_ishodnyLogin;
    QString m_ishodnyParol;
    bool m_parolPerenesen = false; // a password moved out of the server URL
};

} // namespace admin
