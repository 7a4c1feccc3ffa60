#include "staff/List.h"
#include "staff/ListDop.h"
#include "staff/DopEdit.h"
#include "staff/KartochkaSotr.h"
#include "staff/RabotaSoShtrKodom.h"
#include "staff/UserEdit.h"

#include "ProgramDatabase.h"
#include "TestSupport.h"
#include "core/DesktopFiles.h"
#include "core/Error.h"
#include "core/IniSettings.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTableView>
#include <QtTest>
#include <functional>

using testsupport::child;

namespace {

void click(QWidget &w, const char *name) { child<QPushButton>(w, name)->click(); }
void type(QWidget &w, const char *name, const QString &t) { child<QLineEdit>(w, name)->setText(t); }

QStringList shown(const QTableView &grid, int column = 0)
{
    QStringList out;
    for (int r = 0; r < grid.model()->rowCount(); ++r)
        out << grid.model()->index(r, column).data().toString();
    return out;
}

void selectRows(QTableView &grid, const QList<int> &rows)
{
    QItemSelectionModel *s = grid.selectionModel();
    s->clearSelection();
    for (int r : rows)
        s->select(grid.model()->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    s->setCurrentIndex(grid.model()->index(rows.first(), 0), QItemSelectionModel::NoUpdate);
}

// Plays the operator in every staff window: `user` in the list or
// directory, `editor` in the employee editor (which saves or stays open).
struct Session
{
    testsupport::ServicesFixture services;
    std::function<void(QDialog &)> user;
    std::function<void(staff::TUserEditForm &)> editor;
    QStringList typed; // names typed into the directory's item editor

    Session()
    {
        services.onModal = [this](QDialog &d) {
            d.show();
            if (auto *e = qobject_cast<staff::TUserEditForm *>(&d)) {
                if (editor)
                    editor(*e);
            } else if (auto *item = qobject_cast<staff::TDopEditForm *>(&d)) {
                type(*item, "EditNaimenovanie", typed.isEmpty() ? QString() : typed.takeFirst());
                click(*item, "ButtonSaveAndClose");
            } else if (user) {
                user(d);
            }
            if (d.isVisible())
                d.reject();
            return d.result();
        };
    }
};

void fillEmployees(const testsupport::ProgramDatabase &db)
{
    db.insert("Users", {{"NM", "Сидорова Анна"}, {"RecID", "R3"}, {"NMTabNum", "15"},
                        {"NMOrg", "Столовая №1"}});
    db.insert("Users", {{"NM", "Петров Иван Иванович"}, {"RecID", "R2"}, {"NMCardNum", "00AB12CD"},
                        {"ShtrKod", "2000000000022"}});
    db.insert("Users", {{"NM", "Иванов Пётр"}, {"RecID", "R1"}, {"NMOrg", "ООО Ромашка"},
                        {"NMTabNum", "7"}, {"NMCardNum", "1234567890"}, {"ShtrKod", "2000000000015"}});
}

// The employee list and its editor as an administrator uses them: filter,
// sort, create, open and rename, a refused save, delete.
QStringList employeeList(const testsupport::ProgramDatabase &db)
{
    fillEmployees(db);
    QStringList out;
    Session s;
    s.user = [&](QDialog &d) {
        auto &f = static_cast<staff::TListForm &>(d);
        QTableView &grid = *child<QTableView>(f, "DBGrid1");
        out << "loaded: " + shown(grid).join(", ");
        type(f, "EditOtbor", "пЁтр");
        out << "filtered: " + shown(grid).join(", ");
        type(f, "EditOtbor", "");
        child<QComboBox>(f, "ComboBoxOtbor")->setCurrentIndex(1);
        type(f, "EditOtbor", "1");
        out << "by number: " + shown(grid).join(", ");
        type(f, "EditOtbor", "");

        // A card another employee holds: the editor says so and stays open.
        s.editor = [&](staff::TUserEditForm &e) {
            type(e, "EditFIO", "Абрамов Олег");
            type(e, "EditCardNum", "00AB12CD");
            click(e, "ButtonSaveAndClose");
            out << "refused save open: " + QString::number(e.isVisible());
            type(e, "EditCardNum", "55555555");
            click(e, "ButtonSformirovatShtrKod");
            out << "new barcode: " + child<QLineEdit>(e, "MaskEditShtrKod")->text();
            click(e, "ButtonSaveAndClose");
        };
        click(f, "Sozdanie");
        out << "created: " + shown(grid).join(", ");
        grid.setCurrentIndex(grid.model()->index(shown(grid).indexOf("Иванов Пётр"), 0));
        s.editor = [&](staff::TUserEditForm &e) {
            out << "opened: " + child<QLineEdit>(e, "EditFIO")->text() + " "
                       + child<QLineEdit>(e, "EditCardNum")->text();
            type(e, "EditFIO", "Иванов Пётр Сергеевич");
            click(e, "ButtonSaveAndClose");
        };
        click(f, "Otkrit");
        out << "renamed: " + shown(grid).join(", ");
        s.services.messages().script = {core::Answer::Ok};
        selectRows(grid, {0, 3});
        click(f, "Udalenie");
        out << "deleted: " + shown(grid).join(", ");
        click(f, "Zakrit");
    };
    staff::openEmployeeList(nullptr);
    out << "messages: " + s.services.messages().texts().join(" / ");
    out << "stored: " + db.rows("SELECT NM, NMCardNum, ShtrKod, RecID FROM Users ORDER BY NM").join(", ")
                            .replace(QRegularExpression("[0-9A-F]{32}"), "<new>");

    // The pick from the list for a registration hands back the row.
    s.user = [&](QDialog &d) {
        type(d, "EditOtbor", "пётр");
        click(d, "Sozdanie");
    };
    out << "picked: " + QString::number(staff::pickEmployee(nullptr)) + " "
               + core::pv().BuferSotrudnika.FIO + " " + core::pv().BuferSotrudnika.TabNum;
    return out;
}

// The three directories: create, rename, filter, delete, pick.
QStringList directories(const testsupport::ProgramDatabase &db)
{
    QStringList out;
    for (const char *table : {"Org", "Podr", "Dolj"}) {
        Session s;
        s.typed = {"Бухгалтерия", "Склад №2", "О'Нил и К°", "Бухгалтерия и касса"};
        s.user = [&](QDialog &f) {
            QTableView &grid = *child<QTableView>(f, "DBGrid1");
            for (int i = 0; i < 3; ++i)
                click(f, "Sozdanie");
            out << QString(table) + " created: " + shown(grid).join(", ");
            grid.setCurrentIndex(grid.model()->index(0, 0));
            click(f, "Otkrit");
            type(f, "EditOtbor", "БУХ");
            out << "filtered: " + shown(grid).join(", ");
            type(f, "EditOtbor", "");
            s.services.messages().script = {core::Answer::Ok};
            selectRows(grid, {1});
            click(f, "Udalenie");
            out << "deleted: " + shown(grid).join(", ");
        };
        staff::openDirectory(nullptr, table, "Справочник");
        out << "stored: " + db.column(table, "NM").join(", ");

        s.user = [&](QDialog &f) {
            QTableView &grid = *child<QTableView>(f, "DBGrid1");
            grid.setCurrentIndex(grid.model()->index(shown(grid).indexOf("Склад №2"), 0));
            click(f, "Sozdanie");
        };
        QLineEdit field;
        out << "picked: " + QString::number(staff::pickFromDirectory(nullptr, table, &field)) + " "
                   + field.text();
        out << "messages: " + s.services.messages().texts().join(" / ");
    }
    return out;
}

// Barcode numbering among codes of the system's own form and foreign ones.
QStringList barcodes(const testsupport::ProgramDatabase &db)
{
    using namespace RabotaSoShtrKodom;
    QStringList out;
    const auto numbers = [&] {
        out << MaksShtrKod() + " " + QString::number(MaksNomerShtrKoda()) + " "
                   + GeneratsiyaShtrKoda("0", "00", kPredelNomera) + " "
                   + GeneratsiyaShtrKoda("0", "00", 3);
    };
    numbers();
    for (const char *code : {"2000000001227", "4006381333931", "20000000012", "2000000001x27",
                             "20000000000155", "2000000000039", "2000000000015", "9999999999999"})
        db.insert("Users", {{"NM", code}, {"ShtrKod", code}});
    numbers();
    auto c = db.connect();
    NumeratorShtrKodov numerator(*c, "0", "00", 4);
    out << numerator.next() + " " + numerator.next();
    db.insert("Users", {{"NM", "4"}, {"ShtrKod", "2000000000046"}});
    db.insert("Users", {{"NM", "2"}, {"ShtrKod", "2000000000022"}});
    try {
        out << GeneratsiyaShtrKoda("0", "00", 4);
    } catch (const core::Error &e) {
        out << e.message();
    }
    return out;
}

// The employee card made from the editor's fields of a stored employee.
QStringList card(const testsupport::ProgramDatabase &db)
{
    fillEmployees(db);
    QStringList out;
    const QString maket = QDir(db.dir()).filePath("maket.docx");
    staff::ZapisatMaketPoUmolchaniyu(maket);
    QStringList opened;
    core::setDesktopOpener([&](const QString &p) { opened << QFileInfo(p).fileName(); return true; });
    Session s;
    s.user = [&](QDialog &f) {
        QTableView &grid = *child<QTableView>(f, "DBGrid1");
        grid.setCurrentIndex(grid.model()->index(shown(grid).indexOf("Петров Иван Иванович"), 0));
        s.editor = [&](staff::TUserEditForm &e) {
            type(e, "EditPutKMaketuKartSotr", maket);
            click(e, "ButtonSformirovatKartSotr");
        };
        click(f, "Otkrit");
    };
    staff::openEmployeeList(nullptr);
    core::setDesktopOpener({});
    out << opened << s.services.messages().texts();
    return out;
}

} // namespace

// The staff windows on a database server: the same rows, numbers and
// messages as on a file.
class TestServerStaff : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        core::resetProcessValues();
        QFile::remove(core::openMainIni()->path());
    }

    // A server keeps at most 255 characters in a text column, where the file
    // keeps any length: a longer name is refused with a message that says
    // so, and nothing is stored.
    void overlongNameRefusedClearly()
    {
        testsupport::ProgramDatabase server(true);
        TRAPEZON_NEED_DATABASE(server);
        Session s;
        s.typed = {QString(256, QChar(u'я'))};
        s.user = [&](QDialog &f) { click(f, "Sozdanie"); };
        staff::openDirectory(nullptr, "Org", "Организации");
        const QStringList texts = s.services.messages().texts();
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts.first().contains("длиннее 255 знаков"), qPrintable(texts.first()));
        QCOMPARE(server.column("Org", "NM"), QStringList());
    }

    void sameAsOnAFile_data()
    {
        QTest::addColumn<QString>("scenario");
        for (const char *s : {"employee list", "directories", "barcodes", "card"})
            QTest::newRow(s) << QString(s);
    }

    void sameAsOnAFile()
    {
        QFETCH(QString, scenario);
        const std::function<QStringList(const testsupport::ProgramDatabase &)> run =
            scenario == "employee list" ? employeeList
            : scenario == "directories" ? directories
            : scenario == "barcodes"    ? barcodes
                                        : card;
        TRAPEZON_COMPARE_FILE_AND_SERVER(run, init());
    }
};

QTEST_MAIN(TestServerStaff)
#include "test_server_staff.moc"
