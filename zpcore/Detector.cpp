// The detector: one thread looks at the serial ports (and asks the network
// converters) periodically, and queues what appeared or vanished to every
// notification handle that wants to hear of it.

#include "Objects.h"

#include <algorithm>
#include <set>

namespace zp {

void *NotifyObject::Message::data()
{
    switch (type) {
    case ZP_N_INSERT:
    case ZP_N_REMOVE:
    case ZP_N_CHANGE:
        return &portInfo;
    case ZP_N_DEVINSERT:
    case ZP_N_DEVREMOVE:
    case ZP_N_DEVCHANGE:
        return &devInfo;
    default:
        return &value;
    }
}

std::unique_ptr<NotifyObject::Message> portMessage(uint32_t type, const Found &f)
{
    auto m = std::make_unique<NotifyObject::Message>();
    m->type = type;
    m->portInfo.rPort = f.port;
    if (f.device()) {
        m->info = f.info;
        m->devs.push_back(reinterpret_cast<TZP_DEVICE_INFO *>(m->info.data()));
        m->portInfo.aDevs = m->devs.data();
        m->portInfo.nDevCount = 1;
    }
    return m;
}

std::unique_ptr<NotifyObject::Message> deviceMessage(uint32_t type, const Found &f)
{
    auto m = std::make_unique<NotifyObject::Message>();
    m->type = type;
    m->info = f.info;
    m->info.resize(std::max(m->info.size(), sizeof(TZP_DEVICE_INFO)));
    m->ports = f.ports;
    m->devInfo.pInfo = reinterpret_cast<TZP_DEVICE_INFO *>(m->info.data());
    m->devInfo.aPorts = m->ports.data();
    m->devInfo.nPortCount = int32_t(m->ports.size());
    return m;
}

NotifyObject::NotifyObject(const TZP_DD_NOTIFY_SETTINGS &s)
    : mask(s.nNMask), serial(s.nSDevTypes != 0), network(s.nIpDevTypes != 0),
      ipPorts(s.aIps && s.nIpsCount > 0 ? std::vector<uint16_t>(s.aIps, s.aIps + s.nIpsCount)
                                        : std::vector<uint16_t>{}),
      m_window(s.hWindow), m_msgId(s.nWndMsgId)
{
}

void NotifyObject::close()
{
    detector::detach(this);
    std::lock_guard lock(m_mutex);
    m_window = nullptr;
    m_queue.clear();
    m_current.reset();
}

void NotifyObject::push(std::vector<std::unique_ptr<Message>> messages)
{
    if (messages.empty())
        return;
    std::lock_guard lock(m_mutex);
    const bool wasEmpty = m_queue.empty();
    for (auto &m : messages)
        m_queue.push_back(std::move(m));
    // The owner drains the whole queue on one event.
    if (wasEmpty && m_window)
        postToWindow(m_window, m_msgId);
}

int32_t NotifyObject::next(uint32_t *type, void **data)
{
    std::lock_guard lock(m_mutex);
    m_current.reset();
    if (m_queue.empty())
        return ZP_S_NOTFOUND;
    m_current = std::move(m_queue.front());
    m_queue.pop_front();
    *type = m_current->type;
    *data = m_current->data();
    return 0;
}

namespace detector {

namespace {

struct Detector
{
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::weak_ptr<NotifyObject>> clients;
    std::thread thread;
    bool stopping = false;
    bool refreshWanted = false;
    uint64_t rounds = 0;
    bool inRound = false;
    Clock::time_point nextNetwork{};
    std::atomic<bool> abort{false};
};

Detector &det()
{
    static Detector d;
    return d;
}

std::string nameOf(const TZP_PORT_INFO &p) { return fromUnits(p.szName, 32).toStdString(); }

// Compares what a client knew with what is there now and queues the changes.
void diff(NotifyObject &n, std::map<std::string, Found> &known,
          const std::map<std::string, Found> &now, bool deviceEvents,
          std::vector<std::unique_ptr<NotifyObject::Message>> &out)
{
    for (const auto &[name, f] : known)
        if (!now.count(name)) {
            if (n.mask & ZP_NF_EXIST)
                out.push_back(portMessage(ZP_N_REMOVE, f));
            if (deviceEvents && f.device())
                out.push_back(deviceMessage(ZP_N_DEVREMOVE, f));
        }
    for (const auto &[name, f] : now) {
        const auto old = known.find(name);
        if (old == known.end()) {
            if (n.mask & ZP_NF_EXIST)
                out.push_back(portMessage(ZP_N_INSERT, f));
            if (deviceEvents && f.device())
                out.push_back(deviceMessage(ZP_N_DEVINSERT, f));
        } else if (old->second.port.nFlags != f.port.nFlags && (n.mask & ZP_NF_CHANGE)) {
            out.push_back(portMessage(ZP_N_CHANGE, f));
        }
    }
    known = now;
}

void round(Detector &d, bool forced)
{
    std::vector<std::shared_ptr<NotifyObject>> clients;
    {
        std::lock_guard lock(d.mutex);
        for (auto &w : d.clients)
            if (auto c = w.lock())
                clients.push_back(std::move(c));
    }
    const Snapshot snap = snapshot();
    const auto &serialTypes = snap.serialTypes;
    const auto &ipTypes = snap.ipTypes;
    const auto &extra = snap.extraPaths;
    const auto &addresses = snap.netAddresses;
    const TZP_DD_GLOBAL_SETTINGS &gs = snap.settings;
    const auto &lastFound = snap.lastFound;
    const auto &openPaths = snap.openPaths;
    const bool wantSerial = std::any_of(clients.begin(), clients.end(),
                                        [](const auto &c) { return c->serial; });
    const bool identifySerialDevs = std::any_of(clients.begin(), clients.end(), [](const auto &c) {
        return c->serial && (c->mask & ZP_NF_SDEVICE);
    });
    if (wantSerial) {
        std::map<std::string, Found> now;
        for (const SerialCandidate &c : listSerialPorts(extra)) {
            Found f;
            f.port.nType = c.type;
            toUnits(QString::fromStdString(c.name), f.port.szName, 32);
            toUnits(c.friendly, f.port.szFriendly, 32);
            f.ports = {f.port};
            // Only ports new to some client are asked, never a port of ours.
            const bool isNew = std::any_of(clients.begin(), clients.end(), [&](const auto &cl) {
                return cl->serial && !cl->knownSerial.count(c.name);
            });
            if (openPaths.count(c.path)) {
                if (const auto it = lastFound.find(c.path); it != lastFound.end())
                    f = it->second;
            } else if (identifySerialDevs && isNew) {
                if (auto got = identifySerial(c, serialTypes, ~0u, gs.rScanWS, d.abort)) {
                    f = *got;
                    if (f.device()) {
                        std::lock_guard lock(state().mutex);
                        state().lastFound[c.path] = f;
                    }
                }
            } else {
                for (const auto &cl : clients)
                    if (const auto it = cl->knownSerial.find(c.name); it != cl->knownSerial.end())
                        f = it->second;
            }
            now[c.name] = f;
        }
        for (const auto &c : clients) {
            if (!c->serial)
                continue;
            std::vector<std::unique_ptr<NotifyObject::Message>> out;
            diff(*c, c->knownSerial, now, (c->mask & ZP_NF_DEVEXIST) && (c->mask & ZP_NF_SDEVICE),
                 out);
            c->push(std::move(out));
        }
    }
    const bool wantNetwork = !addresses.empty()
        && std::any_of(clients.begin(), clients.end(), [](const auto &c) { return c->network; });
    if (wantNetwork && (forced || Clock::now() >= d.nextNetwork)) {
        d.nextNetwork = Clock::now() + std::chrono::milliseconds(gs.nCheckIpPeriod);
        std::map<std::string, Found> now;
        for (const Found &dev : identifyNetwork(ipTypes, ~0u, addresses, gs, d.abort))
            for (const TZP_PORT_INFO &p : dev.ports) {
                Found f = dev;
                f.port = p;
                now[nameOf(p)] = f;
            }
        for (const auto &c : clients) {
            if (!c->network)
                continue;
            std::vector<std::unique_ptr<NotifyObject::Message>> out;
            if (c->networkSeen)
                diff(*c, c->knownNetwork, now,
                     (c->mask & ZP_NF_DEVEXIST) && (c->mask & ZP_NF_IPDEVICE), out);
            else
                c->knownNetwork = now;
            c->networkSeen = true;
            c->push(std::move(out));
        }
    }
    for (const auto &c : clients)
        if (c->mask & ZP_NF_COMPLETED) {
            auto m = std::make_unique<NotifyObject::Message>();
            m->type = ZP_N_COMPLETED;
            m->value = 0;
            std::vector<std::unique_ptr<NotifyObject::Message>> out;
            out.push_back(std::move(m));
            c->push(std::move(out));
        }
}

void run()
{
    Detector &d = det();
    std::unique_lock lock(d.mutex);
    while (!d.stopping) {
        uint32_t period;
        {
            std::lock_guard s(state().mutex);
            period = std::max<uint32_t>(state().settings.nCheckUsbPeriod, 100);
        }
        d.cv.wait_for(lock, std::chrono::milliseconds(period),
                      [&] { return d.stopping || d.refreshWanted; });
        if (d.stopping)
            break;
        const bool forced = d.refreshWanted;
        d.refreshWanted = false;
        d.inRound = true;
        lock.unlock();
        round(d, forced);
        lock.lock();
        d.inRound = false;
        ++d.rounds;
        d.cv.notify_all();
    }
}

} // namespace

void attach(const std::shared_ptr<NotifyObject> &n)
{
    // What is there already is the starting point, not news.
    if (n->serial) {
        const Snapshot snap = snapshot();
        const auto &extra = snap.extraPaths;
        const auto &lastFound = snap.lastFound;
        for (const SerialCandidate &c : listSerialPorts(extra)) {
            Found f;
            if (const auto it = lastFound.find(c.path); it != lastFound.end()) {
                f = it->second;
            } else {
                f.port.nType = c.type;
                toUnits(QString::fromStdString(c.name), f.port.szName, 32);
                toUnits(c.friendly, f.port.szFriendly, 32);
                f.ports = {f.port};
            }
            n->knownSerial[c.name] = f;
        }
    }
    Detector &d = det();
    std::lock_guard lock(d.mutex);
    d.clients.erase(std::remove_if(d.clients.begin(), d.clients.end(),
                                   [](const auto &w) { return w.expired(); }),
                    d.clients.end());
    d.clients.push_back(n);
    if (!d.thread.joinable()) {
        d.stopping = false;
        d.abort = false;
        d.thread = std::thread(run);
    }
}

void detach(NotifyObject *n)
{
    Detector &d = det();
    std::lock_guard lock(d.mutex);
    d.clients.erase(std::remove_if(d.clients.begin(), d.clients.end(),
                                   [n](const auto &w) {
                                       const auto c = w.lock();
                                       return !c || c.get() == n;
                                   }),
                    d.clients.end());
}

int32_t refresh(int32_t timeoutMs)
{
    Detector &d = det();
    std::unique_lock lock(d.mutex);
    if (!d.thread.joinable())
        return 0;
    // A round already under way may have looked before the caller's change:
    // wait for one that starts after this call.
    const uint64_t wanted = d.rounds + (d.inRound ? 2 : 1);
    d.refreshWanted = true;
    d.cv.notify_all();
    auto done = [&] { return d.rounds >= wanted || d.stopping; };
    if (timeoutMs < 0) {
        // "No limit" still ends: every round is bounded by the wait settings.
        d.cv.wait(lock, done);
        return 0;
    }
    if (!d.cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), done))
        return ZP_E_TIMEOUT;
    return 0;
}

void stop()
{
    Detector &d = det();
    {
        std::lock_guard lock(d.mutex);
        d.stopping = true;
        d.abort = true;
        d.cv.notify_all();
    }
    if (d.thread.joinable())
        d.thread.join();
    std::lock_guard lock(d.mutex);
    d.clients.clear();
    d.stopping = false;
    d.refreshWanted = false;
}

} // namespace detector

} // namespace zp
