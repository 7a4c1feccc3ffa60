#include "GL.h"

#include "AccessStart.h"
#include "DatabaseLink.h"
#include "InfoForm.h"
#include "JournalView.h"
#include "MealRegistration.h"
#include "core/RadioGroup.h"
#include "WindowGeometry.h"
#include "Zastavka.h"

#include "admin/AdminTools.h"
#include "admin/Bezopasnost.h"
#include "admin/UnitBezopasnost.h"
#include "admin/UnitVvodStoimosti.h"

#include "core/AppEvents.h"
#include "core/AppPaths.h"
#include "core/Error.h"
#include "core/GridWheel.h"
#include "core/IniSettings.h"
#include "core/MessageService.h"
#include "core/ProcessValues.h"
#include "core/RegistryLogin.h"
#include "core/TextUtil.h"
#include "db/Connection.h"
#include "db/DBTools.h"
#include "db/RecordSet.h"
#include "db/StructureCheck.h"
#include "mdbimport/AccessFile.h"
#include "reader/MainCR.h"
#include "reports/Otchet.h"
#include "reports/ZagruzkaSotr.h"
#include "scanner/ScannerController.h"
#include "staff/List.h"
#include "staff/ListDop.h"
#include "staff/UnitPhoto.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QString kSortField = QStringLiteral("NMDateTimeTeh_Obrat");

QPushButton *makeButton(const QString &name, const QString &text, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(name);
    return b;
}

// The window's large bold labels: the row counter and the meal-type name.
QLabel *makeBigLabel(const QString &name, const QString &text, int pointSize, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    QFont f = l->font();
    f.setPointSize(pointSize);
    f.setBold(true);
    l->setFont(f);
    l->setAlignment(Qt::AlignCenter);
    return l;
}

// An empty file is an empty SQLite database. Made through SQLite's own
// rules would need a connection; a new file has no connection to disturb.
void createEmptyFile(const QString &path)
{
    QFile f(path);
    if (f.open(QIODevice::NewOnly | QIODevice::WriteOnly))
        f.close();
}

// Runs a step whose errors must never stop the caller (shutdown, optional steps).
template <typename F> void ignoringErrors(F &&step)
{
    try {
        step();
    } catch (...) {
    }
}

} // namespace

TGLForm::TGLForm(QWidget *parent)
    : QMainWindow(parent),
      FDConnection1(std::make_unique<db::Connection>()),
      FDConnectionUsers(std::make_unique<db::Connection>())
{
    setObjectName(QStringLiteral("GLForm"));
    setWindowTitle(QStringLiteral("Трапезон 2.1.0   "));
    setMinimumSize(726, 629);
    resize(726, 630);

    // The splash comes first, so that it paints while the rest is built.
    m_splash = new TZastavkaForm(this);
    m_splash->showNow();

    FDQuery1 = new db::RecordSet(this);
    FDQuery1->setObjectName(QStringLiteral("FDQuery1"));
    FDQuery1->setConnection(FDConnection1.get());
    FDQueryUsers = new db::RecordSet(this);
    FDQueryUsers->setObjectName(QStringLiteral("FDQueryUsers"));
    FDQueryUsers->setConnection(FDConnectionUsers.get());
    FDQueryUsers->setTable(QStringLiteral("Users"));

    m_journalView = new app::JournalView(this);
    m_journalView->setRecordSet(FDQuery1);
    m_registration = new app::MealRegistration(*m_journalView, this);
    m_registration->setEmployees(FDQueryUsers);
    // On a server, a dropped connection is reopened by the link, and both
    // record sets re-read with it.
    m_link = new app::DatabaseLink(this);
    m_link->addConnection(FDConnection1.get());
    m_link->addConnection(FDConnectionUsers.get());
    m_link->addRecordSet(FDQuery1);
    m_link->addRecordSet(FDQueryUsers);
    m_journalView->setLink(m_link);
    m_registration->setLink(m_link);
    m_scanner = new scanner::ScannerController(this);

    buildControls();
    buildMenu();
    wireLogic();

    MonthCalendar1->setSelectedDate(QDate::currentDate());
    m_journalView->setDate(MonthCalendar1->selectedDate());
    VidPitaniya->setItemIndex(0);
    core::pv().VsePitaniya = QStringLiteral("Да");
    Dobavlenie->setEnabled(false);
    EditOtbor->setEnabled(false);
    PoiskPoFIOButton->setEnabled(false);
}

TGLForm::~TGLForm()
{
    // The record sets go before the connections they read from.
    delete FDQuery1;
    delete FDQueryUsers;
}

void TGLForm::setReaderWindow(reader::TMainCRForm *reader) { m_reader = reader; }
void TGLForm::setPhotoWindow(staff::TPhotoForm *photo) { m_photo = photo; }
void TGLForm::setReportWindow(TOtchetForm *report) { m_report = report; }

void TGLForm::buildControls()
{
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("GLCentral"));
    setCentralWidget(central);
    auto *main = new QHBoxLayout(central);
    main->setContentsMargins(6, 6, 6, 6);
    main->setSpacing(6);

    // Left: calendar, meal type, name search, counter, sounds.
    auto *left = new QVBoxLayout;
    left->setSpacing(4);
    MonthCalendar1 = new QCalendarWidget(central);
    MonthCalendar1->setObjectName(QStringLiteral("MonthCalendar1"));
    MonthCalendar1->setLocale(QLocale(QLocale::Russian, QLocale::Russia));
    MonthCalendar1->setFirstDayOfWeek(Qt::Monday);
    MonthCalendar1->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    MonthCalendar1->setFixedWidth(236);
    MonthCalendar1->setMinimumHeight(MonthCalendar1->sizeHint().height());
    left->addWidget(MonthCalendar1);

    QStringList items;
    for (int i = 0; i <= 4; ++i)
        items << core::NazvanieVidaPitaniya(i);
    VidPitaniya = new TRadioGroup(QStringLiteral("Вид питания:"), items, central);
    VidPitaniya->setObjectName(QStringLiteral("VidPitaniya"));
    left->addWidget(VidPitaniya);

    auto *poisk = new QGroupBox(QStringLiteral("Поиск по Ф.И.О. :"), central);
    poisk->setObjectName(QStringLiteral("GroupBoxPoisk"));
    auto *poiskLayout = new QGridLayout(poisk);
    poiskLayout->setContentsMargins(6, 4, 6, 4);
    EditOtbor = new QLineEdit(poisk);
    EditOtbor->setObjectName(QStringLiteral("EditOtbor"));
    PoiskPoFIOButton = makeButton(QStringLiteral("PoiskPoFIOButton"), QStringLiteral("Найти"), poisk);
    CLFIOButton = makeButton(QStringLiteral("CLFIOButton"), QStringLiteral("Очистить"), poisk);
    poiskLayout->addWidget(EditOtbor, 0, 0, 1, 2);
    poiskLayout->addWidget(PoiskPoFIOButton, 1, 0);
    poiskLayout->addWidget(CLFIOButton, 1, 1);
    left->addWidget(poisk);

    LabelKolVo = makeBigLabel(QStringLiteral("LabelKolVo"), QStringLiteral("0"), 40, central);
    left->addWidget(LabelKolVo);

    auto *sounds = new QGroupBox(QStringLiteral("Воспроизведение звуков:"), central);
    sounds->setObjectName(QStringLiteral("GroupBoxZvuki"));
    auto *soundsLayout = new QGridLayout(sounds);
    soundsLayout->setContentsMargins(6, 4, 6, 4);
    soundsLayout->setVerticalSpacing(2);
    CheckBoxUspeh = new QCheckBox(QStringLiteral("Успех"), sounds);
    CheckBoxUspeh->setObjectName(QStringLiteral("CheckBoxUspeh"));
    CheckBoxUzseEL = new QCheckBox(QStringLiteral("Уже был отмечен"), sounds);
    CheckBoxUzseEL->setObjectName(QStringLiteral("CheckBoxUzseEL"));
    CheckBoxNeProshla = new QCheckBox(QStringLiteral("Карта не найдена"), sounds);
    CheckBoxNeProshla->setObjectName(QStringLiteral("CheckBoxNeProshla"));
    ButtonUspeh = makeButton(QStringLiteral("ButtonUspeh"), QStringLiteral("->"), sounds);
    ButtonUzseEL = makeButton(QStringLiteral("ButtonUzseEL"), QStringLiteral("->"), sounds);
    ButtonNeProshla = makeButton(QStringLiteral("ButtonNeProshla"), QStringLiteral("->"), sounds);
    const QList<QPair<QCheckBox *, QPushButton *>> rows = {
        {CheckBoxUspeh, ButtonUspeh}, {CheckBoxUzseEL, ButtonUzseEL}, {CheckBoxNeProshla, ButtonNeProshla}};
    for (int i = 0; i < rows.size(); ++i) {
        soundsLayout->addWidget(rows[i].first, i, 0);
        rows[i].second->setFixedWidth(40);
        soundsLayout->addWidget(rows[i].second, i, 1);
    }
    left->addWidget(sounds);
    left->addStretch(1);
    main->addLayout(left);

    // Right: the journal grid, the barcode entry and the registration buttons.
    auto *right = new QVBoxLayout;
    right->setSpacing(4);
    DBGrid1 = new QTableView(central);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGrid1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    DBGrid1->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    DBGrid1->verticalHeader()->setVisible(false);
    DBGrid1->verticalHeader()->setDefaultSectionSize(20);
    DBGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    DBGrid1->horizontalHeader()->setHighlightSections(false);
    DBGrid1->horizontalHeader()->setStretchLastSection(false);
    QFont gridFont = DBGrid1->font();
    gridFont.setPointSize(8);
    DBGrid1->setFont(gridFont);
    DBGrid1->horizontalHeader()->setFont(gridFont);
    DBGrid1->setModel(FDQuery1);
    DBGrid1->viewport()->installEventFilter(this);
    right->addWidget(DBGrid1, 1);

    auto *shtrKod = new QHBoxLayout;
    auto *labelShtrKod = new QLabel(QStringLiteral("Штрихкод:"), central);
    labelShtrKod->setObjectName(QStringLiteral("LabelShtrKod"));
    GLEditShtrKod = new QLineEdit(central);
    GLEditShtrKod->setObjectName(QStringLiteral("GLEditShtrKod"));
    labelShtrKod->setBuddy(GLEditShtrKod);
    ButtonVvodShtrKoda =
        makeButton(QStringLiteral("ButtonVvodShtrKoda"), QStringLiteral("Ввод штрихкода"), central);
    shtrKod->addWidget(labelShtrKod);
    shtrKod->addWidget(GLEditShtrKod, 1);
    shtrKod->addWidget(ButtonVvodShtrKoda);
    right->addLayout(shtrKod);

    auto *buttons = new QHBoxLayout;
    Dobavlenie = makeButton(QStringLiteral("Dobavlenie"), QStringLiteral("Добавить"), central);
    Dobavlenie->setDefault(true);
    Dobavlenie->setMinimumHeight(36);
    Udalenie = makeButton(QStringLiteral("Udalenie"), QStringLiteral("Удалить"), central);
    Udalenie->setToolTip(QStringLiteral("Del"));
    Udalenie->setMinimumHeight(36);
    LabelDoubleVP = makeBigLabel(QStringLiteral("LabelDoubleVP"), QStringLiteral("Все"), 24, central);
    ButtonOtmenitNeZaprParolVTekSess = makeButton(
        QStringLiteral("ButtonOtmenitNeZaprParolVTekSess"), QStringLiteral("Pass Free"), central);
    ButtonOtmenitNeZaprParolVTekSess->setToolTip(
        QStringLiteral("Отменить \"Запомнить пароль на эту сессию\""));
    buttons->addWidget(Dobavlenie);
    buttons->addWidget(Udalenie);
    buttons->addWidget(LabelDoubleVP, 1);
    buttons->addWidget(ButtonOtmenitNeZaprParolVTekSess);
    right->addLayout(buttons);
    main->addLayout(right, 1);

    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    statusBar()->setSizeGripEnabled(true);
}

void TGLForm::buildMenu()
{
    struct Item
    {
        const char *name;
        QString text;
        void (TGLForm::*handler)();
        bool available = true;   // false: its window is not in the program yet
    };
    struct Menu
    {
        const char *name;
        QString text;
        QList<Item> items;
    };
    const QList<Menu> menus = {
        {"N2", QStringLiteral("Справочники"),
         {{"N3", QStringLiteral("Сотрудники"), &TGLForm::N3Click},
          {"N4", QStringLiteral("Должности"), &TGLForm::N4Click},
          {"N5", QStringLiteral("Подразделения"), &TGLForm::N5Click},
          {"N6", QStringLiteral("Организации"), &TGLForm::N6Click}}},
        {"N7", QStringLiteral("Сервис"),
         {{"N8", QStringLiteral("Настройки"), &TGLForm::N8Click},
          {"N9", QStringLiteral("Безопасность"), &TGLForm::N9Click},
          {"N10", QStringLiteral("Загрузка питающихся из Excel"), &TGLForm::N10Click}}},
        {"N11", QStringLiteral("Отчёты"),
         {{"N12", QStringLiteral("Основной отчёт"), &TGLForm::N12Click}}},
        {"N13", QStringLiteral("Справка"),
         {{"N14", QStringLiteral("Информация"), &TGLForm::N14Click}}},
    };
    menuBar()->setObjectName(QStringLiteral("MainMenu1"));
    for (const Menu &m : menus) {
        QMenu *menu = menuBar()->addMenu(m.text);
        menu->setObjectName(QString::fromLatin1(m.name));
        for (const Item &it : m.items) {
            QAction *a = menu->addAction(it.text);
            a->setObjectName(QString::fromLatin1(it.name));
            a->setEnabled(it.available);
            connect(a, &QAction::triggered, this, it.handler);
        }
    }
}

void TGLForm::wireLogic()
{
    using app::JournalView;
    using app::MealRegistration;

    // Journal view.
    connect(VidPitaniya, &TRadioGroup::itemClicked, this, [this] { ObrabotkaIzmeneniyaVidaPitaniya(); });
    connect(MonthCalendar1, &QCalendarWidget::clicked, m_journalView,
            [this](QDate d) { m_journalView->MonthCalendar1Click(d); });
    // Keyboard moves on the calendar change the day as well.
    connect(MonthCalendar1, &QCalendarWidget::selectionChanged, this, [this] {
        if (MonthCalendar1->selectedDate() != m_journalView->date())
            m_journalView->MonthCalendar1Click(MonthCalendar1->selectedDate());
    });
    connect(EditOtbor, &QLineEdit::textChanged, m_journalView,
            [this](const QString &t) { m_journalView->EditOtborChange(t); });
    connect(PoiskPoFIOButton, &QPushButton::clicked, m_journalView,
            [this] { m_journalView->PoiskPoFIOButtonClick(); });
    connect(CLFIOButton, &QPushButton::clicked, m_journalView,
            [this] { m_journalView->CLFIOButtonClick(); });
    connect(Udalenie, &QPushButton::clicked, this, &TGLForm::UdalenieClick);
    connect(ButtonOtmenitNeZaprParolVTekSess, &QPushButton::clicked, m_journalView,
            [this] { m_journalView->ButtonOtmenitNeZaprParolVTekSessClick(); });
    m_journalView->setHooks({[](const QString &action) { return admin::ProverkaDostupa(action); },
                             [] { admin::ZabytParolSessii(); }});

    connect(m_journalView, &JournalView::kolVoChanged, LabelKolVo, &QLabel::setText);
    connect(m_journalView, &JournalView::vidLabelChanged, LabelDoubleVP, &QLabel::setText);
    connect(m_journalView, &JournalView::registrationEnabled, this, [this](bool on) {
        Dobavlenie->setEnabled(on);
        EditOtbor->setEnabled(on);
        PoiskPoFIOButton->setEnabled(on);
    });
    connect(m_journalView, &JournalView::focusDobavlenie, this, &TGLForm::FokusirovatKnopkuDobavlenie);
    connect(m_journalView, &JournalView::otborCleared, EditOtbor, &QLineEdit::clear);
    connect(m_journalView, &JournalView::repaintGrid, DBGrid1->viewport(),
            qOverload<>(&QWidget::update));

    // The grid keeps the widths the operator gave its columns through every
    // re-read of the journal.
    connect(FDQuery1, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        const QHeaderView *h = DBGrid1->horizontalHeader();
        if (h->count() == app::kJournalColumnCount)
            for (int i = 0; i < h->count(); ++i)
                m_columnWidths[i] = h->sectionSize(i);
    });
    connect(FDQuery1, &QAbstractItemModel::modelReset, this, &TGLForm::applyColumnWidths);

    // Registration.
    MealRegistration::Hooks hooks;
    hooks.vibratSotrudnika = [this] { return vibratSotrudnika(); };
    hooks.vvodStoimosti = [this] { return admin::vvodStoimosti(this); };
    hooks.pokazatPhoto = [this](const QString &fio) {
        OtrisovkaFormiPhoto();
        if (m_photo)
            m_photo->OtobrazheniyePhoto(fio);
    };
    hooks.skritPhoto = [this] { ZakritiyeFormiPhoto(); };
    m_registration->setHooks(std::move(hooks));
    connect(m_registration, &MealRegistration::statusText, this,
            [this](const QString &t) { statusBar()->showMessage(t); });
    connect(m_link, &app::DatabaseLink::statusText, this,
            [this](const QString &t) { statusBar()->showMessage(t); });
    connect(m_registration, &MealRegistration::dobavlenieEnabled, Dobavlenie, &QWidget::setEnabled);
    connect(m_registration, &MealRegistration::focusDobavlenie, this,
            &TGLForm::FokusirovatKnopkuDobavlenie);
    connect(Dobavlenie, &QPushButton::clicked, this, &TGLForm::DobavlenieClick);
    // "Удалить" names the Delete key in its tooltip: the key does what the
    // button does. An edit field keeps the key for its text (it claims the
    // key before a window shortcut sees it).
    auto *deleteKey = new QShortcut(QKeySequence(Qt::Key_Delete), this);
    connect(deleteKey, &QShortcut::activated, this, [this] {
        if (Udalenie->isEnabled() && Udalenie->isVisible())
            Udalenie->click();
    });
    connect(ButtonVvodShtrKoda, &QPushButton::clicked, this, &TGLForm::ObrabotkaShtrichKoda);
    const auto soundChecks = [this] {
        m_registration->setSoundChecks({CheckBoxUspeh->isChecked(), CheckBoxUzseEL->isChecked(),
                                        CheckBoxNeProshla->isChecked()});
    };
    for (QCheckBox *c : {CheckBoxUspeh, CheckBoxUzseEL, CheckBoxNeProshla})
        connect(c, &QCheckBox::toggled, this, soundChecks);
    connect(ButtonUspeh, &QPushButton::clicked, this, [] { MealRegistration::ButtonUspehClick(); });
    connect(ButtonUzseEL, &QPushButton::clicked, this, [] { MealRegistration::ButtonUzseELClick(); });
    connect(ButtonNeProshla, &QPushButton::clicked, this,
            [] { MealRegistration::ButtonNeProshlaClick(); });

    // Scanner.
    connect(m_scanner, &scanner::ScannerController::barcodeReceived, this, &TGLForm::ComPortRxChar);
    connect(m_scanner, &scanner::ScannerController::statusMessage, this,
            [this](const QString &t) { statusBar()->showMessage(t); });

    // The employee list changed the employees: look-ups must see it at once.
    connect(&core::AppEvents::instance(), &core::AppEvents::employeeListClosed, this,
            &TGLForm::reloadEmployees);
    connect(&core::AppEvents::instance(), &core::AppEvents::employeesChanged, this,
            &TGLForm::reloadEmployees);
    // The settings windows reach the main window through the process-wide events.
    connect(&core::AppEvents::instance(), &core::AppEvents::readerWindowRequested, this, [this] {
        if (m_reader) {
            m_reader->show();
            m_reader->raise();
            m_reader->activateWindow();
        }
    });
    connect(&core::AppEvents::instance(), &core::AppEvents::nameOPChanged, this,
            [this](const QString &nameOP) { setWindowTitle(QStringLiteral("Трапезон 2.1.0   ") + nameOP); });
    connect(&core::AppEvents::instance(), &core::AppEvents::mainWindowCloseRequested, this,
            &QWidget::close, Qt::QueuedConnection);
    // Emptied tables must not live on in the copies registration looks at.
    connect(&core::AppEvents::instance(), &core::AppEvents::tablesCleared, this, [this] {
        reloadEmployees();
        ignoringErrors([this] {
            if (FDQuery1->isOpen())
                FDQuery1->refresh();
        });
        m_journalView->pokazatKolVo();
    });
}

// ---------------------------------------------------------------- start-up

void TGLForm::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_shown)
        FormShow();
}

void TGLForm::FormShow()
{
    if (m_shown)
        return;
    m_shown = true;
    auto &n = core::pv().Nastroyki;

    admin::SbrosSessii();
    const core::DbLogin login = core::readDbLogin();
    n.BDLogin = login.user;
    n.BDPass = login.password;
    applyMealTypeToControls(VidPitaniya->itemIndex());

    try {
        const auto ini = core::openMainIni();
        // The settings file exists once the program has run here: from then
        // on a missing default database is missing, not new.
        const bool firstStart = !QFileInfo::exists(ini->path());
        const QString iniProblem = ini->problem();
        const app::GLFormSettings s = app::readMainSettings(*ini, n);
        setWindowTitle(QStringLiteral("Трапезон 2.1.0   ") + s.NameOP);

        // A new installation starts at once on an empty database beside the
        // program; a path the administrator chose is never created silently.
        if (firstStart && QDir::cleanPath(n.PutKFayluBD) == QDir::cleanPath(core::defaultDbPath())
            && !QFileInfo::exists(n.PutKFayluBD))
            createEmptyFile(n.PutKFayluBD);

        // A database brought from the Windows program is an Access file:
        // offered for conversion before anything opens it. Its header is read
        // with a descriptor of its own only once SQLite has found the file not
        // to be one of its own: closing a descriptor of a SQLite file would
        // drop the locks of any connection this process holds on it.
        if (!db::checkDatabaseFile(n.PutKFayluBD).isEmpty()
            && mdbimport::AccessFile::isAccessFile(n.PutKFayluBD))
            n.PutKFayluBD = app::offerAccessConversion(this, n.PutKFayluBD, *ini);

        m_columnWidths = s.columnWidths;
        QList<db::RecordSet::Column> columns = app::JournalView::kolonki();
        for (int i = 0; i < columns.size() && i < m_columnWidths.size(); ++i)
            columns[i].width = m_columnWidths[i];
        FDQuery1->setColumns(columns);
        applyColumnWidths();
        if (n.RefreshGrid)
            DBGrid1->viewport()->update();

        applyWindowSize(s);

        CheckBoxUspeh->setChecked(s.soundOK);
        CheckBoxUzseEL->setChecked(s.soundNO);
        CheckBoxNeProshla->setChecked(s.soundERR);

        if (n.OtobrazhatPhoto)
            OtrisovkaFormiPhoto();
        else
            ZakritiyeFormiPhoto();

        VidPitaniya->setItemIndex(app::startMealType(s.NastrPriStarte, s.Vid, s.NastrIsklNP));

        // Without its settings the program does not know its database: it
        // must not register into another one.
        if (!iniProblem.isEmpty())
            core::showMessage(iniProblem, core::Icon::Error);
        if (!iniProblem.isEmpty() || !PodklucheniyeKBD()) {
            // The scanner still answers, so that a scan says why nothing
            // is registered instead of vanishing.
            ignoringErrors([this] { m_scanner->ObnovitRabotuSoScanerom(); });
            closeSplash();
            return;
        }
        m_connected = true;
        ObrabotkaIzmeneniyaVidaPitaniya();
        m_scanner->ObnovitRabotuSoScanerom();
    } catch (const std::exception &e) {
        core::showError(e, true);
    }

    ignoringErrors([this] {
        if (FDQuery1->isOpen())
            FDQuery1->sortBy(kSortField);
    });
    if (n.RefreshGrid)
        DBGrid1->viewport()->update();
    if (m_connected)
        m_journalView->refreshByMode();
    statusBar()->clearMessage();

    if (m_reader) {
        try {
            m_reader->DoRefresh();
            m_reader->DoOpen();
        } catch (const core::Error &e) {
            core::showMessage(e.message(), core::Icon::Error);
        } catch (const std::exception &e) {
            core::showMessage(QString::fromUtf8(e.what()), core::Icon::Error);
        }
    }
    ignoringErrors([] { admin::ZagruzkaNastroekBezopasnosti(); });
    closeSplash();
}

bool TGLForm::PodklucheniyeKBD()
{
    const auto &n = core::pv().Nastroyki;
    if (!db::isServerUrl(n.PutKFayluBD) && !QFileInfo::exists(n.PutKFayluBD)) {
        core::showMessage(QStringLiteral("Файл базы данных по указанному пути ") + n.PutKFayluBD
                              + QStringLiteral(" не существует"),
                          core::Icon::Error);
        return false;
    }
    if (!waitWhileLocked(n.PutKFayluBD))
        return false;
    try {
        const db::StructureReport report = db::ProverkaStrukturiBD(n.PutKFayluBD, n.BDLogin, n.BDPass);
        if (!report.failure.isEmpty()) {
            const QString text = report.refused
                                     ? report.failure
                                     : QStringLiteral("Проверка структуры базы данных ")
                                           + db::shownPath(n.PutKFayluBD) + QStringLiteral(" прервана: ")
                                           + report.failure;
            core::showMessage(core::errorText(QStringLiteral("EDatabaseError"), text, true),
                              core::Icon::Error);
            return false;
        }
        FDConnection1->openConfigured();
        FDConnectionUsers->openConfigured();
        m_link->setDatabase(n.PutKFayluBD, n.BDLogin, n.BDPass);
        FDConnection1->exec(QStringLiteral("SELECT * from CRLogString"));
        // A file the program may not write is still shown; registrations
        // are then refused with the read-only message.
        const bool readOnly = FDConnection1->isReadOnly();
        if (!readOnly)
            FDConnection1->exec(QStringLiteral("DELETE * from CRLogString"));
        // In query mode the journal view loads its rows at each refresh.
        if (!m_journalView->queryMode()) {
            FDQuery1->setSql(QStringLiteral("SELECT * from SpisokDoc"));
            FDQuery1->open();
        }
        FDQueryUsers->setSql(QStringLiteral("SELECT * from Users"));
        FDQueryUsers->open();
        if (readOnly)
            core::showMessage(QStringLiteral("База данных ") + db::shownPath(n.PutKFayluBD)
                                  + QStringLiteral(" открыта только для чтения: журнал можно "
                                                   "просматривать, но питание не будет "
                                                   "зарегистрировано. Дайте программе право "
                                                   "записи в файл и его папку и перезапустите её."),
                              core::Icon::Warning);
        return true;
    } catch (const std::exception &e) {
        core::showError(e, true);
    }
    return false;
}

bool TGLForm::waitWhileLocked(const QString &path)
{
    constexpr qint64 kLockWaitMs = 30000;
    if (!db::databaseBusy(path))
        return true;
    // Another program is writing: wait for it with the window alive and the
    // wait on show, then give up with the message that says what to do.
    QElapsedTimer waited;
    waited.start();
    while (db::databaseBusy(path)) {
        const qint64 left = (kLockWaitMs - waited.elapsed() + 999) / 1000;
        if (left <= 0) {
            statusBar()->clearMessage();
            core::showMessage(db::databaseBusyText(path), core::Icon::Error);
            return false;
        }
        const QString text = QStringLiteral("База данных занята другой программой. Ожидание: ")
                             + QString::number(left) + QStringLiteral(" с");
        statusBar()->showMessage(text);
        QEventLoop pause;
        QTimer::singleShot(200, &pause, &QEventLoop::quit);
        pause.exec();
    }
    statusBar()->clearMessage();
    return true;
}

void TGLForm::applyMealTypeToControls(int index)
{
    const bool registering = index > 0;
    core::pv().VsePitaniya = registering ? QStringLiteral("Нет") : QStringLiteral("Да");
    Dobavlenie->setEnabled(registering);
    EditOtbor->setEnabled(registering);
    PoiskPoFIOButton->setEnabled(registering);
    LabelDoubleVP->setText(core::NazvanieVidaPitaniya(registering ? index : 0));
}

void TGLForm::applyWindowSize(const app::GLFormSettings &s)
{
    const QScreen *scr = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect available = scr ? scr->availableGeometry() : QRect(0, 0, s.Shirina, s.Visota);
    const QRect r = app::placeOnScreen(QSize(s.Shirina, s.Visota), minimumSize(), available);
    setWindowState(windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen));
    resize(r.size());
    move(r.topLeft());
    if (s.WState)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void TGLForm::applyColumnWidths()
{
    QHeaderView *h = DBGrid1->horizontalHeader();
    for (int i = 0; i < h->count() && i < m_columnWidths.size(); ++i)
        h->resizeSection(i, m_columnWidths[i]);
}

void TGLForm::closeSplash()
{
    if (m_splash)
        m_splash->close();
}

// ---------------------------------------------------------------- running

bool TGLForm::event(QEvent *event)
{
    const bool result = QMainWindow::event(event);
    if (event->type() == QEvent::WindowActivate && m_shown && !m_closing)
        FormActivate();
    return result;
}

void TGLForm::FormActivate()
{
    FokusirovatKnopkuDobavlenie();
    m_journalView->FormActivate();
}

void TGLForm::ObrabotkaIzmeneniyaVidaPitaniya()
{
    m_journalView->ObrabotkaIzmeneniyaVidaPitaniya(VidPitaniya->itemIndex());
}

void TGLForm::FokusirovatKnopkuDobavlenie()
{
    if (Dobavlenie->isEnabled() && Dobavlenie->isVisible())
        Dobavlenie->setFocus(Qt::OtherFocusReason);
}

void TGLForm::PokazVStatusBare(const QString &message)
{
    statusBar()->showMessage(m_registration->statusLine(message));
}

void TGLForm::DobavlenieClick() { m_registration->DobavlenieClick(); }

void TGLForm::ObrabotkaShtrichKoda()
{
    if (m_registration->ObrabotkaShtrichKoda(GLEditShtrKod->text()))
        GLEditShtrKod->clear();
}

void TGLForm::SrabotkaSchitivatelyaGL(const QString &kartaScht)
{
    m_registration->SrabotkaSchitivatelyaGL(kartaScht);
}

void TGLForm::ComPortRxChar(const QString &text)
{
    GLEditShtrKod->setText(text);
    ObrabotkaShtrichKoda();
}

void TGLForm::UdalenieClick()
{
    const QItemSelectionModel *sel = DBGrid1->selectionModel();
    const int current = DBGrid1->currentIndex().isValid() ? DBGrid1->currentIndex().row() : -1;
    QList<int> selected;
    if (sel)
        for (const QModelIndex &i : sel->selectedRows())
            selected << i.row();
    m_journalView->UdalenieClick(current, selected);
}

bool TGLForm::vibratSotrudnika() { return staff::pickEmployee(this); }

void TGLForm::reloadEmployees()
{
    try {
        if (FDQueryUsers->isOpen())
            FDQueryUsers->refresh();
    } catch (const core::Error &e) {
        core::showMessage(e.message(), core::Icon::Error);
    }
}

void TGLForm::OtrisovkaFormiPhoto()
{
    if (m_photo)
        m_photo->OtrisovkaFormiPhoto();
}

void TGLForm::ZakritiyeFormiPhoto()
{
    if (m_photo)
        m_photo->ZakritiyeFormiPhoto();
}

bool TGLForm::FormaPhotoOtkrita() const { return m_photo && m_photo->FormaPhotoOtkrita(); }

void TGLForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QMainWindow::keyPressEvent(event);
        return;
    }
    // Enter presses "Добавить", the window's default button, except where
    // it plainly confirms what was typed: the barcode and the name search.
    QWidget *focus = focusWidget();
    if (focus == GLEditShtrKod)
        ButtonVvodShtrKoda->click();
    else if (focus == EditOtbor && PoiskPoFIOButton->isEnabled())
        PoiskPoFIOButton->click();
    else if (auto *b = qobject_cast<QPushButton *>(focus); b && b->isEnabled())
        b->click();
    else if (Dobavlenie->isEnabled())
        Dobavlenie->click();
    event->accept();
}

bool TGLForm::eventFilter(QObject *watched, QEvent *event)
{
    if (core::prokrutitVidKolesom(DBGrid1, watched, event))
        return true;
    return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------- menu

void TGLForm::N3Click() { staff::openEmployeeList(this); }
void TGLForm::N4Click()
{
    staff::openDirectory(this, QStringLiteral("Dolj"), QStringLiteral("Должности"));
}

void TGLForm::N5Click()
{
    staff::openDirectory(this, QStringLiteral("Podr"), QStringLiteral("Подразделения"));
}

void TGLForm::N6Click()
{
    staff::openDirectory(this, QStringLiteral("Org"), QStringLiteral("Организации"));
}
void TGLForm::N8Click()
{
    if (!admin::ProverkaDostupa(admin::kNastroyki))
        return;
    otkritAdminTools();
}
void TGLForm::N9Click() { admin::OtkritNastroykiBezopasnosti(this); }
void TGLForm::N10Click()
{
    // Closing it makes this window re-read its employees (AppEvents).
    reports::TZagruzkaSotrForm form(this);
    core::execModal(form);
}
void TGLForm::N12Click()
{
    if (m_report && admin::ProverkaDostupa(admin::kOtchet))
        m_report->pokazat();
}

void TGLForm::N14Click()
{
    TInfoForm info(this);
    core::execModal(info);
}

// The administration window, after the access check: the scanner's port is
// handed to the settings windows while it is open and taken back after.
void TGLForm::otkritAdminTools()
{
    m_scanner->beginSettingsWindow();
    {
        admin::TAdminToolsForm form(this);
        if (core::execModal(form) == QDialog::Accepted)
            obnovitZhurnalPoNastroykam();
    }
    m_scanner->endSettingsWindow();
    obnovitZhurnalPoNastroykam();
}

void TGLForm::obnovitZhurnalPoNastroykam()
{
    const auto &n = core::pv().Nastroyki;
    if (n.RefreshGrid)
        DBGrid1->viewport()->update();
    if (n.RefreshQuery)
        ignoringErrors([this] {
            if (FDQuery1->isOpen())
                FDQuery1->refresh();
        });
    m_journalView->pokazatKolVo();
}

// ---------------------------------------------------------------- closing

void TGLForm::closeEvent(QCloseEvent *event)
{
    if (m_closing) {
        event->accept();
        return;
    }
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    m_closing = true;
    event->accept();
    emit finished();
}

bool TGLForm::FormCloseQuery()
{
    if (core::ask(QStringLiteral("Остановить работу?"), core::Buttons::OkCancel) != core::Answer::Ok)
        return false;
    GL_ZavershenieRaboti();
    return true;
}

void TGLForm::GL_ZavershenieRaboti()
{
    ignoringErrors([this] { m_scanner->close(); });
    ignoringErrors([this] {
        if (m_photo)
            m_photo->ZapisIni();
    });
    ignoringErrors([this] {
        const QHeaderView *h = DBGrid1->horizontalHeader();
        if (h->count() == app::kJournalColumnCount)
            for (int i = 0; i < h->count(); ++i)
                m_columnWidths[i] = h->sectionSize(i);
    });
    ignoringErrors([this] {
        FDQueryUsers->close();
        FDQuery1->close();
        FDConnection1->close();
        FDConnectionUsers->close();
        DBTools::ZakritBD();
    });
    m_connected = false;
    ignoringErrors([this] {
        m_scanner->saveSettings();
        writeMainSettings();
    });
    ignoringErrors([] {
        const auto &n = core::pv().Nastroyki;
        core::writeDbLogin({n.BDLogin, n.BDPass});
    });
    ignoringErrors([] { admin::ZapisNastroekBezopasnostiPriZavershenii(); });
}

void TGLForm::writeMainSettings()
{
    const auto ini = core::openMainIni();
    for (int i = 0; i < m_columnWidths.size(); ++i)
        ini->writeInt(QStringLiteral("DBGridColumnsDlyaDoc"), QStringLiteral("WidthCount%1").arg(i + 1),
                      m_columnWidths[i]);
    ini->writeInt(QStringLiteral("GLForm"), QStringLiteral("Visota"), height());
    ini->writeInt(QStringLiteral("GLForm"), QStringLiteral("Shirina"), width());
    ini->writeBool(QStringLiteral("GLForm"), QStringLiteral("WState"), isMaximized());
    ini->writeBool(QStringLiteral("Sound"), QStringLiteral("OK"), CheckBoxUspeh->isChecked());
    ini->writeBool(QStringLiteral("Sound"), QStringLiteral("NO"), CheckBoxUzseEL->isChecked());
    ini->writeBool(QStringLiteral("Sound"), QStringLiteral("ERR"), CheckBoxNeProshla->isChecked());
    ini->writeInt(QStringLiteral("VidPitaniya"), QStringLiteral("Vid"),
                  std::max(0, VidPitaniya->itemIndex()));
    ini->writeString(QStringLiteral("Options"), QStringLiteral("PutKMaketuKartSotr"),
                     core::pv().Nastroyki.PutKMaketuKartSotr);
    ini->writeBool(QStringLiteral("ScanerOptions"), QStringLiteral("Scaner_Ispolzovanie"),
                   core::pv().Nastroyki.ScanerIspolzovanie);
    ini->flush();
}
