#pragma once
#include <QWidget>

// Windows that live for the whole run but whose content other parts of the
// program bring; until then they exist with their class and caption so that
// start-up creates them in their order and the main window can call them.

// The report window.
class TOtchetForm : public QWidget
{
    Q_OBJECT
public:
    explicit TOtchetForm(QWidget *parent = nullptr);
};
