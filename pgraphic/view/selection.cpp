// The selection of TPGImage and everything the mouse does on its child: creating,
// moving and resizing the selection, hand scrolling, auto-scrolling at the edges
// and the cursors that show which of these a press would start.
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>

#include "pgraphic/view/pgimage.h"

namespace pgraphic {

namespace {

QRect ToQRect(const TPGRect& r) {
  return QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
}

// The ring of width `margin` just outside r (where the outline and handles lie).
QRegion OutlineRegion(const TPGRect& r, int margin) {
  const QRect outer = ToQRect(r).adjusted(-margin, -margin, margin, margin);
  const QRect inner = ToQRect(r).adjusted(1, 1, -1, -1);
  return QRegion(outer).subtracted(QRegion(inner));
}

// One-pixel frame of r filled with a brush.
void FrameRect(QPainter& p, const QRect& r, const QBrush& brush) {
  if (r.width() <= 0 || r.height() <= 0) return;
  p.fillRect(QRect(r.left(), r.top(), r.width(), 1), brush);
  p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), brush);
  p.fillRect(QRect(r.left(), r.top(), 1, r.height()), brush);
  p.fillRect(QRect(r.right(), r.top(), 1, r.height()), brush);
}

// The layout of an image under a view's settings, as Relayout makes it; a widget
}  // namespace

// ---- Cursors -------------------------------------------------------------------------

QCursor PGImageCursor(TPGCursor which) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing, false);
  // Each shape is stroked wide in white, then narrow in black, so it shows on any
  // background.
  auto stroke = [&](const QPainterPath& path) {
    p.strokePath(path, QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.fillPath(path, Qt::white);
    p.strokePath(path, QPen(Qt::black, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  };
  QPoint hot;
  QPainterPath path;
  switch (which) {
    case TPGCursor::OpenHand:
    case TPGCursor::GrabbingHand: {
      const bool open = which == TPGCursor::OpenHand;
      path.addRoundedRect(QRectF(9, 13, 15, 12), 4, 4);
      const int fingerTop = open ? 5 : 10;
      for (int i = 0; i < 4; ++i)
        path.addRoundedRect(QRectF(9 + 4 * i, fingerTop + (i == 0 || i == 3 ? 2 : 0), 3, 10), 1.5,
                            1.5);
      path.addRoundedRect(QRectF(open ? 4 : 6, open ? 14 : 15, 7, 3), 1.5, 1.5);
      path.setFillRule(Qt::WindingFill);
      stroke(path.simplified());
      hot = {16, 12};
      break;
    }
    case TPGCursor::CreateSelection:
      path.moveTo(15, 2);
      path.lineTo(15, 28);
      path.moveTo(2, 15);
      path.lineTo(28, 15);
      p.setPen(QPen(Qt::white, 3));
      p.drawPath(path);
      p.setPen(QPen(Qt::black, 1));
      p.drawPath(path);
      p.drawRect(19, 19, 8, 8);
      hot = {15, 15};
      break;
    case TPGCursor::MoveSelection: {
      const QPointF c(16, 15);
      for (int k = 0; k < 4; ++k) {
        QTransform t;
        t.translate(c.x(), c.y());
        t.rotate(90 * k);
        QPolygonF arrow({{0, -13}, {-5, -8}, {-2, -8}, {-2, 0}, {2, 0}, {2, -8}, {5, -8}});
        path.addPolygon(t.map(arrow));
        path.closeSubpath();
      }
      path.setFillRule(Qt::WindingFill);
      stroke(path.simplified());
      hot = {16, 15};
      break;
    }
  }
  p.end();
  return QCursor(pixmap, hot.x(), hot.y());
}

// ---- Selection
// ------------------------------------------------------------------------------------

void TPGImage::RebuildBrushes() {
  for (int k = 0; k < 8; ++k) {
    QImage pattern(8, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x)
        pattern.setPixel(x, y, (OutlineSecondColor(x, y, k) ? selColor2_ : selColor1_).rgb());
    brushes_[static_cast<size_t>(k)] = QBrush(pattern);
  }
}

void TPGImage::SetSelectionColor1(const QColor& c) {
  selColor1_ = c;
  RebuildBrushes();
  picBox_->update();
}

void TPGImage::SetSelectionColor2(const QColor& c) {
  selColor2_ = c;
  RebuildBrushes();
  picBox_->update();
}

TPGRect TPGImage::SelectionDisplayRect() const {
  return {ImageToDisplayX(sel_.Left), ImageToDisplayY(sel_.Top),
          ImageToDisplayX(sel_.Left + sel_.Width), ImageToDisplayY(sel_.Top + sel_.Height)};
}

void TPGImage::InvalidateSelection() {
  const int margin = actionMode_ == amMoveResizeCreateSelection ? 8 : 1;
  picBox_->update(OutlineRegion(SelectionDisplayRect(), margin));
}

void TPGImage::PaintOutline(QPainter& p) {
  if (!selection_) return;
  const TPGRect d = SelectionDisplayRect();
  const QBrush& brush = brushes_[static_cast<size_t>(((phase_ + d.Left + d.Top) % 8 + 8) % 8)];
  p.setBrushOrigin(0, 0);
  FrameRect(p, ToQRect(d).adjusted(-1, -1, 1, 1), brush);
  if (actionMode_ == amMoveResizeCreateSelection)
    for (const TPGRect& handle : SelectionHandles(d)) FrameRect(p, ToQRect(handle), brush);
}

void TPGImage::OutlineTick() {
  phase_ = (phase_ + 1) % 8;
  InvalidateSelection();
}

void TPGImage::SetSelection(bool value) {
  if (value == selection_) return;
  selection_ = value;
  if (value) {
    outlineTimer_ = new QTimer(this);
    connect(outlineTimer_, &QTimer::timeout, this, [this] { OutlineTick(); });
    outlineTimer_->start(50);
  } else {
    delete outlineTimer_;
    outlineTimer_ = nullptr;
  }
  picBox_->update();
  UpdateCursor();
  if (OnSelectionChange) OnSelectionChange(*this);
}

void TPGImage::SetSelectionRect(int left, int top, int width, int height) {
  const TSelectionRect r{left, top, width, height};
  if (r == sel_) return;
  InvalidateSelection();
  sel_ = r;
  InvalidateSelection();
  if (OnSelectionChange) OnSelectionChange(*this);
}

void TPGImage::SetActionMode(TActionMode value) {
  actionMode_ = value;
  picBox_->update();
  UpdateCursor();
}

// ---- Mouse ------------------------------------------------------------------------------------

TPoint2 TPGImage::ImagePoint(QPointF p) const {
  // A logical position covers ratio_ device pixels and as many image pixels at
  // 100 %: the fraction Qt gives on a high-DPI screen tells which of them.
  const auto image = [this](double at, int imageSize, int displayed) {
    return ScaleCoordinate(static_cast<int>(std::floor(at * ratio_)), imageSize, displayed);
  };
  return {image(p.x(), imageSize_.Width, displayed_.Width),
          image(p.y(), imageSize_.Height, displayed_.Height)};
}

bool TPGImage::CanScroll() const {
  return horizontalScrollBar()->maximum() > 0 || verticalScrollBar()->maximum() > 0;
}

void TPGImage::PicBoxMouseDown(QMouseEvent& event) {
  if (event.button() != Qt::LeftButton) return;
  const QPoint p = event.position().toPoint();
  const TPoint2 q = ImagePoint(event.position());
  const TPGRect d = SelectionDisplayRect();
  const TActionMode am = actionMode_;
  const bool movesSelection =
      am == amMoveResizeCreateSelection || am == amMoveSelection || am == amMoveSelectionMoveImage;
  TDragState handle = dsIdle;
  if (movesSelection && selection_ && Contains(d, p.x(), p.y())) {
    drag_ = dsMove;
    dragOffset_ = {q.X - sel_.Left, q.Y - sel_.Top};
  } else if ((am == amMoveImage || am == amMoveSelectionMoveImage) && CanScroll()) {
    drag_ = dsScroll;
    lastPoint_ = p;
  } else if (selection_ && (handle = HandleAt(d, p.x(), p.y())) != dsIdle) {
    drag_ = handle;
    dragOffset_ = HandleOffset(handle, sel_, q);
  } else if (am == amMoveResizeCreateSelection || am == amCreateSelection) {
    drag_ = dsCreate;
    SetSelection(true);
    anchor_ = q;
    SetSelectionRect(q.X, q.Y, 1, 1);
  }
  lastViewport_ = picBox_->mapTo(viewport(), p);
  if (drag_ >= dsMove && !autoScrollTimer_) {
    autoScrollTimer_ = new QTimer(this);
    connect(autoScrollTimer_, &QTimer::timeout, this, [this] { AutoScrollTick(); });
    autoScrollTimer_->start(50);
  }
  UpdateCursor(p);
}

void TPGImage::PicBoxMouseMove(QMouseEvent& event) {
  const QPoint p = event.position().toPoint();
  const TPoint2 q = ImagePoint(event.position());
  lastViewport_ = picBox_->mapTo(viewport(), p);
  switch (drag_) {
    case dsIdle:
      break;
    case dsScroll: {
      QScrollBar* h = horizontalScrollBar();
      QScrollBar* v = verticalScrollBar();
      const int oldH = h->value(), oldV = v->value();
      h->setValue(oldH + lastPoint_.x() - p.x());
      v->setValue(oldV + lastPoint_.y() - p.y());
      // The child moved with the scrolling; the same screen point now lies this
      // much further into it.
      lastPoint_ = p + QPoint(h->value() - oldH, v->value() - oldV);
      break;
    }
    case dsMove: {
      const TSelectionRect r = MoveSelection(sel_, q, dragOffset_, imageSize_);
      SetSelectionRect(r.Left, r.Top, r.Width, r.Height);
      break;
    }
    case dsCreate: {
      const TSelectionRect r = SpanSelection(anchor_, q);
      SetSelectionRect(r.Left, r.Top, r.Width, r.Height);
      break;
    }
    default: {
      const TSelectionRect r = ResizeSelection(drag_, sel_, q, dragOffset_);
      SetSelectionRect(r.Left, r.Top, r.Width, r.Height);
      break;
    }
  }
  UpdateCursor(p);
}

void TPGImage::PicBoxMouseUp(QMouseEvent& event) {
  const TDragState ended = drag_;
  drag_ = dsIdle;
  delete autoScrollTimer_;
  autoScrollTimer_ = nullptr;
  if (ended >= dsMove) {
    SetSelection(true);
    if (OnSelectionMade) OnSelectionMade(*this);
  }
  UpdateCursor(event.position().toPoint());
}

void TPGImage::AutoScrollTick() {
  const QPoint p = lastViewport_;
  const QSize client = viewport()->size();
  QScrollBar* h = horizontalScrollBar();
  QScrollBar* v = verticalScrollBar();
  if (p.x() < 0) h->setValue(std::max(h->value() - 5, 0));
  if (p.x() >= client.width()) h->setValue(std::min(h->value() + 5, h->maximum()));
  if (p.y() < 0) v->setValue(std::max(v->value() - 5, 0));
  if (p.y() >= client.height()) v->setValue(std::min(v->value() + 5, v->maximum()));
}

QCursor TPGImage::CursorAt(QPoint p) const {
  const TActionMode am = actionMode_;
  const TPGRect d = SelectionDisplayRect();
  auto sizing = [](TDragState s) {
    switch (s) {
      case dsTop:
      case dsBottom:
        return QCursor(Qt::SizeVerCursor);
      case dsLeft:
      case dsRight:
        return QCursor(Qt::SizeHorCursor);
      case dsTopLeft:
      case dsBottomRight:
        return QCursor(Qt::SizeFDiagCursor);
      default:
        return QCursor(Qt::SizeBDiagCursor);
    }
  };
  switch (drag_) {
    case dsScroll:
      return cursors_[1];
    case dsMove:
      return cursors_[3];
    case dsCreate:
      return cursors_[2];
    case dsIdle:
      break;
    default:
      return sizing(drag_);
  }
  if (am == amMoveResizeCreateSelection && selection_) {
    const TDragState h = HandleAt(d, p.x(), p.y());
    if (h != dsIdle) return sizing(h);
  }
  const bool movesSelection =
      am == amMoveResizeCreateSelection || am == amMoveSelection || am == amMoveSelectionMoveImage;
  if (movesSelection && selection_ && Contains(d, p.x(), p.y())) return cursors_[3];
  if ((am == amMoveImage || am == amMoveSelectionMoveImage) && CanScroll()) return cursors_[0];
  if (am == amMoveResizeCreateSelection || am == amCreateSelection) return cursors_[2];
  return picBoxCursor_;
}

void TPGImage::UpdateCursor() {
  UpdateCursor(picBox_->mapFromGlobal(QCursor::pos()));
}

void TPGImage::UpdateCursor(QPoint childPoint) {
  QCursor cursor = CursorAt(childPoint);
  if (PicBoxOnSetCursor) PicBoxOnSetCursor(*this, cursor);
  picBox_->setCursor(cursor);
}

void TPGImage::mouseMoveEvent(QMouseEvent* event) {
  try {
    if (OnSetCursor) {
      QCursor cursor = viewport()->cursor();
      OnSetCursor(*this, cursor);
      viewport()->setCursor(cursor);
    }
  } catch (...) {
  }
  QAbstractScrollArea::mouseMoveEvent(event);
}

}  // namespace pgraphic
