#include "staff/ListGrid.h"

#include "core/Error.h"
#include "core/FieldButton.h"
#include "core/IniSettings.h"
#include "core/MessageService.h"
#include "core/ProcessValues.h"
#include "db/Connection.h"

#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>

namespace staff::spisok {

namespace {
constexpr int kPole = 16;
constexpr int kVerkhSetki = 40;
} // namespace

QSize razmerOkna(const QString &section, int shirinaPoUmolchaniyu, int visotaPoUmolchaniyu)
{
    const auto ini = core::openMainIni();
    return QSize(ini->readInt(section, QStringLiteral("DBGridShirina"), shirinaPoUmolchaniyu) + kRamkaShirina,
                 ini->readInt(section, QStringLiteral("DBGridVisota"), visotaPoUmolchaniyu) + kRamkaVisota);
}

void zapisatRazmer(core::IniFile &ini, const QString &section, const QTableView *grid)
{
    ini.writeInt(section, QStringLiteral("DBGridVisota"), grid->height());
    ini.writeInt(section, QStringLiteral("DBGridShirina"), grid->width());
}

void nastroitSetku(QTableView *grid)
{
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->verticalHeader()->hide();
    grid->horizontalHeader()->setStretchLastSection(false);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    QFont small = grid->font();
    small.setPointSize(8);
    grid->setFont(small);
    grid->horizontalHeader()->setFont(small);
}

bool prokrutkaKolesom(QTableView *grid, QEvent *event)
{
    if (event->type() != QEvent::Wheel)
        return false;
    const int delta = static_cast<QWheelEvent *>(event)->angleDelta().y();
    QAbstractItemModel *model = grid->model();
    const int count = model ? model->rowCount() : 0;
    if (delta != 0 && count > 0) {
        const int steps = std::max(1, std::abs(delta) / 120);
        const QModelIndex current = grid->currentIndex();
        int row = current.isValid() ? current.row() : 0;
        row = std::clamp(row + (delta < 0 ? steps : -steps), 0, count - 1);
        const QModelIndex target = model->index(row, current.isValid() ? current.column() : 0);
        // Like the arrow keys: the cursor moves, the selection goes with it.
        grid->selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect
                                                            | QItemSelectionModel::Rows);
        grid->scrollTo(target);
    }
    return true;
}

QList<int> strokiDlyaUdaleniya(const QTableView *grid)
{
    const QModelIndex current = grid->currentIndex();
    const QItemSelectionModel *selection = grid->selectionModel();
    if (!current.isValid() || !selection || !selection->isRowSelected(current.row(), QModelIndex()))
        return {};
    QList<int> rows;
    for (const QModelIndex &i : selection->selectedRows())
        rows << i.row();
    return rows;
}

bool udalitVibrannie(QTableView *grid, db::RecordSet *rs)
{
    const QList<int> rows = strokiDlyaUdaleniya(grid);
    if (rows.isEmpty())
        return false;
    if (core::ask(QStringLiteral("Подтвердить удаление?"), core::Buttons::OkCancel, core::Icon::None)
        != core::Answer::Ok)
        return false;
    try {
        rs->deleteRecords(rows);
    } catch (const core::Error &e) {
        pokazatOshibku(e);
        return false;
    }
    if (core::pv().Nastroyki.RefreshGrid)
        grid->viewport()->repaint();
    return true;
}

void pokazatOshibku(const core::Error &e)
{
    core::showMessage(core::errorText(e.className(), e.message(), true));
}

void uporyadochit(db::RecordSet *rs, const QString &field)
{
    if (!rs->isOpen())
        return;
    try {
        rs->sortBy(field);
    } catch (const core::Error &e) {
        pokazatOshibku(e);
    }
}

void primenitFiltr(db::RecordSet *rs, const QString &field, const QString &text)
{
    try {
        if (text.isEmpty()) {
            rs->setFiltered(false);
            return;
        }
        rs->setFilter(filtrSoderzhit(field, text));
        rs->setFiltered(false);
        rs->setFiltered(true);
    } catch (const core::Error &e) {
        pokazatOshibku(e);
    }
}

int tekushayaStroka(const QTableView *grid)
{
    const QModelIndex current = grid->currentIndex();
    if (current.isValid())
        return current.row();
    return grid->model() && grid->model()->rowCount() > 0 ? 0 : -1;
}

db::RecordSet::FilterFn filtrSoderzhit(const QString &field, const QString &text)
{
    const QString upper = text.toUpper();
    int index = -2; // looked up once, at the first row judged
    return [field, upper, index](const db::RecordSet &rs, const db::RecordSet::Row &row) mutable {
        if (index == -2)
            index = rs.fieldIndex(field);
        if (index < 0)
            return false;
        const QString value = row.at(index).toString();
        return !value.isEmpty() && value.toUpper().contains(upper);
    };
}

Knopki sozdatKnopki(QWidget *okno)
{
    const auto button = [okno](const char *name, const QString &caption) {
        auto *b = new QPushButton(caption, okno);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    Knopki k{};
    k.Sozdanie = button("Sozdanie", QStringLiteral("Создать"));
    k.Sozdanie->setDefault(true);
    k.Otkrit = button("Otkrit", QStringLiteral("Открыть"));
    k.SozdanieVibora = button("SozdanieVibora", QStringLiteral("Создать"));
    k.SozdanieVibora->hide();
    k.Udalenie = button("Udalenie", QStringLiteral("Удалить"));
    k.Zakrit = button("Zakrit", QStringLiteral("Закрыть"));
    return k;
}

void knopkiRezhima(const Knopki &k, bool obzor)
{
    k.Sozdanie->setText(obzor ? QStringLiteral("Создать") : QStringLiteral("Выбрать"));
    k.Otkrit->setVisible(obzor);
    k.SozdanieVibora->setVisible(!obzor);
}

void raspolozhit(QWidget &okno, QWidget *vperedi, int shirinaVperedi, QLineEdit *filtr,
                 QPushButton *ochistka, QTableView *grid, const Knopki &k)
{
    const int w = okno.width();
    const int h = okno.height();
    const int filtrX = kPole + shirinaVperedi + 8;
    if (vperedi)
        vperedi->setGeometry(kPole, 8, shirinaVperedi, 24);
    filtr->setGeometry(filtrX, 8, w - kPole - 34 - filtrX, 24);
    ochistka->setGeometry(w - kPole - 28, 8, 28, 24);
    grid->setGeometry(kPole, kVerkhSetki, w - kRamkaShirina, h - kRamkaVisota);
    const int y = kVerkhSetki + grid->height() + 12;
    k.Sozdanie->setGeometry(kPole, y, 100, 28);
    k.Otkrit->setGeometry(kPole + 108, y, 100, 28);
    k.SozdanieVibora->setGeometry(kPole + 108, y, 100, 28);
    k.Udalenie->setGeometry(kPole + 216, y, 100, 28);
    k.Zakrit->setGeometry(w - kPole - 100, y, 100, 28);
}

OknoSpiska::OknoSpiska(QWidget *parent) : QDialog(parent) {}

OknoSpiska::~OknoSpiska() = default;

void OknoSpiska::sozdatOtbor()
{
    EditOtbor = new QLineEdit(this);
    EditOtbor->setObjectName(QStringLiteral("EditOtbor"));
    ButtonOtborCl = core::makeFieldButton(core::FieldButton::Clear, QStringLiteral("ButtonOtborCl"),
                                          this, QStringLiteral("Очистить отбор"));
}

void OknoSpiska::sozdatSetku()
{
    DBGrid1 = new QTableView(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    nastroitSetku(DBGrid1);
    DBGrid1->viewport()->installEventFilter(this);
}

void OknoSpiska::sozdatKnopkiSetki()
{
    knopki = sozdatKnopki(this);
    connect(knopki.Sozdanie, &QPushButton::clicked, this, &OknoSpiska::SozdanieClick);
    connect(knopki.Otkrit, &QPushButton::clicked, this, [this] { OtkrRedaktir(); });
    connect(knopki.SozdanieVibora, &QPushButton::clicked, this, [this] { Sozdat(); });
    connect(knopki.Udalenie, &QPushButton::clicked, this, [this] { UdalenieClick(); });
    connect(knopki.Zakrit, &QPushButton::clicked, this, &QDialog::reject);
    connect(DBGrid1, &QTableView::doubleClicked, this, &OknoSpiska::DBGrid1DblClick);
}

void OknoSpiska::ustanovitRezhim(const QString &rezhim)
{
    m_rezhim = rezhim;
    knopkiRezhima(knopki, rezhimObzor());
}

bool OknoSpiska::rezhimObzor() const { return m_rezhim == kObzor; }

// The mode read at showing holds for the whole showing.
void OknoSpiska::SozdanieClick()
{
    if (rezhimObzor())
        Sozdat();
    else
        Vibor();
}

void OknoSpiska::DBGrid1DblClick()
{
    if (rezhimObzor())
        OtkrRedaktir();
    else
        Vibor();
}

void OknoSpiska::podklyuchit(db::RecordSet *rs, const QString &table)
{
    m_connection = std::make_unique<db::Connection>();
    m_connection->openConfigured();
    rs->setConnection(m_connection.get());
    rs->setTable(table);
    rs->setSql(QStringLiteral("SELECT * from ") + table);
    rs->open();
}

void OknoSpiska::otklyuchit(db::RecordSet *rs)
{
    rs->close();
    rs->setConnection(nullptr);
    m_connection.reset();
}

void OknoSpiska::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void OknoSpiska::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

bool OknoSpiska::eventFilter(QObject *watched, QEvent *event)
{
    if (DBGrid1 && watched == DBGrid1->viewport() && prokrutkaKolesom(DBGrid1, event))
        return true;
    return QDialog::eventFilter(watched, event);
}

void OknoSpiska::done(int result)
{
    if (m_shown) {
        m_shown = false;
        FormClose();
    }
    QDialog::done(result);
}

} // namespace staff::spisok
