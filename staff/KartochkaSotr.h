#pragma once
#include <QDialog>
#include <QImage>
#include <QString>

namespace staff {

// The employee card: a copy of a Word template on the user's desktop with
// the employee's texts, photo and barcode in place of its keywords.

// The keywords, in the order they are replaced.
inline const QString kSotrFIO = QStringLiteral("<SotrFIO>");
inline const QString kSotrOrg = QStringLiteral("<SotrOrg>");
inline const QString kSotrPodr = QStringLiteral("<SotrPodr>");
inline const QString kSotrDolj = QStringLiteral("<SotrDolj>");
inline const QString kSotrTabNum = QStringLiteral("<SotrTabNum>");
inline const QString kSotrCardNum = QStringLiteral("<SotrCardNum>");
inline const QString kSotrPhoto = QStringLiteral("<SotrPhoto>");
inline const QString kSotrShtrKod = QStringLiteral("<SotrShtrKod>");

// The editor's fields as they stand (untrimmed) and its pictures; a null
// picture stands for "no photo" or "no barcode".
struct DannieKartochki
{
    QString fio, org, podr, dolj, tabNum, cardNum;
    QImage foto;
    QImage shtrKod;
};

// The template: the named file when the field names one (and only if it
// exists), else "MaketKS.doc" or "MaketKS.docx" in the program folder, the
// ".doc" one when both are there. Empty when there is none.
QString VibratShablonKartochki(const QString &pole);

// The document on the desktop: the name field as typed (or "Карточка ФЛ"
// when empty) with the given extension.
QString PutKartochki(const QString &fio, const QString &extension);

// "Сформировать карточку": chooses the template, copies it to the desktop,
// fills it, puts the barcode (or, without one, the photo) on the clipboard
// and opens the document with the desktop's application. A ".doc" template
// is converted with LibreOffice and the card saved as ".docx". Every
// outcome is told through the message service. Returns the card's path,
// empty when none was made.
QString SformirovatKartochku(const QString &shablonPole, const DannieKartochki &d);

// Writes the program's default template: a one-page card with every keyword.
void ZapisatMaketPoUmolchaniyu(const QString &path);
// Writes it into the program folder when no "MaketKS.docx" or "MaketKS.doc"
// is there (at start-up).
void UstanovitMaketPoUmolchaniyu();

// "Информация": the keywords a template may hold.
class TFormUserMaketInfo : public QDialog
{
    Q_OBJECT
public:
    explicit TFormUserMaketInfo(QWidget *parent = nullptr);
    static QString tekst();
};

} // namespace staff
