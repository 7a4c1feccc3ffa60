#pragma once
#include "reports/Itogi.h"
#include "reports/OtchetViborka.h"

#include <QDialog>
#include <memory>

class QButtonGroup;
class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTableWidget;
class QTabWidget;

// The report window "Отчёты": journal records chosen by period, meal type,
// organisation and employee, shown in a grid with three totals tables. It
// lives for the whole run and is shown modally again and again (pokazat());
// between showings only the organisation and employee texts stay. Its
// connection is its own and only reads; it is open from "Сформировать"
// until the window closes.
class TOtchetForm : public QDialog
{
    Q_OBJECT
public:
    explicit TOtchetForm(QWidget *parent = nullptr);
    ~TOtchetForm() override;

    // FormShow, then the window modally; returns its result.
    int pokazat();

    void FormShow();
    void SformirovatClick();
    void BOrgEditClick();
    void BSotrEditClick();
    void BOrgClClick();
    void BSotrClClick();
    void FormCloseQuery();
    void OtrisovkaOchistkaStrGridov();
    void FormirovanieItogov();

    // The selection as the controls state it.
    reports::Otbor otbor() const;
    // What the export reads: the records (oldest first) as the grid shows
    // them, the grid (its current column order), the totals and the line.
    db::RecordSet *zapros() const { return m_dannie->zapisi(); }
    QTableView *setka() const { return DBGridOtch1; }
    const reports::Itogi &itogi() const { return m_itogi; }
    QString strokaViborki() const;

    // Closing by "Закрыть", Escape or the frame writes the size and closes
    // the query first.
    void done(int result) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void zapolnitTablitsu(QTableWidget *grid, const reports::TablitsaItogov &t);

    QCheckBox *CheckBoxNach = nullptr;
    QCheckBox *CheckBoxKon = nullptr;
    QDateEdit *DateTimePickerNach = nullptr;
    QDateEdit *DateTimePickerKon = nullptr;
    QLineEdit *EditOrg = nullptr;
    QLineEdit *EditSotr = nullptr;
    QPushButton *BOrgEdit = nullptr;
    QPushButton *BOrgCl = nullptr;
    QPushButton *BSotrEdit = nullptr;
    QPushButton *BSotrCl = nullptr;
    QButtonGroup *GroupVidPit = nullptr;
    QPushButton *Sformirovat = nullptr;
    QPushButton *ButtonExcel = nullptr;
    QTableView *DBGridOtch1 = nullptr;
    QTabWidget *PageControl1 = nullptr;
    QTableWidget *StringGridOrg = nullptr;
    QTableWidget *StringGridSotr = nullptr;
    QTableWidget *StringGridVidPit = nullptr;
    QLabel *LabelStrokaViborki = nullptr;
    QPushButton *Zakrit = nullptr;

    std::unique_ptr<reports::DannieOtcheta> m_dannie;
    reports::Itogi m_itogi;
};
