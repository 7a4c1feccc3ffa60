#include "TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
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

} // namespace testsupport
