#pragma once
#include "Core.h"

namespace zp {

// An open port: a reading thread keeps what arrives and tells the window.
class PortObject final : public Object
{
public:
    ~PortObject() override { close(); }
    int32_t open(const TZP_PORT_OPEN_PARAMS &params);
    void close() override;

    int32_t setNotification(void *window, uint32_t msgId, uint32_t mask);
    uint32_t takeFlags();
    int32_t read(void *buf, int32_t count, int32_t *got);
    int32_t write(const void *buf, int32_t count);
    int32_t inCount(int32_t *count);
    int32_t clear(bool in, bool out);
    int32_t status(TZP_CONNECTION_STATUS *status);
    int32_t setModemLine(int bit, bool state);
    int32_t setBaudAndEvChar(uint32_t baud, uint8_t evChar);

private:
    void run();
    void raise(uint32_t flags);  // with m_mutex held

    std::mutex m_mutex;
    Line m_line;
    std::string m_path;          // device path, empty for a network port
    std::deque<uint8_t> m_rx;
    uint32_t m_pending = 0;
    TZP_CONNECTION_STATUS m_status = ZP_CS_DISCONNECTED;
    void *m_window = nullptr;
    uint32_t m_msgId = 0;
    uint32_t m_mask = 0;
    uint32_t m_baud = 0;
    uint8_t m_stopBits = 0;
    int m_wake[2] = {-1, -1};
    std::thread m_thread;
    bool m_closed = false;
};

// A running search: every port is asked at once on its own thread; the
// results are handed out in the order of the ports.
class SearchObject final : public Object
{
public:
    ~SearchObject() override { close(); }
    void start(const TZP_SEARCH_PARAMS &params);
    void close() override;
    int32_t next(TZP_DEVICE_INFO *info, TZP_PORT_INFO *ports, int32_t capacity, int32_t *count,
                 int32_t timeoutMs);

private:
    struct Slot
    {
        bool done = false;
        std::vector<Found> found;
    };
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<Slot> m_slots;
    std::vector<std::thread> m_threads;
    std::atomic<bool> m_abort{false};
    size_t m_slot = 0;  // slot handed out next
    size_t m_item = 0;  // item of that slot handed out next
    bool m_unknown = false;
};

// One notification handle of the detector: its settings and message queue.
class NotifyObject final : public Object
{
public:
    struct Message
    {
        uint32_t type = 0;
        TZP_DDN_PORT_INFO portInfo{};
        TZP_DDN_DEVICE_INFO devInfo{};
        int32_t value = 0;
        std::vector<uint8_t> info;                 // device info storage
        std::vector<TZP_PORT_INFO> ports;          // ports storage
        std::vector<TZP_DEVICE_INFO *> devs;       // aDevs storage
        void *data();
    };

    explicit NotifyObject(const TZP_DD_NOTIFY_SETTINGS &s);
    void close() override;
    void push(std::vector<std::unique_ptr<Message>> messages);
    int32_t next(uint32_t *type, void **data);

    const uint32_t mask;
    const bool serial;
    const bool network;
    const std::vector<uint16_t> ipPorts;

    // What this handle has been told about, so each hears of a change once.
    std::map<std::string, Found> knownSerial;
    std::map<std::string, Found> knownNetwork;
    bool networkSeen = false;

private:
    std::mutex m_mutex;
    std::deque<std::unique_ptr<Message>> m_queue;
    std::unique_ptr<Message> m_current;
    void *m_window;
    const uint32_t m_msgId;
};

// The watcher behind every notification handle: one thread that looks at
// the ports periodically or when asked.
namespace detector {
void attach(const std::shared_ptr<NotifyObject> &n);
void detach(NotifyObject *n);
int32_t refresh(int32_t timeoutMs);
void stop();
} // namespace detector

std::unique_ptr<NotifyObject::Message> portMessage(uint32_t type, const Found &f);
std::unique_ptr<NotifyObject::Message> deviceMessage(uint32_t type, const Found &f);

} // namespace zp
