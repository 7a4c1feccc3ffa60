// Access protection: the stored password form, the access check with its
// prompt, the settings window and the BPTools rows.
#include "admin/Bezopasnost.h"
#include "admin/UnitBezopasnost.h"
#include "admin/UnitPassEnter.h"

#include "core/ProcessValues.h"
#include "db/Connection.h"
#include "db/StructureCheck.h"
#include "TestSupport.h"

#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <memory>

using namespace admin;
using testsupport::child;

namespace {

// One turn of the operator at the password prompt.
struct Popytka
{
    QString parol;
    bool zapomnit = false;
    bool otmena = false;   // "Отмена" instead of "OK"
};

} // namespace

class TestBezopasnost : public QObject
{
    Q_OBJECT

    std::unique_ptr<testsupport::ServicesFixture> m_services;
    QTemporaryDir m_dir;
    QString m_path;
    int m_prompts = 0;
    bool m_shownInClear = false;
    QList<Popytka> m_popytki;   // the operator's turns at the next prompts

    testsupport::ScriptedMessages &messages() { return m_services->messages(); }

    // Plays the operator's turns at the prompt; a prompt that stays open
    // after the turns is closed by its frame.
    int playPrompt(QDialog &d)
    {
        if (d.objectName() != QLatin1String("PassEnterForm"))
            return int(QDialog::Rejected);
        ++m_prompts;
        if (child<QLineEdit>(d, "EditEnterPassword")->echoMode() != QLineEdit::Password)
            m_shownInClear = true;
        while (!m_popytki.isEmpty()) {
            const Popytka p = m_popytki.takeFirst();
            child<QLineEdit>(d, "EditEnterPassword")->setText(p.parol);
            child<QCheckBox>(d, "CheckBoxNeZaprashivatVTekSessii")->setChecked(p.zapomnit);
            child<QPushButton>(d, p.otmena ? "ButtonEnterPassword_Otmena" : "ButtonEnterPassword_OK")
                ->click();
            if (d.result() == QDialog::Accepted || p.otmena)
                return d.result();
        }
        d.close();
        return d.result();
    }

    static void protect(const QString &parol, bool otchet, bool ochistka, bool udalenie)
    {
        auto &b = core::pv().Bezopasnost;
        b.ZashchitaParolem = true;
        b.Parol = KhranimayaForma(parol);
        b.ZashchitaOtcheta = otchet;
        b.ZashchitaOchistki = ochistka;
        b.ZashchitaUdaleniya = udalenie;
    }

    QMap<QString, QString> rows()
    {
        db::Connection c;
        c.open(m_path);
        QSqlQuery q = c.exec("SELECT NMNam, NMVal FROM BPTools");
        QMap<QString, QString> out;
        while (q.next())
            out[q.value(0).toString()] = q.value(1).toString();
        return out;
    }

private slots:
    void initTestCase()
    {
        m_path = m_dir.filePath("CRDB.mdb");
        QFile f(m_path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        db::ProverkaStrukturiBD(m_path, QString(), QString());
    }

    void init()
    {
        core::resetProcessValues();
        core::pv().Nastroyki.PutKFayluBD = m_path;
        m_services = std::make_unique<testsupport::ServicesFixture>();
        m_services->onModal = [this](QDialog &d) { return playPrompt(d); };
        m_prompts = 0;
        m_popytki.clear();
    }

    void cleanup()
    {
        m_services.reset();
        QVERIFY2(!m_shownInClear, "the prompt showed the password in clear");
    }

    void storedForm()
    {
        // The form databases already hold: prefix and password, each code complemented.
        const QString form = KhranimayaForma("Ab");
        QCOMPARE(form.size(), 21);
        QCOMPARE(form.at(0).unicode(), char16_t(0xFFFF - 'K'));
        QCOMPARE(form.at(19).unicode(), char16_t(0xFFFF - 'A'));
        QCOMPARE(ShifrovkaParolya(form), "KontrolnayaVstavkaZAb");
        QCOMPARE(ParolIzKhranimoyFormi(form), "Ab");
        QCOMPARE(KhranimayaForma(QString()), ShifrovkaParolya("KontrolnayaVstavkaZ"));
    }

    void whichActionsAsk_data()
    {
        QTest::addColumn<bool>("on");
        QTest::addColumn<bool>("guardAll");
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("asks");
        QTest::newRow("off: settings pass") << false << true << kNastroyki << false;
        QTest::newRow("nothing guarded: report") << true << false << kOtchet << false;
        QTest::newRow("nothing guarded: cleanup") << true << false << kOchistkaTablits << false;
        QTest::newRow("nothing guarded: deletion") << true << false << kUdalenieGlavnaya << false;
        QTest::newRow("nothing guarded: settings ask") << true << false << kNastroyki << true;
        QTest::newRow("all guarded: report") << true << true << kOtchet << true;
        QTest::newRow("all guarded: cleanup") << true << true << kOchistkaTablits << true;
        QTest::newRow("all guarded: deletion") << true << true << kUdalenieGlavnaya << true;
        QTest::newRow("misspelt action") << true << true << QStringLiteral("Отчет") << false;
        QTest::newRow("other letter case") << true << true << QStringLiteral("настройки") << false;
    }

    void whichActionsAsk()
    {
        QFETCH(bool, on);
        QFETCH(bool, guardAll);
        QFETCH(QString, action);
        QFETCH(bool, asks);
        protect("secret", guardAll, guardAll, guardAll);
        core::pv().Bezopasnost.ZashchitaParolem = on;
        m_popytki = {{QString(), false, true}};
        QCOMPARE(ProverkaDostupa(action), !asks);
        QCOMPARE(m_prompts, asks ? 1 : 0);
    }

    void wrongPasswordThenCancel()
    {
        protect("secret", true, true, true);
        m_popytki = {{"wrong"}, {QString(), false, true}};
        QVERIFY(!ProverkaDostupa(kOtchet));
        QCOMPARE(m_prompts, 1);   // the wrong password kept the one prompt open
        QCOMPARE(messages().texts(), QStringList({"Пароль не подходит!"}));
        QVERIFY(!core::pv().Bezopasnost.RezultatVvoda);
    }

    void closingThePromptDenies()
    {
        protect("secret", true, true, true);
        QVERIFY(!ProverkaDostupa(kNastroyki));   // no turn: the frame closes it
        // Typed right but not confirmed: closing still denies.
        m_services->onModal = [](QDialog &d) {
            child<QLineEdit>(d, "EditEnterPassword")->setText("secret");
            d.close();
            return d.result();
        };
        QVERIFY(!ProverkaDostupa(kNastroyki));
    }

    void passwordComparedExactly_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("exact") << "Пароль 1" << true;
        QTest::newRow("other case") << "пароль 1" << false;
        QTest::newRow("trailing blank") << "Пароль 1 " << false;
        QTest::newRow("shorter") << "Пароль" << false;
        QTest::newRow("empty") << "" << false;
    }

    void passwordComparedExactly()
    {
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        protect("Пароль 1", false, false, false);
        m_popytki = {{typed}, {QString(), false, true}};
        QCOMPARE(ProverkaDostupa(kNastroyki), accepted);
    }

    void rememberingForTheSession()
    {
        protect("secret", true, true, true);
        // Not remembered: the next guarded action asks again.
        m_popytki = {{"secret", false}, {"secret", false}};
        QVERIFY(ProverkaDostupa(kOtchet));
        QVERIFY(ProverkaDostupa(kUdalenieGlavnaya));
        QCOMPARE(m_prompts, 2);

        // Remembered: nothing asks until "Pass Free".
        m_popytki = {{"secret", true}};
        QVERIFY(ProverkaDostupa(kOtchet));
        QVERIFY(ProverkaDostupa(kNastroyki));
        QVERIFY(ProverkaDostupa(kOchistkaTablits));
        QCOMPARE(m_prompts, 3);
        ZabytParolSessii();
        m_popytki = {{QString(), false, true}};
        QVERIFY(!ProverkaDostupa(kOtchet));
        QCOMPARE(m_prompts, 4);

        // A wrong try forgets what a ticked box had asked for.
        m_popytki = {{"secret", true}};
        QVERIFY(ProverkaDostupa(kOtchet));
        ZabytParolSessii();
        m_popytki = {{"wrong", true}, {QString(), false, true}};
        QVERIFY(!ProverkaDostupa(kOtchet));
        QVERIFY(!core::pv().Bezopasnost.ZapomnitVSessii);
    }

    void newDatabaseLoadsDefaults()
    {
        core::pv().Bezopasnost.ZashchitaParolem = true;
        ZagruzkaNastroekBezopasnosti();
        const auto &b = core::pv().Bezopasnost;
        QVERIFY(!b.ZashchitaParolem);
        QCOMPARE(b.Parol, KhranimayaForma(QString()));
        const auto r = rows();
        QCOMPARE(r.value("SppS"), KhranimayaForma(QString()));
        for (const char *name : {"zp_Otch", "zp_OchistT", "zp_UdalenieGL", "psi"})
            QCOMPARE(r.value(name), "nnn");
    }

    void saveAndLoadRoundTrip()
    {
        // Cyrillic, a surrogate pair and the prefix's own letters survive the file.
        const QString parol = QStringLiteral("Щи-борщ 😀 KontrolnayaVstavkaZ");
        protect(parol, true, false, true);
        ZapisNastroekBezopasnosti();
        QCOMPARE(rows().value("zp_Otch"), "ddd");
        QCOMPARE(rows().value("zp_OchistT"), "nnn");
        core::resetProcessValues();
        core::pv().Nastroyki.PutKFayluBD = m_path;
        ZagruzkaNastroekBezopasnosti();
        const auto &b = core::pv().Bezopasnost;
        QVERIFY(b.ZashchitaParolem && b.ZashchitaOtcheta && !b.ZashchitaOchistki && b.ZashchitaUdaleniya);
        QCOMPARE(ParolIzKhranimoyFormi(b.Parol), parol);
        m_popytki = {{parol}};
        QVERIFY(ProverkaDostupa(kOtchet));
        ZapisNastroekBezopasnosti();   // leave the file as the other cases expect
        protect(QString(), false, false, false);
        core::pv().Bezopasnost.ZashchitaParolem = false;
        ZapisNastroekBezopasnosti();
    }

    void unknownFlagValueKeepsSetting()
    {
        {
            db::Connection c;
            c.open(m_path);
            c.exec("UPDATE BPTools SET NMVal = 'xyz' WHERE NMNam = 'psi'");
        }
        core::pv().Bezopasnost.ZashchitaParolem = true;
        ZagruzkaNastroekBezopasnosti();
        QVERIFY(core::pv().Bezopasnost.ZashchitaParolem);
        core::pv().Bezopasnost.ZashchitaParolem = false;
        ZapisNastroekBezopasnosti();
        QCOMPARE(rows().value("psi"), "nnn");
    }

    void unreachableDatabaseLoadsNothing()
    {
        core::pv().Nastroyki.PutKFayluBD = m_dir.filePath("missing.mdb");
        core::pv().Bezopasnost.ZashchitaParolem = true;
        ZagruzkaNastroekBezopasnosti();
        QVERIFY(core::pv().Bezopasnost.ZashchitaParolem);
        ZapisNastroekBezopasnosti();   // says nothing, creates nothing
        QVERIFY(!QFile::exists(m_dir.filePath("missing.mdb")));
        QVERIFY(messages().texts().isEmpty());
    }

    void shutdownWritesOnlyWhatTheDatabaseGave()
    {
        protect("secret", true, true, true);
        ZapisNastroekBezopasnosti();
        // A start on which the database could not be read: the initial
        // values must not replace the administrator's at shutdown.
        core::resetProcessValues();
        core::pv().Nastroyki.PutKFayluBD = m_dir.filePath("missing.mdb");
        ZagruzkaNastroekBezopasnosti();
        core::pv().Nastroyki.PutKFayluBD = m_path;
        ZapisNastroekBezopasnostiPriZavershenii();
        QCOMPARE(rows().value("psi"), "ddd");
        QCOMPARE(rows().value("SppS"), KhranimayaForma("secret"));

        // Loaded in full: shutdown writes back what changed in memory.
        ZagruzkaNastroekBezopasnosti();
        core::pv().Bezopasnost.ZashchitaOtcheta = false;
        ZapisNastroekBezopasnostiPriZavershenii();
        QCOMPARE(rows().value("zp_Otch"), "nnn");

        core::pv().Bezopasnost = {};
        ZapisNastroekBezopasnosti();
    }

    void settingsWindowShowsCurrentState()
    {
        protect("Тайна", true, false, true);
        TBezopasnostForm w;
        QCOMPARE(w.windowTitle(), "Настройки безопасности");
        for (const char *name : {"EditPassword_NB", "EditPasswordPodtverzhdenie_NB"}) {
            QCOMPARE(child<QLineEdit>(w, name)->text(), "Тайна");
            QCOMPARE(child<QLineEdit>(w, name)->echoMode(), QLineEdit::Password);
        }
        QVERIFY(child<QCheckBox>(w, "CheckBoxIspolzovatTrebovatParol")->isChecked());
        QVERIFY(child<QCheckBox>(w, "CheckBoxPassOtchet")->isChecked());
        QVERIFY(!child<QCheckBox>(w, "CheckBoxPassOchistkaTablits")->isChecked());
        QVERIFY(child<QCheckBox>(w, "CheckBoxPassUdalenie")->isChecked());
        QVERIFY(child<QGroupBox>(w, "GroupBoxTrebovatParol")->isEnabled());
        child<QCheckBox>(w, "CheckBoxIspolzovatTrebovatParol")->click();
        QVERIFY(!child<QGroupBox>(w, "GroupBoxTrebovatParol")->isEnabled());
        // Unchanged fields pass the validation.
        child<QCheckBox>(w, "CheckBoxIspolzovatTrebovatParol")->click();
        QCOMPARE(w.ZapolnenoVerno(), QString());
    }

    void settingsValidation_data()
    {
        QTest::addColumn<QString>("parol");
        QTest::addColumn<QString>("podtverzhdenie");
        QTest::addColumn<bool>("on");
        QTest::addColumn<QStringList>("lines");
        const QString mismatch = "Пароль и подтверждение пароля не совпадают!";
        const QString empty = "Выбрана защита паролем, но пароль пустой!";
        QTest::newRow("off, empty") << "" << "" << false << QStringList();
        QTest::newRow("on, empty") << "" << "" << true << QStringList{empty};
        QTest::newRow("mismatch") << "a" << "b" << false << QStringList{mismatch};
        QTest::newRow("trailing blank differs") << "a" << "a " << true << QStringList{mismatch};
        QTest::newRow("both lines") << "" << "x" << true << QStringList{mismatch, empty};
        QTest::newRow("on, set") << "a" << "a" << true << QStringList();
        // These would be stored as lone surrogates, which the database file
        // cannot hold: the password would never match again.
        QTest::newRow("unstorable characters")
            << "№1–№" << "№1–№" << true
            << QStringList{"Пароль содержит символы, которые нельзя сохранить в базе: №–"};
    }

    void settingsValidation()
    {
        QFETCH(QString, parol);
        QFETCH(QString, podtverzhdenie);
        QFETCH(bool, on);
        QFETCH(QStringList, lines);
        TBezopasnostForm w;
        child<QLineEdit>(w, "EditPassword_NB")->setText(parol);
        child<QLineEdit>(w, "EditPasswordPodtverzhdenie_NB")->setText(podtverzhdenie);
        child<QCheckBox>(w, "CheckBoxIspolzovatTrebovatParol")->setChecked(on);
        messages().defaultAnswer = core::Answer::Cancel;   // never store here
        child<QPushButton>(w, "ButtonZapisatBezopasnost")->click();
        if (lines.isEmpty()) {
            QCOMPARE(messages().texts(), QStringList({"Сохранить настройки?"}));
        } else {
            QCOMPARE(messages().texts(), QStringList({lines.join("\r\n") + "\r\n"}));
            QCOMPARE(m_services->sound().beeps, QList<core::Beep>({core::Beep::Default}));
        }
        QCOMPARE(core::pv().Bezopasnost.Parol, QString());   // nothing stored
    }

    void settingsStoredOnConfirmation()
    {
        protect(QString(), false, false, false);
        core::pv().Bezopasnost.ZashchitaParolem = false;
        TBezopasnostForm w;
        child<QLineEdit>(w, "EditPassword_NB")->setText("новый");
        child<QLineEdit>(w, "EditPasswordPodtverzhdenie_NB")->setText("новый");
        child<QCheckBox>(w, "CheckBoxIspolzovatTrebovatParol")->setChecked(true);
        child<QCheckBox>(w, "CheckBoxPassUdalenie")->setChecked(true);
        messages().script = {core::Answer::Cancel};
        child<QPushButton>(w, "ButtonZapisatBezopasnost")->click();
        QVERIFY(!core::pv().Bezopasnost.ZashchitaParolem);
        QCOMPARE(rows().value("psi"), "nnn");

        child<QPushButton>(w, "ButtonZapisatBezopasnost")->click();   // OK this time
        const auto &b = core::pv().Bezopasnost;
        QVERIFY(b.ZashchitaParolem && b.ZashchitaUdaleniya && !b.ZashchitaOtcheta);
        QCOMPARE(b.Parol, KhranimayaForma("новый"));
        QCOMPARE(rows().value("psi"), "ddd");
        QCOMPARE(rows().value("zp_UdalenieGL"), "ddd");
        QCOMPARE(rows().value("SppS"), KhranimayaForma("новый"));

        core::pv().Bezopasnost = {};
        ZapisNastroekBezopasnosti();
    }

    void openingTheSettingsAsksFirst()
    {
        protect("secret", false, false, false);
        int windows = 0;
        m_services->onModal = [&](QDialog &d) {
            if (d.objectName() == QLatin1String("BezopasnostForm")) {
                ++windows;
                return int(QDialog::Rejected);
            }
            return playPrompt(d);
        };
        m_popytki = {{"bad"}, {QString(), false, true}};
        OtkritNastroykiBezopasnosti();
        QCOMPARE(windows, 0);
        m_popytki = {{"secret"}};
        OtkritNastroykiBezopasnosti();
        QCOMPARE(windows, 1);
        core::pv().Bezopasnost.ZashchitaParolem = false;
        OtkritNastroykiBezopasnosti();
        QCOMPARE(windows, 2);
        QCOMPARE(m_prompts, 2);
    }
};

QTEST_MAIN(TestBezopasnost)
#include "test_bezopasnost.moc"
