#include "db/RecordSet.h"
#include "db/Connection.h"
#include "core/Error.h"
#include "db/Money.h"
#include "db/SqlDialect.h"
#include "db/SqlFunctions.h"
#include "db/StructureCheck.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QScopedValueRollback>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <sqlite3.h>

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

// Up to 19 digits fit one 64-bit number: the digits left-aligned, the
// length breaking ties, which orders the texts as their characters do (a
// prefix first). A million journal keys then take no string each.
constexpr qsizetype kPackedDigits = 19;

bool keepsPlainSort(const QVariant &v)
{
    if (v.typeId() != QMetaType::QString)
        return true;
    const QString &s = *static_cast<const QString *>(v.constData());
    return s.size() <= kPackedDigits && digitsOnly(s);
}

quint64 packDigits(const QString &s)
{
    quint64 packed = 0;
    for (qsizetype i = 0; i < kPackedDigits; ++i)
        packed = packed * 10 + (i < s.size() ? quint64(s[i].unicode() - u'0') : 0);
    return packed;
}

// One value's place in the sort: NULL first, then numbers by value, then
// texts by collation (or plainly, see digitsOnly).
struct SortKey
{
    quint8 kind = 0;     // 0 NULL, 1 number, 2 text
    quint8 length = 0;   // plain texts: the number of digits
    double number = 0;
    quint64 digits = 0;  // plain texts: packDigits
    std::optional<QCollatorSortKey> text;
};

int compareKeys(const SortKey &a, const SortKey &b)
{
    if (a.kind != b.kind)
        return a.kind < b.kind ? -1 : 1;
    if (a.kind == 1)
        return a.number < b.number ? -1 : (b.number < a.number ? 1 : 0);
    if (a.kind == 2) {
        if (a.text)
            return a.text->compare(*b.text);
        if (a.digits != b.digits)
            return a.digits < b.digits ? -1 : 1;
        return a.length < b.length ? -1 : (b.length < a.length ? 1 : 0);
    }
    return 0;
}

// The key of a NULL, a number or a text that keeps plain comparison.
SortKey plainKeyOf(const QVariant &v)
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
    const QString text = v.toString();
    k.digits = packDigits(text);
    k.length = quint8(text.size());
    return k;
}

// "SELECT ..." without the trailing semicolons, to be wrapped in another SELECT.
QString statementBody(const QString &sql)
{
    QString body = sql.trimmed();
    while (body.endsWith(QLatin1Char(';')))
        body = body.chopped(1).trimmed();
    return body;
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

// The rows of a lazy load, straight from SQLite: a million rows of three
// fields pass the Qt driver's per-row copies in a fraction of the time.
// Values come as the driver gives them (texts, 64-bit integers, doubles,
// NULL as a null text). A server's rows come through its Qt driver, which
// has received them whole already.
class RawRows
{
public:
    RawRows(Connection &connection, const QString &accessSql)
    {
        if (connection.isServer()) {
            m_query.emplace(connection.exec(accessSql));
            return;
        }
        m_db = sqliteHandle(connection.database());
        const QByteArray sql = accessToSqlite(accessSql).toUtf8();
        if (sqlite3_prepare_v2(m_db, sql.constData(), int(sql.size()), &m_stmt, nullptr) != SQLITE_OK)
            fail();
    }
    ~RawRows() { sqlite3_finalize(m_stmt); }
    RawRows(const RawRows &) = delete;
    RawRows &operator=(const RawRows &) = delete;

    bool next()
    {
        if (m_query) {
            if (m_query->next())
                return true;
            if (m_query->lastError().isValid())
                raise(sqlErrorText(m_query->lastError()));
            return false;
        }
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            fail();
        return false;
    }

    qint64 integer(int i) const
    {
        return m_query ? m_query->value(i).toLongLong() : sqlite3_column_int64(m_stmt, i);
    }

    QVariant value(int i) const
    {
        if (m_query)
            return m_query->value(i);
        switch (sqlite3_column_type(m_stmt, i)) {
        case SQLITE_INTEGER:
            return QVariant(qlonglong(sqlite3_column_int64(m_stmt, i)));
        case SQLITE_FLOAT:
            return QVariant(sqlite3_column_double(m_stmt, i));
        case SQLITE_TEXT: {
            const auto *text = static_cast<const QChar *>(sqlite3_column_text16(m_stmt, i));
            return QVariant(QString(text, sqlite3_column_bytes16(m_stmt, i) / 2));
        }
        case SQLITE_BLOB: {
            const auto *data = static_cast<const char *>(sqlite3_column_blob(m_stmt, i));
            return QVariant(QByteArray(data, sqlite3_column_bytes(m_stmt, i)));
        }
        default:
            return QVariant(QMetaType::fromType<QString>());
        }
    }

    // The plain sort key of a field, read without making a string; nullopt
    // for a text that does not keep plain comparison.
    std::optional<SortKey> plainKey(int i) const
    {
        if (m_query) {
            const QVariant v = m_query->value(i);
            return keepsPlainSort(v) ? std::optional<SortKey>(plainKeyOf(v)) : std::nullopt;
        }
        if (sqlite3_column_type(m_stmt, i) != SQLITE_TEXT)
            return plainKeyOf(value(i));
        const auto *text = sqlite3_column_text(m_stmt, i);
        const int n = sqlite3_column_bytes(m_stmt, i);
        if (n > kPackedDigits)
            return std::nullopt;
        SortKey k;
        k.kind = 2;
        k.length = quint8(n);
        for (int c = 0; c < kPackedDigits; ++c) {
            const unsigned char ch = c < n ? text[c] : '0';
            if (ch < '0' || ch > '9')
                return std::nullopt;
            k.digits = k.digits * 10 + quint64(ch - '0');
        }
        return k;
    }

private:
    [[noreturn]] void fail() const { raise(QString::fromUtf8(sqlite3_errmsg(m_db))); }

    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_stmt = nullptr;
    std::optional<QSqlQuery> m_query;
};

} // namespace

struct RecordSet::Impl
{
    // Rows read whole at a time, and the rows first made known to the views
    // of a set that holds its rows by their key fields.
    static constexpr int kBlock = 256;

    Connection *connection = nullptr;
    QString table;          // as set by the caller
    QString sql;
    bool open = false;
    QStringList heldNames;  // as set by the caller
    QStringList indexNames; // as set by the caller

    // Of the last load.
    QString writeTable;     // the table written to; empty: the set is read-only
    QStringList fields;
    QHash<QString, int> fieldByLower;
    std::vector<char> money;        // per field
    std::vector<char> inTable;      // per field: a column of writeTable

    std::vector<Row> rows;          // source rows, in the order of the SELECT
    std::vector<qint64> rowIds;
    std::vector<char> pass;         // the filter's verdict per source row

    // A set whose rows are held by their key fields (lazy): every row keeps
    // only the held fields in `held`; rows[s] stays empty until the row is
    // read whole from the table by its rowid, when it is shown or asked for.
    bool lazy = false;
    std::vector<int> heldFields;    // field indexes, ascending
    std::vector<int> heldSlot;      // per field: its place among heldFields, or -1
    std::vector<QVariant> held;     // rows.size() x heldFields.size()
    Row scratch;                    // what the filter judges of a lazy row

    std::vector<int> order;         // source rows in sort order (identity unsorted)
    std::vector<int> visible;       // the rows shown: `order` less the filtered out
    int exposed = 0;                // leading shown rows the views know (rowCount)
    bool changing = false;          // inside a layout change or a reset

    FilterFn filter;
    bool filtered = false;

    QString sortFieldName;          // empty: unsorted
    int sortField = -1;
    Qt::SortOrder sortOrder = Qt::AscendingOrder;
    std::vector<SortKey> keys;      // per source row while sorted
    bool plainSort = false;         // the sort column's texts are all digits
    QCollator collator{QLocale(QLocale::Russian, QLocale::Russia)};

    // Look-ups by value: per indexed field, each value's text to its source
    // rows in ascending order.
    struct FieldIndex
    {
        int field = -1;
        QHash<QString, std::vector<int>> rows;
    };
    std::vector<FieldIndex> indexes;

    QList<Column> columns;
    std::vector<int> columnField;   // per grid column: field index or -1

    bool sorted() const { return sortField >= 0; }
    size_t heldCount() const { return heldFields.size(); }
    bool isRead(int s) const { return !rows[size_t(s)].isEmpty(); }

    // A held field of a lazy row, or any field of a row read whole.
    const QVariant &cell(int s, int f) const
    {
        if (lazy && heldSlot[size_t(f)] >= 0)
            return held[size_t(s) * heldCount() + size_t(heldSlot[size_t(f)])];
        return rows[size_t(s)][f];
    }

    SortKey keyOf(const QVariant &v) const
    {
        if (plainSort || v.isNull() || isNumber(v))
            return plainKeyOf(v);
        SortKey k;
        k.kind = 2;
        k.text = collator.sortKey(v.toString());
        return k;
    }

    // The sort column of every source row. A lazy set that does not hold
    // it reads it from the table.
    std::vector<QVariant> sortValues()
    {
        std::vector<QVariant> values(rows.size());
        if (lazy && heldSlot[size_t(sortField)] < 0) {
            readColumn(sortField, values);
            return values;
        }
        for (size_t s = 0; s < rows.size(); ++s)
            values[s] = cell(int(s), sortField);
        return values;
    }

    void computeKeys(const std::vector<QVariant> &values)
    {
        plainSort = std::all_of(values.begin(), values.end(), keepsPlainSort);
        keys.clear();
        keys.reserve(values.size());
        for (const QVariant &v : values)
            keys.push_back(keyOf(v));
    }

    // Sets the key of source row `s` (appending it for a new last row) from
    // its value `v`. A text that ends plain comparison turns every key into
    // a collation key; the order of the rows stays, as both orders agree on
    // digit texts.
    void setKey(int s, const QVariant &v)
    {
        if (plainSort && !keepsPlainSort(v)) {
            plainSort = false;
            const std::vector<QVariant> values = sortValues();
            for (size_t i = 0; i < keys.size(); ++i)
                keys[i] = keyOf(values[i]);
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

    bool judge(const RecordSet &set, int source)
    {
        if (!filtered || !filter)
            return true;
        if (!lazy)
            return filter(set, rows[size_t(source)]);
        QVariant *out = scratch.data();
        const QVariant *in = held.data() + size_t(source) * heldCount();
        for (size_t j = 0; j < heldCount(); ++j)
            out[heldFields[j]] = in[j];
        return filter(set, scratch);
    }

    void computeOrder()
    {
        order.resize(rows.size());
        std::iota(order.begin(), order.end(), 0);
        // A journal comes in time order already: checked in one pass.
        const auto byKey = [this](int a, int b) { return less(a, b); };
        if (sorted() && !std::is_sorted(order.begin(), order.end(), byKey))
            std::stable_sort(order.begin(), order.end(), byKey);
    }

    void computeKeysAndOrder()
    {
        keys.clear();
        if (sorted())
            computeKeys(sortValues());
        computeOrder();
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

    // --- Look-ups by value

    static QString indexText(const QVariant &v) { return v.toString(); }

    void buildIndexes()
    {
        indexes.clear();
        for (const QString &name : indexNames) {
            const int f = fieldByLower.value(name.toLower(), -1);
            if (f < 0 || std::any_of(indexes.begin(), indexes.end(),
                                     [f](const FieldIndex &i) { return i.field == f; }))
                continue;
            FieldIndex index;
            index.field = f;
            index.rows.reserve(qsizetype(rows.size()));
            // A lazy set asked for a look-up after its load reads the column.
            std::vector<QVariant> column;
            if (lazy && heldSlot[size_t(f)] < 0) {
                column.resize(rows.size());
                readColumn(f, column);
            }
            for (int s = 0; s < int(rows.size()); ++s) {
                const QVariant &v = column.empty() ? cell(s, f) : column[size_t(s)];
                if (!v.isNull())
                    index.rows[indexText(v)].push_back(s);
            }
            indexes.push_back(std::move(index));
        }
    }

    const FieldIndex *indexOf(int f) const
    {
        for (const FieldIndex &i : indexes)
            if (i.field == f)
                return &i;
        return nullptr;
    }

    void indexAdd(FieldIndex &index, const QVariant &v, int s)
    {
        if (v.isNull())
            return;
        std::vector<int> &list = index.rows[indexText(v)];
        list.insert(std::lower_bound(list.begin(), list.end(), s), s);
    }

    void indexRemove(FieldIndex &index, const QVariant &v, int s)
    {
        if (v.isNull())
            return;
        const auto it = index.rows.find(indexText(v));
        if (it == index.rows.end())
            return;
        std::vector<int> &list = it.value();
        list.erase(std::remove(list.begin(), list.end(), s), list.end());
        if (list.empty())
            index.rows.erase(it);
    }

    // --- Rows read whole (lazy sets)

    // Runs "SELECT rowid, <columnsSql>" on the write table for the given
    // source rows, a batch of rowids at a time, and hands every row found
    // to `take` with its source row; raises on a failed read.
    template <typename Take>
    void selectByRowIds(const QString &columnsSql, const std::vector<int> &sources, Take &&take)
    {
        constexpr size_t kBatch = 500;
        for (size_t from = 0; from < sources.size(); from += kBatch) {
            const size_t to = std::min(sources.size(), from + kBatch);
            QHash<qint64, int> place;
            place.reserve(qsizetype(to - from));
            QString ids;
            for (size_t i = from; i < to; ++i) {
                const qint64 id = rowIds[size_t(sources[i])];
                place.insert(id, sources[i]);
                ids += (ids.isEmpty() ? QString() : QStringLiteral(",")) + QString::number(id);
            }
            QSqlQuery q = connection->exec(QStringLiteral("SELECT rowid, ") + columnsSql
                                           + QStringLiteral(" FROM ") + bracketed(writeTable)
                                           + QStringLiteral(" WHERE rowid IN (") + ids
                                           + QStringLiteral(")"));
            while (q.next()) {
                const int s = place.value(q.value(0).toLongLong(), -1);
                if (s >= 0)
                    take(q, s);
            }
            if (q.lastError().isValid())
                raise(sqlErrorText(q.lastError()));
        }
    }

    // Reads the given source rows whole from the table. The held fields keep
    // what the set holds, so a row changed in them by another connection is
    // refused by the write guard; a row gone from the table shows them alone.
    void fetch(const std::vector<int> &sources)
    {
        if (!lazy)
            return;
        std::vector<int> wanted;
        for (int s : sources)
            if (!isRead(s))
                wanted.push_back(s);
        if (wanted.empty())
            return;
        QString columnsSql;
        for (const QString &f : fields)
            columnsSql += (columnsSql.isEmpty() ? QString() : QStringLiteral(", ")) + bracketed(f);
        const int n = int(fields.size());
        selectByRowIds(columnsSql, wanted, [&](const QSqlQuery &q, int s) {
            Row r(n);
            for (int f = 0; f < n; ++f)
                r[f] = q.value(1 + f);
            rows[size_t(s)] = std::move(r);
        });
        for (int s : wanted) {
            Row &r = rows[size_t(s)];
            if (r.isEmpty())
                r.resize(n);
            for (size_t j = 0; j < heldCount(); ++j)
                r[heldFields[j]] = held[size_t(s) * heldCount() + j];
        }
    }

    // One column of every source row, from the table by rowid (a lazy set's
    // sort by a field it does not hold); rows read whole give their own.
    void readColumn(int f, std::vector<QVariant> &values)
    {
        std::vector<int> all(rows.size());
        std::iota(all.begin(), all.end(), 0);
        selectByRowIds(bracketed(fields[f]), all,
                       [&](const QSqlQuery &q, int s) { values[size_t(s)] = q.value(1); });
        for (size_t s = 0; s < rows.size(); ++s)
            if (isRead(int(s)))
                values[s] = rows[s][f];
    }

    // Makes shown rows [from, to) read whole.
    void fetchVisible(int from, int to)
    {
        if (!lazy)
            return;
        to = std::min(to, int(visible.size()));
        std::vector<int> sources;
        for (int v = from; v < to; ++v)
            if (!isRead(visible[size_t(v)]))
                sources.push_back(visible[size_t(v)]);
        fetch(sources);
    }

    // Makes source row `s` read whole, with the rows that follow it.
    void requireRead(int s)
    {
        if (!lazy || isRead(s))
            return;
        std::vector<int> sources;
        for (int t = s; t < int(rows.size()) && sources.size() < size_t(kBlock); ++t)
            if (!isRead(t))
                sources.push_back(t);
        fetch(sources);
    }

    // After the shown rows changed: the views know the first block (at least
    // `atLeast` rows); a lazy set forgets the whole rows it no longer shows
    // there and reads the ones it does. A failed read leaves the rows to be
    // read when shown.
    void exposeFirst(int atLeast)
    {
        const int n = int(visible.size());
        if (!lazy) {
            exposed = n;
            return;
        }
        exposed = std::min(n, std::max(kBlock, atLeast));
        std::vector<char> keep(rows.size(), 0);
        for (int v = 0; v < exposed; ++v)
            keep[size_t(visible[size_t(v)])] = 1;
        for (size_t s = 0; s < rows.size(); ++s)
            if (!keep[s] && !rows[s].isEmpty())
                rows[s] = Row();
        try {
            fetchVisible(0, exposed);
        } catch (const core::Error &) {
        }
    }

    // --- Writing

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
    // (its other values bound already) for one source row, read whole;
    // raises unless it met exactly that row as the set holds it.
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

    // Row `s` now holds `fresh` (a new last row when `isNew`): the look-ups,
    // the held fields and the sort key follow.
    void takeRow(int s, Row fresh, bool isNew)
    {
        for (FieldIndex &index : indexes) {
            const QVariant &now = fresh[index.field];
            if (!isNew) {
                const QVariant &before = cell(s, index.field);
                if (before.isNull() == now.isNull() && indexText(before) == indexText(now))
                    continue;
                indexRemove(index, before, s);
            }
            indexAdd(index, now, s);
        }
        if (lazy)
            for (size_t j = 0; j < heldCount(); ++j)
                held[size_t(s) * heldCount() + j] = fresh[heldFields[j]];
        rows[size_t(s)] = std::move(fresh);
        if (sorted())
            setKey(s, rows[size_t(s)][sortField]);
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

void RecordSet::setHeldFields(const QStringList &fields) { d->heldNames = fields; }
QStringList RecordSet::heldFields() const { return d->heldNames; }
bool RecordSet::isLazy() const { return d->lazy; }

void RecordSet::setIndexedFields(const QStringList &fields)
{
    d->indexNames = fields;
    if (d->open)
        d->buildIndexes();
}

int RecordSet::findSource(const QString &field, const QString &text) const
{
    const int f = fieldIndex(field);
    if (!d->open || f < 0)
        return -1;
    if (const Impl::FieldIndex *index = d->indexOf(f)) {
        const auto it = index->rows.constFind(text);
        return it == index->rows.constEnd() ? -1 : it.value().front();
    }
    for (int s = 0; s < sourceCount(); ++s) {
        d->requireRead(s);
        const QVariant &v = d->cell(s, f);
        if (!v.isNull() && v.toString() == text)
            return s;
    }
    return -1;
}

void RecordSet::open()
{
    if (!d->connection || !d->connection->isOpen())
        raise(QStringLiteral("Нет подключения к базе данных"));
    if (d->sql.trimmed().isEmpty())
        raise(QStringLiteral("Не задан текст запроса"));

    const QString table = this->table();
    // On a server a row is told by the table's key column: a table without
    // it is only read.
    const bool server = d->connection->isServer();
    const bool keyed = !table.isEmpty() && (!server || d->connection->hasRowIds(table));
    const QString withId = keyed ? withRowId(d->sql, table) : QString();
    const bool hasRowId = !withId.isEmpty();
    // Held by key fields: the fields come from the statement alone, the rows
    // from a narrower SELECT below.
    const bool wantLazy = hasRowId && !d->heldNames.isEmpty();
    QSqlQuery q = d->connection->exec(
        wantLazy ? QStringLiteral("SELECT * FROM (") + statementBody(withId) + QStringLiteral(") LIMIT 0")
                 : (hasRowId ? withId : d->sql));

    const QSqlRecord rec = q.record();
    const int first = hasRowId ? 1 : 0;
    // The place of each field in the statement's record: after the rowid,
    // less a server's key column, which is no field of the set.
    std::vector<int> place;
    QStringList fields;
    QHash<QString, int> byLower;
    for (int i = first; i < rec.count(); ++i) {
        if (server
            && rec.fieldName(i).compare(QLatin1String(Connection::kServerRowId), Qt::CaseInsensitive) == 0)
            continue;
        place.push_back(i);
        // The server folds names to lower case; the program's own come back in its spelling.
        fields << (server ? programSpelling(rec.fieldName(i)) : rec.fieldName(i));
        byLower.insert(fields.last().toLower(), int(fields.size()) - 1);
    }
    const int n = int(fields.size());

    std::vector<char> money(size_t(std::max(n, 0)), 0);
    std::vector<char> inTable(size_t(std::max(n, 0)), 0);
    const auto readTableInfo = [&] {
        if (!hasRowId)
            return;
        for (const TableColumn &column : d->connection->tableColumns(table)) {
            const int f = byLower.value(column.name.toLower(), -1);
            if (f < 0)
                continue;
            inTable[size_t(f)] = 1;
            const QString type = column.type.toUpper();
            money[size_t(f)] = type == QLatin1String("MONEY") || type == QLatin1String("CURRENCY");
        }
    };

    std::vector<Row> rows;
    std::vector<qint64> ids;
    // A lazy load: the held fields (and the look-up and sort fields) of
    // every row, read whole rows are fetched by rowid later. Only a set of
    // plain table columns can be read back by rowid.
    bool lazy = false;
    std::vector<int> heldFields;
    std::vector<QVariant> held;
    std::vector<SortKey> lazyKeys;
    bool lazyPlain = true;
    const int sortField = d->sortFieldName.isEmpty() ? -1 : byLower.value(d->sortFieldName.toLower(), -1);
    if (wantLazy) {
        q.finish();
        readTableInfo();
        lazy = std::all_of(inTable.begin(), inTable.end(), [](char c) { return c != 0; });
    }
    if (lazy) {
        for (const QStringList *names : {&d->heldNames, &d->indexNames})
            for (const QString &name : *names) {
                const int f = byLower.value(name.toLower(), -1);
                if (f >= 0)
                    heldFields.push_back(f);
            }
        std::sort(heldFields.begin(), heldFields.end());
        heldFields.erase(std::unique(heldFields.begin(), heldFields.end()), heldFields.end());
        QString columnsSql = kRowIdColumn;
        for (int f : heldFields)
            columnsSql += QStringLiteral(", ") + bracketed(fields[f]);
        if (sortField >= 0)
            columnsSql += QStringLiteral(", ") + bracketed(fields[sortField]);
        RawRows keysQuery(*d->connection, QStringLiteral("SELECT ") + columnsSql
                                              + QStringLiteral(" FROM (") + statementBody(withId)
                                              + QStringLiteral(")"));
        std::vector<StringPool> pools(heldFields.size());
        const int h = int(heldFields.size());
        // Keys are made plain while the texts allow it; a text that does
        // not makes them all collation keys once the rows are in.
        while (keysQuery.next()) {
            ids.push_back(keysQuery.integer(0));
            for (int j = 0; j < h; ++j)
                held.push_back(pools[size_t(j)].take(keysQuery.value(1 + j)));
            if (sortField >= 0 && lazyPlain) {
                if (const std::optional<SortKey> k = keysQuery.plainKey(1 + h))
                    lazyKeys.push_back(*k);
                else
                    lazyPlain = false;
            }
        }
        rows.resize(ids.size());
    } else {
        if (wantLazy) // fields that are no table column: read whole after all
            q = d->connection->exec(withId);
        std::vector<StringPool> pools(size_t(std::max(n, 0)));
        while (q.next()) {
            Row r(n);
            QVariant *out = r.data();
            for (int i = 0; i < n; ++i)
                out[i] = pools[size_t(i)].take(q.value(place[size_t(i)]));
            rows.push_back(std::move(r));
            ids.push_back(hasRowId ? q.value(0).toLongLong() : -1);
        }
        if (q.lastError().isValid())
            raise(sqlErrorText(q.lastError()));
        q.finish();
        if (!wantLazy)
            readTableInfo();
    }

    const auto takeNewRows = [&] {
        d->writeTable = hasRowId ? table : QString();
        d->fields = fields;
        d->fieldByLower = std::move(byLower);
        d->money = std::move(money);
        d->inTable = std::move(inTable);
        d->rows = std::move(rows);
        d->rowIds = std::move(ids);
        d->lazy = lazy;
        d->heldFields = std::move(heldFields);
        d->heldSlot.assign(size_t(std::max(n, 0)), -1);
        for (size_t j = 0; j < d->heldFields.size(); ++j)
            d->heldSlot[size_t(d->heldFields[j])] = int(j);
        d->held = std::move(held);
        d->scratch = lazy ? Row(n) : Row();
        d->open = true;
        d->resolveSortField();
        d->resolveColumns();
        if (lazy && d->sorted() && lazyPlain) {
            d->plainSort = true;
            d->keys = std::move(lazyKeys);
            d->computeOrder();
        } else {
            d->computeKeysAndOrder();
        }
        d->buildIndexes();
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
        const QScopedValueRollback<bool> changing(d->changing, true);
        beginResetModel();
        takeNewRows();
        d->exposeFirst(0);
        endResetModel();
    }
}

void RecordSet::relayout(const std::function<void()> &change, bool byRowId)
{
    // No rows are fetched for a view while the layout changes.
    const QScopedValueRollback<bool> changing(d->changing, true);
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    std::vector<qint64> identity;
    identity.reserve(size_t(before.size()));
    for (const QModelIndex &i : before) {
        const int s = d->visible[size_t(i.row())];
        identity.push_back(byRowId ? d->rowIds[size_t(s)] : s);
    }

    change();

    std::vector<int> places;
    int lastPlace = -1;
    if (!before.isEmpty()) {
        QHash<qint64, int> place;
        place.reserve(qsizetype(d->visible.size()));
        for (int v = 0; v < int(d->visible.size()); ++v) {
            const int s = d->visible[size_t(v)];
            place.insert(byRowId ? d->rowIds[size_t(s)] : s, v);
        }
        for (qsizetype k = 0; k < before.size(); ++k) {
            places.push_back(place.value(identity[size_t(k)], -1));
            lastPlace = std::max(lastPlace, places.back());
        }
    }
    // The rows still selected stay known to the views.
    d->exposeFirst(lastPlace + 1);
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype k = 0; k < before.size(); ++k)
        after << (places[size_t(k)] < 0 ? QModelIndex() : index(places[size_t(k)], before[k].column()));
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

void RecordSet::close()
{
    beginResetModel();
    d->open = false;
    d->rows.clear();
    d->rowIds.clear();
    d->held.clear();
    d->pass.clear();
    d->order.clear();
    d->visible.clear();
    d->keys.clear();
    d->indexes.clear();
    d->exposed = 0;
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

const RecordSet::Row &RecordSet::row(int row) const
{
    const int s = sourceIndex(row);
    if (d->lazy && !d->isRead(s))
        d->fetchVisible(row, row + Impl::kBlock);
    return d->rows[size_t(s)];
}

const RecordSet::Row &RecordSet::sourceRow(int sourceRow) const
{
    if (sourceRow < 0 || sourceRow >= sourceCount())
        raise(QStringLiteral("Строка %1 вне набора данных").arg(sourceRow));
    d->requireRead(sourceRow);
    return d->rows[size_t(sourceRow)];
}

qint64 RecordSet::rowId(int row) const { return d->rowIds[size_t(sourceIndex(row))]; }

QVariant RecordSet::value(int row, const QString &field) const
{
    const int f = d->requireField(field);
    return this->row(row)[f];
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

    // A lazy set may have to read the column first: done before the views
    // hear of a change, so that a failed read changes nothing.
    const QString oldName = d->sortFieldName;
    const Qt::SortOrder oldOrder = d->sortOrder;
    d->sortFieldName = field;
    d->sortOrder = order;
    d->resolveSortField();
    std::vector<QVariant> values;
    try {
        if (d->sorted())
            values = d->sortValues();
    } catch (...) {
        d->sortFieldName = oldName;
        d->sortOrder = oldOrder;
        d->resolveSortField();
        throw;
    }
    relayout([&] {
        d->keys.clear();
        if (d->sorted())
            d->computeKeys(values);
        d->computeOrder();
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
        d->keys.clear();
        d->computeOrder();
        rebuildVisible();
    }, false);
}

QString RecordSet::sortField() const { return d->sortFieldName; }

int RecordSet::insertRecord(const QVariantMap &values)
{
    int v = -1;
    insertRecordIf(values, {}, &v);
    return v;
}

bool RecordSet::insertRecordIf(const QVariantMap &values, const std::function<bool()> &allowed,
                               int *visibleRow)
{
    if (visibleRow)
        *visibleRow = -1;
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
        // The statement outlives the transaction: a server frees it only
        // once a failed transaction is rolled back.
        QSqlQuery q;
        Transaction tx(*d->connection);
        if (allowed && !allowed())
            return false;
        // A server says the new row's key itself.
        q = d->connection->prepare(
            d->connection->isServer()
                ? sql + QStringLiteral(" RETURNING ") + QLatin1String(Connection::kServerRowId)
                : sql);
        for (auto it = values.constBegin(); it != values.constEnd(); ++it)
            q.addBindValue(it.value());
        Connection::execPrepared(q);
        if (d->connection->isServer()) {
            if (!q.next())
                raise(QStringLiteral("Записанная строка не найдена в таблице ") + d->writeTable);
            rowId = q.value(0).toLongLong();
        } else {
            rowId = q.lastInsertId().toLongLong();
        }
        q.finish();
        fresh = d->readBack(rowId, Row(d->fields.size()));
        tx.commit();
    }

    const int s = int(d->rows.size());
    d->rows.emplace_back();
    d->rowIds.push_back(rowId);
    if (d->lazy)
        d->held.resize(d->held.size() + d->heldCount());
    d->takeRow(s, std::move(fresh), true);
    d->order.insert(std::upper_bound(d->order.begin(), d->order.end(), s,
                                     [this](int a, int b) { return d->less(a, b); }),
                    s);
    d->pass.push_back(d->judge(*this, s));
    if (!d->pass.back())
        return true;
    const int v = d->visibleInsertPos(s);
    // Rows past those the views know are announced when they are fetched.
    showAt(v, s, v < d->exposed || d->exposed == count());
    if (visibleRow)
        *visibleRow = v;
    return true;
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
    this->row(row); // read whole: the guard compares every column

    Row fresh;
    {
        QSqlQuery q; // outlives the transaction, as in insertRecord
        Transaction tx(*d->connection);
        q = d->connection->prepare(QStringLiteral("UPDATE ") + bracketed(d->writeTable)
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
    if (d->sorted())
        d->order.erase(std::find(d->order.begin(), d->order.end(), s));
    d->takeRow(s, std::move(fresh), false);
    if (d->sorted())
        d->order.insert(std::lower_bound(d->order.begin(), d->order.end(), s,
                                         [this](int a, int b) { return d->less(a, b); }),
                        s);
    d->pass[size_t(s)] = d->judge(*this, s);
    const bool wasKnown = oldV < d->exposed;
    if (!d->pass[size_t(s)]) {
        if (wasKnown)
            beginRemoveRows(QModelIndex(), oldV, oldV);
        d->visible.erase(d->visible.begin() + oldV);
        if (wasKnown) {
            --d->exposed;
            endRemoveRows();
        }
        return;
    }
    d->visible.erase(d->visible.begin() + oldV);
    const int newV = d->visibleInsertPos(s);
    // Known to the views at its new place, counted without the row itself.
    const int knownWithout = d->exposed - (wasKnown ? 1 : 0);
    const bool knownAfter = newV < knownWithout || knownWithout == count();
    if (wasKnown && knownAfter) {
        d->visible.insert(d->visible.begin() + oldV, s);
        if (newV != oldV) {
            const int dest = newV < oldV ? newV : newV + 1; // numbered as before the move
            beginMoveRows(QModelIndex(), oldV, oldV, QModelIndex(), dest);
            d->visible.erase(d->visible.begin() + oldV);
            d->visible.insert(d->visible.begin() + newV, s);
            endMoveRows();
        }
        emit dataChanged(index(newV, 0), index(newV, std::max(0, columnCount() - 1)));
        return;
    }
    // The row leaves or enters the part the views know.
    if (wasKnown) {
        d->visible.insert(d->visible.begin() + oldV, s);
        beginRemoveRows(QModelIndex(), oldV, oldV);
        d->visible.erase(d->visible.begin() + oldV);
        --d->exposed;
        endRemoveRows();
    }
    showAt(newV, s, knownAfter);
}

void RecordSet::showAt(int v, int s, bool announce)
{
    if (announce)
        beginInsertRows(QModelIndex(), v, v);
    d->visible.insert(d->visible.begin() + v, s);
    if (announce) {
        ++d->exposed;
        endInsertRows();
    }
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
    d->fetch(sources); // read whole: the guard compares every column

    {
        QSqlQuery q; // outlives the transaction, as in insertRecord
        Transaction tx(*d->connection);
        q = d->connection->prepare(QStringLiteral("DELETE FROM ") + bracketed(d->writeTable)
                                   + QStringLiteral(" WHERE rowid = ?") + d->guardSql());
        for (int s : sources)
            d->execGuarded(q, s);
        q.finish();
        tx.commit();
    }

    // Announce the removal in runs of neighbouring rows, the last run first,
    // so that every announced number is still right when it is announced.
    // Rows past those the views know go without a word.
    for (qsizetype end = rows.size(); end > 0;) {
        qsizetype begin = end - 1;
        while (begin > 0 && rows[begin - 1] == rows[begin] - 1)
            --begin;
        const int first = rows[begin];
        const int last = rows[end - 1];
        const int lastKnown = std::min(last, d->exposed - 1);
        if (first <= lastKnown)
            beginRemoveRows(QModelIndex(), first, lastKnown);
        d->visible.erase(d->visible.begin() + first, d->visible.begin() + last + 1);
        if (first <= lastKnown) {
            d->exposed -= lastKnown - first + 1;
            endRemoveRows();
        }
        end = begin;
    }

    // Compact the source rows; the shown rows keep their places.
    std::vector<int> renumber(d->rows.size(), 0);
    for (int s : sources)
        renumber[size_t(s)] = -1;
    const size_t h = d->heldCount();
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
            if (d->lazy)
                for (size_t j = 0; j < h; ++j)
                    d->held[size_t(next) * h + j] = std::move(d->held[s * h + j]);
        }
        ++next;
    }
    d->rows.resize(size_t(next));
    d->rowIds.resize(size_t(next));
    d->pass.resize(size_t(next));
    if (d->sorted())
        d->keys.resize(size_t(next));
    if (d->lazy)
        d->held.resize(size_t(next) * h);
    std::vector<int> order;
    order.reserve(size_t(next));
    for (int s : d->order)
        if (renumber[size_t(s)] >= 0)
            order.push_back(renumber[size_t(s)]);
    d->order = std::move(order);
    for (int &s : d->visible)
        s = renumber[size_t(s)];
    for (Impl::FieldIndex &index : d->indexes) {
        for (auto it = index.rows.begin(); it != index.rows.end();) {
            std::vector<int> &list = it.value();
            std::vector<int> kept;
            kept.reserve(list.size());
            for (int s : list)
                if (renumber[size_t(s)] >= 0)
                    kept.push_back(renumber[size_t(s)]);
            list = std::move(kept);
            it = list.empty() ? index.rows.erase(it) : std::next(it);
        }
    }
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
    return parent.isValid() ? 0 : d->exposed;
}

bool RecordSet::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && d->exposed < count();
}

void RecordSet::fetchMore(const QModelIndex &parent)
{
    if (parent.isValid() || d->exposed >= count() || d->changing)
        return;
    const int n = std::min(Impl::kBlock, count() - d->exposed);
    try {
        d->fetchVisible(d->exposed, d->exposed + n);
    } catch (const core::Error &) {
        return; // tried again at the next scroll
    }
    beginInsertRows(QModelIndex(), d->exposed, d->exposed + n - 1);
    d->exposed += n;
    endInsertRows();
}

int RecordSet::columnCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return d->columns.isEmpty() ? int(d->fields.size()) : int(d->columns.size());
}

QVariant RecordSet::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= d->exposed)
        return QVariant();
    const int f = d->fieldOfColumn(index.column());
    if (f < 0)
        return role == Qt::DisplayRole ? QVariant(QString()) : QVariant();
    const int s = d->visible[size_t(index.row())];
    if (d->lazy && !d->isRead(s)) {
        try {
            d->fetchVisible(index.row(), index.row() + Impl::kBlock);
        } catch (const core::Error &) {
        }
    }
    // A row that could not be read shows what the set holds of it.
    const QVariant v = d->isRead(s) ? d->rows[size_t(s)][f]
                                    : (d->heldSlot[size_t(f)] >= 0 ? d->cell(s, f) : QVariant());
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
