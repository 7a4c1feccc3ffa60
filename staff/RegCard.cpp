#include "staff/RegCard.h"

#include "core/ProcessValues.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace staff {

TRegCardForm::TRegCardForm(QWidget *parent) : QDialog(parent)
{
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Регистрация карты"));

    auto *label = new QLabel(QStringLiteral("ПОДНЕСИТЕ КАРТУ К СЧИТЫВАТЕЛЮ"), this);
    label->setAlignment(Qt::AlignCenter);
    NumCard = new QLineEdit(this);
    NumCard->setObjectName(QStringLiteral("NumCard"));
    QFont big = NumCard->font();
    big.setPointSize(16);
    NumCard->setFont(big);
    NumCard->setMinimumWidth(300);
    auto *ok = new QPushButton(QStringLiteral("Записать"), this);
    ok->setObjectName(QStringLiteral("ButtonRegOK"));
    ok->setDefault(true);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(NumCard);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    Timer1 = new QTimer(this);
    Timer1->setInterval(kPeriodOprosa);
    connect(Timer1, &QTimer::timeout, this, &TRegCardForm::Timer1Timer);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

TRegCardForm::~TRegCardForm() = default;

QString TRegCardForm::nomerKarty() const { return NumCard->text(); }

void TRegCardForm::setNomerKarty(const QString &text) { NumCard->setText(text); }

void TRegCardForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    core::pv().PoslednyayaKarta.clear();
    Timer1->start();
}

void TRegCardForm::Timer1Timer()
{
    const QString &karta = core::pv().PoslednyayaKarta;
    if (!karta.isEmpty())
        NumCard->setText(karta);
}

void TRegCardForm::done(int result)
{
    Timer1->stop();
    QDialog::done(result);
}

} // namespace staff
