#pragma once
#include <QImage>
#include <QString>
#include <QWidget>

namespace staff {

// The photo file of an employee: in `folder`, the file named `name` + "."
// + an extension of a picture format the program reads, the name compared
// as it stands (letter case aside, as the photo folders were kept on
// Windows): characters such as "*", "?" or "[" match only themselves, and
// no name reaches outside the folder. Of several, the first by name; empty
// when there is none. The caller trims name and folder.
QString naytiFotoFayl(const QString &folder, const QString &name);

// The picture of a file; a null image when it cannot be read.
QImage zagruzitFoto(const QString &path);

// A picture drawn over the whole widget, scaled to fit and keeping its
// proportions.
class TScaledPicture : public QWidget
{
    Q_OBJECT
public:
    explicit TScaledPicture(QWidget *parent = nullptr);
    void setPicture(const QImage &image);
    const QImage &picture() const { return m_image; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_image;
};

// The photo window beside the main window: one per process, from start-up
// to the end, only shown and hidden. It stays on top, its caption is the
// name of the employee shown, and it keeps its place in CRIni.ini
// (section PhotoForm) whenever it is closed.
class TPhotoForm : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kVisota = 341;
    static constexpr int kShirina = 274;
    static constexpr int kTop = 50;
    static constexpr int kLeft = 20;

    explicit TPhotoForm(QWidget *parent = nullptr);
    ~TPhotoForm() override;

    // The window of the process, for the settings windows; nullptr before
    // start-up created it.
    static TPhotoForm *instance();

    void ChteniyeIni();
    void ZapisIni();

    // The main window's routines.
    bool FormaPhotoOtkrita() const { return isVisible(); }
    void OtrisovkaFormiPhoto();
    void ZakritiyeFormiPhoto();
    // Looks up the photo of that name in the in-memory folder (both trimmed,
    // the trimmed folder kept) and shows it; no photo, or one that cannot
    // be read, leaves the picture and caption as they were.
    void OtobrazheniyePhoto(const QString &FIODlyaPhoto);

    // Back to the stored defaults of place and size, shown and opaque.
    void vosstanovitRazmeriIPolozhenie();

    const QImage &picture() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    TScaledPicture *ImagePhotoPit;
};

} // namespace staff
