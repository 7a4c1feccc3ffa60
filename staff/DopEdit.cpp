#include "staff/DopEdit.h"

#include "core/FieldButton.h"
#include "core/ProcessValues.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace staff {

TDopEditForm::TDopEditForm(QWidget *parent) : QDialog(parent)
{
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto *label = new QLabel(QStringLiteral("Наименование:"), this);
    EditNaimenovanie = new QLineEdit(this);
    EditNaimenovanie->setObjectName(QStringLiteral("EditNaimenovanie"));
    EditNaimenovanie->setMinimumWidth(320);
    auto *clear = core::makeFieldButton(core::FieldButton::Clear,
                                        QStringLiteral("ButtonNaimenovanieCl"), this);
    ButtonSaveAndClose = new QPushButton(QStringLiteral("Сохранить и закрыть"), this);
    ButtonSaveAndClose->setObjectName(QStringLiteral("ButtonSaveAndClose"));
    ButtonSaveAndClose->setDefault(true);
    auto *otmena = new QPushButton(QStringLiteral("Отмена"), this);
    otmena->setObjectName(QStringLiteral("ButtonOtmena"));
    otmena->setAutoDefault(false);

    auto *grid = new QGridLayout(this);
    grid->addWidget(label, 0, 0, 1, 2);
    grid->addWidget(EditNaimenovanie, 1, 0);
    grid->addWidget(clear, 1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonSaveAndClose);
    buttons->addWidget(otmena);
    grid->addLayout(buttons, 2, 0, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    connect(clear, &QPushButton::clicked, EditNaimenovanie, &QLineEdit::clear);
    connect(ButtonSaveAndClose, &QPushButton::clicked, this, &TDopEditForm::ButtonSaveAndCloseClick);
    connect(otmena, &QPushButton::clicked, this, &QDialog::reject);
}

TDopEditForm::~TDopEditForm() = default;

void TDopEditForm::showEvent(QShowEvent *event)
{
    EditNaimenovanie->setText(core::pv().RedaktiruemoeNaimenovanie);
    EditNaimenovanie->setFocus();
    QDialog::showEvent(event);
}

void TDopEditForm::ButtonSaveAndCloseClick()
{
    core::pv().RedaktiruemoeNaimenovanie = EditNaimenovanie->text();
    accept();
}

} // namespace staff
