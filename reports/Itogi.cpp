#include "reports/Itogi.h"

#include "db/RecordSet.h"

#include <QHash>

namespace reports {

namespace {

// One table being summed: the rows by name for the look-up, and whether
// row 1 is still the blank row the table starts with.
class Summator
{
public:
    explicit Summator(TablitsaItogov &t) : m_t(t)
    {
        m_t.stroki = {{QString(), QString()}};
        m_summi = {std::nullopt};
        m_nomer.insert(QString(), 0);
    }

    void dobavit(const QString &imya, db::Money summa)
    {
        if (const auto it = m_nomer.constFind(imya); it != m_nomer.constEnd()) {
            const int i = it.value();
            m_summi[i] = m_summi[i].value_or(db::Money()) + summa;
            if (i == 0)
                m_svobodna = false;
            return;
        }
        if (m_svobodna) {
            // The blank row 1 takes the first name; an empty name no longer finds it.
            m_svobodna = false;
            m_nomer.remove(m_t.stroki[0].first);
            m_t.stroki[0].first = imya;
            m_nomer.insert(imya, 0);
            m_summi[0] = summa;
            return;
        }
        m_nomer.insert(imya, int(m_t.stroki.size()));
        m_t.stroki.append({imya, QString()});
        m_summi.append(summa);
    }

    void zapisatSummi()
    {
        for (int i = 0; i < m_t.stroki.size(); ++i)
            if (m_summi[i])
                m_t.stroki[i].second = TekstSummy(*m_summi[i]);
    }

private:
    TablitsaItogov &m_t;
    QList<std::optional<db::Money>> m_summi;   // no sum yet: the cell stays empty
    QHash<QString, int> m_nomer;
    bool m_svobodna = true;
};

} // namespace

QString TekstSummy(db::Money summa) { return summa.sqlLiteral().replace(QLatin1Char('.'), QLatin1Char(',')); }

std::optional<db::Money> SummaIzTeksta(const QString &tekst)
{
    if (tekst.trimmed().isEmpty())
        return db::Money();
    return db::Money::fromText(tekst);
}

Itogi::Itogi()
{
    poOrganizatsiyam.zagolovokImeni = QStringLiteral("Организация");
    poSotrudnikam.zagolovokImeni = QStringLiteral("Сотрудник");
    poVidamPitaniya.zagolovokImeni = QStringLiteral("Вид питания");
    for (TablitsaItogov *t : {&poOrganizatsiyam, &poSotrudnikam, &poVidamPitaniya})
        t->stroki = {{QString(), QString()}};
}

QString Itogi::dopolnenieStroki() const
{
    if (zapisey == 0)
        return QString();
    return QStringLiteral(" Общая сумма: ") + TekstSummy(obshchayaSumma) + QStringLiteral(";");
}

Itogi FormirovanieItogov(const db::RecordSet &zapisi)
{
    Itogi itogi;
    const int n = zapisi.isOpen() ? zapisi.count() : 0;
    if (n == 0)
        return itogi;
    const int org = zapisi.fieldIndex(QStringLiteral("NMOrg"));
    const int fio = zapisi.fieldIndex(QStringLiteral("NMFIO"));
    const int vid = zapisi.fieldIndex(QStringLiteral("NMVid"));
    const int stoimost = zapisi.fieldIndex(QStringLiteral("NMStoimost"));
    const auto tekst = [](const db::RecordSet::Row &r, int i) {
        return i < 0 ? QString() : r.at(i).toString();
    };

    Summator poOrg(itogi.poOrganizatsiyam);
    Summator poSotr(itogi.poSotrudnikam);
    Summator poVid(itogi.poVidamPitaniya);
    for (int i = 0; i < n; ++i) {
        const db::RecordSet::Row &r = zapisi.row(i);
        const db::Money summa =
            stoimost < 0 ? db::Money() : db::Money::fromVariant(r.at(stoimost)).value_or(db::Money());
        itogi.obshchayaSumma += summa;
        poOrg.dobavit(tekst(r, org), summa);
        poSotr.dobavit(tekst(r, fio), summa);
        poVid.dobavit(tekst(r, vid), summa);
    }
    poOrg.zapisatSummi();
    poSotr.zapisatSummi();
    poVid.zapisatSummi();
    itogi.zapisey = n;
    return itogi;
}

} // namespace reports
