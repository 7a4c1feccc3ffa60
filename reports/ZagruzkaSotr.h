#pragma once
#include <QDialog>
#include <memory>

class QLineEdit;
class QProgressBar;
class QPushButton;

namespace db { class Connection; }

namespace reports {

// "Загрузка питающихся из Excel в базу.": loads employees from the first
// sheet of a workbook (ZagruzitSotrudnikov). Created for one opening; its
// connection lives from showing to closing, and closing makes the main
// window re-read its employees.
class TZagruzkaSotrForm : public QDialog
{
    Q_OBJECT
public:
    explicit TZagruzkaSotrForm(QWidget *parent = nullptr);
    ~TZagruzkaSotrForm() override;

    void FormShow();
    void ButtonViborFailaClick();
    void ZagruzitButtonClick();
    void done(int result) override; // closing: the employees re-read, the connection let go

protected:
    void showEvent(QShowEvent *event) override;

private:
    QLineEdit *EditFilExcel = nullptr;
    QPushButton *ButtonViborFaila = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    QPushButton *ZagruzitButton = nullptr;
    QPushButton *Zakrit = nullptr;
    std::unique_ptr<db::Connection> FDConnection1;
    bool m_shown = false;
    bool m_closed = false;
};

} // namespace reports
