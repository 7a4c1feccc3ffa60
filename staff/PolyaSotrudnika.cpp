#include "staff/PolyaSotrudnika.h"

namespace staff {

namespace {
const PoleSotrudnika kPolya[] = {
    {"NM", &core::TBuferSotrudnika::FIO},          {"NMOrg", &core::TBuferSotrudnika::Org},
    {"NMPodr", &core::TBuferSotrudnika::Podr},     {"NMDolj", &core::TBuferSotrudnika::Dolj},
    {"NMTabNum", &core::TBuferSotrudnika::TabNum}, {"NMCardNum", &core::TBuferSotrudnika::CardNum},
    {"NMITR", &core::TBuferSotrudnika::ITR},       {"ShtrKod", &core::TBuferSotrudnika::ShtrKod},
};
} // namespace

std::span<const PoleSotrudnika> polyaSotrudnika() { return kPolya; }

void zapolnitBufer(core::TBuferSotrudnika &b, const std::function<QString(const QString &field)> &pole)
{
    for (const PoleSotrudnika &p : kPolya)
        b.*p.member = pole(QLatin1String(p.field));
}

} // namespace staff
