// The image view as the main window and the file dialog use it: the view
// component TPGImage with the program's zoom choices, its two tools and the
// image handed over as an owned pointer.
#pragma once

#include <QPointF>
#include <QString>
#include <memory>

#include "pgraphic/image/pixelgraphic.h"
#include "pgraphic/view/pgimage.h"

namespace app {

class TImagePane : public pgraphic::TPGImage {
  Q_OBJECT

 public:
  explicit TImagePane(QWidget* parent = nullptr);

  // The image shown, or nullptr (waits for the display copy's worker).
  pgraphic::TPixelGraphic* Graphic() { return PixelGraphic(); }
  // Takes ownership and shows the image; the previous one is freed.
  void SetGraphic(std::unique_ptr<pgraphic::TPixelGraphic> graphic) {
    SetPixelGraphic(std::move(graphic));
  }
  // A new copy of the image shown (nullptr when none).
  std::unique_ptr<pgraphic::TPixelGraphic> CopyGraphic() { return PixelGraphicCopy(); }
  // Loads a file by its contents and extension; an empty name frees the image.
  // On failure the view shows no image and the library's exception propagates.
  void LoadFromFile(const QString& fileName) { TPGImage::SetFileName(fileName.toStdString()); }
  void SaveToFile(const QString& fileName) { TPGImage::SaveToFile(fileName.toStdString()); }

  // Zoom choices 0..7: Shrink to Fit, Grow to Fit, Stretch to Fit, 25%, 50%,
  // 100%, 200%, 300%; ShrinkToFitOnly shows the image at its size when it fits.
  static constexpr int ShrinkToFitOnly = 8;
  void SetZoomChoice(int index);
  int ZoomChoice() const { return zoom_; }
  // The hand (true) or the create-selection tool (false).
  void SetHandTool(bool hand);
  bool HandTool() const { return ActionMode() == pgraphic::amMoveImage; }
  void RemoveSelection() { SetSelection(false); }
  // The selection as an image of its own: its size, the image's pixel format and
  // palette, pixel (x, y) from (left + x, top + y). Throws when there is no image.
  std::unique_ptr<pgraphic::TPixelGraphic> SelectionImage();
  // Attaches the pop-up menu to the picture and the area around it, or detaches it.
  void SetPopup(QMenu* menu);
  // The displayed size of the image.
  QSize DisplayedSize() const;
  // The point of the image (in image pixels) under a point of the viewport.
  QPointF ImagePointAt(QPoint at) const;
  // Scrolls so that the image point comes under the viewport point, as far as
  // the scroll bars reach.
  void ScrollImagePointTo(QPointF point, QPoint at);
  // Whether files read for this view are put upright by their orientation tag.
  bool AutoOrient() const { return autoOrient_; }
  void SetAutoOrient(bool on) { autoOrient_ = on; }

 signals:
  void SelectionMade();
  void Painted();
  // The wheel turned with Ctrl held: whole notches (positive away from the user)
  // at a viewport point.
  void WheelZoom(int steps, QPoint at);

 protected:
  void wheelEvent(QWheelEvent* event) override;

 private:
  int zoom_ = 5;
  int wheelRest_ = 0;  // the part of a notch a fine-grained wheel has turned
  bool autoOrient_ = true;
  QMenu* popup_ = nullptr;
};

}  // namespace app
