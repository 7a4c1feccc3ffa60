#include "core/RegistryLogin.h"

#include <QFile>
#include <QSettings>

namespace core {

namespace {


void restrictToOwner(const QSettings &s)
{
    QFile::setPermissions(s.fileName(), QFile::ReadOwner | QFile::WriteOwner);
}

} // namespace

DbLogin readDbLogin()
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, "RKeyOpt");
    DbLogin login;
    login.user = s.value("TrpBDLog").toString();
    login.password = s.value("TrpBDPass").toString();
    if (!s.contains("TrpBDLog") && !s.contains("TrpBDPass")) {
        // Create the key, as the registry key is created when missing.
        s.setValue("TrpBDLog", login.user);
        s.setValue("TrpBDPass", login.password);
        s.sync();
        restrictToOwner(s);
    }
    return login;
}

void writeDbLogin(const DbLogin &login)
{
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, "RKeyOpt");
    s.setValue("TrpBDLog", login.user);
    s.setValue("TrpBDPass", login.password);
    s.sync();
    restrictToOwner(s);
}

QString dbLoginPath()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, "RKeyOpt").fileName();
}

} // namespace core
