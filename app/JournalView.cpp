#include "JournalView.h"

#include "DatabaseLink.h"

#include "core/Error.h"
#include "core/MessageService.h"
#include "core/ProcessValues.h"
#include "core/SoundService.h"
#include "core/TextUtil.h"
#include "admin/Bezopasnost.h"
#include "db/Connection.h"
#include "db/DBTools.h"

#include <QByteArrayView>
#include <QCryptographicHash>
#include <QSqlQuery>
#include <QtEndian>

namespace app {

namespace {
const QString kTable = QStringLiteral("SpisokDoc");
const QString kSortField = QStringLiteral("NMDateTimeTeh_Obrat");
const QString kFilterField = QStringLiteral("NMAllTeh");
} // namespace

JournalView::JournalView(QObject *parent)
    : QObject(parent), m_date(QDate::currentDate())
{
}

JournalView::~JournalView() = default;

void JournalView::setRecordSet(db::RecordSet *journal)
{
    m_journal = journal;
    if (!m_journal)
        return;
    m_journal->setTable(kTable);
    // The filter reads NMAllTeh alone: a journal of a million rows keeps
    // that and the sort key in memory, and reads rows whole as they are shown.
    m_journal->setHeldFields({kFilterField});
    m_journal->setFilter([this](const db::RecordSet &, const db::RecordSet::Row &row) {
        return FDQuery1FilterRecord(row);
    });
    m_journal->sortBy(kSortField);
}

void JournalView::setHooks(Hooks hooks) { m_hooks = std::move(hooks); }

void JournalView::setLink(DatabaseLink *link)
{
    if (m_link)
        disconnect(m_link, nullptr, this, nullptr);
    m_link = link;
    if (m_link)
        connect(m_link, &DatabaseLink::restored, this, &JournalView::pokazatKolVo);
}

QList<db::RecordSet::Column> JournalView::kolonki()
{
    return {
        {QStringLiteral("NMVid"), QStringLiteral("Питание"), 70},
        {QStringLiteral("NMDateVid"), QStringLiteral("Дата"), 70},
        {QStringLiteral("NMTimeVid"), QStringLiteral("Время"), 70},
        {QStringLiteral("NMFIO"), QStringLiteral("Ф.И.О."), 70},
        {QStringLiteral("NMTabNum"), QStringLiteral("Табельный №"), 70},
        {QStringLiteral("NMCardNum"), QStringLiteral("№ карты"), 70},
        {QStringLiteral("ShtrKod"), QStringLiteral("Штрихкод"), 70},
        {QStringLiteral("NMDolj"), QStringLiteral("Должность"), 70},
        {QStringLiteral("NMPodr"), QStringLiteral("Подразделение"), 70},
        {QStringLiteral("NMOrg"), QStringLiteral("Организация"), 70},
        {QStringLiteral("NMITR"), QStringLiteral("И.Т.Р."), 70},
        {QStringLiteral("NMStoimost"), QStringLiteral("Стоимость"), 70},
    };
}

bool JournalView::queryMode() const { return core::pv().Nastroyki.NastroykiOtboraVBD == 1; }

QString JournalView::vidName() const { return core::NazvanieVidaPitaniya(m_vid); }

template <typename F> bool JournalView::guarded(F &&action)
{
    try {
        action();
        return true;
    } catch (const core::Error &e) {
        if (m_link && m_journal && m_journal->connection())
            m_link->proverit(*m_journal->connection());
        core::showMessage(e.message(), core::Icon::Error);
    } catch (const std::exception &e) {
        core::showMessage(QString::fromUtf8(e.what()), core::Icon::Error);
    }
    return false;
}

void JournalView::openAtConnection()
{
    if (!m_journal || queryMode())
        return;
    guarded([this] {
        m_journal->setSql(QStringLiteral("SELECT * from SpisokDoc"));
        m_journal->open();
    });
}

QString JournalView::filterKey() const
{
    QString key = core::ruDate(m_date);
    if (m_vid != 0)
        key += QLatin1Char('_') + vidName() + QLatin1Char('_') + m_otbor;
    return key;
}

void JournalView::rebuildKeyCache()
{
    m_keyUpper = filterKey().toUpper();
    // The key's leading digits, dots and underscores: no letter upper-cases
    // to one of them, so a row whose text lacks them as they stand cannot
    // match, and most rows of a large journal are refused without
    // upper-casing them.
    qsizetype n = 0;
    while (n < m_keyUpper.size()
           && (m_keyUpper[n].isDigit() ? m_keyUpper[n].unicode() < 128
                                       : m_keyUpper[n] == u'.' || m_keyUpper[n] == u'_'))
        ++n;
    m_keyInvariant = m_keyUpper.left(n);
    m_allTehIndex = m_journal ? m_journal->fieldIndex(kFilterField) : -1;
}

bool JournalView::FDQuery1FilterRecord(const db::RecordSet::Row &row) const
{
    if (m_allTehIndex < 0 || m_allTehIndex >= row.size())
        return false;
    const QVariant &cell = row.at(m_allTehIndex);
    const QString text = cell.toString();
    if (!m_keyInvariant.isEmpty() && !text.contains(m_keyInvariant))
        return false;
    return text.toUpper().contains(m_keyUpper);
}

void JournalView::Sortirovka_Filtered()
{
    if (!m_journal || !m_journal->isOpen())
        return;
    guarded([this] {
        rebuildKeyCache();
        m_journal->setFiltered(true);
    });
}

void JournalView::Sortirovka_Zapros()
{
    // Without a database (missing file at start) there is nothing to ask:
    // the connection failure was already reported once.
    if (!m_journal || !m_journal->connection() || !m_journal->connection()->isOpen())
        return;
    DBTools::SpisokDocFilters filters;
    filters.NMVid = m_vid == 0 ? QString() : vidName();
    const QString d = core::ruDate(m_date);
    guarded([&] {
        rebuildKeyCache();   // a filter switched on by a name search judges the new rows
        m_journal->setSql(DBTools::ZaprosSpisokDoc(kTable, d, d, filters));
        m_journal->open();
    });
}

void JournalView::refreshByMode()
{
    if (queryMode()) {
        Sortirovka_Zapros();
        return;
    }
    perechitatIzmenennoe();
    Sortirovka_Filtered();
}

void JournalView::perechitatIzmenennoe()
{
    if (!m_journal || !m_journal->isOpen())
        return;
    db::Connection *connection = m_journal->connection();
    if (!connection || !connection->isOpen() || (m_link && m_link->lost()))
        return;
    guarded([&] {
        // The file counts the commits of other connections: a journal that
        // only this program writes is not read again. The first count is
        // taken at the first refresh, right after the load at connection.
        if (!connection->isServer()) {
            QSqlQuery q = connection->exec(QStringLiteral("PRAGMA data_version"));
            const qint64 version = q.next() ? q.value(0).toLongLong() : -1;
            const bool unchanged = version == m_dataVersion || m_dataVersion < 0;
            m_dataVersion = version;
            if (unchanged)
                return;
        }
        m_journal->refresh();
    });
}

void JournalView::ObrabotkaIzmeneniyaVidaPitaniya(int index)
{
    m_vid = (index >= 0 && index <= 4) ? index : 0;
    const bool registering = m_vid != 0;
    core::pv().VsePitaniya = registering ? QStringLiteral("Нет") : QStringLiteral("Да");
    emit registrationEnabled(registering);
    if (registering)
        emit focusDobavlenie();
    emit vidLabelChanged(vidName());
    refreshByMode();
    pokazatKolVo();
}

void JournalView::MonthCalendar1Click(const QDate &date)
{
    if (date.isValid())
        m_date = date;
    refreshByMode();
    pokazatKolVo();
}

void JournalView::PoiskPoFIOButtonClick()
{
    Sortirovka_Filtered();
    pokazatKolVo();
}

void JournalView::CLFIOButtonClick()
{
    // Emptied here first, so that the field's own change signal finds
    // nothing left to do and the journal is judged once.
    m_otbor.clear();
    emit otborCleared();
    Sortirovka_Filtered();
    pokazatKolVo();
}

void JournalView::EditOtborChange(const QString &text)
{
    if (text == m_otbor)
        return;
    m_otbor = text;
    if (text.isEmpty()) {
        Sortirovka_Filtered();
        pokazatKolVo();
    }
}

void JournalView::UdalenieClick(int currentRow, const QList<int> &selectedRows)
{
    if (!m_journal || currentRow < 0 || !selectedRows.contains(currentRow))
        return;
    core::beep(core::Beep::Default);
    if (core::ask(QStringLiteral("Подтвердить удаление?"), core::Buttons::OkCancel)
        != core::Answer::Ok)
        return;
    if (m_hooks.proverkaDostupa && !m_hooks.proverkaDostupa(admin::kUdalenieGlavnaya))
        return;
    guarded([&] { m_journal->deleteRecords(selectedRows); });
    pokazatKolVo();
    if (core::pv().Nastroyki.RefreshGrid)
        emit repaintGrid();
    if (core::pv().Nastroyki.RefreshQuery) {
        guarded([this] { m_journal->refresh(); });
        pokazatKolVo();
    }
}

void JournalView::ButtonOtmenitNeZaprParolVTekSessClick()
{
    if (m_hooks.zabytParolSessii)
        m_hooks.zabytParolSessii();
}

void JournalView::FormActivate()
{
    if (m_journal && m_journal->isOpen())
        guarded([this] { m_journal->sortBy(kSortField); });
    pokazatKolVo();
}

int JournalView::kolVo() const
{
    return (m_journal && m_journal->isOpen()) ? m_journal->count() : 0;
}

void JournalView::pokazatKolVo() { emit kolVoChanged(QString::number(kolVo())); }

QString JournalView::zaprosPovtora()
{
    return QStringLiteral("SELECT 1 FROM SpisokDoc WHERE NMDateVid = ? AND NMVid = ?"
                          " AND NMUserGUID = ? AND NMFIO = ? LIMIT 1");
}

namespace {

bool askPovtor(db::Connection &connection, const QString &fio, const QString &userGuid,
               const QString &vid, const QString &date)
{
    QSqlQuery q = connection.prepare(JournalView::zaprosPovtora());
    q.addBindValue(date);
    q.addBindValue(vid);
    q.addBindValue(userGuid);
    q.addBindValue(fio);
    db::Connection::execPrepared(q);
    return q.next();
}

// The key under which the writes of one meal wait for each other on the
// server: the four values of the rule, hashed. Two different meals sharing
// a key only wait for each other, they are still told apart by the check.
qint64 lockKey(const QString &fio, const QString &userGuid, const QString &vid, const QString &date)
{
    QCryptographicHash h(QCryptographicHash::Sha1);
    for (const QString &part : {date, vid, userGuid, fio}) {
        h.addData(part.toUtf8());
        h.addData(QByteArrayView("\x1f", 1));
    }
    return qFromBigEndian<qint64>(h.result().constData());
}

// Holds the writes of the same meal by other connections until this
// transaction ends. On the file, the transaction's up-front write lock does
// it for every write at once. The wait is as bounded as a wait for the
// file's lock: a point whose transaction hangs makes the others say "busy"
// rather than stand still.
void lockMeal(db::Connection &connection, const QString &fio, const QString &userGuid,
              const QString &vid, const QString &date)
{
    if (!connection.isServer())
        return;
    connection.exec(QStringLiteral("SET LOCAL lock_timeout = %1").arg(db::Connection::kBusyTimeoutMs));
    QSqlQuery q = connection.prepare(QStringLiteral("SELECT pg_advisory_xact_lock(?)"));
    q.addBindValue(lockKey(fio, userGuid, vid, date));
    db::Connection::execPrepared(q);
}

} // namespace

bool JournalView::uzheZaregistrirovan(const QString &fio, const QString &userGuid,
                                      const QString &vid, const QString &date) const
{
    if (!m_journal || !m_journal->isOpen())
        return false;
    db::Connection *connection = m_journal->connection();
    if (!connection || !connection->isOpen())
        return false;
    return askPovtor(*connection, fio, userGuid, vid, date);
}

bool JournalView::ensureOpen()
{
    if (!m_journal)
        return false;
    if (!m_journal->isOpen()) {
        // Query mode before its first refresh, or a load that failed at
        // connection: load now, so that the duplicate rule sees the day.
        if (queryMode())
            Sortirovka_Zapros();
        else
            openAtConnection();
    }
    return m_journal->isOpen();
}

bool JournalView::dobavitZapis(const QVariantMap &values, bool pravilo)
{
    if (!m_journal || !m_journal->isOpen() || !m_journal->connection())
        throw core::Error(QStringLiteral("EDatabaseError"),
                          QStringLiteral("Журнал питания не открыт."));
    if (m_allTehIndex < 0)
        rebuildKeyCache();
    if (!pravilo) {
        m_journal->insertRecord(values);
        return true;
    }
    db::Connection &connection = *m_journal->connection();
    const auto value = [&](const char *field) { return values.value(QLatin1String(field)).toString(); };
    const QString fio = value("NMFIO"), guid = value("NMUserGUID"), vid = value("NMVid"),
                  date = value("NMDateVid");
    return m_journal->insertRecordIf(values, [&] {
        lockMeal(connection, fio, guid, vid, date);
        return !askPovtor(connection, fio, guid, vid, date);
    });
}

void JournalView::posleRegistracii()
{
    if (core::pv().Nastroyki.RefreshQuery && m_journal)
        guarded([this] { m_journal->refresh(); });
    pokazatKolVo();
}

} // namespace app
