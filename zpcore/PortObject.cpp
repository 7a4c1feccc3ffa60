#include "Objects.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace zp {

int32_t PortObject::open(const TZP_PORT_OPEN_PARAMS &params)
{
    if (!params.szName)
        return ZP_E_POINTER;
    const std::string name = fromUnits(params.szName, 32).toStdString();
    if (name.empty())
        return ZP_E_INVALIDARG;
    uint32_t connectTimeout;
    {
        std::lock_guard lock(state().mutex);
        connectTimeout = state().settings.rScanWS.nConnectTimeout;
    }
    int32_t rc;
    if (params.nType == ZP_PORT_IP || params.nType == ZP_PORT_IPS || looksLikeNetworkName(name)) {
        rc = Line::openTcp(name, connectTimeout, m_line);
    } else {
        m_path = devicePathForName(name);
        rc = Line::openTty(m_path, params.nBaud, params.nStopBits, m_line);
    }
    if (rc < 0) {
        m_path.clear();
        return rc;
    }
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_line.close();
        m_path.clear();
        return ZP_E_OUTOFMEMORY;
    }
    m_baud = params.nBaud;
    m_stopBits = params.nStopBits;
    m_status = ZP_CS_CONNECTED;
    if (!m_path.empty()) {
        std::lock_guard lock(state().mutex);
        ++state().openPaths[m_path];
    }
    m_thread = std::thread([this] { run(); });
    return 0;
}

void PortObject::close()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_closed)
            return;
        m_closed = true;
        m_window = nullptr;
    }
    if (m_thread.joinable()) {
        const char c = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wake[1], &c, 1);
        m_thread.join();
    }
    for (int &fd : m_wake)
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    {
        std::lock_guard lock(m_mutex);
        m_line.close();
        m_status = ZP_CS_DISCONNECTED;
    }
    if (!m_path.empty()) {
        std::lock_guard lock(state().mutex);
        if (--state().openPaths[m_path] <= 0)
            state().openPaths.erase(m_path);
    }
}

void PortObject::run()
{
    int fd;
    {
        std::lock_guard lock(m_mutex);
        fd = m_line.fd();
    }
    for (;;) {
        pollfd p[2] = {{m_wake[0], POLLIN, 0}, {fd, short(fd >= 0 ? POLLIN : 0), 0}};
        const int rc = ::poll(p, fd >= 0 ? 2 : 1, -1);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc < 0 || (p[0].revents & POLLIN))
            return;
        if (fd < 0)
            continue;
        bool gone = (p[1].revents & (POLLERR | POLLNVAL))
                 || ((p[1].revents & POLLHUP) && !(p[1].revents & POLLIN));
        if (p[1].revents & POLLIN) {
            uint8_t buf[4096];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0) {
                std::lock_guard lock(m_mutex);
                m_rx.insert(m_rx.end(), buf, buf + n);
                raise(ZP_PF_RXCHAR);
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                // EOF of a TCP peer, EIO of an unplugged adapter or a
                // pseudo-terminal whose other end closed.
                gone = true;
            }
        }
        if (gone) {
            std::lock_guard lock(m_mutex);
            m_line.close();
            fd = -1;
            m_status = ZP_CS_DISCONNECTED;
            raise(ZP_PF_STATUS);
        }
    }
}

void PortObject::raise(uint32_t flags)
{
    const uint32_t before = m_pending & m_mask;
    m_pending |= flags;
    // One event until the owner takes the flags: a burst of bytes is one
    // notification, not thousands.
    if (before == 0 && (m_pending & m_mask) && m_window)
        postToWindow(m_window, m_msgId);
}

int32_t PortObject::setNotification(void *window, uint32_t msgId, uint32_t mask)
{
    std::lock_guard lock(m_mutex);
    m_window = window;
    m_msgId = msgId;
    m_mask = window ? mask : 0;
    if ((m_pending & m_mask) && m_window)
        postToWindow(m_window, m_msgId);
    return 0;
}

uint32_t PortObject::takeFlags()
{
    std::lock_guard lock(m_mutex);
    const uint32_t f = m_pending;
    m_pending = 0;
    return f;
}

int32_t PortObject::read(void *buf, int32_t count, int32_t *got)
{
    if (count < 0 || (count > 0 && !buf))
        return ZP_E_INVALIDARG;
    std::lock_guard lock(m_mutex);
    const size_t n = std::min(size_t(count), m_rx.size());
    std::copy_n(m_rx.begin(), n, static_cast<uint8_t *>(buf));
    m_rx.erase(m_rx.begin(), m_rx.begin() + std::ptrdiff_t(n));
    if (got)
        *got = int32_t(n);
    return 0;
}

int32_t PortObject::write(const void *buf, int32_t count)
{
    if (count < 0 || (count > 0 && !buf))
        return ZP_E_INVALIDARG;
    std::lock_guard lock(m_mutex);
    if (!m_line.isOpen())
        return ZP_E_DISCONNECTED;
    return m_line.write(buf, size_t(count), 2000);
}

int32_t PortObject::inCount(int32_t *count)
{
    std::lock_guard lock(m_mutex);
    *count = int32_t(m_rx.size());
    return 0;
}

int32_t PortObject::clear(bool in, bool out)
{
    std::lock_guard lock(m_mutex);
    if (in)
        m_rx.clear();
    if ((in || out) && m_line.isOpen() && m_line.isTty())
        ::tcflush(m_line.fd(), in && out ? TCIOFLUSH : in ? TCIFLUSH : TCOFLUSH);
    return 0;
}

int32_t PortObject::status(TZP_CONNECTION_STATUS *status)
{
    std::lock_guard lock(m_mutex);
    *status = m_status;
    return 0;
}

int32_t PortObject::setModemLine(int bit, bool state)
{
    std::lock_guard lock(m_mutex);
    return m_line.setModemLine(bit, state);
}

int32_t PortObject::setBaudAndEvChar(uint32_t baud, uint8_t)
{
    std::lock_guard lock(m_mutex);
    if (!m_line.isOpen())
        return ZP_E_DISCONNECTED;
    const int32_t rc = m_line.configure(baud, m_stopBits);
    if (rc >= 0)
        m_baud = baud;
    return rc;
}

} // namespace zp
