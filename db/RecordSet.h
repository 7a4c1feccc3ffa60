#pragma once
#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>
#include <memory>

namespace db {

class Connection;

// The one record set behind every grid of the program: the rows of one
// SELECT held in memory, a row filter that can be switched off and on (each
// switch judges every row anew), a sort by one column, and insert, update and
// delete written to the table at once (committed before the call returns).
// Rows are identified in the table by SQLite's rowid, so rows with empty or
// repeated record identifiers are still told apart; on a server by the
// table's key column (Connection::kServerRowId), which is no field of the
// set. A server table without that column is read only.
//
// Row numbers in this interface are the visible rows (after filter and sort)
// unless the name says "source". Failures raise core::Error ("EDatabaseError");
// a failed write leaves both the table and the set as they were.
//
// Updates and deletes also require the row to hold in the table what the set
// holds: a row changed or removed through another connection since it was
// read (e.g. a table emptied and refilled, which reuses rowids) is refused
// rather than overwritten or deleted in its place.
//
// A large table (the journal in filter mode) can be held by its key fields
// (setHeldFields): every row then keeps only those fields, the look-up
// fields and its sort key in memory, and is read whole from the table by
// its rowid when it is shown or asked for. The views learn of the shown rows
// a block at a time (canFetchMore/fetchMore); count() is every shown row.
class RecordSet : public QAbstractTableModel
{
    Q_OBJECT
public:
    using Row = QVector<QVariant>;                 // values in fieldNames() order
    using FilterFn = std::function<bool(const RecordSet &, const Row &)>;

    struct Column                                  // a grid column: field, title, width
    {
        QString field;
        QString title;
        int width = 70;
    };

    explicit RecordSet(QObject *parent = nullptr);
    ~RecordSet() override;

    void setConnection(Connection *connection);
    Connection *connection() const;
    // The table that inserts, updates and deletes write to. Without it the
    // table is taken from the first FROM of the statement.
    void setTable(const QString &table);
    QString table() const;
    // An Access-dialect SELECT; "SELECT * from T" or a ZaprosSpisokDoc text.
    // Takes effect at the next open() or refresh().
    void setSql(const QString &accessSql);
    QString sql() const;

    // Fields every row keeps in memory: those the filter reads. Empty (the
    // default): rows are loaded whole. Otherwise, for a set of table
    // columns with a write table, open() reads only these fields (and the
    // look-up and sort fields) of every row, and the filter is handed rows
    // in which only these hold values. Takes effect at the next open().
    void setHeldFields(const QStringList &fields);
    QStringList heldFields() const;
    bool isLazy() const;  // the last load holds rows by their key fields

    // Fields looked up by their text (an employee's card number, barcode):
    // a hash from each value to its rows, kept in step with every load,
    // insert, update and delete. Takes effect at once.
    void setIndexedFields(const QStringList &fields);
    // The first source row whose field holds exactly `text` (NULL holds no
    // text), -1 when none or no such field. Fields without a look-up are
    // searched row by row.
    int findSource(const QString &field, const QString &text) const;

    void open();          // runs the SELECT and loads every row
    void close();         // forgets the rows
    bool isOpen() const;
    void refresh();       // runs the SELECT again, keeping filter and sort

    QStringList fieldNames() const;
    int fieldIndex(const QString &field) const;   // -1 when missing; any letter case
    // True for a MONEY column of the table: shown as "%.2f" with a decimal comma.
    bool isMoneyField(int fieldIndex) const;

    // Visible rows.
    int count() const;
    QVariant value(int row, const QString &field) const;
    // The value as the grid shows it ("" for NULL, money as "0,00").
    QString text(int row, const QString &field) const;
    const Row &row(int row) const;
    qint64 rowId(int row) const;                  // the row's SQLite rowid
    // Every loaded row, the filter ignored (e.g. an employee found by its
    // card). Source rows keep their numbers until a delete or a re-read
    // renumbers them. A row of a lazy set is read whole when asked for; the
    // reference holds until the set changes.
    int sourceCount() const;
    const Row &sourceRow(int sourceRow) const;
    int sourceIndex(int row) const;
    int visibleRow(int sourceRow) const;          // -1 when the filter hides it

    // The filter takes effect when it is switched on (setFiltered(true) or
    // refilter()); setting it does not judge the rows by itself.
    void setFilter(FilterFn filter);
    void setFiltered(bool on);     // each call judges every row anew
    bool isFiltered() const;
    void refilter();               // judge every row anew under the current state

    // Stable: rows with equal values keep the order of the SELECT. Texts
    // compare by the Russian collation, numbers by value, NULL first. Asking
    // again for the sort in force costs nothing; inserts and updates keep it.
    void sortBy(const QString &field, Qt::SortOrder order = Qt::AscendingOrder);
    void clearSort();
    QString sortField() const;     // empty when unsorted

    // Writes a new row into the table and adds it to the set; returns its
    // visible row, or -1 when the filter hides it. Only the new row is judged.
    int insertRecord(const QVariantMap &values);
    // insertRecord with a condition asked inside the insert's own write
    // transaction, before the INSERT: a rule about the table's other rows
    // (one meal a day) then holds at the moment of the write, also against
    // other programs writing at once. `allowed` runs statements on the set's
    // connection; false writes nothing, leaves the set as it was and returns
    // false. `visibleRow` receives what insertRecord returns.
    bool insertRecordIf(const QVariantMap &values, const std::function<bool()> &allowed,
                        int *visibleRow = nullptr);
    // Writes the given fields of a visible row; the row is judged anew and
    // keeps its place in the sort.
    void updateRecord(int row, const QVariantMap &values);
    // Deletes the given visible rows from the table in one transaction.
    void deleteRecords(QList<int> rows);

    // Grid columns; without them every field is a column titled by its name.
    void setColumns(const QList<Column> &columns);
    QList<Column> columns() const;

    // QAbstractTableModel
    // The shown rows the views know: all of them unless the set is lazy.
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;

    void rebuildVisible();   // the shown rows from the order and the verdicts
    // Puts source row `s` at shown place `v`, announced to the views when
    // they know that place.
    void showAt(int v, int s, bool announce);
    // Runs `change` as a layout change: the columns (and their widths in the
    // grids) stay, selected rows that are still shown stay selected. Rows are
    // followed by rowid across a re-read, by source row otherwise.
    void relayout(const std::function<void()> &change, bool byRowId);
};

} // namespace db
