#include "app/imagepane.h"

#include <QScrollBar>
#include <QWheelEvent>
#include <stdexcept>

#include "pgraphic/image/geometry.h"

namespace app {

TImagePane::TImagePane(QWidget* parent) : TPGImage(parent) {
  OnSelectionMade = [this](pgraphic::TPGImage&) { emit SelectionMade(); };
  OnPaint = [this](pgraphic::TPGImage&) { emit Painted(); };
  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    if (popup_) popup_->popup(mapToGlobal(at));
  });
}

void TImagePane::SetZoomChoice(int index) {
  static constexpr long double factors[] = {1, 1, 1, 0.25L, 0.5L, 1, 2, 3};
  zoom_ = index;
  switch (index) {
    case 0:
      SetStretch(pgraphic::sAlwaysKAR);
      break;
    case 1:
      SetStretch(pgraphic::sAlwaysLongerEdgeKAR);
      break;
    case 2:
      SetStretch(pgraphic::sAlways);
      break;
    case ShrinkToFitOnly:
      SetStretch(pgraphic::sShrinkKAR);
      break;
    default:
      if (index < 3 || index > 7) return;
      SetZoomFactor(factors[index]);
      SetStretch(pgraphic::sZoomKAR);
  }
}

void TImagePane::SetHandTool(bool hand) {
  SetActionMode(hand ? pgraphic::amMoveImage : pgraphic::amMoveResizeCreateSelection);
}

void TImagePane::SetPopup(QMenu* menu) {
  popup_ = menu;
  SetPicBoxPopupMenu(menu);
}

std::unique_ptr<pgraphic::TPixelGraphic> TImagePane::SelectionImage() {
  const pgraphic::TPixelGraphic* image = Graphic();
  if (!image) throw std::runtime_error("no image");
  return pgraphic::CropImage(*image, SelectionLeft(), SelectionTop(), SelectionWidth(),
                             SelectionHeight());
}

QSize TImagePane::DisplayedSize() const {
  return PicBox()->size();
}

QPointF TImagePane::ImagePointAt(QPoint at) const {
  const QRect shown = DisplayRect();
  const pgraphic::TPixelGraphic* image = PixelGraphicNoWait();
  if (!image || shown.isEmpty()) return {};
  return {double(at.x() - shown.x()) * image->Width() / shown.width(),
          double(at.y() - shown.y()) * image->Height() / shown.height()};
}

void TImagePane::ScrollImagePointTo(QPointF point, QPoint at) {
  const QRect shown = DisplayRect();
  const pgraphic::TPixelGraphic* image = PixelGraphicNoWait();
  if (!image || image->Empty() || shown.isEmpty()) return;
  // Where the picture's corner is with both bars at zero.
  const int left = shown.x() + horizontalScrollBar()->value();
  const int top = shown.y() + verticalScrollBar()->value();
  horizontalScrollBar()->setValue(
      qRound(left + point.x() * shown.width() / image->Width() - at.x()));
  verticalScrollBar()->setValue(
      qRound(top + point.y() * shown.height() / image->Height() - at.y()));
}

void TImagePane::wheelEvent(QWheelEvent* event) {
  if (!(event->modifiers() & Qt::ControlModifier)) {
    TPGImage::wheelEvent(event);
    return;
  }
  event->accept();
  wheelRest_ += event->angleDelta().y();
  const int steps = wheelRest_ / QWheelEvent::DefaultDeltasPerStep;
  wheelRest_ %= QWheelEvent::DefaultDeltasPerStep;
  if (steps != 0) emit WheelZoom(steps, event->position().toPoint());
}

}  // namespace app
