#pragma once
// A database file with the employee and directory tables, for the tests of
// this folder; the in-memory settings point at it while the fixture lives.
#include "core/ProcessValues.h"
#include "db/Connection.h"

#include <QFile>
#include <QPushButton>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>
#include <QtTest>

namespace stafftest {

inline const QStringList kUsersColumns = {"TechInfStlb", "NM",        "NMOrg",  "NMPodr", "NMDolj",
                                          "NMTabNum",    "NMCardNum", "NMITR",  "RecID",  "ShtrKod"};

// A control of a window by its object name; a missing one ends the test.
template <typename T> T *child(QWidget &w, const char *name)
{
    T *c = w.findChild<T *>(QLatin1String(name));
    if (!c)
        qFatal("no control %s", name);
    return c;
}

inline void click(QWidget &w, const char *name) { child<QPushButton>(w, name)->click(); }

class TestDb
{
public:
    TestDb()
    {
        m_path = m_dir.filePath(QStringLiteral("CRDB.mdb"));
        QFile f(m_path);
        f.open(QIODevice::WriteOnly);
        f.close();
        db::Connection c;
        c.open(m_path);
        QStringList cols;
        for (const auto &name : kUsersColumns)
            cols << QStringLiteral("[%1] NVARCHAR(255) NULL").arg(name);
        c.exec(QStringLiteral("CREATE TABLE Users(") + cols.join(',') + ')');
        for (const char *t : {"Org", "Podr", "Dolj"})
            c.exec(QStringLiteral("CREATE TABLE %1([TechInfStlb] NVARCHAR(255) NULL, "
                                  "[RecID] NVARCHAR(255) NULL, [NM] NVARCHAR(255) NULL)")
                       .arg(QLatin1String(t)));
        core::pv().Nastroyki.PutKFayluBD = m_path;
    }

    QString path() const { return m_path; }

    void insert(const QString &table, const QVariantMap &values)
    {
        db::Connection c;
        c.open(m_path);
        QStringList names, marks;
        for (auto it = values.begin(); it != values.end(); ++it) {
            names << it.key();
            marks << QStringLiteral("?");
        }
        QSqlQuery q = c.prepare(QStringLiteral("INSERT INTO %1(%2) VALUES(%3)")
                                    .arg(table, names.join(','), marks.join(',')));
        for (const auto &v : values)
            q.addBindValue(v);
        db::Connection::execPrepared(q);
    }

    void addUser(const QString &name, const QString &shtrKod, const QString &card = QString(),
                 const QString &tabNum = QString(), const QString &recId = QString())
    {
        insert(QStringLiteral("Users"), {{"NM", name},
                                         {"ShtrKod", shtrKod},
                                         {"NMCardNum", card},
                                         {"NMTabNum", tabNum},
                                         {"RecID", recId}});
    }

    // One column of a table, in rowid order.
    QStringList column(const QString &table, const QString &field)
    {
        db::Connection c;
        c.open(m_path);
        QSqlQuery q = c.exec(QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid").arg(field, table));
        QStringList out;
        while (q.next())
            out << q.value(0).toString();
        return out;
    }

private:
    QTemporaryDir m_dir;
    QString m_path;
};

} // namespace stafftest
