// Card readers and converters without hardware.
//
//   sim_reader [--usb | --converter | --net] [--sn N] [--model HEX] [--version V]
//              [--password P] [--devices SN,SN...] [--mode WORD] [--linger MS]
//
// --usb (default)  a USB reader on a pseudo-terminal: answers "i" CR with its
//                  five identification lines.
// --converter      a converter on a pseudo-terminal: answers "i" CR with its
//                  identification; in proxy mode "LIST <password>" with its
//                  device list and "CONN <sn> <password>" with "OK" or a refusal.
// --net            a network converter on 127.0.0.1: answers "SEEK RC397IP" on
//                  UDP and accepts TCP connections on its two ports (proxy
//                  commands as the converter).
//
// It prints what to give the program, one "key value" line each:
//   device /dev/pts/3         (put it in trapezon.ini [Main] SerialPorts)
//   udp 127.0.0.1:40001       (put it in trapezon.ini [Main] NetAddresses)
//   tcp 127.0.0.1:40002 127.0.0.1:40003
// Then every line of standard input is a command:
//   <text> or "card <text>"   present a card: the text followed by CR LF
//   unplug                    the device vanishes (the line hangs up)
//   quit                      end (also at the end of the input, after --linger)

#include "scanner/PseudoTerminal.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

#include <cstdio>
#include <iostream>
#include <list>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

struct Options
{
    enum Kind { Usb, Converter, Net } kind = Usb;
    quint32 sn = 12345;
    QString model = QStringLiteral("301");
    QString version = QStringLiteral("2.11.0.5");
    QByteArray password = "90817";
    QList<quint16> devices{1234, 6699};
    QString mode = QStringLiteral("Advanced");
    int lingerMs = 300;
};

void say(const QString &line)
{
    std::cout << line.toStdString() << std::endl;
}

QByteArray usbIdentification(const Options &o)
{
    return QStringLiteral("R-2 USB [%1] S/N: %2\r\n"
                          "EM-Marine / HID ProxCard\r\n"
                          "Output: text, CR LF\r\n"
                          "Beep: on\r\n"
                          "Software version: %3\r\n")
        .arg(o.model)
        .arg(o.sn)
        .arg(o.version)
        .toLatin1();
}

QByteArray converterIdentification(const Options &o)
{
    return QStringLiteral("RC397 GUARD S/N: %1\r\n"
                          "RS-485 lines: 1\r\n"
                          "Readers: %2\r\n"
                          "Baud: 230400\r\n"
                          "Version %3\r\n"
                          "Proxy: on\r\n"
                          "Current mode - %4\r\n")
        .arg(o.sn)
        .arg(o.devices.size())
        .arg(o.version)
        .arg(o.mode)
        .toLatin1();
}

// The proxy commands of a converter: "LIST <password>" and
// "CONN <sn in 4 hex digits> <password>". Returns the reply, or nothing
// when the bytes are no command.
bool proxyReply(const Options &o, const QByteArray &command, QByteArray &reply, bool &connected)
{
    const QByteArray c = command.trimmed();
    if (c.startsWith("LIST ")) {
        if (c.mid(5) != o.password) {
            reply = "ERROR";
            return true;
        }
        reply = "LIST";
        for (const quint16 sn : o.devices)
            reply += ' ' + QByteArray::number(sn, 16).toUpper().rightJustified(4, '0');
        return true;
    }
    if (c.startsWith("CONN ")) {
        const QList<QByteArray> parts = c.split(' ');
        bool ok = false;
        const quint16 sn = parts.size() == 3 ? parts[1].toUShort(&ok, 16) : 0;
        if (parts.size() != 3 || !ok || parts[2] != o.password)
            reply = "ERR: wrong password";
        else if (!o.devices.contains(sn))
            reply = "ERR: no device " + parts[1];
        else {
            reply = "OK";
            connected = true;
        }
        return true;
    }
    return false;
}

class Simulator : public QObject
{
public:
    explicit Simulator(Options o) : m_o(std::move(o)) {}

    bool start()
    {
        if (m_o.kind == Options::Net)
            return startNet();
        m_pty = std::make_unique<scanner::PseudoTerminal>();
        if (!m_pty->ok()) {
            std::fprintf(stderr, "sim_reader: pseudo-terminal: %s\n", qPrintable(m_pty->errorText()));
            return false;
        }
        say(QStringLiteral("device ") + m_pty->slavePath());
        // Polled: a pseudo-terminal nobody has opened yet reports a hang-up
        // without end, which would keep a notifier firing.
        connect(&m_poll, &QTimer::timeout, this, [this] { serialInput(); });
        m_poll.start(10);
        return true;
    }

    void card(const QByteArray &text)
    {
        const QByteArray bytes = text + "\r\n";
        if (m_pty)
            m_pty->send(bytes);
        for (auto &c : m_clients)
            if (c.state != Client::Listing && c.socket->state() == QAbstractSocket::ConnectedState) {
                c.socket->write(bytes);
                c.socket->flush();
            }
    }

    void unplug()
    {
        m_poll.stop();
        if (m_pty)
            m_pty->hangUp();
        std::list<Client> clients;
        clients.swap(m_clients);
        for (auto &c : clients) {
            c.socket->disconnect(this);
            c.socket->abort();
        }
        m_servers.clear();
        m_udp.reset();
        say(QStringLiteral("unplugged"));
    }

private:
    struct Client
    {
        enum State { Direct, Listing, Connected } state = Direct;
        std::unique_ptr<QTcpSocket> socket;
    };

    void serialInput()
    {
        m_in += m_pty->receive();
        for (;;) {
            if (const int at = m_in.indexOf("i\r"); at >= 0) {
                m_in.remove(0, at + 2);
                m_pty->send(m_o.kind == Options::Usb ? usbIdentification(m_o)
                                                     : converterIdentification(m_o));
                continue;
            }
            break;
        }
        if (m_o.kind == Options::Converter && !m_in.isEmpty()) {
            QByteArray reply;
            bool connected = false;
            if (proxyReply(m_o, m_in, reply, connected)) {
                m_in.clear();
                m_pty->send(reply);
            }
        }
        // A reader ignores whatever else it is sent.
        if (m_in.size() > 256)
            m_in.clear();
    }

    bool startNet()
    {
        m_udp = std::make_unique<QUdpSocket>();
        if (!m_udp->bind(QHostAddress::LocalHost, 0)) {
            std::fprintf(stderr, "sim_reader: udp: %s\n", qPrintable(m_udp->errorString()));
            return false;
        }
        QStringList tcp;
        for (int i = 0; i < 2; ++i) {
            auto server = std::make_unique<QTcpServer>();
            if (!server->listen(QHostAddress::LocalHost, 0)) {
                std::fprintf(stderr, "sim_reader: tcp: %s\n", qPrintable(server->errorString()));
                return false;
            }
            QTcpServer *s = server.get();
            connect(s, &QTcpServer::newConnection, this, [this, s] { accept(s); });
            tcp << QStringLiteral("127.0.0.1:%1").arg(s->serverPort());
            m_servers.push_back(std::move(server));
        }
        connect(m_udp.get(), &QUdpSocket::readyRead, this, [this] { udpInput(); });
        say(QStringLiteral("udp 127.0.0.1:%1").arg(m_udp->localPort()));
        say(QStringLiteral("tcp ") + tcp.join(QLatin1Char(' ')));
        return true;
    }

    void udpInput()
    {
        while (m_udp && m_udp->hasPendingDatagrams()) {
            QByteArray d(int(m_udp->pendingDatagramSize()), '\0');
            QHostAddress from;
            quint16 port = 0;
            m_udp->readDatagram(d.data(), d.size(), &from, &port);
            if (d != "SEEK RC397IP")
                continue;
            QByteArray reply = "RC397IP-SW:" + m_o.version.toLatin1() + " SN"
                             + QByteArray::number(m_o.sn);
            for (size_t i = 0; i < m_servers.size(); ++i) {
                QByteArray owner = "0.0.0.0";
                for (const auto &c : m_clients)
                    if (c.socket->localPort() == m_servers[i]->serverPort())
                        owner = c.socket->peerAddress().toString().toLatin1();
                reply += " L" + QByteArray::number(int(i + 1)) + "_Port:"
                       + QByteArray::number(m_servers[i]->serverPort()) + " L"
                       + QByteArray::number(int(i + 1)) + "_Conn:" + owner;
            }
            m_udp->writeDatagram(reply, from, port);
        }
    }

    void accept(QTcpServer *server)
    {
        while (QTcpSocket *s = server->nextPendingConnection()) {
            m_clients.push_back(Client{Client::Direct, std::unique_ptr<QTcpSocket>(s)});
            connect(s, &QTcpSocket::readyRead, this, [this, s] { tcpInput(s); });
            connect(s, &QTcpSocket::disconnected, this, [this, s] {
                // The socket is inside its own signal: it goes once that returns.
                for (auto &c : m_clients)
                    if (c.socket.get() == s)
                        c.socket.release()->deleteLater();
                m_clients.remove_if([](const Client &c) { return !c.socket; });
            });
        }
    }

    void tcpInput(QTcpSocket *s)
    {
        const QByteArray command = s->readAll();
        for (auto &c : m_clients) {
            if (c.socket.get() != s)
                continue;
            QByteArray reply;
            bool connected = false;
            if (proxyReply(m_o, command, reply, connected)) {
                c.state = connected ? Client::Connected : Client::Listing;
                s->write(reply);
                s->flush();
            }
        }
    }

    Options m_o;
    std::unique_ptr<scanner::PseudoTerminal> m_pty;
    QTimer m_poll;
    QByteArray m_in;
    std::unique_ptr<QUdpSocket> m_udp;
    std::vector<std::unique_ptr<QTcpServer>> m_servers;
    std::list<Client> m_clients;
};

int usage()
{
    std::fprintf(stderr,
                 "usage: sim_reader [--usb|--converter|--net] [--sn N] [--model HEX] "
                 "[--version V] [--password P] [--devices SN,SN] [--mode WORD] [--linger MS]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Options o;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        const bool hasValue = i + 1 < args.size();
        bool ok = true;
        if (a == QLatin1String("--usb"))
            o.kind = Options::Usb;
        else if (a == QLatin1String("--converter"))
            o.kind = Options::Converter;
        else if (a == QLatin1String("--net"))
            o.kind = Options::Net;
        else if (a == QLatin1String("--sn") && hasValue)
            o.sn = args[++i].toUInt(&ok);
        else if (a == QLatin1String("--model") && hasValue)
            o.model = args[++i];
        else if (a == QLatin1String("--version") && hasValue)
            o.version = args[++i];
        else if (a == QLatin1String("--password") && hasValue)
            o.password = args[++i].toLatin1();
        else if (a == QLatin1String("--mode") && hasValue)
            o.mode = args[++i];
        else if (a == QLatin1String("--linger") && hasValue)
            o.lingerMs = args[++i].toInt(&ok);
        else if (a == QLatin1String("--devices") && hasValue) {
            o.devices.clear();
            for (const QString &sn : args[++i].split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                o.devices << sn.toUShort(&ok);
                if (!ok)
                    break;
            }
        } else
            return usage();
        if (!ok)
            return usage();
    }

    Simulator sim(o);
    if (!sim.start())
        return 1;

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buf[512];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            input.setEnabled(false);
            QTimer::singleShot(o.lingerMs, &app, &QCoreApplication::quit);
            return;
        }
        pending.append(buf, int(n));
        int nl;
        while ((nl = pending.indexOf('\n')) >= 0) {
            QByteArray line = pending.left(nl).trimmed();
            pending.remove(0, nl + 1);
            if (line.isEmpty())
                continue;
            if (line == "quit") {
                QCoreApplication::quit();
                return;
            }
            if (line == "unplug") {
                sim.unplug();
                continue;
            }
            if (line.startsWith("card "))
                line = line.mid(5);
            sim.card(line);
        }
    });
    return QCoreApplication::exec();
}
