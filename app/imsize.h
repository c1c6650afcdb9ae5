// TForm7, the image-size dialog: width and height in pixels, coupled through the
// image's aspect ratio while "Keep aspect ratio" is checked (as it is at every
// showing). OK leaves the two sizes in ResizeWidth and ResizeHeight; Cancel,
// Escape and the close box leave 0 in both.
#pragma once

#include <QDialog>

class QCheckBox;
class QSpinBox;

namespace app {

class TForm7 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm7(QWidget* parent = nullptr);

  QSpinBox* SEdit1 = nullptr;  // width
  QSpinBox* SEdit2 = nullptr;  // height
  QCheckBox* CBox1 = nullptr;  // "Keep aspect ratio"

  // Shows the dialog modally for an image of the given size; true after OK.
  bool Execute(int imageWidth, int imageHeight);
  int ResizeWidth() const { return resizeWidth_; }
  int ResizeHeight() const { return resizeHeight_; }

  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormActivate();
  void SEdit1Change(int width);
  void SEdit2Change(int height);

  int imageWidth_ = 0, imageHeight_ = 0;
  double ratio_ = 0;  // width / height of the image, 0 when there is none
  int resizeWidth_ = 0, resizeHeight_ = 0;
};

// The other side of a size whose aspect ratio is kept: Round(side / ratio) or
// Round(side * ratio), halves to even; 0 when the ratio gives no number.
int HeightForWidth(int width, double ratio);
int WidthForHeight(int height, double ratio);

}  // namespace app
