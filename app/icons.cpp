#include "app/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>
#include <map>

// Resources of a static library are registered by hand.
static void InitResources() {
  Q_INIT_RESOURCE(korvane);
}

namespace app {

namespace {

using Draw = std::function<void(QPainter&)>;

// An arrow head at `tip` pointing in direction (dx, dy).
void ArrowHead(QPainter& p, QPointF tip, QPointF dir) {
  const QPointF n(-dir.y(), dir.x());
  QPainterPath head;
  head.moveTo(tip);
  head.lineTo(tip - dir * 4 + n * 3);
  head.lineTo(tip - dir * 4 - n * 3);
  head.closeSubpath();
  p.fillPath(head, p.pen().color());
}

void Picture(QPainter& p, QRectF r) {
  p.drawRect(r);
  QPainterPath hill;
  hill.moveTo(r.left() + 1, r.bottom() - 1);
  hill.lineTo(r.left() + r.width() * 0.4, r.top() + r.height() * 0.45);
  hill.lineTo(r.left() + r.width() * 0.65, r.top() + r.height() * 0.7);
  hill.lineTo(r.left() + r.width() * 0.8, r.top() + r.height() * 0.55);
  hill.lineTo(r.right() - 1, r.bottom() - 1);
  p.drawPath(hill);
}

const std::map<QString, Draw>& Drawings() {
  static const std::map<QString, Draw> drawings = {
      {"open",
       [](QPainter& p) {
         QPainterPath f;
         f.moveTo(3, 19);
         f.lineTo(3, 6);
         f.lineTo(9, 6);
         f.lineTo(11, 8);
         f.lineTo(19, 8);
         f.lineTo(19, 11);
         p.drawPath(f);
         QPainterPath o;
         o.moveTo(3, 19);
         o.lineTo(7, 11);
         o.lineTo(22, 11);
         o.lineTo(18, 19);
         o.closeSubpath();
         p.drawPath(o);
       }},
      {"save",
       [](QPainter& p) {
         p.drawRect(QRectF(4, 4, 16, 16));
         p.drawRect(QRectF(8, 4, 8, 5));
         p.drawRect(QRectF(7, 13, 10, 7));
       }},
      {"savevqn",
       [](QPainter& p) {
         p.drawRect(QRectF(4, 4, 16, 16));
         p.drawRect(QRectF(8, 4, 8, 5));
         QFont f = p.font();
         f.setPixelSize(7);
         f.setBold(true);
         p.setFont(f);
         p.drawText(QRectF(4, 11, 16, 9), Qt::AlignCenter, "VQN");
       }},
      {"batch",
       [](QPainter& p) {
         p.drawRect(QRectF(3, 3, 9, 9));
         p.drawRect(QRectF(12, 12, 9, 9));
         p.drawLine(QPointF(9, 17), QPointF(5, 17));
         p.drawLine(QPointF(5, 17), QPointF(5, 14));
         ArrowHead(p, QPointF(10, 17), QPointF(1, 0));
         p.drawLine(QPointF(15, 7), QPointF(19, 7));
         p.drawLine(QPointF(19, 7), QPointF(19, 10));
         ArrowHead(p, QPointF(14, 7), QPointF(-1, 0));
       }},
      {"print",
       [](QPainter& p) {
         p.drawRect(QRectF(7, 3, 10, 6));
         p.drawRect(QRectF(3, 9, 18, 8));
         p.drawRect(QRectF(7, 14, 10, 7));
       }},
      {"hand",
       [](QPainter& p) {
         QPainterPath h;
         h.moveTo(8, 21);
         h.lineTo(5, 13);
         h.quadTo(5, 11, 7, 12);
         h.lineTo(8, 14);
         h.lineTo(8, 5);
         h.quadTo(9.5, 3.5, 11, 5);
         h.lineTo(11, 11);
         h.lineTo(11, 4);
         h.quadTo(12.5, 2.5, 14, 4);
         h.lineTo(14, 11);
         h.lineTo(14, 5);
         h.quadTo(15.5, 3.5, 17, 5);
         h.lineTo(17, 12);
         h.lineTo(17, 8);
         h.quadTo(18.5, 6.5, 20, 8);
         h.lineTo(20, 15);
         h.quadTo(19, 20, 17, 21);
         h.closeSubpath();
         p.drawPath(h);
       }},
      {"select",
       [](QPainter& p) {
         QPen pen = p.pen();
         pen.setStyle(Qt::DashLine);
         p.setPen(pen);
         p.drawRect(QRectF(4, 5, 16, 14));
       }},
      {"copy",
       [](QPainter& p) {
         p.drawRect(QRectF(4, 4, 11, 13));
         p.drawRect(QRectF(9, 8, 11, 13));
       }},
      {"undo",
       [](QPainter& p) {
         QPainterPath a;
         a.moveTo(6, 10);
         a.lineTo(15, 10);
         a.quadTo(20, 10, 20, 15);
         a.quadTo(20, 20, 15, 20);
         a.lineTo(9, 20);
         p.drawPath(a);
         ArrowHead(p, QPointF(3, 10), QPointF(-1, 0));
       }},
      {"compress",
       [](QPainter& p) {
         p.drawLine(QPointF(12, 3), QPointF(12, 9));
         ArrowHead(p, QPointF(12, 11), QPointF(0, 1));
         p.drawLine(QPointF(12, 21), QPointF(12, 15));
         ArrowHead(p, QPointF(12, 13), QPointF(0, -1));
         p.drawLine(QPointF(4, 12), QPointF(20, 12));
       }},
      {"rotateleft",
       [](QPainter& p) {
         p.drawArc(QRectF(5, 5, 14, 14), 90 * 16, 270 * 16);
         ArrowHead(p, QPointF(9, 5), QPointF(-1, 0));
       }},
      {"rotateright",
       [](QPainter& p) {
         p.drawArc(QRectF(5, 5, 14, 14), 90 * 16, -270 * 16);
         ArrowHead(p, QPointF(15, 5), QPointF(1, 0));
       }},
      {"mirrorvertical",
       [](QPainter& p) {
         p.drawLine(QPointF(3, 12), QPointF(21, 12));
         QPainterPath t;
         t.moveTo(6, 10);
         t.lineTo(12, 3);
         t.lineTo(18, 10);
         t.closeSubpath();
         p.fillPath(t, p.pen().color());
         QPainterPath b;
         b.moveTo(6, 14);
         b.lineTo(12, 21);
         b.lineTo(18, 14);
         b.closeSubpath();
         p.drawPath(b);
       }},
      {"mirrorhorizontal",
       [](QPainter& p) {
         p.drawLine(QPointF(12, 3), QPointF(12, 21));
         QPainterPath l;
         l.moveTo(10, 6);
         l.lineTo(3, 12);
         l.lineTo(10, 18);
         l.closeSubpath();
         p.fillPath(l, p.pen().color());
         QPainterPath r;
         r.moveTo(14, 6);
         r.lineTo(21, 12);
         r.lineTo(14, 18);
         r.closeSubpath();
         p.drawPath(r);
       }},
      {"imagesize",
       [](QPainter& p) {
         Picture(p, QRectF(3, 9, 12, 12));
         p.drawLine(QPointF(13, 11), QPointF(20, 4));
         ArrowHead(p, QPointF(21, 3), QPointF(0.7, -0.7));
       }},
      {"slideshow",
       [](QPainter& p) {
         Picture(p, QRectF(3, 5, 18, 13));
         QPainterPath play;
         play.moveTo(10, 8);
         play.lineTo(16, 11.5);
         play.lineTo(10, 15);
         play.closeSubpath();
         p.fillPath(play, p.pen().color());
       }},
      {"previous",
       [](QPainter& p) {
         p.drawLine(QPointF(19, 12), QPointF(8, 12));
         ArrowHead(p, QPointF(4, 12), QPointF(-1, 0));
       }},
      {"next",
       [](QPainter& p) {
         p.drawLine(QPointF(5, 12), QPointF(16, 12));
         ArrowHead(p, QPointF(20, 12), QPointF(1, 0));
       }},
      {"up",
       [](QPainter& p) {
         p.drawLine(QPointF(12, 20), QPointF(12, 9));
         ArrowHead(p, QPointF(12, 5), QPointF(0, -1));
       }},
      {"newfolder",
       [](QPainter& p) {
         QPainterPath f;
         f.moveTo(3, 19);
         f.lineTo(3, 6);
         f.lineTo(9, 6);
         f.lineTo(11, 8);
         f.lineTo(14, 8);
         p.drawPath(f);
         p.drawLine(QPointF(3, 19), QPointF(20, 19));
         p.drawLine(QPointF(20, 19), QPointF(20, 14));
         p.drawLine(QPointF(18, 3), QPointF(18, 11));
         p.drawLine(QPointF(14, 7), QPointF(22, 7));
       }},
  };
  return drawings;
}

QPixmap Render(const Draw& draw, const QColor& colour, qreal ratio) {
  QPixmap pixmap(QSize(24, 24) * ratio);
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(colour, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  draw(p);
  return pixmap;
}

}  // namespace

QIcon ApplicationIcon() {
  static const bool registered = (InitResources(), true);
  (void)registered;
  return QIcon(QStringLiteral(":/korvane/korvane.svg"));
}

QIcon ToolIcon(const QString& name, const QPalette& palette) {
  const auto it = Drawings().find(name);
  if (it == Drawings().end()) return QIcon();
  QIcon icon;
  for (qreal ratio : {1.0, 2.0}) {
    icon.addPixmap(Render(it->second, palette.color(QPalette::Active, QPalette::ButtonText), ratio),
                   QIcon::Normal);
    icon.addPixmap(
        Render(it->second, palette.color(QPalette::Disabled, QPalette::ButtonText), ratio),
        QIcon::Disabled);
  }
  return icon;
}

}  // namespace app
