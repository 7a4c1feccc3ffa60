#pragma once
#include "db/RecordSet.h"
#include "staff/ListGrid.h"

#include <QList>
#include <QSize>
#include <QString>

class QComboBox;

namespace staff {

// The employee list (table Users) in browse mode ("obzor": create, open,
// delete) or choose mode ("vibor": pick one employee into
// core::pv().BuferSotrudnika and close with OK). The opener sets
// core::pv().RezhimSpiskaSotrudnikov before showing it; the window opens its
// own connection when shown and closes it when it closes, writing its grid
// size and column widths back to CRIni.ini and telling the main window to
// re-read its employees.
class TListForm : public spisok::OknoSpiska
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

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void FormShow() override;
    void FormActivate() override;
    void FormClose() override;
    void UdalenieClick() override;
    void EditOtborChange();
    void ComboBoxOtborChange();

    void Vibor() override;
    void Sozdat() override;
    void OtkrRedaktir() override;
    void sotrudnikiIzmeneny();

    QComboBox *ComboBoxOtbor = nullptr;
    db::RecordSet *FDQuery1 = nullptr;
};

// The openers. Browse mode from the menu "Справочники" -> "Сотрудники".
void openEmployeeList(QWidget *parent);
// Choose mode (registration by hand, the report's employee field): empties
// the buffer, shows the list and returns true when an employee was picked;
// the employee then stands in core::pv().BuferSotrudnika.
bool pickEmployee(QWidget *parent);

} // namespace staff
