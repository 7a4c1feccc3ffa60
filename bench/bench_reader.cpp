// Times the reader search with one simulated USB reader present (every
// serial port of the machine is asked too, as at a start), and the way of a
// card from the reader's line to the program's receive handling.
// Usage: bench_reader
#include "BenchStats.h"
#include "TestSupport.h"
#include "reader/Utilites.h"
#include "reader/ZPClasses.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstring>

namespace {

void print(const char *what, const bench::Figures &f)
{
    std::printf("%-58s median %8.3f ms   p95 %8.3f ms\n", what, f.median, f.p95);
    std::fflush(stdout);
}

int searchDevices()
{
    TZP_SEARCH_PARAMS sp;
    std::memset(&sp, 0, sizeof sp);
    sp.nDevMask = sp.nIpDevMask = 0xFFFFFFFFu;
    void *h = nullptr;
    reader::CheckZPRes(ZP_SearchDevices(&h, &sp));
    int found = 0;
    for (;;) {
        TZP_DEVICE_INFO_EX info{};
        info.rBase.cbSize = sizeof info;
        TZP_PORT_INFO ports[2];
        int32_t n = 0;
        if (reader::CheckZPRes(ZP_FindNextDevice(h, &info.rBase, ports, 2, &n, -1)) == ZP_S_NOTFOUND)
            break;
        ++found;
    }
    ZP_CloseHandle(h);
    return found;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    testsupport::SimulatorProcess sim(QStringLiteral(SIM_READER_PATH), {"--usb"});
    const QString path = sim.value(QStringLiteral("device"));
    if (path.isEmpty()) {
        std::fprintf(stderr, "bench_reader: the simulator gave no device\n");
        return 1;
    }
    reader::CheckZPRes(ZP_Initialize(nullptr, 2));
    reader::RegisterDeviceTypes();
    ZP_SetSerialPorts(path.toUtf8().constData());

    int found = 0;
    print("search, one simulated reader", bench::measure(5, [&] { found = searchDevices(); }));
    std::printf("devices found: %d\n", found);

    reader::TZPort port;
    port.PortName = path;
    int cards = 0;
    port.SetOnRxChar([&](reader::TZPort *p) {
        QByteArray buf(p->GetInCount(), '\0');
        buf.resize(p->Read(buf.data(), int(buf.size())));
        if (buf.endsWith('\n'))
            ++cards;
    });
    port.SetOpened(true);
    std::vector<double> ms;
    for (int i = 0; i < 50; ++i) {
        const int before = cards;
        QElapsedTimer t;
        t.start();
        sim.command(QByteArray("00AB12CD"));
        while (cards == before && t.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    print("card: simulator input to receive handler (incl. pipe)", bench::figures(ms));
    port.SetOpened(false);
    ZP_Finalyze();
    return 0;
}
