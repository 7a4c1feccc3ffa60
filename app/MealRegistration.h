#pragma once
#include "db/RecordSet.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <deque>
#include <functional>

namespace app {

class DatabaseLink;
class JournalView;

// Meal registration of the main window, without the window: the three ways
// in (by name through the employee list, by barcode, by card) all end in
// DobavlenieUsera, which finds the employee in the employee record set,
// applies the date question, the duplicate rule and the price, and writes
// the journal row through the JournalView. The day and the meal type are
// the JournalView's; the window sets the sound check boxes and the hooks and
// shows what the signals hand out.
//
// A registration runs to its end before the next one starts: a card or
// barcode that arrives while a question or a modal window of a registration
// is open waits and is registered right after it. The wait is bounded, and
// codes that no employee carries (line noise, a foreign card) get only a few
// places in it, so that they cannot crowd out the employees scanning behind
// them; an entry beyond the bound is refused with the error sound and a
// status line.
class MealRegistration : public QObject
{
    Q_OBJECT
public:
    // The three check boxes of "Воспроизведение звуков:".
    struct SoundChecks
    {
        bool uspeh = false;       // CheckBoxUspeh "Успех"
        bool uzheEl = false;      // CheckBoxUzseEL "Уже был отмечен"
        bool neProshla = false;   // CheckBoxNeProshla "Карта не найдена"
    };

    struct Hooks
    {
        // The employee list in choose mode, sized and shown modally by the
        // window; true when the operator picked with OK (the list has
        // filled BuferSotrudnika). Unset: nothing is picked.
        std::function<bool()> vibratSotrudnika;
        // The price entry window, shown modally; true when confirmed with
        // the price written into BuferSotrudnika. Unset while price entry is
        // on: the registration is refused with a message.
        std::function<bool()> vvodStoimosti;
        // OtrisovkaFormiPhoto + OtobrazheniyePhoto(name), and ZakritiyeFormiPhoto.
        std::function<void(const QString &fio)> pokazatPhoto;
        std::function<void()> skritPhoto;
    };

    using Clock = std::function<QDateTime()>;

    // Entries that may wait while a registration's box is open, and how many
    // of them may be codes no employee carries.
    static constexpr std::size_t kMaxWaiting = 16;
    static constexpr std::size_t kMaxWaitingUnknown = 3;

    explicit MealRegistration(JournalView &journal, QObject *parent = nullptr);
    ~MealRegistration() override;

    // The employee record set ("SELECT * from Users"); stays the caller's.
    void setEmployees(db::RecordSet *users);
    void setHooks(Hooks hooks);
    // The hold on the database server: a registration whose write finds the
    // connection dropped, or that comes while it is, is refused with its own
    // message and the link reconnects. Without one, or on a file, failures
    // are shown as they come. Stays the caller's.
    void setLink(DatabaseLink *link) { m_link = link; }
    void setSoundChecks(const SoundChecks &checks) { m_sounds = checks; }
    SoundChecks soundChecks() const { return m_sounds; }
    // The clock for "today" and the registration time (tests fix it).
    void setClock(Clock clock);
    QDateTime now() const;

    // "Добавить": disables the button, empties the buffer, lets the operator
    // pick from the list and registers the pick; enables and focuses again.
    void DobavlenieClick();
    // "Ввод штрихкода" and the scanner, with the text of GLEditShtrKod.
    // Returns true when the window must empty the field.
    bool ObrabotkaShtrichKoda(const QString &fieldText);
    // The card reading's entry with the card number text.
    void SrabotkaSchitivatelyaGL(const QString &kartaScht);
    // One registration: by the buffer (rukami), by card or by barcode.
    void DobavlenieUsera(bool rukami, const QString &card, const QString &shtrikhKod);

    // The test buttons "->" beside the check boxes.
    static void ButtonUspehClick();
    static void ButtonUzseELClick();
    static void ButtonNeProshlaClick();

    // The status bar line: current date and time + ": " + message.
    QString statusLine(const QString &message) const;

signals:
    void statusText(const QString &text);          // StatusBar1 (PokazVStatusBare)
    void dobavlenieEnabled(bool on);               // Dobavlenie during the list
    void focusDobavlenie();                        // FokusirovatKnopkuDobavlenie

private:
    struct Entry
    {
        bool rukami;
        QString card;
        QString shtrikhKod;
        bool unknown = false;   // no employee carried it when it began to wait
    };
    void registerOne(const Entry &entry);
    void wait(const Entry &entry);
    // The employee row carrying the entry's card or barcode, or -1.
    int findEmployee(const Entry &entry) const;
    void serveWaiting();   // the entries that arrived meanwhile, then not busy
    bool identify(const Entry &entry);
    bool applyPrice(int vidIndex);
    void PokazVStatusBare(const QString &message);

    JournalView &m_journal;
    DatabaseLink *m_link = nullptr;
    db::RecordSet *m_users = nullptr;
    Hooks m_hooks;
    SoundChecks m_sounds;
    Clock m_clock;
    bool m_busy = false;
    std::deque<Entry> m_waiting;
    std::size_t m_waitingUnknown = 0;   // of m_waiting, entries no employee carries
    QElapsedTimer m_lastRefusalSound;
};

} // namespace app
