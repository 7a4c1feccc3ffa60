#pragma once
#include "db/RecordSet.h"

#include <QDialog>
#include <QList>
#include <QSize>
#include <QString>
#include <memory>

namespace core {
class Error;
class IniFile;
} // namespace core

namespace db {
class Connection;
}

class QEvent;
class QLineEdit;
class QPushButton;
class QTableView;
class QWidget;

// What the list windows (the employee list, the directory window) share:
// their grid's behaviour, their frame around the grid and their buttons.
namespace staff::spisok {

// The two modes an opener sets before showing a list window.
inline const QString kObzor = QStringLiteral("obzor"); // browse: create, open, delete
inline const QString kVibor = QStringLiteral("vibor"); // choose one row and close with OK

// The frame around the grid: the filter row above it, the buttons below, the
// margins. An opener adds it to the stored grid size; the window keeps its
// grid exactly that much smaller, so the grid size written back at closing is
// the size read at the next opening.
constexpr int kRamkaShirina = 32;
constexpr int kRamkaVisota = 116;

// The window size from the stored grid size (keys DBGridShirina and
// DBGridVisota of `section` in CRIni.ini) plus the frame.
QSize razmerOkna(const QString &section, int shirinaPoUmolchaniyu, int visotaPoUmolchaniyu);
// Its counterpart at closing: the grid's size under the same keys.
void zapisatRazmer(core::IniFile &ini, const QString &section, const QTableView *grid);

// Read-only, whole rows, several rows selectable, no row numbers, user-sized
// columns, font size 8.
void nastroitSetku(QTableView *grid);

// A wheel event over the grid's viewport moves the current row by one line
// per step (down or up). True when `event` was one and is handled.
bool prokrutkaKolesom(QTableView *grid, QEvent *event);

// The selected rows to delete, but only when the current row is one of
// them; otherwise none (the cursor was moved away from the selection).
QList<int> strokiDlyaUdaleniya(const QTableView *grid);

// Deletes the rows strokiDlyaUdaleniya() gives after "Подтвердить удаление?"
// (OK / Cancel, no icon), repainting the grid when RefreshGrid is on. A
// failure is shown as pokazatOshibku() does. True when rows were deleted.
bool udalitVibrannie(QTableView *grid, db::RecordSet *rs);

// The message of a failed action: class name, " Ошибка с сообщением : ", message.
void pokazatOshibku(const core::Error &e);

// Sorts an open record set by `field` (the lists re-sort at every
// activation); a failure is shown as pokazatOshibku() does.
void uporyadochit(db::RecordSet *rs, const QString &field);

// The filter field's text applied to `field` of `rs` (filtrSoderzhit); the
// empty text switches the filter off. A failure is shown as pokazatOshibku()
// does.
void primenitFiltr(db::RecordSet *rs, const QString &field, const QString &text);

// The current row, or the first when the grid has rows but no current one;
// -1 for an empty grid.
int tekushayaStroka(const QTableView *grid);

// A row passes when `text`, upper-cased, occurs in the upper-cased value of
// `field`; an empty value never passes.
db::RecordSet::FilterFn filtrSoderzhit(const QString &field, const QString &text);

struct Knopki
{
    QPushButton *Sozdanie;
    QPushButton *Otkrit;
    QPushButton *SozdanieVibora;
    QPushButton *Udalenie;
    QPushButton *Zakrit;
};

// The five buttons, children of `okno`, named as their fields: "Создать"
// (the default button), "Открыть", "Создать" (hidden), "Удалить", "Закрыть".
Knopki sozdatKnopki(QWidget *okno);

// Browse mode: Sozdanie "Создать" and Otkrit; any other mode: Sozdanie
// "Выбрать" and SozdanieVibora in Otkrit's place.
void knopkiRezhima(const Knopki &k, bool obzor);

// Places the controls in `okno`: `vperedi` (a caption or the criterion
// list, `shirinaVperedi` wide), the filter field and its "X" on the top row,
// the grid below, the buttons under the grid.
void raspolozhit(QWidget &okno, QWidget *vperedi, int shirinaVperedi, QLineEdit *filtr,
                 QPushButton *ochistka, QTableView *grid, const Knopki &k);

// What a list window does around its controls: it opens its own connection
// when shown and lets it go when closed (FormShow and FormClose, once per
// showing), re-sorts at every activation (FormActivate), moves the cursor
// of its grid with the mouse wheel, and answers its buttons by the mode read
// at showing: browse ("obzor") creates and opens, any other mode chooses.
class OknoSpiska : public QDialog
{
    Q_OBJECT
public:
    ~OknoSpiska() override;
    void done(int result) override;

protected:
    explicit OknoSpiska(QWidget *parent);

    virtual void FormShow() = 0;
    virtual void FormActivate() {}
    virtual void FormClose() = 0;
    virtual void Vibor() = 0;
    virtual void Sozdat() = 0;
    virtual void OtkrRedaktir() = 0;
    virtual void UdalenieClick() = 0;

    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

    // The filter field and its "X" (EditOtbor, ButtonOtborCl).
    void sozdatOtbor();
    // The grid DBGrid1, set up as nastroitSetku() does, wheel included.
    void sozdatSetku();
    // The five buttons (sozdatKnopki) and the grid's double click, connected.
    void sozdatKnopkiSetki();

    // The mode for this showing, with the buttons it shows (knopkiRezhima).
    void ustanovitRezhim(const QString &rezhim);
    bool rezhimObzor() const;

    // Opens the connection of the settings and "SELECT * from `table`" in
    // `rs`; raises core::Error.
    void podklyuchit(db::RecordSet *rs, const QString &table);
    // Closes `rs` and lets the connection go.
    void otklyuchit(db::RecordSet *rs);

    QLineEdit *EditOtbor = nullptr;
    QPushButton *ButtonOtborCl = nullptr;
    QTableView *DBGrid1 = nullptr;
    Knopki knopki{};

private:
    void SozdanieClick();
    void DBGrid1DblClick();

    std::unique_ptr<db::Connection> m_connection;
    QString m_rezhim;
    bool m_shown = false;
};

} // namespace staff::spisok
