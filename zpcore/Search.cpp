#include "Objects.h"

#include <cstring>

namespace zp {

void SearchObject::start(const TZP_SEARCH_PARAMS &params)
{
    const Snapshot snap = snapshot();
    const auto &serialTypes = snap.serialTypes;
    const auto &ipTypes = snap.ipTypes;
    const auto &addresses = snap.netAddresses;
    const TZP_DD_GLOBAL_SETTINGS &gs = snap.settings;
    std::map<std::string, Found> openFound;
    for (const std::string &path : snap.openPaths) {
        const auto it = snap.lastFound.find(path);
        openFound[path] = it != snap.lastFound.end() ? it->second : Found{};
    }
    m_unknown = params.nFlags & ZP_SF_UNKNOWN;

    std::vector<SerialCandidate> ports;
    if (params.nDevMask != 0)
        ports = listSerialPorts(snap.extraPaths);
    const bool network = params.nIpDevMask != 0 && !addresses.empty();
    m_slots.resize(ports.size() + (network ? 1 : 0));

    for (size_t i = 0; i < ports.size(); ++i) {
        const auto open = openFound.find(ports[i].path);
        if (open != openFound.end()) {
            // Our own open port is not asked again (its bytes belong to the
            // program); what it was last recognised as stands.
            Found f = open->second;
            if (!f.device()) {
                f.port.nType = ports[i].type;
                toUnits(QString::fromStdString(ports[i].name), f.port.szName, 32);
                toUnits(ports[i].friendly, f.port.szFriendly, 32);
                f.ports = {f.port};
            }
            m_slots[i].found.push_back(std::move(f));
            m_slots[i].done = true;
            continue;
        }
        m_threads.emplace_back([this, i, port = ports[i], serialTypes, mask = params.nDevMask,
                                ws = gs.rScanWS] {
            auto f = identifySerial(port, serialTypes, mask, ws, m_abort);
            if (f && f->device()) {
                std::lock_guard lock(state().mutex);
                state().lastFound[port.path] = *f;
            }
            std::lock_guard lock(m_mutex);
            if (f)
                m_slots[i].found.push_back(std::move(*f));
            m_slots[i].done = true;
            m_cv.notify_all();
        });
    }
    if (network) {
        const size_t i = ports.size();
        m_threads.emplace_back([this, i, ipTypes, mask = params.nIpDevMask, addresses, gs] {
            auto found = identifyNetwork(ipTypes, mask, addresses, gs, m_abort);
            std::lock_guard lock(m_mutex);
            m_slots[i].found = std::move(found);
            m_slots[i].done = true;
            m_cv.notify_all();
        });
    }
}

void SearchObject::close()
{
    m_abort = true;
    for (auto &t : m_threads)
        if (t.joinable())
            t.join();
    m_threads.clear();
}

int32_t SearchObject::next(TZP_DEVICE_INFO *info, TZP_PORT_INFO *ports, int32_t capacity,
                           int32_t *count, int32_t timeoutMs)
{
    if (!info || info->cbSize < sizeof(TZP_DEVICE_INFO) || capacity < 0
        || (capacity > 0 && !ports) || !count)
        return ZP_E_INVALIDARG;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_slot >= m_slots.size())
            return ZP_S_NOTFOUND;
        Slot &s = m_slots[m_slot];
        if (!s.done) {
            if (timeoutMs < 0)
                m_cv.wait(lock);
            else if (m_cv.wait_until(lock, deadline) == std::cv_status::timeout && !s.done)
                return ZP_E_TIMEOUT;
            continue;
        }
        if (m_item >= s.found.size()) {
            ++m_slot;
            m_item = 0;
            continue;
        }
        const Found &f = s.found[m_item++];
        if (!f.device() && !m_unknown)
            continue;
        const uint32_t asked = info->cbSize;
        std::memset(info, 0, asked);
        if (f.device()) {
            const size_t n = std::min<size_t>(asked, f.info.size());
            std::memcpy(info, f.info.data(), n);
            info->cbSize = uint32_t(n);
        }
        const int32_t n = std::min<int32_t>(capacity, int32_t(f.ports.size()));
        for (int32_t k = 0; k < n; ++k)
            ports[k] = f.ports[size_t(k)];
        *count = n;
        return 0;
    }
}

} // namespace zp
