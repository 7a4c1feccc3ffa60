#include "AppStyle.h"

#include <QPalette>

namespace app {

QString appStyleSheet()
{
    return QStringLiteral(R"(
QMenuBar { background-color: #b9b3ac; color: #1f1c19; }
QMenuBar::item { background: transparent; padding: 4px 10px; }
QMenuBar::item:selected { background-color: #8c857d; color: #ffffff; }
QMenu { background-color: #e6e3df; color: #1f1c19; border: 1px solid #8c857d; }
QMenu::item { padding: 4px 24px 4px 16px; }
QMenu::item:selected { background-color: #6e6760; color: #ffffff; }
QMenu::item:disabled { color: #7d7770; }
QGroupBox {
    border: 1px solid #9b948c;
    border-radius: 4px;
    margin-top: 1.2em;
    padding-top: 4px;
    font-weight: bold;
}
QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 4px; color: #3b3631; }
QPushButton {
    background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #eeebe7, stop:1 #c5bfb8);
    color: #1f1c19;
    border: 1px solid #857e76;
    border-radius: 4px;
    padding: 4px 12px;
    min-height: 18px;
}
QPushButton:hover { background-color: #e9e5e0; border-color: #5f5851; }
QPushButton:pressed { background-color: #a9a29a; }
QPushButton:default { border: 2px solid #4f4943; }
QPushButton:disabled { color: #8a847d; background-color: #cfcac4; border-color: #aaa39b; }
QPushButton[fieldButton="true"] { padding: 0px; min-height: 0px; min-width: 0px; }
QLineEdit, QComboBox, QSpinBox, QTextEdit, QPlainTextEdit {
    background-color: #f6f4f1;
    color: #1f1c19;
    border: 1px solid #8c857d;
    border-radius: 3px;
    padding: 2px 4px;
}
QLineEdit:disabled { background-color: #d2cdc7; color: #807a73; }
QTableView {
    background-color: #f6f4f1;
    alternate-background-color: #ebe7e2;
    gridline-color: #b5aea6;
    color: #1f1c19;
}
QHeaderView::section {
    background-color: #b9b3ac;
    color: #1f1c19;
    border: 1px solid #938c84;
    padding: 2px 4px;
}
QCalendarWidget QWidget#qt_calendar_navigationbar { background-color: #8c857d; }
QCalendarWidget QToolButton { background-color: transparent; color: #ffffff; font-weight: bold; }
QCalendarWidget QAbstractItemView:enabled {
    background-color: #f6f4f1;
    color: #1f1c19;
    selection-background-color: #6e6760;
    selection-color: #ffffff;
}
QCalendarWidget QAbstractItemView:disabled { color: #9b948c; }
QStatusBar { background-color: #b9b3ac; color: #1f1c19; }
QStatusBar QLabel { background: transparent; }
QLabel { background: transparent; }
QLabel#LabelKolVo { color: #2d2925; font-size: 40pt; font-weight: bold; }
QLabel#LabelDoubleVP { color: #3a342e; font-size: 24pt; font-weight: bold; }
QToolTip { background-color: #fdfcfa; color: #1f1c19; border: 1px solid #6e6760; }
)");
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
