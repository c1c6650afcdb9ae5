#include "app/quality.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include "app/jquality.h"
#include "io/files.h"

namespace app {

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
  setObjectName("Form3");
  setWindowTitle("Compression quality");
  auto* grid = new QGridLayout(this);
  TrBar1 = new QSlider(Qt::Horizontal, this);
  TrBar1->setObjectName("TrBar1");
  TrBar1->setRange(0, 120);
  TrBar1->setValue(60);
  TrBar1->setSingleStep(10);  // arrow keys move by a tenth of the range
  TrBar1->setPageStep(1);
  TrBar1->setTickInterval(10);
  TrBar1->setTickPosition(QSlider::TicksBelow);
  TrBar1->setMinimumWidth(280);
  grid->addWidget(TrBar1, 0, 0, 1, 2);
  grid->addWidget(SliderValueLabel(TrBar1), 0, 2);
  grid->addWidget(new QLabel("Low", this), 1, 0, Qt::AlignLeft);
  grid->addWidget(new QLabel("High", this), 1, 1, Qt::AlignRight);
  grid->addWidget(new QLabel("Note: It is a loosy compression", this), 2, 0, 1, 3);

  auto* buttons = new QHBoxLayout;
  Button1 = new QPushButton("Compress", this);
  Button1->setObjectName("Button1");
  Button1->setDefault(true);
  Button2 = new QPushButton("Cancel", this);
  Button2->setObjectName("Button2");
  buttons->addStretch(1);
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  grid->addLayout(buttons, 3, 0, 1, 3);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
  setFixedSize(sizeHint());
}

int16_t TForm3::Execute() {
  exec();
  return qualityValue_;
}

void TForm3::done(int result) {
  qualityValue_ = result == QDialog::Accepted
                      ? static_cast<int16_t>(io::QualityFromPosition(TrBar1->value()))
                      : int16_t(-1);
  QDialog::done(result);
}

}  // namespace app
