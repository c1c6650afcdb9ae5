// TPGImage: the scrollable view of one TPixelGraphic. It owns the image it shows,
// lays it out by fit mode or zoom factor, builds a resampled or palette-reduced
// display copy in a worker thread (showing progress clocks meanwhile), draws the
// picture (also tiled and mirrored), scrolls by dragging with a hand cursor and
// keeps one rectangular selection that the mouse creates, moves and resizes.
//
// The picture is laid out on a child widget, TPicBox, whose geometry is exactly the
// displayed rectangle; mouse events on it drive the selection and hand scrolling.
#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QCursor>
#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QWidget>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "pgraphic/image/pixelgraphic.h"
#include "pgraphic/view/viewlayout.h"
#include "pgraphic/view/worker.h"
class QTimer;
class QPainter;
class QMouseEvent;
class QDropEvent;

namespace pgraphic {

class TPGImage;

// Everything of a view that decides the display copy of an image, taken as plain
// values so that a copy can be built away from the view (on another thread,
// before the image is handed over) and checked when it arrives.
struct TDisplaySettings {
  // The area inside the frame (scroll bars not taken off) and a scroll bar's
  // extent, in device pixels: the layout places the picture on the screen's
  // pixels, so that 100 % shows one image pixel on one device pixel.
  TSize2 Available;
  int ScrollBarExtent = 0;
  // Device pixels per logical pixel of the view (above 1 on a high-DPI screen).
  double PixelRatio = 1.0;
  TStretch Stretch = sNeverKAR;
  long double ZoomFactor = 1.0L;
  TStretchMode StretchMode = smFast;
  int ScreenDepth = 24;
  bool ReduceOnLoad = false;
  bool Allow24BitStretch = false;
  TPalette8BitSys24BitGraphic Palette8BitSys24BitGraphic = pOptimized252Sys16;
  TPalette8BitSys8BitGraphic Palette8BitSys8BitGraphic = pOptimized252Sys16;
  bool Dither = true;
  uint8_t DitherErrorLimit = 32;
  bool DitherErrorLimitAuto = true;
  bool DitherErrorLimitSoft = true;
  bool RGBWeighting = true;
  bool operator==(const TDisplaySettings&) const = default;
};

// A display copy built ahead for an image under the settings `For`.
struct TPrebuiltCopy {
  std::unique_ptr<TPixelGraphic> Copy;
  TDisplaySettings For;
};

// The size an image of `image` pixels takes on screen in a view with these settings.
TSize2 DisplayedSizeFor(TSize2 image, const TDisplaySettings& settings);

// The picture shown in place of an image of `imageSize` while that image is not
// read yet: `reduced` (the image decoded at a reduced size), resampled for these
// settings to the rectangle the image itself would take. `reduced` itself when
// the view would draw it as it is; nullptr when aborted.
std::unique_ptr<TPixelGraphic> BuildStandIn(std::unique_ptr<TPixelGraphic> reduced,
                                            TSize2 imageSize, const TDisplaySettings& settings,
                                            const std::atomic<bool>* aborted = nullptr);

// Builds the display copy a view with these settings would build for `image`,
// on the calling thread; stops early when `aborted` is set. Empty when the view
// would draw the image itself, could not size the copy or was aborted.
TPrebuiltCopy BuildDisplayCopy(const TPixelGraphic& image, const TDisplaySettings& settings,
                               const std::atomic<bool>* aborted = nullptr);

using TPGImageEvent = std::function<void(TPGImage& sender)>;
using TPGImageMouseEvent = std::function<void(TPGImage& sender, QMouseEvent& event)>;
using TPGImagePaintEvent = std::function<void(TPGImage& sender, QPainter& painter)>;
using TPGINewAutoSizeEvent = std::function<void(TPGImage& sender, int width, int height)>;
using TPGSetCursorEvent = std::function<void(TPGImage& sender, QCursor& cursor)>;
// Something dragged over the child: the handler sets accept to take it.
using TPGImageDragOverEvent =
    std::function<void(TPGImage& sender, QDropEvent& event, bool& accept)>;
using TPGImageDragDropEvent = std::function<void(TPGImage& sender, QDropEvent& event)>;

// The view's own cursors, drawn as 32 x 32 pictures.
enum class TPGCursor { OpenHand, GrabbingHand, CreateSelection, MoveSelection };
QCursor PGImageCursor(TPGCursor which);

// Builds one display copy: DoTheWork runs as a task of the view's worker, or
// directly on the calling thread.
class TCreatePaintPGThread {
 public:
  using TDeliver = std::function<void(std::unique_ptr<TPixelGraphic> copy)>;
  using TReport = std::function<void(int step, int percent)>;

  TCreatePaintPGThread() = default;
  TCreatePaintPGThread(const TCreatePaintPGThread&) = delete;
  TCreatePaintPGThread& operator=(const TCreatePaintPGThread&) = delete;

  const TPixelGraphic* FPixelGraphic = nullptr;       // the shown image, not owned
  std::unique_ptr<TPixelGraphic> FPaintPixelGraphic;  // the copy being built
  std::unique_ptr<TPixelGraphic> FHelpOwned;          // a true-colour intermediate
  const TPixelGraphic* FHelpPixelGraphic = nullptr;   // FHelpOwned or the shown image
  bool ResampleFirst = false;
  bool OptimizePalette = false;
  TDeliver Deliver;  // receives the finished copy (on the thread of DoTheWork)
  TReport Report;    // receives throttled progress (on the thread of DoTheWork)
  const std::atomic<bool>* ExternalAbort = nullptr;  // also stops the work when set

  // Asks the work to stop at its next progress report.
  void Terminate() { terminated_.store(true, std::memory_order_relaxed); }
  bool Terminated() const {
    return terminated_.load(std::memory_order_relaxed) ||
           (ExternalAbort && ExternalAbort->load(std::memory_order_relaxed));
  }
  void DoTheWork();
  // The handler of the copies' OnProgress.
  void Progress(int step, int max, bool& abort);

 private:
  std::atomic<bool> terminated_{false};
  int step_ = 1;
  int lastPercent_ = 0;
  int64_t lastTick_ = 0;
};

// The child that carries the displayed rectangle.
class TPicBox : public QWidget {
  Q_OBJECT
 public:
  explicit TPicBox(TPGImage* owner);
  QMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(QMenu* menu) { popupMenu_ = menu; }
  QColor Color() const { return color_; }
  void SetColor(const QColor& color);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  TPGImage* owner_;
  QPointer<QMenu> popupMenu_;
  QColor color_;
};

class TPGImage : public QAbstractScrollArea {
  Q_OBJECT
 public:
  explicit TPGImage(QWidget* parent = nullptr);
  ~TPGImage() override;

  // ---- The shown image -------------------------------------------------------
  // Waits for the paint thread, then returns the image (nullptr when none).
  TPixelGraphic* PixelGraphic();
  // The image without waiting; only for reading settings, never pixels.
  const TPixelGraphic* PixelGraphicNoWait() const { return image_.get(); }
  // Stops the paint thread, frees the shown image and shows the new one (may be null).
  void SetPixelGraphic(std::unique_ptr<TPixelGraphic> image);
  // The same with a display copy built ahead by BuildDisplayCopy: it is shown at
  // once when it is exactly the copy the view would build now, else dropped.
  void SetPixelGraphic(std::unique_ptr<TPixelGraphic> image, TPrebuiltCopy prebuilt);
  // Shows `picture` (see BuildStandIn) where an image of `imageSize` would be
  // shown, over the image the view holds, which stays as it is for everything
  // else; the next image set (or ClearStandIn) ends it. Dropped when it was
  // built for other settings than the view's.
  void ShowStandIn(std::unique_ptr<TPixelGraphic> picture, TSize2 imageSize,
                   const TDisplaySettings& builtFor);
  void ClearStandIn();
  bool ShowingStandIn() const { return standIn_ != nullptr; }
  // What decides the display copy now (the user-interface thread only).
  TDisplaySettings DisplaySettings() const;
  // A new image assigned from the shown one, nullptr when none.
  std::unique_ptr<TPixelGraphic> PixelGraphicCopy();
  // Hands the shown image to the caller; the view then shows nothing.
  std::unique_ptr<TPixelGraphic> ReleasePixelGraphic();
  // The display copy, or nullptr while none is ready.
  const TPixelGraphic* PaintPixelGraphic() const { return copy_.get(); }
  // Whether a display copy is being built.
  bool PaintThreadRunning() const { return building_ && !copyArrived_; }

  // ---- Files -------------------------------------------------------------------
  const std::string& FileName() const { return fileName_; }
  // Loads the file (an empty name just frees the shown image). Errors propagate
  // after the view has been reset to no image.
  void SetFileName(const std::string& name);
  // Shows an image read from the file `name` elsewhere, with the view's read
  // settings, as SetFileName would have shown it; the prebuilt copy as above.
  void SetLoadedFile(const std::string& name, std::unique_ptr<TPixelGraphic> image,
                     TPrebuiltCopy prebuilt);
  void SaveToFile(const std::string& name);

  // ---- Layout ------------------------------------------------------------------
  TStretch Stretch() const { return stretch_; }
  void SetStretch(TStretch value);
  long double ZoomFactor() const { return zoomFactor_; }
  void SetZoomFactor(long double value);
  // The zoom of the current layout; -1 when no single factor applies.
  long double EffectiveZoom() const { return zoom_; }
  TStretchMode StretchMode() const { return stretchMode_; }
  void SetStretchMode(TStretchMode value);
  bool Center() const { return center_; }
  void SetCenter(bool value);
  bool RearrangeAlways() const { return rearrangeAlways_; }
  void SetRearrangeAlways(bool value) { rearrangeAlways_ = value; }
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  int AutoSizeMaxWidth() const { return autoSizeMax_.Width; }
  int AutoSizeMaxHeight() const { return autoSizeMax_.Height; }
  int AutoSizeMinWidth() const { return autoSizeMin_.Width; }
  int AutoSizeMinHeight() const { return autoSizeMin_.Height; }
  void SetAutoSizeMaxWidth(int v) { autoSizeMax_.Width = v; }
  void SetAutoSizeMaxHeight(int v) { autoSizeMax_.Height = v; }
  void SetAutoSizeMinWidth(int v) { autoSizeMin_.Width = v; }
  void SetAutoSizeMinHeight(int v) { autoSizeMin_.Height = v; }
  // The displayed rectangle in viewport coordinates (the child's geometry).
  QRect DisplayRect() const;
  TPicBox* PicBox() const { return picBox_; }

  // Image and display (child) coordinates.
  int ImageToDisplayX(int x) const;
  int ImageToDisplayY(int y) const;
  int DisplayToImageX(int x) const;
  int DisplayToImageY(int y) const;

  // ---- Drawing -------------------------------------------------------------------
  TTiling Tiling() const { return tiling_; }
  void SetTiling(TTiling value);
  bool FlipHorizontal() const { return flipHorizontal_; }
  void SetFlipHorizontal(bool value);
  bool FlipVertical() const { return flipVertical_; }
  void SetFlipVertical(bool value);
  bool UseThread() const { return useThread_; }
  void SetUseThread(bool value) { useThread_ = value; }
  bool KeepOldPaintPixelGraphic() const { return keepOldPaintPixelGraphic_; }
  void SetKeepOldPaintPixelGraphic(bool value) { keepOldPaintPixelGraphic_ = value; }
  bool ReduceOnLoad() const { return reduceOnLoad_; }
  void SetReduceOnLoad(bool value) { reduceOnLoad_ = value; }
  bool Allow24BitStretch() const { return allow24BitStretch_; }
  void SetAllow24BitStretch(bool value);
  TPalette8BitSys24BitGraphic Palette8BitSys24BitGraphic() const { return palette24_; }
  void SetPalette8BitSys24BitGraphic(TPalette8BitSys24BitGraphic value);
  TPalette8BitSys8BitGraphic Palette8BitSys8BitGraphic() const { return palette8_; }
  void SetPalette8BitSys8BitGraphic(TPalette8BitSys8BitGraphic value);
  bool Dither() const { return dither_; }
  void SetDither(bool value);
  uint8_t DitherErrorLimit() const { return ditherErrorLimit_; }
  void SetDitherErrorLimit(uint8_t value);
  bool DitherErrorLimitAuto() const { return ditherErrorLimitAuto_; }
  void SetDitherErrorLimitAuto(bool value);
  bool DitherErrorLimitSoft() const { return ditherErrorLimitSoft_; }
  void SetDitherErrorLimitSoft(bool value);
  bool RGBWeighting() const { return rgbWeighting_; }
  void SetRGBWeighting(bool value);
  // The screen depth the display copy is made for (24 unless forced by the
  // environment, see ScreenDepth); tests may set it.
  int ScreenDepth() const { return screenDepth_; }
  void SetScreenDepth(int bits);

  bool ProgressClockVisible() const { return progressClockVisible_; }
  void SetProgressClockVisible(bool v) {
    progressClockVisible_ = v;
    viewport()->update();
  }
  bool Progress5Clocks() const { return progress5Clocks_; }
  void SetProgress5Clocks(bool v) {
    progress5Clocks_ = v;
    viewport()->update();
  }
  QColor ProgressClockBkColor() const { return clockBkColor_; }
  void SetProgressClockBkColor(const QColor& c) {
    clockBkColor_ = c;
    viewport()->update();
  }
  QColor ProgressClockLineColor() const { return clockLineColor_; }
  void SetProgressClockLineColor(const QColor& c) {
    clockLineColor_ = c;
    viewport()->update();
  }
  QColor PicBoxFrameColor() const { return frameColor_; }
  void SetPicBoxFrameColor(const QColor& c) {
    frameColor_ = c;
    viewport()->update();
  }
  // Step and percent of the display copy being built.
  int ProgressStep() const { return progressStep_; }
  int ProgressPercent() const { return progressPercent_; }

  // ---- Loading and saving settings ---------------------------------------------
  TRGB BackGroundColor() const { return backGroundColor_; }
  void SetBackGroundColor(TRGB v) { backGroundColor_ = v; }
  TPGWarningAction ReadWarningAction() const { return readWarningAction_; }
  void SetReadWarningAction(TPGWarningAction v) { readWarningAction_ = v; }
  TPGWarningAction SaveColorResWarningAction() const { return saveWarningAction_; }
  void SetSaveColorResWarningAction(TPGWarningAction v) { saveWarningAction_ = v; }
  bool ShowHourGlass() const { return showHourGlass_; }
  void SetShowHourGlass(bool v) { showHourGlass_ = v; }

  // ---- Selection and mouse -------------------------------------------------------
  TActionMode ActionMode() const { return actionMode_; }
  void SetActionMode(TActionMode value);
  bool Selection() const { return selection_; }
  void SetSelection(bool value);
  int SelectionLeft() const { return sel_.Left; }
  int SelectionTop() const { return sel_.Top; }
  int SelectionWidth() const { return sel_.Width; }
  int SelectionHeight() const { return sel_.Height; }
  void SetSelectionLeft(int v) { SetSelectionRect(v, sel_.Top, sel_.Width, sel_.Height); }
  void SetSelectionTop(int v) { SetSelectionRect(sel_.Left, v, sel_.Width, sel_.Height); }
  void SetSelectionWidth(int v) { SetSelectionRect(sel_.Left, sel_.Top, v, sel_.Height); }
  void SetSelectionHeight(int v) { SetSelectionRect(sel_.Left, sel_.Top, sel_.Width, v); }
  void SetSelectionRect(int left, int top, int width, int height);
  QColor SelectionColor1() const { return selColor1_; }
  QColor SelectionColor2() const { return selColor2_; }
  void SetSelectionColor1(const QColor& c);
  void SetSelectionColor2(const QColor& c);
  // The selection's rectangle in child coordinates (edges converted separately).
  TPGRect SelectionDisplayRect() const;
  TDragState DragState() const { return drag_; }
  int OutlinePhase() const { return phase_; }

  // ---- Forwarded to the child --------------------------------------------------------
  QMenu* PicBoxPopupMenu() const { return picBox_->PopupMenu(); }
  void SetPicBoxPopupMenu(QMenu* menu) { picBox_->SetPopupMenu(menu); }
  QColor PicBoxColor() const { return picBox_->Color(); }
  void SetPicBoxColor(const QColor& c) {
    picBox_->SetColor(c);
    viewport()->update();
  }
  QCursor PicBoxCursor() const { return picBoxCursor_; }
  void SetPicBoxCursor(const QCursor& c) {
    picBoxCursor_ = c;
    UpdateCursor();
  }
  QString PicBoxHint() const { return picBox_->toolTip(); }
  void SetPicBoxHint(const QString& hint) { picBox_->setToolTip(hint); }
  int PicBoxTag() const { return picBoxTag_; }
  void SetPicBoxTag(int tag) { picBoxTag_ = tag; }

  // ---- Events ------------------------------------------------------------------------
  TPGImageEvent OnPixelGraphicChange;
  TPGImageEvent OnZoomFactorChange;
  TPGImageEvent OnSelectionChange;
  TPGImageEvent OnSelectionMade;
  TPGImageEvent OnPaint;
  TPGImageEvent OnPainting;
  TPGINewAutoSizeEvent OnNewAutoSize;
  TNotifyEvent OnPixelGraphicProgressStart;
  TPGProgressEvent OnPixelGraphicProgress;
  TNotifyEvent OnPixelGraphicProgressEnd;
  TPGSetCursorEvent OnSetCursor;
  TPGSetCursorEvent PicBoxOnSetCursor;
  TPGImageMouseEvent PicBoxOnMouseDown;
  TPGImageMouseEvent PicBoxOnMouseMove;
  TPGImageMouseEvent PicBoxOnMouseUp;
  TPGImageEvent PicBoxOnClick;
  TPGImageEvent PicBoxOnDblClick;
  TPGImagePaintEvent PicBoxOnPaint;
  TPGImageDragOverEvent PicBoxOnDragOver;
  TPGImageDragDropEvent PicBoxOnDragDrop;

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  friend class TPicBox;

  // Change handling: after a new image, an image change and settings that need a
  // new display copy.
  void PixelGraphicChanged();
  void Relayout(bool force);
  void RouteEvents(TPixelGraphic& image);
  // Cancels the copy under way, waits until it no longer reads the image and
  // makes any copy it already handed over stale.
  void StopPaintThread();
  // Waits for the copy under way to stop reading the image.
  void WaitForPaintThread();
  void DropCopy();
  void InstallCopy(std::unique_ptr<TPixelGraphic> copy);
  // Whether a copy is needed (`needed`) and a build of it is due now; drops a
  // copy that no longer fits.
  bool CopyDue(bool& needed);
  // Sets up the due build: runs it here without a worker, else hands it to
  // LaunchCopy after the current event (painting starts no task).
  void StartCopy();
  void LaunchCopy();
  void AdoptCopy(TPrebuiltCopy prebuilt);
  void MarkRebuild();
  void PaintView(QPainter& painter, const QRect& area);
  void PaintClocks(QPainter& painter, const QRect& child);
  void PaintOutline(QPainter& painter);
  void RebuildBrushes();
  void InvalidateSelection();
  void UpdateCursor();
  void UpdateCursor(QPoint childPoint);
  QCursor CursorAt(QPoint childPoint) const;
  bool CanScroll() const;
  TPoint2 ImagePoint(QPointF childPoint) const;
  // A device-pixel length of the layout in logical pixels, rounded up so that
  // the child covers every device pixel of the picture.
  int Logical(int devicePixels) const;

  void PicBoxMouseDown(QMouseEvent& event);
  void PicBoxMouseMove(QMouseEvent& event);
  void PicBoxMouseUp(QMouseEvent& event);
  void AutoScrollTick();
  void OutlineTick();

  TPicBox* picBox_;
  std::unique_ptr<TPixelGraphic> image_;
  std::unique_ptr<TPixelGraphic> copy_;
  std::unique_ptr<TPixelGraphic> standIn_;
  QRect standInRect_;                          // viewport coordinates
  std::shared_ptr<TCreatePaintPGThread> job_;  // the latest build set up
  TWorker copyWorker_{this};
  std::shared_ptr<TCreatePaintPGThread> pendingLaunch_;  // set up, not yet on the worker
  bool building_ = false;  // a build set up for the worker, its copy not yet handed over
  bool copyArrived_ = false;
  bool copyFailed_ = false;  // the copy could not be sized: draw the image
  int imageBusy_ = 0;        // operations on the shown image under way
  bool rebuild_ = true;
  bool layoutBusy_ = false;
  TSize2 imageSize_;
  TSize2 displayed_;    // in device pixels
  double ratio_ = 1.0;  // device pixels per logical pixel at the last layout
  TSize2 copyBuiltFor_;
  TPoint2 offset_;
  long double zoom_ = 1.0L;
  int progressStep_ = 1;
  int progressPercent_ = 0;
  QImage buffer_;

  std::string fileName_;
  TStretch stretch_ = sNeverKAR;
  long double zoomFactor_ = 1.0L;
  TStretchMode stretchMode_ = smFast;
  bool center_ = false;
  bool rearrangeAlways_ = false;
  bool autoSize_ = false;
  TSize2 autoSizeMax_{2147483647, 2147483647};
  TSize2 autoSizeMin_{0, 0};
  TTiling tiling_ = tNone;
  bool flipHorizontal_ = false;
  bool flipVertical_ = false;
  bool useThread_ = true;
  bool keepOldPaintPixelGraphic_ = false;
  bool reduceOnLoad_ = false;
  bool allow24BitStretch_ = false;
  TPalette8BitSys24BitGraphic palette24_ = pOptimized252Sys16;
  TPalette8BitSys8BitGraphic palette8_ = pOptimized252Sys16;
  bool dither_ = true;
  uint8_t ditherErrorLimit_ = 32;
  bool ditherErrorLimitAuto_ = true;
  bool ditherErrorLimitSoft_ = true;
  bool rgbWeighting_ = true;
  int screenDepth_;
  bool progressClockVisible_ = true;
  bool progress5Clocks_ = true;
  QColor clockBkColor_;
  QColor clockLineColor_;
  QColor frameColor_;
  TRGB backGroundColor_ = 0;
  TPGWarningAction readWarningAction_ = pgwaOKCancelBox;
  TPGWarningAction saveWarningAction_ = pgwaOKCancelBox;
  bool showHourGlass_ = true;

  TActionMode actionMode_ = amMoveImage;
  bool selection_ = false;
  TSelectionRect sel_;
  QColor selColor1_{Qt::white};
  QColor selColor2_{Qt::red};
  std::array<QBrush, 8> brushes_;
  int phase_ = 0;
  QTimer* outlineTimer_ = nullptr;
  QTimer* autoScrollTimer_ = nullptr;
  TDragState drag_ = dsIdle;
  TPoint2 anchor_;
  TPoint2 dragOffset_;
  QPoint lastPoint_;     // child coordinates
  QPoint lastViewport_;  // last mouse point of a drag, viewport coordinates
  QCursor picBoxCursor_;
  std::array<QCursor, 4> cursors_;  // open hand, grabbing hand, create, move
  int picBoxTag_ = 0;
};

}  // namespace pgraphic
