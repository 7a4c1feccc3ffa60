#include "db/Connection.h"
#include "db/DBTools.h"
#include "db/StructureCheck.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace DBTools;

Q_DECLARE_METATYPE(DBTools::SpisokDocFilters)

namespace {

const QString kErr = QStringLiteral("EDatabaseError Ошибка с сообщением: ");

QString journalSql(const QString &from, const QString &to, const SpisokDocFilters &f = {})
{
    return ZaprosSpisokDoc(QStringLiteral("SpisokDoc"), from, to, f);
}

} // namespace

// The DBTools routines on real database files in a temporary folder.
class TestDBTools : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;
    int m_fileNo = 0;

    QString newFile()
    {
        const QString path = m_dir.filePath(QStringLiteral("db%1.mdb").arg(++m_fileNo));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        return path;
    }

    QStringList column(const QString &sql)
    {
        QSqlQuery q = connection()->exec(sql);
        QStringList out;
        while (q.next())
            out << q.value(0).toString();
        return out;
    }

private slots:
    void init()
    {
        m_path = newFile();
    }
    void cleanup() { ZakritBD(); }

    void withoutConnection()
    {
        QVERIFY(!BDPodkluchena());
        QCOMPARE(ZakritBD(), kNetPodklucheniya);
        // The blank name is answered before the connection is looked at.
        QCOMPARE(ProverkaNalichiyaTablitsy(QStringLiteral(" \t")),
                 QStringLiteral("Проверка наличия таблицы: Не указано (Имя таблицы)"));
        QCOMPARE(ProverkaNalichiyaTablitsy(QStringLiteral("Users")), kNetPodklucheniya);
        QCOMPARE(ProverkaNalichiyaStolbtsa(QStringLiteral("Users"), QStringLiteral("NM")),
                 kNetPodklucheniya);
        QCOMPARE(SozdanieTablitsy("T", "C", "NVARCHAR", "255", true), kNetPodklucheniya);
        QCOMPARE(DobavlenieStolbtsa("T", "C", "NVARCHAR", "255", true), kNetPodklucheniya);
        QCOMPARE(MaksimalnoyeZnacheniye("Users", "ShtrKod"), kNetPodklucheniya);
        QCOMPARE(PoiskZapisi("Users", "ShtrKod", "NM", "RecID", "1"), kNetPodklucheniya);
        QCOMPARE(PoiskDrugoyZapisi("Users", "ShtrKod", "NM", "RecID", "1", "ID1"), kNetPodklucheniya);
        QCOMPARE(ZnacheniyeParametra("BPTools", "NMNam", "NMVal", "psi", "nnn", false), kNo);
        QVERIFY(connection() == nullptr);
    }

    void openFailuresLeaveNoConnection_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: no file at all
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << QByteArray() << "не существует";
        QTest::newRow("not SQLite") << QByteArray("Standard Jet DB\0\0\x01garbage", 24)
                                    << "не является базой данных программы";
    }
    void openFailuresLeaveNoConnection()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        const QString bad = m_dir.filePath(QStringLiteral("bad%1.mdb").arg(++m_fileNo));
        if (!content.isEmpty()) {
            QFile f(bad);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        QCOMPARE(OtkritBD(m_path, "u", "p"), kOk);
        // A second OtkritBD replaces the first set, even when it fails.
        const QString result = OtkritBD(bad, "u", "p");
        QVERIFY2(result.startsWith(kErr) && result.contains(bad) && result.contains(message),
                 qPrintable(result));
        QVERIFY(!BDPodkluchena());
        QCOMPARE(ZakritBD(), kNetPodklucheniya);
        QFile f(bad);
        if (content.isEmpty()) {
            QVERIFY(!f.exists());
        } else {
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), content);
        }
    }

    void secondOpenReplacesFirst()
    {
        const QString other = newFile();
        QCOMPARE(OtkritBD(m_path, "", ""), kOk);
        QCOMPARE(OtkritBD(other, "", ""), kOk);
        QCOMPARE(SozdanieTablitsy("Dolj", "TechInfStlb", "NVARCHAR", "255", true), kOk);
        QCOMPARE(ZakritBD(), kOk);
        QCOMPARE(ZakritBD(), kNetPodklucheniya);
        QCOMPARE(OtkritBD(m_path, "", ""), kOk);
        QCOMPARE(ProverkaNalichiyaTablitsy("Dolj"), kNo);
        QCOMPARE(OtkritBD(other, "", ""), kOk);
        QCOMPARE(ProverkaNalichiyaTablitsy("Dolj"), kOk);
    }

    void createAndAddColumns()
    {
        QCOMPARE(OtkritBD(m_path, "", ""), kOk);
        QCOMPARE(SozdanieTablitsy("Dolj", "TechInfStlb", "NVARCHAR", "255", true), kOk);
        QCOMPARE(SozdanieTablitsy("Flags", "Flag", "Bool", "255", true), kOk);
        QCOMPARE(DobavlenieStolbtsa("Dolj", "Stoimost", "MONEY", " ", true), kOk);
        QCOMPARE(DobavlenieStolbtsa("Flags", "Count", "INT", "", false), kOk);
        QCOMPARE(DobavlenieStolbtsa("Dolj", "TechInfStlb", "INT", "", false).left(kErr.size()), kErr);
        QCOMPARE(SozdanieTablitsy("dolj", "X", "INT", "", true).left(kErr.size()), kErr);
        QCOMPARE(column("SELECT sql FROM sqlite_master WHERE type = 'table' ORDER BY name"),
                 QStringList({"CREATE TABLE Dolj([TechInfStlb] NVARCHAR(255) NULL, "
                              "[Stoimost] MONEY NULL)",
                              "CREATE TABLE Flags([Flag] Bool NULL, [Count] INT NOT NULL)"}));

        QCOMPARE(ProverkaNalichiyaTablitsy("DOLJ"), kOk);
        QCOMPARE(ProverkaNalichiyaTablitsy("Org"), kNo);
        QCOMPARE(ProverkaNalichiyaTablitsy("sqlite_master"), kNo);
        QCOMPARE(ProverkaNalichiyaStolbtsa("Dolj", "stoimost"), kOk);
        QCOMPARE(ProverkaNalichiyaStolbtsa("Dolj", "NM"), kNo);
        const QString missing = ProverkaNalichiyaStolbtsa("Org", "NM");
        QVERIFY2(missing.startsWith(kErr) && missing.contains("Org"), qPrintable(missing));
    }

    void maximumAndLookup()
    {
        QCOMPARE(OtkritBD(m_path, "", ""), kOk);
        db::ProverkaStrukturiBD(m_path, "", "");
        QCOMPARE(OtkritBD(m_path, "", ""), kOk);
        QCOMPARE(MaksimalnoyeZnacheniye("Users", "ShtrKod"), "0");
        QCOMPARE(MaksimalnoyeZnacheniye("Nope", "ShtrKod"), kNo);

        connection()->exec("INSERT INTO Users (NM, RecID, ShtrKod, NMCardNum) VALUES "
                           "('О''Брайен', 'ID1', '2000000000017', '123,45678'), "
                           "('Иванов', 'ID2', '2000000000024', ''), "
                           "('Петров', 'ID3', NULL, NULL)");
        QCOMPARE(MaksimalnoyeZnacheniye("Users", "ShtrKod"), "2000000000024");
        QCOMPARE(PoiskZapisi("Users", "NM", "NM", "RecID", "О'Брайен"),
                 QStringLiteral("О'Брайен") + kRazd + "ID1");
        QCOMPARE(PoiskZapisi("Users", "NMCardNum", "NM", "RecID", "123,45678"),
                 QStringLiteral("О'Брайен") + kRazd + "ID1");
        QCOMPARE(PoiskZapisi("Users", "ShtrKod", "NM", "NMCardNum", "2000000000024"),
                 QStringLiteral("Иванов") + kRazd);
        QCOMPARE(PoiskZapisi("Users", "ShtrKod", "NM", "RecID", "x' OR '1'='1"), kNo);
        QCOMPARE(PoiskZapisi("Users", "ShtrKod", "NM", "RecID", "2000000000031"), kNo);
        QCOMPARE(PoiskZapisi("Nope", "ShtrKod", "NM", "RecID", "1"), kNo);
    }

    void lookupOfAnotherRow_data()
    {
        QTest::addColumn<QString>("card");
        QTest::addColumn<QString>("krome");
        QTest::addColumn<QString>("found");
        QTest::newRow("own row first, another after") << "C1" << "ID1" << "Петров|ID2";
        QTest::newRow("own row after another") << "C1" << "ID2" << "Иванов|ID1";
        QTest::newRow("no own row: the first") << "C1" << "" << "Иванов|ID1";
        QTest::newRow("a row without identifier is another") << "C2" << "ID1" << "Сидоров|";
        QTest::newRow("only the own row") << "C3" << "ID3" << "no";
        QTest::newRow("quote in the identifier") << "C1" << "x'y" << "Иванов|ID1";
    }
    void lookupOfAnotherRow()
    {
        QFETCH(QString, card);
        QFETCH(QString, krome);
        QFETCH(QString, found);
        QCOMPARE(OtkritBD(m_path, "", ""), kOk);
        db::ProverkaStrukturiBD(m_path, "", "");
        QCOMPARE(OtkritBD(m_path, "", ""), kOk);
        connection()->exec("DELETE FROM Users");
        connection()->exec("INSERT INTO Users (NM, RecID, NMCardNum) VALUES "
                           "('Иванов', 'ID1', 'C1'), ('Петров', 'ID2', 'C1'), "
                           "('Сидоров', NULL, 'C2'), ('Кузнецов', 'ID3', 'C3')");
        QCOMPARE(PoiskDrugoyZapisi("Users", "NMCardNum", "NM", "RecID", card, krome),
                 found == kNo ? kNo : QString(found).replace('|', kRazd));
    }

    void parameterReadCreateWrite()
    {
        QCOMPARE(OtkritBD(m_path, "", ""), kOk);
        connection()->exec("CREATE TABLE BPTools (TechInfStlb NVARCHAR(255), NMNam NVARCHAR(255),"
                           " NMVal NVARCHAR(255), RecID NVARCHAR(255))");
        const auto param = [](const QString &name, const QString &value, bool write) {
            return ZnacheniyeParametra("BPTools", "NMNam", "NMVal", name, value, write);
        };
        QCOMPARE(param("psi", "nnn", false), "nnn");   // created with the default
        QCOMPARE(param("psi", "ddd", false), "nnn");   // then the stored value
        QCOMPARE(param("psi", "ddd", true), "ddd");
        QCOMPARE(param("psi", "x", false), "ddd");
        QCOMPARE(param("it's", "O'Брайен", false), "O'Брайен");
        QCOMPARE(param("it's", "", false), "O'Брайен");
        QCOMPARE(column("SELECT NMNam || '=' || NMVal FROM BPTools ORDER BY rowid"),
                 QStringList({"psi=ddd", "it's=O'Брайен"}));
        const QStringList ids = column("SELECT RecID FROM BPTools");
        QVERIFY(QRegularExpression("^[0-9A-F]{32}$").match(ids.value(0)).hasMatch());
        QVERIFY(ids.value(0) != ids.value(1));

        const QString missing = ZnacheniyeParametra("Nope", "NMNam", "NMVal", "psi", "nnn", false);
        QVERIFY2(missing.startsWith("EDatabaseError Ошибка: "), qPrintable(missing));
    }

    void parameterDuplicatesCollapse_data()
    {
        QTest::addColumn<bool>("write");
        QTest::newRow("read") << false;
        QTest::newRow("write") << true;
    }
    void parameterDuplicatesCollapse()
    {
        QFETCH(bool, write);
        QCOMPARE(OtkritBD(m_path, "", ""), kOk);
        connection()->exec("CREATE TABLE BPTools (NMNam NVARCHAR(255), NMVal NVARCHAR(255),"
                           " RecID NVARCHAR(255))");
        connection()->exec("INSERT INTO BPTools VALUES ('zp_Otch', 'ddd', 'OLD1'),"
                           " ('zp_Otch', 'ddd', 'OLD2'), ('psi', 'ddd', 'OTHER')");
        QCOMPARE(ZnacheniyeParametra("BPTools", "NMNam", "NMVal", "zp_Otch", "nnn", write), "nnn");
        const QStringList rows = column("SELECT NMNam || '=' || NMVal || '=' || RecID FROM BPTools"
                                        " ORDER BY NMNam");
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0], "psi=ddd=OTHER");
        QVERIFY(rows[1].startsWith("zp_Otch=nnn="));
        QVERIFY(!rows[1].contains("OLD"));
    }

    void journalStatementTexts_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<SpisokDocFilters>("filters");
        QTest::addColumn<QString>("sql");
        const QString head = "SELECT * FROM SpisokDoc WHERE ((CCur(SpisokDoc.NMDateTimeTeh_Obrat) >= CCur(";
        const QString mid = ")) AND (CCur(SpisokDoc.NMDateTimeTeh_Obrat) < CCur(";

        SpisokDocFilters lunch;
        lunch.NMVid = "Обед";
        QTest::newRow("one day, one meal") << "05.02.2020" << "05.02.2020" << lunch
            << "SELECT * FROM SpisokDoc WHERE ((CCur(SpisokDoc.NMDateTimeTeh_Obrat) >= "
               "CCur(20200205000000)) AND (CCur(SpisokDoc.NMDateTimeTeh_Obrat) < "
               "CCur(20200205595959)) AND ((SpisokDoc.NMVid) = 'Обед'));";

        SpisokDocFilters all;
        all.NMVid = "Все";
        all.NMOrg = "Все";
        QTest::newRow("no dates, all types") << "" << "0,0" << all
                                             << head + "0" + mid + "99999999999999)));";
        QTest::newRow("zero dates") << "0" << "0.0" << SpisokDocFilters()
                                    << head + "0" + mid + "99999999999999)));";

        SpisokDocFilters report;
        report.NMVid = "Ужин";
        report.NMOrg = "ООО \"Рога\"";
        report.NMFIO = "О'Брайен";
        QTest::newRow("report filters in column order")
            << "01.02.2020" << "29.02.2020" << report
            << head + "20200201000000" + mid + "20200229595959))"
                   " AND ((SpisokDoc.NMFIO) = 'О''Брайен')"
                   " AND ((SpisokDoc.NMOrg) = 'ООО \"Рога\"')"
                   " AND ((SpisokDoc.NMVid) = 'Ужин'));";

        SpisokDocFilters price;
        price.NMStoimost = "150";
        QTest::newRow("money filter") << "" << "" << price
            << head + "0" + mid + "99999999999999)) AND (CCur(SpisokDoc.NMStoimost) = CCur(150)));";
        price.NMStoimost = "12,50";
        QTest::newRow("money filter with comma") << "" << "" << price
            << head + "0" + mid + "99999999999999)) AND (CCur(SpisokDoc.NMStoimost) = CCur(12.50)));";
        price.NMStoimost = "0) OR (1=1";
        QTest::newRow("money filter not a number") << "" << "" << price
            << head + "0" + mid + "99999999999999)) AND (CCur(SpisokDoc.NMStoimost) = "
                                  "CCur('0) OR (1=1')));";
        QTest::newRow("mistyped date") << "1') OR (1=1" << "" << SpisokDocFilters()
            << head + "'OR () 1''1=1000'" + mid + "99999999999999)));";
    }
    void journalStatementTexts()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(SpisokDocFilters, filters);
        QFETCH(QString, sql);
        QCOMPARE(journalSql(from, to, filters), sql);
    }

    // The statements run as they stand; a day takes in its own midnight and
    // not the next one.
    void journalSelectsRealRows()
    {
        db::ProverkaStrukturiBD(m_path, "", "");
        db::Connection c;
        c.open(m_path);
        const QStringList rows = {"20200204235959 Обед", "20200205000000 Обед",
                                  "20200205000001 Обед", "20200205120000 Ужин",
                                  "20200205235959 Обед", "20200206000000 Обед"};
        for (const QString &r : rows)
            c.exec(QStringLiteral("INSERT INTO SpisokDoc (NMDateTimeTeh_Obrat, NMVid, NMStoimost)"
                                  " VALUES ('%1', '%2', 12.5)")
                       .arg(r.section(' ', 0, 0), r.section(' ', 1)));
        const auto select = [&](const QString &sql) {
            QSqlQuery q = c.exec(sql);
            QStringList out;
            while (q.next())
                out << q.value("NMDateTimeTeh_Obrat").toString().right(6);
            return out;
        };
        SpisokDocFilters lunch;
        lunch.NMVid = "Обед";
        QCOMPARE(select(journalSql("05.02.2020", "05.02.2020", lunch)),
                 QStringList({"000000", "000001", "235959"}));
        QCOMPARE(select(journalSql("05.02.2020", "06.02.2020")),
                 QStringList({"000000", "000001", "120000", "235959", "000000"}));
        QCOMPARE(select(journalSql("", "")).size(), rows.size());
        SpisokDocFilters price;
        price.NMStoimost = "12,50";
        QCOMPARE(select(journalSql("", "", price)).size(), rows.size());
        price.NMStoimost = "0) OR (1=1";
        QCOMPARE(select(journalSql("", "", price)).size(), 0);
        QCOMPARE(select(journalSql("1') OR (1=1", "")).size(), 0);
    }

    void perevorotDaty()
    {
        QCOMPARE(PerevorotDaty("05022020093015"), "20200205093015");
        QCOMPARE(PerevorotDaty("05022020"), "20200205");
        QCOMPARE(PerevorotDaty(""), "");
    }
};

QTEST_MAIN(TestDBTools)
#include "test_dbtools.moc"
