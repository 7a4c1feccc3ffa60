// A serial barcode scanner without hardware: opens a pseudo-terminal, prints
// the device path to give the program as the scanner port, then sends every
// line of standard input as one scanned code, followed by the chosen ending.
//
//   sim_scanner [--ending crlf|cr|lf|none] [--delay MS] [--linger MS]
//               [--baud N] [--ending-after MS]
//
// --delay waits between two codes (a person scanning), --linger keeps the
// device open after the input ends so the last code is read before the
// device disappears (default 500 ms). --baud paces the characters as a real
// line at that rate sends them, one write per character (10 bits each: at
// 1200 baud 8.3 ms apart); without it each code goes in one write.
// --ending-after sends the ending that long after the code, in a write of
// its own. Empty lines are skipped.

#include "scanner/PseudoTerminal.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

namespace {

int usage(const char *self)
{
    std::fprintf(stderr,
                 "usage: %s [--ending crlf|cr|lf|none] [--delay MS] [--linger MS] [--baud N] "
                 "[--ending-after MS]\n",
                 self);
    return 2;
}

bool parseNumber(const char *text, int &out, long max = 3600000)
{
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < 0 || v > max)
        return false;
    out = int(v);
    return true;
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Sends `bytes` as a line at `baud` would: one character per write, each one
// character time after the one before. baud 0: all in one write.
bool sendPaced(const scanner::PseudoTerminal &pty, const std::string &bytes, int baud)
{
    if (baud <= 0)
        return pty.send(QByteArray::fromStdString(bytes));
    const auto charTime = std::chrono::microseconds(10'000'000 / baud);
    auto next = std::chrono::steady_clock::now();
    for (const char c : bytes) {
        std::this_thread::sleep_until(next);
        if (!pty.send(QByteArray(1, c)))
            return false;
        next += charTime;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    std::string ending = "\r\n";
    int delayMs = 0;
    int lingerMs = 500;
    int baud = 0;
    int endingAfterMs = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--ending" && i + 1 < argc) {
            const std::string v = argv[++i];
            if (v == "crlf")
                ending = "\r\n";
            else if (v == "cr")
                ending = "\r";
            else if (v == "lf")
                ending = "\n";
            else if (v == "none")
                ending.clear();
            else
                return usage(argv[0]);
        } else if (arg == "--delay" && i + 1 < argc) {
            if (!parseNumber(argv[++i], delayMs))
                return usage(argv[0]);
        } else if (arg == "--linger" && i + 1 < argc) {
            if (!parseNumber(argv[++i], lingerMs))
                return usage(argv[0]);
        } else if (arg == "--baud" && i + 1 < argc) {
            if (!parseNumber(argv[++i], baud, 4000000) || baud < 50)
                return usage(argv[0]);
        } else if (arg == "--ending-after" && i + 1 < argc) {
            if (!parseNumber(argv[++i], endingAfterMs))
                return usage(argv[0]);
        } else {
            return usage(argv[0]);
        }
    }

    scanner::PseudoTerminal pty;
    if (!pty.ok()) {
        std::fprintf(stderr, "sim_scanner: pseudo-terminal: %s\n", qPrintable(pty.errorText()));
        return 1;
    }
    std::cout << pty.slavePath().toStdString() << std::endl;

    std::string line;
    bool first = true;
    while (std::getline(std::cin, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        if (line.empty())
            continue;
        if (!first && delayMs > 0)
            sleepMs(delayMs);
        first = false;
        bool sent;
        if (endingAfterMs >= 0) {
            sent = sendPaced(pty, line, baud);
            sleepMs(endingAfterMs);
            sent = sent && sendPaced(pty, ending, baud);
        } else {
            sent = sendPaced(pty, line + ending, baud);
        }
        if (!sent) {
            std::perror("sim_scanner: write");
            return 1;
        }
    }
    sleepMs(lingerMs);
    return 0;
}
