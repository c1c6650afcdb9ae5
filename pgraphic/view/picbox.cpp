// TPicBox: the child of TPGImage that carries the displayed rectangle. It hands
// its mouse, drag-and-drop and paint events to the view and its handlers.
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include "pgraphic/view/pgimage.h"

namespace pgraphic {

TPicBox::TPicBox(TPGImage* owner) : QWidget(owner->viewport()), owner_(owner) {
  setMouseTracking(true);
  setAcceptDrops(true);
  color_ = palette().color(QPalette::Window);
}

void TPicBox::SetColor(const QColor& color) {
  color_ = color;
  update();
}

void TPicBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  owner_->PaintOutline(p);
  if (owner_->PicBoxOnPaint) owner_->PicBoxOnPaint(*owner_, p);
}

void TPicBox::mousePressEvent(QMouseEvent* event) {
  try {
    owner_->PicBoxMouseDown(*event);
    if (owner_->PicBoxOnMouseDown) owner_->PicBoxOnMouseDown(*owner_, *event);
  } catch (...) {
  }
}

void TPicBox::mouseMoveEvent(QMouseEvent* event) {
  try {
    owner_->PicBoxMouseMove(*event);
    if (owner_->PicBoxOnMouseMove) owner_->PicBoxOnMouseMove(*owner_, *event);
  } catch (...) {
  }
}

void TPicBox::mouseReleaseEvent(QMouseEvent* event) {
  try {
    owner_->PicBoxMouseUp(*event);
    if (owner_->PicBoxOnMouseUp) owner_->PicBoxOnMouseUp(*owner_, *event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        owner_->PicBoxOnClick)
      owner_->PicBoxOnClick(*owner_);
  } catch (...) {
  }
}

void TPicBox::mouseDoubleClickEvent(QMouseEvent* event) {
  try {
    if (owner_->PicBoxOnDblClick) owner_->PicBoxOnDblClick(*owner_);
  } catch (...) {
  }
  event->accept();
}

void TPicBox::dragEnterEvent(QDragEnterEvent* event) {
  dragMoveEvent(event);
}

void TPicBox::dragMoveEvent(QDragMoveEvent* event) {
  bool accept = false;
  try {
    if (owner_->PicBoxOnDragOver) owner_->PicBoxOnDragOver(*owner_, *event, accept);
  } catch (...) {
    accept = false;
  }
  if (accept)
    event->acceptProposedAction();
  else
    event->ignore();
}

void TPicBox::dropEvent(QDropEvent* event) {
  try {
    if (owner_->PicBoxOnDragDrop) owner_->PicBoxOnDragDrop(*owner_, *event);
    event->acceptProposedAction();
  } catch (...) {
    event->ignore();
  }
}

void TPicBox::contextMenuEvent(QContextMenuEvent* event) {
  if (popupMenu_) {
    popupMenu_->popup(event->globalPos());
    event->accept();
  } else {
    event->ignore();
  }
}

}  // namespace pgraphic
