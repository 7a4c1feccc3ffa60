#pragma once
#include <QApplication>

namespace app {

// The program's application object. An error that no window handler caught
// ends up here instead of tearing the program down: its message is shown and
// the program runs on. It also speaks Qt's own texts in Russian.
class Application : public QApplication
{
    Q_OBJECT
public:
    Application(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

} // namespace app
