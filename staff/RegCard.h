#pragma once
#include <QDialog>

class QLineEdit;
class QTimer;

namespace staff {

// "Регистрация карты": while shown it polls core::pv().PoslednyayaKarta every
// 700 ms and shows the last card read in NumCard, where the user may also
// type. A card read before the window was shown is forgotten on showing.
// "Записать" closes it with OK; the opener takes NumCard's text.
class TRegCardForm : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kPeriodOprosa = 700; // ms

    explicit TRegCardForm(QWidget *parent = nullptr);
    ~TRegCardForm() override;

    QString nomerKarty() const;
    void setNomerKarty(const QString &text);

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void Timer1Timer();

    QLineEdit *NumCard = nullptr;
    QTimer *Timer1 = nullptr;
};

} // namespace staff
