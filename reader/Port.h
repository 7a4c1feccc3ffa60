#pragma once
// The port window: the practically invisible receiver of one open reader
// port, which turns the reader's bytes into card numbers.

#include <QByteArray>
#include <QString>
#include <QWidget>
#include <functional>

namespace reader {

class TZPort;

// The main window's card entry (SrabotkaSchitivatelyaGL); set by whoever
// wires the program together, empty in a program without a main window.
using TCardEntry = std::function<void(const QString &kartaScht)>;
void SetCardEntry(TCardEntry entry);

// The one card read buffer of the program, shared by every port window.
QString &BuferChteniyaKarty();

// Receive handling of the bytes a reader sent: they join the buffer, and a
// trimmed buffer of 8 characters or more is the card number, stored as the
// last card read and, unless "Все" is chosen, handed to the card entry.
void ObrabotkaDannihSchitivatelya(const QByteArray &bytes);

class TPortForm : public QWidget
{
    Q_OBJECT
public:
    explicit TPortForm(QWidget *parent = nullptr);
    ~TPortForm() override;

    TZPort *FPort = nullptr;  // owned by the device entry, not by the window
    void SetPort(TZPort *port);

signals:
    void closed(reader::TPortForm *form);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void PortRxChar(TZPort *sender);
};

} // namespace reader
