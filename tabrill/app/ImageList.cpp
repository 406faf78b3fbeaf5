#include "tabrill/app/ImageList.h"

#include "tabrill/app/MainLayout.h"

#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace {
const QColor Outline(60, 60, 60);

QPixmap Draw(const std::function<void(QPainter&)>& paint)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);
    paint(p);
    return pixmap;
}

void Page(QPainter& p)
{
    QPainterPath page;
    page.moveTo(3.5, 1.5);
    page.lineTo(10.5, 1.5);
    page.lineTo(13.5, 4.5);
    page.lineTo(13.5, 14.5);
    page.lineTo(3.5, 14.5);
    page.closeSubpath();
    p.setPen(QPen(Outline, 1));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.setBrush(QColor(220, 220, 220));
    QPainterPath corner;
    corner.moveTo(10.5, 1.5);
    corner.lineTo(10.5, 4.5);
    corner.lineTo(13.5, 4.5);
    corner.closeSubpath();
    p.drawPath(corner);
}

void Magnifier(QPainter& p, QPointF centre, qreal radius)
{
    p.setPen(QPen(QColor(40, 40, 40), 2.2, Qt::SolidLine, Qt::RoundCap));
    const QPointF handle = centre + QPointF(radius * 0.75, radius * 0.75);
    p.drawLine(handle, handle + QPointF(radius * 0.9, radius * 0.9));
    p.setPen(QPen(QColor(30, 70, 140), 1.5));
    p.setBrush(QColor(190, 225, 255));
    p.drawEllipse(centre, radius, radius);
}

void CheckBox(QPainter& p, bool ticked)
{
    p.setPen(QPen(QColor(70, 90, 120), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(2.5, 2.5, 11, 11));
    if (ticked) {
        p.setPen(QPen(QColor(20, 140, 40), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        QPainterPath tick;
        tick.moveTo(4.5, 8.0);
        tick.lineTo(7.0, 10.8);
        tick.lineTo(11.8, 4.8);
        p.drawPath(tick);
    }
}

std::vector<QPixmap> DrawAll()
{
    std::vector<QPixmap> images;
    // 0: open - an open folder.
    images.push_back(Draw([](QPainter& p) {
        p.setPen(QPen(QColor(150, 110, 20), 1));
        p.setBrush(QColor(240, 200, 80));
        p.drawRect(QRectF(1.5, 3.5, 11, 10));
        p.drawRect(QRectF(1.5, 2.5, 5, 2));
        QPainterPath flap;
        flap.moveTo(3.5, 7.5);
        flap.lineTo(15.0, 7.5);
        flap.lineTo(12.5, 13.5);
        flap.lineTo(1.5, 13.5);
        flap.closeSubpath();
        p.setBrush(QColor(255, 225, 120));
        p.drawPath(flap);
    }));
    // 1: search - a magnifying glass.
    images.push_back(Draw([](QPainter& p) { Magnifier(p, QPointF(6.5, 6.5), 4.3); }));
    // 2: new - a blank page.
    images.push_back(Draw([](QPainter& p) {
        Page(p);
        p.setPen(QPen(QColor(255, 190, 0), 1.4));
        p.drawLine(QPointF(2, 11), QPointF(6, 11));
        p.drawLine(QPointF(4, 9), QPointF(4, 13));
    }));
    // 3: untick all - an empty check box.
    images.push_back(Draw([](QPainter& p) { CheckBox(p, false); }));
    // 4: tick all - a ticked check box.
    images.push_back(Draw([](QPainter& p) { CheckBox(p, true); }));
    // 5: reload - a circular arrow.
    images.push_back(Draw([](QPainter& p) {
        p.setPen(QPen(QColor(30, 130, 60), 2.0, Qt::SolidLine, Qt::FlatCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(2.5, 2.5, 11, 11), 60 * 16, 290 * 16);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 130, 60));
        QPainterPath head;
        head.moveTo(8.5, 0.5);
        head.lineTo(13.5, 3.2);
        head.lineTo(8.8, 6.5);
        head.closeSubpath();
        p.drawPath(head);
    }));
    // 6: search conditions - a form with fields and a small magnifier.
    images.push_back(Draw([](QPainter& p) {
        p.setPen(QPen(Outline, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(0.5, 1.5, 13, 11));
        p.setBrush(QColor(70, 110, 180));
        p.drawRect(QRectF(0.5, 1.5, 13, 2.5));
        p.setPen(QPen(QColor(150, 150, 150), 1));
        p.drawLine(QPointF(2.5, 6.5), QPointF(10.5, 6.5));
        p.drawLine(QPointF(2.5, 9.0), QPointF(8.5, 9.0));
        Magnifier(p, QPointF(10.8, 10.8), 2.4);
    }));
    // 7: save - a floppy disk.
    images.push_back(Draw([](QPainter& p) {
        p.setPen(QPen(QColor(20, 50, 110), 1));
        p.setBrush(QColor(50, 100, 190));
        QPainterPath disk;
        disk.moveTo(1.5, 1.5);
        disk.lineTo(12.5, 1.5);
        disk.lineTo(14.5, 3.5);
        disk.lineTo(14.5, 14.5);
        disk.lineTo(1.5, 14.5);
        disk.closeSubpath();
        p.drawPath(disk);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));
        p.setBrush(QColor(200, 200, 200));
        p.drawRect(QRectF(3.5, 9.5, 9, 5));
    }));
    // 8: result columns - a table with a header row.
    images.push_back(Draw([](QPainter& p) {
        p.setPen(QPen(Outline, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(0.5, 1.5, 15, 13));
        p.setBrush(QColor(120, 160, 220));
        p.drawRect(QRectF(0.5, 1.5, 15, 3));
        p.setPen(QPen(QColor(120, 120, 120), 1));
        for (const qreal x : {5.5, 10.5})
            p.drawLine(QPointF(x, 1.5), QPointF(x, 14.5));
        for (const qreal y : {7.5, 10.5})
            p.drawLine(QPointF(0.5, y), QPointF(15.5, y));
    }));
    // 9: stay on top - a push pin.
    images.push_back(Draw([](QPainter& p) {
        p.setPen(QPen(QColor(90, 90, 90), 1.4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8, 10), QPointF(8, 15.5));
        p.setPen(QPen(QColor(120, 10, 10), 1));
        p.setBrush(QColor(220, 40, 40));
        p.drawRoundedRect(QRectF(5.5, 1.5, 5, 5), 1.5, 1.5);
        p.drawRect(QRectF(3.5, 6.5, 9, 3));
    }));
    return images;
}
} // namespace

TImageList::TImageList(QObject* parent) : QObject(parent), images_(DrawAll())
{
    Q_ASSERT(int(images_.size()) == MainImageCount);
}

QPixmap TImageList::GetBitmap(int index) const
{
    return index >= 0 && index < Count() ? images_[std::size_t(index)] : QPixmap();
}

QIcon TImageList::GetIcon(int index) const
{
    const QPixmap bitmap = GetBitmap(index);
    return bitmap.isNull() ? QIcon() : QIcon(bitmap);
}
