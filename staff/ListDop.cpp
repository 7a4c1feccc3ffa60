#include "staff/ListDop.h"

#include "staff/DopEdit.h"
#include "staff/ListGrid.h"

#include "core/Error.h"
#include "core/IniSettings.h"
#include "core/MessageService.h"
#include "core/ProcessValues.h"
#include "core/TextUtil.h"
#include "db/RecordSet.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

namespace staff {

namespace {

using spisok::kObzor;
using spisok::kVibor;
const QString kNM = QStringLiteral("NM");
const QString kNetNaimenovaniya = QStringLiteral("Наименование не заполнено!");

const QString kSektsiyaRazmer = QStringLiteral("DBGridRazmerDop");
const QString kSektsiyaStolbtsy = QStringLiteral("DBGridColumnsDop");

using spisok::pokazatOshibku;

} // namespace

TDopForm::TDopForm(QWidget *parent) : spisok::OknoSpiska(parent)
{
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setMinimumSize(460, 200);

    LabelOtbor = new QLabel(QStringLiteral("Отбор:"), this);
    LabelOtbor->setObjectName(QStringLiteral("LabelOtbor"));
    sozdatOtbor();
    sozdatSetku();
    sozdatKnopkiSetki();

    m_query = new db::RecordSet(this);
    DBGrid1->setModel(m_query);
    // A re-read resets the header; the user's column width must survive it.
    connect(DBGrid1->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int section, int, int size) {
                if (section == 0 && size > 0 && !m_sbrosModeli)
                    m_shirinaStolbtsa = size;
            });
    connect(m_query, &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { m_sbrosModeli = true; });
    connect(m_query, &QAbstractItemModel::modelReset, this, [this] {
        m_sbrosModeli = false;
        DBGrid1->setColumnWidth(0, m_shirinaStolbtsa);
    });

    connect(EditOtbor, &QLineEdit::textChanged, this, &TDopForm::EditOtborChange);
    connect(ButtonOtborCl, &QPushButton::clicked, this, &TDopForm::ButtonOtborClClick);

    raspolozhit();
}

TDopForm::~TDopForm()
{
    // The record set must let go of the connection before it goes.
    if (m_query)
        m_query->close();
}

QString TDopForm::ZagolovokStolbtsa(const QString &table)
{
    if (table == QLatin1String("Org"))
        return QStringLiteral("Организация");
    if (table == QLatin1String("Podr"))
        return QStringLiteral("Подразделение");
    if (table == QLatin1String("Dolj"))
        return QStringLiteral("Должность");
    return table;
}

QSize TDopForm::RazmerOkna() { return spisok::razmerOkna(kSektsiyaRazmer, 500, 200); }

void TDopForm::raspolozhit()
{
    spisok::raspolozhit(*this, LabelOtbor, 50, EditOtbor, ButtonOtborCl, DBGrid1, knopki);
}

void TDopForm::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    raspolozhit();
}

void TDopForm::FormShow()
{
    auto &pv = core::pv();
    ustanovitRezhim(pv.RezhimSpravochnika);

    m_table = pv.TablitsaSpravochnika;
    const auto ini = core::openMainIni();
    const int width = ini->readInt(kSektsiyaStolbtsy, QStringLiteral("WidthCount"), 200);
    m_shirinaStolbtsa = width;
    m_query->setColumns({{kNM, ZagolovokStolbtsa(m_table), width}});
    try {
        podklyuchit(m_query, m_table);
        m_query->sortBy(kNM);
    } catch (const core::Error &e) {
        pokazatOshibku(e);
    }
    DBGrid1->setColumnWidth(0, width);
    if (pv.Nastroyki.RefreshGrid)
        DBGrid1->viewport()->repaint();
    EditOtbor->setFocus();
}

void TDopForm::FormActivate() { spisok::uporyadochit(m_query, kNM); }

void TDopForm::Vibor()
{
    const int row = spisok::tekushayaStroka(DBGrid1);
    core::pv().VibrannoeNaimenovanie = row >= 0 ? m_query->text(row, kNM) : QString();
    accept();
}

void TDopForm::Sozdat()
{
    auto &pv = core::pv();
    pv.RedaktiruemoeNaimenovanie.clear();
    TDopEditForm editor(this);
    editor.setWindowTitle(QStringLiteral("Создание"));
    if (core::execModal(editor) != QDialog::Accepted) {
        pv.RedaktiruemoeNaimenovanie.clear();
        return;
    }
    const QString name = pv.RedaktiruemoeNaimenovanie;
    pv.RedaktiruemoeNaimenovanie.clear();
    if (name.isEmpty()) {
        core::showMessage(kNetNaimenovaniya);
        return;
    }
    try {
        const int row = m_query->insertRecord({{kNM, name}, {QStringLiteral("RecID"), core::newRecId()}});
        if (pv.Nastroyki.RefreshQuery)
            m_query->refresh();
        else if (row >= 0)
            DBGrid1->setCurrentIndex(m_query->index(row, 0));
    } catch (const core::Error &e) {
        pokazatOshibku(e);
    }
}

void TDopForm::OtkrRedaktir()
{
    const int row = spisok::tekushayaStroka(DBGrid1);
    if (row < 0)
        return; // nothing to edit in an empty list
    auto &pv = core::pv();
    pv.RedaktiruemoeNaimenovanie = m_query->text(row, kNM);
    TDopEditForm editor(this);
    editor.setWindowTitle(QStringLiteral("Наименование"));
    const bool ok = core::execModal(editor) == QDialog::Accepted;
    const QString name = pv.RedaktiruemoeNaimenovanie;
    pv.RedaktiruemoeNaimenovanie.clear();
    if (!ok)
        return;
    if (name.isEmpty()) {
        core::showMessage(kNetNaimenovaniya);
        return;
    }
    try {
        m_query->updateRecord(row, {{kNM, name}});
        if (pv.Nastroyki.RefreshQuery)
            m_query->refresh();
    } catch (const core::Error &e) {
        pokazatOshibku(e);
    }
}

void TDopForm::UdalenieClick() { spisok::udalitVibrannie(DBGrid1, m_query); }

void TDopForm::EditOtborChange() { spisok::primenitFiltr(m_query, kNM, EditOtbor->text()); }

void TDopForm::ButtonOtborClClick()
{
    EditOtbor->clear(); // the empty text switches the filter off
}

void TDopForm::FormClose()
{
    knopki.Sozdanie->setText(QStringLiteral("Создать"));
    core::pv().RezhimSpravochnika.clear();
    core::pv().TablitsaSpravochnika.clear();
    try {
        const auto ini = core::openMainIni();
        ini->writeInt(kSektsiyaStolbtsy, QStringLiteral("WidthCount"), m_shirinaStolbtsa);
        spisok::zapisatRazmer(*ini, kSektsiyaRazmer, DBGrid1);
        ini->flush();
    } catch (...) {
        // the window closes whatever happens to its settings
    }
    try {
        otklyuchit(m_query);
    } catch (...) {
    }
}

void openDirectory(QWidget *parent, const QString &table, const QString &caption)
{
    TDopForm form(parent);
    form.resize(TDopForm::RazmerOkna());
    form.setWindowTitle(caption);
    core::pv().TablitsaSpravochnika = table;
    core::pv().RezhimSpravochnika = kObzor;
    core::execModal(form);
}

bool pickFromDirectory(QWidget *parent, const QString &table, QLineEdit *field)
{
    auto &pv = core::pv();
    TDopForm form(parent);
    form.resize(TDopForm::RazmerOkna());
    form.setWindowTitle(QStringLiteral("Выбрать"));
    pv.TablitsaSpravochnika = table;
    pv.RezhimSpravochnika = kVibor;
    pv.VibrannoeNaimenovanie.clear();
    const bool ok = core::execModal(form) == QDialog::Accepted;
    if (ok) {
        if (!pv.VibrannoeNaimenovanie.isEmpty()) {
            field->setText(pv.VibrannoeNaimenovanie);
            pv.VibrannoeNaimenovanie.clear();
        } else {
            core::showMessage(kNetNaimenovaniya);
        }
    } else {
        pv.VibrannoeNaimenovanie.clear();
    }
    pv.RezhimSpravochnika.clear();
    return ok;
}

} // namespace staff
