#include "reports/OtchetViborka.h"

#include "core/Error.h"
#include "core/IniSettings.h"
#include "core/ProcessValues.h"
#include "core/TextUtil.h"
#include "db/Connection.h"
#include "db/DBTools.h"

namespace reports {

namespace {

const QString kTablitsa = QStringLiteral("SpisokDoc");
const QString kNeopredeleno = QStringLiteral("Неопределено");
const QString kVse = QStringLiteral("Все");

QString granitsa(const QString &zagolovok, const std::optional<QDate> &data)
{
    return zagolovok + (data ? core::ruDate(*data) : kNeopredeleno) + QStringLiteral("; ");
}

QString ilVse(const QString &tekst) { return tekst.isEmpty() ? kVse : tekst; }

} // namespace

bool PeriodiVerni(const Otbor &o) { return !(o.nachalo && o.konets && *o.nachalo > *o.konets); }

QString StrokaViborki(const Otbor &o)
{
    return QStringLiteral("Отбор: ") + granitsa(QStringLiteral("Начало периода: "), o.nachalo)
           + granitsa(QStringLiteral("Конец периода: "), o.konets) + QStringLiteral("\r\n")
           + QStringLiteral("Вид питания: ") + core::NazvanieVidaPitaniya(o.vidPitaniya)
           + QStringLiteral("; ") + QStringLiteral("Организация: ") + ilVse(o.org)
           + QStringLiteral("; ") + QStringLiteral("Сотрудник: ") + ilVse(o.sotr)
           + QStringLiteral("; ");
}

QString ZaprosOtcheta(const Otbor &o)
{
    DBTools::SpisokDocFilters f;
    f.NMFIO = o.sotr;
    f.NMOrg = o.org;
    if (o.vidPitaniya != 0)
        f.NMVid = core::NazvanieVidaPitaniya(o.vidPitaniya);
    return DBTools::ZaprosSpisokDoc(kTablitsa, o.nachalo ? core::ruDate(*o.nachalo) : QString(),
                                    o.konets ? core::ruDate(*o.konets) : QString(), f);
}

QString TekstVibrano(int kolichestvo)
{
    return QStringLiteral("Выбрано: ") + QString::number(kolichestvo) + QStringLiteral(";");
}

QList<db::RecordSet::Column> KolonkiOtcheta()
{
    QList<db::RecordSet::Column> kolonki = {
        {QStringLiteral("NMVid"), QStringLiteral("Питание")},
        {QStringLiteral("NMDateVid"), QStringLiteral("Дата")},
        {QStringLiteral("NMTimeVid"), QStringLiteral("Время")},
        {QStringLiteral("NMFIO"), QStringLiteral("Ф.И.О.")},
        {QStringLiteral("NMTabNum"), QStringLiteral("Табельный №")},
        {QStringLiteral("NMCardNum"), QStringLiteral("№ карты")},
        {QStringLiteral("NMDolj"), QStringLiteral("Должность")},
        {QStringLiteral("NMPodr"), QStringLiteral("Подразделение")},
        {QStringLiteral("NMOrg"), QStringLiteral("Организация")},
        {QStringLiteral("NMITR"), QStringLiteral("И.Т.Р.")},
        {QStringLiteral("NMStoimost"), QStringLiteral("Стоимость")},
    };
    const auto ini = core::openMainIni();
    for (int i = 0; i < kolonki.size(); ++i)
        kolonki[i].width = ini->readInt(QStringLiteral("DBGridColumnsDlyaDoc"),
                                        QStringLiteral("WidthCount%1").arg(i + 1), 70);
    return kolonki;
}

DannieOtcheta::DannieOtcheta()
    : m_connection(std::make_unique<db::Connection>()), m_zapisi(std::make_unique<db::RecordSet>())
{
    m_zapisi->setObjectName(QStringLiteral("FDQueryOtch"));
    m_zapisi->setConnection(m_connection.get());
    m_zapisi->setTable(kTablitsa);
}

DannieOtcheta::~DannieOtcheta()
{
    // The rows go before the connection they were read on.
    m_zapisi.reset();
}

void DannieOtcheta::vibrat(const Otbor &otbor)
{
    const auto &n = core::pv().Nastroyki;
    m_zapisi->close();
    m_connection->open(n.PutKFayluBD, n.BDLogin, n.BDPass);
    // A report only reads: the engine itself refuses any write on this connection.
    m_connection->exec(m_connection->isServer()
                           ? QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY")
                           : QStringLiteral("PRAGMA query_only = 1"));
    m_zapisi->setSql(ZaprosOtcheta(otbor));
    m_zapisi->open();
}

void DannieOtcheta::uporyadochit()
{
    if (m_zapisi->isOpen())
        m_zapisi->sortBy(QStringLiteral("NMDateTimeTeh_Obrat"));
}

int DannieOtcheta::kolichestvo() const { return m_zapisi->isOpen() ? m_zapisi->count() : 0; }

void DannieOtcheta::zakrit()
{
    m_zapisi->close();
    m_connection->close();
}

Otchet Sformirovat(DannieOtcheta &dannie, const Otbor &otbor,
                   const std::function<void(const std::exception &)> &oshibka)
{
    Otchet o;
    o.stroka = StrokaViborki(otbor);
    try {
        dannie.vibrat(otbor);
    } catch (const std::exception &e) {
        if (oshibka)
            oshibka(e);
    }
    try {
        dannie.uporyadochit();
    } catch (const std::exception &e) {
        if (oshibka)
            oshibka(e);
    }
    o.stroka += TekstVibrano(dannie.kolichestvo());
    o.itogi = FormirovanieItogov(*dannie.zapisi());
    o.stroka += o.itogi.dopolnenieStroki();
    return o;
}

} // namespace reports
