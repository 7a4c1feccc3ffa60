#pragma once
#include <QDialog>

class QLabel;
class QLineEdit;

namespace admin {

// "Стоимость питания": the price of the meal being registered, shown over
// the main window. It edits the price of core::pv().BuferSotrudnika and
// ends with 1 ("Записать", also Enter) or 2 ("Отмена").
class TVvodStoimostiForm : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kZapisat = 1;
    static constexpr int kOtmena = 2;

    explicit TVvodStoimostiForm(QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void ButtonZapisatClick();

    QLabel *LabelFIO;
    QLineEdit *EditStoimostPitaniya;
};

// Registration's price entry: shows the window modally over `parent`; true
// when the operator confirmed, the price then in BuferSotrudnika.
bool vvodStoimosti(QWidget *parent);

} // namespace admin
