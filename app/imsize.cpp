#include "app/imsize.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>
#include <cmath>

namespace app {

namespace {

constexpr int kMaxSide = 1000000;

// Round half to even, limited to what the spin edits hold; 0 for no number.
int RoundedSide(double v) {
  if (!std::isfinite(v)) return 0;
  const double r = std::nearbyint(v);
  if (r < 0) return 0;
  return r > kMaxSide ? kMaxSide : static_cast<int>(r);
}

}  // namespace

int HeightForWidth(int width, double ratio) {
  return ratio == 0 ? 0 : RoundedSide(width / ratio);
}

int WidthForHeight(int height, double ratio) {
  return RoundedSide(height * ratio);
}

TForm7::TForm7(QWidget* parent) : QDialog(parent) {
  setObjectName("Form7");
  setWindowTitle("Image size");
  auto* grid = new QGridLayout(this);
  auto side = [&](const char* name, const char* label, int row) {
    auto* spin = new QSpinBox(this);
    spin->setObjectName(name);
    spin->setRange(0, kMaxSide);
    grid->addWidget(new QLabel(label, this), row, 0);
    grid->addWidget(spin, row, 1);
    grid->addWidget(new QLabel("pixeles", this), row, 2);
    return spin;
  };
  SEdit1 = side("SEdit1", "Width", 0);
  SEdit2 = side("SEdit2", "Height", 1);
  CBox1 = new QCheckBox("Keep aspect ratio", this);
  CBox1->setObjectName("CBox1");
  grid->addWidget(CBox1, 2, 0, 1, 3);

  auto* buttons = new QHBoxLayout;
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("OKButton");
  ok->setDefault(true);
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("CancelButton");
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  grid->addLayout(buttons, 3, 0, 1, 3);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(SEdit1, &QSpinBox::valueChanged, this, &TForm7::SEdit1Change);
  connect(SEdit2, &QSpinBox::valueChanged, this, &TForm7::SEdit2Change);
  setFixedSize(sizeHint());
}

bool TForm7::Execute(int imageWidth, int imageHeight) {
  imageWidth_ = imageWidth;
  imageHeight_ = imageHeight;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  return exec() == QDialog::Accepted;
}

void TForm7::showEvent(QShowEvent* event) {
  FormActivate();
  QDialog::showEvent(event);
}

// The box is cleared first so that setting the two sizes does not couple them,
// and checked again afterwards: it is checked at every showing.
void TForm7::FormActivate() {
  CBox1->setChecked(false);
  SEdit1->setValue(imageWidth_);
  SEdit2->setValue(imageHeight_);
  ratio_ = imageHeight_ > 0 ? static_cast<double>(imageWidth_) / imageHeight_ : 0;
  CBox1->setChecked(true);
  SEdit1->setFocus();
  SEdit1->selectAll();
}

void TForm7::SEdit1Change(int width) {
  if (!CBox1->isChecked()) return;
  const QSignalBlocker quiet(SEdit2);
  SEdit2->setValue(HeightForWidth(width, ratio_));
}

void TForm7::SEdit2Change(int height) {
  if (!CBox1->isChecked()) return;
  const QSignalBlocker quiet(SEdit1);
  SEdit1->setValue(WidthForHeight(height, ratio_));
}

void TForm7::done(int result) {
  const bool ok = result == QDialog::Accepted;
  resizeWidth_ = ok ? SEdit1->value() : 0;
  resizeHeight_ = ok ? SEdit2->value() : 0;
  QDialog::done(result);
}

}  // namespace app
