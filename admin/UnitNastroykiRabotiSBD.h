#pragma once
#include <QDialog>

class QCheckBox;
class TRadioGroup;

namespace admin {

// "Настройки работы с БД": how the journal selects its rows
// (NastroykiOtboraVBD) and the forced refreshes (RefreshGrid, RefreshQuery),
// in the section Options of CRIni.ini. The file is written however the
// window closes; the refresh flags change in memory only by "Закрыть"; a
// changed selection mode acts at the next start, so the program then closes.
class TNastroykiRabotiSBDForm : public QDialog
{
    Q_OBJECT
public:
    explicit TNastroykiRabotiSBDForm(QWidget *parent = nullptr);

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void ButtonZakrNZClick();

    TRadioGroup *RadioGroupNastroykiOtboraVBD;
    QCheckBox *CheckBoxRefreshGrid;
    QCheckBox *CheckBoxRefreshQuery;
    int m_ishodnyRezhim = 0;
};

} // namespace admin
