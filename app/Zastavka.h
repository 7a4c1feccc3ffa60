#pragma once
#include <QWidget>

// The splash window shown while the main window starts: borderless, 342 x 212,
// centred, with the product name, the version and four small pictures.
class TZastavkaForm : public QWidget
{
    Q_OBJECT
public:
    explicit TZastavkaForm(QWidget *parent = nullptr);

    // Shows the window in the middle of the screen and paints it at once,
    // before the start-up work blocks the event loop.
    void showNow();

protected:
    void paintEvent(QPaintEvent *event) override;
};
