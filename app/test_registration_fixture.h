#pragma once
// A real journal file with the main window's two record sets, the journal
// view and the registration on them, and scripted messages and sounds.
#include "JournalView.h"
#include "MealRegistration.h"
#include "TestSupport.h"
#include "core/ProcessValues.h"
#include "core/TextUtil.h"
#include "db/Connection.h"
#include "db/RecordSet.h"

#include <QFile>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>
#include <memory>

namespace regtest {

inline const QString kIvanov = QStringLiteral("Иванов Иван");
inline const QString kIvanovCard = QStringLiteral("00AB12CD");
inline const QString kIvanovCode = QStringLiteral("2000000000015");
inline const QString kIvanovId = QStringLiteral("AAAA0000000000000000000000000001");

inline void createTables(db::Connection &c)
{
    c.exec(QStringLiteral(
        "CREATE TABLE Users (TechInfStlb TEXT, NM TEXT, NMOrg TEXT, NMPodr TEXT, NMDolj TEXT,"
        " NMTabNum TEXT, NMCardNum TEXT, NMITR TEXT, RecID TEXT, ShtrKod TEXT)"));
    c.exec(QStringLiteral(
        "CREATE TABLE SpisokDoc (TechInfStlb TEXT, NMZapisID TEXT, NMDateVid TEXT, NMTimeVid TEXT,"
        " NMDateTimeTeh TEXT, NMAllTeh TEXT, NMFIO TEXT, NMTabNum TEXT, NMCardNum TEXT,"
        " NMDolj TEXT, NMPodr TEXT, NMOrg TEXT, NMITR TEXT, NMVid TEXT, NMUserGUID TEXT,"
        " NMStoimost MONEY, ShtrKod TEXT, NMDateTimeTeh_Obrat TEXT)"));
    c.exec(QStringLiteral("CREATE INDEX SpisokDocObrat ON SpisokDoc (NMDateTimeTeh_Obrat)"));
}

inline void addEmployee(db::Connection &c, const QString &name, const QString &card,
                        const QString &code, const QString &recId)
{
    QSqlQuery q = c.prepare(QStringLiteral(
        "INSERT INTO Users (NM, NMOrg, NMPodr, NMDolj, NMTabNum, NMCardNum, NMITR, RecID, ShtrKod)"
        " VALUES (?, 'ООО Ромашка', 'Цех 1', 'Слесарь', ?, ?, 'Да', ?, ?)"));
    q.addBindValue(name);
    q.addBindValue(QStringLiteral("T") + recId.right(4));
    q.addBindValue(card);
    q.addBindValue(recId);
    q.addBindValue(code);
    db::Connection::execPrepared(q);
}

// A journal row as registration writes it, for a given day and time.
inline void addMeal(db::Connection &c, const QString &date, const QString &time,
                    const QString &vid, const QString &fio, const QString &guid)
{
    const QString teh = QString(date).remove('.') + QString(time).remove(':');
    const QString obrat = teh.mid(4, 4) + teh.mid(2, 2) + teh.mid(0, 2) + teh.mid(8, 6);
    QSqlQuery q = c.prepare(QStringLiteral(
        "INSERT INTO SpisokDoc (NMZapisID, NMDateVid, NMTimeVid, NMDateTimeTeh, NMAllTeh, NMFIO,"
        " NMVid, NMUserGUID, NMStoimost, NMDateTimeTeh_Obrat) VALUES (?, ?, ?, ?, ?, ?, ?, ?, 0, ?)"));
    q.addBindValue(core::newRecId());
    q.addBindValue(date);
    q.addBindValue(time);
    q.addBindValue(teh);
    q.addBindValue(date + '_' + vid + '_' + fio);
    q.addBindValue(fio);
    q.addBindValue(vid);
    q.addBindValue(guid);
    q.addBindValue(obrat);
    db::Connection::execPrepared(q);
}

// Build the file with setup(), then start() opens it as the main window does.
class Fixture
{
public:
    explicit Fixture(int refreshMode = 0)
    {
        core::resetProcessValues();
        core::pv().Nastroyki.NastroykiOtboraVBD = refreshMode;
        path = dir.filePath(QStringLiteral("CRDB.mdb"));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.close();
        setupConn.open(path);
        createTables(setupConn);
        addEmployee(setupConn, kIvanov, kIvanovCard, kIvanovCode, kIvanovId);
        addEmployee(setupConn, QStringLiteral("Петров Пётр"), QStringLiteral("00AB12CE"),
                    QStringLiteral("2000000000022"), QStringLiteral("AAAA0000000000000000000000000002"));
        now = QDateTime(QDate(2020, 2, 5), QTime(12, 30, 0));
        registration.setClock([this] { return now; });
        QObject::connect(&registration, &app::MealRegistration::statusText,
                         [this](const QString &t) { status << t; });
        QObject::connect(&view, &app::JournalView::kolVoChanged,
                         [this](const QString &t) { counter = t; });
    }

    void start(int vid = 2)
    {
        journalConn.open(path);
        usersConn.open(path);
        users.setConnection(&usersConn);
        users.setTable(QStringLiteral("Users"));
        users.setSql(QStringLiteral("SELECT * from Users"));
        users.open();
        journal.setConnection(&journalConn);
        view.setRecordSet(&journal);
        view.setDate(now.date());
        view.openAtConnection();
        registration.setEmployees(&users);
        view.ObrabotkaIzmeneniyaVidaPitaniya(vid);
    }

    int dbCount(const QString &where = QStringLiteral("1=1"))
    {
        QSqlQuery q = setupConn.exec(QStringLiteral("SELECT COUNT(*) FROM SpisokDoc WHERE ") + where);
        q.next();
        return q.value(0).toInt();
    }

    QString lastStatus() const { return status.isEmpty() ? QString() : status.last(); }
    QStringList messages() { return services.messages().texts(); }
    QList<core::Beep> beeps() { return services.sound().beeps; }

    testsupport::ServicesFixture services;
    QTemporaryDir dir;
    QString path;
    db::Connection setupConn;
    db::Connection journalConn;
    db::Connection usersConn;
    db::RecordSet users;
    db::RecordSet journal;
    app::JournalView view;
    app::MealRegistration registration{view};
    QDateTime now;
    QStringList status;
    QString counter;
};

} // namespace regtest
