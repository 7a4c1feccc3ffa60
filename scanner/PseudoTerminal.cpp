#include "scanner/PseudoTerminal.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace scanner {

PseudoTerminal::PseudoTerminal()
{
    const int fd = ::posix_openpt(O_RDWR | O_NOCTTY);
    const char *slave = fd >= 0 && ::grantpt(fd) == 0 && ::unlockpt(fd) == 0 ? ::ptsname(fd)
                                                                             : nullptr;
    if (!slave) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return;
    }
    m_master = fd;
    m_slave = QString::fromLocal8Bit(slave);
    // Raw from the start: bytes sent before the program opens the device
    // must not be echoed back or have their line endings translated.
    if (const int s = ::open(slave, O_RDWR | O_NOCTTY); s >= 0) {
        termios t{};
        if (::tcgetattr(s, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(s, TCSANOW, &t);
        }
        ::close(s);
    }
}

PseudoTerminal::~PseudoTerminal() { hangUp(); }

bool PseudoTerminal::send(const QByteArray &bytes) const
{
    qsizetype done = 0;
    while (m_master >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        done += n;
    }
    return m_master >= 0;
}

QByteArray PseudoTerminal::receive() const
{
    QByteArray out;
    while (m_master >= 0) {
        pollfd p{m_master, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN))
            break;
        char buf[512];
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n <= 0)
            break;
        out.append(buf, n);
    }
    return out;
}

void PseudoTerminal::hangUp()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

} // namespace scanner
