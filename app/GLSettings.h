#pragma once
#include "core/ProcessValues.h"

#include <QList>
#include <QString>

namespace core {
class IniFile;
}

namespace app {

inline constexpr int kJournalColumnCount = 12;
inline constexpr int kDefaultColumnWidth = 70;

// The main window's own keys of CRIni.ini; the rest goes to the in-memory
// settings (core::pv().Nastroyki).
struct GLFormSettings
{
    QString NameOP = QStringLiteral("Наименование объекта питания");
    bool WState = false;
    int Visota = 630;
    int Shirina = 726;
    QList<int> columnWidths = QList<int>(kJournalColumnCount, kDefaultColumnWidth);
    bool soundOK = true;
    bool soundNO = true;
    bool soundERR = true;
    int Vid = 0;
    int NastrPriStarte = 0;
    bool NastrIsklNP = false;
};

// A configured database path of fewer than 3 characters stands for the
// default file beside the program.
QString resolveDbPath(const QString &configured);

// The database path configured in CRIni.ini, with the rule above.
QString configuredDbPath(const core::IniFile &ini);

// Reads every key the main window reads at its first showing (not the list
// and directory grid sizes, which their openers read): the window's keys are
// returned, the shared ones written into `nastroyki` (the login is kept).
GLFormSettings readMainSettings(const core::IniFile &ini, core::TNastroyki &nastroyki);

// The meal-type item (0-4) chosen at start from the rule `nastrPriStarte`,
// the item `vid` open when the program last closed and `isklNP` (leave the
// night meal out of the "one after the last" rule). Unknown rules give 0.
int startMealType(int nastrPriStarte, int vid, bool isklNP);

} // namespace app
