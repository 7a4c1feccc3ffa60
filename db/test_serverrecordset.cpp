#include "db/RecordSet.h"
#include "db/Connection.h"
#include "db/StructureCheck.h"
#include "core/Error.h"
#include "TestSupport.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using db::RecordSet;

// The record set on a PostgreSQL server: rows told apart by the table's key
// column, written, read back and fetched lazily as on a file, and the same
// work shows the same rows on both.
class TestServerRecordSet : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    testsupport::ServerDatabase m_server;
    QString m_file;
    // Per engine: the set's connection and another window's connection.
    struct Engine
    {
        std::unique_ptr<db::Connection> set, other;
    };
    Engine m_pg, m_sqlite;

    static void addRow(db::Connection &c, const QString &id, const QVariant &fio,
                       const QString &vid, const QVariant &price = 0)
    {
        QSqlQuery q = c.prepare("INSERT INTO SpisokDoc (NMZapisID, NMFIO, NMVid, NMStoimost) "
                                "VALUES (?, ?, ?, ?)");
        q.addBindValue(id);
        q.addBindValue(fio);
        q.addBindValue(vid);
        q.addBindValue(price);
        db::Connection::execPrepared(q);
    }

    static int count(db::Connection &c, const QString &where = "1 = 1")
    {
        QSqlQuery q = c.exec("SELECT COUNT(*) FROM SpisokDoc WHERE " + where);
        q.next();
        return q.value(0).toInt();
    }

    static void fill(db::Connection &c, int n)
    {
        db::Transaction tx(c);
        addRow(c, "A1", "Петров Иван Иванович", "Обед", 45.5);
        addRow(c, "A2", "Иванов Пётр", "Ужин", 120);
        addRow(c, "", QVariant(QMetaType::fromType<QString>()), "Обед", 0);
        for (int i = 0; i < n; ++i)
            addRow(c, QString("M%1").arg(i), QString("Сотрудник %1").arg(i % 97, 3, 10, QChar('0')),
                   i % 3 ? "Обед" : "Ужин", i);
        tx.commit();
    }

    static std::unique_ptr<RecordSet> journal(db::Connection &c, bool lazy)
    {
        auto rs = std::make_unique<RecordSet>();
        rs->setConnection(&c);
        rs->setSql("SELECT * from SpisokDoc");
        if (lazy)
            rs->setHeldFields({"NMVid"});
        rs->setFilter([](const RecordSet &set, const RecordSet::Row &row) {
            return row[set.fieldIndex("NMVid")].toString() == "Обед";
        });
        rs->sortBy("NMFIO");
        rs->open();
        rs->setFiltered(true);
        return rs;
    }

    static QStringList shown(const RecordSet &rs)
    {
        QStringList out;
        for (int r = 0; r < rs.count(); ++r)
            out << rs.text(r, "NMZapisID") + '|' + rs.text(r, "NMFIO") + '|' + rs.text(r, "NMVid")
                       + '|' + rs.text(r, "NMStoimost");
        return out;
    }

    // One piece of a grid's everyday work; what the set shows after each step.
    static QStringList work(RecordSet &rs, db::Connection &other)
    {
        QStringList out;
        const auto step = [&](const char *name) {
            out << QString(name) + ": " + QString::number(rs.count()) + " rows, first "
                       + shown(rs).mid(0, 3).join(" / ") + ", last " + shown(rs).last();
        };
        step("loaded");
        rs.insertRecord({{"NMZapisID", "N1"}, {"NMFIO", "Аардварк"}, {"NMVid", "Обед"}, {"NMStoimost", 12.3}});
        rs.insertRecord({{"NMZapisID", "N2"}, {"NMFIO", "Яблоков"}, {"NMVid", "Обед"}});
        out << QString::number(rs.insertRecord({{"NMZapisID", "N3"}, {"NMFIO", "Б"}, {"NMVid", "Ужин"}}));
        step("inserted");
        rs.updateRecord(0, {{"NMFIO", "Юрьев"}});
        rs.updateRecord(300, {{"NMVid", "Ужин"}}); // leaves the filter
        step("updated");
        rs.deleteRecords({254, 255, 256, 257, 5});
        step("deleted");
        rs.setFiltered(false);
        step("unfiltered");
        rs.setFiltered(true);
        addRow(other, "O1", "Сотрудник 001", "Обед");
        rs.refresh();
        step("re-read");
        out << QString::number(count(other));
        return out;
    }

    Engine open(const QString &path, const QString &password)
    {
        Engine e{std::make_unique<db::Connection>(), std::make_unique<db::Connection>()};
        e.set->open(path, QString(), password);
        e.other->open(path, QString(), password);
        return e;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_file = m_dir.filePath("crdb.mdb");
        QFile f(m_file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QCOMPARE(db::ProverkaStrukturiBD(m_file, QString(), QString(), [](const QString &) {}).failure,
                 QString());
        TRAPEZON_NEED_SERVER(m_server);
        QCOMPARE(db::ProverkaStrukturiBD(m_server.url(), QString(), m_server.password(),
                                         [](const QString &) {})
                     .failure,
                 QString());
    }

    void init()
    {
        m_pg = open(m_server.url(), m_server.password());
        m_sqlite = open(m_file, QString());
        for (db::Connection *c : {m_pg.other.get(), m_sqlite.other.get()}) {
            c->exec("DELETE * FROM SpisokDoc");
            fill(*c, 0);
        }
    }

    void cleanup()
    {
        m_pg = {};
        m_sqlite = {};
    }

    void writesAndReadsBackOnTheServer()
    {
        auto rs = journal(*m_pg.set, false);
        QAbstractItemModelTester tester(rs.get());
        QCOMPARE(rs->fieldNames(), db::programColumns("SpisokDoc")); // the key column is no field
        QVERIFY(rs->isMoneyField(rs->fieldIndex("NMStoimost")));
        QCOMPARE(shown(*rs), QStringList({"||Обед|0,00", "A1|Петров Иван Иванович|Обед|45,50"}));
        QVERIFY(rs->rowId(0) != rs->rowId(1));

        QCOMPARE(rs->insertRecord({{"NMZapisID", "N1"}, {"NMFIO", "Иванова Дарья"}, {"NMStoimost", 12.3}}), -1);
        QCOMPARE(count(*m_pg.other, "NMZapisID = 'N1' AND CCur(NMStoimost) = CCur('12,3')"), 1);
        rs->setFiltered(false);
        const int n1 = rs->visibleRow(rs->findSource("NMZapisID", "N1"));
        QVERIFY(rs->value(n1, "NMVid").isNull()); // read back as the table holds it
        QVERIFY(rs->rowId(n1) > 0);

        rs->updateRecord(n1, {{"NMFIO", "Яковлева Дарья"}, {"NMVid", "Обед"}});
        QCOMPARE(rs->text(rs->count() - 1, "NMFIO"), QString("Яковлева Дарья"));
        QCOMPARE(count(*m_pg.other, "NMZapisID = 'N1' AND NMFIO = 'Яковлева Дарья'"), 1);

        // A row changed by another point since it was read is neither
        // overwritten nor deleted.
        m_pg.other->exec("UPDATE SpisokDoc SET NMFIO = 'Чужой' WHERE NMZapisID = 'A1'");
        const int a1 = rs->visibleRow(rs->findSource("NMZapisID", "A1"));
        QVERIFY_THROWS_EXCEPTION(core::Error, rs->updateRecord(a1, {{"NMVid", "Ужин"}}));
        QVERIFY_THROWS_EXCEPTION(core::Error, rs->deleteRecords({a1}));
        QCOMPARE(count(*m_pg.other, "NMFIO = 'Чужой' AND NMVid = 'Обед'"), 1);

        // A refused write leaves the connection usable: no transaction left aborted.
        QVERIFY_THROWS_EXCEPTION(core::Error, rs->insertRecord({{"NMZapisID", "X"}, {"NMStoimost", "abc"}}));
        QCOMPARE(count(*m_pg.other, "NMZapisID = 'X'"), 0);
        rs->deleteRecords({rs->visibleRow(rs->findSource("NMZapisID", "N1")),
                           rs->visibleRow(rs->findSource("NMZapisID", ""))});
        QCOMPARE(count(*m_pg.other), 2);
        QCOMPARE(rs->count(), 2);
    }

    void readOnlyWithoutKeyColumn()
    {
        m_pg.other->exec("CREATE TABLE Plain ([NM] NVARCHAR(255) NULL)");
        m_pg.other->exec("INSERT INTO Plain (NM) VALUES ('a')");
        RecordSet rs;
        rs.setConnection(m_pg.set.get());
        rs.setSql("SELECT * from Plain");
        rs.open();
        QCOMPARE(rs.fieldNames(), QStringList{"NM"});
        QCOMPARE(rs.text(0, "NM"), QString("a"));
        QVERIFY_THROWS_EXCEPTION(core::Error, rs.insertRecord({{"NM", "b"}}));
        db::addServerRowId(*m_pg.other, "Plain");
        rs.refresh();
        QCOMPARE(rs.fieldNames(), QStringList{"NM"});
        rs.insertRecord({{"NM", "b"}});
        QCOMPARE(rs.count(), 2);
        m_pg.other->exec("DROP TABLE Plain");
    }

    // The journal's work, held by its key fields and loaded whole, on the
    // file and on the server: all four show the same rows at every step.
    void sameRowsOnFileAndServer()
    {
        for (Engine *e : {&m_pg, &m_sqlite}) {
            e->other->exec("DELETE * FROM SpisokDoc");
            fill(*e->other, 700);
        }
        auto lazy = journal(*m_pg.set, true);
        QVERIFY(lazy->isLazy());
        QCOMPARE(lazy->rowCount(), 256);
        QSignalSpy inserted(lazy.get(), &QAbstractItemModel::rowsInserted);
        lazy->fetchMore(QModelIndex());
        QCOMPARE(lazy->rowCount(), 468);
        QCOMPARE(inserted.size(), 1);
        // A row not read yet is read as the table holds it when first shown.
        const RecordSet::Row last = lazy->sourceRow(lazy->sourceIndex(lazy->count() - 1));
        const QString lastId = last.at(lazy->fieldIndex("NMZapisID")).toString();
        const QString lastFio = last.at(lazy->fieldIndex("NMFIO")).toString();
        lazy->refilter();
        m_pg.other->exec("UPDATE SpisokDoc SET NMFIO = 'Яя' WHERE NMZapisID = '" + lastId + "'");
        QCOMPARE(lazy->text(lazy->count() - 1, "NMFIO"), QString("Яя"));
        m_pg.other->exec("UPDATE SpisokDoc SET NMFIO = '" + lastFio + "' WHERE NMZapisID = '" + lastId + "'");
        lazy->refresh();

        const QStringList onServer = work(*lazy, *m_pg.other);
        QCOMPARE(work(*journal(*m_sqlite.set, true), *m_sqlite.other), onServer);
        for (Engine *e : {&m_pg, &m_sqlite}) {
            e->other->exec("DELETE * FROM SpisokDoc");
            fill(*e->other, 700);
            QCOMPARE(work(*journal(*e->set, false), *e->other), onServer);
        }
        QVERIFY2(onServer.first().startsWith("loaded: 468 rows, first ||Обед|0,00 / A1|Петров Иван Иванович"
                                             "|Обед|45,50 / M97|Сотрудник 000|Обед|97,00, last "),
                 qPrintable(onServer.first()));
    }
};

QTEST_MAIN(TestServerRecordSet)
#include "test_serverrecordset.moc"
