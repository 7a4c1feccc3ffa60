#pragma once
#include <QString>

namespace core {

// The database login kept outside CRIni.ini, in the per-user "RKeyOpt" store
// (values TrpBDLog and TrpBDPass). Reading creates the store when missing;
// a missing value reads as empty. The file is readable by its owner only.
struct DbLogin
{
    QString user;
    QString password;
};

DbLogin readDbLogin();
void writeDbLogin(const DbLogin &login);
// The file of that store, for showing where the login is kept.
QString dbLoginPath();

} // namespace core
