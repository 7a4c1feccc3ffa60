#include "admin/Bezopasnost.h"
#include "admin/UnitPassEnter.h"

#include "core/MessageService.h"
#include "core/ProcessValues.h"
#include "db/DBTools.h"

namespace admin {

namespace {

const QString kPrefiks = QStringLiteral("KontrolnayaVstavkaZ");
const QString kTablitsa = QStringLiteral("BPTools");
const QString kImya = QStringLiteral("NMNam");
const QString kZnachenie = QStringLiteral("NMVal");
const QString kParol = QStringLiteral("SppS");
const QString kDa = QStringLiteral("ddd");
const QString kNet = QStringLiteral("nnn");

core::TNastroykiBezopasnosti &nastroyki() { return core::pv().Bezopasnost; }

// The four flag rows in the order they are read and written.
struct Flag
{
    const char *name;
    bool core::TNastroykiBezopasnosti::*setting;
};
constexpr Flag kFlagi[] = {
    {"zp_Otch", &core::TNastroykiBezopasnosti::ZashchitaOtcheta},
    {"zp_OchistT", &core::TNastroykiBezopasnosti::ZashchitaOchistki},
    {"zp_UdalenieGL", &core::TNastroykiBezopasnosti::ZashchitaUdaleniya},
    {"psi", &core::TNastroykiBezopasnosti::ZashchitaParolem},
};

QString parametr(const QString &name, const QString &value, bool write)
{
    return DBTools::ZnacheniyeParametra(kTablitsa, kImya, kZnachenie, name, value, write);
}

bool otkrit()
{
    const auto &n = core::pv().Nastroyki;
    if (DBTools::OtkritBD(n.PutKFayluBD, n.BDLogin, n.BDPass) == DBTools::kOk)
        return true;
    DBTools::ZakritBD();
    return false;
}

} // namespace

QString ShifrovkaParolya(const QString &text)
{
    QString out = text;
    for (QChar &c : out)
        c = QChar(char16_t(0xFFFF - c.unicode()));
    return out;
}

QString KhranimayaForma(const QString &parol) { return ShifrovkaParolya(kPrefiks + parol); }

QString ParolIzKhranimoyFormi(const QString &forma)
{
    return ShifrovkaParolya(forma).mid(kPrefiks.size());
}

QString NekhranimyeSimvoly(const QString &parol)
{
    QString out;
    for (const QChar c : ShifrovkaParolya(parol))
        if (c.isSurrogate()) {
            const QChar original = QChar(char16_t(0xFFFF - c.unicode()));
            if (!out.contains(original))
                out += original;
        }
    return out;
}

bool NuzhenParol(const QString &action)
{
    const auto &b = nastroyki();
    if (!b.ZashchitaParolem || b.ZapomnitVSessii)
        return false;
    return (action == kOtchet && b.ZashchitaOtcheta)
           || (action == kOchistkaTablits && b.ZashchitaOchistki)
           || (action == kUdalenieGlavnaya && b.ZashchitaUdaleniya) || action == kNastroyki;
}

bool ProverkaDostupa(const QString &action)
{
    if (!NuzhenParol(action))
        return true;
    nastroyki().RezultatVvoda = false;
    TPassEnterForm prompt;
    core::execModal(prompt);
    return nastroyki().RezultatVvoda;
}

void ZagruzkaNastroekBezopasnosti()
{
    if (!otkrit())
        return;
    auto &b = nastroyki();
    const QString pustoy = KhranimayaForma(QString());
    b.Parol = parametr(kParol, pustoy, false);
    // A read error answers with its text, which is no stored form; it keeps
    // every password out until the settings are stored again.
    bool vse = b.Parol.startsWith(pustoy);
    for (const Flag &f : kFlagi) {
        const QString value = parametr(QString::fromLatin1(f.name), kNet, false);
        if (value == kDa)
            b.*f.setting = true;
        else if (value == kNet)
            b.*f.setting = false;
        else
            vse = false;
    }
    b.IzBazi = vse;
    DBTools::ZakritBD();
}

void ZapisNastroekBezopasnosti()
{
    if (!otkrit())
        return;
    const auto &b = nastroyki();
    parametr(kParol, b.Parol, true);
    for (const Flag &f : kFlagi)
        parametr(QString::fromLatin1(f.name), b.*f.setting ? kDa : kNet, true);
    DBTools::ZakritBD();
}

void ZapisNastroekBezopasnostiPriZavershenii()
{
    if (nastroyki().IzBazi)
        ZapisNastroekBezopasnosti();
}

void ZabytParolSessii() { nastroyki().ZapomnitVSessii = false; }

void SbrosSessii()
{
    nastroyki().ZapomnitVSessii = false;
    nastroyki().RezultatVvoda = false;
}

} // namespace admin
