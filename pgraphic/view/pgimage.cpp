#include "pgraphic/view/pgimage.h"

#include <QApplication>
#include <QBitmap>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>

#include "pgraphic/image/colorres.h"
#include "pgraphic/image/pixelrows.h"
#include "pgraphic/view/bandcopy.h"
#include "pgraphic/view/render.h"

namespace pgraphic {

namespace {

int64_t TickMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Posted by the paint thread: a finished display copy, or its progress. Each
// carries the number of the build it belongs to, so a copy of an image that was
// replaced meanwhile is dropped.
QEvent::Type CopyReadyType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}
QEvent::Type CopyProgressType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

struct TCopyReadyEvent : QEvent {
  TCopyReadyEvent(uint64_t build, std::unique_ptr<TPixelGraphic> copy)
      : QEvent(CopyReadyType()), Build(build), Copy(std::move(copy)) {}
  uint64_t Build;
  std::unique_ptr<TPixelGraphic> Copy;
};

struct TCopyProgressEvent : QEvent {
  TCopyProgressEvent(uint64_t build, int step, int percent)
      : QEvent(CopyProgressType()), Build(build), Step(step), Percent(percent) {}
  uint64_t Build;
  int Step;
  int Percent;
};

void ClearEvents(TPixelGraphic& image) {
  image.OnChange = nullptr;
  image.OnProgress = nullptr;
  image.OnProgressStart = nullptr;
  image.OnProgressEnd = nullptr;
}

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
// cannot be larger than QWIDGETSIZE_MAX, so absurd zooms stop there.
TStretchLayout LayoutFor(TSize2 image, const TDisplaySettings& s) {
  TStretchLayout layout = StretchLayout(
      {image, s.Available, s.ScrollBarExtent, s.ScrollBarExtent, s.Stretch, s.ZoomFactor});
  layout.Displayed = {std::min(layout.Displayed.Width, QWIDGETSIZE_MAX),
                      std::min(layout.Displayed.Height, QWIDGETSIZE_MAX)};
  return layout;
}

// Whether a fresh image needs a display copy at this displayed size.
TDisplayCopyInput CopyDecisionInput(const TPixelGraphic& image, TSize2 displayed,
                                    const TDisplaySettings& s) {
  TDisplayCopyInput in;
  in.ScreenDepth = s.ScreenDepth;
  in.ImageBits = image.BitsPerPixel();
  in.ImagePalette = image.PaletteIdent();
  in.StretchMode = s.StretchMode;
  in.ReduceOnLoad = s.ReduceOnLoad;
  in.Image = {image.Width(), image.Height()};
  in.Displayed = displayed;
  in.RebuildPending = true;
  in.Palette8BitSys8BitGraphic = s.Palette8BitSys8BitGraphic;
  return in;
}

// Sets up the work of one display copy of `image` shown at `displayed`: the copy
// (and a true-colour intermediate where the plan needs one), sized and with the
// view's colour settings. `builtFor` receives the copy's size before anything is
// allocated; raises when the memory cannot be had.
void PrepareCopy(TCreatePaintPGThread& w, const TPixelGraphic& image, TSize2 displayed,
                 const TDisplaySettings& s, TSize2& builtFor) {
  w.FPixelGraphic = &image;
  TDisplayCopyPlanInput planIn;
  planIn.ScreenDepth = s.ScreenDepth;
  planIn.TrueColorSource = image.PixelFormat() == pf24Bit;
  planIn.StretchMode = s.StretchMode;
  planIn.SizeDiffers = displayed != TSize2{image.Width(), image.Height()};
  planIn.Allow24BitStretch = s.Allow24BitStretch;
  planIn.Palette8BitSys24BitGraphic = s.Palette8BitSys24BitGraphic;
  planIn.Palette8BitSys8BitGraphic = s.Palette8BitSys8BitGraphic;
  const TDisplayCopyPlan plan = PlanDisplayCopy(planIn);
  const TSize2 size = s.StretchMode != smFast ? displayed : TSize2{image.Width(), image.Height()};
  builtFor = size;
  TCreatePaintPGThread* worker = &w;
  auto progress = [worker](TPixelGraphic&, int step, int max, bool& abort) {
    worker->Progress(step, max, abort);
  };
  if (plan.ResampleFirst) {
    w.FHelpOwned = std::make_unique<TPixelGraphic>();
    w.FHelpOwned->SetStretchMode(s.StretchMode);
    w.FHelpOwned->OnProgress = progress;
    w.FHelpOwned->SetSize(size.Width, size.Height, pf24Bit);
    w.FHelpPixelGraphic = w.FHelpOwned.get();
  } else {
    w.FHelpPixelGraphic = &image;
  }
  auto copy = std::make_unique<TPixelGraphic>();
  copy->SetSize(size.Width, size.Height, plan.Format);
  if (plan.Palette != pNone) copy->SetPaletteIdent(plan.Palette);
  if (plan.AssignSourcePalette) copy->AssignPalette(image);
  copy->SetStretchMode(s.StretchMode);
  copy->SetDither(s.Dither);
  copy->SetDitherErrorLimit(s.DitherErrorLimit);
  copy->SetDitherErrorLimitAuto(s.DitherErrorLimitAuto);
  copy->SetDitherErrorLimitSoft(s.DitherErrorLimitSoft);
  copy->SetRGBWeighting(s.RGBWeighting);
  copy->OnProgress = progress;
  w.FPaintPixelGraphic = std::move(copy);
  w.ResampleFirst = plan.ResampleFirst;
  w.OptimizePalette = plan.OptimizePalette;
}

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
      for (int i = 0; i < 4; ++i) path.addRoundedRect(QRectF(9 + 4 * i, fingerTop + (i == 0 || i == 3 ? 2 : 0), 3, 10), 1.5, 1.5);
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

// ---- The paint thread ----------------------------------------------------------------

TCreatePaintPGThread::~TCreatePaintPGThread() {
  Terminate();
  WaitFor();
}

void TCreatePaintPGThread::Start() {
  thread_ = std::thread([this] { DoTheWork(); });
}

void TCreatePaintPGThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

void TCreatePaintPGThread::Progress(int step, int max, bool& abort) {
  const int percent = max == 0 ? 100 : static_cast<int>(static_cast<int64_t>(step) * 100 / max);
  const int64_t tick = TickMs();
  if (percent != lastPercent_ && tick / 50 != lastTick_ / 50) {
    lastPercent_ = percent;
    lastTick_ = tick;
    if (Report) Report(step_, percent);
  }
  abort = Terminated();
}

void TCreatePaintPGThread::DoTheWork() {
  step_ = 1;
  lastPercent_ = 0;
  lastTick_ = TickMs();
  try {
    if (!Terminated() && ResampleFirst && FHelpOwned) {
      FHelpOwned->CopyFrom(*FPixelGraphic);
      ++step_;
    }
    TPixelGraphic& copy = *FPaintPixelGraphic;
    const TPixelGraphic& source = *FHelpPixelGraphic;
    if (!Terminated() && OptimizePalette) {
      BuildOptimizedPalette(copy, source, 252, true);
      ++step_;
    }
    if (!Terminated()) {
      if (OptimizePalette && source.PixelFormat() == pf8Bit && source.Width() == copy.Width() &&
          source.Height() == copy.Height()) {
        // Same size, both 8-bit: map each source entry once, then every pixel
        // through that table.
        uint8_t table[256] = {};
        const bool cached = copy.UseColorCache();
        copy.SetUseColorCache(false);
        for (int i = 0; i < source.PaletteCount() && i < 256; ++i)
          table[i] = static_cast<uint8_t>(copy.NearestIndex(source.PaletteColor(i)));
        copy.SetUseColorCache(cached);
        const TConstPixelRows from = PixelRows(source);
        const TPixelRows to = PixelRows(copy);
        copy.ProgressStart();
        for (int y = 0; y < from.Height; ++y) {
          const uint8_t* s = from.Row(y);
          uint8_t* d = to.Row(y);
          for (int x = 0; x < from.Width; ++x) d[x] = table[s[x]];
          if (copy.Progress(y, from.Height)) break;
        }
        copy.ProgressEnd();
      } else {
        // Resampling to true colour runs on every core, with exactly the rows of
        // one CopyFrom.
        const unsigned cores = std::max(std::thread::hardware_concurrency(), 1u);
        BandedCopyFrom(copy, source, static_cast<int>(cores), [this] { return Terminated(); });
      }
      ++step_;
    }
    if (Terminated()) {
      FPaintPixelGraphic.reset();
    } else if (Deliver) {
      FPaintPixelGraphic->OnProgress = nullptr;
      Deliver(std::move(FPaintPixelGraphic));
    }
  } catch (...) {
    // A failed copy shows nothing until the next rebuild.
    FPaintPixelGraphic.reset();
  }
  FHelpOwned.reset();
}

// ---- The child ---------------------------------------------------------------------

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
  try {
    QPainter p(this);
    owner_->PaintOutline(p);
    if (owner_->PicBoxOnPaint) owner_->PicBoxOnPaint(*owner_, p);
  } catch (...) {
  }
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

// ---- The view ------------------------------------------------------------------------

TPGImage::TPGImage(QWidget* parent) : QAbstractScrollArea(parent), screenDepth_(pgraphic::ScreenDepth()) {
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
  worker_.reset();
  if (image_) ClearEvents(*image_);
}

// ---- The shown image ------------------------------------------------------------------

void TPGImage::StopPaintThread() {
  if (!worker_) return;
  worker_->Terminate();
  worker_->WaitFor();
  ++generation_;
}

void TPGImage::WaitForPaintThread() {
  if (worker_) worker_->WaitFor();
}

void TPGImage::DropCopy() {
  copy_.reset();
}

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
  StopPaintThread();
  worker_.reset();
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
  worker_.reset();
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
  h = std::clamp<int64_t>(h, autoSizeMin_.Height, std::max(autoSizeMin_.Height, autoSizeMax_.Height));
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
  worker_.reset();
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
  worker_.reset();
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

int TPGImage::ImageToDisplayX(int x) const {
  return ScaleCoordinate(x, displayed_.Width, imageSize_.Width);
}
int TPGImage::ImageToDisplayY(int y) const {
  return ScaleCoordinate(y, displayed_.Height, imageSize_.Height);
}
int TPGImage::DisplayToImageX(int x) const {
  return ScaleCoordinate(x, imageSize_.Width, displayed_.Width);
}
int TPGImage::DisplayToImageY(int y) const {
  return ScaleCoordinate(y, imageSize_.Height, displayed_.Height);
}

void TPGImage::Relayout(bool force) {
  const TDisplaySettings settings = DisplaySettings();
  const TSize2 available = settings.Available;
  const int bar = settings.ScrollBarExtent;
  const TStretchLayout layout = LayoutFor(imageSize_, settings);
  displayed_ = layout.Displayed;
  if (layout.Zoom != zoom_) {
    zoom_ = layout.Zoom;
    if (OnZoomFactorChange) OnZoomFactorChange(*this);
  }
  const TPoint2 offset = center_ ? CenterOffset(displayed_, available, bar, bar) : TPoint2{};
  const TScrollBars bars = ScrollBarsFor(displayed_, available, bar, bar);
  const int clientW = available.Width - (bars.Vertical ? bar : 0);
  const int clientH = available.Height - (bars.Horizontal ? bar : 0);
  const int hMax = std::max(displayed_.Width - clientW, 0);
  const int vMax = std::max(displayed_.Height - clientH, 0);
  QScrollBar* h = horizontalScrollBar();
  QScrollBar* v = verticalScrollBar();
  const QRect now(offset.X - h->value(), offset.Y - v->value(), displayed_.Width, displayed_.Height);
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
  picBox_->setGeometry(offset.X, offset.Y, displayed_.Width, displayed_.Height);
  if (center_) {
    h->setValue(hMax / 2);
    v->setValue(vMax / 2);
  }
  layoutBusy_ = false;
  picBox_->move(offset_.X - h->value(), offset_.Y - v->value());
  viewport()->update();
}

void TPGImage::scrollContentsBy(int dx, int dy) {
  if (layoutBusy_) return;
  // Everything drawn is anchored to the child, so the picture on screen moves as a
  // whole: the viewport (with the child) scrolls and only the uncovered strips are
  // painted anew.
  viewport()->scroll(dx, dy);
  const QPoint at(offset_.X - horizontalScrollBar()->value(), offset_.Y - verticalScrollBar()->value());
  if (picBox_->pos() != at) {
    picBox_->move(at);
    viewport()->update();
  }
}

bool TPGImage::event(QEvent* event) {
  handoff_.load(std::memory_order_acquire);
  if (event->type() == CopyReadyType()) {
    auto* ready = static_cast<TCopyReadyEvent*>(event);
    if (ready->Build == generation_ && ready->Copy) InstallCopy(std::move(ready->Copy));
    return true;
  }
  if (event->type() == CopyProgressType()) {
    auto* progress = static_cast<TCopyProgressEvent*>(event);
    if (progress->Build == generation_) {
      progressStep_ = progress->Step;
      progressPercent_ = progress->Percent;
      viewport()->update(picBox_->geometry());
    }
    return true;
  }
  const bool result = QAbstractScrollArea::event(event);
  if (event->type() == QEvent::Resize) Relayout(true);
  // Moved to another screen: the copy may need other colours.
  if (event->type() == QEvent::ScreenChangeInternal) MarkRebuild();
  return result;
}

// ---- The display copy --------------------------------------------------------------------------

void TPGImage::InstallCopy(std::unique_ptr<TPixelGraphic> copy) {
  copy->OnProgress = nullptr;
  if (reduceOnLoad_) {
    // The reduced copy becomes the shown image; the thread that read the old one
    // has finished.
    WaitForPaintThread();
    if (image_) ClearEvents(*image_);
    image_ = std::move(copy);
    DropCopy();
    RouteEvents(*image_);
  } else {
    copy_ = std::move(copy);
  }
  copyArrived_ = true;
  viewport()->update();
}

void TPGImage::DecideAndStartCopy(bool& needed) {
  needed = false;
  if (!image_ || image_->Empty()) {
    DropCopy();
    return;
  }
  TDisplayCopyInput in;
  in.ScreenDepth = screenDepth_;
  in.ImageBits = image_->BitsPerPixel();
  in.ImagePalette = image_->PaletteIdent();
  in.StretchMode = stretchMode_;
  in.ReduceOnLoad = reduceOnLoad_;
  // The image's own size: a reduced copy that replaced it has the displayed size.
  in.Image = {image_->Width(), image_->Height()};
  in.Displayed = displayed_;
  in.CopyBuiltFor = copyBuiltFor_;
  in.RebuildPending = rebuild_;
  in.Palette8BitSys8BitGraphic = palette8_;
  const TDisplayCopyDecision d = DecideDisplayCopy(in);
  rebuild_ = d.Rebuild;
  needed = d.Needed;
  if (!needed || (rebuild_ && !(keepOldPaintPixelGraphic_ && useThread_))) DropCopy();
  if (needed && imageBusy_ == 0 && (rebuild_ || (!copy_ && !worker_))) StartCopy();
}

void TPGImage::StartCopy() {
  StopPaintThread();
  worker_.reset();
  progressStep_ = 1;
  progressPercent_ = 0;
  rebuild_ = false;
  copyArrived_ = false;
  copyFailed_ = false;
  auto worker = std::make_unique<TCreatePaintPGThread>();
  TCreatePaintPGThread* w = worker.get();
  try {
    PrepareCopy(*w, *image_, displayed_, DisplaySettings(), copyBuiltFor_);
  } catch (const std::exception&) {
    // No memory for a copy of this size: until the next rebuild the view draws the
    // image itself, stretched, rather than nothing.
    copyFailed_ = true;
    worker_ = std::move(worker);
    return;
  }
  ++generation_;
  worker_ = std::move(worker);
  if (useThread_) {
    const uint64_t build = generation_;
    // Everything the worker wrote before posting is published by the release
    // step on handoff_, which event() acquires before it reads an event.
    w->Deliver = [this, build](std::unique_ptr<TPixelGraphic> copy) {
      auto* ready = new TCopyReadyEvent(build, std::move(copy));
      handoff_.fetch_add(1, std::memory_order_release);
      QCoreApplication::postEvent(this, ready);
    };
    w->Report = [this, build](int step, int percent) {
      auto* progress = new TCopyProgressEvent(build, step, percent);
      handoff_.fetch_add(1, std::memory_order_release);
      QCoreApplication::postEvent(this, progress);
    };
    w->Start();
  } else {
    w->Deliver = [this](std::unique_ptr<TPixelGraphic> copy) { InstallCopy(std::move(copy)); };
    w->DoTheWork();
  }
}

TDisplaySettings TPGImage::DisplaySettings() const {
  TDisplaySettings s;
  s.Available = {std::max(width() - 2 * frameWidth(), 0), std::max(height() - 2 * frameWidth(), 0)};
  s.ScrollBarExtent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  s.Stretch = stretch_;
  s.ZoomFactor = zoomFactor_;
  s.StretchMode = stretchMode_;
  s.ScreenDepth = screenDepth_;
  s.ReduceOnLoad = reduceOnLoad_;
  s.Allow24BitStretch = allow24BitStretch_;
  s.Palette8BitSys24BitGraphic = palette24_;
  s.Palette8BitSys8BitGraphic = palette8_;
  s.Dither = dither_;
  s.DitherErrorLimit = ditherErrorLimit_;
  s.DitherErrorLimitAuto = ditherErrorLimitAuto_;
  s.DitherErrorLimitSoft = ditherErrorLimitSoft_;
  s.RGBWeighting = rgbWeighting_;
  return s;
}

TPrebuiltCopy BuildDisplayCopy(const TPixelGraphic& image, const TDisplaySettings& settings,
                               const std::atomic<bool>* aborted) {
  TPrebuiltCopy result;
  result.For = settings;
  if (image.Empty() || settings.ReduceOnLoad) return result;
  const TSize2 displayed = LayoutFor({image.Width(), image.Height()}, settings).Displayed;
  if (!DecideDisplayCopy(CopyDecisionInput(image, displayed, settings)).Needed) return result;
  TCreatePaintPGThread work;
  work.ExternalAbort = aborted;
  TSize2 builtFor;
  try {
    PrepareCopy(work, image, displayed, settings, builtFor);
  } catch (const std::exception&) {
    return result;
  }
  work.Deliver = [&result](std::unique_ptr<TPixelGraphic> copy) { result.Copy = std::move(copy); };
  work.DoTheWork();
  if (work.Terminated()) result.Copy.reset();
  return result;
}

void TPGImage::AdoptCopy(TPrebuiltCopy prebuilt) {
  if (!prebuilt.Copy || !image_ || image_->Empty() || !(prebuilt.For == DisplaySettings())) return;
  // Only the copy the view would start now is taken: one is needed, and it has
  // the size and format a build would give it.
  const TDisplayCopyDecision d = DecideDisplayCopy(CopyDecisionInput(*image_, displayed_, DisplaySettings()));
  const TSize2 size = stretchMode_ != smFast ? displayed_ : TSize2{image_->Width(), image_->Height()};
  if (!d.Needed || imageBusy_ != 0 || prebuilt.Copy->Width() != size.Width ||
      prebuilt.Copy->Height() != size.Height)
    return;
  StopPaintThread();
  worker_.reset();
  prebuilt.Copy->OnProgress = nullptr;
  copy_ = std::move(prebuilt.Copy);
  copyBuiltFor_ = size;
  rebuild_ = false;
  copyArrived_ = true;
  copyFailed_ = false;
  progressStep_ = 1;
  progressPercent_ = 0;
  viewport()->update();
}

// ---- Painting ------------------------------------------------------------------------------------

void TPGImage::paintEvent(QPaintEvent* event) {
  if (layoutBusy_) return;
  try {
    bool needed = false;
    DecideAndStartCopy(needed);
    if (OnPainting) OnPainting(*this);
    QPainter p(viewport());
    const TPixelGraphic* drawn = needed && !copyFailed_ ? copy_.get() : image_.get();
    const QRect child = picBox_->geometry();
    const QRect area = event->rect().intersected(viewport()->rect());
    const QColor background = viewport()->palette().color(viewport()->backgroundRole());
    if (drawn && !drawn->Empty()) {
      if (buffer_.width() < area.width() || buffer_.height() < area.height())
        buffer_ = QImage(std::max(area.width(), buffer_.width()),
                         std::max(area.height(), buffer_.height()), QImage::Format_RGB32);
      TRenderTarget target;
      target.Pixels = reinterpret_cast<uint32_t*>(buffer_.bits());
      target.Stride = buffer_.bytesPerLine() / 4;
      target.Area = {area.left(), area.top(), area.left() + area.width(), area.top() + area.height()};
      TPictureLayout layout;
      layout.Child = {child.left(), child.top(), child.left() + child.width(),
                      child.top() + child.height()};
      layout.Tiling = tiling_;
      layout.FlipHorizontal = flipHorizontal_;
      layout.FlipVertical = flipVertical_;
      RenderPicture(PixelRows(*drawn), layout, target, background.rgb());
      p.drawImage(area.topLeft(), buffer_, QRect(0, 0, area.width(), area.height()));
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
  } catch (...) {
  }
  try {
    if (OnPaint) OnPaint(*this);
  } catch (...) {
  }
}

void TPGImage::PaintClocks(QPainter& p, const QRect& child) {
  if (!progressClockVisible_) return;
  int count = 0;
  const auto origins = ClockPositions({child.left(), child.top(), child.left() + child.width(),
                                       child.top() + child.height()},
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

// ---- Selection ------------------------------------------------------------------------------------

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

TPoint2 TPGImage::ImagePoint(QPoint p) const {
  return {DisplayToImageX(p.x()), DisplayToImageY(p.y())};
}

bool TPGImage::CanScroll() const {
  return horizontalScrollBar()->maximum() > 0 || verticalScrollBar()->maximum() > 0;
}

void TPGImage::PicBoxMouseDown(QMouseEvent& event) {
  if (event.button() != Qt::LeftButton) return;
  const QPoint p = event.position().toPoint();
  const TPoint2 q = ImagePoint(p);
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
  const TPoint2 q = ImagePoint(p);
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
  if (movesSelection && selection_ && Contains(d, p.x(), p.y()))
    return cursors_[3];
  if ((am == amMoveImage || am == amMoveSelectionMoveImage) && CanScroll())
    return cursors_[0];
  if (am == amMoveResizeCreateSelection || am == amCreateSelection)
    return cursors_[2];
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
