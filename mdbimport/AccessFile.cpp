#include "AccessFile.h"
#include "core/Error.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

extern "C" {
#include <mdbtools.h>
}

namespace mdbimport {

namespace {

const QString kErrorClass = QStringLiteral("EAccessError");

[[noreturn]] void raise(const QString &message)
{
    throw core::Error(kErrorClass, message);
}

SourceType sourceType(int mdbType)
{
    switch (mdbType) {
    case MDB_BOOL: return SourceType::Bool;
    case MDB_BYTE: return SourceType::Byte;
    case MDB_INT: return SourceType::Int;
    case MDB_LONGINT: return SourceType::LongInt;
    case MDB_MONEY: return SourceType::Money;
    case MDB_FLOAT: return SourceType::Float;
    case MDB_DOUBLE: return SourceType::Double;
    case MDB_DATETIME: return SourceType::DateTime;
    case MDB_BINARY: return SourceType::Binary;
    case MDB_TEXT: return SourceType::Text;
    case MDB_OLE: return SourceType::Ole;
    case MDB_MEMO: return SourceType::Memo;
    case MDB_REPID: return SourceType::RepId;
    case MDB_NUMERIC: return SourceType::Numeric;
    case MDB_COMPLEX: return SourceType::Complex;
    default: return SourceType::Other;
    }
}

// Little-endian integers of the page buffer, whatever the host.
qint64 littleEndian(const unsigned char *p, int bytes)
{
    quint64 v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    if (bytes < 8 && (v & (quint64(1) << (bytes * 8 - 1))))
        v |= ~quint64(0) << (bytes * 8); // sign extension
    return qint64(v);
}

double littleEndianDouble(const unsigned char *p)
{
    const quint64 bits = quint64(littleEndian(p, 8));
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

float littleEndianFloat(const unsigned char *p)
{
    const quint32 bits = quint32(littleEndian(p, 4));
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

double shortestDouble(float f)
{
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, f);
    return r.ec == std::errc() ? QByteArray(text, r.ptr - text).toDouble() : double(f);
}

// Access keeps a date as days since 30.12.1899 with the time of day as the
// fraction; before that day the whole part counts back while the fraction
// still counts forward. Rounded to the second, as Access shows and compares.
std::optional<QDateTime> accessDate(double days)
{
    if (!std::isfinite(days) || std::fabs(days) > 3.0e6)
        return std::nullopt;
    const double whole = std::trunc(days);
    qint64 seconds = qint64(std::llround(std::fabs(days - whole) * 86400.0));
    qint64 day = qint64(whole);
    if (seconds >= 86400) {
        seconds -= 86400;
        day += days < 0 ? -1 : 1;
    }
    const QDate date = QDate(1899, 12, 30).addDays(day);
    return QDateTime(date, QTime(0, 0).addSecs(int(seconds)), Qt::UTC);
}

// A text of libmdb's own, released with g_free.
struct GText
{
    char *p;
    ~GText() { g_free(p); }
};

// Windows code pages that a Jet 3 file's sort order may name.
bool plausibleCodePage(int cp)
{
    return cp == 874 || cp == 932 || cp == 936 || cp == 949 || cp == 950
           || (cp >= 1250 && cp <= 1258);
}

// Sets an environment variable for the lifetime of the object.
class EnvOverride
{
public:
    EnvOverride(const char *name, const QByteArray &value) : m_name(name)
    {
        if (const char *old = std::getenv(name))
            m_old = QByteArray(old);
        ::setenv(name, value.constData(), 1);
    }
    ~EnvOverride()
    {
        if (m_old)
            ::setenv(m_name, m_old->constData(), 1);
        else
            ::unsetenv(m_name);
    }
    EnvOverride(const EnvOverride &) = delete;
    EnvOverride &operator=(const EnvOverride &) = delete;

private:
    const char *m_name;
    std::optional<QByteArray> m_old;
};

} // namespace

struct AccessFile::Handle
{
    MdbHandle *mdb = nullptr;
    ~Handle()
    {
        if (mdb)
            mdb_close(mdb);
    }
};

AccessFile::AccessFile() = default;
AccessFile::~AccessFile() = default;

bool AccessFile::isAccessFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(32);
    return head.size() >= 19
           && (head.mid(4, 15) == QByteArray("Standard Jet DB")
               || head.mid(4, 15) == QByteArray("Standard ACE DB"));
}

void AccessFile::open(const QString &path)
{
    m_handle.reset();
    m_tables.clear();
    m_linked.clear();
    const QFileInfo info(path);
    if (!info.isFile())
        raise(QStringLiteral("Файл Access ") + path + QStringLiteral(" не существует"));
    if (!QFile(path).open(QIODevice::ReadOnly))
        raise(QStringLiteral("Нет доступа к файлу Access ") + path);
    if (!isAccessFile(path))
        raise(QStringLiteral("Файл ") + path
              + QStringLiteral(" не является базой данных Microsoft Access (.mdb, .accdb)"));

    auto handle = std::make_unique<Handle>();
    {
        // Texts come out as UTF-8 whatever the caller's environment says.
        const EnvOverride utf8("MDB_ICONV", QByteArray("UTF-8"));
        // Opened without the writable flag: libmdb never writes to it.
        handle->mdb = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
        if (!handle->mdb)
            raise(QStringLiteral("Файл Access ") + path
                  + QStringLiteral(" повреждён или его версия не поддерживается"));
        MdbHandle *mdb = handle->mdb;
        // A Jet 3 file stores its texts in a Windows code page it does not
        // name reliably: the sort order's code page when it is one, else the
        // Cyrillic page of the program's Russian installations.
        // MDB_JET3_CHARSET, when set, still wins.
        if (IS_JET3(mdb) && !std::getenv("MDB_JET3_CHARSET")) {
            const int cp = mdb->f->code_page;
            const QByteArray charset =
                QByteArray("CP") + QByteArray::number(plausibleCodePage(cp) ? cp : 1251);
            const EnvOverride jet3("MDB_JET3_CHARSET", charset);
            mdb_iconv_close(mdb);
            mdb_iconv_init(mdb);
        }
    }
    MdbHandle *mdb = handle->mdb;
    if (!mdb_read_catalog(mdb, MDB_ANY))
        raise(QStringLiteral("Не удалось прочитать список таблиц файла Access ") + path);

    for (unsigned i = 0; i < mdb->num_catalog; ++i) {
        auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(mdb->catalog, i));
        if (entry->object_type == MDB_LINKED_TABLE)
            m_linked << QString::fromUtf8(entry->object_name);
        if (entry->object_type != MDB_TABLE || mdb_is_system_table(entry))
            continue;
        MdbTableDef *def = mdb_read_table(entry);
        if (!def)
            raise(QStringLiteral("Не удалось прочитать таблицу ")
                  + QString::fromUtf8(entry->object_name) + QStringLiteral(" файла Access ")
                  + path);
        SourceTable table;
        table.name = QString::fromUtf8(entry->object_name);
        if (!mdb_read_columns(def)) {
            mdb_free_tabledef(def);
            raise(QStringLiteral("Не удалось прочитать столбцы таблицы ") + table.name
                  + QStringLiteral(" файла Access ") + path);
        }
        for (unsigned c = 0; c < def->num_cols; ++c) {
            const auto *col = static_cast<MdbColumn *>(g_ptr_array_index(def->columns, c));
            SourceColumn column;
            column.name = QString::fromUtf8(col->name);
            column.type = sourceType(col->col_type);
            column.size = col->col_size;
            column.precision = col->col_prec;
            column.scale = col->col_scale;
            // Text sizes are stored in bytes; a Jet 4 character takes two.
            if (column.type == SourceType::Text && !IS_JET3(mdb))
                column.size /= 2;
            table.columns << column;
        }
        table.rows = def->num_rows;
        mdb_free_tabledef(def);
        m_tables << table;
    }
    m_handle = std::move(handle);
    m_path = path;
}

QString AccessFile::versionName() const
{
    if (!m_handle)
        return QString();
    switch (m_handle->mdb->f->jet_version) {
    case MDB_VER_JET3: return QStringLiteral("Jet 3");
    case MDB_VER_JET4: return QStringLiteral("Jet 4");
    case MDB_VER_ACCDB_2007: return QStringLiteral("Access 2007");
    case MDB_VER_ACCDB_2010: return QStringLiteral("Access 2010");
    case MDB_VER_ACCDB_2013: return QStringLiteral("Access 2013");
    case MDB_VER_ACCDB_2016: return QStringLiteral("Access 2016");
    case MDB_VER_ACCDB_2019: return QStringLiteral("Access 2019");
    default: return QStringLiteral("Access");
    }
}

qint64 AccessFile::readRows(const QString &tableName,
                            const std::function<bool(const SourceRow &)> &onRow)
{
    if (!m_handle)
        raise(QStringLiteral("Файл Access не открыт"));
    MdbHandle *mdb = m_handle->mdb;
    QByteArray name = tableName.toUtf8();
    MdbTableDef *def = mdb_read_table_by_name(mdb, name.data(), MDB_TABLE);
    if (!def || !mdb_read_columns(def)) {
        if (def)
            mdb_free_tabledef(def);
        raise(QStringLiteral("Не удалось прочитать таблицу ") + tableName
              + QStringLiteral(" файла Access ") + m_path);
    }
    struct DefCloser
    {
        MdbTableDef *def;
        ~DefCloser() { mdb_free_tabledef(def); }
    } closer{def};

    const unsigned n = def->num_cols;
    std::vector<MdbColumn *> cols(n);
    // OLE values are read through their column's bound buffer, which libmdb
    // fills with page-sized pieces of up to its own chunk size.
    std::vector<std::unique_ptr<char[]>> oleBuffers(n);
    for (unsigned c = 0; c < n; ++c) {
        cols[c] = static_cast<MdbColumn *>(g_ptr_array_index(def->columns, c));
        if (cols[c]->col_type == MDB_OLE) {
            oleBuffers[c] = std::make_unique<char[]>(MDB_BIND_SIZE * 64 + MDB_PGSIZE);
            mdb_bind_column(def, int(c) + 1, oleBuffers[c].get(), nullptr);
        }
    }

    // Texts are converted into a buffer of the handle's bind size and cut
    // at its end; a value that fills it is read again with a larger one, so
    // that no memo is ever cut short.
    const auto textOf = [&](int type, int start, int size) {
        size_t bind = 1 << 16;
        for (;;) {
            mdb_set_bind_size(mdb, bind);
            const GText t{mdb_col_to_string(mdb, mdb->pg_buf, start, type, size)};
            const size_t length = t.p ? std::strlen(t.p) : 0;
            if (length + 8 < bind || bind >= (size_t(1) << 30)) {
                // An empty text is not a null: the driver binds a null
                // QString as NULL.
                if (length == 0)
                    return QStringLiteral("");
                return QString::fromUtf8(t.p, qsizetype(length));
            }
            bind *= 4;
        }
    };

    std::vector<MdbField> fields(n);
    SourceRow row;
    qint64 count = 0;
    mdb_rewind_table(def);
    while (mdb_fetch_row(def)) {
        // libmdb tells null from empty only while it splits the row: split
        // the row just read once more to see its null flags and offsets.
        int start = 0;
        size_t size = 0;
        if (mdb_find_row(mdb, int(def->cur_row) - 1, &start, &size) != 0)
            raise(QStringLiteral("Строка таблицы ") + tableName
                  + QStringLiteral(" файла Access повреждена"));
        start &= 0x1fff;
        if (mdb_crack_row(def, start, size, fields.data()) < 0)
            raise(QStringLiteral("Строка таблицы ") + tableName
                  + QStringLiteral(" файла Access повреждена"));

        row = SourceRow(qsizetype(n));
        for (unsigned i = 0; i < n; ++i) {
            const MdbField &f = fields[i];
            const unsigned c = unsigned(f.colnum);
            if (c >= n)
                continue;
            MdbColumn *col = cols[c];
            const auto *p = mdb->pg_buf + f.start;
            if (col->col_type == MDB_BOOL) {
                // A yes/no value lives in the null mask: set means yes.
                row[c] = QVariant(!f.is_null);
                continue;
            }
            if (f.is_null)
                continue;
            QVariant v;
            switch (col->col_type) {
            case MDB_BYTE: v = qlonglong(p[0]); break;
            case MDB_INT: v = qlonglong(littleEndian(p, 2)); break;
            case MDB_LONGINT:
            case MDB_COMPLEX: v = qlonglong(littleEndian(p, 4)); break;
            case MDB_MONEY: v = qlonglong(littleEndian(p, 8)); break;
            case MDB_FLOAT:
                // The shortest decimal that is this single, as Access shows
                // it (0,15 rather than 0,150000005960464).
                v = shortestDouble(littleEndianFloat(p));
                break;
            case MDB_DOUBLE: v = littleEndianDouble(p); break;
            case MDB_DATETIME:
                // A day number no calendar date can hold stays a number.
                if (const auto d = accessDate(littleEndianDouble(p)))
                    v = *d;
                else
                    v = littleEndianDouble(p);
                break;
            case MDB_TEXT:
            case MDB_MEMO: v = textOf(col->col_type, f.start, f.siz); break;
            case MDB_REPID: {
                const GText t{mdb_col_to_string(mdb, mdb->pg_buf, f.start, MDB_REPID, f.siz)};
                v = QString::fromUtf8(t.p);
                break;
            }
            case MDB_NUMERIC: {
                const GText t{mdb_numeric_to_string(mdb, f.start, col->col_scale, col->col_prec)};
                v = QString::fromUtf8(t.p);
                break;
            }
            case MDB_BINARY:
                v = QByteArray(reinterpret_cast<const char *>(p), f.siz);
                break;
            case MDB_OLE: {
                if (f.siz < MDB_MEMO_OVERHEAD) {
                    v = QByteArray("");
                    break;
                }
                size_t length = 0;
                void *data = mdb_ole_read_full(mdb, col, &length);
                v = QByteArray(static_cast<const char *>(data), qsizetype(length));
                std::free(data);
                break;
            }
            default:
                v = QByteArray(reinterpret_cast<const char *>(p), f.siz);
                break;
            }
            row[c] = v;
        }
        ++count;
        if (!onRow(row))
            break;
    }
    return count;
}

} // namespace mdbimport
