#include "db/RecordSet.h"
#include "db/Connection.h"
#include "core/Error.h"
#include "db/Money.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <numeric>
#include <optional>
#include <vector>

namespace db {

namespace {

const QString kErrorClass = QStringLiteral("EDatabaseError");
// The hidden first column of every SELECT of a writable set.
const QString kRowIdColumn = QStringLiteral("__rs_rowid");

[[noreturn]] void raise(const QString &message)
{
    throw core::Error(kErrorClass, message);
}

QString sqlErrorText(const QSqlError &e)
{
    return e.databaseText().isEmpty() ? e.text() : e.databaseText();
}

QString bracketed(const QString &name)
{
    return QLatin1Char('[') + name + QLatin1Char(']');
}

// The first table named after FROM, without brackets; empty when none.
QString tableOfSelect(const QString &sql)
{
    static const QRegularExpression re(
        QStringLiteral(R"(\bFROM\s+(\[[^\]]+\]|[A-Za-z_][A-Za-z0-9_]*))"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = re.match(sql);
    if (!m.hasMatch())
        return QString();
    QString t = m.captured(1);
    if (t.startsWith(QLatin1Char('[')))
        t = t.mid(1, t.size() - 2);
    return t;
}

// "SELECT ..." -> "SELECT [T].rowid AS __rs_rowid, ..."; empty when the
// statement is no plain SELECT (DISTINCT would be broken by the rowid).
QString withRowId(const QString &sql, const QString &table)
{
    static const QRegularExpression re(QStringLiteral(R"(^\s*SELECT\s+(?!DISTINCT\b))"),
                                       QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = re.match(sql);
    if (!m.hasMatch())
        return QString();
    return QStringLiteral("SELECT ") + bracketed(table) + QStringLiteral(".rowid AS ")
           + kRowIdColumn + QStringLiteral(", ") + sql.mid(m.capturedEnd());
}

bool isNumber(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

// Texts of ASCII digits only (the journal's date-time keys, personnel
// numbers) collate exactly as their characters compare, so a column holding
// no other texts is sorted by plain comparison, without collation keys.
bool digitsOnly(const QString &s)
{
    for (const QChar c : s)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

// One value's place in the sort: NULL first, then numbers by value, then
// texts by collation (or plainly, see digitsOnly).
struct SortKey
{
    int kind = 0; // 0 NULL, 1 number, 2 text
    double number = 0;
    QString plain;
    std::optional<QCollatorSortKey> text;
};

int compareKeys(const SortKey &a, const SortKey &b)
{
    if (a.kind != b.kind)
        return a.kind < b.kind ? -1 : 1;
    if (a.kind == 1)
        return a.number < b.number ? -1 : (b.number < a.number ? 1 : 0);
    if (a.kind == 2)
        return a.text ? a.text->compare(*b.text) : QString::compare(a.plain, b.plain);
    return 0;
}

// Many journal columns repeat a few values (meal type, day, organisation,
// the same employee's data); sharing one string per distinct value keeps a
// large journal's memory down by about a third. A small table of recent
// values per column finds the repeats; a column whose first values hardly
// repeat (record identifiers, times, keys) stops being pooled at once.
class StringPool
{
public:
    QVariant take(QVariant v)
    {
        if (m_off || v.typeId() != QMetaType::QString || v.isNull())
            return v; // a NULL stays NULL, never the empty text
        if (m_slots.empty())
            m_slots.resize(kSlots);
        const QString s = v.toString();
        QString &slot = m_slots[qHash(s) & (kSlots - 1)];
        ++m_seen;
        if (!slot.isNull() && slot == s) { // an unused slot must not stand for ""
            ++m_hits;
            v = QVariant(slot);
        } else {
            slot = s;
        }
        if (m_seen == kSample && m_hits < kSample / 4) {
            m_off = true;
            m_slots = std::vector<QString>();
        }
        return v;
    }

private:
    static constexpr size_t kSlots = 1024;
    static constexpr qsizetype kSample = 512;
    std::vector<QString> m_slots;
    qsizetype m_seen = 0;
    qsizetype m_hits = 0;
    bool m_off = false;
};

} // namespace

struct RecordSet::Impl
{
    Connection *connection = nullptr;
    QString table;          // as set by the caller
    QString sql;
    bool open = false;

    // Of the last load.
    QString writeTable;     // the table written to; empty: the set is read-only
    QStringList fields;
    QHash<QString, int> fieldByLower;
    std::vector<char> money;        // per field
    std::vector<char> inTable;      // per field: a column of writeTable

    std::vector<Row> rows;          // source rows, in the order of the SELECT
    std::vector<qint64> rowIds;
    std::vector<char> pass;         // the filter's verdict per source row

    std::vector<int> order;         // source rows in sort order (identity unsorted)
    std::vector<int> visible;       // the rows shown: `order` less the filtered out

    FilterFn filter;
    bool filtered = false;

    QString sortFieldName;          // empty: unsorted
    int sortField = -1;
    Qt::SortOrder sortOrder = Qt::AscendingOrder;
    std::vector<SortKey> keys;      // per source row while sorted
    bool plainSort = false;         // the sort column's texts are all digits
    QCollator collator{QLocale(QLocale::Russian, QLocale::Russia)};

    QList<Column> columns;
    std::vector<int> columnField;   // per grid column: field index or -1

    bool sorted() const { return sortField >= 0; }

    SortKey keyOf(const QVariant &v) const
    {
        SortKey k;
        if (v.isNull())
            return k;
        if (isNumber(v)) {
            k.kind = 1;
            k.number = v.toDouble();
            return k;
        }
        k.kind = 2;
        if (plainSort)
            k.plain = v.toString();
        else
            k.text = collator.sortKey(v.toString());
        return k;
    }

    // Sets the key of source row `s` (appending it for a new last row). A
    // text that ends plain comparison turns every key into a collation key;
    // the order of the rows stays, as both orders agree on digit texts.
    void setKey(int s)
    {
        const QVariant &v = rows[size_t(s)][sortField];
        if (plainSort && v.typeId() == QMetaType::QString && !digitsOnly(v.toString())) {
            plainSort = false;
            for (size_t i = 0; i < keys.size(); ++i)
                keys[i] = keyOf(rows[i][sortField]);
        }
        if (size_t(s) == keys.size())
            keys.push_back(keyOf(v));
        else
            keys[size_t(s)] = keyOf(v);
    }

    // The total order of the shown rows: the sort key, then the SELECT's order.
    bool less(int a, int b) const
    {
        if (sorted()) {
            const int c = compareKeys(keys[size_t(a)], keys[size_t(b)]);
            if (c != 0)
                return sortOrder == Qt::AscendingOrder ? c < 0 : c > 0;
        }
        return a < b;
    }

    bool judge(const RecordSet &set, int source) const
    {
        if (!filtered || !filter)
            return true;
        return filter(set, rows[size_t(source)]);
    }

    void computeKeysAndOrder()
    {
        order.resize(rows.size());
        std::iota(order.begin(), order.end(), 0);
        keys.clear();
        if (!sorted())
            return;
        plainSort = std::all_of(rows.begin(), rows.end(), [this](const Row &r) {
            const QVariant &v = r[sortField];
            return v.typeId() != QMetaType::QString || digitsOnly(v.toString());
        });
        keys.reserve(rows.size());
        for (const Row &r : rows)
            keys.push_back(keyOf(r[sortField]));
        std::stable_sort(order.begin(), order.end(),
                         [this](int a, int b) { return less(a, b); });
    }

    void resolveSortField()
    {
        sortField = sortFieldName.isEmpty() ? -1 : fieldByLower.value(sortFieldName.toLower(), -1);
    }

    void resolveColumns()
    {
        columnField.clear();
        for (const Column &c : columns)
            columnField.push_back(fieldByLower.value(c.field.toLower(), -1));
    }

    int fieldOfColumn(int column) const
    {
        if (columns.isEmpty())
            return column < fields.size() ? column : -1;
        return column < int(columnField.size()) ? columnField[size_t(column)] : -1;
    }

    void requireWritable() const
    {
        if (!connection || !connection->isOpen())
            raise(QStringLiteral("Нет подключения к базе данных"));
        if (!open)
            raise(QStringLiteral("Набор данных закрыт"));
        if (writeTable.isEmpty())
            raise(QStringLiteral("Набор данных доступен только для чтения"));
    }

    int requireField(const QString &name) const
    {
        const int f = fieldByLower.value(name.toLower(), -1);
        if (f < 0)
            raise(QStringLiteral("Поле '%1' не найдено").arg(name));
        return f;
    }

    int requireTableField(const QString &name) const
    {
        const int f = requireField(name);
        if (!inTable[size_t(f)])
            raise(QStringLiteral("Поле '%1' не является столбцом таблицы %2").arg(name, writeTable));
        return f;
    }

    // " AND [c] IS ?" for every table column: the row must still hold what we read.
    QString guardSql() const
    {
        QString s;
        for (int f = 0; f < fields.size(); ++f)
            if (inTable[size_t(f)])
                s += QStringLiteral(" AND ") + bracketed(fields[f]) + QStringLiteral(" IS ?");
        return s;
    }

    // Runs an UPDATE or DELETE prepared with " WHERE rowid = ?" + guardSql()
    // (its other values bound already) for one source row; raises unless it
    // met exactly that row as the set holds it.
    void execGuarded(QSqlQuery &q, int source) const
    {
        q.addBindValue(rowIds[size_t(source)]);
        const Row &r = rows[size_t(source)];
        for (int f = 0; f < fields.size(); ++f)
            if (inTable[size_t(f)])
                q.addBindValue(r[f]);
        Connection::execPrepared(q);
        if (q.numRowsAffected() != 1)
            raise(QStringLiteral("Запись не найдена или изменена другим пользователем"));
    }

    // The row as the table holds it now; fields that are no table column
    // keep `base`'s values.
    Row readBack(qint64 rowId, const Row &base) const
    {
        QSqlQuery q = connection->prepare(QStringLiteral("SELECT * FROM ") + bracketed(writeTable)
                                          + QStringLiteral(" WHERE rowid = ?"));
        q.addBindValue(rowId);
        Connection::execPrepared(q);
        if (!q.next())
            raise(QStringLiteral("Записанная строка не найдена в таблице ") + writeTable);
        const QSqlRecord rec = q.record();
        Row r = base;
        r.resize(fields.size());
        for (int f = 0; f < fields.size(); ++f) {
            const int i = rec.indexOf(fields[f]);
            if (i >= 0 && inTable[size_t(f)])
                r[f] = q.value(i);
        }
        q.finish();
        return r;
    }

    // Place of source row `s` among the shown rows, `s` itself left out.
    int visibleInsertPos(int s) const
    {
        auto it = std::lower_bound(visible.begin(), visible.end(), s,
                                   [this](int a, int b) { return less(a, b); });
        return int(it - visible.begin());
    }
};

RecordSet::RecordSet(QObject *parent) : QAbstractTableModel(parent), d(std::make_unique<Impl>()) {}

RecordSet::~RecordSet() = default;

void RecordSet::setConnection(Connection *connection) { d->connection = connection; }
Connection *RecordSet::connection() const { return d->connection; }
void RecordSet::setTable(const QString &table) { d->table = table; }
QString RecordSet::table() const { return d->table.isEmpty() ? tableOfSelect(d->sql) : d->table; }
void RecordSet::setSql(const QString &accessSql) { d->sql = accessSql; }
QString RecordSet::sql() const { return d->sql; }
bool RecordSet::isOpen() const { return d->open; }

void RecordSet::open()
{
    if (!d->connection || !d->connection->isOpen())
        raise(QStringLiteral("Нет подключения к базе данных"));
    if (d->sql.trimmed().isEmpty())
        raise(QStringLiteral("Не задан текст запроса"));

    const QString table = this->table();
    const QString withId = table.isEmpty() ? QString() : withRowId(d->sql, table);
    const bool hasRowId = !withId.isEmpty();
    QSqlQuery q = d->connection->exec(hasRowId ? withId : d->sql);

    const QSqlRecord rec = q.record();
    const int first = hasRowId ? 1 : 0;
    const int n = rec.count() - first;
    QStringList fields;
    QHash<QString, int> byLower;
    for (int i = 0; i < n; ++i) {
        fields << rec.fieldName(first + i);
        byLower.insert(fields.last().toLower(), i);
    }

    std::vector<Row> rows;
    std::vector<qint64> ids;
    std::vector<StringPool> pools(size_t(std::max(n, 0)));
    while (q.next()) {
        Row r(n);
        QVariant *out = r.data();
        for (int i = 0; i < n; ++i)
            out[i] = pools[size_t(i)].take(q.value(first + i));
        rows.push_back(std::move(r));
        ids.push_back(hasRowId ? q.value(0).toLongLong() : -1);
    }
    if (q.lastError().isValid())
        raise(sqlErrorText(q.lastError()));
    q.finish();

    std::vector<char> money(size_t(n), 0);
    std::vector<char> inTable(size_t(n), 0);
    if (hasRowId) {
        QSqlQuery info = d->connection->exec(QStringLiteral("PRAGMA table_info(")
                                             + bracketed(table) + QStringLiteral(")"));
        while (info.next()) {
            const int f = byLower.value(info.value(1).toString().toLower(), -1);
            if (f < 0)
                continue;
            inTable[size_t(f)] = 1;
            const QString type = info.value(2).toString().trimmed().toUpper();
            money[size_t(f)] = type == QLatin1String("MONEY") || type == QLatin1String("CURRENCY");
        }
    }

    const auto takeNewRows = [&] {
        d->writeTable = hasRowId ? table : QString();
        d->fields = fields;
        d->fieldByLower = std::move(byLower);
        d->money = std::move(money);
        d->inTable = std::move(inTable);
        d->rows = std::move(rows);
        d->rowIds = std::move(ids);
        d->open = true;
        d->resolveSortField();
        d->resolveColumns();
        d->computeKeysAndOrder();
        d->pass.assign(d->rows.size(), 1);
        for (int s = 0; s < int(d->rows.size()); ++s)
            d->pass[size_t(s)] = d->judge(*this, s);
        rebuildVisible();
    };
    // A re-read with the same fields keeps the grid's columns, their widths
    // and the selection of rows that are still there.
    if (d->open && d->fields == fields && hasRowId) {
        relayout(takeNewRows, true);
    } else {
        beginResetModel();
        takeNewRows();
        endResetModel();
    }
}

void RecordSet::relayout(const std::function<void()> &change, bool byRowId)
{
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    std::vector<qint64> identity;
    identity.reserve(size_t(before.size()));
    for (const QModelIndex &i : before) {
        const int s = d->visible[size_t(i.row())];
        identity.push_back(byRowId ? d->rowIds[size_t(s)] : s);
    }

    change();

    QModelIndexList after;
    if (!before.isEmpty()) {
        QHash<qint64, int> place;
        place.reserve(qsizetype(d->visible.size()));
        for (int v = 0; v < int(d->visible.size()); ++v) {
            const int s = d->visible[size_t(v)];
            place.insert(byRowId ? d->rowIds[size_t(s)] : s, v);
        }
        after.reserve(before.size());
        for (qsizetype k = 0; k < before.size(); ++k) {
            const int v = place.value(identity[size_t(k)], -1);
            after << (v < 0 ? QModelIndex() : index(v, before[k].column()));
        }
    }
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

void RecordSet::close()
{
    beginResetModel();
    d->open = false;
    d->rows.clear();
    d->rowIds.clear();
    d->pass.clear();
    d->order.clear();
    d->visible.clear();
    d->keys.clear();
    endResetModel();
}

void RecordSet::refresh() { open(); }

QStringList RecordSet::fieldNames() const { return d->fields; }

int RecordSet::fieldIndex(const QString &field) const
{
    return d->fieldByLower.value(field.toLower(), -1);
}

bool RecordSet::isMoneyField(int fieldIndex) const
{
    return fieldIndex >= 0 && fieldIndex < int(d->money.size()) && d->money[size_t(fieldIndex)];
}

int RecordSet::count() const { return int(d->visible.size()); }
int RecordSet::sourceCount() const { return int(d->rows.size()); }

int RecordSet::sourceIndex(int row) const
{
    if (row < 0 || row >= count())
        raise(QStringLiteral("Строка %1 вне набора данных").arg(row));
    return d->visible[size_t(row)];
}

int RecordSet::visibleRow(int sourceRow) const
{
    const auto it = std::find(d->visible.begin(), d->visible.end(), sourceRow);
    return it == d->visible.end() ? -1 : int(it - d->visible.begin());
}

const RecordSet::Row &RecordSet::row(int row) const { return d->rows[size_t(sourceIndex(row))]; }

const RecordSet::Row &RecordSet::sourceRow(int sourceRow) const
{
    if (sourceRow < 0 || sourceRow >= sourceCount())
        raise(QStringLiteral("Строка %1 вне набора данных").arg(sourceRow));
    return d->rows[size_t(sourceRow)];
}

qint64 RecordSet::rowId(int row) const { return d->rowIds[size_t(sourceIndex(row))]; }

QVariant RecordSet::value(int row, const QString &field) const
{
    return this->row(row)[d->requireField(field)];
}

namespace {
QString displayText(const QVariant &v, bool money)
{
    if (v.isNull())
        return QString();
    if (money) {
        if (const auto m = Money::fromVariant(v))
            return m->text();
    }
    return v.toString();
}
} // namespace

QString RecordSet::text(int row, const QString &field) const
{
    const int f = d->requireField(field);
    return displayText(this->row(row)[f], isMoneyField(f));
}

void RecordSet::setFilter(FilterFn filter) { d->filter = std::move(filter); }
bool RecordSet::isFiltered() const { return d->filtered; }

void RecordSet::setFiltered(bool on)
{
    d->filtered = on;
    refilter();
}

void RecordSet::refilter()
{
    relayout([this] {
        for (int s = 0; s < int(d->rows.size()); ++s)
            d->pass[size_t(s)] = d->judge(*this, s);
        rebuildVisible();
    }, false);
}

void RecordSet::rebuildVisible()
{
    d->visible.clear();
    d->visible.reserve(d->order.size());
    for (int s : d->order)
        if (d->pass[size_t(s)])
            d->visible.push_back(s);
}

void RecordSet::sortBy(const QString &field, Qt::SortOrder order)
{
    if (field.isEmpty()) {
        clearSort();
        return;
    }
    if (d->sorted() && d->sortFieldName.compare(field, Qt::CaseInsensitive) == 0
        && d->sortOrder == order)
        return; // inserts and updates kept it in force

    relayout([&] {
        d->sortFieldName = field;
        d->sortOrder = order;
        d->resolveSortField();
        d->computeKeysAndOrder();
        rebuildVisible();
    }, false);
}

void RecordSet::clearSort()
{
    if (d->sortFieldName.isEmpty())
        return;
    relayout([this] {
        d->sortFieldName.clear();
        d->sortField = -1;
        d->computeKeysAndOrder();
        rebuildVisible();
    }, false);
}

QString RecordSet::sortField() const { return d->sortFieldName; }

int RecordSet::insertRecord(const QVariantMap &values)
{
    d->requireWritable();
    QStringList names;
    QString marks;
    for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
        names << bracketed(d->fields[d->requireTableField(it.key())]);
        marks += marks.isEmpty() ? QStringLiteral("?") : QStringLiteral(", ?");
    }
    const QString sql = names.isEmpty()
                            ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(bracketed(d->writeTable))
                            : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                  .arg(bracketed(d->writeTable), names.join(QStringLiteral(", ")), marks);

    Row fresh;
    qint64 rowId = -1;
    {
        Transaction tx(*d->connection);
        QSqlQuery q = d->connection->prepare(sql);
        for (auto it = values.constBegin(); it != values.constEnd(); ++it)
            q.addBindValue(it.value());
        Connection::execPrepared(q);
        rowId = q.lastInsertId().toLongLong();
        q.finish();
        fresh = d->readBack(rowId, Row(d->fields.size()));
        tx.commit();
    }

    const int s = int(d->rows.size());
    d->rows.push_back(std::move(fresh));
    d->rowIds.push_back(rowId);
    if (d->sorted())
        d->setKey(s);
    d->order.insert(std::upper_bound(d->order.begin(), d->order.end(), s,
                                     [this](int a, int b) { return d->less(a, b); }),
                    s);
    d->pass.push_back(d->judge(*this, s));
    if (!d->pass.back())
        return -1;
    const int v = d->visibleInsertPos(s);
    beginInsertRows(QModelIndex(), v, v);
    d->visible.insert(d->visible.begin() + v, s);
    endInsertRows();
    return v;
}

void RecordSet::updateRecord(int row, const QVariantMap &values)
{
    d->requireWritable();
    const int s = sourceIndex(row);
    if (values.isEmpty())
        return;
    QStringList sets;
    for (auto it = values.constBegin(); it != values.constEnd(); ++it)
        sets << bracketed(d->fields[d->requireTableField(it.key())]) + QStringLiteral(" = ?");

    Row fresh;
    {
        Transaction tx(*d->connection);
        QSqlQuery q = d->connection->prepare(QStringLiteral("UPDATE ") + bracketed(d->writeTable)
                                             + QStringLiteral(" SET ") + sets.join(QStringLiteral(", "))
                                             + QStringLiteral(" WHERE rowid = ?") + d->guardSql());
        for (auto it = values.constBegin(); it != values.constEnd(); ++it)
            q.addBindValue(it.value());
        d->execGuarded(q, s);
        q.finish();
        fresh = d->readBack(d->rowIds[size_t(s)], d->rows[size_t(s)]);
        tx.commit();
    }

    // Change the row, then move it to where the filter and the sort now say.
    const int oldV = row;
    d->rows[size_t(s)] = std::move(fresh);
    if (d->sorted()) {
        d->order.erase(std::find(d->order.begin(), d->order.end(), s));
        d->setKey(s);
        d->order.insert(std::lower_bound(d->order.begin(), d->order.end(), s,
                                         [this](int a, int b) { return d->less(a, b); }),
                        s);
    }
    d->pass[size_t(s)] = d->judge(*this, s);
    if (!d->pass[size_t(s)]) {
        beginRemoveRows(QModelIndex(), oldV, oldV);
        d->visible.erase(d->visible.begin() + oldV);
        endRemoveRows();
        return;
    }
    d->visible.erase(d->visible.begin() + oldV);
    const int newV = d->visibleInsertPos(s);
    d->visible.insert(d->visible.begin() + oldV, s);
    if (newV != oldV) {
        const int dest = newV < oldV ? newV : newV + 1; // numbered as before the move
        beginMoveRows(QModelIndex(), oldV, oldV, QModelIndex(), dest);
        d->visible.erase(d->visible.begin() + oldV);
        d->visible.insert(d->visible.begin() + newV, s);
        endMoveRows();
    }
    emit dataChanged(index(newV, 0), index(newV, std::max(0, columnCount() - 1)));
}

void RecordSet::deleteRecords(QList<int> rows)
{
    d->requireWritable();
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.isEmpty())
        return;
    std::vector<int> sources;
    for (int r : rows)
        sources.push_back(sourceIndex(r));

    {
        Transaction tx(*d->connection);
        QSqlQuery q = d->connection->prepare(QStringLiteral("DELETE FROM ") + bracketed(d->writeTable)
                                             + QStringLiteral(" WHERE rowid = ?") + d->guardSql());
        for (int s : sources)
            d->execGuarded(q, s);
        q.finish();
        tx.commit();
    }

    // Announce the removal in runs of neighbouring rows, the last run first,
    // so that every announced number is still right when it is announced.
    for (qsizetype end = rows.size(); end > 0;) {
        qsizetype begin = end - 1;
        while (begin > 0 && rows[begin - 1] == rows[begin] - 1)
            --begin;
        beginRemoveRows(QModelIndex(), rows[begin], rows[end - 1]);
        d->visible.erase(d->visible.begin() + rows[begin], d->visible.begin() + rows[end - 1] + 1);
        endRemoveRows();
        end = begin;
    }

    // Compact the source rows; the shown rows keep their places.
    std::vector<int> renumber(d->rows.size(), 0);
    for (int s : sources)
        renumber[size_t(s)] = -1;
    int next = 0;
    for (size_t s = 0; s < renumber.size(); ++s) {
        if (renumber[s] < 0)
            continue;
        renumber[s] = next;
        if (int(s) != next) {
            d->rows[size_t(next)] = std::move(d->rows[s]);
            d->rowIds[size_t(next)] = d->rowIds[s];
            d->pass[size_t(next)] = d->pass[s];
            if (d->sorted())
                d->keys[size_t(next)] = std::move(d->keys[s]);
        }
        ++next;
    }
    d->rows.resize(size_t(next));
    d->rowIds.resize(size_t(next));
    d->pass.resize(size_t(next));
    if (d->sorted())
        d->keys.resize(size_t(next));
    std::vector<int> order;
    order.reserve(size_t(next));
    for (int s : d->order)
        if (renumber[size_t(s)] >= 0)
            order.push_back(renumber[size_t(s)]);
    d->order = std::move(order);
    for (int &s : d->visible)
        s = renumber[size_t(s)];
}

void RecordSet::setColumns(const QList<Column> &columns)
{
    beginResetModel();
    d->columns = columns;
    d->resolveColumns();
    endResetModel();
}

QList<RecordSet::Column> RecordSet::columns() const { return d->columns; }

int RecordSet::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

int RecordSet::columnCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return d->columns.isEmpty() ? int(d->fields.size()) : int(d->columns.size());
}

QVariant RecordSet::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return QVariant();
    const int f = d->fieldOfColumn(index.column());
    if (f < 0)
        return role == Qt::DisplayRole ? QVariant(QString()) : QVariant();
    const QVariant &v = d->rows[size_t(d->visible[size_t(index.row())])][f];
    switch (role) {
    case Qt::DisplayRole:
        return displayText(v, isMoneyField(f));
    case Qt::EditRole:
        return v;
    default:
        return QVariant();
    }
}

QVariant RecordSet::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        if (d->columns.isEmpty())
            return section < d->fields.size() ? QVariant(d->fields[section]) : QVariant();
        return section < d->columns.size() ? QVariant(d->columns[section].title) : QVariant();
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

} // namespace db
