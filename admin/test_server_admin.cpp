// The administration windows that keep their data in the database, on a
// database server: the protection rows of BPTools and "Очистка таблиц базы"
// give the same settings, rows and messages as on a file.
#include "admin/Bezopasnost.h"
#include "admin/UnitBezopasnost.h"
#include "admin/UnitOchistkaTablitsBazi.h"

#include "ProgramDatabase.h"
#include "TestSupport.h"
#include "core/ProcessValues.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>
#include <functional>

using testsupport::child;

namespace {

QString flags()
{
    const auto &b = core::pv().Bezopasnost;
    return QStringLiteral("%1%2%3%4 %5").arg(b.ZashchitaParolem).arg(b.ZashchitaOtcheta)
        .arg(b.ZashchitaOchistki).arg(b.ZashchitaUdaleniya).arg(admin::ParolIzKhranimoyFormi(b.Parol));
}

// "Безопасность": a new database's settings, a password refused for its
// characters, one stored, read back at the next start and asked for.
QStringList protection(const testsupport::ProgramDatabase &db)
{
    QStringList out;
    testsupport::ServicesFixture services;
    const QString parol = QStringLiteral("Щи-борщ 😀 O'Нил");
    services.onModal = [&](QDialog &d) {
        child<QLineEdit>(d, "EditEnterPassword")->setText(parol);
        child<QPushButton>(d, "ButtonEnterPassword_OK")->click();
        return d.result();
    };
    admin::ZagruzkaNastroekBezopasnosti();
    out << "new: " + flags();
    {
        TBezopasnostForm w;
        for (const QString &p : {QStringLiteral("пароль№1"), parol}) {
            child<QLineEdit>(w, "EditPassword_NB")->setText(p);
            child<QLineEdit>(w, "EditPasswordPodtverzhdenie_NB")->setText(p);
            child<QCheckBox>(w, "CheckBoxIspolzovatTrebovatParol")->setChecked(true);
            child<QCheckBox>(w, "CheckBoxPassUdalenie")->setChecked(true);
            child<QPushButton>(w, "ButtonZapisatBezopasnost")->click();
            out << "stored: " + flags();
        }
    }
    out << db.rows("SELECT NMNam, NMVal FROM BPTools ORDER BY NMNam");
    core::pv().Bezopasnost = {};
    admin::ZagruzkaNastroekBezopasnosti();
    out << "loaded: " + flags();
    out << "journal deletion allowed: " + QString::number(admin::ProverkaDostupa(admin::kUdalenieGlavnaya));
    admin::ZapisNastroekBezopasnostiPriZavershenii();
    out << db.rows("SELECT COUNT(*) FROM BPTools");
    out << "messages: " + services.messages().texts().join(" / ");
    return out;
}

// "Очистка таблиц базы": every button, one after another as an
// administrator empties the tables, each with its copy first.
QStringList cleanup(const testsupport::ProgramDatabase &db)
{
    for (const char *t : {"Org", "Podr", "Dolj", "Users"})
        for (const char *nm : {"а", "б"})
            db.insert(t, {{"NM", nm}, {"RecID", nm}});
    db.insert("SpisokDoc", {{"NMFIO", "а"}, {"NMStoimost", 1.5}});
    const auto counts = [&] {
        QStringList n;
        for (const char *t : {"Org", "Podr", "Dolj", "Users", "SpisokDoc", "BPTools"})
            n << db.rows(QStringLiteral("SELECT COUNT(*) FROM ") + t);
        return n.join(' ');
    };
    QStringList out;
    testsupport::ServicesFixture services;
    admin::TOchistkaTablitsBaziForm f;
    f.show();
    QStringList copies;
    for (const char *button : {"ClearOrg", "ClearPodr", "ClearDolj", "ClearUsers", "ClearPitanie", "ClearVse"}) {
        services.messages().script = {core::Answer::Ok};
        child<QPushButton>(f, button)->click();
        copies << f.poslednyayaKopiya();
        out << QString(button) + ": " + counts();
    }
    copies.removeDuplicates();
    out << "distinct copies: " + QString::number(copies.size());
    child<QPushButton>(f, "ButtonZakritiye")->click();
    // The copy's own name differs between a file and a server.
    for (QString t : services.messages().texts())
        out << t.replace(QRegularExpression("Копия базы данных до удаления: .*"), "Копия: <name>");
    return out;
}

} // namespace

class TestServerAdmin : public QObject
{
    Q_OBJECT
private slots:
    void init() { core::resetProcessValues(); }

    void sameAsOnAFile_data()
    {
        QTest::addColumn<QString>("scenario");
        for (const char *s : {"protection", "cleanup"})
            QTest::newRow(s) << QString(s);
    }

    void sameAsOnAFile()
    {
        QFETCH(QString, scenario);
        const std::function<QStringList(const testsupport::ProgramDatabase &)> run =
            scenario == "protection" ? protection : cleanup;
        TRAPEZON_COMPARE_FILE_AND_SERVER(run, init());
    }
};

QTEST_MAIN(TestServerAdmin)
#include "test_server_admin.moc"
