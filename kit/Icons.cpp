#include "Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace {

// Draws a picture on a 32-by-32 canvas and offers it at 16, 24 and 32 pixels.
QIcon drawn(const std::function<void(QPainter&)>& paint) {
    QIcon icon;
    for (int size : {16, 24, 32}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 32.0, size / 32.0);
        paint(p);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

QPen pen(const QColor& color, double width) {
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void page(QPainter& p, const QRectF& r) {
    p.setPen(pen(QColor(90, 100, 120), 1.6));
    p.setBrush(QColor(252, 252, 255));
    QPainterPath path;
    path.moveTo(r.left(), r.top());
    path.lineTo(r.right() - 6, r.top());
    path.lineTo(r.right(), r.top() + 6);
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    p.drawPath(path);
}

}  // namespace

namespace Icons {

QIcon add() {
    return drawn([](QPainter& p) {
        p.setPen(pen(QColor(30, 130, 50), 7));
        p.drawLine(QPointF(16, 5), QPointF(16, 27));
        p.drawLine(QPointF(5, 16), QPointF(27, 16));
    });
}

QIcon edit() {
    return drawn([](QPainter& p) {
        p.translate(16, 16);
        p.rotate(45);
        p.setPen(pen(QColor(120, 80, 20), 1.5));
        p.setBrush(QColor(240, 180, 60));
        p.drawRect(QRectF(-4, -14, 8, 20));
        p.setBrush(QColor(250, 220, 170));
        QPainterPath tip;
        tip.moveTo(-4, 6);
        tip.lineTo(4, 6);
        tip.lineTo(0, 14);
        tip.closeSubpath();
        p.drawPath(tip);
        p.setBrush(QColor(230, 110, 110));
        p.drawRect(QRectF(-4, -16, 8, 4));
    });
}

QIcon remove() {
    return drawn([](QPainter& p) {
        p.setPen(pen(QColor(200, 40, 40), 6.5));
        p.drawLine(QPointF(7, 7), QPointF(25, 25));
        p.drawLine(QPointF(25, 7), QPointF(7, 25));
    });
}

QIcon apply() {
    return drawn([](QPainter& p) {
        p.setPen(pen(QColor(30, 140, 60), 6));
        p.setBrush(Qt::NoBrush);
        QPainterPath tick;
        tick.moveTo(5, 17);
        tick.lineTo(13, 25);
        tick.lineTo(27, 8);
        p.drawPath(tick);
    });
}

QIcon refresh() {
    return drawn([](QPainter& p) {
        p.setPen(pen(QColor(30, 100, 190), 4.5));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(6, 6, 20, 20), 60 * 16, 280 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 100, 190));
        QPainterPath head;
        head.moveTo(15, 1);
        head.lineTo(25, 7);
        head.lineTo(15, 13);
        head.closeSubpath();
        p.drawPath(head);
    });
}

QIcon documents() {
    return drawn([](QPainter& p) {
        page(p, QRectF(9, 2, 19, 24));
        page(p, QRectF(4, 6, 19, 24));
        p.setPen(pen(QColor(60, 110, 190), 2));
        for (int y : {13, 18, 23}) {
            p.drawLine(QPointF(8, y), QPointF(19, y));
        }
    });
}

QIcon closeWindow() {
    return drawn([](QPainter& p) {
        p.setPen(pen(QColor(70, 80, 100), 1.8));
        p.setBrush(QColor(245, 247, 252));
        p.drawRoundedRect(QRectF(3, 4, 26, 23), 2, 2);
        p.setBrush(QColor(70, 110, 180));
        p.drawRect(QRectF(3, 4, 26, 6));
        p.setPen(pen(QColor(200, 40, 40), 3.5));
        p.drawLine(QPointF(11, 14), QPointF(21, 24));
        p.drawLine(QPointF(21, 14), QPointF(11, 24));
    });
}

QIcon statistics() {
    return drawn([](QPainter& p) {
        const QRectF r(3, 3, 26, 26);
        p.setPen(pen(Qt::white, 1));
        p.setBrush(QColor(60, 120, 200));
        p.drawPie(r, 90 * 16, 200 * 16);
        p.setBrush(QColor(240, 170, 40));
        p.drawPie(r, 290 * 16, 100 * 16);
        p.setBrush(QColor(60, 170, 90));
        p.drawPie(r, 30 * 16, 60 * 16);
    });
}

QIcon reports() {
    return drawn([](QPainter& p) {
        page(p, QRectF(5, 2, 22, 28));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(60, 120, 200));
        p.drawRect(QRectF(9, 19, 4, 7));
        p.setBrush(QColor(60, 170, 90));
        p.drawRect(QRectF(14, 14, 4, 12));
        p.setBrush(QColor(240, 170, 40));
        p.drawRect(QRectF(19, 10, 4, 16));
        p.setPen(pen(QColor(120, 130, 150), 1.5));
        p.drawLine(QPointF(9, 7), QPointF(19, 7));
    });
}

QIcon calendar() {
    return drawn([](QPainter& p) {
        p.setPen(pen(QColor(80, 90, 110), 1.6));
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(4, 6, 24, 22), 2, 2);
        p.setBrush(QColor(200, 60, 60));
        p.drawRect(QRectF(4, 6, 24, 6));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(90, 100, 120));
        for (int row = 0; row < 3; ++row) {
            for (int col = 0; col < 4; ++col) {
                p.drawRect(QRectF(7 + col * 5.5, 14.5 + row * 4.3, 3, 2.6));
            }
        }
    });
}

QIcon openFile() {
    return drawn([](QPainter& p) {
        p.setPen(pen(QColor(150, 110, 30), 1.6));
        p.setBrush(QColor(240, 200, 90));
        QPainterPath back;
        back.moveTo(3, 8);
        back.lineTo(12, 8);
        back.lineTo(14, 11);
        back.lineTo(27, 11);
        back.lineTo(27, 26);
        back.lineTo(3, 26);
        back.closeSubpath();
        p.drawPath(back);
        p.setBrush(QColor(250, 220, 130));
        QPainterPath front;
        front.moveTo(3, 26);
        front.lineTo(8, 15);
        front.lineTo(31, 15);
        front.lineTo(27, 26);
        front.closeSubpath();
        p.drawPath(front);
    });
}

QIcon lookup() {
    return drawn([](QPainter& p) {
        p.setPen(pen(QColor(50, 80, 140), 1.6));
        p.setBrush(QColor(90, 140, 210));
        p.drawRoundedRect(QRectF(6, 3, 20, 26), 2, 2);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(9, 6, 14, 20));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(50, 80, 140));
        for (int x : {11, 16, 21}) {
            p.drawEllipse(QPointF(x, 16), 1.8, 1.8);
        }
    });
}

void paintApplication(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    // A gold coin standing in the wallet.
    p.setPen(pen(QColor(150, 100, 10), 1.4));
    p.setBrush(QColor(245, 190, 50));
    p.drawEllipse(QRectF(14, 2, 13, 13));
    p.setPen(pen(QColor(190, 130, 20), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(17, 5, 7, 7));
    // The wallet, with its flap and clasp.
    p.setPen(pen(QColor(20, 80, 50), 1.6));
    p.setBrush(QColor(40, 140, 90));
    p.drawRoundedRect(QRectF(2.5, 10, 27, 19), 3, 3);
    p.setBrush(QColor(70, 175, 120));
    p.drawRoundedRect(QRectF(2.5, 10, 27, 6), 3, 3);
    p.setBrush(QColor(30, 110, 70));
    p.drawRoundedRect(QRectF(19, 17, 10.5, 7), 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(245, 190, 50));
    p.drawEllipse(QPointF(23, 20.5), 1.8, 1.8);
}

QIcon application() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.scale(size / 32.0, size / 32.0);
        paintApplication(p);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

}  // namespace Icons
