// TForm3, the compression-quality dialog: a track bar from 0 ("Low") to 120
// ("High") that starts at 60 and keeps its position and the window's place
// between uses. "Compress" leaves the quality value of the position (the codec's
// quality scale) in QualityValue; "Cancel", Escape and the close box leave -1.
#pragma once

#include <QDialog>
#include <cstdint>

class QSlider;
class QPushButton;

namespace app {

class TForm3 : public QDialog {
  Q_OBJECT

 public:
  explicit TForm3(QWidget* parent = nullptr);

  QSlider* TrBar1 = nullptr;
  QPushButton* Button1 = nullptr;  // "Compress"
  QPushButton* Button2 = nullptr;  // "Cancel"

  // Shows the dialog modally and returns QualityValue.
  int16_t Execute();
  // The result of the last showing: a quality 5 .. 149, or -1 after Cancel.
  int16_t QualityValue() const { return qualityValue_; }

  void done(int result) override;

 private:
  int16_t qualityValue_ = -1;
};

}  // namespace app
