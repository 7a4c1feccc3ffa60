#pragma once
#include <QButtonGroup>
#include <QGroupBox>
#include <QStringList>

class QRadioButton;

// A titled group of radio buttons chosen by item index, as the meal-type
// choice needs: setItemIndex() changes the choice silently, a click by the
// user emits itemClicked().
class TRadioGroup : public QGroupBox
{
    Q_OBJECT
public:
    TRadioGroup(const QString &title, const QStringList &items, QWidget *parent = nullptr);

    int itemIndex() const;               // -1 when nothing is chosen
    void setItemIndex(int index);        // out of range: nothing chosen
    QRadioButton *button(int index) const;
    int count() const { return int(m_group.buttons().size()); }

signals:
    void itemClicked(int index);

private:
    QButtonGroup m_group;
};
