#include "AccessStart.h"

#include "core/Error.h"
#include "core/IniSettings.h"
#include "core/MessageService.h"
#include "mdbimport/AccessImport.h"

#include <QProgressDialog>

namespace app {

QString offerAccessConversion(QWidget *parent, const QString &accessPath, core::IniFile &ini)
{
    if (core::ask(kAccessQuestion, core::Buttons::YesNo) != core::Answer::Yes)
        return accessPath;

    const QString target = mdbimport::convertedDatabasePath(accessPath);
    // The work runs here, between the progress window's repaints: setValue()
    // of a modal progress window lets the window paint and take the cancel
    // click, and nothing else of the program runs before the connection.
    QProgressDialog progress(QStringLiteral("Перенос данных из Microsoft Access..."),
                             QStringLiteral("Отмена"), 0, 0, parent);
    progress.setObjectName(QStringLiteral("AccessProgress"));
    progress.setWindowTitle(QStringLiteral("Перенос данных"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    const auto step = [&](const mdbimport::ImportProgress &p) {
        if (progress.maximum() != int(p.total))
            progress.setMaximum(int(p.total));
        progress.setLabelText(QStringLiteral("Таблица ") + p.table + QStringLiteral(": ")
                              + QString::number(p.tableDone) + QStringLiteral(" из ")
                              + QString::number(p.tableRows));
        progress.setValue(int(p.done));
        return !progress.wasCanceled();
    };

    try {
        const mdbimport::ImportOutcome outcome =
            mdbimport::importAccess({accessPath, target, false}, step);
        progress.close();
        ini.writeString("Options", "EditPutKFayluBD", target);
        if (!ini.flush())
            core::showMessage(QStringLiteral("Не удалось записать путь к новой базе данных в ")
                                  + ini.path(),
                              core::Icon::Warning);
        QStringList lines;
        for (const mdbimport::TableOutcome &t : outcome.tables)
            lines << mdbimport::tableLine(t);
        core::showMessage(QStringLiteral("Данные перенесены в новую базу данных ") + target
                              + QStringLiteral(".\n") + lines.join(QLatin1Char('\n')),
                          core::Icon::Information);
        return target;
    } catch (const core::Error &e) {
        progress.close();
        core::showMessage(QStringLiteral("Данные не перенесены: ") + e.message()
                              + QStringLiteral("\nФайл Microsoft Access не изменён."),
                          core::Icon::Error);
    } catch (const std::exception &e) {
        progress.close();
        core::showMessage(QStringLiteral("Данные не перенесены: ") + QString::fromUtf8(e.what())
                              + QStringLiteral("\nФайл Microsoft Access не изменён."),
                          core::Icon::Error);
    }
    return accessPath;
}

} // namespace app
