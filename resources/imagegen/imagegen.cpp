// Draws the program's built-in images (logo, title banner, start-view
// pictures, mode-button icons, switch buttons) into a folder. Run once with
//   QT_QPA_PLATFORM=offscreen quellon_imagegen resources/images
// and commit the files; the build only compiles the committed images in.
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>

#include <cmath>

namespace {

const char *kFontFamily = "Noto Sans CJK SC";

QFont font(int pixelSize, int weight = QFont::Normal)
{
    QFont f(QString::fromLatin1(kFontFamily));
    f.setPixelSize(pixelSize);
    f.setWeight(weight);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

QImage canvas(int w, int h, const QColor &fill = Qt::transparent)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(fill);
    return img;
}

void setup(QPainter &p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
}

// The emblem: a rounded square with a stylised load curve (a step that
// settles), drawn in the product's blue.
void drawEmblem(QPainter &p, const QRectF &r)
{
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, QColor(47, 144, 185));
    g.setColorAt(1, QColor(22, 78, 122));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(r, r.width() * 0.18, r.width() * 0.18);

    QPainterPath curve;
    const qreal x0 = r.left() + r.width() * 0.16, x1 = r.right() - r.width() * 0.16;
    const qreal yLow = r.bottom() - r.height() * 0.26, yHigh = r.top() + r.height() * 0.30;
    curve.moveTo(x0, yLow);
    curve.lineTo(r.left() + r.width() * 0.38, yLow);
    curve.cubicTo(r.left() + r.width() * 0.42, yHigh - r.height() * 0.08,
                  r.left() + r.width() * 0.50, yHigh, r.left() + r.width() * 0.60, yHigh);
    curve.lineTo(x1, yHigh);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, r.width() * 0.08, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(curve);
    p.setPen(QPen(QColor(248, 192, 1), r.width() * 0.05, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(x0, r.bottom() - r.height() * 0.14), QPointF(x1, r.bottom() - r.height() * 0.14));
}

// The start-view images are drawn at twice the size the window shows them
// (logo 200 x 60, title and product pictures 500 x 205 and 490 x 205), so
// that they stay sharp when scaled.
const qreal kScale = 2.0;

QImage scaledCanvas(int w, int h, const QColor &fill)
{
    return canvas(qRound(w * kScale), qRound(h * kScale), fill);
}

QImage logo()
{
    QImage img = scaledCanvas(200, 60, QColor(229, 229, 229));
    QPainter p(&img);
    setup(p);
    p.scale(kScale, kScale);
    drawEmblem(p, QRectF(6, 6, 48, 48));
    p.setPen(QColor(22, 78, 122));
    p.setFont(font(28, QFont::Bold));
    p.drawText(QRectF(64, 0, 136, 40), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Darvik"));
    p.setPen(QColor(90, 90, 90));
    p.setFont(font(10));
    p.drawText(QRectF(66, 38, 134, 16), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("ELECTRONIC LOAD"));
    return img;
}

QImage titleBanner()
{
    const int w = 500, h = 205;
    QImage img = scaledCanvas(w, h, Qt::transparent);
    QPainter p(&img);
    setup(p);
    p.scale(kScale, kScale);
    QLinearGradient g(0, 0, w, h);
    g.setColorAt(0, QColor(22, 78, 122));
    g.setColorAt(1, QColor(47, 144, 185));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(0, 0, w, h), 12, 12);
    // faint grid and a settling load curve in the background
    p.setPen(QPen(QColor(255, 255, 255, 28), 1));
    for (int x = 20; x < w; x += 30)
        p.drawLine(QPointF(x, 12), QPointF(x, h - 12));
    for (int y = 20; y < h; y += 30)
        p.drawLine(QPointF(12, y), QPointF(w - 12, y));
    QPainterPath curve;
    curve.moveTo(20, 188);
    curve.lineTo(250, 188);
    curve.cubicTo(266, 140, 285, 144, 320, 152);
    curve.cubicTo(350, 158, 380, 155, 480, 155);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(248, 192, 1, 200), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(curve);
    p.setPen(Qt::white);
    p.setFont(font(44, QFont::Bold));
    p.drawText(QRectF(26, 18, w - 40, 70), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("KTR SERIES"));
    p.setFont(font(17));
    p.setPen(QColor(225, 238, 246));
    p.drawText(QRectF(28, 84, w - 40, 28), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Programmable DC Electronic Load"));
    p.setFont(font(14, QFont::Bold));
    p.drawText(QRectF(28, 112, w - 40, 24), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("CC · CV · CR · CP · CCD · LIST · BATTERY"));
    return img;
}

// A front view of a bench electronic load: display, keypad, knob, terminals.
QImage instrument()
{
    const int w = 490, h = 205;
    QImage img = scaledCanvas(w, h, Qt::transparent);
    QPainter p(&img);
    setup(p);
    p.scale(kScale, kScale);
    // shadow and case
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawRoundedRect(QRectF(10, 10, w - 12, h - 12), 14, 14);
    QLinearGradient body(0, 0, 0, h);
    body.setColorAt(0, QColor(250, 250, 250));
    body.setColorAt(1, QColor(200, 203, 207));
    p.setBrush(body);
    p.setPen(QPen(QColor(120, 124, 130), 2));
    p.drawRoundedRect(QRectF(3, 3, w - 14, h - 14), 14, 14);
    // display
    p.setPen(QPen(QColor(60, 60, 60), 3));
    p.setBrush(QColor(18, 30, 44));
    p.drawRoundedRect(QRectF(20, 18, 230, 104), 6, 6);
    p.setFont(font(24, QFont::Bold));
    p.setPen(QColor(248, 192, 1));
    p.drawText(QRectF(30, 22, 210, 32), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("12.000 V"));
    p.setPen(QColor(88, 206, 245));
    p.drawText(QRectF(30, 54, 210, 32), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("5.000 A"));
    p.setPen(QColor(255, 87, 51));
    p.drawText(QRectF(30, 86, 210, 32), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("60.00 W"));
    p.setFont(font(11, QFont::Bold));
    p.setPen(QColor(62, 185, 90));
    p.drawText(QRectF(30, 24, 40, 20), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("CC"));
    // keypad
    p.setFont(font(10, QFont::Bold));
    const char *keys[] = {"CC", "CV", "CR", "CP", "CCD", "LIST", "BAT", "SHIFT"};
    for (int i = 0; i < 8; ++i) {
        QRectF k(20 + (i % 4) * 58, 132 + (i / 4) * 28, 52, 22);
        p.setPen(QPen(QColor(110, 110, 110), 1));
        p.setBrush(QColor(235, 236, 238));
        p.drawRoundedRect(k, 5, 5);
        p.setPen(QColor(40, 40, 40));
        p.drawText(k, Qt::AlignCenter, QString::fromLatin1(keys[i]));
    }
    // knob
    QPointF c(320, 72);
    QRadialGradient kg(c - QPointF(12, 12), 60);
    kg.setColorAt(0, QColor(240, 240, 240));
    kg.setColorAt(1, QColor(120, 124, 130));
    p.setBrush(kg);
    p.setPen(QPen(QColor(80, 80, 80), 2));
    p.drawEllipse(c, 44, 44);
    p.setPen(QPen(QColor(60, 60, 60), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c, c + QPointF(26 * std::cos(-0.9), 26 * std::sin(-0.9)));
    // input switch
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(62, 185, 90));
    p.drawRoundedRect(QRectF(396, 36, 64, 22), 5, 5);
    p.setPen(Qt::white);
    p.setFont(font(10, QFont::Bold));
    p.drawText(QRectF(396, 36, 64, 22), Qt::AlignCenter, QStringLiteral("INPUT"));
    // terminals
    const QColor termColours[] = {QColor(210, 40, 40), QColor(40, 40, 40)};
    for (int i = 0; i < 2; ++i) {
        QPointF t(300 + i * 80, 150);
        p.setPen(QPen(QColor(60, 60, 60), 2));
        p.setBrush(termColours[i]);
        p.drawEllipse(t, 20, 20);
        p.setBrush(QColor(220, 190, 90));
        p.drawEllipse(t, 7, 7);
        p.setPen(QColor(40, 40, 40));
        p.setFont(font(14, QFont::Bold));
        p.drawText(QRectF(t.x() + 22, t.y() - 10, 20, 20), Qt::AlignCenter,
                   i == 0 ? QStringLiteral("+") : QStringLiteral("−"));
    }
    return img;
}

// Background of small push buttons (stretched as a border image).
QImage minButton()
{
    QImage img = canvas(120, 36, Qt::white);
    QPainter p(&img);
    setup(p);
    QLinearGradient g(0, 0, 0, 36);
    g.setColorAt(0, QColor(246, 248, 250));
    g.setColorAt(0.5, QColor(226, 231, 236));
    g.setColorAt(1, QColor(204, 211, 218));
    p.setBrush(g);
    p.setPen(QPen(QColor(140, 150, 160), 2));
    p.drawRoundedRect(QRectF(1, 1, 118, 34), 6, 6);
    return img;
}

// Mode buttons of the start view: a title word above a small drawing.
QImage modeIcon(int kind)
{
    QImage img = canvas(160, 120);
    QPainter p(&img);
    setup(p);
    p.setPen(QPen(QColor(22, 78, 122), 2));
    p.setBrush(QColor(255, 255, 255));
    p.drawRoundedRect(QRectF(2, 2, 156, 116), 12, 12);
    QRectF plot(22, 20, 116, 70);
    p.setPen(QPen(QColor(150, 150, 150), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(plot.bottomLeft(), plot.bottomRight());
    p.drawLine(plot.bottomLeft(), plot.topLeft());
    QPainterPath path;
    const QColor colour[] = {QColor(88, 206, 245), QColor(255, 87, 51), QColor(62, 185, 90)};
    if (kind == 0) {            // static: constant level with a step
        path.moveTo(plot.left() + 4, plot.bottom() - 8);
        path.lineTo(plot.left() + 30, plot.bottom() - 8);
        path.lineTo(plot.left() + 36, plot.top() + 14);
        path.lineTo(plot.right() - 4, plot.top() + 14);
    } else if (kind == 1) {     // list: a staircase of steps
        qreal x = plot.left() + 4, y = plot.bottom() - 6;
        path.moveTo(x, y);
        const qreal levels[] = {40, 18, 56, 30, 62};
        for (qreal lv : levels) {
            path.lineTo(x, plot.bottom() - lv);
            x += 22;
            path.lineTo(x, plot.bottom() - lv);
        }
    } else {                    // battery: a discharge curve
        path.moveTo(plot.left() + 4, plot.top() + 6);
        path.cubicTo(plot.left() + 30, plot.top() + 18, plot.left() + 80, plot.top() + 22,
                     plot.right() - 14, plot.top() + 34);
        path.lineTo(plot.right() - 4, plot.bottom() - 4);
    }
    p.setPen(QPen(colour[kind], 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    if (kind == 2) {            // small battery symbol
        p.setPen(QPen(QColor(60, 60, 60), 2));
        p.setBrush(QColor(62, 185, 90, 160));
        p.drawRect(QRectF(96, 24, 30, 16));
        p.setBrush(QColor(60, 60, 60));
        p.drawRect(QRectF(126, 28, 4, 8));
    }
    p.setPen(QColor(22, 78, 122));
    p.setFont(font(15, QFont::Bold));
    const char *words[] = {"CC / CV / CR / CP", "LIST", "BATTERY"};
    p.drawText(QRectF(4, 92, 152, 24), Qt::AlignCenter, QString::fromLatin1(words[kind]));
    return img;
}

// The input switch: a round push button with the power symbol, lit green
// when on and grey when off.
QImage switchButton(bool on, bool list)
{
    const int s = 120;
    QImage img = canvas(s, s);
    QPainter p(&img);
    setup(p);
    QPointF c(s / 2.0, s / 2.0);
    QRadialGradient rim(c, s / 2.0);
    rim.setColorAt(0.80, QColor(210, 212, 216));
    rim.setColorAt(1.0, QColor(130, 134, 140));
    p.setPen(Qt::NoPen);
    p.setBrush(rim);
    p.drawEllipse(c, s / 2.0 - 2, s / 2.0 - 2);
    const QColor lit = on ? (list ? QColor(47, 170, 90) : QColor(40, 180, 80)) : QColor(150, 154, 160);
    QRadialGradient face(c - QPointF(10, 14), s * 0.5);
    face.setColorAt(0, lit.lighter(140));
    face.setColorAt(1, lit.darker(115));
    p.setBrush(face);
    p.drawEllipse(c, s * 0.40, s * 0.40);
    // power symbol
    QPen pen(Qt::white, 7, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    const qreal r = s * 0.15;
    const QPointF sym = c - QPointF(0, 9);
    pen.setWidthF(6);
    p.setPen(pen);
    p.drawArc(QRectF(sym.x() - r, sym.y() - r, 2 * r, 2 * r), 120 * 16, 300 * 16);
    p.drawLine(QPointF(sym.x(), sym.y() - r - 4), QPointF(sym.x(), sym.y() + 1));
    p.setFont(font(13, QFont::Bold));
    p.setPen(Qt::white);
    p.drawText(QRectF(0, c.y() + 13, s, 20), Qt::AlignCenter, on ? QStringLiteral("ON") : QStringLiteral("OFF"));
    return img;
}

bool save(const QImage &img, const QString &dir, const QString &name)
{
    const QString path = dir + QLatin1Char('/') + name;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage out = img;
    if (name.endsWith(QLatin1String(".jpg")))
        out = img.convertToFormat(QImage::Format_RGB32);
    const bool ok = out.save(path, nullptr, name.endsWith(QLatin1String(".jpg")) ? 95 : -1);
    QTextStream(stdout) << (ok ? "wrote " : "FAILED ") << path << '\n';
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("images");
    bool ok = true;
    ok &= save(logo(), dir, QStringLiteral("mianPage/Darviklogo.jpg"));
    ok &= save(titleBanner(), dir, QStringLiteral("mianPage/title.png"));
    ok &= save(instrument(), dir, QStringLiteral("mianPage/product.png"));
    ok &= save(minButton(), dir, QStringLiteral("mianPage/minButton.jpg"));
    ok &= save(modeIcon(0), dir, QStringLiteral("FristImage/cccv.png"));
    ok &= save(modeIcon(1), dir, QStringLiteral("FristImage/list.png"));
    ok &= save(modeIcon(2), dir, QStringLiteral("FristImage/battery.png"));
    ok &= save(switchButton(true, false), dir, QStringLiteral("CCCVImage/On.png"));
    ok &= save(switchButton(false, false), dir, QStringLiteral("CCCVImage/Off.png"));
    ok &= save(switchButton(true, true), dir, QStringLiteral("listImage/On.png"));
    ok &= save(switchButton(false, true), dir, QStringLiteral("listImage/Off.png"));
    return ok ? 0 : 1;
}
