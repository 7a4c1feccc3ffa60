#include "core/RadioGroup.h"

#include <QRadioButton>
#include <QVBoxLayout>

TRadioGroup::TRadioGroup(const QString &title, const QStringList &items, QWidget *parent)
    : QGroupBox(title, parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setSpacing(2);
    for (int i = 0; i < items.size(); ++i) {
        auto *b = new QRadioButton(items.at(i), this);
        m_group.addButton(b, i);
        layout->addWidget(b);
    }
    connect(&m_group, &QButtonGroup::idClicked, this, &TRadioGroup::itemClicked);
}

int TRadioGroup::itemIndex() const { return m_group.checkedId(); }

void TRadioGroup::setItemIndex(int index)
{
    if (auto *b = m_group.button(index)) {
        b->setChecked(true);
        return;
    }
    // An exclusive group cannot uncheck its checked button directly.
    if (auto *checked = m_group.checkedButton()) {
        m_group.setExclusive(false);
        checked->setChecked(false);
        m_group.setExclusive(true);
    }
}

QRadioButton *TRadioGroup::button(int index) const
{
    return qobject_cast<QRadioButton *>(m_group.button(index));
}
