// Draws Pondwatch's thirteen 32 x 32 toolbar icons with QPainter and saves them as PNG files.
// Run once when an icon changes; the PNGs are committed under resources/images/.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace {

QImage canvas()
{
    QImage img(32, 32, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    return img;
}

void drawFish(QPainter &p, const QColor &body, qreal dx = 0, qreal dy = 0, qreal scale = 1.0)
{
    p.save();
    p.translate(dx, dy);
    p.scale(scale, scale);
    p.setPen(QPen(body.darker(160), 1.2));
    p.setBrush(body);
    p.drawEllipse(QRectF(4, 10, 19, 12));
    QPainterPath tail;
    tail.moveTo(22, 16);
    tail.lineTo(29, 10);
    tail.lineTo(29, 22);
    tail.closeSubpath();
    p.drawPath(tail);
    p.setBrush(Qt::black);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(9, 15), 1.5, 1.5);
    p.restore();
}

void fish(QPainter &p)
{
    drawFish(p, QColor(255, 150, 40));
}
void fish2(QPainter &p)
{
    drawFish(p, QColor(60, 160, 255));
}
void fish3(QPainter &p)
{
    drawFish(p, QColor(90, 200, 90));
}
void fish4(QPainter &p)
{
    drawFish(p, QColor(255, 150, 40), -2, -6, 0.8);
    drawFish(p, QColor(60, 160, 255), 6, 8, 0.8);
}

void ruler(QPainter &p)
{
    p.setPen(QPen(QColor(120, 90, 20), 1));
    p.setBrush(QColor(240, 200, 80));
    p.translate(16, 16);
    p.rotate(-35);
    p.drawRect(QRectF(-15, -5, 30, 10));
    for (int i = -12; i <= 12; i += 4)
        p.drawLine(QLineF(i, -5, i, i % 8 == 0 ? 1 : -1));
}

void record(QPainter &p)
{
    p.setPen(QPen(QColor(120, 0, 0), 1.5));
    p.setBrush(QColor(220, 30, 30));
    p.drawEllipse(QRectF(5, 5, 22, 22));
}

void stop(QPainter &p)
{
    p.setPen(QPen(QColor(40, 40, 40), 1.5));
    p.setBrush(QColor(90, 90, 90));
    p.drawRect(QRectF(7, 7, 18, 18));
}

void add(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 160, 60));
    p.drawEllipse(QRectF(3, 3, 26, 26));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(14, 8, 4, 16));
    p.drawRect(QRectF(8, 14, 16, 4));
}

void exportIcon(QPainter &p)
{
    p.setPen(QPen(QColor(30, 60, 140), 1.5));
    p.setBrush(QColor(200, 215, 245));
    p.drawRect(QRectF(4, 10, 18, 16));
    p.setBrush(QColor(30, 90, 200));
    QPainterPath arrow;
    arrow.moveTo(14, 14);
    arrow.lineTo(24, 14);
    arrow.lineTo(24, 9);
    arrow.lineTo(30, 17);
    arrow.lineTo(24, 25);
    arrow.lineTo(24, 20);
    arrow.lineTo(14, 20);
    arrow.closeSubpath();
    p.drawPath(arrow);
}

void video(QPainter &p)
{
    p.setPen(QPen(QColor(30, 30, 30), 1));
    p.setBrush(QColor(60, 60, 70));
    p.drawRect(QRectF(3, 6, 26, 20));
    p.setBrush(Qt::white);
    for (int x = 5; x < 28; x += 5) {
        p.drawRect(QRectF(x, 8, 2, 2));
        p.drawRect(QRectF(x, 22, 2, 2));
    }
    p.setBrush(QColor(120, 190, 255));
    p.drawRect(QRectF(6, 11, 20, 10));
}

void folder(QPainter &p)
{
    p.setPen(QPen(QColor(150, 110, 20), 1));
    p.setBrush(QColor(250, 205, 90));
    QPainterPath path;
    path.moveTo(3, 8);
    path.lineTo(12, 8);
    path.lineTo(15, 11);
    path.lineTo(29, 11);
    path.lineTo(29, 26);
    path.lineTo(3, 26);
    path.closeSubpath();
    p.drawPath(path);
}

void gear(QPainter &p)
{
    p.translate(16, 16);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(110, 115, 125));
    for (int i = 0; i < 8; ++i) {
        p.drawRect(QRectF(-3, -14, 6, 8));
        p.rotate(45);
    }
    p.drawEllipse(QPointF(0, 0), 10, 10);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(0, 0), 4, 4);
}

void pointdist(QPainter &p)
{
    p.setPen(QPen(QColor(70, 70, 70), 1.5, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(16, 16), 12, 12);
    p.setPen(QPen(QColor(20, 20, 20), 1.5));
    p.drawLine(QLineF(10, 16, 22, 16));
    p.drawLine(QLineF(16, 10, 16, 22));
    p.setBrush(QColor(220, 40, 40));
    p.drawEllipse(QPointF(24.5, 7.5), 2.5, 2.5);
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(dir);
    const QList<QPair<QString, std::function<void(QPainter &)>>> icons = {
        { "fish", fish },
        { "ruler", ruler },
        { "record", record },
        { "export", exportIcon },
        { "add", add },
        { "fish2", fish2 },
        { "fish3", fish3 },
        { "fish4", fish4 },
        { "video", video },
        { "folder", folder },
        { "stop", stop },
        { "gear", gear },
        { "pointdist", pointdist },
    };
    for (const auto &icon : icons) {
        QImage img = canvas();
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        icon.second(p);
        p.end();
        if (!img.save(dir + "/" + icon.first + ".png"))
            return 1;
    }
    return 0;
}
