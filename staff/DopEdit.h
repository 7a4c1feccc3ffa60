#pragma once
#include <QDialog>

class QLineEdit;
class QPushButton;

namespace staff {

// The directory item editor: one name. It shows
// core::pv().RedaktiruemoeNaimenovanie when shown and, on "Сохранить и
// закрыть", puts the field's text back there as typed and closes with OK.
// The opener sets the caption ("Создание" or "Наименование").
class TDopEditForm : public QDialog
{
    Q_OBJECT
public:
    explicit TDopEditForm(QWidget *parent = nullptr);
    ~TDopEditForm() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void ButtonSaveAndCloseClick();

    QLineEdit *EditNaimenovanie = nullptr;
    QPushButton *ButtonSaveAndClose = nullptr;
};

} // namespace staff
