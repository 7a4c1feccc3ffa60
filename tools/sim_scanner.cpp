// A serial barcode scanner without hardware: opens a pseudo-terminal, prints
// the device path to give the program as the scanner port, then sends every
// line of standard input as one scanned code, followed by the chosen ending.
//
//   sim_scanner [--ending crlf|cr|lf|none] [--delay MS] [--linger MS]
//
// --delay waits between two codes (a person scanning), --linger keeps the
// device open after the input ends so the last code is read before the
// device disappears (default 500 ms). Empty lines are skipped.

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
    std::fprintf(stderr, "usage: %s [--ending crlf|cr|lf|none] [--delay MS] [--linger MS]\n", self);
    return 2;
}

bool parseMs(const char *text, int &out)
{
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < 0 || v > 3600000)
        return false;
    out = int(v);
    return true;
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

} // namespace

int main(int argc, char **argv)
{
    std::string ending = "\r\n";
    int delayMs = 0;
    int lingerMs = 500;
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
            if (!parseMs(argv[++i], delayMs))
                return usage(argv[0]);
        } else if (arg == "--linger" && i + 1 < argc) {
            if (!parseMs(argv[++i], lingerMs))
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
        // One write per code, so the program gets it in one notification.
        if (!pty.send(QByteArray::fromStdString(line + ending))) {
            std::perror("sim_scanner: write");
            return 1;
        }
    }
    sleepMs(lingerMs);
    return 0;
}
