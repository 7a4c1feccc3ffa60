#pragma once
#include <QByteArray>
#include <QString>

namespace scanner {

// The far end of a serial line without hardware: a pseudo-terminal whose
// slave device the program opens as its scanner port while bytes are written
// to the master, as a scanner would send them (the simulator, the tests).
class PseudoTerminal
{
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool ok() const { return m_master >= 0; }
    QString errorText() const { return m_error; }
    // The device path to give the program, e.g. /dev/pts/3.
    const QString &slavePath() const { return m_slave; }

    // Everything in one write, so a reader gets it in one notification.
    bool send(const QByteArray &bytes) const;
    // What the program wrote to the device so far, without waiting; and the
    // descriptor to watch for it (a device answering requests).
    QByteArray receive() const;
    int masterFd() const { return m_master; }
    // Closes the master: the slave hangs up, as an unplugged device.
    void hangUp();

private:
    int m_master = -1;
    QString m_slave;
    QString m_error;
};

} // namespace scanner
