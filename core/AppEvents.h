#pragma once
#include <QObject>

namespace core {

// Process-wide notifications between windows that do not own each other
// (e.g. the employee list tells the main window to re-read its employees).
// Lives on the UI thread.
class AppEvents : public QObject
{
    Q_OBJECT
public:
    static AppEvents &instance();

signals:
    // The employee list closed: whoever keeps a copy of Users re-reads it.
    void employeeListClosed();
    // The employee list wrote Users while it is open and the setting
    // RefreshQuery asks for a fresh copy at once, or the import from a
    // spreadsheet closed: re-read it, as on closing.
    void employeesChanged();
    // "Настройки считывателя" (administration window, employee editor): the
    // main window shows the reader window, which lives for the whole run.
    void readerWindowRequested();
    // The name of the catering facility as it is being typed: the main
    // window's caption follows it.
    void nameOPChanged(const QString &nameOP);
    // A setting that acts only at the next start changed: the main window
    // closes through its normal closing (the operator confirms it there).
    void mainWindowCloseRequested();
    // Table cleanup emptied tables: whoever keeps rows of the database in
    // memory (the main window's journal and employees) reads them again.
    void tablesCleared();

private:
    AppEvents() = default;
};

} // namespace core
