#include "app/imagepane.h"

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

}  // namespace app
