#include "overview/UrgencyStyle.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

using planning::Urgency;

namespace overview {

QColor urgencyBackground(Urgency urgency) {
    switch (urgency) {
    case Urgency::Urgent:
        return QColor(235, 140, 140); // darkest in grey
    case Urgency::BelowTarget:
        return QColor(255, 214, 110);
    case Urgency::NoSales:
        return QColor(232, 232, 232);
    case Urgency::Plain:
        break;
    }
    return {};
}

QColor urgencyForeground(Urgency urgency) {
    return urgency == Urgency::NoSales ? QColor(100, 100, 100) : QColor();
}

QColor urgencyBarColor(Urgency urgency) {
    switch (urgency) {
    case Urgency::Urgent:
        return QColor(190, 40, 40);
    case Urgency::BelowTarget:
        return QColor(230, 160, 20);
    case Urgency::NoSales:
        return QColor(150, 150, 150);
    case Urgency::Plain:
        break;
    }
    return QColor(70, 110, 170);
}

QIcon urgencyIcon(Urgency urgency) {
    if (urgency == Urgency::Plain)
        return {};
    QIcon icon;
    for (const int size : {16, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const double s = size;
        QFont font;
        font.setBold(true);
        font.setPixelSize(int(s * 0.6));
        p.setFont(font);
        const QRectF box(1, 1, s - 2, s - 2);
        switch (urgency) {
        case Urgency::Urgent:
            p.setPen(Qt::NoPen);
            p.setBrush(urgencyBarColor(urgency));
            p.drawEllipse(box);
            p.setPen(Qt::white);
            p.drawText(box, Qt::AlignCenter, QStringLiteral("!!"));
            break;
        case Urgency::BelowTarget: {
            QPainterPath triangle;
            triangle.moveTo(s / 2, 1);
            triangle.lineTo(s - 1, s - 1);
            triangle.lineTo(1, s - 1);
            triangle.closeSubpath();
            p.setPen(QPen(QColor(120, 80, 0), s / 16));
            p.setBrush(urgencyBarColor(urgency));
            p.drawPath(triangle);
            p.setPen(Qt::black);
            p.drawText(box.adjusted(0, s * 0.2, 0, 0), Qt::AlignCenter, QStringLiteral("!"));
            break;
        }
        case Urgency::NoSales:
            p.setPen(QPen(QColor(100, 100, 100), s / 10));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(box.adjusted(s / 16, s / 16, -s / 16, -s / 16));
            p.drawLine(QPointF(s * 0.3, s / 2), QPointF(s * 0.7, s / 2));
            break;
        case Urgency::Plain:
            break;
        }
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace overview
