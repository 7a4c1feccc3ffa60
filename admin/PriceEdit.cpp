#include "admin/PriceEdit.h"

#include "db/Money.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace admin {

std::optional<QChar> filtrKlavishiStoimosti(QChar typed, const QString &ostatok)
{
    if (typed.isDigit() && typed.unicode() < 128)
        return typed;
    if (typed == QLatin1Char(',') || typed == QLatin1Char('.')) {
        if (ostatok.contains(kRazdelitel))
            return std::nullopt;
        return kRazdelitel;
    }
    if (typed == QLatin1Char('-') && ostatok.isEmpty())
        return typed;
    return std::nullopt;
}

std::optional<QString> normalizovatStoimost(const QString &text)
{
    const std::optional<db::Money> m = db::Money::fromText(text);
    if (!m)
        return std::nullopt;
    return m->text();
}

QString soobshcheniyeNeChislo(const QString &text)
{
    return QStringLiteral("\"") + text
        + QStringLiteral("\" не является стоимостью. Введите число, например 125,50.");
}

PriceKeyFilter::PriceKeyFilter(QLineEdit *edit) : QObject(edit), m_edit(edit)
{
    edit->installEventFilter(this);
}

bool PriceKeyFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_edit || event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    const QString text = key->text();
    // Keys that type nothing, backspace and the shortcuts keep their work.
    if (text.size() != 1 || !text.at(0).isPrint()
        || (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        return false;

    QString ostatok = m_edit->text();
    if (m_edit->hasSelectedText())
        ostatok.remove(m_edit->selectionStart(), m_edit->selectedText().size());
    const std::optional<QChar> c = filtrKlavishiStoimosti(text.at(0), ostatok);
    if (c)
        m_edit->insert(QString(*c));
    return true;   // inserted here or dropped without a sound
}

} // namespace admin
