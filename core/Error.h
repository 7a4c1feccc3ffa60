#pragma once
#include <QString>
#include <exception>

namespace core {

// An error raised inside the program's own code: it carries the class name
// that the windows put in front of " Ошибка с сообщением: ".
class Error : public std::exception
{
public:
    Error(QString className, QString message)
        : m_className(std::move(className)), m_message(std::move(message)),
          m_what(m_message.toUtf8())
    {
    }
    const QString &className() const noexcept { return m_className; }
    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    QString m_className;
    QString m_message;
    QByteArray m_what;
};

} // namespace core
