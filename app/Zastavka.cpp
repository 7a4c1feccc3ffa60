#include "Zastavka.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

namespace {

const QColor kInk(0x2d, 0x29, 0x25);
const QColor kPale(0xf4, 0xf1, 0xed);

// A plate with a fork and a knife.
void drawPlate(QPainter &p, const QRectF &r)
{
    p.setPen(QPen(kInk, 2));
    p.setBrush(kPale);
    const QRectF plate = r.adjusted(8, 4, -8, -4);
    p.drawEllipse(plate);
    p.drawEllipse(plate.adjusted(6, 6, -6, -6));
    p.drawLine(QPointF(r.left() + 3, r.top() + 4), QPointF(r.left() + 3, r.bottom() - 4));
    p.drawLine(QPointF(r.right() - 3, r.top() + 4), QPointF(r.right() - 3, r.bottom() - 4));
    p.drawLine(QPointF(r.left() + 1, r.top() + 4), QPointF(r.left() + 1, r.top() + 12));
    p.drawLine(QPointF(r.left() + 5, r.top() + 4), QPointF(r.left() + 5, r.top() + 12));
}

// A contactless card with its waves.
void drawCard(QPainter &p, const QRectF &r)
{
    p.setPen(QPen(kInk, 2));
    p.setBrush(kPale);
    const QRectF card = r.adjusted(2, 8, -2, -8);
    p.drawRoundedRect(card, 4, 4);
    p.setBrush(Qt::NoBrush);
    const QPointF c(card.left() + 10, card.center().y());
    for (int i = 1; i <= 3; ++i)
        p.drawArc(QRectF(c.x() - 4 * i, c.y() - 4 * i, 8 * i, 8 * i), -45 * 16, 90 * 16);
}

// A barcode.
void drawBarcode(QPainter &p, const QRectF &r)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kPale);
    p.drawRect(r.adjusted(2, 4, -2, -4));
    p.setBrush(kInk);
    const int widths[] = {2, 1, 1, 3, 1, 2, 1, 1, 2, 3, 1, 2, 1};
    qreal x = r.left() + 5;
    bool bar = true;
    for (int w : widths) {
        if (bar)
            p.drawRect(QRectF(x, r.top() + 8, w, r.height() - 16));
        x += w + 1;
        bar = !bar;
    }
}

// A steaming cup.
void drawCup(QPainter &p, const QRectF &r)
{
    p.setPen(QPen(kInk, 2));
    p.setBrush(kPale);
    const QRectF cup(r.left() + 6, r.top() + 14, r.width() - 18, r.height() - 18);
    p.drawRoundedRect(cup, 3, 3);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(cup.right() - 4, cup.top() + 4, 10, 10), -90 * 16, 180 * 16);
    for (int i = 0; i < 2; ++i) {
        QPainterPath steam;
        const qreal x = cup.left() + 6 + i * 10;
        steam.moveTo(x, cup.top() - 2);
        steam.cubicTo(x - 4, cup.top() - 6, x + 4, cup.top() - 8, x, cup.top() - 12);
        p.drawPath(steam);
    }
}

} // namespace

TZastavkaForm::TZastavkaForm(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("ZastavkaForm"));
    setFixedSize(342, 212);
    setAttribute(Qt::WA_StyledBackground, false);
}

void TZastavkaForm::showNow()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect r(QPoint(), size());
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
    show();
    repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TZastavkaForm::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient bg(0, 0, 0, height());
    bg.setColorAt(0, QColor(0xe4, 0xe0, 0xdb));
    bg.setColorAt(1, QColor(0xa7, 0xa0, 0x98));
    p.fillRect(rect(), bg);
    p.setPen(QPen(QColor(0x5f, 0x58, 0x51), 2));
    p.drawRect(rect().adjusted(1, 1, -2, -2));

    QFont title = font();
    title.setPointSize(26);
    title.setBold(true);
    p.setFont(title);
    p.setPen(kInk);
    p.drawText(QRect(0, 22, width(), 50), Qt::AlignCenter, QStringLiteral("Трапезон"));

    QFont small = font();
    small.setPointSize(10);
    p.setFont(small);
    p.drawText(QRect(0, 70, width(), 20), Qt::AlignCenter, QStringLiteral("v.2.1.0"));

    const qreal size = 44, gap = 26;
    const qreal left = (width() - 4 * size - 3 * gap) / 2;
    const qreal top = 112;
    drawPlate(p, QRectF(left, top, size, size));
    drawCard(p, QRectF(left + (size + gap), top, size, size));
    drawBarcode(p, QRectF(left + 2 * (size + gap), top, size, size));
    drawCup(p, QRectF(left + 3 * (size + gap), top, size, size));

    p.setFont(small);
    p.setPen(QColor(0x3b, 0x36, 0x31));
    p.drawText(QRect(0, 176, width(), 20), Qt::AlignCenter, QStringLiteral("Загрузка..."));
}
