#include "staff/List.h"

#include "staff/PolyaSotrudnika.h"
#include "staff/UserEdit.h"

#include "core/AppEvents.h"
#include "core/Error.h"
#include "core/IniSettings.h"
#include "core/MessageService.h"
#include "core/ProcessValues.h"
#include "core/TextUtil.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include <utility>

namespace staff {

// ------------------------------------------------------------ the window

namespace {

using spisok::kObzor;
using spisok::kVibor;
const QString kNM = QStringLiteral("NM");
const QString kNetFIO = QStringLiteral("Ф.И.О. не заполнено!");

const QString kSektsiyaRazmer = QStringLiteral("DBGridRazmer");
const QString kSektsiyaStolbtsy = QStringLiteral("DBGridColumns");

struct Stolbets
{
    const char *field;
    const char *title;
    int width;
};

// The grid's columns in their order; WidthCount1..8 follow it.
const Stolbets kStolbtsy[] = {
    {"NM", "Ф.И.О.", 180},           {"NMDolj", "Должность", 110},
    {"NMPodr", "Подразделение", 110}, {"NMOrg", "Организация", 110},
    {"NMTabNum", "Табельный №", 110}, {"NMCardNum", "№ карты", 110},
    {"ShtrKod", "Штрихкод", 110},     {"NMITR", "И.Т.Р.", 40},
};

QString klyuchShiriny(int i) { return QStringLiteral("WidthCount%1").arg(i + 1); }

using spisok::pokazatOshibku;

// Empties the eight fields and the identifier of the employee open in the editor.
void ochistitBufer()
{
    auto &b = core::pv().BuferSotrudnika;
    for (const PoleSotrudnika &p : polyaSotrudnika())
        (b.*p.member).clear();
    b.RedaktRecID.clear();
}

// The eight fields as a row's values; the buffer is emptied on the way.
QVariantMap vzyatIzBufera()
{
    auto &b = core::pv().BuferSotrudnika;
    QVariantMap values;
    for (const PoleSotrudnika &p : polyaSotrudnika())
        values.insert(QLatin1String(p.field), std::exchange(b.*p.member, QString()));
    b.RedaktRecID.clear();
    return values;
}

// The one place the employee editor is opened: modal, with the caption,
// destroyed when it closes. True when it was left saved.
bool redaktirovatSotrudnika(QWidget *parent, const QString &caption)
{
    TUserEditForm editor(parent);
    editor.setWindowTitle(caption);
    core::execModal(editor);
    return core::pv().SotrudnikSokhranen;
}

} // namespace

TListForm::TListForm(QWidget *parent) : spisok::OknoSpiska(parent)
{
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setMinimumSize(560, 240);

    ComboBoxOtbor = new QComboBox(this);
    ComboBoxOtbor->setObjectName(QStringLiteral("ComboBoxOtbor"));
    ComboBoxOtbor->addItems(kriterii());
    sozdatOtbor();

    sozdatSetku();
    DBGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff); // a horizontal one only
    DBGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    sozdatKnopkiSetki();

    FDQuery1 = new db::RecordSet(this);
    FDQuery1->setObjectName(QStringLiteral("FDQuery1"));
    DBGrid1->setModel(FDQuery1);

    connect(EditOtbor, &QLineEdit::textChanged, this, &TListForm::EditOtborChange);
    connect(ComboBoxOtbor, &QComboBox::currentIndexChanged, this, &TListForm::ComboBoxOtborChange);
    connect(ButtonOtborCl, &QPushButton::clicked, this, &TListForm::ComboBoxOtborChange);

    resize(RazmerOkna());
}

TListForm::~TListForm()
{
    // The record set must let go of the connection before it goes.
    FDQuery1->close();
    FDQuery1->setConnection(nullptr);
}

QSize TListForm::RazmerOkna() { return spisok::razmerOkna(kSektsiyaRazmer, 811, 329); }

QList<db::RecordSet::Column> TListForm::kolonki()
{
    const auto ini = core::openMainIni();
    QList<db::RecordSet::Column> out;
    int i = 0;
    for (const Stolbets &s : kStolbtsy) {
        out.append({QLatin1String(s.field), QString::fromUtf8(s.title),
                    ini->readInt(kSektsiyaStolbtsy, klyuchShiriny(i), s.width)});
        ++i;
    }
    return out;
}

const QStringList &TListForm::kriterii()
{
    static const QStringList list = {QStringLiteral("Ф.И.О."),        QStringLiteral("Табельный №"),
                                     QStringLiteral("№ карты"),       QStringLiteral("Должность"),
                                     QStringLiteral("Подразделение"), QStringLiteral("Организация")};
    return list;
}

QString TListForm::poleKriteriya(int index)
{
    static const QStringList fields = {QStringLiteral("NM"),     QStringLiteral("NMTabNum"),
                                       QStringLiteral("NMCardNum"), QStringLiteral("NMDolj"),
                                       QStringLiteral("NMPodr"), QStringLiteral("NMOrg")};
    return index >= 0 && index < fields.size() ? fields[index] : fields[0];
}

void TListForm::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    spisok::raspolozhit(*this, ComboBoxOtbor, 150, EditOtbor, ButtonOtborCl, DBGrid1, knopki);
}

void TListForm::FormShow()
{
    auto &pv = core::pv();
    ustanovitRezhim(pv.RezhimSpiskaSotrudnikov);

    ComboBoxOtbor->setCurrentIndex(0);

    try {
        podklyuchit(FDQuery1, QStringLiteral("Users"));
    } catch (const core::Error &e) {
        otklyuchit(FDQuery1);
        pokazatOshibku(e);
    }

    const QList<db::RecordSet::Column> columns = kolonki();
    FDQuery1->setColumns(columns);
    if (pv.Nastroyki.RefreshGrid)
        DBGrid1->viewport()->repaint();
    for (int i = 0; i < columns.size(); ++i)
        DBGrid1->setColumnWidth(i, columns[i].width);
    FormActivate(); // the first activation may come before the rows are there
    EditOtbor->setFocus();
}

void TListForm::FormActivate() { spisok::uporyadochit(FDQuery1, kNM); }

void TListForm::Vibor()
{
    auto &b = core::pv().BuferSotrudnika;
    const int row = spisok::tekushayaStroka(DBGrid1);
    const auto pole = [&](const QString &field) {
        return row >= 0 ? FDQuery1->text(row, field) : QString();
    };
    try {
        zapolnitBufer(b, pole);
        b.RecID = pole(QStringLiteral("RecID"));
        b.RedaktRecID = b.RecID;
    } catch (const core::Error &e) {
        pokazatOshibku(e);
        return;
    }
    accept();
}

void TListForm::Sozdat()
{
    auto &pv = core::pv();
    pv.SotrudnikSokhranen = false;
    ochistitBufer();
    const bool saved = redaktirovatSotrudnika(this, QStringLiteral("Сотрудник (Создание)"));
    pv.SotrudnikSokhranen = false;
    if (!saved) {
        ochistitBufer();
        return;
    }
    if (pv.BuferSotrudnika.FIO.isEmpty()) {
        ochistitBufer();
        core::showMessage(kNetFIO);
        return;
    }
    QVariantMap values = vzyatIzBufera();
    values.insert(QStringLiteral("RecID"), core::newRecId());
    if (!FDQuery1->isOpen()) {
        core::showMessage(core::errorText(QStringLiteral("EDatabaseError"),
                                          QStringLiteral("Нет подключения к базе данных"), true));
        return;
    }
    try {
        const int row = FDQuery1->insertRecord(values);
        if (row >= 0)
            DBGrid1->setCurrentIndex(FDQuery1->index(row, 0));
        sotrudnikiIzmeneny();
    } catch (const core::Error &e) {
        pokazatOshibku(e);
    }
}

void TListForm::OtkrRedaktir()
{
    auto &pv = core::pv();
    auto &b = pv.BuferSotrudnika;
    pv.SotrudnikSokhranen = false;
    const int row = spisok::tekushayaStroka(DBGrid1);
    // The row is followed by its place among all rows: the list may be
    // re-sorted while the editor is open (activation).
    const int source = row >= 0 ? FDQuery1->sourceIndex(row) : -1;
    try {
        zapolnitBufer(b, [&](const QString &field) {
            return row >= 0 ? FDQuery1->text(row, field) : QString();
        });
        b.RedaktRecID = row >= 0 ? FDQuery1->text(row, QStringLiteral("RecID")) : QString();
    } catch (const core::Error &e) {
        pokazatOshibku(e);
        return;
    }

    const bool saved = redaktirovatSotrudnika(this, QStringLiteral("Сотрудник"));
    pv.SotrudnikSokhranen = false;
    if (!saved) {
        ochistitBufer();
        return;
    }
    if (b.FIO.isEmpty()) {
        ochistitBufer();
        core::showMessage(kNetFIO);
        return;
    }
    const QVariantMap values = vzyatIzBufera();
    try {
        if (source < 0) {
            // An empty list: what was typed becomes a new employee rather
            // than being thrown away.
            QVariantMap fresh = values;
            fresh.insert(QStringLiteral("RecID"), core::newRecId());
            FDQuery1->insertRecord(fresh);
        } else {
            const int current = FDQuery1->visibleRow(source);
            if (current < 0)
                throw core::Error(QStringLiteral("EDatabaseError"),
                                  QStringLiteral("Запись сотрудника больше не видна в списке"));
            FDQuery1->updateRecord(current, values);
        }
        sotrudnikiIzmeneny();
    } catch (const core::Error &e) {
        pokazatOshibku(e);
    }
}

void TListForm::UdalenieClick()
{
    if (spisok::udalitVibrannie(DBGrid1, FDQuery1))
        sotrudnikiIzmeneny();
}

void TListForm::sotrudnikiIzmeneny()
{
    // With RefreshQuery the main window's copy of Users follows every change
    // at once (a card may be registered while this window is open).
    if (core::pv().Nastroyki.RefreshQuery)
        emit core::AppEvents::instance().employeesChanged();
}

void TListForm::EditOtborChange()
{
    spisok::primenitFiltr(FDQuery1, poleKriteriya(ComboBoxOtbor->currentIndex()), EditOtbor->text());
}

void TListForm::ComboBoxOtborChange()
{
    FDQuery1->setFiltered(false);
    EditOtbor->clear();
}

void TListForm::FormClose()
{
    core::pv().RezhimSpiskaSotrudnikov.clear();
    try {
        const auto ini = core::openMainIni();
        const QHeaderView *header = DBGrid1->horizontalHeader();
        for (int i = 0; i < int(std::size(kStolbtsy)) && i < header->count(); ++i)
            ini->writeInt(kSektsiyaStolbtsy, klyuchShiriny(i), header->sectionSize(i));
        spisok::zapisatRazmer(*ini, kSektsiyaRazmer, DBGrid1);
        ini->flush();
    } catch (...) {
        // the window closes whatever happens to its settings
    }
    try {
        emit core::AppEvents::instance().employeeListClosed();
    } catch (...) {
    }
    otklyuchit(FDQuery1);
}

// ------------------------------------------------------------ the openers

namespace {
int pokazatSpisok(QWidget *parent, const QString &rezhim)
{
    TListForm form(parent);
    form.resize(TListForm::RazmerOkna());
    form.setWindowTitle(QStringLiteral("Сотрудники"));
    core::pv().RezhimSpiskaSotrudnikov = rezhim;
    return core::execModal(form);
}
} // namespace

void openEmployeeList(QWidget *parent) { pokazatSpisok(parent, kObzor); }

bool pickEmployee(QWidget *parent)
{
    core::pv().BuferSotrudnika.clear();
    const bool ok = pokazatSpisok(parent, kVibor) == QDialog::Accepted;
    core::pv().RezhimSpiskaSotrudnikov.clear();
    return ok;
}

} // namespace staff
