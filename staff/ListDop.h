#pragma once
#include "staff/ListGrid.h"

#include <QString>

class QLabel;
class QLineEdit;

namespace staff {

// The directory window over one of the tables Org, Podr and Dolj. The opener
// sets core::pv().TablitsaSpravochnika and RezhimSpravochnika ("obzor" to
// browse, "vibor" to choose) before showing it; in choose mode "Выбрать"
// puts the current name into core::pv().VibrannoeNaimenovanie and closes with
// OK. The window opens its own connection when shown and closes it when it
// closes, writing back its grid size and column width.
class TDopForm : public spisok::OknoSpiska
{
    Q_OBJECT
public:
    explicit TDopForm(QWidget *parent = nullptr);
    ~TDopForm() override;

    // The one column's title for a directory table.
    static QString ZagolovokStolbtsa(const QString &table);

    // The window size an opener gives it: the stored grid size plus the frame
    // of filter and buttons around the grid.
    static QSize RazmerOkna();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void FormShow() override;
    void FormActivate() override;
    void FormClose() override;
    void UdalenieClick() override;
    void EditOtborChange();
    void ButtonOtborClClick();

    void Vibor() override;
    void Sozdat() override;
    void OtkrRedaktir() override;
    void raspolozhit();

    QLabel *LabelOtbor = nullptr;
    db::RecordSet *m_query = nullptr;
    QString m_table;
    int m_shirinaStolbtsa = 200;
    bool m_sbrosModeli = false;
};

// Opens a directory from the main menu in browse mode: table "Org", "Podr"
// or "Dolj" with the caption of its menu item.
void openDirectory(QWidget *parent, const QString &table, const QString &caption);

// The pickers "..." beside an organisation, department or position field:
// shows the directory in choose mode and, on OK, puts the picked name into
// `field` ("Наименование не заполнено!" when nothing was picked). Returns
// whether the window was closed with OK.
bool pickFromDirectory(QWidget *parent, const QString &table, QLineEdit *field);

} // namespace staff
