#include "reports/Otchet.h"

#include "core/IniSettings.h"
#include "core/MessageService.h"
#include "core/ProcessValues.h"
#include "core/TextUtil.h"
#include "staff/List.h"
#include "staff/ListDop.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace {

const QString kSektsiya = QStringLiteral("OtchetForm");
constexpr int kShirina = 670;
constexpr int kVisota = 550;

QPushButton *knopka(const QString &name, const QString &text, QWidget *parent,
                    const QString &podskazka = QString())
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(name);
    if (!podskazka.isEmpty()) {
        b->setToolTip(podskazka);
        b->setMinimumWidth(36);
    }
    return b;
}

QTableWidget *tablitsaItogov(const QString &name, QWidget *parent)
{
    auto *t = new QTableWidget(parent);
    t->setObjectName(name);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->verticalHeader()->setVisible(false);
    t->verticalHeader()->setDefaultSectionSize(18);
    t->horizontalHeader()->setDefaultSectionSize(300);
    t->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    return t;
}

// While a selection runs: the busy cursor, and its button cannot be pressed
// again; both come back however the selection ends.
class Zanyato
{
public:
    explicit Zanyato(QPushButton *button) : m_button(button)
    {
        m_button->setEnabled(false);
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~Zanyato()
    {
        QApplication::restoreOverrideCursor();
        m_button->setEnabled(true);
    }
    Zanyato(const Zanyato &) = delete;
    Zanyato &operator=(const Zanyato &) = delete;

private:
    QPushButton *m_button;
};

// Whatever goes wrong while the window closes, it closes.
template <typename F> void bezOshibok(F &&step)
{
    try {
        step();
    } catch (...) {
    }
}

} // namespace

TOtchetForm::TOtchetForm(QWidget *parent)
    : QDialog(parent, Qt::Window), m_dannie(std::make_unique<reports::DannieOtcheta>())
{
    setObjectName(QStringLiteral("OtchetForm"));
    setWindowTitle(QStringLiteral("Отчёты"));
    setModal(true);
    setMinimumSize(kShirina, kVisota);
    resize(kShirina, kVisota);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);

    // Period, organisation, employee.
    auto *top = new QHBoxLayout;
    auto *period = new QGroupBox(QStringLiteral("Период:"), this);
    period->setObjectName(QStringLiteral("GroupBoxPeriod"));
    auto *periodLayout = new QGridLayout(period);
    const auto granitsa = [&](int row, const QString &text, const QString &name, const QString &check,
                              QCheckBox *&box, QDateEdit *&picker) {
        box = new QCheckBox(text, period);
        box->setObjectName(check);
        picker = new QDateEdit(period);
        picker->setObjectName(name);
        picker->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
        picker->setCalendarPopup(true);
        picker->setLocale(QLocale(QLocale::Russian, QLocale::Russia));
        periodLayout->addWidget(box, row, 0);
        periodLayout->addWidget(picker, row, 1);
        // An unticked bound is open: its date plays no part.
        connect(box, &QCheckBox::toggled, picker, &QWidget::setEnabled);
    };
    granitsa(0, QStringLiteral("Начало:"), QStringLiteral("DateTimePickerNach"),
             QStringLiteral("CheckBoxNach"), CheckBoxNach, DateTimePickerNach);
    granitsa(1, QStringLiteral("Конец:"), QStringLiteral("DateTimePickerKon"),
             QStringLiteral("CheckBoxKon"), CheckBoxKon, DateTimePickerKon);
    top->addWidget(period);

    auto *names = new QGridLayout;
    const auto pole = [&](int row, const QString &label, const QString &name, QLineEdit *&edit,
                          const QString &pick, QPushButton *&pickButton, const QString &clear,
                          QPushButton *&clearButton) {
        auto *l = new QLabel(label, this);
        edit = new QLineEdit(this);
        edit->setObjectName(name);
        l->setBuddy(edit);
        pickButton = knopka(pick, QStringLiteral("..."), this, QStringLiteral("Выбрать"));
        clearButton = knopka(clear, QStringLiteral("X"), this, QStringLiteral("Очистить"));
        names->addWidget(l, row, 0);
        names->addWidget(edit, row, 1);
        names->addWidget(pickButton, row, 2);
        names->addWidget(clearButton, row, 3);
    };
    pole(0, QStringLiteral("Организация:"), QStringLiteral("EditOrg"), EditOrg,
         QStringLiteral("BOrgEdit"), BOrgEdit, QStringLiteral("BOrgCl"), BOrgCl);
    pole(1, QStringLiteral("Сотрудник:"), QStringLiteral("EditSotr"), EditSotr,
         QStringLiteral("BSotrEdit"), BSotrEdit, QStringLiteral("BSotrCl"), BSotrCl);
    top->addLayout(names, 1);
    layout->addLayout(top);

    // Meal type in five columns.
    auto *vid = new QGroupBox(QStringLiteral("Вид питания:"), this);
    vid->setObjectName(QStringLiteral("GroupVidPit"));
    auto *vidLayout = new QHBoxLayout(vid);
    GroupVidPit = new QButtonGroup(vid);
    for (int i = 0; i <= 4; ++i) {
        auto *b = new QRadioButton(core::NazvanieVidaPitaniya(i), vid);
        b->setObjectName(QStringLiteral("GroupVidPit%1").arg(i));
        GroupVidPit->addButton(b, i);
        vidLayout->addWidget(b);
    }
    layout->addWidget(vid);

    auto *actions = new QHBoxLayout;
    Sformirovat = knopka(QStringLiteral("Sformirovat"), QStringLiteral("Сформировать"), this);
    ButtonExcel = knopka(QStringLiteral("ButtonExcel"), QStringLiteral("Открыть в Excel"), this);
    actions->addWidget(Sformirovat);
    actions->addWidget(ButtonExcel);
    actions->addStretch(1);
    layout->addLayout(actions);

    // The records above, the totals below a splitter.
    auto *splitter = new QSplitter(Qt::Vertical, this);
    splitter->setObjectName(QStringLiteral("Splitter1"));
    DBGridOtch1 = new QTableView(splitter);
    DBGridOtch1->setObjectName(QStringLiteral("DBGridOtch1"));
    DBGridOtch1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGridOtch1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGridOtch1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    DBGridOtch1->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    DBGridOtch1->verticalHeader()->setVisible(false);
    DBGridOtch1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    DBGridOtch1->horizontalHeader()->setSectionsMovable(true);
    DBGridOtch1->setModel(m_dannie->zapisi());
    PageControl1 = new QTabWidget(splitter);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    StringGridOrg = tablitsaItogov(QStringLiteral("StringGridOrg"), PageControl1);
    StringGridSotr = tablitsaItogov(QStringLiteral("StringGridSotr"), PageControl1);
    StringGridVidPit = tablitsaItogov(QStringLiteral("StringGridVidPit"), PageControl1);
    PageControl1->addTab(StringGridOrg, QStringLiteral("По организациям"));
    PageControl1->addTab(StringGridSotr, QStringLiteral("По сотрудникам"));
    PageControl1->addTab(StringGridVidPit, QStringLiteral("По видам питания"));
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    layout->addWidget(splitter, 1);

    auto *bottom = new QHBoxLayout;
    LabelStrokaViborki = new QLabel(this);
    LabelStrokaViborki->setObjectName(QStringLiteral("LabelStrokaViborki"));
    LabelStrokaViborki->setWordWrap(true);
    LabelStrokaViborki->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Zakrit = knopka(QStringLiteral("Zakrit"), QStringLiteral("Закрыть"), this);
    bottom->addWidget(LabelStrokaViborki, 1);
    bottom->addWidget(Zakrit, 0, Qt::AlignBottom);
    layout->addLayout(bottom);

    for (QTableView *grid : {static_cast<QTableView *>(DBGridOtch1), static_cast<QTableView *>(StringGridOrg),
                             static_cast<QTableView *>(StringGridSotr),
                             static_cast<QTableView *>(StringGridVidPit)})
        grid->viewport()->installEventFilter(this);

    connect(Sformirovat, &QPushButton::clicked, this, &TOtchetForm::SformirovatClick);
    connect(BOrgEdit, &QPushButton::clicked, this, &TOtchetForm::BOrgEditClick);
    connect(BSotrEdit, &QPushButton::clicked, this, &TOtchetForm::BSotrEditClick);
    connect(BOrgCl, &QPushButton::clicked, this, &TOtchetForm::BOrgClClick);
    connect(BSotrCl, &QPushButton::clicked, this, &TOtchetForm::BSotrClClick);
    connect(Zakrit, &QPushButton::clicked, this, &QDialog::reject);

    OtrisovkaOchistkaStrGridov();
}

TOtchetForm::~TOtchetForm()
{
    DBGridOtch1->setModel(nullptr);
}

int TOtchetForm::pokazat()
{
    FormShow();
    return core::execModal(*this);
}

void TOtchetForm::FormShow()
{
    ButtonExcel->setEnabled(false);
    GroupVidPit->button(0)->setChecked(true);
    const QDate today = QDate::currentDate();
    DateTimePickerKon->setDate(today);
    DateTimePickerNach->setDate(today);
    CheckBoxNach->setChecked(true);
    CheckBoxKon->setChecked(true);
    DateTimePickerNach->setEnabled(true);
    DateTimePickerKon->setEnabled(true);

    const auto ini = core::openMainIni();
    resize(std::max(minimumWidth(), ini->readInt(kSektsiya, QStringLiteral("Shirina"), kShirina)),
           std::max(minimumHeight(), ini->readInt(kSektsiya, QStringLiteral("Visota"), kVisota)));

    bezOshibok([this] {
        m_dannie->uporyadochit();
        DBGridOtch1->viewport()->update();
    });
    LabelStrokaViborki->clear();
    PageControl1->setCurrentIndex(0);
    OtrisovkaOchistkaStrGridov();
}

reports::Otbor TOtchetForm::otbor() const
{
    reports::Otbor o;
    if (CheckBoxNach->isChecked())
        o.nachalo = DateTimePickerNach->date();
    if (CheckBoxKon->isChecked())
        o.konets = DateTimePickerKon->date();
    o.vidPitaniya = std::max(0, GroupVidPit->checkedId());
    o.org = EditOrg->text();
    o.sotr = EditSotr->text();
    return o;
}

QString TOtchetForm::strokaViborki() const { return LabelStrokaViborki->text(); }

void TOtchetForm::SformirovatClick()
{
    LabelStrokaViborki->clear();
    const reports::Otbor o = otbor();
    if (!reports::PeriodiVerni(o)) {
        core::showMessage(reports::kNepravilnoUkazaniPeriodi);
        return;
    }
    LabelStrokaViborki->setText(reports::StrokaViborki(o));
    ButtonExcel->setEnabled(true);

    // A year of a canteen takes a moment: say so before the window is busy.
    const Zanyato zanyato(Sformirovat);
    LabelStrokaViborki->setText(reports::StrokaViborki(o) + QStringLiteral("Идёт отбор записей…"));
    LabelStrokaViborki->repaint();

    const reports::Otchet r = reports::Sformirovat(
        *m_dannie, o, [](const std::exception &e) { core::showError(e, true); });

    QFont f = DBGridOtch1->font();
    f.setPointSize(8);
    DBGridOtch1->setFont(f);
    DBGridOtch1->horizontalHeader()->setFont(f);
    const QList<db::RecordSet::Column> kolonki = reports::KolonkiOtcheta();
    m_dannie->zapisi()->setColumns(kolonki);
    QHeaderView *h = DBGridOtch1->horizontalHeader();
    for (int i = 0; i < kolonki.size() && i < h->count(); ++i) {
        h->moveSection(h->visualIndex(i), i);
        h->resizeSection(i, kolonki[i].width);
    }

    m_itogi = r.itogi;
    LabelStrokaViborki->setText(r.stroka);
    FormirovanieItogov();
}

void TOtchetForm::OtrisovkaOchistkaStrGridov()
{
    const reports::Itogi pustie;
    zapolnitTablitsu(StringGridOrg, pustie.poOrganizatsiyam);
    zapolnitTablitsu(StringGridSotr, pustie.poSotrudnikam);
    zapolnitTablitsu(StringGridVidPit, pustie.poVidamPitaniya);
}

void TOtchetForm::FormirovanieItogov()
{
    zapolnitTablitsu(StringGridOrg, m_itogi.poOrganizatsiyam);
    zapolnitTablitsu(StringGridSotr, m_itogi.poSotrudnikam);
    zapolnitTablitsu(StringGridVidPit, m_itogi.poVidamPitaniya);
}

void TOtchetForm::zapolnitTablitsu(QTableWidget *grid, const reports::TablitsaItogov &t)
{
    grid->clear();
    grid->setColumnCount(2);
    grid->setHorizontalHeaderLabels({t.zagolovokImeni, t.zagolovokSummi});
    grid->setRowCount(int(t.stroki.size()));
    for (int i = 0; i < t.stroki.size(); ++i) {
        grid->setItem(i, 0, new QTableWidgetItem(t.stroki[i].first));
        grid->setItem(i, 1, new QTableWidgetItem(t.stroki[i].second));
    }
    for (int c = 0; c < 2; ++c)
        grid->horizontalHeader()->resizeSection(c, 300);
}

void TOtchetForm::BOrgEditClick() { staff::pickFromDirectory(this, QStringLiteral("Org"), EditOrg); }

void TOtchetForm::BSotrEditClick()
{
    auto &bufer = core::pv().BuferSotrudnika;
    // The list hands back the chosen employee through the buffer; the report
    // needs only the name, and leaves the buffer empty for registration.
    const auto ochistit = [&bufer] {
        bufer.FIO.clear();
        bufer.Org.clear();
        bufer.Podr.clear();
        bufer.Dolj.clear();
        bufer.TabNum.clear();
        bufer.CardNum.clear();
        bufer.ITR.clear();
        bufer.RecID.clear();
        bufer.Stoimost = QStringLiteral("0,00");
    };
    ochistit();
    if (staff::pickEmployee(this)) {
        EditSotr->setText(bufer.FIO);
        bufer.FIO.clear();
    } else {
        ochistit();
    }
}

void TOtchetForm::BOrgClClick() { EditOrg->clear(); }
void TOtchetForm::BSotrClClick() { EditSotr->clear(); }

void TOtchetForm::FormCloseQuery()
{
    bezOshibok([this] {
        const auto ini = core::openMainIni();
        ini->writeInt(kSektsiya, QStringLiteral("Visota"), height());
        ini->writeInt(kSektsiya, QStringLiteral("Shirina"), width());
        ini->flush();
    });
    bezOshibok([this] { m_dannie->zakrit(); });
}

void TOtchetForm::done(int result)
{
    FormCloseQuery();
    QDialog::done(result);
}

bool TOtchetForm::eventFilter(QObject *watched, QEvent *event)
{
    // One wheel notch scrolls the grid's view one line; the selected row stays.
    if (event->type() == QEvent::Wheel)
        for (QTableView *grid : {static_cast<QTableView *>(DBGridOtch1),
                                 static_cast<QTableView *>(StringGridOrg),
                                 static_cast<QTableView *>(StringGridSotr),
                                 static_cast<QTableView *>(StringGridVidPit)})
            if (watched == grid->viewport()) {
                const int dy = static_cast<QWheelEvent *>(event)->angleDelta().y();
                if (dy < 0)
                    grid->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
                else if (dy > 0)
                    grid->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
                return true;
            }
    return QDialog::eventFilter(watched, event);
}
