#include "staff/UserEdit.h"

#include "staff/ListDop.h"
#include "staff/KartochkaSotr.h"
#include "staff/RabotaSoShtrKodom.h"
#include "staff/RegCard.h"
#include "staff/UnitNastroykiPhoto.h"
#include "staff/UnitPhoto.h"
#include "staff/barcod.h"

#include "core/AppEvents.h"
#include "core/Error.h"
#include "core/FieldButton.h"
#include "core/MessageService.h"
#include "core/ProcessValues.h"
#include "core/SoundService.h"
#include "core/TextUtil.h"
#include "db/DBTools.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScopeGuard>
#include <QVBoxLayout>

namespace staff {

namespace {

const QString kDa = QStringLiteral("Да");

QLineEdit *pole(QWidget *parent, const char *name, bool readOnly = false)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setReadOnly(readOnly);
    e->setMinimumWidth(300);
    return e;
}

} // namespace

TUserEditForm::TUserEditForm(QWidget *parent) : QDialog(parent)
{
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    EditFIO = pole(this, "EditFIO");
    EditOrg = pole(this, "EditOrg", true);
    EditPodr = pole(this, "EditPodr", true);
    EditDolj = pole(this, "EditDolj", true);
    EditTabNum = pole(this, "EditTabNum");
    ITRCheck = new QCheckBox(QStringLiteral("И.Т.Р."), this);
    ITRCheck->setObjectName(QStringLiteral("ITRCheck"));

    // Name, directory fields with their pickers, personnel number.
    auto *fields = new QGridLayout;
    int row = 0;
    const auto addRow = [&](const QString &label, QLineEdit *edit, QPushButton *picker,
                            QPushButton *clear) {
        fields->addWidget(new QLabel(label, this), row++, 0, 1, 3);
        fields->addWidget(edit, row, 0);
        if (picker)
            fields->addWidget(picker, row, 1);
        fields->addWidget(clear, row, 2);
        ++row;
    };
    auto *bOrgEdit = core::makeFieldButton(core::FieldButton::Pick, QStringLiteral("BOrgEdit"), this,
                                          QStringLiteral("Выбрать организацию из справочника"));
    auto *bPodrEdit = core::makeFieldButton(core::FieldButton::Pick, QStringLiteral("BpodrEdit"), this,
                                           QStringLiteral("Выбрать подразделение из справочника"));
    auto *bDoljEdit = core::makeFieldButton(core::FieldButton::Pick, QStringLiteral("BDoljEdit"), this,
                                           QStringLiteral("Выбрать должность из справочника"));
    auto *bFIOCl = core::makeFieldButton(core::FieldButton::Clear, QStringLiteral("BFIOCl"), this);
    auto *bOrgCl = core::makeFieldButton(core::FieldButton::Clear, QStringLiteral("BOrgCl"), this);
    auto *bPodrCl = core::makeFieldButton(core::FieldButton::Clear, QStringLiteral("BPodrCl"), this);
    auto *bDoljCl = core::makeFieldButton(core::FieldButton::Clear, QStringLiteral("BDoljCl"), this);
    auto *bTabNCl = core::makeFieldButton(core::FieldButton::Clear, QStringLiteral("BTabNCl"), this);
    addRow(QStringLiteral("Ф.И.О.:"), EditFIO, nullptr, bFIOCl);
    addRow(QStringLiteral("Организация:"), EditOrg, bOrgEdit, bOrgCl);
    addRow(QStringLiteral("Структурное подразделение:"), EditPodr, bPodrEdit, bPodrCl);
    addRow(QStringLiteral("Должность:"), EditDolj, bDoljEdit, bDoljCl);
    addRow(QStringLiteral("Табельный номер:"), EditTabNum, nullptr, bTabNCl);
    fields->addWidget(ITRCheck, row++, 0);

    // The card.
    auto *cardGroup = new QGroupBox(QStringLiteral("Карта сотрудника:"), this);
    EditCardNum = pole(cardGroup, "EditCardNum");
    auto *bCardNCl = core::makeFieldButton(core::FieldButton::Clear, QStringLiteral("BCardNCl"), cardGroup);
    auto *regButton = core::makeButton("RegButton", QStringLiteral("Зарегистрировать"), cardGroup);
    auto *readerSettings =
        core::makeButton("ButtonNastrSchitivatelya", QStringLiteral("Настройки считывателя"), cardGroup);
    auto *cardLayout = new QGridLayout(cardGroup);
    cardLayout->addWidget(EditCardNum, 0, 0, 1, 2);
    cardLayout->addWidget(bCardNCl, 0, 2);
    cardLayout->addWidget(regButton, 1, 0);
    cardLayout->addWidget(readerSettings, 1, 1, 1, 2);

    // The barcode.
    auto *codeGroup = new QGroupBox(QStringLiteral("Штрихкод:"), this);
    MaskEditShtrKod = pole(codeGroup, "MaskEditShtrKod", true);
    MaskEditShtrKod->setText(kNetShtrKoda);
    auto *bShtrKodCl = core::makeFieldButton(core::FieldButton::Clear, QStringLiteral("BShtrKodCl"), codeGroup);
    auto *setCode = core::makeButton("ButtonSformirovatShtrKod", QStringLiteral("Установить штрихкод"), codeGroup);
    ImageShtrKod = new QLabel(codeGroup);
    ImageShtrKod->setObjectName(QStringLiteral("ImageShtrKod"));
    ImageShtrKod->setFixedSize(216, 79);
    ImageShtrKod->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto *codeLayout = new QGridLayout(codeGroup);
    codeLayout->addWidget(MaskEditShtrKod, 0, 0);
    codeLayout->addWidget(bShtrKodCl, 0, 1);
    codeLayout->addWidget(setCode, 1, 0, 1, 2);
    codeLayout->addWidget(ImageShtrKod, 2, 0, 1, 2);

    // The photo.
    auto *photoGroup = new QGroupBox(QStringLiteral("Фотография:"), this);
    ImagePhotoUsEd = new QLabel(photoGroup);
    ImagePhotoUsEd->setObjectName(QStringLiteral("ImagePhotoUsEd"));
    ImagePhotoUsEd->setFixedSize(180, 240);
    ImagePhotoUsEd->setAlignment(Qt::AlignCenter);
    auto *photoSettings = core::makeButton("ButtonPhotNastr", QStringLiteral("Настройки фото"), photoGroup);
    connect(photoSettings, &QPushButton::clicked, this, &TUserEditForm::ButtonPhotNastrClick);
    auto *photoLayout = new QVBoxLayout(photoGroup);
    photoLayout->addWidget(ImagePhotoUsEd);
    photoLayout->addWidget(photoSettings);

    // The card document template.
    auto *templateGroup = new QGroupBox(QStringLiteral("Путь к файлу макета (MS Word):"), this);
    EditPutKMaketuKartSotr = pole(templateGroup, "EditPutKMaketuKartSotr");
    auto *templatePick = core::makeFieldButton(core::FieldButton::Pick,
                                              QStringLiteral("ButtonPutKMaketuKartSotrEdit"), templateGroup,
                                              QStringLiteral("Выбрать файл макета"));
    auto *templateCl = core::makeFieldButton(core::FieldButton::Clear, QStringLiteral("ButtonPutKMaketuKartSotrCl"), templateGroup);
    auto *info = core::makeButton("ButtonUserInfo", QStringLiteral("Инфо"), templateGroup);
    auto *makeCard = core::makeButton("ButtonSformirovatKartSotr", QStringLiteral("Сформировать карточку"), templateGroup);
    auto *templateLayout = new QGridLayout(templateGroup);
    templateLayout->addWidget(EditPutKMaketuKartSotr, 0, 0, 1, 2);
    templateLayout->addWidget(templatePick, 0, 2);
    templateLayout->addWidget(templateCl, 0, 3);
    templateLayout->addWidget(info, 1, 0);
    templateLayout->addWidget(makeCard, 1, 1, 1, 3);

    ButtonSaveAndClose = core::makeButton("ButtonSaveAndClose", QStringLiteral("Сохранить и закрыть"), this);
    ButtonSaveAndClose->setDefault(true);
    auto *otmena = core::makeButton("ButtonOtmena", QStringLiteral("Отмена"), this);

    auto *left = new QVBoxLayout;
    left->addLayout(fields);
    left->addWidget(cardGroup);
    left->addStretch();
    auto *right = new QVBoxLayout;
    right->addWidget(photoGroup);
    right->addWidget(codeGroup);
    right->addStretch();
    auto *columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addLayout(right);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonSaveAndClose);
    buttons->addWidget(otmena);
    auto *main = new QVBoxLayout(this);
    main->addLayout(columns);
    main->addWidget(templateGroup);
    main->addLayout(buttons);
    main->setSizeConstraint(QLayout::SetFixedSize);

    connect(bFIOCl, &QPushButton::clicked, EditFIO, &QLineEdit::clear);
    connect(bOrgCl, &QPushButton::clicked, EditOrg, &QLineEdit::clear);
    connect(bPodrCl, &QPushButton::clicked, EditPodr, &QLineEdit::clear);
    connect(bDoljCl, &QPushButton::clicked, EditDolj, &QLineEdit::clear);
    connect(bTabNCl, &QPushButton::clicked, EditTabNum, &QLineEdit::clear);
    connect(bCardNCl, &QPushButton::clicked, EditCardNum, &QLineEdit::clear);
    connect(templateCl, &QPushButton::clicked, EditPutKMaketuKartSotr, &QLineEdit::clear);
    connect(bShtrKodCl, &QPushButton::clicked, this, &TUserEditForm::BShtrKodClClick);
    connect(bOrgEdit, &QPushButton::clicked, this,
            [this] { VyborIzSpravochnika(QStringLiteral("Org"), EditOrg); });
    connect(bPodrEdit, &QPushButton::clicked, this,
            [this] { VyborIzSpravochnika(QStringLiteral("Podr"), EditPodr); });
    connect(bDoljEdit, &QPushButton::clicked, this,
            [this] { VyborIzSpravochnika(QStringLiteral("Dolj"), EditDolj); });
    connect(regButton, &QPushButton::clicked, this, &TUserEditForm::RegButtonClick);
    connect(readerSettings, &QPushButton::clicked, this,
            [] { emit core::AppEvents::instance().readerWindowRequested(); });
    connect(setCode, &QPushButton::clicked, this, &TUserEditForm::ButtonSformirovatShtrKodClick);
    connect(templatePick, &QPushButton::clicked, this,
            &TUserEditForm::ButtonPutKMaketuKartSotrEditClick);
    connect(ButtonSaveAndClose, &QPushButton::clicked, this, &TUserEditForm::ButtonSaveAndCloseClick);
    connect(otmena, &QPushButton::clicked, this, &TUserEditForm::ButtonOtmenaClick);
    connect(info, &QPushButton::clicked, this, &TUserEditForm::ButtonUserInfoClick);
    connect(makeCard, &QPushButton::clicked, this, &TUserEditForm::ButtonSformirovatKartSotrClick);
}

TUserEditForm::~TUserEditForm() = default;

void TUserEditForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TUserEditForm::FormShow()
{
    auto &pv = core::pv();
    pv.SotrudnikSokhranen = false;
    pv.FotoZagruzheno = false;
    for (QLineEdit *e : {EditFIO, EditOrg, EditPodr, EditDolj, EditTabNum, EditCardNum})
        e->clear();
    ITRCheck->setChecked(false);

    const auto &b = pv.BuferSotrudnika;
    EditFIO->setText(b.FIO);
    EditOrg->setText(b.Org);
    EditPodr->setText(b.Podr);
    EditDolj->setText(b.Dolj);
    EditTabNum->setText(b.TabNum);
    EditCardNum->setText(b.CardNum);

    m_ishodnyShtrKod = b.ShtrKod;
    m_shtrKodIzmenen = false;
    MaskEditShtrKod->setText(b.ShtrKod.size() == 13 ? b.ShtrKod : kNetShtrKoda);
    ImageShtrKod->clear();
    OtrisovkaShtrKoda();

    EditPutKMaketuKartSotr->setText(pv.Nastroyki.PutKMaketuKartSotr);
    ITRCheck->setChecked(b.ITR == kDa);
    m_foto = QImage();
    ImagePhotoUsEd->clear();
    UstanovitPhoto();
    EditFIO->setFocus();
}

void TUserEditForm::UstanovitPhoto() { OtobrazheniyePhoto(EditFIO->text()); }

void TUserEditForm::OtobrazheniyePhoto(const QString &FIODlyaPhotoUsEd)
{
    const QString name = core::trimCodes(FIODlyaPhotoUsEd);
    const QString folder = core::trimCodes(core::pv().Nastroyki.PutPhotoFolder);
    if (name.isEmpty() || folder.isEmpty())
        return;
    const QString file = naytiFotoFayl(folder, name);
    if (file.isEmpty()) {
        core::pv().FotoZagruzheno = false;
        return;
    }
    const QImage image = zagruzitFoto(file);
    if (image.isNull())
        return;
    m_foto = image;
    ImagePhotoUsEd->setPixmap(QPixmap::fromImage(
        image.scaled(ImagePhotoUsEd->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    core::pv().FotoZagruzheno = true;
}

void TUserEditForm::ButtonPhotNastrClick()
{
    TNastroykiPhotoForm settings(this);
    core::execModal(settings);
    UstanovitPhoto();
}

void TUserEditForm::OtrisovkaShtrKoda()
{
    const QString code = MaskEditShtrKod->text();
    if (code == kNetShtrKoda)
        return;
    const QImage image = barcod::RisovanieEAN13(code, Qt::black, 10, true);
    if (image.isNull())
        ImageShtrKod->clear();
    else
        ImageShtrKod->setPixmap(QPixmap::fromImage(image));
}

void TUserEditForm::ButtonSformirovatShtrKodClick()
{
    if (MaskEditShtrKod->text() != kNetShtrKoda)
        return;
    try {
        MaskEditShtrKod->setText(RabotaSoShtrKodom::GeneratsiyaShtrKoda(
            QStringLiteral("0"), QStringLiteral("00"), RabotaSoShtrKodom::kPredelNomera));
        m_shtrKodIzmenen = true;
        OtrisovkaShtrKoda();
    } catch (const core::Error &e) {
        core::showMessage(e.message(), core::Icon::Error);
    }
}

void TUserEditForm::BShtrKodClClick()
{
    MaskEditShtrKod->setText(kNetShtrKoda);
    ImageShtrKod->clear();
    m_shtrKodIzmenen = true;
}

void TUserEditForm::VyborIzSpravochnika(const QString &table, QLineEdit *field)
{
    if (pickFromDirectory(this, table, field))
        ButtonSaveAndClose->setFocus();
}

void TUserEditForm::RegButtonClick()
{
    TRegCardForm form(this);
    form.setNomerKarty(EditCardNum->text());
    if (core::execModal(form) == QDialog::Accepted) {
        EditCardNum->setText(core::trimCodes(form.nomerKarty()));
        ButtonSaveAndClose->setFocus();
    }
}

void TUserEditForm::ButtonUserInfoClick()
{
    TFormUserMaketInfo info(this);
    core::execModal(info);
}

void TUserEditForm::ButtonSformirovatKartSotrClick()
{
    // The fields as they stand, saved or not; the pictures the editor shows.
    DannieKartochki d{EditFIO->text(), EditOrg->text(),    EditPodr->text(),
                      EditDolj->text(), EditTabNum->text(), EditCardNum->text(),
                      QImage(), QImage()};
    if (core::pv().FotoZagruzheno)
        d.foto = m_foto;
    if (MaskEditShtrKod->text() != kNetShtrKoda)
        d.shtrKod = barcod::RisovanieEAN13(MaskEditShtrKod->text(), Qt::black, 10, true);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
    SformirovatKartochku(EditPutKMaketuKartSotr->text(), d);
}

void TUserEditForm::ButtonPutKMaketuKartSotrEditClick()
{
    QFileDialog dialog(this, QString(), QString(), QStringLiteral("Файлы Word (*.doc *.docx)"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (core::execModal(dialog) == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        EditPutKMaketuKartSotr->setText(dialog.selectedFiles().constFirst());
}

bool TUserEditForm::TakieKartiEst()
{
    if (DBTools::OtkritBD() != DBTools::kOk) {
        core::showMessage(QStringLiteral("Произошла ошибка при подключении к базе данных"));
        DBTools::ZakritBD();
        return true;
    }
    const QString &svoy = core::pv().BuferSotrudnika.RedaktRecID;
    QString otchet;
    bool konflikt = false;
    const auto proverit = [&](const QString &column, const QString &value, const QString &what,
                              const QString &end) {
        // The employee's own row is passed over, so that another employee
        // holding the same value is found even when the own row comes first.
        // A new employee has no identifier yet: whatever is found belongs to another.
        const QString found = DBTools::PoiskDrugoyZapisi(QStringLiteral("Users"), column,
                                                         QStringLiteral("NM"), QStringLiteral("RecID"),
                                                         value, svoy);
        if (found == DBTools::kNo || found == DBTools::kNetPodklucheniya)
            return;
        const QString name = found.section(DBTools::kRazd, 0, 0);
        otchet += what + QLatin1Char('"') + value + QStringLiteral("\" уже был присвоен \"") + name
                  + QLatin1Char('"') + end;
        konflikt = true;
    };
    const QString crlf = QStringLiteral("\r\n");
    if (!EditCardNum->text().isEmpty())
        proverit(QStringLiteral("NMCardNum"), EditCardNum->text(), QStringLiteral("Номер карты "), crlf);
    const QString code = MaskEditShtrKod->text();
    if (!code.isEmpty() && code != kNetShtrKoda)
        proverit(QStringLiteral("ShtrKod"), code, QStringLiteral("Штрихкод "), crlf);
    if (!EditTabNum->text().isEmpty())
        proverit(QStringLiteral("NMTabNum"), EditTabNum->text(), QStringLiteral("Табельный номер "),
                 QString());
    DBTools::ZakritBD();

    if (konflikt) {
        core::beep(core::Beep::Default);
        core::showMessage(otchet);
    }
    return konflikt;
}

void TUserEditForm::ButtonSaveAndCloseClick()
{
    auto &pv = core::pv();
    if (TakieKartiEst()) {
        pv.SotrudnikSokhranen = false;
        return;
    }
    pv.SotrudnikSokhranen = true;
    auto &b = pv.BuferSotrudnika;
    b.FIO = EditFIO->text();
    b.Org = EditOrg->text();
    b.Podr = EditPodr->text();
    b.Dolj = EditDolj->text();
    b.TabNum = EditTabNum->text();
    b.CardNum = EditCardNum->text();
    const QString code = MaskEditShtrKod->text();
    if (code != kNetShtrKoda)
        b.ShtrKod = code;
    else
        b.ShtrKod = !m_shtrKodIzmenen && m_ishodnyShtrKod.size() != 13 ? m_ishodnyShtrKod : QString();
    pv.Nastroyki.PutKMaketuKartSotr = EditPutKMaketuKartSotr->text();
    b.ITR = ITRCheck->isChecked() ? kDa : QString();
    accept();
}

void TUserEditForm::ButtonOtmenaClick()
{
    core::pv().SotrudnikSokhranen = false;
    reject();
}

} // namespace staff
