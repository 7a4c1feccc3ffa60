#pragma once
#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

// The password prompt of the access check. It is made for one asking: the
// constructor prepares it as its showing does (empty field, nothing
// accepted, nothing remembered). Only "OK" with the right password sets the
// prompt result in core::pv().Bezopasnost; "Отмена", Escape and the window
// frame all leave it false.
class TPassEnterForm : public QDialog
{
    Q_OBJECT
public:
    explicit TPassEnterForm(QWidget *parent = nullptr);

    void ButtonEnterPassword_OKClick();
    void ButtonEnterPassword_OtmenaClick();

    void reject() override;

private:
    QLineEdit *EditEnterPassword = nullptr;
    QCheckBox *CheckBoxNeZaprashivatVTekSessii = nullptr;
    QPushButton *ButtonEnterPassword_OK = nullptr;
    QPushButton *ButtonEnterPassword_Otmena = nullptr;
};
