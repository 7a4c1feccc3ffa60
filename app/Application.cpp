#include "Application.h"

#include "core/MessageService.h"

#include <QLibraryInfo>
#include <QTranslator>

namespace app {

Application::Application(int &argc, char **argv) : QApplication(argc, argv)
{
    // Qt's own texts (file dialogs, the edit fields' menu, button boxes, the
    // serial layer's errors) speak Russian like the rest of the program. A
    // system without the translations keeps them in English.
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char *name : {"qtbase_ru", "qtserialport_ru"}) {
        auto *translator = new QTranslator(this);
        if (translator->load(QLatin1String(name), folder))
            installTranslator(translator);
        else
            delete translator;
    }
}

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
