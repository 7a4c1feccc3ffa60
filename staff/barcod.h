#pragma once
#include <QColor>
#include <QImage>
#include <QString>

// Drawing of an EAN-13 number as its symbol.
namespace barcod {

inline constexpr int kShirina = 210; // picture width in pixels
inline constexpr int kVisota = 75;   // picture height in pixels

// The 95 modules of the symbol as "0"/"1" characters: guards, the left-hand
// digits in number sets A/B chosen by the first digit, the right-hand digits
// in set C. Empty when the text is not 13 digits.
QString ModuliEAN13(const QString &code);

// The symbol on a white 210 x 75 picture: two pixels per module from x = 15,
// guard bars over rows 3-70, the other bars over rows 3-57, the digits below
// in `color` at `fontSize` points. A null image when the text is not 13
// characters long. With `toClipboard` a copy is also put on the clipboard.
QImage RisovanieEAN13(const QString &code, const QColor &color, int fontSize, bool toClipboard);

} // namespace barcod
