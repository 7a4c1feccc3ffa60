#include "db/RecordSet.h"
#include "db/Connection.h"
#include "core/Error.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using db::RecordSet;

namespace {

// A journal-like table with the types the program gives it: texts and one
// MONEY column, no keys.
const char *kCreate = "CREATE TABLE T (TechInfStlb NVARCHAR(255), RecID NVARCHAR(255), "
                      "NM NVARCHAR(255), NMVid NVARCHAR(255), NMStoimost MONEY)";

QStringList column(const RecordSet &rs, const QString &field)
{
    QStringList out;
    for (int r = 0; r < rs.count(); ++r)
        out << rs.text(r, field);
    return out;
}

} // namespace

class TestRecordSet : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;
    std::unique_ptr<db::Connection> m_conn;   // the set's connection
    std::unique_ptr<db::Connection> m_other;  // another window's connection

    void addRow(db::Connection &c, const QString &recId, const QVariant &nm, const QString &vid,
                const QVariant &price = 0)
    {
        QSqlQuery q = c.prepare("INSERT INTO T (RecID, NM, NMVid, NMStoimost) VALUES (?, ?, ?, ?)");
        q.addBindValue(recId);
        q.addBindValue(nm);
        q.addBindValue(vid);
        q.addBindValue(price);
        db::Connection::execPrepared(q);
    }

    int countInFile(const QString &where = "1")
    {
        QSqlQuery q = m_other->exec("SELECT COUNT(*) FROM T WHERE " + where);
        q.next();
        return q.value(0).toInt();
    }

    std::unique_ptr<RecordSet> openSet(const QString &sql = "SELECT * from T")
    {
        auto rs = std::make_unique<RecordSet>();
        rs->setConnection(m_conn.get());
        rs->setSql(sql);
        rs->open();
        return rs;
    }

    // A filter on the name, judged with the needle as it stands when judged.
    static RecordSet::FilterFn nameContains(const QString *needle)
    {
        return [needle](const RecordSet &rs, const RecordSet::Row &row) {
            return row[rs.fieldIndex("NM")].toString().toUpper().contains(needle->toUpper());
        };
    }


    // Many rows, more than the views learn at once: names repeat (ties keep
    // the order of the table), two rows in three lunches.
    void fillMany(int n)
    {
        db::Transaction tx(*m_other);
        for (int i = 0; i < n; ++i)
            addRow(*m_other, QString("M%1").arg(i), QString("Сотрудник %1").arg(i % 97, 3, 10, QChar('0')),
                   i % 3 ? "Обед" : "Ужин", i);
        tx.commit();
    }

    // What a set shows, row by row, asked through its own accessors.
    static QStringList shown(const RecordSet &rs)
    {
        QStringList out;
        for (int r = 0; r < rs.count(); ++r)
            out << rs.text(r, "RecID") + '|' + rs.text(r, "NM") + '|' + rs.text(r, "NMVid") + '|'
                       + rs.text(r, "NMStoimost");
        return out;
    }

    // What the views see after fetching every row.
    static QStringList seen(RecordSet &rs)
    {
        while (rs.canFetchMore(QModelIndex()))
            rs.fetchMore(QModelIndex());
        QStringList out;
        for (int r = 0; r < rs.rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < rs.columnCount(); ++c)
                cells << rs.data(rs.index(r, c)).toString();
            out << cells.join('|');
        }
        return out;
    }

    static RecordSet::FilterFn lunchOnly()
    {
        return [](const RecordSet &rs, const RecordSet::Row &row) {
            return row[rs.fieldIndex("NMVid")].toString() == "Обед";
        };
    }

    // A set held by NMVid, filtered to lunches and sorted by name.
    std::unique_ptr<RecordSet> lazySet()
    {
        auto rs = std::make_unique<RecordSet>();
        rs->setConnection(m_conn.get());
        rs->setSql("SELECT * from T");
        rs->setHeldFields({"NMVid"});
        rs->setFilter(lunchOnly());
        rs->sortBy("NM");
        rs->open();
        rs->setFiltered(true);
        return rs;
    }

    // The same rows loaded whole: what the lazy set must show.
    std::unique_ptr<RecordSet> wholeSet(bool filtered = true)
    {
        auto rs = std::make_unique<RecordSet>();
        rs->setConnection(m_conn.get());
        rs->setSql("SELECT * from T");
        rs->setFilter(lunchOnly());
        rs->sortBy("NM");
        rs->open();
        rs->setFiltered(filtered);
        return rs;
    }

private slots:
    void init()
    {
        m_path = m_dir.filePath(QString("rs-%1.db").arg(QTest::currentTestFunction()));
        QFile::remove(m_path);
        QFile f(m_path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        m_conn = std::make_unique<db::Connection>();
        m_conn->open(m_path);
        m_other = std::make_unique<db::Connection>();
        m_other->open(m_path);
        m_conn->exec(kCreate);
        addRow(*m_other, "A1", "Петров Иван Иванович", "Обед", 45.5);
        addRow(*m_other, "A2", "Иванов Пётр", "Ужин", 120);
        addRow(*m_other, "", QVariant(), "Обед", 0);           // no name, no RecID
        addRow(*m_other, "", "Сидорова Анна", "Обед", "abc"); // shares the empty RecID
    }

    void cleanup()
    {
        m_conn.reset();
        m_other.reset();
    }

    void loadsRowsWithDisplayTexts()
    {
        auto rs = openSet();
        QAbstractItemModelTester tester(rs.get());
        QCOMPARE(rs->count(), 4);
        QCOMPARE(rs->fieldNames(), QStringList({"TechInfStlb", "RecID", "NM", "NMVid", "NMStoimost"}));
        QCOMPARE(rs->fieldIndex("nmvid"), 3);
        QVERIFY(rs->isMoneyField(rs->fieldIndex("NMStoimost")));
        QVERIFY(!rs->isMoneyField(rs->fieldIndex("NM")));
        // Money with a decimal comma; a text that is no number stays as stored.
        QCOMPARE(column(*rs, "NMStoimost"), QStringList({"45,50", "120,00", "0,00", "abc"}));
        QCOMPARE(rs->text(2, "NM"), QString());
        QVERIFY(rs->value(2, "NM").isNull());
        QVERIFY(rs->rowId(0) != rs->rowId(2));

        rs->setColumns({{"NM", "Ф.И.О.", 180}, {"NMStoimost", "Стоимость", 70}, {"Nope", "?", 10}});
        QCOMPARE(rs->columnCount(), 3);
        QCOMPARE(rs->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QString("Ф.И.О."));
        QCOMPARE(rs->data(rs->index(0, 1)).toString(), QString("45,50"));
        QCOMPARE(rs->data(rs->index(0, 2)).toString(), QString());

        QVERIFY_THROWS_EXCEPTION(core::Error, rs->text(0, "NoSuchField"));
        QVERIFY_THROWS_EXCEPTION(core::Error, rs->row(4));
    }

    void failedSelectRaisesAndKeepsRows()
    {
        auto rs = openSet();
        rs->setSql("SELECT * from NoSuchTable");
        QVERIFY_THROWS_EXCEPTION(core::Error, rs->refresh());
        QCOMPARE(rs->count(), 4);
    }

    void filterIsJudgedAnewOnlyWhenSwitched()
    {
        auto rs = openSet();
        QAbstractItemModelTester tester(rs.get());
        QString needle = "иван";
        rs->setFilter(nameContains(&needle));
        rs->setFiltered(true);
        QCOMPARE(column(*rs, "RecID"), QStringList({"A1", "A2"})); // any letter case, anywhere
        QCOMPARE(rs->sourceCount(), 4);

        needle = "анна";
        QCOMPARE(rs->count(), 2); // not judged until switched
        rs->setFiltered(false);
        QCOMPARE(rs->count(), 4);
        rs->setFiltered(true);
        QCOMPARE(column(*rs, "NM"), QStringList({"Сидорова Анна"}));
        needle = "пётр";
        rs->refilter();
        QCOMPARE(column(*rs, "RecID"), QStringList({"A2"}));
        QCOMPARE(rs->visibleRow(rs->sourceIndex(0)), 0);
        QCOMPARE(rs->visibleRow(0), -1);
    }

    void sortIsStableAndRussian()
    {
        addRow(*m_other, "B1", "Ёлкин", "Обед", 9.5);
        addRow(*m_other, "B2", "иванов", "Обед", 10);
        addRow(*m_other, "B3", "Иванов Пётр", "Обед", 7);
        addRow(*m_other, "B4", "Елисеев", "Обед", 10);
        auto rs = openSet();
        QAbstractItemModelTester tester(rs.get());

        rs->sortBy("NM");
        QCOMPARE(column(*rs, "RecID"),
                 QStringList({"", "B4", "B1", "B2", "A2", "B3", "A1", ""}));
        // Equal names keep the order of the SELECT in either direction.
        rs->sortBy("NM", Qt::DescendingOrder);
        QCOMPARE(column(*rs, "RecID"),
                 QStringList({"", "A1", "A2", "B3", "B2", "B1", "B4", ""}));
        QCOMPARE(rs->text(7, "NM"), QString()); // NULL last when descending

        // Numbers by value, not as texts; a text after every number.
        rs->sortBy("NMStoimost");
        QCOMPARE(column(*rs, "NMStoimost"),
                 QStringList({"0,00", "7,00", "9,50", "10,00", "10,00", "45,50", "120,00", "abc"}));
        QCOMPARE(column(*rs, "RecID").mid(3, 2), QStringList({"B2", "B4"}));
        rs->clearSort();
        QCOMPARE(rs->text(0, "RecID"), QString("A1"));
        QVERIFY(rs->sortField().isEmpty());
    }

    void digitTextsSortAsTextsAlsoAfterALetterComes()
    {
        m_other->exec("DELETE * FROM T");
        for (const char *id : {"10", "9", "010", "", "9"})
            addRow(*m_other, id, "x", "Обед");
        auto rs = openSet();
        rs->sortBy("RecID");
        QCOMPARE(column(*rs, "RecID"), QStringList({"", "010", "10", "9", "9"}));
        QCOMPARE(rs->insertRecord({{"RecID", "Б1"}}), 5);
        QCOMPARE(rs->insertRecord({{"RecID", "а2"}}), 5);
        QCOMPARE(rs->insertRecord({{"RecID", "095"}}), 2);
        QCOMPARE(column(*rs, "RecID"), QStringList({"", "010", "095", "10", "9", "9", "а2", "Б1"}));
    }

    void sortKeepsTheSelectedRows()
    {
        auto rs = openSet();
        QItemSelectionModel selection(rs.get());
        selection.select(rs->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        rs->sortBy("RecID");
        const QModelIndexList rows = selection.selectedRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rs->text(rows[0].row(), "RecID"), QString("A1"));
    }

    void gridKeepsWidthsAndSelectionOverFilterSortAndReread()
    {
        auto rs = openSet();
        QTableView grid;
        grid.setModel(rs.get());
        grid.setSelectionBehavior(QAbstractItemView::SelectRows);
        grid.setSelectionMode(QAbstractItemView::ExtendedSelection);
        grid.setColumnWidth(2, 123);
        grid.selectionModel()->select(rs->index(0, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const auto selectedIds = [&] {
            QStringList out;
            for (const QModelIndex &i : grid.selectionModel()->selectedRows())
                out << rs->text(i.row(), "RecID");
            return out;
        };
        QString needle = "ов";
        rs->setFilter(nameContains(&needle));
        rs->setFiltered(true);
        rs->sortBy("NM");
        addRow(*m_other, "E1", "Орлов", "Обед");
        rs->refresh();
        QCOMPARE(column(*rs, "RecID"), QStringList({"A2", "E1", "A1", ""}));
        QCOMPARE(grid.columnWidth(2), 123);
        QCOMPARE(selectedIds(), QStringList({"A1"}));
        needle = "пётр";
        rs->refilter(); // the selected row is filtered out: nothing stays selected
        QCOMPARE(selectedIds(), QStringList());
        QCOMPARE(grid.columnWidth(2), 123);
    }

    void insertWritesAndPlacesTheRow()
    {
        auto rs = openSet();
        QAbstractItemModelTester tester(rs.get());
        QString needle = "иван";
        rs->setFilter(nameContains(&needle));
        rs->setFiltered(true);
        rs->sortBy("NM");
        int judged = 0;
        rs->setFilter([&](const RecordSet &set, const RecordSet::Row &row) {
            ++judged;
            return nameContains(&needle)(set, row);
        });
        QSignalSpy inserted(rs.get(), &QAbstractItemModel::rowsInserted);

        const int row = rs->insertRecord({{"RecID", "N1"}, {"NM", "Иванова Дарья"}, {"NMStoimost", 12.3}});
        QCOMPARE(judged, 1); // only the new row
        QCOMPARE(row, 1);    // between Иванов Пётр and Петров
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(inserted[0][1].toInt(), 1);
        QCOMPARE(column(*rs, "RecID"), QStringList({"A2", "N1", "A1"}));
        QCOMPARE(rs->text(1, "NMStoimost"), QString("12,30"));
        QCOMPARE(countInFile("RecID = 'N1' AND NM = 'Иванова Дарья'"), 1); // committed, seen by others

        QCOMPARE(rs->insertRecord({{"RecID", "N2"}, {"NM", "Кузнецов"}}), -1); // hidden by the filter
        QCOMPARE(rs->count(), 3);
        QCOMPARE(rs->sourceCount(), 6);
        QCOMPARE(countInFile("RecID = 'N2'"), 1);
        rs->setFiltered(false);
        QCOMPARE(column(*rs, "RecID"), QStringList({"", "A2", "N1", "N2", "A1", ""}));
        QVERIFY(rs->value(3, "NMVid").isNull()); // read back as the table holds it
    }

    void updateWritesAndMovesTheRow()
    {
        auto rs = openSet();
        QAbstractItemModelTester tester(rs.get());
        rs->sortBy("NM");
        QCOMPARE(column(*rs, "RecID"), QStringList({"", "A2", "A1", ""}));

        rs->updateRecord(1, {{"NM", "Яковлев"}});
        QCOMPARE(column(*rs, "RecID"), QStringList({"", "A1", "", "A2"}));
        QCOMPARE(countInFile("RecID = 'A2' AND NM = 'Яковлев'"), 1);

        QString needle = "о";
        rs->setFilter(nameContains(&needle));
        rs->setFiltered(true);
        QCOMPARE(column(*rs, "RecID"), QStringList({"A1", "", "A2"}));
        QSignalSpy removed(rs.get(), &QAbstractItemModel::rowsRemoved);
        rs->updateRecord(0, {{"NM", "Пак"}}); // no longer passes: hidden
        QCOMPARE(removed.size(), 1);
        QCOMPARE(column(*rs, "RecID"), QStringList({"", "A2"}));
        QCOMPARE(countInFile("RecID = 'A1' AND NM = 'Пак'"), 1);
        QCOMPARE(countInFile("RecID = 'A1'"), 1);
    }

    void deleteRemovesExactlyTheChosenRows()
    {
        addRow(*m_other, "", QVariant(), "Обед", 0); // an exact twin of the third row
        auto rs = openSet();
        QAbstractItemModelTester tester(rs.get());
        QCOMPARE(countInFile("RecID = ''"), 3);

        rs->deleteRecords({2}); // one of two identical rows
        QCOMPARE(countInFile("RecID = ''"), 2);
        QCOMPARE(countInFile("NM IS NULL"), 1);
        QCOMPARE(rs->count(), 4);

        rs->sortBy("NM");
        QCOMPARE(column(*rs, "RecID"), QStringList({"", "A2", "A1", ""}));
        rs->deleteRecords({3, 0, 1, 3});
        QCOMPARE(column(*rs, "RecID"), QStringList({"A1"}));
        QCOMPARE(countInFile(), 1);
        QCOMPARE(countInFile("RecID = 'A1'"), 1);
        // The set stays usable after compacting: insert, sort and delete again.
        rs->insertRecord({{"NM", "Абрамов"}});
        QCOMPARE(column(*rs, "NM"), QStringList({"Абрамов", "Петров Иван Иванович"}));
        rs->deleteRecords({1});
        QCOMPARE(column(*rs, "NM"), QStringList({"Абрамов"}));
        QCOMPARE(countInFile("NM = 'Абрамов'"), 1);
        QCOMPARE(countInFile(), 1);
    }

    void failedWritesLeaveTableAndSetUnchanged_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::newRow("insert") << "BEFORE INSERT ON T BEGIN SELECT RAISE(ABORT, 'refused'); END";
        QTest::newRow("update") << "BEFORE UPDATE ON T BEGIN SELECT RAISE(ABORT, 'refused'); END";
        // The third of three deletes fails: the first two must come back.
        QTest::newRow("delete") << "BEFORE DELETE ON T WHEN old.NM = 'Сидорова Анна' "
                                   "BEGIN SELECT RAISE(ABORT, 'refused'); END";
    }

    void failedWritesLeaveTableAndSetUnchanged()
    {
        QFETCH(QString, trigger);
        auto rs = openSet();
        m_other->exec("CREATE TRIGGER refuse " + trigger);
        QSignalSpy changed(rs.get(), &QAbstractItemModel::rowsRemoved);
        QSignalSpy inserted(rs.get(), &QAbstractItemModel::rowsInserted);
        QSignalSpy data(rs.get(), &QAbstractItemModel::dataChanged);

        try {
            if (QTest::currentDataTag() == QLatin1String("insert"))
                rs->insertRecord({{"NM", "Новый"}});
            else if (QTest::currentDataTag() == QLatin1String("update"))
                rs->updateRecord(0, {{"NM", "Другой"}});
            else
                rs->deleteRecords({0, 1, 3});
            QFAIL("the write did not raise");
        } catch (const core::Error &e) {
            QCOMPARE(e.className(), QString("EDatabaseError"));
            QVERIFY2(e.message().contains("refused"), qPrintable(e.message()));
        }
        QCOMPARE(countInFile(), 4);
        QCOMPARE(countInFile("NM = 'Петров Иван Иванович'"), 1);
        QCOMPARE(rs->count(), 4);
        QCOMPARE(rs->sourceCount(), 4);
        QCOMPARE(rs->text(0, "NM"), QString("Петров Иван Иванович"));
        QCOMPARE(changed.size() + inserted.size() + data.size(), 0);
        // The connection is left without a dangling transaction.
        m_other->exec("DROP TRIGGER refuse");
        rs->insertRecord({{"NM", "Новый"}});
        QCOMPARE(countInFile(), 5);
    }

    void unknownFieldIsRefusedBeforeWriting()
    {
        auto rs = openSet();
        QVERIFY_THROWS_EXCEPTION(core::Error, rs->insertRecord({{"NM", "x"}, {"NoSuch", 1}}));
        QVERIFY_THROWS_EXCEPTION(core::Error, rs->updateRecord(0, {{"NoSuch", 1}}));
        QVERIFY_THROWS_EXCEPTION(core::Error, rs->deleteRecords({0, 7}));
        QCOMPARE(countInFile(), 4);
        QCOMPARE(rs->count(), 4);
    }

    void rowChangedElsewhereIsNotOverwrittenOrDeleted()
    {
        auto rs = openSet();
        // Another connection empties the table and fills it again: the new
        // rows get the old rows' rowids.
        m_other->exec("DELETE * FROM T");
        addRow(*m_other, "C1", "Чужой", "Обед");
        QVERIFY_THROWS_EXCEPTION(core::Error, rs->deleteRecords({0}));
        QVERIFY_THROWS_EXCEPTION(core::Error, rs->updateRecord(0, {{"NM", "x"}}));
        QCOMPARE(countInFile("RecID = 'C1' AND NM = 'Чужой'"), 1);
        QCOMPARE(rs->count(), 4);

        rs->refresh();
        QCOMPARE(column(*rs, "RecID"), QStringList({"C1"}));
        rs->deleteRecords({0});
        QCOMPARE(countInFile(), 0);
    }

    void refreshKeepsFilterAndSort()
    {
        auto rs = openSet("SELECT * FROM T WHERE ((T.NMVid) = 'Обед')");
        QCOMPARE(rs->table(), QString("T"));
        QString needle = "ова";
        rs->setFilter(nameContains(&needle));
        rs->setFiltered(true);
        rs->sortBy("NM", Qt::DescendingOrder);
        QCOMPARE(column(*rs, "NM"), QStringList({"Сидорова Анна"}));

        addRow(*m_other, "D1", "Абрамова", "Обед");
        addRow(*m_other, "D2", "Яна", "Ужин");
        QCOMPARE(rs->count(), 1);
        rs->refresh();
        QCOMPARE(column(*rs, "NM"), QStringList({"Сидорова Анна", "Абрамова"}));
        QCOMPARE(rs->sourceCount(), 4);
    }

    void lazySetShowsWhatAWholeSetShowsThroughEveryChange()
    {
        fillMany(700);
        auto rs = lazySet();
        // The grid counts its rows from the announcements alone.
        QTableView grid;
        grid.setModel(rs.get());
        QVERIFY(rs->isLazy());
        // Compares, then lets the views know the first block only again.
        const auto agree = [&](bool filtered = true) {
            QCOMPARE(grid.verticalHeader()->count(), rs->rowCount());
            auto whole = wholeSet(filtered);
            QCOMPARE(rs->count(), whole->count());
            QCOMPARE(shown(*rs), shown(*whole));
            QCOMPARE(seen(*rs), seen(*whole));
            rs->refilter();
            QCOMPARE(rs->rowCount(), 256);
        };
        agree();
        QCOMPARE(rs->count(), 469); // 466 of the 700, and three of the first four rows

        // Past the rows the views know, near the start and at the end of the sort.
        rs->insertRecord({{"RecID", "N1"}, {"NM", "Сотрудник 050"}, {"NMVid", "Обед"}});
        rs->insertRecord({{"RecID", "N2"}, {"NM", "А"}, {"NMVid", "Обед"}});
        rs->insertRecord({{"RecID", "N3"}, {"NM", "Я"}, {"NMVid", "Обед"}});
        QCOMPARE(rs->insertRecord({{"RecID", "N4"}, {"NM", "Б"}, {"NMVid", "Ужин"}}), -1);
        agree();

        // An update that moves a row into and out of the known part.
        rs->updateRecord(rs->count() - 1, {{"NM", "Аа"}});
        agree();
        rs->updateRecord(0, {{"NM", "Юю"}});
        agree();
        rs->updateRecord(3, {{"NMVid", "Ужин"}}); // leaves the filter
        agree();

        // A run of rows across the end of the known part, and scattered ones.
        rs->deleteRecords({254, 255, 256, 257, 5, 300});
        QCOMPARE(rs->rowCount(), 253);
        QCOMPARE(grid.verticalHeader()->count(), 253);
        agree();

        rs->setFiltered(false);
        agree(false);
        rs->setFiltered(true);
        QCOMPARE(shown(*rs), shown(*wholeSet()));
        rs->sortBy("RecID", Qt::DescendingOrder); // a column the set does not hold
        auto whole = wholeSet();
        whole->sortBy("RecID", Qt::DescendingOrder);
        QCOMPARE(shown(*rs), shown(*whole));
        rs->sortBy("NM");

        addRow(*m_other, "O1", "Сотрудник 001", "Обед");
        rs->refresh();
        agree();
        QCOMPARE(countInFile(), 700 + 4 + 4 - 6 + 1);
    }

    void viewsLearnRowsABlockAtATimeAndRowsAreReadWhenShown()
    {
        fillMany(700);
        auto rs = lazySet();
        rs->setFiltered(false);
        QCOMPARE(rs->count(), 704);
        QCOMPARE(rs->rowCount(), 256);
        QVERIFY(rs->canFetchMore(QModelIndex()));
        QSignalSpy inserted(rs.get(), &QAbstractItemModel::rowsInserted);
        rs->fetchMore(QModelIndex());
        QCOMPARE(rs->rowCount(), 512);
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(inserted[0][1].toInt(), 256);
        QCOMPARE(inserted[0][2].toInt(), 511);

        // A row not read yet is read as it stands when it is first asked for;
        // one already read keeps what it showed.
        const int last = rs->count() - 1;
        const QString lastId = rs->sourceRow(rs->sourceIndex(last)).at(rs->fieldIndex("RecID")).toString();
        const QString firstId = rs->text(0, "RecID");
        m_other->exec("UPDATE T SET NMStoimost = 99 WHERE RecID IN ('" + lastId + "', '" + firstId + "')");
        QCOMPARE(rs->text(0, "NMStoimost") == "99,00", false);

        rs->fetchMore(QModelIndex());
        QCOMPARE(rs->rowCount(), 704);
        QVERIFY(!rs->canFetchMore(QModelIndex()));

        // A set of non-table columns cannot be read back by rowid: loaded whole.
        auto computed = std::make_unique<RecordSet>();
        computed->setConnection(m_conn.get());
        computed->setTable("T");
        computed->setSql("SELECT NM, NMVid || '!' AS Marked from T");
        computed->setHeldFields({"NM"});
        computed->open();
        QVERIFY(!computed->isLazy());
        QCOMPARE(computed->rowCount(), 704);
        QCOMPARE(computed->text(0, "Marked"), QString("Обед!"));
    }

    void lazyRowChangedOrGoneElsewhereIsNotWrittenOver()
    {
        fillMany(600);
        auto rs = lazySet();
        rs->setFiltered(false);
        // Past the known rows, never read whole: one gets another meal type
        // (a held field), one is deleted by another connection.
        const int changed = rs->count() - 1;
        const int gone = rs->count() - 2;
        const auto idOf = [&](int row) {
            return rs->sourceRow(rs->sourceIndex(row)).at(rs->fieldIndex("RecID")).toString();
        };
        const QString changedId = idOf(changed), goneId = idOf(gone);
        const QString goneVid = rs->text(gone, "NMVid");
        // (asking for the identifier read those rows: forget them again)
        rs->refilter();
        m_other->exec("UPDATE T SET NMVid = 'Ночное' WHERE RecID = '" + changedId + "'");
        m_other->exec("DELETE FROM T WHERE RecID = '" + goneId + "'");

        QVERIFY_THROWS_EXCEPTION(core::Error, rs->deleteRecords({changed}));
        QVERIFY_THROWS_EXCEPTION(core::Error, rs->updateRecord(changed, {{"NM", "x"}}));
        QVERIFY_THROWS_EXCEPTION(core::Error, rs->deleteRecords({gone}));
        QCOMPARE(rs->text(gone, "NMVid"), goneVid);
        QCOMPARE(rs->text(gone, "NM"), QString()); // only what the set holds of it
        QCOMPARE(countInFile("RecID = '" + changedId + "' AND NMVid = 'Ночное'"), 1);
        QCOMPARE(rs->count(), 604);

        rs->deleteRecords({0});
        QCOMPARE(countInFile(), 600 + 4 - 2);
    }

    void lookUpsStayInStepWithLoadsAndWrites()
    {
        for (const bool lazy : {false, true}) {
            init();
            fillMany(300);
            auto rs = std::make_unique<RecordSet>();
            rs->setConnection(m_conn.get());
            rs->setSql("SELECT * from T");
            if (lazy)
                rs->setHeldFields({"NMVid"});
            rs->open();
            rs->setIndexedFields({"NM", "RecID"});
            QCOMPARE(rs->isLazy(), lazy);
            // The answer of a walk through every row, the first in source order.
            const auto walk = [&](const QString &field, const QString &text) {
                for (int s = 0; s < rs->sourceCount(); ++s) {
                    const QVariant v = rs->sourceRow(s).at(rs->fieldIndex(field));
                    if (!v.isNull() && v.toString() == text)
                        return s;
                }
                return -1;
            };
            const QStringList probes = {"Сотрудник 005", "Сотрудник 096", "сотрудник 005", "",
                                        "Новый", "Второй", "Иванов Пётр", "A2", "M299", "M7", "N1"};
            const auto check = [&](const char *step) {
                for (const QString &p : probes)
                    for (const QString field : {"NM", "RecID"})
                        QVERIFY2(rs->findSource(field, p) == walk(field, p),
                                 qPrintable(QString("%1: %2 = %3").arg(step, field, p)));
            };
            check("loaded");
            QVERIFY(rs->findSource("NM", "Сотрудник 005") >= 0);
            QCOMPARE(rs->findSource("NM", ""), -1); // NULL holds no text
            QCOMPARE(rs->findSource("NoSuchField", "x"), -1);

            rs->insertRecord({{"RecID", "N1"}, {"NM", "Новый"}});
            rs->insertRecord({{"RecID", "N2"}, {"NM", "Сотрудник 005"}}); // a repeat comes after
            check("inserted");
            rs->updateRecord(rs->visibleRow(walk("NM", "Новый")), {{"NM", "Второй"}});
            rs->updateRecord(rs->visibleRow(walk("RecID", "M5")), {{"NM", QVariant()}});
            check("updated");
            rs->deleteRecords({rs->visibleRow(walk("NM", "Сотрудник 005")), rs->visibleRow(walk("RecID", "A2"))});
            check("deleted");
            addRow(*m_other, "N1", "Сотрудник 096", "Обед");
            rs->refresh();
            check("re-read");
            cleanup();
        }
    }
};

QTEST_MAIN(TestRecordSet)
#include "test_recordset.moc"
