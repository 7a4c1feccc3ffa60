#include "Application.h"

#include "core/Error.h"
#include "core/MessageService.h"

namespace app {

Application::Application(int &argc, char **argv) : QApplication(argc, argv) {}

bool Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const core::Error &e) {
        core::showMessage(e.message(), core::Icon::Error);
    } catch (const std::exception &e) {
        core::showMessage(QString::fromUtf8(e.what()), core::Icon::Error);
    } catch (...) {
        core::showMessage(QStringLiteral("Неизвестная ошибка."), core::Icon::Error);
    }
    return false;
}

} // namespace app
