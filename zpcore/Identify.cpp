// Finding out who answers on a port: the registered requests are sent, the
// reply is collected and handed to the program's parsers.

#include "Core.h"

#include <QSerialPortInfo>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <unistd.h>

namespace zp {

namespace {

bool typeApplies(const SerialType &t, const SerialCandidate &port, uint32_t devMask)
{
    if (t.request.empty() || !t.parse || t.typeId >= 32 || !(devMask & (1u << t.typeId)))
        return false;
    for (const uint32_t id : t.usbIds)
        if (id == kAnyUsbId || (port.hasUsb && id == port.usbId))
            return true;
    return !t.description.isEmpty() && t.description == port.description;
}

// Types that share the request, the line settings and so one reply.
struct Group
{
    std::vector<const SerialType *> types;
};

bool sameAsking(const SerialType &a, const SerialType &b)
{
    return a.request == b.request && a.baud == b.baud && a.evChar == b.evChar
        && a.stopBits == b.stopBits;
}

struct ParseOutcome
{
    enum Kind { Refused, Partial, Claimed } kind = Refused;
    std::vector<uint8_t> info;
    std::vector<TZP_PORT_INFO> ports;
};

ParseOutcome runParser(ZP_DEVICE_PARSE_PROC parse, uint32_t typeId, uint32_t infoSize,
                       const std::vector<uint8_t> &reply, const TZP_PORT_INFO &asked)
{
    ParseOutcome out;
    // Room for the largest form whatever size the type names, so a parser
    // writing its mode byte never writes past the record.
    std::vector<uint8_t> info(std::max<size_t>(infoSize, sizeof(TZP_DEVICE_INFO_EX)), 0);
    auto *dev = reinterpret_cast<TZP_DEVICE_INFO *>(info.data());
    dev->cbSize = infoSize;
    dev->nTypeId = typeId;
    std::vector<TZP_PORT_INFO> ports(kMaxPorts);
    std::memset(ports.data(), 0, ports.size() * sizeof(TZP_PORT_INFO));
    ports[0] = asked;
    int32_t partial = 0;
    int32_t count = 0;
    const int32_t rc = parse(reply.empty() ? nullptr : reply.data(), uint32_t(reply.size()),
                             &partial, dev, ports.data(), kMaxPorts, &count);
    if (rc == 0)
        return out;
    if (partial) {
        out.kind = ParseOutcome::Partial;
        return out;
    }
    out.kind = ParseOutcome::Claimed;
    info.resize(std::min<size_t>(info.size(), infoSize));
    out.info = std::move(info);
    count = std::clamp(count, 1, kMaxPorts);
    ports.resize(size_t(count));
    for (auto &p : ports) {
        if (p.nType == ZP_PORT_UNDEF)
            p.nType = asked.nType;
        if (typeId < 32 && p.nDevTypes == 0)
            p.nDevTypes = 1u << typeId;
    }
    out.ports = std::move(ports);
    return out;
}

// Sends the group's request and collects the reply until a parser claims it,
// every parser has refused it, or the wait settings run out.
std::optional<ParseOutcome> askGroup(Line &line, const Group &g, const TZP_PORT_INFO &asked,
                                     const TZP_WAIT_SETTINGS &ws, const std::atomic<bool> &abort)
{
    const SerialType &first = *g.types.front();
    if (line.configure(first.baud, first.stopBits) < 0)
        return std::nullopt;
    const int tries = std::max(1, ws.nMaxTries);
    for (int attempt = 0; attempt < tries && !abort; ++attempt) {
        line.discardInput();
        if (line.write(first.request.data(), first.request.size(), int(ws.nReplyTimeout)) < 0)
            return std::nullopt;
        std::vector<const SerialType *> active = g.types;
        std::vector<uint8_t> reply;
        auto deadline = Clock::now() + std::chrono::milliseconds(ws.nReplyTimeout0);
        bool gotAny = false;
        while (!active.empty() && !abort) {
            const int left = msLeft(deadline);
            if (left == 0)
                break;
            const int n = line.readSome(reply, std::min(left, 50));
            if (n < 0)
                return std::nullopt;
            if (n == 0)
                continue;
            if (!gotAny) {
                gotAny = true;
                deadline = Clock::now() + std::chrono::milliseconds(ws.nReplyTimeout);
            }
            // Parsers look at whole lines: ask them when the reply has grown
            // by a line ending (the type's event character).
            if (std::find(reply.end() - n, reply.end(), first.evChar) == reply.end())
                continue;
            for (auto it = active.begin(); it != active.end();) {
                ParseOutcome o = runParser((*it)->parse, (*it)->typeId, (*it)->infoSize, reply, asked);
                if (o.kind == ParseOutcome::Claimed)
                    return o;
                if (o.kind == ParseOutcome::Refused)
                    it = active.erase(it);
                else
                    ++it;
            }
        }
        if (gotAny)
            return ParseOutcome{};  // answered, but not as any of these types
    }
    return ParseOutcome{};
}

} // namespace

std::vector<std::string> splitList(const char *list)
{
    std::vector<std::string> out;
    if (!list)
        return out;
    std::string item;
    for (const char *p = list;; ++p) {
        if (*p == ',' || *p == '\0') {
            const auto b = item.find_first_not_of(" \t");
            const auto e = item.find_last_not_of(" \t");
            if (b != std::string::npos)
                out.push_back(item.substr(b, e - b + 1));
            item.clear();
            if (*p == '\0')
                break;
        } else {
            item += *p;
        }
    }
    return out;
}

std::vector<SerialCandidate> listSerialPorts(const std::vector<std::string> &extraPaths)
{
    std::vector<SerialCandidate> out;
    std::set<std::string> seen;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        SerialCandidate c;
        c.path = info.systemLocation().toStdString();
        if (c.path.empty() || !seen.insert(c.path).second)
            continue;
        c.name = portNameForPath(c.path);
        c.description = info.description();
        c.hasUsb = info.hasVendorIdentifier() && info.hasProductIdentifier();
        if (c.hasUsb)
            c.usbId = uint32_t(info.productIdentifier()) << 16 | info.vendorIdentifier();
        c.type = c.name.compare(0, 3, "COM") == 0 ? ZP_PORT_COM : ZP_PORT_FT;
        // The adapter's own name is what people know a USB reader by.
        if (c.hasUsb)
            c.friendly = c.description;
        out.push_back(std::move(c));
    }
    for (const std::string &name : extraPaths) {
        SerialCandidate c;
        c.path = devicePathForName(name);
        if (::access(c.path.c_str(), F_OK) != 0 || !seen.insert(c.path).second)
            continue;
        c.name = name;
        c.type = c.name.size() > 3 && (c.name.compare(0, 3, "COM") == 0) ? ZP_PORT_COM : ZP_PORT_FT;
        out.push_back(std::move(c));
    }
    return out;
}

std::optional<Found> identifySerial(const SerialCandidate &port,
                                    const std::vector<SerialType> &types, uint32_t devMask,
                                    const TZP_WAIT_SETTINGS &ws, const std::atomic<bool> &abort)
{
    Found f;
    f.port.nType = port.type;
    toUnits(QString::fromStdString(port.name), f.port.szName, 32);
    toUnits(port.friendly, f.port.szFriendly, 32);
    f.ports = {f.port};

    std::vector<Group> groups;
    for (const SerialType &t : types) {
        if (!typeApplies(t, port, devMask))
            continue;
        auto g = std::find_if(groups.begin(), groups.end(),
                              [&](const Group &x) { return sameAsking(*x.types.front(), t); });
        if (g == groups.end())
            groups.push_back(Group{{&t}});
        else
            g->types.push_back(&t);
    }
    if (groups.empty())
        return f;

    Line line;
    const int32_t rc = Line::openTty(port.path, groups.front().types.front()->baud,
                                     groups.front().types.front()->stopBits, line);
    if (rc == ZP_E_PORTBUSY) {
        f.port.nFlags |= 1u;
        f.ports = {f.port};
        return f;
    }
    if (rc < 0)
        return std::nullopt;
    for (const Group &g : groups) {
        const auto o = askGroup(line, g, f.port, ws, abort);
        if (!o)
            return abort ? std::nullopt : std::optional<Found>(f);
        if (o->kind == ParseOutcome::Claimed) {
            f.info = o->info;
            f.ports = o->ports;
            f.port = f.ports.front();
            return f;
        }
    }
    return f;
}

std::vector<Found> identifyNetwork(const std::vector<IpType> &types, uint32_t devMask,
                                   const std::vector<std::string> &addresses,
                                   const TZP_DD_GLOBAL_SETTINGS &gs,
                                   const std::atomic<bool> &abort)
{
    std::vector<Found> out;
    if (addresses.empty())
        return out;
    for (const IpType &t : types) {
        // Network type identifiers start at 32, beyond the bits of the mask:
        // any non-zero mask asks for them.
        if (t.request.empty() || !t.parse || devMask == 0
            || (t.typeId < 32 && !(devMask & (1u << t.typeId))))
            continue;
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            continue;
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
        std::vector<sockaddr_in> targets;
        for (const std::string &a : addresses) {
            sockaddr_in sa{};
            sa.sin_family = AF_INET;
            std::string host = a;
            uint16_t port = t.port;
            if (const auto colon = a.rfind(':'); colon != std::string::npos) {
                host = a.substr(0, colon);
                const long p = std::strtol(a.c_str() + colon + 1, nullptr, 10);
                if (p <= 0 || p > 65535)
                    continue;
                port = uint16_t(p);
            }
            if (::inet_pton(AF_INET, host.c_str(), &sa.sin_addr) != 1)
                continue;
            sa.sin_port = htons(port);
            targets.push_back(sa);
        }
        std::set<std::pair<uint32_t, uint16_t>> answered;
        const int tries = std::max(1, gs.nIpReqMaxTries);
        for (int attempt = 0; attempt < tries && !abort; ++attempt) {
            for (const auto &sa : targets)
                ::sendto(fd, t.request.data(), t.request.size(), 0,
                         reinterpret_cast<const sockaddr *>(&sa), sizeof sa);
            const auto deadline = Clock::now() + std::chrono::milliseconds(gs.nIpReqTimeout);
            while (!abort) {
                const int left = msLeft(deadline);
                if (left == 0)
                    break;
                pollfd pf{fd, POLLIN, 0};
                if (::poll(&pf, 1, std::min(left, 50)) <= 0)
                    continue;
                uint8_t buf[1500];
                sockaddr_in from{};
                socklen_t len = sizeof from;
                const ssize_t n = ::recvfrom(fd, buf, sizeof buf, 0,
                                             reinterpret_cast<sockaddr *>(&from), &len);
                if (n <= 0)
                    continue;
                if (!answered.insert({from.sin_addr.s_addr, from.sin_port}).second)
                    continue;
                char ip[INET_ADDRSTRLEN] = {};
                ::inet_ntop(AF_INET, &from.sin_addr, ip, sizeof ip);
                TZP_PORT_INFO asked{};
                asked.nType = ZP_PORT_IP;
                toUnits(QStringLiteral("%1:%2").arg(QString::fromLatin1(ip)).arg(ntohs(from.sin_port)),
                        asked.szName, 32);
                const ParseOutcome o = runParser(t.parse, t.typeId, t.infoSize,
                                                 std::vector<uint8_t>(buf, buf + n), asked);
                if (o.kind != ParseOutcome::Claimed)
                    continue;
                Found f;
                f.info = o.info;
                f.ports = o.ports;
                for (auto &p : f.ports)
                    p.nType = ZP_PORT_IP;
                f.port = f.ports.front();
                out.push_back(std::move(f));
            }
            if (!answered.empty() && answered.size() >= targets.size())
                break;
        }
        ::close(fd);
    }
    return out;
}

} // namespace zp
