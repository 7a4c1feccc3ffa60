#pragma once
#include <QDialog>

// "Справка" -> "Информация": what the program is and where its files are.
class TInfoForm : public QDialog
{
    Q_OBJECT
public:
    explicit TInfoForm(QWidget *parent = nullptr);

    // The text shown, built from the current paths (also for tests).
    static QString infoText();
};
