#pragma once
#include "Line.h"
#include "zpcore.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace zp {

constexpr int kMaxPorts = 8;  // port infos a parser may fill for one device
constexpr uint32_t kAnyUsbId = 0xFFFFFFFFu;

// A registered serial device type, copied out of the caller's record.
struct SerialType
{
    uint32_t typeId = 0;
    std::vector<uint8_t> request;
    ZP_DEVICE_PARSE_PROC parse = nullptr;
    uint32_t infoSize = 0;
    std::vector<uint32_t> usbIds;
    uint32_t baud = 9600;
    uint8_t evChar = 0;
    uint8_t stopBits = 0;
    QString description;
};

struct IpType
{
    uint32_t typeId = 0;
    std::vector<uint8_t> request;
    ZP_DEVICE_PARSE_PROC parse = nullptr;
    uint32_t infoSize = 0;
    uint16_t port = 0;
};

// A port the search or the detector saw, with the device found on it.
struct Found
{
    TZP_PORT_INFO port{};                 // the port asked
    std::vector<uint8_t> info;            // device info as filled; empty: no device
    std::vector<TZP_PORT_INFO> ports;     // the device's ports (at least the port asked)
    bool device() const { return !info.empty(); }
};

// A serial port as the system or the program names it.
struct SerialCandidate
{
    std::string path;
    std::string name;     // reported name (COM1, ttyUSB0, /dev/pts/3)
    QString friendly;
    QString description;
    bool hasUsb = false;
    uint32_t usbId = 0;   // product << 16 | vendor
    TZP_PORT_TYPE type = ZP_PORT_FT;
};

// Every handle of the library is one of these.
class Object
{
public:
    virtual ~Object() = default;
    // Stops threads and releases devices; called once, outside the global lock.
    virtual void close() = 0;
};

// Posts the notification event to a window (a QObject on the UI thread).
void postToWindow(void *window, uint32_t msgId);

// Global state, guarded by State::mutex.
struct State
{
    std::mutex mutex;
    bool initialized = false;
    std::vector<SerialType> serialTypes;
    std::vector<IpType> ipTypes;
    std::vector<std::string> extraPaths;
    std::vector<std::string> netAddresses;
    TZP_DD_GLOBAL_SETTINGS settings{};
    std::map<void *, std::shared_ptr<Object>> handles;
    std::map<std::string, Found> lastFound;     // by device path: the last identification
    std::map<std::string, int> openPaths;       // device paths open through ZP_Port_Open
};

State &state();
TZP_DD_GLOBAL_SETTINGS defaultSettings();

// A copy of what a search or a detector round works from, taken at once so
// that the work itself runs without the global lock.
struct Snapshot
{
    std::vector<SerialType> serialTypes;
    std::vector<IpType> ipTypes;
    std::vector<std::string> extraPaths;
    std::vector<std::string> netAddresses;
    TZP_DD_GLOBAL_SETTINGS settings{};
    std::map<std::string, Found> lastFound;
    std::set<std::string> openPaths;
};
Snapshot snapshot();

template<class T> std::shared_ptr<T> lookup(void *handle)
{
    std::lock_guard lock(state().mutex);
    const auto it = state().handles.find(handle);
    return it == state().handles.end() ? nullptr : std::dynamic_pointer_cast<T>(it->second);
}
void *addHandle(std::shared_ptr<Object> object);

// UTF-16 texts of the records.
QString fromUnits(const ZP_CHAR *units, size_t capacity);
void toUnits(const QString &text, ZP_CHAR *units, size_t capacity);

// The serial ports to search or watch: the system's and the program's.
std::vector<SerialCandidate> listSerialPorts(const std::vector<std::string> &extraPaths);
// Asks a serial port who is there; nullopt when the port cannot be used.
std::optional<Found> identifySerial(const SerialCandidate &port,
                                    const std::vector<SerialType> &types, uint32_t devMask,
                                    const TZP_WAIT_SETTINGS &ws, const std::atomic<bool> &abort);
// Asks the network converters at the configured addresses.
std::vector<Found> identifyNetwork(const std::vector<IpType> &types, uint32_t devMask,
                                   const std::vector<std::string> &addresses,
                                   const TZP_DD_GLOBAL_SETTINGS &gs,
                                   const std::atomic<bool> &abort);

std::vector<std::string> splitList(const char *list);

} // namespace zp
