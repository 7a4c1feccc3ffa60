// How a column of an Access table lands in the program's database: the
// program's own tables get its names and types, and no value is lost or
// rounded on the way.
#include "ColumnMapping.h"
#include "db/Money.h"

#include <QDateTime>
#include <QTest>

using namespace mdbimport;

Q_DECLARE_METATYPE(mdbimport::SourceType)

class TestColumnMapping : public QObject
{
    Q_OBJECT

    static TargetColumn plan(const QString &table, const QString &column, SourceType type,
                             int size = 50)
    {
        const QList<TargetColumn> cols =
            planColumns(programTableName(table), {SourceColumn{column, type, size, 0, 0}});
        return cols.value(0);
    }

private slots:
    void tableNames()
    {
        QCOMPARE(programTableName(QStringLiteral("spisokdoc")), QStringLiteral("SpisokDoc"));
        QCOMPARE(programTableName(QStringLiteral("USERS")), QStringLiteral("Users"));
        QCOMPARE(programTableName(QStringLiteral("Orders")), QString());
    }

    void columns_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("column");
        QTest::addColumn<SourceType>("type");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("declared");
        QTest::newRow("known text, any spelling")
            << "SpisokDoc" << "nmfio" << SourceType::Text << "NMFIO" << "NVARCHAR(255)";
        QTest::newRow("known money") << "SpisokDoc" << "NMStoimost" << SourceType::Money
                                     << "NMStoimost" << "MONEY";
        QTest::newRow("known money typed as text")
            << "MenuPit" << "stoimost" << SourceType::Text << "Stoimost" << "MONEY";
        QTest::newRow("known int") << "CRLogString" << "Count" << SourceType::LongInt << "Count"
                                   << "INT";
        QTest::newRow("creation column") << "Users" << "techinfstlb" << SourceType::Text
                                         << "TechInfStlb" << "NVARCHAR(255)";
        QTest::newRow("sort key") << "SpisokDoc" << "NMDateTimeTeh_Obrat" << SourceType::Text
                                  << "NMDateTimeTeh_Obrat" << "NVARCHAR(255)";
        // The obsolete journal column arrives as it is; the check drops it.
        QTest::newRow("column the program does not know")
            << "SpisokDoc" << "NMNoCard" << SourceType::Text << "NMNoCard" << "NVARCHAR(50)";
        QTest::newRow("another table's column name")
            << "Org" << "NMFIO" << SourceType::Text << "NMFIO" << "NVARCHAR(50)";
        QTest::newRow("unknown table money") << "Orders" << "Freight" << SourceType::Money
                                             << "Freight" << "MONEY";
        QTest::newRow("unknown memo keeps text affinity")
            << "Orders" << "Notes" << SourceType::Memo << "Notes" << "TEXT";
        QTest::newRow("unknown date") << "Orders" << "OrderDate" << SourceType::DateTime
                                      << "OrderDate" << "DATETIME";
        QTest::newRow("unknown picture") << "Categories" << "Picture" << SourceType::Ole
                                         << "Picture" << "BLOB";
    }

    void columns()
    {
        QFETCH(QString, table);
        QFETCH(QString, column);
        QFETCH(SourceType, type);
        QFETCH(QString, name);
        QFETCH(QString, declared);
        const TargetColumn c = plan(table, column, type);
        QCOMPARE(c.name, name);
        QCOMPARE(c.declaredType, declared);
        QCOMPARE(c.sourceIndex, 0);
    }

    void values_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("column");
        QTest::addColumn<SourceType>("type");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QVariant>("expected");
        const QDateTime meal(QDate(2020, 2, 5), QTime(9, 30, 15), Qt::UTC);
        const QDateTime midnight(QDate(2020, 2, 5), QTime(0, 0), Qt::UTC);
        const QVariant money01 = db::Money::fromUnits(1000).toVariant();

        QTest::newRow("cyrillic text as it is")
            << "Users" << "NM" << SourceType::Text << QVariant(QStringLiteral("Ёлкин Пётр"))
            << QVariant(QStringLiteral("Ёлкин Пётр"));
        QTest::newRow("null stays null")
            << "Users" << "NM" << SourceType::Text << QVariant() << QVariant();
        QTest::newRow("empty text stays empty, not null")
            << "Users" << "NM" << SourceType::Text << QVariant(QString(""))
            << QVariant(QString(""));
        QTest::newRow("currency 0,1 exact") << "SpisokDoc" << "NMStoimost" << SourceType::Money
                                           << QVariant(qlonglong(1000)) << money01;
        QTest::newRow("whole currency as integer")
            << "SpisokDoc" << "NMStoimost" << SourceType::Money << QVariant(qlonglong(1250000))
            << QVariant(qlonglong(125));
        QTest::newRow("price text into money")
            << "MenuPit" << "Stoimost" << SourceType::Text << QVariant(QStringLiteral("0,10"))
            << money01;
        QTest::newRow("text that is no amount kept")
            << "MenuPit" << "Stoimost" << SourceType::Text
            << QVariant(QStringLiteral("бесплатно")) << QVariant(QStringLiteral("бесплатно"));
        QTest::newRow("double into money rounds to the unit")
            << "SpisokDoc" << "NMStoimost" << SourceType::Double << QVariant(0.1 + 0.2)
            << db::Money::fromUnits(3000).toVariant();
        QTest::newRow("currency into text, price form")
            << "SpisokDoc" << "NMFIO" << SourceType::Money << QVariant(qlonglong(125000))
            << QVariant(QStringLiteral("12,50"));
        QTest::newRow("currency into text, every decimal")
            << "SpisokDoc" << "NMFIO" << SourceType::Money << QVariant(qlonglong(123456))
            << QVariant(QStringLiteral("12,3456"));
        QTest::newRow("meal date") << "SpisokDoc" << "NMDateVid" << SourceType::DateTime
                                   << QVariant(meal) << QVariant(QStringLiteral("05.02.2020"));
        QTest::newRow("meal time") << "SpisokDoc" << "NMTimeVid" << SourceType::DateTime
                                   << QVariant(meal) << QVariant(QStringLiteral("09:30:15"));
        QTest::newRow("technical key") << "SpisokDoc" << "NMDateTimeTeh" << SourceType::DateTime
                                       << QVariant(meal)
                                       << QVariant(QStringLiteral("05022020093015"));
        QTest::newRow("sort key") << "SpisokDoc" << "NMDateTimeTeh_Obrat" << SourceType::DateTime
                                  << QVariant(meal) << QVariant(QStringLiteral("20200205093015"));
        QTest::newRow("other text column, date and time")
            << "CRLogString" << "DateTime" << SourceType::DateTime << QVariant(meal)
            << QVariant(QStringLiteral("05.02.2020 09:30:15"));
        QTest::newRow("other text column, midnight")
            << "CRLogString" << "Rec" << SourceType::DateTime << QVariant(midnight)
            << QVariant(QStringLiteral("05.02.2020"));
        QTest::newRow("yes into the ITR mark") << "Users" << "NMITR" << SourceType::Bool
                                               << QVariant(true) << QVariant(QStringLiteral("Да"));
        QTest::newRow("no into the ITR mark") << "Users" << "NMITR" << SourceType::Bool
                                              << QVariant(false) << QVariant(QString());
        QTest::newRow("number into text") << "Users" << "NMTabNum" << SourceType::LongInt
                                          << QVariant(qlonglong(1024))
                                          << QVariant(QStringLiteral("1024"));
        QTest::newRow("counter text into int") << "CRLogString" << "Count" << SourceType::Text
                                               << QVariant(QStringLiteral(" 12 "))
                                               << QVariant(qlonglong(12));
        QTest::newRow("unknown table date in SQLite's form")
            << "Orders" << "OrderDate" << SourceType::DateTime << QVariant(meal)
            << QVariant(QStringLiteral("2020-02-05 09:30:15"));
        QTest::newRow("unknown table yes/no as 1/0")
            << "Products" << "Discontinued" << SourceType::Bool << QVariant(true)
            << QVariant(qlonglong(1));
        QTest::newRow("unknown table currency") << "Orders" << "Freight" << SourceType::Money
                                                << QVariant(qlonglong(1000)) << money01;
        QTest::newRow("unknown table bytes")
            << "Categories" << "Picture" << SourceType::Ole << QVariant(QByteArray("\x00\x01", 2))
            << QVariant(QByteArray("\x00\x01", 2));
        QTest::newRow("picture in a text column stays bytes")
            << "Users" << "NM" << SourceType::Ole << QVariant(QByteArray("\xff", 1))
            << QVariant(QByteArray("\xff", 1));
    }

    void values()
    {
        QFETCH(QString, table);
        QFETCH(QString, column);
        QFETCH(SourceType, type);
        QFETCH(QVariant, value);
        QFETCH(QVariant, expected);
        const QVariant got = targetValue(value, plan(table, column, type));
        QCOMPARE(got.isNull(), expected.isNull());
        QCOMPARE(got.typeId(), expected.typeId());
        QCOMPARE(got, expected);
    }
};

QTEST_GUILESS_MAIN(TestColumnMapping)
#include "test_columnmapping.moc"
