#pragma once
#include <QApplication>

namespace app {

// The program's application object. An error that no window handler caught
// ends up here instead of tearing the program down: its message is shown and
// the program runs on.
class Application : public QApplication
{
    Q_OBJECT
public:
    Application(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

} // namespace app
