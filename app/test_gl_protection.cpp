// The access protection as the main window uses it: the settings loaded at
// start-up and saved at the end, the guarded deletion, "Pass Free", and the
// menu items "Основной отчёт" and "Безопасность".
#include "core/RadioGroup.h"
#include "test_gl_fixture.h"
#include "test_registration_fixture.h"

#include "admin/Bezopasnost.h"
#include "core/AppPaths.h"
#include "core/ProcessValues.h"
#include "db/StructureCheck.h"
#include "reports/Otchet.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>
#include <memory>

using gltest::child;

class TestGLProtection : public QObject
{
    Q_OBJECT

    std::unique_ptr<testsupport::ServicesFixture> m_services;
    QStringList m_modals;        // class names of the modal windows, in order
    QStringList m_passwords;     // typed at the next prompts; none left: "Отмена"

    static QString path() { return core::defaultDbPath(); }

    static void setRow(db::Connection &c, const QString &name, const QString &value)
    {
        QSqlQuery q = c.prepare("UPDATE BPTools SET NMVal = ? WHERE NMNam = ?");
        q.addBindValue(value);
        q.addBindValue(name);
        db::Connection::execPrepared(q);
    }

    static QString row(const QString &name)
    {
        db::Connection c;
        c.open(path());
        QSqlQuery q = c.prepare("SELECT NMVal FROM BPTools WHERE NMNam = ?");
        q.addBindValue(name);
        db::Connection::execPrepared(q);
        return q.next() ? q.value(0).toString() : QString();
    }

    static int journalRows()
    {
        db::Connection c;
        c.open(path());
        QSqlQuery q = c.exec("SELECT COUNT(*) FROM SpisokDoc");
        q.next();
        return q.value(0).toInt();
    }

    int playModal(QDialog &d)
    {
        m_modals << d.metaObject()->className();
        if (d.objectName() != QLatin1String("PassEnterForm"))
            return int(QDialog::Rejected);
        if (m_passwords.isEmpty()) {
            testsupport::child<QPushButton>(d, "ButtonEnterPassword_Otmena")->click();
            return d.result();
        }
        testsupport::child<QLineEdit>(d, "EditEnterPassword")->setText(m_passwords.takeFirst());
        testsupport::child<QCheckBox>(d, "CheckBoxNeZaprashivatVTekSessii")->setChecked(true);
        testsupport::child<QPushButton>(d, "ButtonEnterPassword_OK")->click();
        return d.result();
    }

    void deleteFirstLunch(TGLForm &w)
    {
        auto *grid = child<QTableView>(w, "DBGrid1");
        grid->setCurrentIndex(grid->model()->index(0, 0));
        grid->selectRow(0);
        child<QPushButton>(w, "Udalenie")->click();
    }

private slots:
    void init()
    {
        core::resetProcessValues();
        QFile::remove(core::iniPath());
        for (const char *suffix : {"", "-wal", "-shm"})
            QFile::remove(path() + QLatin1String(suffix));
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        db::ProverkaStrukturiBD(path(), QString(), QString());
        db::Connection c;
        c.open(path());
        for (const char *name : {"Иванов Иван", "Петров Пётр"})
            regtest::addMeal(c, core::ruDate(QDate::currentDate()), "08:00:00", "Обед", name,
                             core::newRecId());
        // The administrator's settings from an earlier run: deletion and
        // reports guarded.
        ZnacheniyeParametraAll(c);
        m_services = std::make_unique<testsupport::ServicesFixture>();
        m_services->onModal = [this](QDialog &d) { return playModal(d); };
        m_modals.clear();
        m_passwords.clear();
    }

    void cleanup() { m_services.reset(); }

    void guardedDeletionAndPassFree()
    {
        auto w = gltest::start();
        QVERIFY(core::pv().Bezopasnost.ZashchitaParolem);
        child<TRadioGroup>(*w, "VidPitaniya")->button(2)->click();

        m_passwords = {"wrong"};   // then "Отмена"
        deleteFirstLunch(*w);
        QCOMPARE(m_services->messages().texts(),
                 (QStringList{"Подтвердить удаление?", "Пароль не подходит!"}));
        QCOMPARE(journalRows(), 2);

        m_passwords = {"Тайна"};   // remembered for the session
        deleteFirstLunch(*w);
        QCOMPARE(journalRows(), 1);
        deleteFirstLunch(*w);      // no prompt while remembered
        QCOMPARE(journalRows(), 0);
        QCOMPARE(m_modals, (QStringList{"TPassEnterForm", "TPassEnterForm"}));

        child<QPushButton>(*w, "ButtonOtmenitNeZaprParolVTekSess")->click();
        QVERIFY(!core::pv().Bezopasnost.ZapomnitVSessii);
    }

    void reportAndSecurityMenuAskFirst()
    {
        TOtchetForm report;
        auto w = std::make_unique<TGLForm>();
        w->setReportWindow(&report);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        auto *n12 = child<QAction>(*w, "N12");
        auto *n9 = child<QAction>(*w, "N9");
        QVERIFY(n12->isEnabled() && n9->isEnabled());

        n12->trigger();              // "Отмена": no report
        n9->trigger();               // "Настройки" always asks while protection is on
        QCOMPARE(m_modals, (QStringList{"TPassEnterForm", "TPassEnterForm"}));
        m_passwords = {"Тайна"};
        n12->trigger();
        n9->trigger();               // remembered: straight in
        QCOMPARE(m_modals.mid(2), (QStringList{"TPassEnterForm", "TOtchetForm", "TBezopasnostForm"}));
    }

    void shutdownSavesTheSettings()
    {
        auto w = gltest::start();
        core::pv().Bezopasnost.ZashchitaOtcheta = false;
        w->close();
        QCOMPARE(row("zp_Otch"), "nnn");
        QCOMPARE(row("zp_UdalenieGL"), "ddd");
        QCOMPARE(row("SppS"), admin::KhranimayaForma("Тайна"));
    }

private:
    static void ZnacheniyeParametraAll(db::Connection &c)
    {
        for (const auto &[name, value] :
             QList<QPair<QString, QString>>{{"psi", "ddd"}, {"zp_Otch", "ddd"}, {"zp_UdalenieGL", "ddd"},
                                            {"zp_OchistT", "nnn"}}) {
            QSqlQuery q = c.prepare("INSERT INTO BPTools (NMNam, NMVal, RecID) VALUES (?, ?, ?)");
            q.addBindValue(name);
            q.addBindValue(value);
            q.addBindValue(core::newRecId());
            db::Connection::execPrepared(q);
        }
        setRow(c, "SppS", admin::KhranimayaForma("Тайна"));
    }
};

QTEST_MAIN(TestGLProtection)
#include "test_gl_protection.moc"
