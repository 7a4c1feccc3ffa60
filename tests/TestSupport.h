#pragma once
#include "core/MessageService.h"
#include "core/SoundService.h"

#include <QByteArray>
#include <QDialog>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>

namespace testsupport {

// A control of a window by its object name; a missing one stops the test
// program at once rather than crashing it on a null pointer later.
template <typename T> T *child(QObject &window, const char *name)
{
    T *c = window.findChild<T *>(QLatin1String(name));
    if (!c)
        qFatal("no control %s", name);
    return c;
}

struct RecordedMessage
{
    QString text;
    core::Buttons buttons;
    core::Answer answer;
};

// Installed in place of the real message boxes: records every message and
// answers questions from a script (then from a default answer).
class ScriptedMessages final : public core::MessageService
{
public:
    core::Answer ask(const QString &text, core::Buttons buttons, core::Icon icon,
                     const QString &caption) override;

    std::deque<core::Answer> script;     // answers, first in first out
    core::Answer defaultAnswer = core::Answer::Ok; // Ok or Yes when the script is empty
    QList<RecordedMessage> messages;
    std::function<void(const QString &)> onMessage; // called before answering

    QStringList texts() const;
    void clear() { messages.clear(); script.clear(); }
};

class RecordingSound final : public core::SoundService
{
public:
    void play(core::Beep beep) override { beeps.append(beep); }
    QList<core::Beep> beeps;
};

// Installs a scripted message service and a recording sound service for the
// lifetime of the object, and a modal hook that hands each modal window to
// `onModal` (default: reject it at once) instead of entering its loop.
class ServicesFixture
{
public:
    ServicesFixture();
    ~ServicesFixture();
    ServicesFixture(const ServicesFixture &) = delete;
    ServicesFixture &operator=(const ServicesFixture &) = delete;

    ScriptedMessages &messages() { return *m_messages; }
    RecordingSound &sound() { return *m_sound; }
    std::function<int(QDialog &)> onModal;

private:
    ScriptedMessages *m_messages;
    RecordingSound *m_sound;
};

// A device simulator of tools/ run as a person runs it: what it prints
// ("key value" lines) is read back, commands go to its standard input. It is
// asked to quit, and killed if it does not, when the object goes.
class SimulatorProcess
{
public:
    SimulatorProcess(const QString &program, const QStringList &args);
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess &) = delete;
    SimulatorProcess &operator=(const SimulatorProcess &) = delete;

    // The value of the first printed line starting with key and a blank;
    // empty when none came within five seconds.
    QString value(const QString &key);
    void command(const QByteArray &line);

private:
    QProcess m_process;
    QStringList m_lines;
};

// The whole content of a file; empty when it cannot be read.
QByteArray contentOf(const QString &path);
// Replaces the content of a file; false when it cannot be written.
bool writeContent(const QString &path, const QByteArray &bytes);

// Starts `program` so that file permissions hold for it: as root, without
// root's right to read and write any file (through setpriv); anyone else
// meets the permissions anyway.
void startHeldToPermissions(QProcess &p, const QString &program, const QStringList &args);

// Another program (the sqlite3 tool) holding a database's lock until
// release() or destruction: `begin` is "BEGIN IMMEDIATE" (the write lock)
// or "BEGIN EXCLUSIVE".
class OutsideLock
{
public:
    OutsideLock() = default;
    ~OutsideLock() { release(); }
    OutsideLock(const OutsideLock &) = delete;
    OutsideLock &operator=(const OutsideLock &) = delete;
    // True once the lock is held.
    bool take(const QString &path, const QByteArray &begin = "BEGIN IMMEDIATE");
    void release();

private:
    QProcess m_p;
};

// A database of its own on the tests' PostgreSQL server (the URL in
// TRAPEZON_TEST_PG, the password in TRAPEZON_TEST_PG_PASSWORD), made empty
// at construction and dropped at destruction, so that tests running at once
// never meet. Without a server the test is skipped, unless
// TRAPEZON_REQUIRE_PG is set (the test script sets it): then it fails.
class ServerDatabase
{
public:
    ServerDatabase();
    ~ServerDatabase();
    ServerDatabase(const ServerDatabase &) = delete;
    ServerDatabase &operator=(const ServerDatabase &) = delete;

    bool available() const { return !m_url.isEmpty(); }
    // Why the database is not there; empty when it is.
    QString problem() const { return m_problem; }
    // "postgresql://trapezon@127.0.0.1:PORT/NAME" of this test's database.
    QString url() const { return m_url; }
    QString user() const { return m_user; }
    QString password() const { return m_password; }
    static bool required();

private:
    QString m_url, m_user, m_password, m_name, m_problem;
    QString m_host;
    int m_port = 0;
};

// A PostgreSQL server of the test's own on 127.0.0.1 (scripts/pg-server.sh
// on a free port), for a test that stops and starts its server: the shared
// one is never stopped. Removed with its data at destruction.
class PrivateServer
{
public:
    PrivateServer();
    ~PrivateServer();
    PrivateServer(const PrivateServer &) = delete;
    PrivateServer &operator=(const PrivateServer &) = delete;

    bool available() const { return !m_url.isEmpty(); }
    QString problem() const { return m_problem; }
    // "postgresql://trapezon@127.0.0.1:PORT/postgres"
    QString url() const { return m_url; }
    QString user() const { return QStringLiteral("trapezon"); }
    QString password() const { return m_password; }
    // The folder of its data, socket and log.
    QString folder() const { return m_dir; }

    // Stops the server as a restart or crash meets its clients (their
    // connections end), keeping its data; start() brings it back on the same
    // port. False when the script failed.
    bool halt();
    bool start();

private:
    bool run(const QString &command, QString *out = nullptr);

    QString m_dir, m_url, m_password, m_problem;
    int m_port = 0;
};

} // namespace testsupport

// Skips (or fails, where a server is required) a test without its server
// (a ServerDatabase or a PrivateServer).
#define TRAPEZON_NEED_SERVER(database)                                                   \
    do {                                                                                 \
        if (!(database).available()) {                                                   \
            if (testsupport::ServerDatabase::required())                                 \
                QFAIL(qPrintable((database).problem()));                                 \
            QSKIP(qPrintable((database).problem()));                                     \
        }                                                                                \
    } while (false)
