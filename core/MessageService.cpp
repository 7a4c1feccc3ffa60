#include "core/MessageService.h"

#include "core/Error.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMainWindow>
#include <QMessageBox>

namespace core {

namespace {

// The window a box belongs to. Right after a dialog closes no window is
// active yet, and a box without parent opens behind an always-on-top window
// (a directory) and the program looks frozen: so the innermost open modal
// window comes first, then the active window, then the main window.
QWidget *boxParent()
{
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget *active = QApplication::activeWindow())
        return active;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows)
        if (w->isVisible() && qobject_cast<QMainWindow *>(w))
            return w;
    return nullptr;
}

class BoxMessageService final : public MessageService
{
public:
    Answer ask(const QString &text, Buttons buttons, Icon icon, const QString &caption) override
    {
        QMessageBox box(boxParent());
        // The program's own name, not the executable's, heads every box.
        box.setWindowTitle(caption.isEmpty() ? QStringLiteral("Трапезон") : caption);
        box.setText(text);
        switch (icon) {
        case Icon::None: box.setIcon(QMessageBox::NoIcon); break;
        case Icon::Information: box.setIcon(QMessageBox::Information); break;
        case Icon::Warning: box.setIcon(QMessageBox::Warning); break;
        case Icon::Error: box.setIcon(QMessageBox::Critical); break;
        case Icon::Question: box.setIcon(QMessageBox::Question); break;
        }
        switch (buttons) {
        case Buttons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
        case Buttons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
        case Buttons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
        case Buttons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
        }
        if (auto *b = box.button(QMessageBox::Ok)) b->setText("OK");
        if (auto *b = box.button(QMessageBox::Cancel)) b->setText("Отмена");
        if (auto *b = box.button(QMessageBox::Yes)) b->setText("Да");
        if (auto *b = box.button(QMessageBox::No)) b->setText("Нет");
        switch (box.exec()) {
        case QMessageBox::Ok: return Answer::Ok;
        case QMessageBox::Yes: return Answer::Yes;
        case QMessageBox::No: return Answer::No;
        default: return buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
        }
    }
};

std::unique_ptr<MessageService> &slot()
{
    static std::unique_ptr<MessageService> service;
    return service;
}

ModalHook &modalHook()
{
    static ModalHook hook;
    return hook;
}

} // namespace

MessageService &MessageService::instance()
{
    auto &s = slot();
    if (!s)
        s = std::make_unique<BoxMessageService>();
    return *s;
}

void MessageService::install(std::unique_ptr<MessageService> service)
{
    slot() = std::move(service);
}

void showMessage(const QString &text, Icon icon)
{
    MessageService::instance().ask(text, Buttons::Ok, icon, QString());
}

Answer ask(const QString &text, Buttons buttons, Icon icon, const QString &caption)
{
    return MessageService::instance().ask(text, buttons, icon, caption);
}

int execModal(QDialog &dialog)
{
    if (const auto &hook = modalHook())
        return hook(dialog);
    return dialog.exec();
}

void setModalHook(ModalHook hook) { modalHook() = std::move(hook); }

QString errorText(const QString &className, const QString &message, bool spaced)
{
    return className + (spaced ? QStringLiteral(" Ошибка с сообщением : ")
                               : QStringLiteral(" Ошибка с сообщением: "))
           + message;
}

void showError(const std::exception &e, bool spaced)
{
    const auto *own = dynamic_cast<const Error *>(&e);
    showMessage(own ? errorText(own->className(), own->message(), spaced)
                    : errorText(QStringLiteral("Exception"), QString::fromUtf8(e.what()), spaced),
                Icon::Error);
}

void showUncaughtError(const std::exception &e)
{
    const auto *own = dynamic_cast<const Error *>(&e);
    showMessage(own ? own->message() : QString::fromUtf8(e.what()), Icon::Error);
}

} // namespace core
