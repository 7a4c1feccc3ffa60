#include "DatabaseLink.h"

#include "core/Error.h"
#include "core/TextUtil.h"
#include "db/Connection.h"
#include "db/RecordSet.h"

#include <QDateTime>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

namespace app {

namespace {

QString stamped(const QString &message)
{
    return core::stampedLine(QDateTime::currentDateTime(), message);
}

} // namespace

DatabaseLink::DatabaseLink(QObject *parent) : QObject(parent), m_retry(new QTimer(this))
{
    m_retry->setInterval(kRetryMs);
    connect(m_retry, &QTimer::timeout, this, &DatabaseLink::lookForServer);
}

DatabaseLink::~DatabaseLink() = default;

void DatabaseLink::setDatabase(const QString &url, const QString &user, const QString &password)
{
    m_url = url;
    m_user = user;
    m_password = password;
    const QUrl u(url);
    m_host = u.host();
    m_port = quint16(u.port(5432));
    m_where = m_host + QLatin1Char(':') + QString::number(m_port) + u.path();
}

void DatabaseLink::addConnection(db::Connection *connection) { m_connections << connection; }
void DatabaseLink::addRecordSet(db::RecordSet *recordSet) { m_recordSets << recordSet; }

QString DatabaseLink::where() const { return m_where; }

bool DatabaseLink::proverit(db::Connection &connection)
{
    if (m_lost)
        return connection.isServer();
    if (!connection.isServer() || !connection.connectionLost())
        return false;
    setLost();
    return true;
}

void DatabaseLink::setLost()
{
    m_lost = true;
    emit statusText(stamped(QStringLiteral("Нет связи с сервером баз данных ") + where()
                            + QStringLiteral(". Программа подключится снова сама, когда сервер "
                                             "станет доступен.")));
    m_retry->start();
    lookForServer();
}

void DatabaseLink::poiskatSeichas()
{
    if (m_lost && !m_probe)
        lookForServer();
}

void DatabaseLink::lookForServer()
{
    // A look still unanswered after a whole round: the network swallows it.
    if (m_probe) {
        m_probe->abort();
        m_probe->deleteLater();
    }
    if (m_host.isEmpty())
        return;
    auto *probe = new QTcpSocket(this);
    m_probe = probe;
    connect(probe, &QTcpSocket::connected, this, [this, probe] {
        probe->abort();
        probe->deleteLater();
        reconnect();
    });
    connect(probe, &QTcpSocket::errorOccurred, probe, &QObject::deleteLater);
    probe->connectToHost(m_host, m_port);
}

void DatabaseLink::reconnect()
{
    if (!m_lost)
        return;
    try {
        for (db::Connection *c : std::as_const(m_connections))
            c->open(m_url, m_user, m_password);
        for (db::RecordSet *rs : std::as_const(m_recordSets))
            if (rs->isOpen())
                rs->refresh();
    } catch (const std::exception &) {
        // The server takes connections but not yet ours (still starting, or
        // gone again): the next round tries again.
        return;
    }
    m_lost = false;
    m_retry->stop();
    emit statusText(stamped(QStringLiteral("Связь с сервером баз данных ") + where()
                            + QStringLiteral(" восстановлена.")));
    emit restored();
}

} // namespace app
