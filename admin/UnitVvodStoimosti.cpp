#include "admin/UnitVvodStoimosti.h"

#include "admin/PriceEdit.h"
#include "core/MessageService.h"
#include "core/ProcessValues.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace admin {

TVvodStoimostiForm::TVvodStoimostiForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("VvodStoimostiForm"));
    setWindowTitle(QStringLiteral("Стоимость питания"));

    // Without a title bar the window needs an edge of its own to stand out.
    auto *frame = new QFrame(this);
    frame->setFrameShape(QFrame::Box);
    frame->setLineWidth(2);

    auto *caption = new QLabel(QStringLiteral("Стоимость питания"), frame);
    QFont big = caption->font();
    big.setPointSize(14);
    big.setBold(true);
    caption->setFont(big);
    caption->setAlignment(Qt::AlignCenter);

    LabelFIO = new QLabel(frame);
    LabelFIO->setObjectName(QStringLiteral("LabelFIO"));
    LabelFIO->setAlignment(Qt::AlignCenter);

    EditStoimostPitaniya = new QLineEdit(frame);
    EditStoimostPitaniya->setObjectName(QStringLiteral("EditStoimostPitaniya"));
    EditStoimostPitaniya->setToolTip(QStringLiteral("Enter - Записать"));
    EditStoimostPitaniya->setAlignment(Qt::AlignCenter);
    QFont huge = EditStoimostPitaniya->font();
    huge.setPointSize(28);
    huge.setBold(true);
    EditStoimostPitaniya->setFont(huge);
    EditStoimostPitaniya->setMinimumWidth(280);
    // Enter is seen before the price filter, which would drop it.
    EditStoimostPitaniya->installEventFilter(this);
    new PriceKeyFilter(EditStoimostPitaniya);

    auto *zapisat = new QPushButton(QStringLiteral("Записать"), frame);
    zapisat->setObjectName(QStringLiteral("ButtonZapisat"));
    auto *otmena = new QPushButton(QStringLiteral("Отмена"), frame);
    otmena->setObjectName(QStringLiteral("ButtonOtmena"));
    for (QPushButton *b : {zapisat, otmena}) {
        b->setAutoDefault(false);
        b->setMinimumHeight(32);
    }

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(zapisat);
    buttons->addWidget(otmena);
    auto *inner = new QVBoxLayout(frame);
    inner->addWidget(caption);
    inner->addWidget(LabelFIO);
    inner->addWidget(EditStoimostPitaniya);
    inner->addLayout(buttons);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    connect(zapisat, &QPushButton::clicked, this, &TVvodStoimostiForm::ButtonZapisatClick);
    connect(otmena, &QPushButton::clicked, this, [this] { done(kOtmena); });
}

void TVvodStoimostiForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    const core::TBuferSotrudnika &b = core::pv().BuferSotrudnika;
    LabelFIO->setText(b.FIO);
    EditStoimostPitaniya->setText(b.Stoimost);
    EditStoimostPitaniya->selectAll();
    EditStoimostPitaniya->setFocus(Qt::OtherFocusReason);
    if (const QWidget *over = parentWidget() ? parentWidget()->window() : nullptr) {
        QRect r = rect();
        r.moveCenter(over->frameGeometry().center());
        move(r.topLeft());
    }
}

bool TVvodStoimostiForm::event(QEvent *event)
{
    const bool result = QDialog::event(event);
    if (event->type() == QEvent::WindowActivate)
        EditStoimostPitaniya->setFocus(Qt::ActiveWindowFocusReason);
    return result;
}

bool TVvodStoimostiForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == EditStoimostPitaniya && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            ButtonZapisatClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TVvodStoimostiForm::ButtonZapisatClick()
{
    const QString typed = EditStoimostPitaniya->text();
    const std::optional<QString> price = normalizovatStoimost(typed);
    if (!price) {
        // A price the operator did not mean is never registered: the window
        // stays open for a correction or "Отмена".
        core::showMessage(soobshcheniyeNeChislo(typed), core::Icon::Warning);
        EditStoimostPitaniya->setFocus(Qt::OtherFocusReason);
        return;
    }
    EditStoimostPitaniya->setText(*price);
    core::pv().BuferSotrudnika.Stoimost = *price;
    done(kZapisat);
}

bool vvodStoimosti(QWidget *parent)
{
    TVvodStoimostiForm form(parent);
    return core::execModal(form) == TVvodStoimostiForm::kZapisat;
}

} // namespace admin
