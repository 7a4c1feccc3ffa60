#include "staff/UnitPhoto.h"

#include "core/IniSettings.h"
#include "core/MessageService.h"
#include "core/ProcessValues.h"
#include "core/TextUtil.h"

#include <QCloseEvent>
#include <QDir>
#include <QImageReader>
#include <QPainter>
#include <QSet>
#include <QVBoxLayout>

namespace staff {

namespace {

TPhotoForm *g_instance = nullptr;
const QString kSection = QStringLiteral("PhotoForm");

const QSet<QString> &pictureSuffixes()
{
    static const QSet<QString> suffixes = [] {
        QSet<QString> s;
        for (const QByteArray &f : QImageReader::supportedImageFormats())
            s.insert(QString::fromLatin1(f).toLower());
        return s;
    }();
    return suffixes;
}

} // namespace

QString naytiFotoFayl(const QString &folder, const QString &name)
{
    if (folder.isEmpty() || name.isEmpty() || name.contains(QLatin1Char('/')))
        return QString();
    const QDir dir(folder);
    const QString prefix = name + QLatin1Char('.');
    // Listed, not matched by a wildcard pattern: the name is compared as text.
    const QStringList files = dir.entryList(QDir::Files | QDir::Readable, QDir::Name);
    for (const QString &f : files) {
        if (f.size() <= prefix.size() || !f.startsWith(prefix, Qt::CaseInsensitive))
            continue;
        const QString suffix = f.mid(prefix.size());
        if (!suffix.contains(QLatin1Char('.')) && pictureSuffixes().contains(suffix.toLower()))
            return dir.filePath(f);
    }
    return QString();
}

QImage zagruzitFoto(const QString &path)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);   // photos from cameras carry their rotation
    return reader.read();
}

TScaledPicture::TScaledPicture(QWidget *parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
}

void TScaledPicture::setPicture(const QImage &image)
{
    m_image = image;
    update();
}

void TScaledPicture::paintEvent(QPaintEvent *)
{
    if (m_image.isNull())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QSize size = m_image.size().scaled(this->size(), Qt::KeepAspectRatio);
    QRect target(QPoint(0, 0), size);
    target.moveCenter(rect().center());
    p.drawImage(target, m_image);
}

TPhotoForm::TPhotoForm(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("PhotoForm"));
    setWindowTitle(QStringLiteral("Фото"));
    ImagePhotoPit = new TScaledPicture(this);
    ImagePhotoPit->setObjectName(QStringLiteral("ImagePhotoPit"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ImagePhotoPit);
    g_instance = this;
    ChteniyeIni();
}

TPhotoForm::~TPhotoForm()
{
    if (g_instance == this)
        g_instance = nullptr;
}

TPhotoForm *TPhotoForm::instance() { return g_instance; }

const QImage &TPhotoForm::picture() const { return ImagePhotoPit->picture(); }

void TPhotoForm::ChteniyeIni()
{
    try {
        const auto ini = core::openMainIni();
        resize(ini->readInt(kSection, QStringLiteral("Shirina"), kShirina),
               ini->readInt(kSection, QStringLiteral("Visota"), kVisota));
        move(ini->readInt(kSection, QStringLiteral("Left"), kLeft),
             ini->readInt(kSection, QStringLiteral("Top"), kTop));
    } catch (const std::exception &e) {
        core::showError(e, true);
    }
}

void TPhotoForm::ZapisIni()
{
    try {
        const auto ini = core::openMainIni();
        ini->writeInt(kSection, QStringLiteral("Visota"), height());
        ini->writeInt(kSection, QStringLiteral("Shirina"), width());
        ini->writeInt(kSection, QStringLiteral("Top"), y());
        ini->writeInt(kSection, QStringLiteral("Left"), x());
        ini->flush();
    } catch (...) {
        // The place is kept at the next close.
    }
}

void TPhotoForm::OtrisovkaFormiPhoto()
{
    if (!isVisible())
        show();
}

void TPhotoForm::ZakritiyeFormiPhoto()
{
    if (isVisible())
        close();
}

void TPhotoForm::closeEvent(QCloseEvent *event)
{
    // The close box hides the window only; photo display stays on.
    ZapisIni();
    QWidget::closeEvent(event);
}

void TPhotoForm::OtobrazheniyePhoto(const QString &FIODlyaPhoto)
{
    const QString name = core::trimCodes(FIODlyaPhoto);
    QString &folder = core::pv().Nastroyki.PutPhotoFolder;
    folder = core::trimCodes(folder);
    if (name.isEmpty() || folder.isEmpty())
        return;
    const QString file = naytiFotoFayl(folder, name);
    if (file.isEmpty())
        return;
    const QImage image = zagruzitFoto(file);
    if (image.isNull())
        return;
    ImagePhotoPit->setPicture(image);
    setWindowTitle(name);
}

void TPhotoForm::vosstanovitRazmeriIPolozhenie()
{
    OtrisovkaFormiPhoto();
    move(kLeft, kTop);
    resize(kShirina, kVisota);
    setWindowOpacity(1.0);
}

} // namespace staff
