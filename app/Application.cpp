#include "Application.h"

#include "core/MessageService.h"

namespace app {

Application::Application(int &argc, char **argv) : QApplication(argc, argv) {}

bool Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        core::showUncaughtError(e);
    } catch (...) {
        core::showMessage(QStringLiteral("Неизвестная ошибка."), core::Icon::Error);
    }
    return false;
}

} // namespace app
