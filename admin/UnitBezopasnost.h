#pragma once
#include <QDialog>
#include <QString>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

// The protection settings window "Настройки безопасности": the password
// (twice) and which actions it guards. Made for one opening; the constructor
// fills it from the in-memory settings as its showing does. "Записать"
// stores after the validation and a confirmation and keeps the window open.
class TBezopasnostForm : public QDialog
{
    Q_OBJECT
public:
    explicit TBezopasnostForm(QWidget *parent = nullptr);

    void ZapolnenieFormiBezopasnostIzNastroek();
    void OtrisovkaFormiBezopasnost();
    // Empty when the fields may be stored, else the lines to show.
    QString ZapolnenoVerno() const;
    void ZapisatNastroykiBezopasnosti();
    void ButtonZapisatBezopasnostClick();

private:
    QLineEdit *EditPassword_NB = nullptr;
    QLineEdit *EditPasswordPodtverzhdenie_NB = nullptr;
    QCheckBox *CheckBoxIspolzovatTrebovatParol = nullptr;
    QGroupBox *GroupBoxTrebovatParol = nullptr;
    QCheckBox *CheckBoxPassOtchet = nullptr;
    QCheckBox *CheckBoxPassOchistkaTablits = nullptr;
    QCheckBox *CheckBoxPassUdalenie = nullptr;
    QPushButton *ButtonZapisatBezopasnost = nullptr;
    QPushButton *ButtonZakritBezopasnost = nullptr;
};

namespace admin {
// The menu item and the administration window's button "Безопасность": the
// access check for "Настройки", then the window, modally.
void OtkritNastroykiBezopasnosti(QWidget *parent = nullptr);
} // namespace admin
