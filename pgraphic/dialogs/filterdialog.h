// The filter dialogs: each component owns one filter object, holds the user's
// settings, and shows a modal window built at run time with up to three track
// bars, an optional check box or radio pair and, for the point filters, a live
// preview of the filter applied to a small copy of the caller's image. After OK
// the filter object is configured for the caller to apply; after Cancel, Escape
// or the close box every setting and the filter object are as before.
//
// Class tree: TFilterDialog -> TPreviewFilterDialog -> TXXXFilterDialog (RGB,
// CMY, YCbCr, HLS, HSV), TBCGFilterDialog, TGrayScaleFilterDialog,
// TNegativeFilterDialog; TFilterDialog -> TConvFilterDialog (Sharpen, Detail,
// Smooth, Blur, Contour). The window is a TFilterDialogForm.
#pragma once

#include <QColor>
#include <QDialog>
#include <QObject>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "pgraphic/filters/filtersettings.h"
#include "pgraphic/view/worker.h"

class QCheckBox;
class QLabel;
class QRadioButton;
class QSlider;
class QTimer;

namespace pgraphic {

class TFilterDialogForm;
class TPGImage;

// What a dialog shows of one track bar.
struct TFilterBar {
  bool Present = false;
  int Min = 0, Max = 0, Frequency = 1;
  std::string Caption;
  std::array<std::string, 3> Scale;  // left, centre, right
};

class TFilterDialog : public QObject {
  Q_OBJECT

 public:
  ~TFilterDialog() override;

  TFilterKind Kind() const { return kind_; }
  // The filter object, configured with the current settings.
  TPGFilter& Filter() { return *filter_; }
  // Shows the window modally; true when OK was pressed.
  bool Execute();

  // The settings: bar positions (limited to each bar's range) and the switch
  // (check box checked, or second radio button chosen). Setting them
  // reconfigures the filter at once.
  const TFilterValues& Values() const { return values_; }
  void SetValues(const TFilterValues& values);
  int Bar(int i) const { return values_.Bars[static_cast<size_t>(i)]; }
  void SetBar(int i, int position);

  std::string Title() const { return title_; }
  const TFilterBar& BarInfo(int i) const { return bars_[static_cast<size_t>(i)]; }
  bool HasPreview() const { return preview_; }
  bool HasCheckBox() const { return checkBox_; }
  bool HasRadioPair() const { return radioPair_; }
  std::string SwitchCaption(int i) const { return switchCaptions_[static_cast<size_t>(i)]; }
  std::string GroupCaption() const { return groupCaption_; }

  // Called after every change the user makes in the window.
  std::function<void()> OnChange;

  // The window while it is shown, else nullptr.
  TFilterDialogForm* Form() const { return form_; }
  // How many preview computations were started since the dialog was created.
  int PreviewComputations() const { return previewComputations_; }

  // The value label of bar i at a position.
  virtual std::string FormatBarValue(int i, int position) const;

 protected:
  explicit TFilterDialog(TFilterKind kind, QObject* parent);

  // The steps a window uses, in the order they are called.
  virtual void PrepareCaptions();
  // A new filter object configured with the current settings.
  virtual std::unique_ptr<TPGFilter> CreateFilter() const;
  // Brings the owned filter object to the current settings.
  virtual void ConfigureFilter();
  virtual void SaveSettings() { saved_ = values_; }
  virtual void RestoreSettings() { SetValues(saved_); }

  // Execute with the caller's image as the preview source (point filters).
  bool ExecuteWith(const TPixelGraphic* previewSource);

  std::unique_ptr<TPGFilter> filter_;

 private:
  friend class TFilterDialogForm;

  const TFilterKind kind_;
  TFilterValues values_;
  TFilterValues saved_;
  std::string title_;
  std::array<TFilterBar, 3> bars_;
  bool preview_ = false;
  bool checkBox_ = false;
  bool radioPair_ = false;
  std::array<std::string, 2> switchCaptions_;
  std::string groupCaption_;
  const TPixelGraphic* previewSource_ = nullptr;
  TFilterDialogForm* form_ = nullptr;
  int previewComputations_ = 0;
};

// The point filters: Execute takes the image the caller is about to filter and
// previews the filter on a small copy of it.
class TPreviewFilterDialog : public TFilterDialog {
  Q_OBJECT
 public:
  bool Execute(const TPixelGraphic& image) { return ExecuteWith(&image); }

  // The preview's look.
  TPaletteIdent Palette8BitSys24BitGraphic = pOptimized252Sys16;
  TPaletteIdent Palette8BitSys8BitGraphic = pOptimized252Sys16;
  QColor ProgressClockBkColor;    // the palette's button face unless set
  QColor ProgressClockLineColor;  // the palette's button shadow unless set
  bool ProgressClockVisible = false;

 protected:
  TPreviewFilterDialog(TFilterKind kind, QObject* parent);
};

// RGB, CMY, YCbCr, HLS and HSV: three bars that fill the filter's tables.
class TXXXFilterDialog : public TPreviewFilterDialog {
  Q_OBJECT
 public:
  int Red() const { return Bar(0); }
  int Green() const { return Bar(1); }
  int Blue() const { return Bar(2); }
  void SetRed(int v) { SetBar(0, v); }
  void SetGreen(int v) { SetBar(1, v); }
  void SetBlue(int v) { SetBar(2, v); }
  TXXXFilter& XXXFilter() { return static_cast<TXXXFilter&>(*filter_); }

 protected:
  using TPreviewFilterDialog::TPreviewFilterDialog;
  void ConfigureFilter() override;
};

class TRGBFilterDialog : public TXXXFilterDialog {
  Q_OBJECT
 public:
  explicit TRGBFilterDialog(QObject* parent = nullptr);
};

class TCMYFilterDialog : public TXXXFilterDialog {
  Q_OBJECT
 public:
  explicit TCMYFilterDialog(QObject* parent = nullptr);
};

class TYCbCrFilterDialog : public TXXXFilterDialog {
  Q_OBJECT
 public:
  explicit TYCbCrFilterDialog(QObject* parent = nullptr);
};

// HLS and HSV also publish the hue shift, brought into -180 .. 180.
class THueFilterDialog : public TXXXFilterDialog {
  Q_OBJECT
 public:
  int H() const { return Bar(0); }
  void SetH(int hue) { SetBar(0, NormalizeHue(hue)); }

 protected:
  using TXXXFilterDialog::TXXXFilterDialog;
};

class THLSFilterDialog : public THueFilterDialog {
  Q_OBJECT
 public:
  explicit THLSFilterDialog(QObject* parent = nullptr);
};

class THSVFilterDialog : public THueFilterDialog {
  Q_OBJECT
 public:
  explicit THSVFilterDialog(QObject* parent = nullptr);
};

class TBCGFilterDialog : public TPreviewFilterDialog {
  Q_OBJECT
 public:
  explicit TBCGFilterDialog(QObject* parent = nullptr);
  int Brightness() const { return Bar(0); }
  void SetBrightness(int v) { SetBar(0, v); }
  // Factors 0.2 .. 5, held as the bar Round(100 ln(factor) / ln 5).
  long double Contrast() const { return SliderToFactor(Bar(1)); }
  void SetContrast(long double factor) { SetBar(1, FactorToSlider(factor)); }
  long double Gamma() const { return SliderToFactor(Bar(2)); }
  void SetGamma(long double factor) { SetBar(2, FactorToSlider(factor)); }
  bool UseY() const { return Values().Switch; }
  void SetUseY(bool v);

 protected:
  void ConfigureFilter() override;
};

class TGrayScaleFilterDialog : public TPreviewFilterDialog {
  Q_OBJECT
 public:
  explicit TGrayScaleFilterDialog(QObject* parent = nullptr);
  bool RGBWeighting() const { return Values().Switch; }
  void SetRGBWeighting(bool v);

 protected:
  void ConfigureFilter() override;
};

class TNegativeFilterDialog : public TPreviewFilterDialog {
  Q_OBJECT
 public:
  explicit TNegativeFilterDialog(QObject* parent = nullptr);
};

// Sharpen, Detail, Smooth, Blur and Contour: no preview.
class TConvFilterDialog : public TFilterDialog {
  Q_OBJECT
 public:
  using TFilterDialog::Execute;
  TConvFilter& ConvFilter() { return static_cast<TConvFilter&>(*filter_); }
  // The bar / 100; set values are limited to 0.4 .. 1.3.
  long double StdDeviation() const { return Bar(0) / 100.0L; }
  void SetStdDeviation(long double v) { SetBar(0, StdDeviationToBar(v)); }
  int Percent() const { return Bar(1); }
  void SetPercent(int v) { SetBar(1, v); }
  TDistributionShape DistributionShape() const { return shape_; }
  void SetDistributionShape(TDistributionShape shape);
  bool UseDistance() const { return useDistance_; }
  void SetUseDistance(bool v);

 protected:
  explicit TConvFilterDialog(TFilterKind kind, QObject* parent);
  std::unique_ptr<TPGFilter> CreateFilter() const override;
  void ConfigureFilter() override;

 private:
  TDistributionShape shape_;
  bool useDistance_ = true;
};

class TSharpenFilterDialog : public TConvFilterDialog {
  Q_OBJECT
 public:
  explicit TSharpenFilterDialog(QObject* parent = nullptr);
};

class TDetailFilterDialog : public TConvFilterDialog {
  Q_OBJECT
 public:
  explicit TDetailFilterDialog(QObject* parent = nullptr);
};

class TSmoothFilterDialog : public TConvFilterDialog {
  Q_OBJECT
 public:
  explicit TSmoothFilterDialog(QObject* parent = nullptr);
};

class TBlurFilterDialog : public TConvFilterDialog {
  Q_OBJECT
 public:
  explicit TBlurFilterDialog(QObject* parent = nullptr);
  // The bar / 100; set values are limited to 0.5 .. 5.
  long double Radius() const { return Bar(0) / 100.0L; }
  void SetRadius(long double v) { SetBar(0, RadiusToBar(v)); }
};

class TContourFilterDialog : public TConvFilterDialog {
  Q_OBJECT
 public:
  explicit TContourFilterDialog(QObject* parent = nullptr);
  bool BlackBk() const { return Values().Switch; }
  void SetBlackBk(bool v);
};

// ---- The window ------------------------------------------------------------------

class TFilterDialogForm : public QDialog {
  Q_OBJECT

 public:
  // Builds the window for the dialog's current settings.
  explicit TFilterDialogForm(TFilterDialog& dialog, QWidget* parent = nullptr);
  ~TFilterDialogForm() override;

  std::array<QSlider*, 3> Bars{};
  std::array<QLabel*, 3> ValueLabels{};
  QCheckBox* CheckBox = nullptr;
  std::array<QRadioButton*, 2> Radios{};
  TPGImage* Preview = nullptr;
  int ClientWidth() const { return clientWidth_; }
  bool SourceReady() const { return sourceReady_; }

  void done(int result) override;

 private:
  void Build();
  void UpdateOnChange();
  void RefreshValueLabels();
  void PreviewTimerFired();
  void StopWorkers();

  TFilterDialog& dialog_;
  int clientWidth_ = 0;
  QTimer* timer_ = nullptr;
  std::unique_ptr<TPixelGraphic> source_;
  bool sourceReady_ = false;
  // Fills source_ from the caller's image, then the filtered previews of source_.
  TWorker sourceWorker_{this};
  TWorker previewWorker_{this};
};

}  // namespace pgraphic
