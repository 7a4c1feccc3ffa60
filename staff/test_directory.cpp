#include "staff/DopEdit.h"
#include "staff/ListDop.h"
#include "test_fixture.h"

#include "TestSupport.h"
#include "core/IniSettings.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QtTest>
#include <functional>

using staff::TDopEditForm;
using staff::TDopForm;

using stafftest::child;
using stafftest::click;

namespace {


// Plays the user in the directory window and in its item editor.
struct Directory
{
    testsupport::ServicesFixture services;
    std::function<void(TDopForm &)> user;  // what the user does in the window
    QStringList typed;                     // names typed into successive item editors, in order
    bool cancelEditor = false;
    QStringList editorFields;              // what each item editor showed
    QStringList editorCaptions;
    QSize shownSize;

    Directory()
    {
        services.onModal = [this](QDialog &d) {
            d.show();
            if (auto *editor = qobject_cast<TDopEditForm *>(&d)) {
                auto *field = child<QLineEdit>(*editor, "EditNaimenovanie");
                editorFields << field->text();
                editorCaptions << editor->windowTitle();
                field->setText(typed.isEmpty() ? QString() : typed.takeFirst());
                click(*editor, cancelEditor ? "ButtonOtmena" : "ButtonSaveAndClose");
            } else if (auto *form = qobject_cast<TDopForm *>(&d)) {
                shownSize = form->size();
                if (user)
                    user(*form);
                if (form->isVisible())
                    click(*form, "Zakrit");
            }
            return d.result();
        };
    }
};

QTableView &grid(TDopForm &f) { return *child<QTableView>(f, "DBGrid1"); }

void selectRow(TDopForm &f, int row)
{
    QTableView &g = grid(f);
    g.setCurrentIndex(g.model()->index(row, 0));
}

QStringList shownNames(TDopForm &f)
{
    QStringList out;
    const QAbstractItemModel *m = grid(f).model();
    for (int r = 0; r < m->rowCount(); ++r)
        out << m->index(r, 0).data().toString();
    return out;
}

} // namespace

class TestDirectory : public QObject
{
    Q_OBJECT
private slots:
    void init() { core::resetProcessValues(); }

    void captionsColumnAndButtonsByOpener_data();
    void captionsColumnAndButtonsByOpener();
    void creating_data();
    void creating();
    void renameLeavesEmployeesAlone();
    void filterIgnoresLetterCase();
    void deleteOnlyWhenCursorOnSelection();
    void sizeAndWidthSharedByAllDirectories();
    void chooseModeNeedsAnExplicitPick();
    void pickingFromAnEmptyDirectory();
    void connectionFailureLeavesAnEmptyGrid();
};

void TestDirectory::captionsColumnAndButtonsByOpener_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<bool>("choose");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("title");
    QTest::newRow("menu Должности") << "Dolj" << false << "Должности" << "Должность";
    QTest::newRow("menu Подразделения") << "Podr" << false << "Подразделения" << "Подразделение";
    QTest::newRow("menu Организации") << "Org" << false << "Организации" << "Организация";
    QTest::newRow("picker Podr") << "Podr" << true << "Выбрать" << "Подразделение";
}

void TestDirectory::captionsColumnAndButtonsByOpener()
{
    QFETCH(QString, table);
    QFETCH(bool, choose);
    QFETCH(QString, caption);
    QFETCH(QString, title);
    stafftest::TestDb db;
    Directory dir;
    dir.user = [&](TDopForm &f) {
        QCOMPARE(f.windowTitle(), caption);
        QVERIFY(f.windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(grid(f).model()->columnCount(), 1);
        QCOMPARE(grid(f).model()->headerData(0, Qt::Horizontal).toString(), title);
        QCOMPARE(child<QPushButton>(f, "Sozdanie")->text(),
                 choose ? QStringLiteral("Выбрать") : QStringLiteral("Создать"));
        QCOMPARE(child<QPushButton>(f, "Otkrit")->isVisible(), !choose);
        QCOMPARE(child<QPushButton>(f, "SozdanieVibora")->isVisible(), choose);
    };
    QLineEdit field;
    if (choose)
        staff::pickFromDirectory(nullptr, table, &field);
    else
        staff::openDirectory(nullptr, table, caption);
    QCOMPARE(core::pv().RezhimSpravochnika, QString());
    QCOMPARE(core::pv().TablitsaSpravochnika, QString());
}

void TestDirectory::creating_data()
{
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("a name") << QStringList{"Бухгалтерия"} << false << QStringList{"Бухгалтерия"}
                            << QStringList{};
    QTest::newRow("the same name twice")
        << QStringList{"Склад", "Склад"} << false << QStringList{"Склад", "Склад"} << QStringList{};
    QTest::newRow("blanks are a name") << QStringList{"   "} << false << QStringList{"   "}
                                       << QStringList{};
    QTest::newRow("empty name") << QStringList{""} << false << QStringList{}
                                << QStringList{"Наименование не заполнено!"};
    QTest::newRow("cancelled") << QStringList{"Цех"} << true << QStringList{} << QStringList{};
}

void TestDirectory::creating()
{
    QFETCH(QStringList, typed);
    QFETCH(bool, cancel);
    QFETCH(QStringList, stored);
    QFETCH(QStringList, messages);
    stafftest::TestDb db;
    Directory dir;
    dir.typed = typed;
    dir.cancelEditor = cancel;
    const int times = int(typed.size());
    dir.user = [&](TDopForm &f) {
        for (int i = 0; i < times; ++i)
            click(f, "Sozdanie");
        QCOMPARE(shownNames(f), stored);
    };
    staff::openDirectory(nullptr, QStringLiteral("Podr"), QStringLiteral("Подразделения"));
    QCOMPARE(dir.editorCaptions.value(0), QStringLiteral("Создание"));
    QCOMPARE(dir.editorFields.value(0), QString());
    QCOMPARE(db.column("Podr", "NM"), stored);
    for (const QString &id : db.column("Podr", "RecID"))
        QVERIFY2(QRegularExpression("^[0-9A-F]{32}$").match(id).hasMatch(), qPrintable(id));
    QCOMPARE(dir.services.messages().texts(), messages);
    QCOMPARE(core::pv().RedaktiruemoeNaimenovanie, QString());
}

void TestDirectory::renameLeavesEmployeesAlone()
{
    stafftest::TestDb db;
    db.insert("Org", {{"NM", "ООО Ромашка"}, {"RecID", "A1"}});
    db.insert("Users", {{"NM", "Иванов"}, {"NMOrg", "ООО Ромашка"}});
    Directory dir;
    dir.typed = {"ООО Лютик", ""};
    dir.user = [&](TDopForm &f) {
        selectRow(f, 0);
        click(f, "Otkrit");       // renamed
        click(f, "Otkrit");       // emptied: refused
    };
    staff::openDirectory(nullptr, QStringLiteral("Org"), QStringLiteral("Организации"));
    QCOMPARE(dir.editorCaptions, (QStringList{"Наименование", "Наименование"}));
    QCOMPARE(dir.editorFields, (QStringList{"ООО Ромашка", "ООО Лютик"}));
    QCOMPARE(db.column("Org", "NM"), QStringList{"ООО Лютик"});
    QCOMPARE(db.column("Org", "RecID"), QStringList{"A1"});
    QCOMPARE(db.column("Users", "NMOrg"), QStringList{"ООО Ромашка"});
    QCOMPARE(dir.services.messages().texts(), QStringList{"Наименование не заполнено!"});
}

void TestDirectory::filterIgnoresLetterCase()
{
    stafftest::TestDb db;
    for (const char *n : {"Иванов цех", "Цех Ивана", "Склад", ""})
        db.insert("Podr", {{"NM", QString::fromUtf8(n)}});
    Directory dir;
    dir.user = [&](TDopForm &f) {
        child<QLineEdit>(f, "EditOtbor")->setText(QStringLiteral("иван"));
        QCOMPARE(shownNames(f), (QStringList{"Иванов цех", "Цех Ивана"}));
        click(f, "ButtonOtborCl");
        QCOMPARE(child<QLineEdit>(f, "EditOtbor")->text(), QString());
        QCOMPARE(shownNames(f).size(), 4);
    };
    staff::openDirectory(nullptr, QStringLiteral("Podr"), QStringLiteral("Подразделения"));
}

void TestDirectory::deleteOnlyWhenCursorOnSelection()
{
    stafftest::TestDb db;
    for (const char *n : {"А", "Б", "В", "Г"})
        db.insert("Dolj", {{"NM", QString::fromUtf8(n)}});
    Directory dir;
    dir.user = [&](TDopForm &f) {
        QTableView &g = grid(f);
        g.selectRow(0);
        g.selectionModel()->select(g.model()->index(2, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
        g.selectionModel()->setCurrentIndex(g.model()->index(3, 0), QItemSelectionModel::NoUpdate);
        click(f, "Udalenie"); // cursor on an unselected row: nothing, no question
        QCOMPARE(dir.services.messages().texts(), QStringList{});
        g.selectionModel()->setCurrentIndex(g.model()->index(2, 0), QItemSelectionModel::NoUpdate);
        click(f, "Udalenie");
    };
    staff::openDirectory(nullptr, QStringLiteral("Dolj"), QStringLiteral("Должности"));
    QCOMPARE(dir.services.messages().texts(), QStringList{"Подтвердить удаление?"});
    QCOMPARE(dir.services.messages().messages.at(0).buttons, core::Buttons::OkCancel);
    QCOMPARE(db.column("Dolj", "NM"), (QStringList{"Б", "Г"}));
}

void TestDirectory::sizeAndWidthSharedByAllDirectories()
{
    stafftest::TestDb db;
    Directory dir;
    dir.user = [&](TDopForm &f) {
        QCOMPARE(grid(f).size(), QSize(500, 200));
        QCOMPARE(grid(f).columnWidth(0), 200);
        f.resize(f.width() + 100, f.height() + 40);
        grid(f).horizontalHeader()->resizeSection(0, 320);
    };
    staff::openDirectory(nullptr, QStringLiteral("Dolj"), QStringLiteral("Должности"));
    QCOMPARE(dir.shownSize, QSize(532, 316));
    {
        const auto ini = core::openMainIni();
        QCOMPARE(ini->readInt("DBGridRazmerDop", "DBGridShirina", 0), 600);
        QCOMPARE(ini->readInt("DBGridRazmerDop", "DBGridVisota", 0), 240);
        QCOMPARE(ini->readInt("DBGridColumnsDop", "WidthCount", 0), 320);
    }
    dir.user = [&](TDopForm &f) {
        QCOMPARE(grid(f).size(), QSize(600, 240));
        QCOMPARE(grid(f).columnWidth(0), 320);
    };
    QLineEdit field;
    staff::pickFromDirectory(nullptr, QStringLiteral("Org"), &field);
    QCOMPARE(dir.shownSize, QSize(632, 356));
}

void TestDirectory::chooseModeNeedsAnExplicitPick()
{
    stafftest::TestDb db;
    db.insert("Org", {{"NM", "ООО Ромашка"}});
    Directory dir;
    dir.typed = {"АО Новое"};
    dir.user = [&](TDopForm &f) { click(f, "SozdanieVibora"); };
    QLineEdit field(QStringLiteral("было"));
    QVERIFY(!staff::pickFromDirectory(nullptr, QStringLiteral("Org"), &field));
    QCOMPARE(field.text(), QStringLiteral("было"));
    QCOMPARE(db.column("Org", "NM"), (QStringList{"ООО Ромашка", "АО Новое"}));

    // Sorted by name, the new entry is the first row; double click picks it.
    dir.user = [&](TDopForm &f) {
        QCOMPARE(shownNames(f), (QStringList{"АО Новое", "ООО Ромашка"}));
        selectRow(f, 1);
        click(f, "Sozdanie");
    };
    QVERIFY(staff::pickFromDirectory(nullptr, QStringLiteral("Org"), &field));
    QCOMPARE(field.text(), QStringLiteral("ООО Ромашка"));
    QCOMPARE(core::pv().VibrannoeNaimenovanie, QString());
    QCOMPARE(core::pv().RezhimSpravochnika, QString());
    QCOMPARE(dir.services.messages().texts(), QStringList{});
}

void TestDirectory::pickingFromAnEmptyDirectory()
{
    stafftest::TestDb db;
    Directory dir;
    dir.user = [&](TDopForm &f) { click(f, "Sozdanie"); };
    QLineEdit field(QStringLiteral("было"));
    QVERIFY(staff::pickFromDirectory(nullptr, QStringLiteral("Dolj"), &field));
    QCOMPARE(field.text(), QStringLiteral("было"));
    QCOMPARE(dir.services.messages().texts(), QStringList{"Наименование не заполнено!"});
}

void TestDirectory::connectionFailureLeavesAnEmptyGrid()
{
    testsupport::ServicesFixture services;
    core::pv().Nastroyki.PutKFayluBD = QStringLiteral("/nonexistent/CRDB.mdb");
    bool shown = false;
    services.onModal = [&](QDialog &d) {
        d.show();
        if (auto *editor = qobject_cast<TDopEditForm *>(&d)) {
            child<QLineEdit>(*editor, "EditNaimenovanie")->setText(QStringLiteral("Цех"));
            click(*editor, "ButtonSaveAndClose");
            return d.result();
        }
        auto &f = static_cast<TDopForm &>(d);
        shown = f.isVisible();
        [&] { QCOMPARE(grid(f).model()->rowCount(), 0); }();
        click(f, "Sozdanie"); // nothing to write to: one more message, no crash
        click(f, "Zakrit");
        return d.result();
    };
    staff::openDirectory(nullptr, QStringLiteral("Org"), QStringLiteral("Организации"));
    QVERIFY(shown);
    const QStringList texts = services.messages().texts();
    QCOMPARE(texts.size(), 2); // the failed opening, then the refused write
    for (const QString &t : texts)
        QVERIFY2(t.startsWith(QStringLiteral("EDatabaseError Ошибка с сообщением : ")), qPrintable(t));
}

QTEST_MAIN(TestDirectory)
#include "test_directory.moc"
