// Draws the status window's twelve status icons as PNG files: one round badge
// per icon, its colour telling the kind of state (green ready, blue working,
// amber for something the user must do, red for a fault, grey when offline)
// and a white glyph telling which one. Usage: MakeStatusIcons OUTPUT-FOLDER
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {

constexpr int kSize = 96;
constexpr double kStroke = 7.0;

const QColor kGreen(0x2e, 0x9d, 0x4a);
const QColor kBlue(0x2f, 0x6f, 0xd0);
const QColor kCyan(0x1f, 0x9e, 0xc4);
const QColor kAmber(0xe0, 0x94, 0x12);
const QColor kRed(0xd0, 0x3a, 0x2f);
const QColor kGrey(0x84, 0x8a, 0x92);

QPen GlyphPen(double width = kStroke, const QColor& colour = Qt::white)
{
  return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void Badge(QPainter& p, const QColor& colour)
{
  p.setPen(QPen(colour.darker(125), 2.0));
  p.setBrush(colour);
  p.drawEllipse(QPointF(48, 48), 45, 45);
  p.setBrush(Qt::NoBrush);
  p.setPen(GlyphPen());
}

// A diagonal stroke across the glyph, set off from it by a rim of the badge colour.
void Slash(QPainter& p, const QColor& badge)
{
  p.setPen(GlyphPen(kStroke + 8.0, badge));
  p.drawLine(QPointF(24, 24), QPointF(72, 72));
  p.setPen(GlyphPen());
  p.drawLine(QPointF(24, 24), QPointF(72, 72));
}

void Exclamation(QPainter& p, double top, double bottom, double width, const QColor& colour = Qt::white)
{
  p.setPen(GlyphPen(width, colour));
  p.drawLine(QPointF(48, top), QPointF(48, bottom));
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  p.drawEllipse(QPointF(48, bottom + width * 1.9), width * 0.62, width * 0.62);
  p.setBrush(Qt::NoBrush);
  p.setPen(GlyphPen());
}

void Sheet(QPainter& p)
{
  const QPolygonF sheet({{32, 22}, {54, 22}, {64, 32}, {64, 74}, {32, 74}});
  p.drawPolygon(sheet);
  p.drawPolyline(QPolygonF({{54, 22}, {54, 32}, {64, 32}}));
}

void Printer(QPainter& p)
{
  p.drawRect(QRectF(36, 22, 24, 16));               // paper going in
  p.drawRoundedRect(QRectF(22, 38, 52, 24), 5, 5);  // body
  p.setBrush(Qt::white);
  p.drawRect(QRectF(34, 56, 28, 20));  // print coming out
  p.setBrush(Qt::NoBrush);
}

void Spools(QPainter& p, bool torn)
{
  p.drawEllipse(QPointF(30, 48), 10, 10);
  p.drawEllipse(QPointF(66, 48), 10, 10);
  if (!torn) {
    p.drawLine(QPointF(30, 38), QPointF(66, 38));
    p.drawLine(QPointF(30, 58), QPointF(66, 58));
    return;
  }
  p.drawPolyline(QPolygonF({{30, 38}, {44, 38}, {48, 32}, {52, 44}, {56, 38}, {66, 38}}));
  p.drawPolyline(QPolygonF({{30, 58}, {44, 58}, {48, 52}, {52, 64}, {56, 58}, {66, 58}}));
}

void Snowflake(QPainter& p)
{
  for (int i = 0; i < 3; ++i) {
    const double a = (90.0 + 60.0 * i) * M_PI / 180.0;
    const QPointF d(std::cos(a) * 28.0, -std::sin(a) * 28.0);
    p.drawLine(QPointF(48, 48) - d, QPointF(48, 48) + d);
    for (int end = -1; end <= 1; end += 2) {
      const QPointF tip = QPointF(48, 48) + d * (0.62 * end);
      const QPointF side(std::cos(a + M_PI / 2) * 8.0, -std::sin(a + M_PI / 2) * 8.0);
      p.drawLine(tip, tip + d * (0.25 * end) + side);
      p.drawLine(tip, tip + d * (0.25 * end) - side);
    }
  }
}

struct Icon {
  const char* file;
  std::function<void(QPainter&)> draw;
};

const Icon kIcons[] = {
    {"PrtStsCooling.png",
     [](QPainter& p) {
       Badge(p, kCyan);
       Snowflake(p);
     }},
    {"PrtStsCoverOpen.png",
     [](QPainter& p) {
       Badge(p, kAmber);
       p.drawRoundedRect(QRectF(22, 50, 52, 22), 5, 5);
       p.drawLine(QPointF(24, 44), QPointF(68, 22));  // the lid, lifted
     }},
    {"PrtStsIdle.png",
     [](QPainter& p) {
       Badge(p, kGreen);
       p.setPen(GlyphPen(kStroke + 2.0));
       p.drawPolyline(QPolygonF({{27, 50}, {42, 65}, {70, 33}}));
     }},
    {"PrtStsNoScrapBox.png",
     [](QPainter& p) {
       Badge(p, kAmber);
       p.drawPolygon(QPolygonF({{31, 34}, {65, 34}, {60, 72}, {36, 72}}));
       p.drawLine(QPointF(25, 34), QPointF(71, 34));
       Slash(p, kAmber);
     }},
    {"PrtStsOffline.png",
     [](QPainter& p) {
       Badge(p, kGrey);
       p.drawLine(QPointF(42, 24), QPointF(42, 38));
       p.drawLine(QPointF(54, 24), QPointF(54, 38));
       p.drawRoundedRect(QRectF(34, 38, 28, 20), 4, 4);
       p.drawLine(QPointF(48, 58), QPointF(48, 76));
       Slash(p, kGrey);
     }},
    {"PrtStsPaperEnd.png",
     [](QPainter& p) {
       Badge(p, kAmber);
       Sheet(p);
       Slash(p, kAmber);
     }},
    {"PrtStsPaperErr.png",
     [](QPainter& p) {
       Badge(p, kRed);
       Sheet(p);
       Exclamation(p, 36, 53, 6.0);
     }},
    {"PrtStsPaperJam.png",
     [](QPainter& p) {
       Badge(p, kRed);
       p.drawPolygon(QPolygonF({{32, 22}, {64, 22}, {64, 62}, {58, 72}, {52, 62}, {46, 72}, {40, 62}, {32, 72}}));
       p.drawLine(QPointF(40, 36), QPointF(56, 36));
       p.drawLine(QPointF(40, 48), QPointF(56, 48));
     }},
    {"PrtStsPrinting.png",
     [](QPainter& p) {
       Badge(p, kBlue);
       Printer(p);
     }},
    {"PrtStsRibbonEnd.png",
     [](QPainter& p) {
       Badge(p, kAmber);
       Spools(p, false);
       Slash(p, kAmber);
     }},
    {"PrtStsRibbonErr.png",
     [](QPainter& p) {
       Badge(p, kRed);
       Spools(p, true);
     }},
    {"PrtStsSystemErr01.png",
     [](QPainter& p) {
       Badge(p, kRed);
       Exclamation(p, 22, 56, 10.0);
     }},
};

}  // namespace

int main(int argc, char** argv)
{
  if (argc != 2) {
    std::fprintf(stderr, "usage: MakeStatusIcons OUTPUT-FOLDER\n");
    return 2;
  }
  for (const Icon& icon : kIcons) {
    QImage image(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
      QPainter painter(&image);
      painter.setRenderHint(QPainter::Antialiasing);
      icon.draw(painter);
    }
    const QString path = QString::fromLocal8Bit(argv[1]) + "/" + icon.file;
    if (!image.save(path, "PNG")) {
      std::fprintf(stderr, "MakeStatusIcons: cannot write %s\n", path.toLocal8Bit().constData());
      return 1;
    }
  }
  return 0;
}
