#pragma once
#include <QImage>
#include <QList>
#include <QPair>
#include <QSizeF>
#include <QString>

namespace staff {

// A picture to put in place of a keyword, with the size it takes on the page.
struct KartinkaShablona
{
    QString klyuch;     // "<SotrPhoto>"
    QImage image;
    QSizeF razmerSm;    // width and height in centimetres
};

// Fills a Word document (.docx) in place, as a word processor's "replace
// all" would: every occurrence of each text keyword replaced by its value,
// also when Word split the keyword over several runs of one paragraph (a
// keyword broken by a line break or over two paragraphs is not found); the
// first occurrence of each picture keyword replaced by an inline picture,
// its other occurrences left as text. Only the document's main text is
// searched, as the word processor's search from the selection does.
//
// The document is rewritten whole: to a temporary file beside it, renamed
// over it at the end, so a failure leaves the file as it was. Raises
// core::Error "EDocxError" with a Russian message.
void ZapolnitDocx(const QString &path, const QList<QPair<QString, QString>> &teksty,
                  const QList<KartinkaShablona> &kartinki);

// The size of a picture of `pixels` fitted into a box of `boxCm`, keeping its
// proportions; at 96 dots per inch when `boxCm` is empty.
QSizeF razmerKartinki(const QSize &pixels, const QSizeF &boxCm = QSizeF());

} // namespace staff
