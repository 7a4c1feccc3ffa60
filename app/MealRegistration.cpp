#include "MealRegistration.h"

#include "DatabaseLink.h"
#include "JournalView.h"
#include "core/Error.h"
#include "core/MessageService.h"
#include "core/ProcessValues.h"
#include "core/SoundService.h"
#include "core/TextUtil.h"
#include "db/Connection.h"
#include "db/DBTools.h"
#include "db/Money.h"
#include "staff/PolyaSotrudnika.h"

#include <QVariantMap>

namespace app {

namespace {

// Empties what a registration uses of the buffer; the identifier of the
// employee open in the editor is not a registration's to touch.
void clearBuffer()
{
    core::TBuferSotrudnika &b = core::pv().BuferSotrudnika;
    const QString editing = b.RedaktRecID;
    b.clear();
    b.RedaktRecID = editing;
}

QString dateQuestion()
{
    return QStringList{
        QStringLiteral("Дата открытого питания, не совпадает с текущей! Продолжить запись?"),
        QString(),
        QStringLiteral("Для отключения этого напоминания, зайдите в:"),
        QStringLiteral("Сервис => Настройки => Отключите галочку - ")
            + QStringLiteral("\"Предупреждать, если дата питания не текущая\""),
    }.join(QStringLiteral("\r\n"));
}

QString configuredPrice(int vidIndex)
{
    const core::TNastroyki &n = core::pv().Nastroyki;
    switch (vidIndex) {
    case 1: return n.StoimostZavtrak;
    case 2: return n.StoimostObed;
    case 3: return n.StoimostUzhin;
    case 4: return n.StoimostNochnoePit;
    default: return QStringLiteral("0,00");
    }
}

} // namespace

MealRegistration::MealRegistration(JournalView &journal, QObject *parent)
    : QObject(parent), m_journal(journal), m_clock([] { return QDateTime::currentDateTime(); })
{
}

MealRegistration::~MealRegistration() = default;

void MealRegistration::setEmployees(db::RecordSet *users)
{
    m_users = users;
    // A card or barcode is found by a hash, not by walking 50,000 rows.
    if (m_users)
        m_users->setIndexedFields({QStringLiteral("NMCardNum"), QStringLiteral("ShtrKod")});
}
void MealRegistration::setHooks(Hooks hooks) { m_hooks = std::move(hooks); }

void MealRegistration::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTime(); });
}

QDateTime MealRegistration::now() const { return m_clock(); }

void MealRegistration::ButtonUspehClick() { core::beep(core::Beep::Information); }
void MealRegistration::ButtonUzseELClick() { core::beep(core::Beep::Warning); }
void MealRegistration::ButtonNeProshlaClick() { core::beep(core::Beep::Error); }

QString MealRegistration::statusLine(const QString &message) const
{
    return core::stampedLine(now(), message);
}

void MealRegistration::PokazVStatusBare(const QString &message)
{
    emit statusText(statusLine(message));
}

void MealRegistration::DobavlenieClick()
{
    if (m_busy)
        return;
    m_busy = true;
    emit dobavlenieEnabled(false);
    clearBuffer();
    const bool picked = m_hooks.vibratSotrudnika && m_hooks.vibratSotrudnika();
    if (picked)
        registerOne({true, QString(), QString()});
    else
        clearBuffer();
    emit dobavlenieEnabled(true);
    emit focusDobavlenie();
    serveWaiting();
}

bool MealRegistration::ObrabotkaShtrichKoda(const QString &fieldText)
{
    if (core::pv().VsePitaniya == QStringLiteral("Да") || fieldText.isEmpty())
        return false;
    DobavlenieUsera(false, QString(), core::trimCodes(fieldText));
    return true;
}

void MealRegistration::SrabotkaSchitivatelyaGL(const QString &kartaScht)
{
    if (core::pv().VsePitaniya == QStringLiteral("Да") || kartaScht.isEmpty())
        return;
    DobavlenieUsera(false, kartaScht, QString());
}

void MealRegistration::DobavlenieUsera(bool rukami, const QString &card, const QString &shtrikhKod)
{
    const Entry entry{rukami, card, shtrikhKod};
    if (m_busy) {
        // A question or modal window of the running registration is open:
        // this entry is served right after it.
        wait(entry);
        return;
    }
    m_busy = true;
    registerOne(entry);
    serveWaiting();
}

void MealRegistration::wait(const Entry &entry)
{
    Entry waiting = entry;
    waiting.unknown = !entry.rukami && findEmployee(entry) < 0;
    if (m_waiting.size() < kMaxWaiting && (!waiting.unknown || m_waitingUnknown < kMaxWaitingUnknown)) {
        m_waiting.push_back(waiting);
        if (waiting.unknown)
            ++m_waitingUnknown;
        return;
    }
    // A burst of noise refuses thousands of entries: one sound per moment.
    if (!m_lastRefusalSound.isValid() || m_lastRefusalSound.elapsed() >= 300) {
        core::beep(core::Beep::Error);
        m_lastRefusalSound.start();
    }
    const QString what = !entry.card.isEmpty() ? QStringLiteral("карта ") + entry.card
                                               : QStringLiteral("штрихкод ") + entry.shtrikhKod;
    PokazVStatusBare(QStringLiteral("Не принято (") + what
                     + QStringLiteral("): слишком много отметок ждут закрытия окна сообщения. "
                                      "Закройте окно и повторите."));
}

void MealRegistration::serveWaiting()
{
    while (!m_waiting.empty()) {
        const Entry next = m_waiting.front();
        m_waiting.pop_front();
        if (next.unknown)
            --m_waitingUnknown;
        registerOne(next);
    }
    m_busy = false;
}

int MealRegistration::findEmployee(const Entry &entry) const
{
    const bool byCard = !entry.card.isEmpty() && entry.shtrikhKod.isEmpty();
    const bool byBarcode = entry.card.isEmpty() && !entry.shtrikhKod.isEmpty();
    if (!byCard && !byBarcode)
        return -1;
    const QString key = byCard ? QStringLiteral("NMCardNum") : QStringLiteral("ShtrKod");
    const QString wanted = byCard ? entry.card : entry.shtrikhKod;
    return m_users && m_users->isOpen() ? m_users->findSource(key, wanted) : -1;
}

bool MealRegistration::identify(const Entry &entry)
{
    if (entry.rukami)
        return true;
    const bool byCard = !entry.card.isEmpty() && entry.shtrikhKod.isEmpty();
    const bool byBarcode = entry.card.isEmpty() && !entry.shtrikhKod.isEmpty();
    if (!byCard && !byBarcode)
        return true;   // nothing to look up: the name check below answers

    clearBuffer();
    const QString wanted = byCard ? entry.card : entry.shtrikhKod;
    const int found = findEmployee(entry);
    if (found < 0) {
        if (m_sounds.neProshla)
            ButtonNeProshlaClick();
        core::showMessage(byCard ? QStringLiteral("Карта: ") + wanted + QStringLiteral(" не найдена.")
                                 : QStringLiteral("Штрихкод: \"") + wanted
                                       + QStringLiteral("\" не найден."));
        return false;
    }

    const auto pole = [&](const QString &field) {
        const int i = m_users->fieldIndex(field);
        return i >= 0 ? m_users->sourceRow(found).at(i).toString() : QString();
    };
    core::TBuferSotrudnika &b = core::pv().BuferSotrudnika;
    staff::zapolnitBufer(b, pole);
    b.RecID = pole(QStringLiteral("RecID"));
    return true;
}

bool MealRegistration::applyPrice(int vidIndex)
{
    core::TBuferSotrudnika &b = core::pv().BuferSotrudnika;
    const core::TNastroyki &n = core::pv().Nastroyki;
    b.Stoimost = QStringLiteral("0,00");
    if (!n.VestiUtchetStoimosti)
        return true;
    b.Stoimost = configuredPrice(vidIndex);
    if (n.OtobrazhatPanelVvodaStoimosti) {
        // The operator asked to confirm every price: never register one unasked.
        if (!m_hooks.vvodStoimosti) {
            core::beep(core::Beep::Default);
            core::showMessage(
                QStringLiteral("Включён ввод стоимости при каждой регистрации, но окно ввода "
                               "стоимости недоступно. Питание не зарегистрировано.\r\n"
                               "Отключите галочку \"Отображать панель ввода стоимости\" в "
                               "настройках стоимости или обратитесь к администратору."),
                core::Icon::Warning);
            return false;
        }
        if (!m_hooks.vvodStoimosti())
            return false;
    }
    const std::optional<db::Money> price = db::Money::fromText(b.Stoimost);
    if (!price) {
        core::beep(core::Beep::Default);
        core::showMessage(QStringLiteral("Стоимость питания \"") + b.Stoimost
                              + QStringLiteral("\" не является числом. Питание не зарегистрировано."),
                          core::Icon::Warning);
        return false;
    }
    // Judged by the value, so that "0" or "0.00" are refused like "0,00".
    if (n.ZapretitVvodNulevoyStoimosti && *price == db::Money()) {
        core::beep(core::Beep::Default);
        core::showMessage(QStringLiteral("Питание с нулевой стоимостью запрещено!"));
        return false;
    }
    return true;
}

void MealRegistration::registerOne(const Entry &entry)
{
    // Whatever way an attempt ends, the next one finds the buffer empty.
    struct BufferGuard
    {
        ~BufferGuard() { clearBuffer(); }
    } guard;
    const core::TNastroyki &n = core::pv().Nastroyki;
    const QDate day = m_journal.date();

    if (n.PreduprezhdatEsliDataPitNeTekushaya && core::ruDate(day) != core::ruDate(now().date())) {
        core::beep(core::Beep::Default);
        if (core::ask(dateQuestion(), core::Buttons::YesNo) != core::Answer::Yes)
            return;
    }

    if (!identify(entry))
        return;

    core::TBuferSotrudnika &b = core::pv().BuferSotrudnika;
    if (b.FIO.isEmpty()) {
        core::showMessage(QStringLiteral("Ф.И.О. не заполнено!"));
        return;
    }

    const int vidIndex = m_journal.vidPitaniya();
    const QString vid = m_journal.vidName();
    if (vidIndex == 0 || vid.isEmpty())
        return;

    const QString date = core::ruDate(day);

    // A failed write or question: the status line must not go on showing
    // the previous registration as if it were this one.
    const auto neZaregistrirovan = [&](const QString &why) {
        PokazVStatusBare(b.FIO + QStringLiteral("   НЕ ЗАРЕГИСТРИРОВАН (") + why
                         + QStringLiteral("). ") + date + QStringLiteral(" - ") + vid);
        if (m_sounds.neProshla)
            ButtonNeProshlaClick();
    };
    const auto netSvyazi = [&](const QString &what) {
        neZaregistrirovan(QStringLiteral("нет связи с сервером"));
        core::showMessage(what + QStringLiteral(" (") + m_link->where()
                              + QStringLiteral("): питание не зарегистрировано. Программа "
                                               "подключится снова сама, как только сервер станет "
                                               "доступен; тогда повторите отметку."),
                          core::Icon::Error);
    };
    const auto oshibka = [&](const std::exception &e) {
        db::Connection *connection = m_journal.recordSet() ? m_journal.recordSet()->connection() : nullptr;
        if (m_link && connection && m_link->proverit(*connection)) {
            netSvyazi(QStringLiteral("Связь с сервером баз данных потеряна"));
            return;
        }
        neZaregistrirovan(QStringLiteral("ошибка базы данных"));
        core::showError(e, true);
    };
    // Refused at once rather than tried on a dropped connection; the link
    // looks for the server meanwhile.
    if (m_link && m_link->lost()) {
        netSvyazi(QStringLiteral("Нет связи с сервером баз данных"));
        m_link->poiskatSeichas();
        return;
    }

    // Without the journal no duplicate could be found: register nothing.
    if (!m_journal.ensureOpen()) {
        if (m_sounds.neProshla)
            ButtonNeProshlaClick();
        core::showMessage(QStringLiteral("Журнал питания не открыт. Питание не зарегистрировано."),
                          core::Icon::Error);
        return;
    }

    bool uzhe = false;
    if (!n.RazreshitPitaniyeNeskolkoRaz) {
        try {
            uzhe = m_journal.uzheZaregistrirovan(b.FIO, b.RecID, vid, date);
        } catch (const std::exception &e) {
            // Unasked, the rule cannot be kept: register nothing.
            oshibka(e);
            return;
        }
    }
    const auto uzheBil = [&] {
        PokazVStatusBare(b.FIO + QStringLiteral("   УЖЕ БЫЛ ЗАРЕГИСТРИРОВАН. ") + date
                         + QStringLiteral(" - ") + vid);
        if (m_sounds.uzheEl)
            ButtonUzseELClick();
    };
    if (uzhe) {
        uzheBil();
        return;
    }

    if (n.OtobrazhatPhoto) {
        if (m_hooks.pokazatPhoto)
            m_hooks.pokazatPhoto(b.FIO);
    } else if (m_hooks.skritPhoto) {
        m_hooks.skritPhoto();
    }

    if (!applyPrice(vidIndex))
        return;

    const QString time = core::ruTime(now().time());
    const QString teh = core::trimCodes(QString(date).remove(QLatin1Char('.')))
        + core::trimCodes(QString(time).remove(QLatin1Char(':')));
    QVariantMap row;
    row.insert(QStringLiteral("NMFIO"), b.FIO);
    row.insert(QStringLiteral("NMOrg"), b.Org);
    row.insert(QStringLiteral("NMPodr"), b.Podr);
    row.insert(QStringLiteral("NMDolj"), b.Dolj);
    row.insert(QStringLiteral("NMTabNum"), b.TabNum);
    row.insert(QStringLiteral("NMCardNum"), b.CardNum);
    row.insert(QStringLiteral("NMITR"), b.ITR);
    row.insert(QStringLiteral("NMUserGUID"), b.RecID);
    row.insert(QStringLiteral("NMStoimost"), db::Money::fromText(b.Stoimost).value_or(db::Money()).toVariant());
    row.insert(QStringLiteral("ShtrKod"), b.ShtrKod);
    row.insert(QStringLiteral("NMZapisID"), core::newRecId());
    row.insert(QStringLiteral("NMDateVid"), date);
    row.insert(QStringLiteral("NMTimeVid"), time);
    row.insert(QStringLiteral("NMDateTimeTeh"), teh);
    row.insert(QStringLiteral("NMDateTimeTeh_Obrat"), DBTools::PerevorotDaty(teh));
    row.insert(QStringLiteral("NMVid"), vid);
    row.insert(QStringLiteral("NMAllTeh"), date + QLatin1Char('_') + vid + QLatin1Char('_') + b.FIO);

    // The rule is asked once more as the row is written: another serving
    // point may have registered the same meal since the question above (or
    // while the price entry was open), and only the write itself can tell.
    bool zapisana = false;
    try {
        zapisana = m_journal.dobavitZapis(row, !n.RazreshitPitaniyeNeskolkoRaz);
    } catch (const std::exception &e) {
        oshibka(e);
        m_journal.pokazatKolVo();
        return;
    }
    if (!zapisana) {
        uzheBil();
        m_journal.pokazatKolVo();
        return;
    }

    m_journal.posleRegistracii();
    PokazVStatusBare(b.FIO + QStringLiteral("   Зарегистрирован. ") + date + QStringLiteral(" - ") + vid);
    if (m_sounds.uspeh)
        ButtonUspehClick();
}

} // namespace app
