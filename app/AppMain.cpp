#include "AppMain.h"

#include <QApplication>

namespace app {

int runProgram(int argc, char **argv)
{
    QApplication a(argc, argv);
    QApplication::setApplicationName(QStringLiteral("trapezon"));
    QApplication::setApplicationDisplayName(QStringLiteral("Трапезон"));
    return 0;
}

} // namespace app
