#include "pgraphic/dialogs/filterdialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QTimer>
#include <algorithm>

#include "pgraphic/dialogs/preview.h"
#include "pgraphic/view/pgimage.h"

namespace pgraphic {

namespace {

constexpr int kPreviewDelayMs = 100;
constexpr int kBarWidth = 240, kBarHeight = 32, kBarStep = 50;
constexpr int kButtonWidth = 85, kButtonHeight = 24;

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

}  // namespace

// ---- TFilterDialog ---------------------------------------------------------------

TFilterDialog::TFilterDialog(TFilterKind kind, QObject* parent)
    : QObject(parent), kind_(kind), values_(DefaultValues(kind)) {
  PrepareCaptions();  // so that the title and bars can be asked before the first showing
  filter_ = CreateFilter();
}

TPreviewFilterDialog::TPreviewFilterDialog(TFilterKind kind, QObject* parent)
    : TFilterDialog(kind, parent) {
  const QPalette palette = QGuiApplication::palette();
  ProgressClockBkColor = palette.color(QPalette::Button);
  ProgressClockLineColor = palette.color(QPalette::Dark);
}

TFilterDialog::~TFilterDialog() = default;

void TFilterDialog::SetValues(const TFilterValues& values) {
  const TFilterDef& def = FilterDef(kind_);
  for (int i = 0; i < 3; ++i) {
    const TFilterParam& p = def.Bars[static_cast<size_t>(i)];
    values_.Bars[static_cast<size_t>(i)] =
        i < def.BarCount ? std::clamp(values.Bars[static_cast<size_t>(i)], p.Min, p.Max) : 0;
  }
  values_.Switch = def.Switch.Name ? values.Switch : false;
  ConfigureFilter();
}

void TFilterDialog::SetBar(int i, int position) {
  TFilterValues v = values_;
  v.Bars[static_cast<size_t>(i)] = position;
  SetValues(v);
}

std::string TFilterDialog::FormatBarValue(int i, int position) const {
  return FormatValue(FilterDef(kind_).Bars[static_cast<size_t>(i)], position);
}

void TFilterDialog::PrepareCaptions() {
  const TFilterDef& def = FilterDef(kind_);
  title_ = LangStr(def.Title);
  for (int i = 0; i < 3; ++i) {
    TFilterBar& bar = bars_[static_cast<size_t>(i)];
    const TFilterParam& p = def.Bars[static_cast<size_t>(i)];
    bar = TFilterBar{};
    if (i >= def.BarCount) continue;
    bar.Present = true;
    bar.Min = p.Min;
    bar.Max = p.Max;
    bar.Frequency = p.Ticks;
    bar.Caption = LangStr(p.Label);
    bar.Scale = ScaleTexts(p);
  }
  preview_ = def.Preview;
  checkBox_ = def.Switch.Name && !def.Switch.Radio;
  radioPair_ = def.Switch.Name && def.Switch.Radio;
  switchCaptions_ = {def.Switch.Name ? LangStr(def.Switch.Captions[0]) : std::string(),
                     radioPair_ ? LangStr(def.Switch.Captions[1]) : std::string()};
  groupCaption_ = def.Switch.Group ? LangStr(def.Switch.Group) : std::string();
}

std::unique_ptr<TPGFilter> TFilterDialog::CreateFilter() const {
  return MakeFilter(kind_, values_);
}

void TFilterDialog::ConfigureFilter() {}

bool TFilterDialog::Execute() {
  return ExecuteWith(nullptr);
}

bool TFilterDialog::ExecuteWith(const TPixelGraphic* previewSource) {
  SaveSettings();
  PrepareCaptions();
  previewSource_ = previewSource;
  bool ok = false;
  {
    TFilterDialogForm form(*this, QApplication::activeWindow());
    form_ = &form;
    ok = form.exec() == QDialog::Accepted;
    form_ = nullptr;
  }
  previewSource_ = nullptr;
  if (!ok) RestoreSettings();
  return ok;
}

// ---- The dialogs of each filter ----------------------------------------------------

void TXXXFilterDialog::ConfigureFilter() {
  auto fresh = MakeXXXFilter(Kind(), {Bar(0), Bar(1), Bar(2)});
  TXXXFilter& f = XXXFilter();
  f.T1 = fresh->T1;
  f.T2 = fresh->T2;
  f.T3 = fresh->T3;
}

TRGBFilterDialog::TRGBFilterDialog(QObject* parent) : TXXXFilterDialog(TFilterKind::RGB, parent) {}
TCMYFilterDialog::TCMYFilterDialog(QObject* parent) : TXXXFilterDialog(TFilterKind::CMY, parent) {}
TYCbCrFilterDialog::TYCbCrFilterDialog(QObject* parent)
    : TXXXFilterDialog(TFilterKind::YCbCr, parent) {}
THLSFilterDialog::THLSFilterDialog(QObject* parent) : THueFilterDialog(TFilterKind::HLS, parent) {}
THSVFilterDialog::THSVFilterDialog(QObject* parent) : THueFilterDialog(TFilterKind::HSV, parent) {}

TBCGFilterDialog::TBCGFilterDialog(QObject* parent)
    : TPreviewFilterDialog(TFilterKind::BCG, parent) {}

void TBCGFilterDialog::SetUseY(bool v) {
  TFilterValues values = Values();
  values.Switch = v;
  SetValues(values);
}

void TBCGFilterDialog::ConfigureFilter() {
  auto fresh = MakeFilter(Kind(), Values());
  static_cast<TBCGFilter&>(*filter_) = static_cast<const TBCGFilter&>(*fresh);
}

TGrayScaleFilterDialog::TGrayScaleFilterDialog(QObject* parent)
    : TPreviewFilterDialog(TFilterKind::GrayScale, parent) {}

void TGrayScaleFilterDialog::SetRGBWeighting(bool v) {
  TFilterValues values = Values();
  values.Switch = v;
  SetValues(values);
}

void TGrayScaleFilterDialog::ConfigureFilter() {
  static_cast<TGrayScaleFilter&>(*filter_).RGBWeighting = RGBWeighting();
}

TNegativeFilterDialog::TNegativeFilterDialog(QObject* parent)
    : TPreviewFilterDialog(TFilterKind::Negative, parent) {}

TConvFilterDialog::TConvFilterDialog(TFilterKind kind, QObject* parent)
    : TFilterDialog(kind, parent),
      shape_(DefaultConvSettings(kind).DistributionShape),
      useDistance_(DefaultConvSettings(kind).UseDistance) {
  ConfigureFilter();  // the base built the filter before the shape was known
}

std::unique_ptr<TPGFilter> TConvFilterDialog::CreateFilter() const {
  return MakeConvFilter(Kind(), Values(), shape_, useDistance_);
}

void TConvFilterDialog::ConfigureFilter() {
  ConvFilter() = *MakeConvFilter(Kind(), Values(), shape_, useDistance_);
}

void TConvFilterDialog::SetDistributionShape(TDistributionShape shape) {
  shape_ = shape;
  ConfigureFilter();
}

void TConvFilterDialog::SetUseDistance(bool v) {
  useDistance_ = v;
  ConfigureFilter();
}

TSharpenFilterDialog::TSharpenFilterDialog(QObject* parent)
    : TConvFilterDialog(TFilterKind::Sharpen, parent) {}
TDetailFilterDialog::TDetailFilterDialog(QObject* parent)
    : TConvFilterDialog(TFilterKind::Detail, parent) {}
TSmoothFilterDialog::TSmoothFilterDialog(QObject* parent)
    : TConvFilterDialog(TFilterKind::Smooth, parent) {}
TBlurFilterDialog::TBlurFilterDialog(QObject* parent)
    : TConvFilterDialog(TFilterKind::Blur, parent) {}
TContourFilterDialog::TContourFilterDialog(QObject* parent)
    : TConvFilterDialog(TFilterKind::Contour, parent) {}

void TContourFilterDialog::SetBlackBk(bool v) {
  TFilterValues values = Values();
  values.Switch = v;
  SetValues(values);
}

// ---- The window --------------------------------------------------------------------

TFilterDialogForm::TFilterDialogForm(TFilterDialog& dialog, QWidget* parent)
    : QDialog(parent), dialog_(dialog) {
  setObjectName("FilterDialogForm");
  Build();
}

TFilterDialogForm::~TFilterDialogForm() {
  StopWorkers();
}

void TFilterDialogForm::StopWorkers() {
  if (timer_) timer_->stop();
  // Both read data freed here or owned by the caller: they stop before it goes.
  previewWorker_.Cancel();
  sourceWorker_.Cancel();
  previewWorker_.Wait();
  sourceWorker_.Wait();
  source_.reset();
  sourceReady_ = false;
}

void TFilterDialogForm::done(int result) {
  StopWorkers();
  QDialog::done(result);
}

void TFilterDialogForm::Build() {
  const TFilterDialog& d = dialog_;
  setWindowTitle(Q(d.Title()));
  QFont font = QApplication::font();
  font.setPointSize(8);
  setFont(font);
  const QFontMetrics metrics(font);

  const bool bar1 = d.BarInfo(0).Present;
  const bool bar3 = d.BarInfo(2).Present;
  const int a = bar1 ? 10 : 40;
  // Captions and value labels are as wide as their widest text.
  int captionWidth = 0, valueWidth = 0;
  for (int i = 0; i < 3; ++i) {
    const TFilterBar& b = d.BarInfo(i);
    if (!b.Present) continue;
    captionWidth = std::max(captionWidth, metrics.horizontalAdvance(Q(b.Caption)) + 8);
    for (int v : {b.Min, b.Max, (b.Min + b.Max) / 2})
      valueWidth = std::max(valueWidth, metrics.horizontalAdvance(Q(d.FormatBarValue(i, v))) + 8);
  }
  if (d.HasRadioPair())
    captionWidth = std::max(captionWidth, metrics.horizontalAdvance(Q(d.GroupCaption())) + 8);
  if (bar1)
    clientWidth_ = a + captionWidth + valueWidth + a + (d.HasPreview() ? 390 : 240);
  else
    clientWidth_ = 2 * a + 140;

  int bottom = 0;
  const int barLeft = a + captionWidth;
  for (int i = 0; i < 3; ++i) {
    const TFilterBar& b = d.BarInfo(i);
    if (!b.Present) continue;
    const int y = 10 + kBarStep * i;
    auto* caption = new QLabel(Q(b.Caption), this);
    caption->setObjectName(QString("Caption%1").arg(i + 1));
    caption->setGeometry(a, y + 6, captionWidth, metrics.height());
    auto* bar = new QSlider(Qt::Horizontal, this);
    bar->setObjectName(QString("Bar%1").arg(i + 1));
    bar->setGeometry(barLeft, y, kBarWidth, kBarHeight);
    bar->setRange(b.Min, b.Max);
    bar->setTickInterval(b.Frequency);
    bar->setTickPosition(QSlider::TicksBelow);
    bar->setPageStep(b.Frequency);
    bar->setValue(d.Bar(i));
    caption->setBuddy(bar);
    Bars[static_cast<size_t>(i)] = bar;
    const Qt::Alignment aligns[3] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};
    for (int k = 0; k < 3; ++k) {
      auto* scale = new QLabel(Q(b.Scale[static_cast<size_t>(k)]), this);
      scale->setObjectName(QString("Scale%1%2").arg(i + 1).arg(k + 1));
      scale->setAlignment(aligns[k] | Qt::AlignTop);
      scale->setGeometry(barLeft + k * kBarWidth / 3, y + 32, kBarWidth / 3, metrics.height());
    }
    auto* value = new QLabel(this);
    value->setObjectName(QString("Value%1").arg(i + 1));
    value->setGeometry(barLeft + kBarWidth, y + 6, valueWidth, metrics.height());
    value->setAlignment(Qt::AlignRight | Qt::AlignTop);
    ValueLabels[static_cast<size_t>(i)] = value;
    bottom = y + 32 + metrics.height();
    connect(bar, &QSlider::valueChanged, this, &TFilterDialogForm::UpdateOnChange);
  }

  if (d.HasPreview()) {
    Preview = new TPGImage(this);
    Preview->setObjectName("Preview");
    Preview->setGeometry(clientWidth_ - a - kPreviewBox, 12, kPreviewBox, kPreviewBox);
    // The whole 140 x 140 shows the picture: no frame, the window's colour around.
    Preview->setFrameShape(QFrame::NoFrame);
    Preview->viewport()->setBackgroundRole(QPalette::Window);
    Preview->SetCenter(true);
    Preview->SetKeepOldPaintPixelGraphic(true);
    if (const auto* look = dynamic_cast<const TPreviewFilterDialog*>(&d)) {
      Preview->SetPalette8BitSys24BitGraphic(look->Palette8BitSys24BitGraphic);
      Preview->SetPalette8BitSys8BitGraphic(look->Palette8BitSys8BitGraphic);
      Preview->SetProgressClockBkColor(look->ProgressClockBkColor);
      Preview->SetProgressClockLineColor(look->ProgressClockLineColor);
      Preview->SetProgressClockVisible(look->ProgressClockVisible);
    }
    Preview->setFocusPolicy(Qt::NoFocus);
    bottom = std::max(bottom, 12 + kPreviewBox);
  }

  const int switchLeft = d.HasRadioPair() && bar1 ? barLeft : a;
  if (d.HasCheckBox()) {
    CheckBox = new QCheckBox(Q(d.SwitchCaption(0)), this);
    CheckBox->setObjectName("CheckBox");
    CheckBox->setGeometry(a, 160, 140, metrics.height() + 6);
    CheckBox->setChecked(d.Values().Switch);
    connect(CheckBox, &QCheckBox::clicked, this, &TFilterDialogForm::UpdateOnChange);
    bottom = std::max(bottom, CheckBox->geometry().bottom());
  }
  if (d.HasRadioPair()) {
    const int y = bar3 ? 160 : 115;
    if (!d.GroupCaption().empty()) {
      auto* group = new QLabel(Q(d.GroupCaption()), this);
      group->setObjectName("GroupCaption");
      group->setGeometry(a, y + 3, captionWidth, metrics.height());
    }
    for (int k = 0; k < 2; ++k) {
      auto* radio = new QRadioButton(Q(d.SwitchCaption(k)), this);
      radio->setObjectName(QString("Radio%1").arg(k + 1));
      radio->setGeometry(switchLeft + 106 * k, y, std::min(100, radio->sizeHint().width()),
                         metrics.height() + 6);
      Radios[static_cast<size_t>(k)] = radio;
      connect(radio, &QRadioButton::clicked, this, &TFilterDialogForm::UpdateOnChange);
      bottom = std::max(bottom, radio->geometry().bottom());
    }
    Radios[d.Values().Switch ? 1 : 0]->setChecked(true);
  }

  auto* bevel = new QFrame(this);
  bevel->setFrameShape(QFrame::HLine);
  bevel->setFrameShadow(QFrame::Sunken);
  bevel->setGeometry(a, bottom + 8, clientWidth_ - 2 * a, 2);
  const int buttonsTop = bottom + 18;
  auto* ok = new QPushButton(Q(LangStr(42)), this);
  ok->setObjectName("OKButton");
  ok->setGeometry(clientWidth_ / 2 - 95, buttonsTop, kButtonWidth, kButtonHeight);
  ok->setDefault(true);
  auto* cancel = new QPushButton(Q(LangStr(43)), this);
  cancel->setObjectName("CancelButton");
  cancel->setGeometry(clientWidth_ / 2 + 10, buttonsTop, kButtonWidth, kButtonHeight);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  setFixedSize(clientWidth_, buttonsTop + kButtonHeight + 10);
  RefreshValueLabels();

  // Centred on the screen.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }

  if (d.HasPreview()) {
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer);  // a coarse timer may fire up to 5 % early
    timer_->setInterval(kPreviewDelayMs);
    connect(timer_, &QTimer::timeout, this, &TFilterDialogForm::PreviewTimerFired);
    if (d.previewSource_) {
      source_ = std::make_unique<TPixelGraphic>();
      sourceWorker_.Start(
          [image = d.previewSource_, source = source_.get()](TWorkerTask& task) {
            try {
              return BuildPreviewSource(*image, *source, task.CancelFlag());
            } catch (const std::exception&) {
              return false;  // no source, no preview; the dialog itself still works
            }
          },
          [this](bool built) {
            sourceReady_ = built;
            if (timer_ && sourceReady_) timer_->start();
          });
    }
  }
}

void TFilterDialogForm::RefreshValueLabels() {
  for (int i = 0; i < 3; ++i)
    if (QLabel* label = ValueLabels[static_cast<size_t>(i)])
      label->setText(Q(dialog_.FormatBarValue(i, dialog_.Bar(i))));
}

void TFilterDialogForm::UpdateOnChange() {
  TFilterValues values = dialog_.Values();
  for (int i = 0; i < 3; ++i)
    if (QSlider* bar = Bars[static_cast<size_t>(i)])
      values.Bars[static_cast<size_t>(i)] = bar->value();
  if (CheckBox) values.Switch = CheckBox->isChecked();
  if (Radios[1]) values.Switch = Radios[1]->isChecked();
  dialog_.SetValues(values);
  RefreshValueLabels();
  if (timer_) {
    previewWorker_.Cancel();
    timer_->start();
  }
  if (dialog_.OnChange) dialog_.OnChange();
}

void TFilterDialogForm::PreviewTimerFired() {
  if (!sourceReady_ || !source_) return;
  ++dialog_.previewComputations_;
  // Starting supersedes the preview under way, whose picture is then never shown.
  previewWorker_.Start(
      [filter = dialog_.CreateFilter(), source = source_.get()](TWorkerTask& task) {
        try {
          return ComputePreview(*filter, *source, task.CancelFlag());
        } catch (const std::exception&) {
          return std::unique_ptr<TPixelGraphic>();  // the old picture stays up
        }
      },
      [this](std::unique_ptr<TPixelGraphic> image) {
        if (Preview && image) Preview->SetPixelGraphic(std::move(image));
      });
}

}  // namespace pgraphic
