#include "core/TextUtil.h"

#include <QUuid>
#include <cmath>

namespace core {

QString trimCodes(const QString &s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && s.at(begin).unicode() <= 32)
        ++begin;
    while (end > begin && s.at(end - 1).unicode() <= 32)
        --end;
    return s.mid(begin, end - begin);
}

QString sqlQuoted(const QString &value)
{
    QString out = value;
    out.replace('\'', QStringLiteral("''"));
    return out;
}

QString newRecId()
{
    return QUuid::createUuid().toString(QUuid::Id128).toUpper();
}

QString ruDate(const QDate &d) { return d.toString(QStringLiteral("dd.MM.yyyy")); }
QString ruTime(const QTime &t) { return t.toString(QStringLiteral("HH:mm:ss")); }

QString stampedLine(const QDateTime &t, const QString &message)
{
    return ruDate(t.date()) + QLatin1Char(' ') + ruTime(t.time()) + QStringLiteral(": ") + message;
}

QDate parseRuDate(const QString &text)
{
    return QDate::fromString(trimCodes(text), QStringLiteral("dd.MM.yyyy"));
}

QString formatMoney(double value)
{
    return QString::asprintf("%.2f", value).replace('.', ',');
}

std::optional<double> parseMoney(const QString &text)
{
    QString t = trimCodes(text);
    t.replace(',', '.');
    if (t.isEmpty())
        return std::nullopt;
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

QString NazvanieVidaPitaniya(int index)
{
    switch (index) {
    case 0: return QStringLiteral("Все");
    case 1: return QStringLiteral("Завтрак");
    case 2: return QStringLiteral("Обед");
    case 3: return QStringLiteral("Ужин");
    case 4: return QStringLiteral("Ночное");
    default: return QString();
    }
}

} // namespace core
