#include "staff/UnitNastroykiPhoto.h"

#include "staff/UnitPhoto.h"

#include "core/FieldButton.h"
#include "core/IniSettings.h"
#include "core/MessageService.h"
#include "core/ProcessValues.h"
#include "core/TextUtil.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

namespace staff {

namespace {

const QString kOptions = QStringLiteral("Options");

} // namespace

TNastroykiPhotoForm::TNastroykiPhotoForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("NastroykiPhotoForm"));
    setWindowTitle(QStringLiteral("Настройки отображения фотографий"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    CheckBoxOtobrazhatPhoto = new QCheckBox(QStringLiteral("Отображать фотографии питающихся"), this);
    CheckBoxOtobrazhatPhoto->setObjectName(QStringLiteral("CheckBoxOtobrazhatPhoto"));
    auto *folderLabel = new QLabel(QStringLiteral("Путь к папке с фотографиями:"), this);
    EditPutPhotoFolder = new QLineEdit(this);
    EditPutPhotoFolder->setObjectName(QStringLiteral("EditPutPhotoFolder"));
    EditPutPhotoFolder->setMinimumWidth(360);
    folderLabel->setBuddy(EditPutPhotoFolder);
    QPushButton *pick = core::makeFieldButton(core::FieldButton::Pick,
                                              QStringLiteral("BPutPhotoFolderEdit"), this,
                                              QStringLiteral("Выбрать папку с фотографиями"));
    QPushButton *clear =
        core::makeFieldButton(core::FieldButton::Clear, QStringLiteral("BPutPhotoFolderCl"), this);
    auto *note = new QLabel(
        QStringLiteral("Имена файлов фотографий должны полностью совпадать с Ф.И.О. питающихся"), this);
    QFont f = note->font();
    f.setItalic(true);
    f.setUnderline(true);
    note->setFont(f);
    QPushButton *reset = core::makeButton("ButtonVosstanRazmIPolozhPhotForm", QStringLiteral("Восстановить размеры и положение окна фото"), this);
    QPushButton *zakrit = core::makeButton("ZakritPhoto", QStringLiteral("Закрыть"), this);

    auto *grid = new QGridLayout(this);
    grid->addWidget(CheckBoxOtobrazhatPhoto, 0, 0, 1, 3);
    grid->addWidget(folderLabel, 1, 0, 1, 3);
    grid->addWidget(EditPutPhotoFolder, 2, 0);
    grid->addWidget(pick, 2, 1);
    grid->addWidget(clear, 2, 2);
    grid->addWidget(note, 3, 0, 1, 3);
    grid->addWidget(reset, 4, 0, 1, 3);
    grid->addWidget(zakrit, 5, 0, 1, 3, Qt::AlignRight);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    connect(pick, &QPushButton::clicked, this, &TNastroykiPhotoForm::BPutPhotoFolderEditClick);
    connect(clear, &QPushButton::clicked, EditPutPhotoFolder, &QLineEdit::clear);
    connect(reset, &QPushButton::clicked, this,
            &TNastroykiPhotoForm::ButtonVosstanRazmIPolozhPhotFormClick);
    connect(zakrit, &QPushButton::clicked, this, &QDialog::accept);
}

void TNastroykiPhotoForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    try {
        const auto ini = core::openMainIni();
        CheckBoxOtobrazhatPhoto->setChecked(
            ini->readBool(kOptions, QStringLiteral("CheckBoxOtobrazhatPhoto"), false));
        EditPutPhotoFolder->setText(ini->readString(kOptions, QStringLiteral("EditPutPhotoFolder"), QString()));
    } catch (const std::exception &e) {
        core::showError(e, true);
    }
}

void TNastroykiPhotoForm::BPutPhotoFolderEditClick()
{
    QFileDialog dialog(this, QStringLiteral("Папка с фотографиями"), EditPutPhotoFolder->text());
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (core::execModal(dialog) == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        EditPutPhotoFolder->setText(dialog.selectedFiles().constFirst());
}

void TNastroykiPhotoForm::ButtonVosstanRazmIPolozhPhotFormClick()
{
    if (core::ask(QStringLiteral("Восстановить размеры и положение окна фото?"), core::Buttons::OkCancel,
                  core::Icon::None)
        != core::Answer::Ok)
        return;
    if (TPhotoForm *photo = TPhotoForm::instance())
        photo->vosstanovitRazmeriIPolozhenie();
}

void TNastroykiPhotoForm::done(int result)
{
    const bool on = CheckBoxOtobrazhatPhoto->isChecked();
    const QString folder = EditPutPhotoFolder->text();
    // Blanks alone are no folder: every look-up trims them away.
    if (on && core::trimCodes(folder).isEmpty()) {
        core::showMessage(QStringLiteral("Галочка \"Отображать фотографии питающихся\" установлена, "
                                         "а путь к папке с фотографиями не указан!"));
        return;
    }
    auto &n = core::pv().Nastroyki;
    n.OtobrazhatPhoto = on;
    n.PutPhotoFolder = folder;
    if (TPhotoForm *photo = TPhotoForm::instance()) {
        if (on)
            photo->OtrisovkaFormiPhoto();
        else
            photo->ZakritiyeFormiPhoto();
    }
    try {
        const auto ini = core::openMainIni();
        ini->writeBool(kOptions, QStringLiteral("CheckBoxOtobrazhatPhoto"), on);
        ini->writeString(kOptions, QStringLiteral("EditPutPhotoFolder"), folder);
        ini->flush();
    } catch (...) {
        // Memory holds the settings; the file is written at the next close.
    }
    QDialog::done(result);
}

} // namespace staff
