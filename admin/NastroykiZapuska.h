#pragma once
#include <QDialog>

class QCheckBox;
class QLabel;
class TRadioGroup;

namespace admin {

// "Настройки запуска": the meal type chosen at start (section VidPitaniya,
// NastrPriStarte and NastrIsklNP). Written to CRIni.ini however it closes;
// nothing changes in memory, the settings act at the next start.
class TFormNastroykiZapuska : public QDialog
{
    Q_OBJECT
public:
    explicit TFormNastroykiZapuska(QWidget *parent = nullptr);

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    // "Исключить ночное питание" and its explanation are enabled only for
    // "Следующий за последним отмеченным"; its state is kept either way.
    void ObrabotkaIsklVP();

    TRadioGroup *RadioGroupNastrPriStarte;
    QCheckBox *CheckBoxNastrIsklNP;
    QLabel *Label1;
    QLabel *Label2;
    QLabel *Label3;
};

} // namespace admin
