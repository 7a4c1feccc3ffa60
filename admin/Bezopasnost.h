#pragma once
#include <QString>

class QWidget;

// Access protection: one administrator password guarding chosen actions.
// The settings live in core::pv().Bezopasnost; the password is kept and
// compared only in its stored form, the one databases already hold.
namespace admin {

// The action names guarded actions pass to ProverkaDostupa.
inline const QString kOtchet = QStringLiteral("Отчёт");
inline const QString kOchistkaTablits = QStringLiteral("ОчисткаТаблиц");
inline const QString kUdalenieGlavnaya = QStringLiteral("УдалениеГлавная");
inline const QString kNastroyki = QStringLiteral("Настройки");

// Every 16-bit character code complemented (c becomes 65535 - c); its own
// inverse.
QString ShifrovkaParolya(const QString &text);
// The stored form of a password: the prefix "KontrolnayaVstavkaZ" and the
// password, complemented.
QString KhranimayaForma(const QString &parol);
// The password a stored form holds (the form turned back, the prefix dropped).
QString ParolIzKhranimoyFormi(const QString &forma);
// Characters the database cannot keep in a stored form: their complement is
// half of a UTF-16 surrogate pair, which does not survive the file's text
// encoding, so such a password would never match again once stored. Empty
// when the password can be stored, else those characters.
QString NekhranimyeSimvoly(const QString &parol);

// Whether `action` needs the password under the current settings (false
// while protection is off or the password is remembered for the session).
bool NuzhenParol(const QString &action);
// The access check every guarded action calls: true when it may go on,
// asking for the password (modal prompt) when it is needed.
bool ProverkaDostupa(const QString &action);

// Loads and saves the settings through the BPTools rows; a database that
// cannot be opened leaves the settings as they are, and saving reports
// nothing.
void ZagruzkaNastroekBezopasnosti();
void ZapisNastroekBezopasnosti();
// The save at shutdown: only settings that are the database's own (loaded
// in full, or stored by the settings window) go back, so a start on which
// the database could not be read never overwrites the administrator's
// password and guards with the initial values or a read error's text.
void ZapisNastroekBezopasnostiPriZavershenii();

// "Pass Free": the password is asked again at the next guarded action.
void ZabytParolSessii();
// The main window's first showing: nothing remembered, no accepted prompt.
void SbrosSessii();

} // namespace admin
