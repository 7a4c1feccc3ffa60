#pragma once
#include <QObject>
#include <QString>
#include <optional>

class QLineEdit;

namespace admin {

// The program's decimal separator: it always works in the Russian form.
inline constexpr QChar kRazdelitel = QLatin1Char(',');

// What a typed character becomes in a price edit, or nullopt when it is
// dropped. `ostatok` is the edit's text without the selection the character
// replaces: a digit always goes in, "," or "." become the decimal comma unless
// one is already left, "-" only into an otherwise empty edit.
std::optional<QChar> filtrKlavishiStoimosti(QChar typed, const QString &ostatok);

// A price text in the program's form: two decimals with the decimal comma
// ("%.2f"). nullopt when it is no number (an empty text is none either).
std::optional<QString> normalizovatStoimost(const QString &text);

// The message for a price text that is no number.
QString soobshcheniyeNeChislo(const QString &text);

// The key filter of a price edit, installed on the edit it belongs to
// (its parent). Characters go through filtrKlavishiStoimosti; keys that
// type nothing (arrows, Delete, shortcuts) pass unchanged.
class PriceKeyFilter : public QObject
{
    Q_OBJECT
public:
    explicit PriceKeyFilter(QLineEdit *edit);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *m_edit;
};

} // namespace admin
