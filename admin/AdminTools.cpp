#include "admin/AdminTools.h"

#include "admin/Bezopasnost.h"
#include "admin/NastroykiZapuska.h"
#include "admin/UnitBezopasnost.h"
#include "admin/UnitNasroykiStoimosti.h"
#include "admin/UnitNastroykiRabotiSBD.h"
#include "admin/UnitOchistkaTablitsBazi.h"
#include "core/AppEvents.h"
#include "core/AppPaths.h"
#include "core/IniSettings.h"
#include "core/MessageService.h"
#include "core/ProcessValues.h"
#include "core/RegistryLogin.h"
#include "core/SoundService.h"
#include "scanner/FormScanerTools.h"
#include "staff/UnitNastroykiPhoto.h"
#include "core/FieldButton.h"
#include "db/Connection.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QUrl>
#include <QVBoxLayout>

namespace admin {

namespace {

// A password written into a server's URL goes where passwords belong: into
// the masked password field (unless one is set there, which wins at login
// anyway), and so into the login store rather than CRIni.ini or the path
// field in clear.
// True when it moved one.
bool perenestiParolIzAdresa(QLineEdit *put, QLineEdit *parol)
{
    if (!db::isServerUrl(put->text()))
        return false;
    const QUrl url(put->text());
    if (!url.isValid() || url.password().isEmpty())
        return false;
    if (parol->text().isEmpty())
        parol->setText(url.password());
    put->setText(db::shownPath(put->text()));
    return true;
}

QLineEdit *pole(QWidget *parent, const char *name)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    return e;
}

QCheckBox *flazhok(QWidget *parent, const char *name, const QString &caption)
{
    auto *c = new QCheckBox(caption, parent);
    c->setObjectName(QLatin1String(name));
    return c;
}

// A settings window of its own, created for one opening.
template <typename Form> void otkrit(QWidget *parent)
{
    Form form(parent);
    core::execModal(form);
}

} // namespace

TAdminToolsForm::TAdminToolsForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AdminToolsForm"));
    setWindowTitle(QStringLiteral("Настройки"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto *nameGroup = new QGroupBox(QStringLiteral("Наименования объекта питания:"), this);
    NameOP = pole(nameGroup, "NameOP");
    NameOP->setMinimumWidth(420);
    auto *nameLayout = new QVBoxLayout(nameGroup);
    nameLayout->addWidget(NameOP);

    auto *dbGroup = new QGroupBox(QStringLiteral("Подключение к базе данных"), this);
    EditPutKFayluBD = pole(dbGroup, "EditPutKFayluBD");
    QPushButton *pick = core::makeButton("BPutKFayluBDEdit", QStringLiteral("..."), dbGroup);
    QPushButton *clear = core::makeButton("BPutKFayluBDCl", QStringLiteral("X"), dbGroup);
    for (QPushButton *b : {pick, clear})
        b->setFixedWidth(28);
    EditLogin = pole(dbGroup, "EditLogin");
    EditPassword = pole(dbGroup, "EditPassword");
    EditPassword->setEchoMode(QLineEdit::Password);
    auto *dbLayout = new QGridLayout(dbGroup);
    auto *pathLabel = new QLabel(QStringLiteral("Путь к файлу базы данных:"), dbGroup);
    pathLabel->setBuddy(EditPutKFayluBD);
    dbLayout->addWidget(pathLabel, 0, 0, 1, 3);
    dbLayout->addWidget(EditPutKFayluBD, 1, 0);
    dbLayout->addWidget(pick, 1, 1);
    dbLayout->addWidget(clear, 1, 2);
    auto *loginLabel = new QLabel(QStringLiteral("Логин:"), dbGroup);
    loginLabel->setBuddy(EditLogin);
    auto *passLabel = new QLabel(QStringLiteral("Пароль:"), dbGroup);
    passLabel->setBuddy(EditPassword);
    auto *login = new QHBoxLayout;
    login->addWidget(loginLabel);
    login->addWidget(EditLogin, 1);
    login->addWidget(passLabel);
    login->addWidget(EditPassword, 1);
    dbLayout->addLayout(login, 2, 0, 1, 3);

    CheckBoxPreduprezhdatEsliDataPitNeTekushaya =
        flazhok(this, "CheckBoxPreduprezhdatEsliDataPitNeTekushaya",
                QStringLiteral("Предупреждать, если дата питания не текущая"));
    CheckBoxRazreshitPitaniyeNeskolkoRaz = flazhok(this, "CheckBoxRazreshitPitaniyeNeskolkoRaz",
                                                   QStringLiteral("Разрешить питание несколько раз за рацион"));

    struct Knopka
    {
        const char *name;
        QString caption;
        void (TAdminToolsForm::*click)();
    };
    const QList<Knopka> knopki = {
        {"ButtonNastroykiZapuska", QStringLiteral("Настройки запуска"),
         &TAdminToolsForm::ButtonNastroykiZapuskaClick},
        {"NastrSchitivatelya", QStringLiteral("Настройки считывателя"),
         &TAdminToolsForm::NastrSchitivatelyaClick},
        {"ButtonNastroykiBezopasnosti", QStringLiteral("Безопасность"),
         &TAdminToolsForm::ButtonNastroykiBezopasnostiClick},
        {"ButtonNasroykiStoimosti", QStringLiteral("Настройки стоимости"),
         &TAdminToolsForm::ButtonNasroykiStoimostiClick},
        {"ButtonNastrScaner", QStringLiteral("Настройки сканера"), &TAdminToolsForm::ButtonNastrScanerClick},
        {"ButtonNastrPhoto", QStringLiteral("Настройки фото"), &TAdminToolsForm::ButtonNastrPhotoClick},
        {"ButtonNastrRabotiSBD", QStringLiteral("Настройки работы с БД"),
         &TAdminToolsForm::ButtonNastrRabotiSBDClick},
        {"ButtonOchistkaTablitsBazi", QStringLiteral("Очистка таблиц базы"),
         &TAdminToolsForm::ButtonOchistkaTablitsBaziClick},
    };
    auto *buttons = new QGridLayout;
    for (int i = 0; i < knopki.size(); ++i) {
        QPushButton *b = core::makeButton(knopki[i].name, knopki[i].caption, this);
        connect(b, &QPushButton::clicked, this, knopki[i].click);
        buttons->addWidget(b, i / 2, i % 2);
    }
    QPushButton *zakrit = core::makeButton("Zakrit", QStringLiteral("Закрыть"), this);

    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(zakrit);
    auto *main = new QVBoxLayout(this);
    main->addWidget(nameGroup);
    main->addWidget(dbGroup);
    main->addWidget(CheckBoxPreduprezhdatEsliDataPitNeTekushaya);
    main->addWidget(CheckBoxRazreshitPitaniyeNeskolkoRaz);
    main->addLayout(buttons);
    main->addLayout(bottom);
    main->setSizeConstraint(QLayout::SetFixedSize);

    connect(NameOP, &QLineEdit::textChanged, this,
            [](const QString &text) { emit core::AppEvents::instance().nameOPChanged(text); });
    connect(pick, &QPushButton::clicked, this, &TAdminToolsForm::BPutKFayluBDEditClick);
    connect(clear, &QPushButton::clicked, EditPutKFayluBD, &QLineEdit::clear);
    connect(zakrit, &QPushButton::clicked, this, &QDialog::accept);
}

void TAdminToolsForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TAdminToolsForm::FormShow()
{
    try {
        const auto ini = core::openMainIni();
        NameOP->setText(ini->readString(QStringLiteral("GLForm"), QStringLiteral("NameOP"),
                                        QStringLiteral("Наименование объекта питания")));
        EditPutKFayluBD->setText(ini->readString(QStringLiteral("Options"), QStringLiteral("EditPutKFayluBD"),
                                                 core::defaultDbPath()));
        CheckBoxPreduprezhdatEsliDataPitNeTekushaya->setChecked(ini->readBool(
            QStringLiteral("Options"), QStringLiteral("CheckBoxPreduprezhdatEsliDataPitNeTekushaya"), true));
        CheckBoxRazreshitPitaniyeNeskolkoRaz->setChecked(ini->readBool(
            QStringLiteral("Options"), QStringLiteral("CheckBoxRazreshitPitaniyeNeskolkoRaz"), false));
        const core::TNastroyki &n = core::pv().Nastroyki;
        EditLogin->setText(n.BDLogin);
        EditPassword->setText(n.BDPass);
        m_parolPerenesen = perenestiParolIzAdresa(EditPutKFayluBD, EditPassword);
        m_ishodnyPut = EditPutKFayluBD->text();
        m_ishodnyLogin = EditLogin->text();
        m_ishodnyParol = EditPassword->text();
    } catch (const std::exception &e) {
        core::showError(e, true);
    }
}

void TAdminToolsForm::done(int result)
{
    FormCloseQuery();
    QDialog::done(result);   // the window always closes
}

bool TAdminToolsForm::FormCloseQuery()
{
    m_parolPerenesen = perenestiParolIzAdresa(EditPutKFayluBD, EditPassword) || m_parolPerenesen;
    auto &n = core::pv().Nastroyki;
    n.PreduprezhdatEsliDataPitNeTekushaya = CheckBoxPreduprezhdatEsliDataPitNeTekushaya->isChecked();
    n.RazreshitPitaniyeNeskolkoRaz = CheckBoxRazreshitPitaniyeNeskolkoRaz->isChecked();
    n.BDLogin = EditLogin->text();
    n.BDPass = EditPassword->text();
    // CRIni.ini loses the URL's password below: the login store gets it now
    // rather than at the program's end, which a crash would never reach.
    if (m_parolPerenesen)
        core::writeDbLogin({n.BDLogin, n.BDPass});

    const auto ini = core::openMainIni();
    ini->writeString(QStringLiteral("GLForm"), QStringLiteral("NameOP"), NameOP->text());
    ini->writeString(QStringLiteral("Options"), QStringLiteral("EditPutKFayluBD"), EditPutKFayluBD->text());
    ini->writeBool(QStringLiteral("Options"), QStringLiteral("CheckBoxPreduprezhdatEsliDataPitNeTekushaya"),
                   CheckBoxPreduprezhdatEsliDataPitNeTekushaya->isChecked());
    ini->writeBool(QStringLiteral("Options"), QStringLiteral("CheckBoxRazreshitPitaniyeNeskolkoRaz"),
                   CheckBoxRazreshitPitaniyeNeskolkoRaz->isChecked());
    if (!ini->flush()) {
        // Closing the program now would start it again on the old settings.
        core::showMessage(QStringLiteral("Не удалось записать настройки в файл ") + ini->path()
                              + QStringLiteral(". Настройки не сохранены."),
                          core::Icon::Error);
        return false;
    }

    if (EditPutKFayluBD->text() != m_ishodnyPut || EditLogin->text() != m_ishodnyLogin
        || EditPassword->text() != m_ishodnyParol) {
        core::beep(core::Beep::Default);
        core::showMessage(QStringLiteral("Настройки подключения к базе данных были изменены! Приложение "
                                         "будет закрыто!\r\nСогласитесь с предложением остановки работы "
                                         "программы! Следующий запуск будет выполнен с новыми настройками!"));
        emit core::AppEvents::instance().mainWindowCloseRequested();
    }
    return true;
}

void TAdminToolsForm::BPutKFayluBDEditClick()
{
    QFileDialog dialog(this, QString(), EditPutKFayluBD->text(), QStringLiteral("Microsoft Access (*.mdb)"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (core::execModal(dialog) == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        EditPutKFayluBD->setText(dialog.selectedFiles().constFirst());
}

void TAdminToolsForm::ButtonNastroykiZapuskaClick() { otkrit<TFormNastroykiZapuska>(this); }

void TAdminToolsForm::NastrSchitivatelyaClick()
{
    // The reader window lives for the whole run and is shown, not modally,
    // by the main window.
    emit core::AppEvents::instance().readerWindowRequested();
}

void TAdminToolsForm::ButtonNastroykiBezopasnostiClick() { OtkritNastroykiBezopasnosti(this); }
void TAdminToolsForm::ButtonNasroykiStoimostiClick() { otkrit<TNasroykiStoimostiForm>(this); }
void TAdminToolsForm::ButtonNastrScanerClick() { otkrit<scanner::TFormScanerTools>(this); }
void TAdminToolsForm::ButtonNastrPhotoClick() { otkrit<staff::TNastroykiPhotoForm>(this); }
void TAdminToolsForm::ButtonNastrRabotiSBDClick() { otkrit<TNastroykiRabotiSBDForm>(this); }

void TAdminToolsForm::ButtonOchistkaTablitsBaziClick()
{
    if (ProverkaDostupa(kOchistkaTablits))
        otkrit<TOchistkaTablitsBaziForm>(this);
}

} // namespace admin
