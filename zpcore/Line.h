#pragma once
#include "zpcore.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace zp {

using Clock = std::chrono::steady_clock;

// One open file descriptor to a device: a tty (serial port, USB adapter,
// pseudo-terminal) or a TCP connection to a network converter. Non-blocking;
// the owner waits with poll().
class Line
{
public:
    Line() = default;
    ~Line();
    Line(const Line &) = delete;
    Line &operator=(const Line &) = delete;
    Line(Line &&other) noexcept;
    Line &operator=(Line &&other) noexcept;

    // A tty by its device path, locked against other clients.
    static int32_t openTty(const std::string &path, uint32_t baud, uint8_t stopBits, Line &out);
    // "host:port" over TCP within timeoutMs.
    static int32_t openTcp(const std::string &hostPort, uint32_t timeoutMs, Line &out);

    bool isOpen() const { return m_fd >= 0; }
    bool isTty() const { return m_tty; }
    int fd() const { return m_fd; }
    void close();

    // Baud 0 leaves the speed alone; a TCP line ignores both.
    int32_t configure(uint32_t baud, uint8_t stopBits);
    // All bytes within timeoutMs.
    int32_t write(const void *data, size_t size, int timeoutMs);
    // What has arrived, waiting up to timeoutMs for the first byte.
    // Returns bytes read, 0 on time-out, negative when the line is gone.
    int readSome(std::vector<uint8_t> &to, int timeoutMs);
    void discardInput();
    int32_t setModemLine(int bit, bool state);

private:
    int m_fd = -1;
    bool m_tty = false;
};

// The device path for a port name: "COMn" is /dev/ttyS(n-1), a name starting
// with "/" stands as it is, any other name lives under /dev.
std::string devicePathForName(const std::string &name);
// The port name the library reports for a device path (the reverse).
std::string portNameForPath(const std::string &path);
bool looksLikeNetworkName(const std::string &name);

int msLeft(Clock::time_point deadline);

} // namespace zp
