#pragma once
#include "db/RecordSet.h"
#include "staff/ListGrid.h"

#include <QDialog>
#include <QList>
#include <QSize>
#include <QString>
#include <memory>

class QComboBox;
class QLineEdit;
class QPushButton;
class QTableView;

namespace db {
class Connection;
}

namespace staff {

// The employee list (table Users) in browse mode ("obzor": create, open,
// delete) or choose mode ("vibor": pick one employee into
// core::pv().BuferSotrudnika and close with OK). The opener sets
// core::pv().RezhimSpiskaSotrudnikov before showing it; the window opens its
// own connection when shown and closes it when it closes, writing its grid
// size and column widths back to CRIni.ini and telling the main window to
// re-read its employees.
class TListForm : public QDialog
{
    Q_OBJECT
public:
    explicit TListForm(QWidget *parent = nullptr);
    ~TListForm() override;

    // The window size every opener gives it: the stored grid size plus the
    // frame of criterion, filter and buttons around the grid (+32, +116).
    static QSize RazmerOkna();
    // The grid columns with their stored widths (defaults without CRIni.ini).
    static QList<db::RecordSet::Column> kolonki();
    // The criteria of ComboBoxOtbor and the fields they filter on.
    static const QStringList &kriterii();
    static QString poleKriteriya(int index);

    db::RecordSet *recordSet() const { return FDQuery1; }

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormShow();
    void FormActivate();
    void FormClose();
    void SozdanieClick();
    void DBGrid1DblClick();
    void UdalenieClick();
    void EditOtborChange();
    void ComboBoxOtborChange();

    void Vibor();
    void Sozdat();
    void OtkrRedaktir();
    bool rezhimObzor() const;
    void sotrudnikiIzmeneny();

    QComboBox *ComboBoxOtbor = nullptr;
    QLineEdit *EditOtbor = nullptr;
    QPushButton *ButtonOtborCl = nullptr;
    QTableView *DBGrid1 = nullptr;
    QPushButton *Sozdanie = nullptr;
    QPushButton *Otkrit = nullptr;
    QPushButton *SozdanieVibora = nullptr;
    QPushButton *Udalenie = nullptr;
    QPushButton *Zakrit = nullptr;
    spisok::Knopki knopki() const { return {Sozdanie, Otkrit, SozdanieVibora, Udalenie, Zakrit}; }

    std::unique_ptr<db::Connection> m_connection;
    db::RecordSet *FDQuery1 = nullptr;
    QString m_rezhim;
    bool m_shown = false;
};

// The openers. Browse mode from the menu "Справочники" -> "Сотрудники".
void openEmployeeList(QWidget *parent);
// Choose mode (registration by hand, the report's employee field): empties
// the buffer, shows the list and returns true when an employee was picked;
// the employee then stands in core::pv().BuferSotrudnika.
bool pickEmployee(QWidget *parent);

} // namespace staff
