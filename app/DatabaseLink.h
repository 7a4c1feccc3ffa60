#pragma once
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QTcpSocket;
class QTimer;

namespace db {
class Connection;
class RecordSet;
} // namespace db

namespace app {

// The main window's hold on its database server. When a statement finds a
// server connection dropped (the server restarted, the network cut), the
// link is lost: it says so in the status line and reconnects the window's
// connections by itself once the server answers again, then re-reads the
// record sets on them, so that what points registered meanwhile is shown.
//
// Nothing here waits for the server on the interface thread: the server is
// looked for with a socket that connects in the background, every few
// seconds, and only a server that has taken that socket is logged into
// (a log-in gives up after the connection's own few seconds). A SQLite file
// is never lost: its failures are its own messages.
class DatabaseLink : public QObject
{
    Q_OBJECT
public:
    // Between two looks for the server while the link is lost.
    static constexpr int kRetryMs = 2000;

    explicit DatabaseLink(QObject *parent = nullptr);
    ~DatabaseLink() override;

    // The database (a server URL, as for Connection::open) and the login to
    // reconnect with.
    void setDatabase(const QString &url, const QString &user, const QString &password);
    // Connections reopened together, and record sets re-read after them;
    // they stay the caller's and must outlive the link.
    void addConnection(db::Connection *connection);
    void addRecordSet(db::RecordSet *recordSet);

    // A connection dropped and not yet reopened.
    bool lost() const { return m_lost; }
    // After a failed statement on `connection`: whether it failed because
    // the server connection dropped. Then the link is lost and starts
    // looking for the server.
    bool proverit(db::Connection &connection);
    // Looks for the server now rather than at the next round (a registration
    // refused while the link is lost).
    void poiskatSeichas();

    // "server:port/база" of the database, for messages.
    QString where() const;

signals:
    void statusText(const QString &text);   // the status line
    void restored();                        // reconnected and re-read

private:
    void setLost();
    void lookForServer();
    void reconnect();

    QString m_url, m_user, m_password;
    QString m_host;
    QString m_where;   // "host:port/dbname", for messages
    quint16 m_port = 5432;
    QList<db::Connection *> m_connections;
    QList<db::RecordSet *> m_recordSets;
    bool m_lost = false;
    QTimer *m_retry = nullptr;
    QPointer<QTcpSocket> m_probe;
};

} // namespace app
