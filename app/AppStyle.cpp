#include "AppStyle.h"

#include "core/AppPaths.h"

#include <QFile>
#include <QPalette>

// The resources of a static library are linked only when named.
static void initAppResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(app);
        return true;
    }();
    (void)done;
}

namespace app {

QString appStyleSheet()
{
    initAppResources();
    // The installed sheet first, so that a site can adjust the look.
    for (const QString &path : {core::installedDataFolder() + QStringLiteral("trapezon.qss"),
                                QStringLiteral(":/trapezon/trapezon.qss")}) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly | QIODevice::Text))
            return QString::fromUtf8(f.readAll());
    }
    return QString();
}


QPalette appPalette()
{
    const QColor window(0xd8, 0xd4, 0xcf);
    const QColor base(0xf6, 0xf4, 0xf1);
    const QColor text(0x1f, 0x1c, 0x19);
    const QColor disabledText(0x86, 0x80, 0x79);
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(0xeb, 0xe7, 0xe2));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0xcf, 0xca, 0xc4));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Highlight, QColor(0x6e, 0x67, 0x60));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, QColor(0xfd, 0xfc, 0xfa));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabledText);
    p.setColor(QPalette::Light, QColor(0xf2, 0xef, 0xeb));
    p.setColor(QPalette::Midlight, QColor(0xe2, 0xde, 0xd9));
    p.setColor(QPalette::Mid, QColor(0x9b, 0x94, 0x8c));
    p.setColor(QPalette::Dark, QColor(0x6e, 0x67, 0x60));
    p.setColor(QPalette::Shadow, QColor(0x3b, 0x36, 0x31));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabledText);
    return p;
}

} // namespace app
