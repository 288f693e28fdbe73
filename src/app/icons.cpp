#include "app/icons.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

// The icons are compiled into the GUI library, which is static: its resources must be named
// once so that the linker keeps them.
static void loadIconResources() { Q_INIT_RESOURCE(kitforge); }

namespace kf::ui::icons {

namespace {
QIcon draw(const std::function<void(QPainter&)>& paint) {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(2, 2);
    p.setPen(QPen(QColor(40, 40, 40), 1.2));
    paint(p);
    p.end();
    return QIcon(pm);
}
}  // namespace

QIcon cut() {
    return draw([](QPainter& p) {
        p.drawLine(QPointF(5, 2), QPointF(10, 10));
        p.drawLine(QPointF(11, 2), QPointF(6, 10));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(4.5, 12), 2.5, 2.5);
        p.drawEllipse(QPointF(11.5, 12), 2.5, 2.5);
    });
}

QIcon copy() {
    return draw([](QPainter& p) {
        p.setBrush(Qt::white);
        p.drawRect(QRectF(2, 2, 8, 9));
        p.drawRect(QRectF(6, 5, 8, 9));
        for (int y = 8; y <= 12; y += 2) p.drawLine(QPointF(8, y), QPointF(12, y));
    });
}

QIcon paste() {
    return draw([](QPainter& p) {
        p.setBrush(QColor(200, 160, 90));
        p.drawRect(QRectF(2, 3, 10, 11));
        p.setBrush(QColor(120, 120, 120));
        p.drawRect(QRectF(5, 1.5, 4, 3));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(7, 7, 7, 8));
    });
}

QIcon undo() {
    return draw([](QPainter& p) {
        QPainterPath arc;
        arc.moveTo(4, 8);
        arc.cubicTo(5, 3, 13, 3, 13, 9);
        arc.cubicTo(13, 12, 10, 14, 7, 14);
        p.setPen(QPen(QColor(30, 70, 160), 1.8));
        p.drawPath(arc);
        p.setBrush(QColor(30, 70, 160));
        p.drawPolygon(QPolygonF({QPointF(1.5, 5), QPointF(6.5, 5.5), QPointF(3.5, 10)}));
    });
}

QIcon speaker() {
    return draw([](QPainter& p) {
        p.setBrush(QColor(60, 60, 60));
        p.drawPolygon(QPolygonF({QPointF(2, 6), QPointF(5, 6), QPointF(9, 2.5), QPointF(9, 13.5), QPointF(5, 10),
                                 QPointF(2, 10)}));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(8, 4.5, 5, 7), -60 * 16, 120 * 16);
        p.drawArc(QRectF(8, 2, 8, 12), -60 * 16, 120 * 16);
    });
}

QIcon program() {
    // Made once: adding a file decodes its image at once, and both the application and the
    // main window ask. It goes with the application, before the platform its pixmaps need.
    static QIcon* made = nullptr;
    if (!made) {
        loadIconResources();
        made = new QIcon;
        for (int size : {16, 24, 32, 48, 64, 128, 256}) made->addFile(QString(":/icons/kitforge-%1.png").arg(size));
        qAddPostRoutine([] {
            delete made;
            made = nullptr;
        });
    }
    return *made;
}

}  // namespace kf::ui::icons
