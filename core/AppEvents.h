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

private:
    AppEvents() = default;
};

} // namespace core
