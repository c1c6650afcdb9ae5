// The main window's image area as the controller sees it: the image shown (owned),
// the zoom choice, the zoom mode, the hand / selection tool and the selection.
// The controller and the file dialog talk only to this class, so the view
// component behind it can change without touching them.
#pragma once

#include <QImage>
#include <QScrollArea>
#include <QString>
#include <memory>

#include "pgraphic/image/pixelgraphic.h"

namespace app {

class TImagePane : public QScrollArea {
  Q_OBJECT

 public:
  explicit TImagePane(QWidget* parent = nullptr);
  ~TImagePane() override;

  // The image shown, or nullptr.
  pgraphic::TPixelGraphic* Graphic() const { return graphic_.get(); }
  // Takes ownership and shows the image; the previous one is freed.
  void SetGraphic(std::unique_ptr<pgraphic::TPixelGraphic> graphic);
  // A new copy of the image shown (nullptr when none).
  std::unique_ptr<pgraphic::TPixelGraphic> CopyGraphic() const;
  // Loads a file by its extension. On failure the pane shows no image and the
  // library's exception propagates.
  void LoadFromFile(const QString& fileName);
  // Saves by extension through the writer's colour-resolution fallback.
  void SaveToFile(const QString& fileName);
  QString FileName() const { return fileName_; }
  void SetFileName(const QString& name) { fileName_ = name; }

  // Zoom choices 0..7: Shrink to Fit, Grow to Fit, Stretch to Fit, 25%, 50%,
  // 100%, 200%, 300%; ShrinkToFitOnly shows the image at its size when it fits.
  static constexpr int ShrinkToFitOnly = 8;
  void SetZoomChoice(int index);
  int ZoomChoice() const { return zoom_; }
  void SetStretchMode(pgraphic::TStretchMode mode);
  pgraphic::TStretchMode StretchMode() const { return stretchMode_; }
  // The hand (true) or the create-selection tool (false).
  void SetHandTool(bool hand);
  bool HandTool() const { return hand_; }
  bool Selection() const { return selection_; }
  void RemoveSelection();
  // The displayed size of the image (for tests and the benchmarks).
  QSize DisplayedSize() const;

 signals:
  void SelectionMade();
  void Painted();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  class Canvas;
  void Relayout();
  void RebuildDisplay();

  std::unique_ptr<pgraphic::TPixelGraphic> graphic_;
  QImage source_;   // the image as Qt paints it
  QImage display_;  // resampled copy for the smoothing zoom modes
  Canvas* canvas_;
  QString fileName_;
  int zoom_ = 5;
  pgraphic::TStretchMode stretchMode_ = pgraphic::smMedium;
  bool hand_ = true;
  bool selection_ = false;
  friend class Canvas;
};

// The image as a QImage (24-bit rows as RGB888, palette images through their
// palette), top row first.
QImage ToQImage(const pgraphic::TPixelGraphic& graphic);

}  // namespace app
