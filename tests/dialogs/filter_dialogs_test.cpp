// The thirteen filter dialogs: their windows, the settings the track bars and
// buttons leave in the filter object (compared with the library's own filter
// built from the same settings), Cancel restoring everything, and the live
// preview.
#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <functional>
#include <random>
#include <vector>

#include "dialogs_fixture.h"
#include "pgraphic/dialogs/filterdialog.h"
#include "pgraphic/dialogs/preview.h"
#include "pgraphic/view/pgimage.h"
#include "support/random_image.h"

namespace pgraphic {
namespace {

using dialogs_test::Click;
using dialogs_test::WhenModal;

std::unique_ptr<TPixelGraphic> Noise(int w, int h, unsigned seed = 7) {
  return test_support::RandomImage(w, h, seed);
}

std::vector<uint8_t> Bytes(const TPixelGraphic* g) {
  if (!g) return {};
  return std::vector<uint8_t>(g->Bits(), g->Bits() + g->ImageSize());
}

// The filter applied to the image into a new 24-bit image.
std::vector<uint8_t> Filtered(TPGFilter& filter, const TPixelGraphic& image) {
  TPixelGraphic out;
  out.SetSize(1, 1, pf24Bit);
  ApplyFilter(out, filter, image);
  return Bytes(&out);
}

TFilterDialogForm& FormOf(QWidget& w) {
  auto* form = qobject_cast<TFilterDialogForm*>(&w);
  EXPECT_NE(form, nullptr);
  return *form;
}

QString Text(QWidget& w, const QString& name) {
  auto* label = w.findChild<QLabel*>(name);
  return label ? label->text() : QString("<none>");
}

// Every dialog in menu order, made fresh.
using TMake = std::function<std::unique_ptr<TFilterDialog>()>;
template <class D>
TMake Make() {
  return [] { return std::make_unique<D>(); };
}

// Runs the dialog, point filters on image.
bool RunDialog(TFilterDialog& d, const TPixelGraphic& image) {
  if (auto* p = dynamic_cast<TPreviewFilterDialog*>(&d)) return p->Execute(image);
  return static_cast<TConvFilterDialog&>(d).Execute();
}

struct WindowCase {
  TMake make;
  const char* title;
  std::vector<const char*> captions;    // bar captions
  std::vector<const char*> firstScale;  // the scale texts of bar 1
  const char* firstValue;               // value label of bar 1 at its start
  std::vector<const char*> switches;    // check box or radio captions
  bool preview;
};

TEST(FilterDialogs, WindowsShowTheirBarsScalesAndSwitches) {
  const WindowCase cases[] = {
      {Make<TRGBFilterDialog>(),
       "RGB Filter",
       {"R", "G", "B"},
       {"-100%", "\u00b10%", "+100%"},
       "\u00b10%",
       {},
       true},
      {Make<TCMYFilterDialog>(),
       "CMY Filter",
       {"C", "M", "Y"},
       {"-100%", "\u00b10%", "+100%"},
       "\u00b10%",
       {},
       true},
      {Make<TYCbCrFilterDialog>(), "YCbCr Filter", {"Y", "Cb", "Cr"}, {}, "\u00b10%", {}, true},
      {Make<THLSFilterDialog>(),
       "HLS Filter",
       {"H", "L", "S"},
       {"-180\u00b0", "\u00b10\u00b0", "+180\u00b0"},
       "\u00b10\u00b0",
       {},
       true},
      {Make<THSVFilterDialog>(), "HSV Filter", {"H", "S", "V"}, {}, "\u00b10\u00b0", {}, true},
      {Make<TBCGFilterDialog>(),
       "Brightness, Contrast, Gamma Filter",
       {"Brightness", "Contrast", "Gamma"},
       {},
       "\u00b10%",
       {"RGB", "Y"},
       true},
      {Make<TGrayScaleFilterDialog>(), "Grayscale Filter", {}, {}, "", {"RGB weighting"}, true},
      {Make<TNegativeFilterDialog>(), "Negative Filter", {}, {}, "", {}, true},
      {Make<TSharpenFilterDialog>(),
       "Sharpen",
       {"Std. deviation", "Strength"},
       {"0.40", "", "1.30"},
       "0.75",
       {},
       false},
      {Make<TDetailFilterDialog>(),
       "Detail",
       {"Std. deviation", "Strength"},
       {},
       "0.75",
       {},
       false},
      {Make<TSmoothFilterDialog>(),
       "Smooth",
       {"Std. deviation", "Strength"},
       {},
       "1.30",
       {},
       false},
      {Make<TBlurFilterDialog>(),
       "Blur",
       {"Radius", "Strength"},
       {"0.50", "", "5.00"},
       "2.50",
       {},
       false},
      {Make<TContourFilterDialog>(),
       "Contour",
       {"Std. deviation", "Strength"},
       {},
       "1.00",
       {"White", "Black"},
       false},
  };
  auto image = Noise(30, 20);
  for (const WindowCase& c : cases) {
    auto dialog = c.make();
    WhenModal([&](QWidget& w) {
      TFilterDialogForm& form = FormOf(w);
      EXPECT_EQ(w.windowTitle(), c.title);
      for (size_t i = 0; i < 3; ++i) {
        const bool present = i < c.captions.size();
        EXPECT_EQ(form.Bars[i] != nullptr, present) << c.title << " bar " << i;
        if (present) {
          EXPECT_EQ(Text(w, QString("Caption%1").arg(i + 1)), c.captions[i]);
        }
      }
      for (size_t k = 0; k < c.firstScale.size(); ++k)
        EXPECT_EQ(Text(w, QString("Scale1%1").arg(k + 1)), c.firstScale[k]) << c.title;
      if (!c.captions.empty()) {
        EXPECT_EQ(Text(w, "Value1"), c.firstValue) << c.title;
      }
      EXPECT_EQ(form.Preview != nullptr, c.preview) << c.title;
      std::vector<QString> switches;
      if (form.CheckBox) switches.push_back(form.CheckBox->text());
      for (QRadioButton* r : form.Radios)
        if (r) switches.push_back(r->text());
      EXPECT_EQ(switches.size(), c.switches.size()) << c.title;
      for (size_t k = 0; k < std::min(switches.size(), c.switches.size()); ++k)
        EXPECT_EQ(switches[k], c.switches[k]) << c.title;
      if (c.captions.empty()) {
        // No bar: a margin of 40 either side of the preview.
        EXPECT_EQ(form.ClientWidth(), 220) << c.title;
        EXPECT_EQ(form.Preview->geometry(), QRect(40, 12, 140, 140)) << c.title;
      }
      EXPECT_NE(dialogs_test::Button(w, "OK"), nullptr);
      Click(w, "Cancel");
    });
    EXPECT_FALSE(RunDialog(*dialog, *image)) << c.title;
  }
}

// Keys pressed on each bar, and whether the second switch is clicked.
struct SettingCase {
  TMake make;
  std::vector<std::vector<int>> keys;
  bool clickSecondSwitch;
  const char* firstLabel;  // value label of bar 1 afterwards
};

TEST(FilterDialogs, OKLeavesTheFilterTheBarsDescribe) {
  const int pageUp = Qt::Key_PageUp, right = Qt::Key_Right, home = Qt::Key_Home, end = Qt::Key_End,
            pageDown = Qt::Key_PageDown;
  const SettingCase cases[] = {
      {Make<TRGBFilterDialog>(),
       {{pageUp, pageUp, right, right, right, right, right}, {home}, {}},
       false,
       "+25%"},
      {Make<TCMYFilterDialog>(),
       {{pageDown, pageDown, pageDown, pageDown}, {end}, {right}},
       false,
       "-40%"},
      {Make<TYCbCrFilterDialog>(), {{right}, {pageDown}, {pageUp}}, false, "+1%"},
      {Make<THLSFilterDialog>(), {{pageUp, pageUp}, {pageDown}, {end}}, false, "+30\u00b0"},
      {Make<THSVFilterDialog>(), {{home}, {pageUp}, {pageDown}}, false, "-180\u00b0"},
      {Make<TBCGFilterDialog>(), {{pageUp}, {end}, {home}}, true, "+10%"},
      {Make<TGrayScaleFilterDialog>(), {}, true, nullptr},
      {Make<TNegativeFilterDialog>(), {}, false, nullptr},
      {Make<TSharpenFilterDialog>(), {{end}, {home}}, false, "1.30"},
      {Make<TDetailFilterDialog>(), {{pageDown}, {pageUp}}, false, "0.65"},
      {Make<TSmoothFilterDialog>(), {{home}, {pageDown}}, false, "0.40"},
      {Make<TBlurFilterDialog>(),
       {{pageDown, pageDown, pageDown, pageDown, pageDown}, {home}},
       false,
       "0.50"},
      {Make<TContourFilterDialog>(), {{pageUp}, {end}}, true, "1.10"},
  };
  auto image = Noise(37, 23, 11);
  for (const SettingCase& c : cases) {
    auto dialog = c.make();
    TFilterValues shown;
    WhenModal([&](QWidget& w) {
      TFilterDialogForm& form = FormOf(w);
      for (size_t i = 0; i < c.keys.size(); ++i) {
        form.Bars[i]->setFocus();
        for (int key : c.keys[i]) QTest::keyClick(form.Bars[i], static_cast<Qt::Key>(key));
        shown.Bars[i] = form.Bars[i]->value();
      }
      if (c.firstLabel) {
        EXPECT_EQ(Text(w, "Value1"), c.firstLabel) << dialog->Title();
      }
      if (c.clickSecondSwitch) {
        QAbstractButton* second =
            form.CheckBox ? static_cast<QAbstractButton*>(form.CheckBox) : form.Radios[1];
        QTest::mouseClick(second, Qt::LeftButton);
      }
      Click(w, "OK");
    });
    ASSERT_TRUE(RunDialog(*dialog, *image)) << dialog->Title();
    // What the window showed is what the dialog holds and what its filter does.
    TFilterValues expected = DefaultValues(dialog->Kind());
    for (size_t i = 0; i < c.keys.size(); ++i) expected.Bars[i] = shown.Bars[i];
    if (c.clickSecondSwitch) expected.Switch = !expected.Switch;
    EXPECT_EQ(dialog->Values().Bars, expected.Bars) << dialog->Title();
    EXPECT_EQ(dialog->Values().Switch, expected.Switch) << dialog->Title();
    EXPECT_EQ(Filtered(dialog->Filter(), *image),
              Filtered(*MakeFilter(dialog->Kind(), expected), *image))
        << dialog->Title();
  }
}

TEST(FilterDialogs, CancelEscapeAndCloseRestoreEverySetting) {
  auto image = Noise(25, 18, 3);
  const std::function<void(QWidget&)> ways[] = {
      [](QWidget& w) { Click(w, "Cancel"); },
      [](QWidget& w) { QTest::keyClick(&w, Qt::Key_Escape); },
      [](QWidget& w) { w.close(); },
  };
  for (const auto& leave : ways) {
    THLSFilterDialog hls;
    hls.SetH(390);  // turns to 30
    hls.SetGreen(-20);
    const TFilterValues before = hls.Values();
    const auto output = Filtered(hls.Filter(), *image);
    WhenModal([&](QWidget& w) {
      TFilterDialogForm& form = FormOf(w);
      for (QSlider* bar : form.Bars) QTest::keyClick(bar, Qt::Key_End);
      EXPECT_EQ(hls.H(), 180) << "the filter follows the bars while the window is open";
      leave(w);
    });
    EXPECT_FALSE(hls.Execute(*image));
    EXPECT_EQ(hls.H(), 30);
    EXPECT_EQ(hls.Values().Bars, before.Bars);
    EXPECT_EQ(Filtered(hls.Filter(), *image), output);

    TContourFilterDialog contour;
    contour.SetStdDeviation(0.5L);
    const auto conv = Filtered(contour.Filter(), *image);
    WhenModal([&](QWidget& w) {
      TFilterDialogForm& form = FormOf(w);
      QTest::mouseClick(form.Radios[1], Qt::LeftButton);
      QTest::keyClick(form.Bars[1], Qt::Key_End);
      EXPECT_TRUE(contour.BlackBk());
      leave(w);
    });
    EXPECT_FALSE(contour.Execute());
    EXPECT_FALSE(contour.BlackBk());
    EXPECT_EQ(contour.Percent(), 100);
    EXPECT_EQ(Filtered(contour.Filter(), *image), conv);
  }
}

// The preview the window should show: the library's filter with the dialog's
// settings on the library's preview source.
std::vector<uint8_t> ExpectedPreview(const TFilterDialog& d, const TPixelGraphic& image) {
  std::atomic<bool> never{false};
  TPixelGraphic source;
  BuildPreviewSource(image, source, never);
  auto filter = MakeFilter(d.Kind(), d.Values());
  return Bytes(ComputePreview(*filter, source, never).get());
}

bool PreviewShows(TFilterDialogForm& form, const std::vector<uint8_t>& expected) {
  return QTest::qWaitFor([&] { return Bytes(form.Preview->PixelGraphicNoWait()) == expected; },
                         5000);
}

TEST(FilterDialogs, ABurstOfBarMovesGivesOnePreviewComputation) {
  auto image = Noise(300, 200, 9);
  TYCbCrFilterDialog d;
  WhenModal([&](QWidget& w) {
    TFilterDialogForm& form = FormOf(w);
    EXPECT_TRUE(PreviewShows(form, ExpectedPreview(d, *image))) << "first preview";
    const int before = d.PreviewComputations();
    EXPECT_EQ(before, 1);
    form.Bars[0]->setFocus();
    for (int i = 0; i < 15; ++i) QTest::keyClick(form.Bars[0], Qt::Key_Right);
    QTest::keyClick(form.Bars[2], Qt::Key_PageDown);
    EXPECT_EQ(d.PreviewComputations(), before) << "nothing starts before 100 ms have passed";
    EXPECT_TRUE(PreviewShows(form, ExpectedPreview(d, *image)));
    QTest::qWait(150);
    EXPECT_EQ(d.PreviewComputations(), before + 1);
    Click(w, "OK");
  });
  EXPECT_TRUE(d.Execute(*image));
  EXPECT_EQ(d.Red(), 15);
}

TEST(FilterDialogs, PreviewSizeFollowsTheImage) {
  struct Case {
    int w, h, pw, ph;
  };
  const Case cases[] = {{60, 40, 60, 40},
                        {140, 140, 140, 140},
                        {300, 150, 140, 70},
                        {100, 350, 40, 140},
                        {1000, 3, 140, 1}};
  for (const Case& c : cases) {
    auto image = Noise(c.w, c.h, 21);
    TNegativeFilterDialog d;
    WhenModal([&](QWidget& w) {
      TFilterDialogForm& form = FormOf(w);
      EXPECT_TRUE(PreviewShows(form, ExpectedPreview(d, *image))) << c.w << "x" << c.h;
      const TPixelGraphic* shown = form.Preview->PixelGraphicNoWait();
      ASSERT_NE(shown, nullptr);
      EXPECT_EQ(shown->Width(), c.pw);
      EXPECT_EQ(shown->Height(), c.ph);
      Click(w, "OK");
    });
    EXPECT_TRUE(d.Execute(*image));
  }
}

TEST(FilterDialogs, ClosingWhilePreviewsAreComputedWaitsForThem) {
  auto image = Noise(900, 700, 4);
  THSVFilterDialog d;
  for (int round = 0; round < 3; ++round) {
    WhenModal([&](QWidget& w) {
      TFilterDialogForm& form = FormOf(w);
      QTest::keyClick(form.Bars[0], Qt::Key_PageUp);
      QTest::qWait(round * 60);  // closes before, around and after the first computation
      Click(w, "OK");
    });
    EXPECT_TRUE(d.Execute(*image));
  }
  EXPECT_EQ(d.H(), 30);
}

}  // namespace
}  // namespace pgraphic
