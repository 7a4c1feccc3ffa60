#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUuid>
#include <memory>
#include <unistd.h>

namespace testsupport {

core::Answer ScriptedMessages::ask(const QString &text, core::Buttons buttons, core::Icon,
                                   const QString &)
{
    if (onMessage)
        onMessage(text);
    core::Answer answer;
    if (!script.empty()) {
        answer = script.front();
        script.pop_front();
    } else if (buttons == core::Buttons::YesNo || buttons == core::Buttons::YesNoCancel) {
        answer = defaultAnswer == core::Answer::Ok ? core::Answer::Yes : defaultAnswer;
    } else if (buttons == core::Buttons::Ok) {
        answer = core::Answer::Ok;
    } else {
        answer = defaultAnswer == core::Answer::Yes ? core::Answer::Ok : defaultAnswer;
    }
    messages.append({text, buttons, answer});
    return answer;
}

QStringList ScriptedMessages::texts() const
{
    QStringList out;
    for (const auto &m : messages)
        out << m.text;
    return out;
}

ServicesFixture::ServicesFixture()
{
    auto messages = std::make_unique<ScriptedMessages>();
    auto sound = std::make_unique<RecordingSound>();
    m_messages = messages.get();
    m_sound = sound.get();
    core::MessageService::install(std::move(messages));
    core::SoundService::install(std::move(sound));
    core::setModalHook([this](QDialog &d) {
        if (onModal)
            return onModal(d);
        d.reject();
        return int(QDialog::Rejected);
    });
}

ServicesFixture::~ServicesFixture()
{
    core::setModalHook({});
    core::MessageService::install(nullptr);
    core::SoundService::install(nullptr);
}

SimulatorProcess::SimulatorProcess(const QString &program, const QStringList &args)
{
    m_process.start(program, args);
    m_process.waitForStarted();
}

SimulatorProcess::~SimulatorProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.write("quit\n");
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(1000);
    }
}

QString SimulatorProcess::value(const QString &key)
{
    QElapsedTimer t;
    t.start();
    const QString prefix = key + QLatin1Char(' ');
    for (;;) {
        while (m_process.canReadLine())
            m_lines << QString::fromUtf8(m_process.readLine()).trimmed();
        for (const QString &l : m_lines)
            if (l.startsWith(prefix))
                return l.mid(prefix.size());
        if (t.elapsed() > 5000 || m_process.state() == QProcess::NotRunning)
            return QString();
        m_process.waitForReadyRead(100);
    }
}

void SimulatorProcess::command(const QByteArray &line)
{
    m_process.write(line + '\n');
    m_process.waitForBytesWritten(1000);
}

QByteArray contentOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeContent(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

void startHeldToPermissions(QProcess &p, const QString &program, const QStringList &args)
{
    if (::geteuid() == 0)
        p.start(QStringLiteral("setpriv"),
                QStringList{QStringLiteral("--bounding-set=-dac_override,-dac_read_search"), program}
                    + args);
    else
        p.start(program, args);
}

bool OutsideLock::take(const QString &path, const QByteArray &begin)
{
    m_p.start(QStringLiteral("sqlite3"), {path});
    if (!m_p.waitForStarted())
        return false;
    m_p.write(begin + ";\nSELECT 'held';\n");
    QByteArray out;
    QElapsedTimer t;
    t.start();
    while (!out.contains("held") && m_p.state() == QProcess::Running && t.elapsed() < 10000) {
        m_p.waitForReadyRead(100);
        out += m_p.readAllStandardOutput();
    }
    return out.contains("held");
}

void OutsideLock::release()
{
    if (m_p.state() != QProcess::Running)
        return;
    m_p.write("ROLLBACK;\n.quit\n");
    m_p.closeWriteChannel();
    m_p.waitForFinished();
}

namespace {

// Runs one statement on the server's maintenance database; the error text
// when it fails.
QString onServer(const QString &host, int port, const QString &user, const QString &password,
                 const QString &statement)
{
    const QString name = QStringLiteral("testsupport-server-") + QUuid::createUuid().toString();
    QString problem;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(host);
        db.setPort(port);
        db.setUserName(user);
        db.setPassword(password);
        db.setDatabaseName(QStringLiteral("postgres"));
        if (!db.open()) {
            problem = db.lastError().text();
        } else {
            QSqlQuery q(db);
            if (!q.exec(statement))
                problem = q.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return problem;
}

} // namespace

ServerDatabase::ServerDatabase()
{
    const QUrl server(qEnvironmentVariable("TRAPEZON_TEST_PG"));
    if (!server.isValid() || server.scheme() != QLatin1String("postgresql")) {
        m_problem = QStringLiteral("no PostgreSQL server for the tests (TRAPEZON_TEST_PG)");
        return;
    }
    m_host = server.host();
    m_port = server.port(5432);
    m_user = server.userName();
    m_password = qEnvironmentVariable("TRAPEZON_TEST_PG_PASSWORD");
    m_name = QStringLiteral("t_%1_%2").arg(::getpid()).arg(
        QUuid::createUuid().toString(QUuid::Id128).left(12));
    const QString problem = onServer(m_host, m_port, m_user, m_password,
                                     QStringLiteral("CREATE DATABASE ") + m_name
                                         + QStringLiteral(" ENCODING 'UTF8' TEMPLATE template0"));
    if (!problem.isEmpty()) {
        m_problem = QStringLiteral("the tests' PostgreSQL server refused a database: ") + problem;
        return;
    }
    QUrl url = server;
    url.setPath(QLatin1Char('/') + m_name);
    m_url = url.toString();
}

ServerDatabase::~ServerDatabase()
{
    if (m_url.isEmpty())
        return;
    // WITH (FORCE): a connection a failed test left open does not keep the
    // database on the server.
    onServer(m_host, m_port, m_user, m_password,
             QStringLiteral("DROP DATABASE IF EXISTS ") + m_name + QStringLiteral(" WITH (FORCE)"));
}

bool ServerDatabase::required() { return !qEnvironmentVariableIsEmpty("TRAPEZON_REQUIRE_PG"); }

PrivateServer::PrivateServer()
{
    // Straight under the temporary folder: the script hands the folder to
    // the server's own user, who must reach it.
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/trapezon-pg-XXXXXX"));
    if (!dir.isValid()) {
        m_problem = QStringLiteral("no temporary folder for a private PostgreSQL server");
        return;
    }
    dir.setAutoRemove(false);
    m_dir = dir.path();
    {
        QTcpServer probe;
        if (probe.listen(QHostAddress::LocalHost, 0))
            m_port = probe.serverPort();
    }
    QString out;
    if (m_port == 0 || !run(QStringLiteral("start"), &out)) {
        m_problem = QStringLiteral("a private PostgreSQL server did not start: ") + out;
        return;
    }
    m_password = QString::fromUtf8(contentOf(m_dir + QStringLiteral("/password"))).trimmed();
    // A database of the test's login: the public schema of "postgres" is
    // not the login's to create tables in.
    QUrl url(out.trimmed().section(QLatin1Char('\n'), -1));
    const QString problem = onServer(url.host(), url.port(), url.userName(), m_password,
                                     QStringLiteral("CREATE DATABASE trapezon ENCODING 'UTF8' "
                                                    "TEMPLATE template0"));
    if (!problem.isEmpty()) {
        m_problem = QStringLiteral("the private PostgreSQL server refused a database: ") + problem;
        return;
    }
    url.setPath(QStringLiteral("/trapezon"));
    m_url = url.toString();
}

PrivateServer::~PrivateServer()
{
    if (!m_dir.isEmpty())
        run(QStringLiteral("stop"));
}

bool PrivateServer::halt() { return run(QStringLiteral("halt")); }
bool PrivateServer::start() { return run(QStringLiteral("start")); }

bool PrivateServer::run(const QString &command, QString *out)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("sh"), {QStringLiteral(TRAPEZON_PG_SERVER_SCRIPT), command, m_dir,
                                   QString::number(m_port)});
    const bool ok = p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit
                    && p.exitCode() == 0;
    if (out)
        *out = QString::fromLocal8Bit(p.readAll());
    return ok;
}

} // namespace testsupport
