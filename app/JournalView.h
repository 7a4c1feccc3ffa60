#pragma once
#include "db/RecordSet.h"

#include <QDate>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>

namespace app {

class DatabaseLink;

// The logic of the main window's journal grid, kept apart from the window so
// that it can be driven without one. The window owns the journal record set
// (on its journal connection) and the controls; it feeds the calendar date,
// the meal-type item, the name field and the selected rows in, and shows what
// the signals hand out (counter, meal label, enable states).
//
// Two refresh modes: filter mode (NastroykiOtboraVBD other than 1) loads the
// whole journal once and picks the day and meal type in memory; query mode
// (1) fetches one day and meal type from the database at each refresh.
//
// Database errors of a refresh or a deletion are caught here and shown as
// the error's message (the program's general error display), so that no
// exception ever leaves a slot.
class JournalView : public QObject
{
    Q_OBJECT
public:
    struct Hooks
    {
        // Access check for an action ("УдалениеГлавная"); unset lets everyone through.
        std::function<bool(const QString &action)> proverkaDostupa;
        // "Pass Free": forget the password remembered for this session.
        std::function<void()> zabytParolSessii;
    };

    explicit JournalView(QObject *parent = nullptr);
    ~JournalView() override;

    // The journal record set; its connection must be set. Sets the table,
    // the row filter and the sort; the record set stays the caller's.
    void setRecordSet(db::RecordSet *journal);
    db::RecordSet *recordSet() const { return m_journal; }
    void setHooks(Hooks hooks);
    // The hold on the database server, told of every failed refresh or
    // deletion so that a dropped connection is reconnected; the counter is
    // shown anew once it has re-read the journal. Stays the caller's.
    void setLink(DatabaseLink *link);

    // The twelve grid columns in their order, every width 70 (the window
    // applies the widths kept in CRIni.ini).
    static QList<db::RecordSet::Column> kolonki();

    // At connection: in filter mode the whole journal is opened
    // ("SELECT * from SpisokDoc"); in query mode nothing is loaded yet.
    void openAtConnection();

    bool queryMode() const;      // in-memory NastroykiOtboraVBD == 1

    // Inputs of the window.
    QDate date() const { return m_date; }
    void setDate(const QDate &date) { m_date = date; }   // without a refresh
    int vidPitaniya() const { return m_vid; }            // item 0..4
    QString vidName() const;                             // NazvanieVidaPitaniya(item)
    QString otbor() const { return m_otbor; }            // text of EditOtbor

    // The filter key: date, and for a meal type other than "Все" also
    // "_" + meal type + "_" + name text.
    QString filterKey() const;
    // The row filter: NMAllTeh contains the key, letter case ignored.
    bool FDQuery1FilterRecord(const db::RecordSet::Row &row) const;

    void Sortirovka_Filtered();
    void Sortirovka_Zapros();
    // Sortirovka_Zapros in query mode, else Sortirovka_Filtered. Either reads
    // what other programs (other serving points) wrote to the journal since
    // it was read: filter mode re-reads the journal first when it has changed.
    void refreshByMode();

    // ObrabotkaIzmeneniyaVidaPitaniya: applies the item (0 = "Все"): the
    // all-types flag, the enable states, the meal label, a refresh and the
    // counter. Used for VidPitaniyaClick and at the first showing.
    void ObrabotkaIzmeneniyaVidaPitaniya(int index);
    void MonthCalendar1Click(const QDate &date);
    void PoiskPoFIOButtonClick();
    void CLFIOButtonClick();     // emits otborCleared(); the window empties the field
    void EditOtborChange(const QString &text);
    // Deletes the selected visible rows when the current row is one of
    // them, after "Подтвердить удаление?" and the access check.
    void UdalenieClick(int currentRow, const QList<int> &selectedRows);
    void ButtonOtmenitNeZaprParolVTekSessClick();
    // Window activation: sort by NMDateTimeTeh_Obrat again and show the counter.
    void FormActivate();

    // The rows the grid shows, and the counter text from it.
    int kolVo() const;
    void pokazatKolVo();

    // For registration. Loads the journal when it is not loaded yet; false
    // when it cannot be (the error has been shown).
    bool ensureOpen();
    // Whether the journal table holds a row of this name, employee, meal
    // type and date, asked of the table through its index on the day, meal
    // type and employee: every row counts, also those a name filter hides,
    // those of a day boundary and those another program wrote since the
    // last re-read. False while the journal is not open; raises
    // core::Error when the table cannot be asked.
    bool uzheZaregistrirovan(const QString &fio, const QString &userGuid,
                             const QString &vid, const QString &date) const;
    static QString zaprosPovtora();   // the statement it asks, with four values
    // Writes a new row (committed before it returns) and adds it to the
    // grid; raises core::Error when it cannot be saved, leaving the grid as it was.
    // With `pravilo` (the duplicate rule) the table is asked, inside the
    // write's own transaction and before the INSERT, for a row of the same
    // name, employee, meal type and date as `values`: found, nothing is
    // written and the answer is false. Writes of the same meal by other
    // programs (other serving points on the same database) wait for each
    // other there, so of two at the same moment one writes and the other
    // finds its row.
    bool dobavitZapis(const QVariantMap &values, bool pravilo = false);
    // After a registration: RefreshQuery re-reads, then the counter.
    void posleRegistracii();

signals:
    void kolVoChanged(const QString &text);        // LabelKolVo
    void vidLabelChanged(const QString &text);     // LabelDoubleVP
    // Dobavlenie, EditOtbor and PoiskPoFIOButton enabled (a meal type other than "Все").
    void registrationEnabled(bool on);
    void focusDobavlenie();                        // FokusirovatKnopkuDobavlenie
    void otborCleared();                           // empty EditOtbor
    void repaintGrid();                            // RefreshGrid after a deletion

private:
    template <typename F> bool guarded(F &&action);
    void rebuildKeyCache();
    void perechitatIzmenennoe();

    DatabaseLink *m_link = nullptr;
    // The file's count of other connections' commits when last asked (-1:
    // not yet).
    qint64 m_dataVersion = -1;

    db::RecordSet *m_journal = nullptr;
    Hooks m_hooks;
    QDate m_date;
    int m_vid = 0;
    QString m_otbor;
    // Upper-cased key and the NMAllTeh column, prepared once per judging.
    QString m_keyUpper;
    QString m_keyInvariant;   // its leading part that no upper-casing makes
    int m_allTehIndex = -1;
};

} // namespace app
