// TPGImage: the shown image, files, settings, layout and painting. The display
// copy, the selection with the mouse, and the child live in displaycopy.cpp,
// selection.cpp and picbox.cpp.
#include "pgraphic/view/pgimage.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QThread>
#include <algorithm>
#include <cmath>

#include "pgraphic/image/pixelrows.h"
#include "pgraphic/view/render.h"
#include "pgraphic/view/viewparts.h"

namespace pgraphic {

void ClearEvents(TPixelGraphic& image) {
  image.OnChange = nullptr;
  image.OnProgress = nullptr;
  image.OnProgressStart = nullptr;
  image.OnProgressEnd = nullptr;
}

TStretchLayout LayoutFor(TSize2 image, const TDisplaySettings& s) {
  TStretchLayout layout = StretchLayout(
      {image, s.Available, s.ScrollBarExtent, s.ScrollBarExtent, s.Stretch, s.ZoomFactor});
  layout.Displayed = {std::min(layout.Displayed.Width, QWIDGETSIZE_MAX),
                      std::min(layout.Displayed.Height, QWIDGETSIZE_MAX)};
  return layout;
}

// ---- The view ------------------------------------------------------------------------

TPGImage::TPGImage(QWidget* parent)
    : QAbstractScrollArea(parent), screenDepth_(pgraphic::ScreenDepth()) {
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setAutoFillBackground(false);
  viewport()->setMouseTracking(true);
  picBox_ = new TPicBox(this);
  picBox_->setGeometry(0, 0, 0, 0);
  clockBkColor_ = palette().color(QPalette::Button);
  clockLineColor_ = palette().color(QPalette::Dark);
  frameColor_ = palette().color(QPalette::Dark);
  RebuildBrushes();
  cursors_ = {PGImageCursor(TPGCursor::OpenHand), PGImageCursor(TPGCursor::GrabbingHand),
              PGImageCursor(TPGCursor::CreateSelection), PGImageCursor(TPGCursor::MoveSelection)};
  resize(100, 100);
  Relayout(true);
}

TPGImage::~TPGImage() {
  StopPaintThread();
  job_.reset();
  if (image_) ClearEvents(*image_);
}

// ---- The shown image ------------------------------------------------------------------

void TPGImage::MarkRebuild() {
  rebuild_ = true;
  viewport()->update();
}

TPixelGraphic* TPGImage::PixelGraphic() {
  WaitForPaintThread();
  return image_.get();
}

void TPGImage::RouteEvents(TPixelGraphic& image) {
  // An operation on the shown image may let the window repaint while it changes
  // the pixels: no paint thread may read them meanwhile.
  image.OnProgressStart = [this](TPixelGraphic& g) {
    if (QThread::currentThread() == thread()) {
      if (image_.get() == &g) StopPaintThread();
      ++imageBusy_;
    }
    if (OnPixelGraphicProgressStart) OnPixelGraphicProgressStart(g);
  };
  image.OnProgress = [this](TPixelGraphic& g, int step, int max, bool& abort) {
    if (OnPixelGraphicProgress) OnPixelGraphicProgress(g, step, max, abort);
  };
  image.OnProgressEnd = [this](TPixelGraphic& g) {
    if (QThread::currentThread() == thread() && imageBusy_ > 0) --imageBusy_;
    if (OnPixelGraphicProgressEnd) OnPixelGraphicProgressEnd(g);
  };
  image.OnChange = [this](TPixelGraphic&) { PixelGraphicChanged(); };
}

void TPGImage::SetPixelGraphic(std::unique_ptr<TPixelGraphic> image) {
  ClearStandIn();
  StopPaintThread();
  job_.reset();
  if (image_) ClearEvents(*image_);
  image_ = std::move(image);
  // With a kept copy the old picture stays up until the new copy arrives.
  if (!(keepOldPaintPixelGraphic_ && useThread_)) DropCopy();
  if (image_) RouteEvents(*image_);
  PixelGraphicChanged();
}

void TPGImage::SetPixelGraphic(std::unique_ptr<TPixelGraphic> image, TPrebuiltCopy prebuilt) {
  SetPixelGraphic(std::move(image));
  AdoptCopy(std::move(prebuilt));
}

std::unique_ptr<TPixelGraphic> TPGImage::PixelGraphicCopy() {
  WaitForPaintThread();
  if (!image_) return nullptr;
  auto copy = std::make_unique<TPixelGraphic>();
  copy->Assign(*image_);
  return copy;
}

std::unique_ptr<TPixelGraphic> TPGImage::ReleasePixelGraphic() {
  StopPaintThread();
  job_.reset();
  // The handed-out image must not call back into this view.
  if (image_) ClearEvents(*image_);
  auto image = std::move(image_);
  DropCopy();
  PixelGraphicChanged();
  return image;
}

void TPGImage::PixelGraphicChanged() {
  StopPaintThread();
  imageBusy_ = 0;
  imageSize_ = image_ ? TSize2{image_->Width(), image_->Height()} : TSize2{};
  const int border = frameWidth();
  const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  int64_t w = int64_t(imageSize_.Width) + 2 * border, h = int64_t(imageSize_.Height) + 2 * border;
  bool addedH = false, addedV = false;
  for (int pass = 0; pass < 2; ++pass) {
    if (w > autoSizeMax_.Width && !addedH) h += bar, addedH = true;
    if (h > autoSizeMax_.Height && !addedV) w += bar, addedV = true;
  }
  w = std::clamp<int64_t>(w, autoSizeMin_.Width, std::max(autoSizeMin_.Width, autoSizeMax_.Width));
  h = std::clamp<int64_t>(h, autoSizeMin_.Height,
                          std::max(autoSizeMin_.Height, autoSizeMax_.Height));
  const QSize wanted(static_cast<int>(std::min<int64_t>(w, QWIDGETSIZE_MAX)),
                     static_cast<int>(std::min<int64_t>(h, QWIDGETSIZE_MAX)));
  if (OnNewAutoSize) OnNewAutoSize(*this, wanted.width(), wanted.height());
  rebuild_ = true;
  // The copy no longer matches; a kept one stays up until its successor arrives.
  if (!(keepOldPaintPixelGraphic_ && useThread_)) DropCopy();
  if (autoSize_ && wanted != size()) {
    resize(wanted);
    Relayout(true);
  } else {
    Relayout(false);
  }
  if (OnPixelGraphicChange) OnPixelGraphicChange(*this);
}

// ---- Files ------------------------------------------------------------------------------

void TPGImage::SetFileName(const std::string& name) {
  ClearStandIn();
  fileName_.clear();
  struct HourGlass {
    explicit HourGlass(bool on) : on(on) {
      if (on) QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~HourGlass() {
      if (on) QApplication::restoreOverrideCursor();
    }
    bool on;
  } hourGlass(showHourGlass_);
  StopPaintThread();
  job_.reset();
  if (image_) ClearEvents(*image_);
  image_.reset();
  DropCopy();
  try {
    const size_t slash = name.find_last_of('/');
    const std::string filePart = slash == std::string::npos ? name : name.substr(slash + 1);
    if (!filePart.empty()) {
      auto image = std::make_unique<TPixelGraphic>();
      image->SetReadWarningAction(readWarningAction_);
      image->SetBackGroundColor(backGroundColor_);
      RouteEvents(*image);
      image->OnChange = nullptr;  // no relayout for each step of the loading
      image->LoadFromFile(name);
      RouteEvents(*image);
      image_ = std::move(image);
      fileName_ = name;
    }
  } catch (...) {
    PixelGraphicChanged();
    throw;
  }
  PixelGraphicChanged();
}

void TPGImage::SetLoadedFile(const std::string& name, std::unique_ptr<TPixelGraphic> image,
                             TPrebuiltCopy prebuilt) {
  StopPaintThread();
  job_.reset();
  if (image_) ClearEvents(*image_);
  image_.reset();
  DropCopy();
  if (image) {
    // It was read with the view's settings; it keeps them as a read here would.
    image->SetReadWarningAction(readWarningAction_);
    image->SetBackGroundColor(backGroundColor_);
  }
  fileName_ = image ? name : std::string();
  SetPixelGraphic(std::move(image), std::move(prebuilt));
}

void TPGImage::SaveToFile(const std::string& name) {
  WaitForPaintThread();
  if (!image_) throw EPGEmpty(LangStr(16, "PixelGraphic"));
  image_->SetSaveColorResWarningAction(saveWarningAction_);
  image_->SaveToFile(name);
  fileName_ = name;
}

// ---- Settings ------------------------------------------------------------------------------

void TPGImage::SetStretch(TStretch value) {
  if (value == stretch_) return;
  stretch_ = value;
  Relayout(false);
}

void TPGImage::SetZoomFactor(long double value) {
  if (value == zoomFactor_) return;
  zoomFactor_ = value;
  Relayout(false);
}

void TPGImage::SetStretchMode(TStretchMode value) {
  if (value == stretchMode_) return;
  stretchMode_ = value;
  PixelGraphicChanged();
}

void TPGImage::SetCenter(bool value) {
  if (value == center_) return;
  center_ = value;
  Relayout(false);
}

void TPGImage::SetAutoSize(bool value) {
  if (value == autoSize_) return;
  autoSize_ = value;
  PixelGraphicChanged();
}

void TPGImage::SetTiling(TTiling value) {
  tiling_ = value;
  viewport()->update();
}

void TPGImage::SetFlipHorizontal(bool value) {
  flipHorizontal_ = value;
  viewport()->update();
}

void TPGImage::SetFlipVertical(bool value) {
  flipVertical_ = value;
  viewport()->update();
}

void TPGImage::SetAllow24BitStretch(bool value) {
  if (value == allow24BitStretch_) return;
  allow24BitStretch_ = value;
  PixelGraphicChanged();
}

void TPGImage::SetPalette8BitSys24BitGraphic(TPalette8BitSys24BitGraphic value) {
  if (value == palette24_) return;
  palette24_ = value;
  PixelGraphicChanged();
}

void TPGImage::SetPalette8BitSys8BitGraphic(TPalette8BitSys8BitGraphic value) {
  if (value == palette8_) return;
  palette8_ = value;
  PixelGraphicChanged();
}

void TPGImage::SetDither(bool value) {
  if (value == dither_) return;
  dither_ = value;
  PixelGraphicChanged();
}

void TPGImage::SetDitherErrorLimit(uint8_t value) {
  if (value == ditherErrorLimit_) return;
  ditherErrorLimit_ = value;
  if (dither_) PixelGraphicChanged();
}

void TPGImage::SetDitherErrorLimitAuto(bool value) {
  if (value == ditherErrorLimitAuto_) return;
  ditherErrorLimitAuto_ = value;
  if (dither_) PixelGraphicChanged();
}

void TPGImage::SetDitherErrorLimitSoft(bool value) {
  if (value == ditherErrorLimitSoft_) return;
  ditherErrorLimitSoft_ = value;
  if (dither_) PixelGraphicChanged();
}

void TPGImage::SetRGBWeighting(bool value) {
  if (value == rgbWeighting_) return;
  rgbWeighting_ = value;
  PixelGraphicChanged();
}

void TPGImage::SetScreenDepth(int bits) {
  if (bits == screenDepth_) return;
  screenDepth_ = bits;
  StopPaintThread();
  DropCopy();
  MarkRebuild();
}

// ---- Layout ----------------------------------------------------------------------------------

QRect TPGImage::DisplayRect() const {
  return picBox_->geometry();
}

// Display coordinates are the child's logical pixels; the picture is laid out
// on device pixels, ratio_ of them to a logical one.
int TPGImage::Logical(int devicePixels) const {
  return static_cast<int>(std::ceil(devicePixels / ratio_ - 1e-9));
}
int TPGImage::ImageToDisplayX(int x) const {
  return static_cast<int>(ScaleCoordinate(x, displayed_.Width, imageSize_.Width) / ratio_);
}
int TPGImage::ImageToDisplayY(int y) const {
  return static_cast<int>(ScaleCoordinate(y, displayed_.Height, imageSize_.Height) / ratio_);
}
int TPGImage::DisplayToImageX(int x) const {
  return ScaleCoordinate(static_cast<int>(x * ratio_), imageSize_.Width, displayed_.Width);
}
int TPGImage::DisplayToImageY(int y) const {
  return ScaleCoordinate(static_cast<int>(y * ratio_), imageSize_.Height, displayed_.Height);
}

void TPGImage::Relayout(bool force) {
  const TDisplaySettings settings = DisplaySettings();
  const TStretchLayout layout = LayoutFor(imageSize_, settings);
  displayed_ = layout.Displayed;
  ratio_ = settings.PixelRatio;
  // The widgets are placed in logical pixels.
  const TSize2 available = {std::max(width() - 2 * frameWidth(), 0),
                            std::max(height() - 2 * frameWidth(), 0)};
  const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  const TSize2 shown = {Logical(displayed_.Width), Logical(displayed_.Height)};
  if (layout.Zoom != zoom_) {
    zoom_ = layout.Zoom;
    if (OnZoomFactorChange) OnZoomFactorChange(*this);
  }
  const TPoint2 offset = center_ ? CenterOffset(shown, available, bar, bar) : TPoint2{};
  const TScrollBars bars = ScrollBarsFor(shown, available, bar, bar);
  const int clientW = available.Width - (bars.Vertical ? bar : 0);
  const int clientH = available.Height - (bars.Horizontal ? bar : 0);
  const int hMax = std::max(shown.Width - clientW, 0);
  const int vMax = std::max(shown.Height - clientH, 0);
  QScrollBar* h = horizontalScrollBar();
  QScrollBar* v = verticalScrollBar();
  const QRect now(offset.X - h->value(), offset.Y - v->value(), shown.Width, shown.Height);
  if (!force && !rearrangeAlways_ && now == picBox_->geometry() && hMax == h->maximum() &&
      vMax == v->maximum()) {
    viewport()->update();
    return;
  }
  layoutBusy_ = true;
  h->setRange(0, hMax);
  v->setRange(0, vMax);
  h->setPageStep(std::max(clientW, 1));
  v->setPageStep(std::max(clientH, 1));
  h->setSingleStep(std::max(clientW / 20, 1));
  v->setSingleStep(std::max(clientH / 20, 1));
  h->setValue(0);
  v->setValue(0);
  offset_ = offset;
  picBox_->setGeometry(offset.X, offset.Y, shown.Width, shown.Height);
  if (center_) {
    h->setValue(hMax / 2);
    v->setValue(vMax / 2);
  }
  layoutBusy_ = false;
  picBox_->move(offset_.X - h->value(), offset_.Y - v->value());
  viewport()->update();
}

void TPGImage::ShowStandIn(std::unique_ptr<TPixelGraphic> picture, TSize2 imageSize,
                           const TDisplaySettings& builtFor) {
  const TDisplaySettings s = DisplaySettings();
  if (!picture || picture->Empty() || !(builtFor == s)) return;
  // Where Relayout would put the image: centred, scrolled to the middle.
  const TSize2 displayed = LayoutFor(imageSize, s).Displayed;
  const int bar = s.ScrollBarExtent;
  TPoint2 at = center_ ? CenterOffset(displayed, s.Available, bar, bar) : TPoint2{};
  if (center_) {
    const TScrollBars bars = ScrollBarsFor(displayed, s.Available, bar, bar);
    at.X -= std::max(displayed.Width - (s.Available.Width - (bars.Vertical ? bar : 0)), 0) / 2;
    at.Y -= std::max(displayed.Height - (s.Available.Height - (bars.Horizontal ? bar : 0)), 0) / 2;
  }
  standIn_ = std::move(picture);
  standInRect_ = QRect(at.X, at.Y, displayed.Width, displayed.Height);
  viewport()->update();
}

void TPGImage::ClearStandIn() {
  if (!standIn_) return;
  standIn_.reset();
  viewport()->update();
}

void TPGImage::scrollContentsBy(int dx, int dy) {
  if (layoutBusy_) return;
  // Everything drawn is anchored to the child, so the picture on screen moves as a
  // whole: the viewport (with the child) scrolls and only the uncovered strips are
  // painted anew.
  viewport()->scroll(dx, dy);
  const QPoint at(offset_.X - horizontalScrollBar()->value(),
                  offset_.Y - verticalScrollBar()->value());
  if (picBox_->pos() != at) {
    picBox_->move(at);
    viewport()->update();
  }
}

bool TPGImage::event(QEvent* event) {
  const bool result = QAbstractScrollArea::event(event);
  if (event->type() == QEvent::Resize) Relayout(true);
  // Moved to another screen: the copy may need other colours.
  if (event->type() == QEvent::ScreenChangeInternal) MarkRebuild();
  return result;
}

// ---- Painting
// ------------------------------------------------------------------------------------

void TPGImage::paintEvent(QPaintEvent* event) {
  if (layoutBusy_) return;
  {
    bool needed = false;
    // Without a worker the copy is built here, so that this paint shows it; with
    // one it is only set up here and starts after this event.
    if (!standIn_ && CopyDue(needed)) StartCopy();
    if (OnPainting) OnPainting(*this);
    QPainter p(viewport());
    const TPixelGraphic* drawn = standIn_                 ? standIn_.get()
                                 : needed && !copyFailed_ ? copy_.get()
                                                          : image_.get();
    const QRect child = standIn_ ? standInRect_ : picBox_->geometry();
    const QRect area = event->rect().intersected(viewport()->rect());
    const QColor background = viewport()->palette().color(viewport()->backgroundRole());
    if (drawn && !drawn->Empty()) {
      // Rendered on the device's pixels: the area and the child's corner scaled
      // by the ratio, the picture at its exact device size.
      const auto device = [this](int logical) {
        return static_cast<int>(std::lround(logical * ratio_));
      };
      const QRect deviceArea(device(area.left()), device(area.top()), device(area.width()),
                             device(area.height()));
      if (buffer_.width() < deviceArea.width() || buffer_.height() < deviceArea.height())
        buffer_ = QImage(std::max(deviceArea.width(), buffer_.width()),
                         std::max(deviceArea.height(), buffer_.height()), QImage::Format_RGB32);
      buffer_.setDevicePixelRatio(ratio_);
      TRenderTarget target;
      target.Pixels = reinterpret_cast<uint32_t*>(buffer_.bits());
      target.Stride = buffer_.bytesPerLine() / 4;
      target.Area = {deviceArea.left(), deviceArea.top(), deviceArea.right() + 1,
                     deviceArea.bottom() + 1};
      TPictureLayout layout;
      layout.Child = {device(child.left()), device(child.top()),
                      device(child.left()) + displayed_.Width,
                      device(child.top()) + displayed_.Height};
      layout.Tiling = tiling_;
      layout.FlipHorizontal = flipHorizontal_;
      layout.FlipVertical = flipVertical_;
      RenderPicture(PixelRows(*drawn), layout, target, background.rgb());
      p.drawImage(QRectF(area), buffer_, QRectF(0, 0, deviceArea.width(), deviceArea.height()));
    } else {
      p.fillRect(area, background);
      if (image_ && needed && child.width() > 0 && child.height() > 0) {
        // A copy is being built: the frame, the child's colour and the clocks.
        p.fillRect(child, picBox_->Color());
        p.setPen(frameColor_);
        p.setBrush(Qt::NoBrush);
        p.drawRect(child.adjusted(0, 0, -1, -1));
        PaintClocks(p, child);
      }
    }
  }
  if (OnPaint) OnPaint(*this);
}

void TPGImage::PaintClocks(QPainter& p, const QRect& child) {
  if (!progressClockVisible_) return;
  int count = 0;
  const auto origins = ClockPositions(
      {child.left(), child.top(), child.left() + child.width(), child.top() + child.height()},
      progress5Clocks_, count);
  p.setRenderHint(QPainter::Antialiasing, false);
  for (int i = 0; i < count; ++i) {
    const TPoint2 o = origins[static_cast<size_t>(i)];
    p.setPen(clockLineColor_);
    p.setBrush(clockBkColor_);
    p.drawEllipse(QRect(o.X, o.Y, 14, 14));
    const TClockHands hands = ClockHands(o, progressStep_, progressPercent_);
    p.drawLine(hands.Center.X, hands.Center.Y, hands.Long.X, hands.Long.Y);
    p.drawLine(hands.Center.X, hands.Center.Y, hands.Short.X, hands.Short.Y);
  }
}

}  // namespace pgraphic
