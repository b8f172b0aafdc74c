// Draws the program's icons and pictures into resources/res/.
//
// Build and run (needs only Qt Gui):
//   g++ -std=c++17 -fPIC scripts/draw_icons.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/draw_icons
//   QT_QPA_PLATFORM=offscreen /tmp/draw_icons resources/res
//
// Every icon is drawn on a 64 x 64 design grid and scaled to its size, so the shapes stay crisp.

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

#include <cstdio>
#include <functional>

namespace {

using Draw = std::function<void(QPainter &)>;

const QColor kOrange(0xF0, 0x6A, 0x2E);
const QColor kOrangeDark(0xC9, 0x45, 0x15);
const QColor kBlue(0x2F, 0x86, 0xDE);
const QColor kBlueDark(0x1B, 0x5C, 0xA8);
const QColor kGreen(0x5C, 0xB8, 0x3A);
const QColor kGreenDark(0x3A, 0x86, 0x22);
const QColor kSlate(0x3A, 0x40, 0x4A);
const QColor kRed(0xE0, 0x3C, 0x31);
const QColor kGold(0xF2, 0xB1, 0x34);

QLinearGradient vertical(const QRectF &r, const QColor &c)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, c.lighter(135));
    g.setColorAt(1, c.darker(110));
    return g;
}

void shadow(QPainter &p, const QPainterPath &path)
{
    p.save();
    p.setPen(Qt::NoPen);
    for (int i = 3; i >= 1; --i) {
        p.setBrush(QColor(0, 0, 0, 18));
        p.drawPath(path.translated(0, i * 0.7));
    }
    p.restore();
}

void fillShape(QPainter &p, const QPainterPath &path, const QColor &c, bool withShadow = true)
{
    if (withShadow)
        shadow(p, path);
    p.setPen(QPen(c.darker(145), 1.2));
    p.setBrush(vertical(path.boundingRect(), c));
    p.drawPath(path);
}

QPainterPath rounded(const QRectF &r, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

// A phone: body, screen and a home button or speaker slot.
void phone(QPainter &p, const QRectF &r, const QColor &body, const QColor &screen, bool homeButton)
{
    fillShape(p, rounded(r, r.width() * 0.16), body);
    const qreal m = r.width() * 0.1;
    const QRectF scr(r.left() + m, r.top() + r.height() * 0.13, r.width() - 2 * m, r.height() * 0.7);
    QLinearGradient g(scr.topLeft(), scr.bottomRight());
    g.setColorAt(0, screen.lighter(150));
    g.setColorAt(1, screen);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRect(scr);
    // glare
    QPainterPath glare;
    glare.moveTo(scr.topLeft());
    glare.lineTo(scr.left() + scr.width() * 0.7, scr.top());
    glare.lineTo(scr.left(), scr.top() + scr.height() * 0.55);
    glare.closeSubpath();
    p.setBrush(QColor(255, 255, 255, 45));
    p.drawPath(glare);
    p.setBrush(body.lighter(170));
    if (homeButton) {
        const qreal d = r.width() * 0.16;
        p.drawEllipse(QPointF(r.center().x(), r.bottom() - r.height() * 0.085), d / 2, d / 2);
    } else {
        p.drawRoundedRect(QRectF(r.center().x() - r.width() * 0.18, r.bottom() - r.height() * 0.1,
                                 r.width() * 0.36, r.height() * 0.035),
                          1, 1);
    }
    p.drawRoundedRect(QRectF(r.center().x() - r.width() * 0.12, r.top() + r.height() * 0.055,
                             r.width() * 0.24, r.height() * 0.025),
                      1, 1);
}

void iphone(QPainter &p, const QRectF &r)
{
    phone(p, r, kSlate, QColor(0x3D, 0x8E, 0xE8), true);
}
void android(QPainter &p, const QRectF &r)
{
    phone(p, r, kGreenDark, QColor(0x8B, 0xD8, 0x5E), false);
}

// A person: head and shoulders.
void person(QPainter &p, const QPointF &c, qreal s, const QColor &color)
{
    QPainterPath path;
    path.addEllipse(QPointF(c.x(), c.y() - s * 0.28), s * 0.22, s * 0.22);
    QPainterPath body;
    body.moveTo(c.x() - s * 0.42, c.y() + s * 0.45);
    body.cubicTo(c.x() - s * 0.42, c.y() - s * 0.02, c.x() - s * 0.2, c.y() + s * 0.0, c.x(),
                 c.y() + s * 0.0);
    body.cubicTo(c.x() + s * 0.2, c.y(), c.x() + s * 0.42, c.y() - s * 0.02, c.x() + s * 0.42,
                 c.y() + s * 0.45);
    body.closeSubpath();
    path = path.united(body);
    fillShape(p, path, color);
}

// A thick arrow from a to b.
void arrow(QPainter &p, QPointF a, QPointF b, qreal w, const QColor &color)
{
    const QLineF line(a, b);
    const qreal len = line.length();
    const qreal head = w * 1.9;
    QPainterPath path;
    path.moveTo(0, -w / 2);
    path.lineTo(len - head, -w / 2);
    path.lineTo(len - head, -w * 1.25);
    path.lineTo(len, 0);
    path.lineTo(len - head, w * 1.25);
    path.lineTo(len - head, w / 2);
    path.lineTo(0, w / 2);
    path.closeSubpath();
    QTransform t;
    t.translate(a.x(), a.y());
    t.rotate(-line.angle());
    fillShape(p, t.map(path), color);
}

// A database drum.
void database(QPainter &p, const QRectF &r, const QColor &color)
{
    const qreal eh = r.height() * 0.24;
    QPainterPath body;
    body.moveTo(r.left(), r.top() + eh / 2);
    body.lineTo(r.left(), r.bottom() - eh / 2);
    body.arcTo(QRectF(r.left(), r.bottom() - eh, r.width(), eh), 180, 180);
    body.lineTo(r.right(), r.top() + eh / 2);
    body.arcTo(QRectF(r.left(), r.top(), r.width(), eh), 0, 180);
    body.closeSubpath();
    shadow(p, body);
    QLinearGradient g(r.topLeft(), r.topRight());
    g.setColorAt(0, color.darker(115));
    g.setColorAt(0.35, color.lighter(140));
    g.setColorAt(1, color.darker(125));
    p.setPen(QPen(color.darker(160), 1.2));
    p.setBrush(g);
    p.drawPath(body);
    // bands
    p.setPen(QPen(color.darker(150), 1.0));
    p.setBrush(Qt::NoBrush);
    for (qreal f : {0.4, 0.68}) {
        const qreal y = r.top() + (r.height() - eh) * f;
        p.drawArc(QRectF(r.left(), y, r.width(), eh), 180 * 16, 180 * 16);
    }
    p.setPen(QPen(color.darker(160), 1.2));
    p.setBrush(color.lighter(165));
    p.drawEllipse(QRectF(r.left(), r.top(), r.width(), eh));
}

// A sheet of paper with a folded corner and text lines.
void document(QPainter &p, const QRectF &r)
{
    const qreal f = r.width() * 0.3;
    QPainterPath page;
    page.moveTo(r.topLeft());
    page.lineTo(r.right() - f, r.top());
    page.lineTo(r.right(), r.top() + f);
    page.lineTo(r.bottomRight());
    page.lineTo(r.bottomLeft());
    page.closeSubpath();
    shadow(p, page);
    p.setPen(QPen(QColor(0x9A, 0xA4, 0xB0), 1.2));
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, Qt::white);
    g.setColorAt(1, QColor(0xE6, 0xEB, 0xF1));
    p.setBrush(g);
    p.drawPath(page);
    QPainterPath fold;
    fold.moveTo(r.right() - f, r.top());
    fold.lineTo(r.right() - f, r.top() + f);
    fold.lineTo(r.right(), r.top() + f);
    fold.closeSubpath();
    p.setBrush(QColor(0xD0, 0xD8, 0xE2));
    p.drawPath(fold);
    p.setPen(QPen(QColor(0xB4, 0xBE, 0xCA), r.height() * 0.04, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 4; ++i) {
        const qreal y = r.top() + r.height() * (0.42 + i * 0.14);
        p.drawLine(QPointF(r.left() + r.width() * 0.16, y),
                   QPointF(r.right() - r.width() * (i == 3 ? 0.45 : 0.16), y));
    }
}

void folder(QPainter &p, const QRectF &r, const QColor &color)
{
    QPainterPath back;
    back.moveTo(r.left(), r.top() + r.height() * 0.12);
    back.lineTo(r.left() + r.width() * 0.36, r.top() + r.height() * 0.12);
    back.lineTo(r.left() + r.width() * 0.44, r.top() + r.height() * 0.24);
    back.lineTo(r.right(), r.top() + r.height() * 0.24);
    back.lineTo(r.bottomRight());
    back.lineTo(r.bottomLeft());
    back.closeSubpath();
    fillShape(p, back, color.darker(112));
    QPainterPath front =
        rounded(QRectF(r.left(), r.top() + r.height() * 0.34, r.width(), r.height() * 0.66), 2);
    fillShape(p, front, color, false);
}

void badgePlus(QPainter &p, const QPointF &c, qreal s, const QColor &color)
{
    QPainterPath circle;
    circle.addEllipse(c, s, s);
    fillShape(p, circle, color);
    p.setPen(QPen(Qt::white, s * 0.38, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(c.x() - s * 0.5, c.y()), QPointF(c.x() + s * 0.5, c.y()));
    p.drawLine(QPointF(c.x(), c.y() - s * 0.5), QPointF(c.x(), c.y() + s * 0.5));
}

void badgeMinus(QPainter &p, const QPointF &c, qreal s, const QColor &color)
{
    QPainterPath circle;
    circle.addEllipse(c, s, s);
    fillShape(p, circle, color);
    p.setPen(QPen(Qt::white, s * 0.38, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(c.x() - s * 0.5, c.y()), QPointF(c.x() + s * 0.5, c.y()));
}

// A music disc, standing for a computer's media library backup.
void musicDisc(QPainter &p, const QPointF &c, qreal radius)
{
    QPainterPath disc;
    disc.addEllipse(c, radius, radius);
    shadow(p, disc);
    QRadialGradient g(c, radius);
    g.setColorAt(0, QColor(0xF5, 0xF7, 0xFA));
    g.setColorAt(0.6, QColor(0xCF, 0xD8, 0xE6));
    g.setColorAt(1, QColor(0xA9, 0xB6, 0xCA));
    p.setPen(QPen(QColor(0x7E, 0x8C, 0xA2), 1.2));
    p.setBrush(g);
    p.drawPath(disc);
    // note
    p.setPen(Qt::NoPen);
    QLinearGradient ng(c - QPointF(radius, radius), c + QPointF(radius, radius));
    ng.setColorAt(0, QColor(0xFB, 0x4F, 0x8F));
    ng.setColorAt(1, QColor(0x8E, 0x4D, 0xF0));
    p.setBrush(ng);
    const qreal s = radius / 22.0;
    p.drawEllipse(QPointF(c.x() - 7 * s, c.y() + 8 * s), 5 * s, 4 * s);
    p.drawEllipse(QPointF(c.x() + 7 * s, c.y() + 5 * s), 5 * s, 4 * s);
    QPainterPath stems;
    stems.moveTo(c.x() - 3 * s, c.y() + 8 * s);
    stems.lineTo(c.x() - 3 * s, c.y() - 9 * s);
    stems.lineTo(c.x() + 11 * s, c.y() - 13 * s);
    stems.lineTo(c.x() + 11 * s, c.y() + 5 * s);
    stems.lineTo(c.x() + 9 * s, c.y() + 5 * s);
    stems.lineTo(c.x() + 9 * s, c.y() - 7 * s);
    stems.lineTo(c.x() - 1 * s, c.y() - 4 * s);
    stems.lineTo(c.x() - 1 * s, c.y() + 8 * s);
    stems.closeSubpath();
    p.drawPath(stems);
}

void printer(QPainter &p)
{
    // paper in
    p.setPen(QPen(QColor(0x9A, 0xA4, 0xB0), 1.2));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(18, 8, 28, 18));
    fillShape(p, rounded(QRectF(6, 22, 52, 24), 5), QColor(0x6B, 0x75, 0x84));
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen.lighter(120));
    p.drawEllipse(QPointF(50, 30), 2.2, 2.2);
    // paper out
    QPainterPath out;
    out.moveTo(16, 38);
    out.lineTo(48, 38);
    out.lineTo(48, 58);
    out.lineTo(16, 58);
    out.closeSubpath();
    p.setPen(QPen(QColor(0x9A, 0xA4, 0xB0), 1.2));
    p.setBrush(Qt::white);
    p.drawPath(out);
    p.setPen(QPen(QColor(0xB4, 0xBE, 0xCA), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(21, 45), QPointF(43, 45));
    p.drawLine(QPointF(21, 51), QPointF(37, 51));
}

void trash(QPainter &p)
{
    QPainterPath can;
    can.moveTo(15, 18);
    can.lineTo(49, 18);
    can.lineTo(45, 58);
    can.lineTo(19, 58);
    can.closeSubpath();
    fillShape(p, can, kRed);
    p.setPen(QPen(kRed.darker(140), 2.2, Qt::SolidLine, Qt::RoundCap));
    for (qreal x : {25.0, 32.0, 39.0})
        p.drawLine(QPointF(x, 25), QPointF(x + (x - 32) * 0.1, 51));
    fillShape(p, rounded(QRectF(10, 10, 44, 8), 2), kRed.darker(105));
    p.setPen(QPen(kRed.darker(150), 2.2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(25, 5, 14, 6), 2, 2);
}

void pencil(QPainter &p)
{
    QPainterPath body;
    body.moveTo(0, -5);
    body.lineTo(36, -5);
    body.lineTo(36, 5);
    body.lineTo(0, 5);
    body.closeSubpath();
    QPainterPath tip;
    tip.moveTo(0, -5);
    tip.lineTo(-12, 0);
    tip.lineTo(0, 5);
    tip.closeSubpath();
    QTransform t;
    t.translate(17, 47);
    t.rotate(-45);
    fillShape(p, t.map(body), kGold);
    fillShape(p, t.map(tip), QColor(0xF3, 0xD9, 0xAE), false);
    QPainterPath eraser;
    eraser.addRect(36, -5, 8, 10);
    fillShape(p, t.map(eraser), QColor(0xF2, 0x8F, 0xA0), false);
    QPainterPath lead;
    lead.moveTo(-8, -1.7);
    lead.lineTo(-12, 0);
    lead.lineTo(-8, 1.7);
    lead.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(kSlate);
    p.drawPath(t.map(lead));
}

void eject(QPainter &p, const QColor &color)
{
    QPainterPath tri;
    tri.moveTo(32, 10);
    tri.lineTo(54, 36);
    tri.lineTo(10, 36);
    tri.closeSubpath();
    fillShape(p, tri, color);
    fillShape(p, rounded(QRectF(10, 43, 44, 10), 2), color);
}

void questionMark(QPainter &p)
{
    QPainterPath circle;
    circle.addEllipse(QPointF(32, 32), 26, 26);
    fillShape(p, circle, kBlue);
    p.setPen(Qt::white);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setBold(true);
    f.setPixelSize(36);
    p.setFont(f);
    p.drawText(QRectF(6, 4, 52, 56), Qt::AlignCenter, QStringLiteral("?"));
}

void magnifier(QPainter &p)
{
    p.setPen(QPen(kSlate, 7, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(40, 40), QPointF(56, 56));
    QPainterPath lens;
    lens.addEllipse(QPointF(26, 26), 18, 18);
    QPainterPath inner;
    inner.addEllipse(QPointF(26, 26), 12, 12);
    fillShape(p, lens.subtracted(inner), kBlueDark, false);
    QRadialGradient g(QPointF(22, 22), 14);
    g.setColorAt(0, QColor(255, 255, 255, 230));
    g.setColorAt(1, QColor(0xC8, 0xE0, 0xF8, 200));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawPath(inner);
}

void door(QPainter &p)
{
    fillShape(p, rounded(QRectF(10, 6, 30, 52), 2), QColor(0x9C, 0x6B, 0x3F));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x6E, 0x47, 0x25));
    p.drawRect(QRectF(14, 10, 22, 44));
    p.setBrush(kGold);
    p.drawEllipse(QPointF(31, 33), 2, 2);
    arrow(p, QPointF(30, 32), QPointF(60, 32), 7, kRed);
}

QImage render(int w, int h, const Draw &draw, qreal designW = 64, qreal designH = 64)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.scale(w / designW, h / designH);
    draw(p);
    p.end();
    return img;
}

// Banner: warm red-orange band with light streaks, fading to white downwards.
QImage banner(int w, int h, qreal bandShare, bool fadeRight = false)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, QColor(0xE2, 0x4A, 0x1C));
    g.setColorAt(bandShare * 0.45, QColor(0xF2, 0x78, 0x3C));
    g.setColorAt(bandShare, QColor(0xFB, 0xC4, 0xA4));
    g.setColorAt(qMin(1.0, bandShare * 1.9), Qt::white);
    g.setColorAt(1, Qt::white);
    p.fillRect(img.rect(), g);
    // light streaks
    for (int i = 0; i < 7; ++i) {
        const qreal x0 = w * (0.05 + i * 0.15);
        QPainterPath streak;
        streak.moveTo(x0, 0);
        streak.cubicTo(x0 + w * 0.1, h * bandShare * 0.4, x0 + w * 0.05, h * bandShare * 0.8, x0 + w * 0.25,
                       h * bandShare * 1.2);
        streak.lineTo(x0 + w * 0.28, h * bandShare * 1.2);
        streak.cubicTo(x0 + w * 0.09, h * bandShare * 0.8, x0 + w * 0.14, h * bandShare * 0.4, x0 + w * 0.06,
                       0);
        streak.closeSubpath();
        QLinearGradient sg(0, 0, 0, h * bandShare * 1.2);
        sg.setColorAt(0, QColor(255, 255, 255, 60 - i * 4));
        sg.setColorAt(1, QColor(255, 255, 255, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(sg);
        p.drawPath(streak);
    }
    if (fadeRight) {
        // Dialogs wider than the picture show white beyond it: let the band run out into white.
        QLinearGradient fade(w * 0.55, 0, w, 0);
        fade.setColorAt(0, QColor(255, 255, 255, 0));
        fade.setColorAt(1, Qt::white);
        p.fillRect(img.rect(), fade);
    }
    p.end();
    return img;
}

QImage trustAndroid()
{
    const int w = 360, h = 230;
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    // phone screen backdrop
    p.setPen(QPen(QColor(0x2B, 0x2F, 0x36), 8));
    p.setBrush(QColor(0x40, 0x46, 0x50));
    p.drawRoundedRect(QRectF(4, 4, w - 8, h - 8), 18, 18);
    // dialog card
    const QRectF card(28, 26, w - 56, h - 52);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 60));
    p.drawRoundedRect(card.translated(0, 3), 8, 8);
    p.setBrush(Qt::white);
    p.drawRoundedRect(card, 8, 8);
    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(16);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(0x20, 0x20, 0x20));
    p.drawText(QRectF(card.left() + 16, card.top() + 12, card.width() - 32, 24), Qt::AlignLeft,
               QStringLiteral("Allow USB debugging?"));
    QFont body(QStringLiteral("DejaVu Sans"));
    body.setPixelSize(12);
    p.setFont(body);
    p.setPen(QColor(0x55, 0x55, 0x55));
    p.drawText(
        QRectF(card.left() + 16, card.top() + 42, card.width() - 32, 40), Qt::TextWordWrap,
        QStringLiteral(
            "The computer's RSA key fingerprint is:\n4A:1F:9C:22:7B:E0:51:3D:88:C4:06:AF:93:12:5E:7C"));
    // checkbox, highlighted
    const QRectF box(card.left() + 16, card.top() + 96, 16, 16);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xFF, 0xE8, 0x8A));
    p.drawRoundedRect(QRectF(box.left() - 6, box.top() - 6, card.width() - 20, 28), 5, 5);
    p.setBrush(kGreenDark);
    p.drawRoundedRect(box, 3, 3);
    p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(
        QPolygonF({QPointF(box.left() + 3.5, box.top() + 8), QPointF(box.left() + 7, box.top() + 11.5),
                   QPointF(box.left() + 12.5, box.top() + 4.5)}));
    p.setPen(QColor(0x20, 0x20, 0x20));
    p.drawText(QRectF(box.right() + 10, box.top() - 1, 240, 18), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Always allow from this computer"));
    // buttons
    QFont button(QStringLiteral("DejaVu Sans"));
    button.setPixelSize(13);
    button.setBold(true);
    p.setFont(button);
    p.setPen(kGreenDark);
    p.drawText(QRectF(card.right() - 170, card.bottom() - 34, 80, 24), Qt::AlignCenter,
               QStringLiteral("CANCEL"));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xFF, 0xE8, 0x8A));
    p.drawRoundedRect(QRectF(card.right() - 82, card.bottom() - 36, 66, 28), 5, 5);
    p.setPen(kGreenDark);
    p.drawText(QRectF(card.right() - 82, card.bottom() - 36, 66, 28), Qt::AlignCenter, QStringLiteral("OK"));
    p.end();
    return img;
}

QImage iphoneSettings()
{
    const int w = 340, h = 240;
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(QColor(0xEF, 0xEF, 0xF4));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont head(QStringLiteral("DejaVu Sans"));
    head.setPixelSize(15);
    head.setBold(true);
    p.setFont(head);
    p.setPen(QColor(0x10, 0x10, 0x10));
    p.drawText(QRectF(0, 10, w, 22), Qt::AlignCenter, QStringLiteral("Accounts"));
    QFont row(QStringLiteral("DejaVu Sans"));
    row.setPixelSize(13);
    const struct
    {
        const char *label;
        bool on;
        QColor icon;
    } rows[] = {{"Mail", true, kBlue},
                {"Contacts", false, QColor(0x8E, 0x8E, 0x93)},
                {"Calendars", true, kRed},
                {"Notes", true, kGold}};
    qreal y = 48;
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(0, y, w, 4 * 44));
    for (const auto &r : rows) {
        p.setPen(Qt::NoPen);
        p.setBrush(r.icon);
        p.drawRoundedRect(QRectF(14, y + 9, 26, 26), 6, 6);
        p.setFont(row);
        p.setPen(QColor(0x10, 0x10, 0x10));
        p.drawText(QRectF(52, y, 200, 44), Qt::AlignLeft | Qt::AlignVCenter, QString::fromLatin1(r.label));
        // switch
        const QRectF sw(w - 70, y + 9, 52, 26);
        if (!r.on) {
            p.setPen(QPen(QColor(0xE0, 0x3C, 0x31), 2.5));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(sw.adjusted(-5, -4, 5, 4), 17, 17);
        }
        p.setPen(r.on ? Qt::NoPen : QPen(QColor(0xE5, 0xE5, 0xEA), 1.5));
        p.setBrush(r.on ? QColor(0x4C, 0xD9, 0x64) : Qt::white);
        p.drawRoundedRect(sw, 13, 13);
        p.setPen(QPen(QColor(0, 0, 0, 40), 0.8));
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(r.on ? sw.right() - 13 : sw.left() + 13, sw.center().y()), 11.5, 11.5);
        p.setPen(QPen(QColor(0xD8, 0xD8, 0xDC), 1));
        p.drawLine(QPointF(52, y + 44), QPointF(w, y + 44));
        y += 44;
    }
    p.end();
    return img;
}

bool save(const QImage &img, const QString &path)
{
    if (!img.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("resources/res"));
    bool ok = true;
    auto icon = [&](const char *name, int size, const Draw &draw) {
        ok &= save(render(size, size, draw), out.filePath(QString::fromLatin1(name)));
    };

    // Tool-bar and menu actions (shown at 58 x 58 on the tool bar).
    icon("backup.png", 64, [](QPainter &p) {
        iphone(p, QRectF(6, 6, 22, 40));
        database(p, QRectF(32, 30, 28, 30), kOrange);
        arrow(p, QPointF(22, 30), QPointF(38, 24), 5, kBlue);
    });
    icon("i2a.png", 64, [](QPainter &p) {
        iphone(p, QRectF(4, 10, 22, 42));
        android(p, QRectF(38, 10, 22, 42));
        arrow(p, QPointF(16, 34), QPointF(50, 28), 6, kOrange);
    });
    icon("a2a.png", 64, [](QPainter &p) {
        android(p, QRectF(4, 10, 22, 42));
        android(p, QRectF(38, 10, 22, 42));
        arrow(p, QPointF(16, 34), QPointF(50, 28), 6, kOrange);
    });
    icon("db2a.png", 64, [](QPainter &p) {
        database(p, QRectF(4, 22, 26, 32), kOrange);
        android(p, QRectF(38, 10, 22, 42));
        arrow(p, QPointF(18, 34), QPointF(50, 30), 6, kBlue);
    });
    icon("export.png", 64, [](QPainter &p) {
        document(p, QRectF(10, 6, 34, 46));
        arrow(p, QPointF(26, 46), QPointF(60, 46), 7, kGreen);
    });
    icon("import.png", 64, [](QPainter &p) {
        document(p, QRectF(22, 6, 34, 46));
        arrow(p, QPointF(2, 44), QPointF(36, 44), 7, kBlue);
    });
    icon("print.png", 64, [](QPainter &p) { printer(p); });
    icon("new_ct.png", 64, [](QPainter &p) {
        person(p, QPointF(28, 34), 44, kBlue);
        badgePlus(p, QPointF(48, 46), 10, kGreen);
    });
    icon("from_itunes.png", 64, [](QPainter &p) {
        musicDisc(p, QPointF(26, 28), 22);
        database(p, QRectF(40, 34, 20, 24), kOrange);
        arrow(p, QPointF(30, 46), QPointF(44, 46), 4, kBlue);
    });
    icon("del.png", 64, [](QPainter &p) { trash(p); });
    icon("open_db_folder.png", 64, [](QPainter &p) {
        folder(p, QRectF(4, 10, 56, 44), kGold);
        database(p, QRectF(22, 26, 20, 24), kOrange);
    });
    icon("exit.png", 64, [](QPainter &p) { door(p); });
    icon("help.png", 64, [](QPainter &p) { questionMark(p); });

    // Context menus.
    icon("edit.png", 64, [](QPainter &p) {
        document(p, QRectF(8, 6, 34, 46));
        pencil(p);
    });
    icon("group.png", 48, [](QPainter &p) {
        person(p, QPointF(42, 32), 34, kOrange);
        person(p, QPointF(24, 38), 40, kBlue);
    });
    icon("unmount.png", 64, [](QPainter &p) { eject(p, kSlate); });

    // Tree nodes.
    icon("icon_devices.png", 48, [](QPainter &p) {
        iphone(p, QRectF(6, 8, 24, 44));
        android(p, QRectF(32, 14, 24, 44));
    });
    icon("iphone.png", 48, [](QPainter &p) { iphone(p, QRectF(17, 4, 30, 56)); });
    icon("icon_android.png", 48, [](QPainter &p) { android(p, QRectF(17, 4, 30, 56)); });
    icon("icon_database.png", 48, [](QPainter &p) { database(p, QRectF(12, 6, 40, 52), kOrange); });
    icon("icon_databases.png", 48, [](QPainter &p) {
        database(p, QRectF(4, 4, 34, 44), kBlue);
        database(p, QRectF(26, 16, 34, 44), kOrange);
    });

    // Search button, combo arrow, entry editors.
    icon("search.png", 24, [](QPainter &p) { magnifier(p); });
    icon("drop-arrow.png", 16, [](QPainter &p) {
        QPainterPath tri;
        tri.moveTo(8, 20);
        tri.lineTo(56, 20);
        tri.lineTo(32, 48);
        tri.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(vertical(tri.boundingRect(), kBlue));
        p.drawPath(tri);
    });
    icon("add.png", 16, [](QPainter &p) { badgePlus(p, QPointF(32, 32), 27, kGreen); });
    icon("remove.png", 16, [](QPainter &p) { badgeMinus(p, QPointF(32, 32), 27, kRed); });

    // Contact without a photo.
    icon("empty_contact.png", 128, [](QPainter &p) {
        QLinearGradient g(0, 0, 0, 64);
        g.setColorAt(0, QColor(0xE9, 0xEE, 0xF4));
        g.setColorAt(1, QColor(0xCF, 0xD8, 0xE3));
        p.setPen(QPen(QColor(0xB5, 0xC0, 0xCE), 1));
        p.setBrush(g);
        p.drawRoundedRect(QRectF(1, 1, 62, 62), 6, 6);
        p.setClipRect(QRectF(1, 1, 62, 62));
        person(p, QPointF(32, 40), 52, QColor(0x9F, 0xAE, 0xC2));
    });

    // Application icon (256 x 256).
    icon("main_icon.png", 256, [](QPainter &p) {
        QPainterPath tile = rounded(QRectF(3, 3, 58, 58), 13);
        shadow(p, tile);
        QLinearGradient g(0, 3, 0, 61);
        g.setColorAt(0, QColor(0xFF, 0x9A, 0x5C));
        g.setColorAt(1, QColor(0xD9, 0x45, 0x17));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawPath(tile);
        p.setBrush(QColor(255, 255, 255, 40));
        p.drawPath(rounded(QRectF(3, 3, 58, 28), 13).intersected(tile));
        iphone(p, QRectF(9, 14, 19, 36));
        android(p, QRectF(36, 14, 19, 36));
        arrow(p, QPointF(19, 32), QPointF(47, 32), 5, QColor(0xFF, 0xFF, 0xFF));
    });

    // Window backgrounds and pictures in messages.
    ok &= save(banner(480, 102, 0.42, true), out.filePath(QStringLiteral("subwin-bg.png")));
    ok &= save(banner(1920, 356, 0.22), out.filePath(QStringLiteral("main-bg.png")));
    ok &= save(trustAndroid(), out.filePath(QStringLiteral("trust-android.png")));
    ok &= iphoneSettings().save(out.filePath(QStringLiteral("iphone_setting1.jpg")), "JPG", 90);
    return ok ? 0 : 1;
}
