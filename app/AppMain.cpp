#include "AppMain.h"

#include "AppStyle.h"
#include "Application.h"
#include "GL.h"
#include "GLSettings.h"
#include "SingleInstance.h"

#include "core/AppPaths.h"
#include "core/IniSettings.h"
#include "core/MessageService.h"
#include "db/CheckDbCommand.h"
#include "reader/MainCR.h"
#include "reader/Port.h"
#include "mdbimport/ImportMdbCommand.h"
#include "reports/Otchet.h"
#include "staff/List.h"
#include "staff/UnitPhoto.h"

#include <QApplication>
#include <QIcon>
#include <QPalette>
#include <QPointer>
#include <QCoreApplication>
#include <QStringList>
#include <QStyleFactory>
#include <QTextStream>
#include <cstdio>
#include <memory>

namespace app {

namespace {

void setNames()
{
    QCoreApplication::setApplicationName(QStringLiteral("trapezon"));
    QCoreApplication::setApplicationVersion(QStringLiteral("2.1.0"));
}

// The index of a maintenance option such as `--check-db`, or -1.
int optionIndex(int argc, char **argv, const char *option)
{
    for (int i = 1; i < argc; ++i)
        if (QString::fromLocal8Bit(argv[i]) == QLatin1String(option))
            return i;
    return -1;
}

int runCheckDb(int argc, char **argv, int option)
{
    // No window and no display: administrators run it from a console or a script.
    QCoreApplication a(argc, argv);
    setNames();
    QString path;
    if (option + 1 < argc)
        path = QString::fromLocal8Bit(argv[option + 1]);
    if (path.isEmpty()) {
        const auto ini = core::openMainIni();
        if (!ini->problem().isEmpty()) {
            QTextStream(stderr) << ini->problem() << Qt::endl;
            return 1;
        }
        path = configuredDbPath(*ini);
    }
    return db::runCheckDbCommand(path);
}

// `--import-mdb SOURCE [--db TARGET] [--append]`, without a window either.
int runImportMdb(int argc, char **argv, int option)
{
    QCoreApplication a(argc, argv);
    setNames();
    QStringList args;
    for (int i = option + 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const auto ini = core::openMainIni();
    const auto repoint = [&](const QString &path) {
        ini->writeString("Options", "EditPutKFayluBD", path);
        ini->flush();
    };
    QTextStream out(stdout);
    QTextStream err(stderr);
    // The new database replaces the old file by rename: a running program
    // would go on writing into the replaced one and lose those rows. Held
    // for the whole conversion, the lock also keeps the program from
    // starting in the middle of it.
    SingleInstance instance;
    if (!instance.acquire()) {
        err << QStringLiteral("Программа уже работает; закройте её и повторите перенос данных")
            << Qt::endl;
        return 1;
    }
    return mdbimport::runImportMdbCommand(args, configuredDbPath(*ini), repoint, out, err);
}

} // namespace

int runProgram(int argc, char **argv)
{
    if (const int option = optionIndex(argc, argv, "--import-mdb"); option > 0)
        return runImportMdb(argc, argv, option);
    if (const int option = optionIndex(argc, argv, "--check-db"); option > 0)
        return runCheckDb(argc, argv, option);

    Application a(argc, argv);
    setNames();
    QApplication::setQuitOnLastWindowClosed(false);
    // The desktop entry's name, so that a desktop finds its icon for the window.
    QGuiApplication::setDesktopFileName(QStringLiteral("ru.trapezon.Trapezon"));

    SingleInstance instance;
    if (!instance.acquire()) {
        core::showMessage(QStringLiteral("Приложение уже работает!"), core::Icon::Warning);
        return 1;
    }

    // Fusion draws every control from the palette and the sheet alike on any
    // desktop, so the sheet's greys look the same everywhere.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(appPalette());
    a.setStyleSheet(appStyleSheet());
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/trapezon/trapezon.svg")));
    core::provideDefaultFiles();

    // The windows in their order; the ones that live for the whole run are
    // handed to the main window, which calls on them.
    auto gl = std::make_unique<TGLForm>();
    auto reader = std::make_unique<reader::TMainCRForm>();
    // Without its reader library the program does not run; the window has
    // said why.
    if (!reader->LibraryReady())
        return 1;
    // A card read by any reader port is a card presented at the main window.
    reader::SetCardEntry([g = QPointer<TGLForm>(gl.get())](const QString &karta) {
        if (g)
            g->SrabotkaSchitivatelyaGL(karta);
    });
    auto list = std::make_unique<staff::TListForm>();
    auto report = std::make_unique<TOtchetForm>();
    auto photo = std::make_unique<staff::TPhotoForm>();
    gl->setReaderWindow(reader.get());
    gl->setReportWindow(report.get());
    gl->setPhotoWindow(photo.get());
    QObject::connect(gl.get(), &TGLForm::finished, &a, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    gl->show();
    const int rc = QApplication::exec();
    // Destroyed in the reverse order of creation, the main window last.
    photo.reset();
    report.reset();
    list.reset();
    reader.reset();
    reader::SetCardEntry(nullptr);
    gl.reset();
    return rc;
}

} // namespace app
