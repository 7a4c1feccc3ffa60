#pragma once
// A database with the program's structure and a way to put journal rows in
// it, for the tests of this folder; the in-memory settings point at it.
#include "core/ProcessValues.h"
#include "core/TextUtil.h"
#include "db/Connection.h"
#include "db/StructureCheck.h"

#include <QFile>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QVariant>

namespace reporttest {

// The rows of a totals table, its two columns joined by '|'.
inline QStringList cells(QTableWidget *t)
{
    QStringList out;
    for (int r = 0; r < t->rowCount(); ++r)
        out << (t->item(r, 0) ? t->item(r, 0)->text() : QString()) + "|"
                   + (t->item(r, 1) ? t->item(r, 1)->text() : QString());
    return out;
}


struct Meal
{
    QString date;          // dd.MM.yyyy
    QString time;          // HH:mm:ss
    QString vid = QStringLiteral("Обед");
    QString fio = QStringLiteral("Иванов Иван");
    QString org = QStringLiteral("ООО Ромашка");
    QVariant stoimost = 0; // as the MONEY column holds it; a null QVariant for no price
};

class TestDb
{
public:
    TestDb()
    {
        m_path = m_dir.filePath(QStringLiteral("CRDB.mdb"));
        QFile f(m_path);
        f.open(QIODevice::WriteOnly);
        f.close();
        db::ProverkaStrukturiBD(m_path, QString(), QString());
        core::pv().Nastroyki.PutKFayluBD = m_path;
    }

    // The same on a server's database (a postgresql:// URL), logged in to
    // with `password` as the program logs in.
    TestDb(const QString &url, const QString &password) : m_path(url), m_password(password)
    {
        db::ProverkaStrukturiBD(m_path, QString(), m_password);
        core::pv().Nastroyki.PutKFayluBD = m_path;
        core::pv().Nastroyki.BDPass = m_password;
    }

    QString path() const { return m_path; }
    QString dir() const { return m_dir.path(); }

    void add(const QList<Meal> &meals)
    {
        db::Connection c;
        c.open(m_path, QString(), m_password);
        db::Transaction t(c);
        for (const Meal &m : meals) {
            const QString teh = QString(m.date).remove('.') + QString(m.time).remove(':');
            const QString obrat = teh.mid(4, 4) + teh.mid(2, 2) + teh.mid(0, 2) + teh.mid(8, 6);
            QSqlQuery q = c.prepare(QStringLiteral(
                "INSERT INTO SpisokDoc (NMZapisID, NMDateVid, NMTimeVid, NMDateTimeTeh, NMAllTeh,"
                " NMFIO, NMOrg, NMVid, NMStoimost, NMDateTimeTeh_Obrat)"
                " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
            q.addBindValue(core::newRecId());
            q.addBindValue(m.date);
            q.addBindValue(m.time);
            q.addBindValue(teh);
            q.addBindValue(m.date + '_' + m.vid + '_' + m.fio);
            q.addBindValue(m.fio);
            q.addBindValue(m.org);
            q.addBindValue(m.vid);
            q.addBindValue(m.stoimost);
            q.addBindValue(obrat);
            db::Connection::execPrepared(q);
        }
        t.commit();
    }

    void clear()
    {
        db::Connection c;
        c.open(m_path, QString(), m_password);
        c.exec(QStringLiteral("DELETE FROM SpisokDoc"));
    }

    int rows()
    {
        db::Connection c;
        c.open(m_path, QString(), m_password);
        QSqlQuery q = c.exec(QStringLiteral("SELECT COUNT(*) FROM SpisokDoc"));
        q.next();
        return q.value(0).toInt();
    }

private:
    QTemporaryDir m_dir;
    QString m_path;
    QString m_password;
};

} // namespace reporttest
