#include "Line.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace zp {

namespace {

bool speedFor(uint32_t baud, speed_t &out)
{
    static const struct { uint32_t baud; speed_t code; } table[] = {
        {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
        {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
        {230400, B230400}, {460800, B460800}, {500000, B500000}, {576000, B576000},
        {921600, B921600}, {1000000, B1000000},
    };
    for (const auto &e : table)
        if (e.baud == baud) {
            out = e.code;
            return true;
        }
    return false;
}

int32_t openErrorCode(int err)
{
    switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
        return ZP_E_PORTNOTEXIST;
    case EBUSY:
    case EWOULDBLOCK:
    case EACCES:
    case EPERM:
        return ZP_E_PORTBUSY;
    default:
        return ZP_E_PORTOPEN;
    }
}

} // namespace

int msLeft(Clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

Line::~Line() { close(); }

Line::Line(Line &&other) noexcept : m_fd(other.m_fd), m_tty(other.m_tty) { other.m_fd = -1; }

Line &Line::operator=(Line &&other) noexcept
{
    if (this != &other) {
        close();
        m_fd = other.m_fd;
        m_tty = other.m_tty;
        other.m_fd = -1;
    }
    return *this;
}

void Line::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

int32_t Line::openTty(const std::string &path, uint32_t baud, uint8_t stopBits, Line &out)
{
    out.close();
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return openErrorCode(errno);
    // Two programs talking to one reader would steal each other's bytes: the
    // advisory lock keeps out every cooperating client, TIOCEXCL the rest.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return ZP_E_PORTBUSY;
    }
    out.m_fd = fd;
    out.m_tty = ::isatty(fd) == 1;
    if (!out.m_tty)
        return ZP_E_PORTOPEN;
    ::ioctl(fd, TIOCEXCL);
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        out.close();
        return ZP_E_PORTSETUP;
    }
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        out.close();
        return ZP_E_PORTSETUP;
    }
    const int32_t rc = out.configure(baud, stopBits);
    if (rc < 0)
        out.close();
    return rc;
}

int32_t Line::openTcp(const std::string &hostPort, uint32_t timeoutMs, Line &out)
{
    out.close();
    const auto colon = hostPort.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= hostPort.size())
        return ZP_E_BADADDRESS;
    const std::string host = hostPort.substr(0, colon);
    const std::string port = hostPort.substr(colon + 1);
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    // Numeric only: a name lookup could wait on a resolver far longer than
    // any wait setting allows.
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo *res = nullptr;
    if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &res) != 0 || !res)
        return ZP_E_BADADDRESS;
    const int fd = ::socket(res->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        ::freeaddrinfo(res);
        return ZP_E_NETWORK;
    }
    int rc = ::connect(fd, res->ai_addr, res->ai_addrlen);
    ::freeaddrinfo(res);
    if (rc != 0 && errno != EINPROGRESS) {
        const int err = errno;
        ::close(fd);
        return err == ECONNREFUSED ? ZP_E_CONNECTREFUSED : ZP_E_NETWORK;
    }
    if (rc != 0) {
        pollfd p{fd, POLLOUT, 0};
        rc = ::poll(&p, 1, int(timeoutMs));
        if (rc <= 0) {
            ::close(fd);
            return ZP_E_CONNECTTIMEOUT;
        }
        int err = 0;
        socklen_t len = sizeof err;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
        if (err != 0) {
            ::close(fd);
            return err == ECONNREFUSED ? ZP_E_CONNECTREFUSED : ZP_E_NETWORK;
        }
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    out.m_fd = fd;
    out.m_tty = false;
    return 0;
}

int32_t Line::configure(uint32_t baud, uint8_t stopBits)
{
    if (m_fd < 0)
        return ZP_E_DISCONNECTED;
    if (!m_tty)
        return 0;
    termios t{};
    if (::tcgetattr(m_fd, &t) != 0)
        return ZP_E_PORTSETUP;
    if (baud != 0) {
        speed_t code{};
        if (!speedFor(baud, code))
            return ZP_E_PORTSETUP;
        ::cfsetispeed(&t, code);
        ::cfsetospeed(&t, code);
    }
    if (stopBits >= 2)
        t.c_cflag |= CSTOPB;
    else
        t.c_cflag &= ~tcflag_t(CSTOPB);
    return ::tcsetattr(m_fd, TCSANOW, &t) == 0 ? 0 : ZP_E_PORTSETUP;
}

int32_t Line::write(const void *data, size_t size, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const auto *p = static_cast<const uint8_t *>(data);
    size_t done = 0;
    while (done < size) {
        if (m_fd < 0)
            return ZP_E_DISCONNECTED;
        const ssize_t n = m_tty ? ::write(m_fd, p + done, size - done)
                                : ::send(m_fd, p + done, size - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return errno == EIO || errno == EPIPE || errno == ECONNRESET ? ZP_E_DISCONNECTED
                                                                         : ZP_E_PORTIO;
        pollfd pf{m_fd, POLLOUT, 0};
        const int left = msLeft(deadline);
        if (left == 0 || ::poll(&pf, 1, left) <= 0)
            return ZP_E_WRITETIMEOUT;
        if (pf.revents & (POLLHUP | POLLERR))
            return ZP_E_DISCONNECTED;
    }
    return 0;
}

int Line::readSome(std::vector<uint8_t> &to, int timeoutMs)
{
    if (m_fd < 0)
        return -1;
    pollfd pf{m_fd, POLLIN, 0};
    const int rc = ::poll(&pf, 1, timeoutMs);
    if (rc < 0)
        return errno == EINTR ? 0 : -1;
    if (rc == 0)
        return 0;
    uint8_t buf[1024];
    const ssize_t n = ::read(m_fd, buf, sizeof buf);
    if (n > 0) {
        to.insert(to.end(), buf, buf + n);
        return int(n);
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return 0;
    return -1;
}

void Line::discardInput()
{
    if (m_fd < 0)
        return;
    if (m_tty)
        ::tcflush(m_fd, TCIFLUSH);
    std::vector<uint8_t> sink;
    while (readSome(sink, 0) > 0)
        sink.clear();
}

int32_t Line::setModemLine(int bit, bool state)
{
    if (m_fd < 0)
        return ZP_E_DISCONNECTED;
    if (!m_tty)
        return 0;
    // Pseudo-terminals and some adapters have no modem lines: nothing to set.
    ::ioctl(m_fd, state ? TIOCMBIS : TIOCMBIC, &bit);
    return 0;
}

std::string devicePathForName(const std::string &name)
{
    if (name.size() > 3 && (name[0] == 'C' || name[0] == 'c') && (name[1] == 'O' || name[1] == 'o')
        && (name[2] == 'M' || name[2] == 'm')) {
        const std::string digits = name.substr(3);
        if (!digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos) {
            const long n = std::strtol(digits.c_str(), nullptr, 10);
            if (n >= 1 && n <= 256)
                return "/dev/ttyS" + std::to_string(n - 1);
        }
    }
    if (!name.empty() && name[0] == '/')
        return name;
    return "/dev/" + name;
}

std::string portNameForPath(const std::string &path)
{
    static const std::string serial = "/dev/ttyS";
    if (path.compare(0, serial.size(), serial) == 0) {
        const std::string digits = path.substr(serial.size());
        if (!digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos)
            return "COM" + std::to_string(std::strtol(digits.c_str(), nullptr, 10) + 1);
    }
    // ttyUSB0 rather than /dev/ttyUSB0; deeper paths (/dev/pts/3) stay whole.
    static const std::string dev = "/dev/";
    if (path.compare(0, dev.size(), dev) == 0 && path.find('/', dev.size()) == std::string::npos)
        return path.substr(dev.size());
    return path;
}

bool looksLikeNetworkName(const std::string &name)
{
    return !name.empty() && name[0] != '/' && name.find(':') != std::string::npos;
}

} // namespace zp
