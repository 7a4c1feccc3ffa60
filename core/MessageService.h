#pragma once
#include <QString>
#include <exception>
#include <functional>
#include <memory>

class QDialog;
class QWidget;

namespace core {

enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Answer { Ok, Cancel, Yes, No };
enum class Icon { None, Information, Warning, Error, Question };

// Every message box and question of the program goes through here, so that
// tests can script the answers and no test ever waits on a modal box.
class MessageService
{
public:
    virtual ~MessageService() = default;
    virtual Answer ask(const QString &text, Buttons buttons, Icon icon, const QString &caption) = 0;

    static MessageService &instance();
    // Replaces the service (tests install a scripted one); nullptr restores
    // the real message boxes.
    static void install(std::unique_ptr<MessageService> service);
};

// A plain message with an OK button (the program's ShowMessage).
void showMessage(const QString &text, Icon icon = Icon::None);
// A question; returns the button pressed.
Answer ask(const QString &text, Buttons buttons, Icon icon = Icon::Question,
           const QString &caption = QString());

// Shows a modal window and returns its result. Tests install a hook that
// plays the user's part instead of entering the window's own loop.
using ModalHook = std::function<int(QDialog &)>;
int execModal(QDialog &dialog);
void setModalHook(ModalHook hook);

// The error text the window handlers show: class name + separator + message.
// `spaced` selects " Ошибка с сообщением : " (with a blank before the colon)
// over " Ошибка с сообщением: ".
QString errorText(const QString &className, const QString &message, bool spaced);

// A caught error shown with the error icon as errorText() words it: a
// core::Error by its class name, anything else as "Exception" with its what().
void showError(const std::exception &e, bool spaced);

// The general error display: an error no window handler caught, shown by its
// message alone with the error icon; the program runs on.
void showUncaughtError(const std::exception &e);

} // namespace core
