#include "staff/barcod.h"

#include <QClipboard>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>

namespace barcod {

namespace {

// Number sets A, B and C of the standard, digit by digit.
const char *const kNaborA[10] = {"0001101", "0011001", "0010011", "0111101", "0100011",
                                 "0110001", "0101111", "0111011", "0110111", "0001011"};
const char *const kNaborB[10] = {"0100111", "0110011", "0011011", "0100001", "0011101",
                                 "0111001", "0000101", "0010001", "0001001", "0010111"};
const char *const kNaborC[10] = {"1110010", "1100110", "1101100", "1000010", "1011100",
                                 "1001110", "1010000", "1000100", "1001000", "1110100"};
// The set of each left-hand digit, chosen by the first digit.
const char *const kChetnost[10] = {"AAAAAA", "AABABB", "AABBAB", "AABBBA", "ABAABB",
                                   "ABBAAB", "ABBBAA", "ABABAB", "ABABBA", "ABBABA"};

constexpr int kLevyKray = 15;    // x of the first module
constexpr int kVerkh = 3;        // first row of every bar
constexpr int kNizOhrany = 71;   // guard bars end above this row
constexpr int kNizShtrikha = 58; // other bars end above this row; top of the digits

bool ohrana(int k) { return k <= 2 || (k >= 45 && k <= 49) || k >= 92; }

QString shriftTsifr()
{
    // The symbol was laid out for Arial; DejaVu Sans is on every Linux desktop.
    static const QString family = QFontDatabase::families().contains(QStringLiteral("Arial"))
                                      ? QStringLiteral("Arial")
                                      : QStringLiteral("DejaVu Sans");
    return family;
}

QString sProbelami(const QString &digits)
{
    QStringList parts;
    for (QChar c : digits)
        parts << QString(c);
    return parts.join(QLatin1Char(' '));
}

} // namespace

QString ModuliEAN13(const QString &code)
{
    if (code.size() != 13)
        return QString();
    int d[13];
    for (int i = 0; i < 13; ++i) {
        const QChar c = code.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return QString();
        d[i] = c.unicode() - '0';
    }
    QString m = QStringLiteral("101");
    for (int i = 1; i <= 6; ++i)
        m += QLatin1String(kChetnost[d[0]][i - 1] == 'A' ? kNaborA[d[i]] : kNaborB[d[i]]);
    m += QStringLiteral("01010");
    for (int i = 7; i <= 12; ++i)
        m += QLatin1String(kNaborC[d[i]]);
    m += QStringLiteral("101");
    return m;
}

QImage RisovanieEAN13(const QString &code, const QColor &color, int fontSize, bool toClipboard)
{
    if (code.size() != 13)
        return QImage();
    const QString moduli = ModuliEAN13(code);
    if (moduli.isEmpty())
        return QImage(); // not digits: there is no symbol for it

    QImage image(kShirina, kVisota, QImage::Format_RGB32);
    // 96 dpi, so that the digits have the same pixel size on every machine.
    image.setDotsPerMeterX(3780);
    image.setDotsPerMeterY(3780);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        for (int k = 0; k < moduli.size(); ++k) {
            if (moduli.at(k) != QLatin1Char('1'))
                continue;
            const int niz = ohrana(k) ? kNizOhrany : kNizShtrikha;
            p.fillRect(kLevyKray + 2 * k, kVerkh, 2, niz - kVerkh, color);
        }
        QFont font(shriftTsifr());
        font.setPointSize(fontSize);
        p.setFont(font);
        p.setPen(color);
        const auto text = [&p](int x, const QString &s) {
            p.drawText(QRect(x, kNizShtrikha, kShirina - x, kVisota - kNizShtrikha),
                       Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, s);
        };
        text(4, code.left(1));
        text(30, sProbelami(code.mid(1, 6)));
        text(121, sProbelami(code.mid(7, 6)));
    }
    if (toClipboard)
        QGuiApplication::clipboard()->setImage(image.copy());
    return image;
}

} // namespace barcod
