#include "reader/Port.h"

#include "reader/ZPClasses.h"

#include "core/ProcessValues.h"
#include "core/TextUtil.h"

#include <QCloseEvent>

namespace reader {

namespace {

TCardEntry &cardEntry()
{
    static TCardEntry entry;
    return entry;
}

} // namespace

void SetCardEntry(TCardEntry entry) { cardEntry() = std::move(entry); }

QString &BuferChteniyaKarty()
{
    static QString buffer;
    return buffer;
}

void ObrabotkaDannihSchitivatelya(const QByteArray &bytes)
{
    QString &buffer = BuferChteniyaKarty();
    buffer = core::trimCodes(buffer + QString::fromLocal8Bit(bytes));
    if (buffer.size() < 8)
        return;
    const QString karta = buffer;
    // Emptied before the hand-over: a registration that asks a question runs
    // a nested loop in which the next card may arrive, and that card must
    // not be joined to this one.
    buffer.clear();
    core::pv().PoslednyayaKarta = karta;
    // The card number is done with whatever the registration makes of it:
    // its failures never stop the reading.
    if (core::pv().VsePitaniya == QStringLiteral("Нет") && cardEntry()) {
        try {
            cardEntry()(karta);
        } catch (...) {
        }
    }
}

TPortForm::TPortForm(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus)
{
    setObjectName(QStringLiteral("PortForm"));
    setWindowTitle(QStringLiteral("CR   v.1.0.0"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    // Practically invisible: it exists only to own the reader's notifications.
    setWindowOpacity(1.0 / 255.0);
    setGeometry(0, 0, 1, 1);
}

TPortForm::~TPortForm()
{
    try {
        if (FPort)
            FPort->SetOnRxChar(nullptr);
    } catch (...) {
    }
}

void TPortForm::SetPort(TZPort *port)
{
    FPort = port;
    if (FPort)
        FPort->SetOnRxChar([this](TZPort *sender) { PortRxChar(sender); });
}

void TPortForm::PortRxChar(TZPort *sender)
{
    QByteArray bytes;
    if (const int n = sender->GetInCount(); n > 0) {
        bytes.resize(n);
        bytes.resize(sender->Read(bytes.data(), n));
    }
    ObrabotkaDannihSchitivatelya(bytes);
}

void TPortForm::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted())
        emit closed(this);
}

} // namespace reader
