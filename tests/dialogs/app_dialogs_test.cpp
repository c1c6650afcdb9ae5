// The compression-quality dialog TForm3 and the image-size dialog TForm7.
#include <QCheckBox>
#include <QSlider>
#include <QSpinBox>

#include "app/imsize.h"
#include "app/quality.h"
#include "codec/vqn.h"
#include "dialogs_fixture.h"

namespace {

using dialogs_test::Click;
using dialogs_test::WhenModal;

// Keys pressed on the track bar, then how the dialog is left.
struct QualityCase {
  const char* name;
  std::vector<int> keys;
  const char* button;  // nullptr: Escape
  int position;        // expected track-bar position
  bool accepted;
};

TEST(QualityDialog, TrackBarKeysAndButtons) {
  app::TForm3 form;
  EXPECT_EQ(form.windowTitle(), "Compression quality");
  EXPECT_EQ(form.TrBar1->value(), 60);
  const QualityCase cases[] = {
      {"initial", {}, "Compress", 60, true},
      {"arrow moves a line", {Qt::Key_Right}, "Compress", 70, true},
      {"page moves one", {Qt::Key_PageDown, Qt::Key_PageDown}, "Compress", 68, true},
      {"to the high end", {Qt::Key_End}, "Compress", 120, true},
      {"cancel keeps the position", {Qt::Key_Home}, "Cancel", 0, false},
      {"escape", {Qt::Key_Left}, nullptr, 0, false},
      {"low end", {}, "Compress", 0, true},
  };
  int start = 60;
  for (const QualityCase& c : cases) {
    WhenModal([&](QWidget& w) {
      EXPECT_EQ(form.TrBar1->value(), start) << c.name << ": the position is kept between uses";
      form.TrBar1->setFocus();
      for (int key : c.keys) QTest::keyClick(form.TrBar1, static_cast<Qt::Key>(key));
      if (c.button)
        Click(w, c.button);
      else
        QTest::keyClick(&w, Qt::Key_Escape);
    });
    const int16_t q = form.Execute();
    EXPECT_EQ(form.TrBar1->value(), c.position) << c.name;
    EXPECT_EQ(q, c.accepted ? codec::QualityFromPosition(c.position) : -1) << c.name;
    EXPECT_EQ(form.QualityValue(), q) << c.name;
    start = form.TrBar1->value();
  }
  WhenModal([](QWidget& w) { w.close(); });
  EXPECT_EQ(form.Execute(), -1) << "the close box cancels";
}

TEST(QualityDialog, InitialPositionGivesTheMiddleQuality) {
  app::TForm3 form;
  WhenModal([](QWidget& w) { QTest::keyClick(&w, Qt::Key_Return); });
  EXPECT_EQ(form.Execute(), 41) << "Return presses Compress; position 60 is quality 41";
}

// Typing into one side of the image-size dialog.
struct SizeCase {
  const char* name;
  int width, height;  // the image
  bool keepRatio;     // the box as left before typing
  bool typeWidth;     // which side is typed
  const char* typed;
  int expectWidth, expectHeight;
};

TEST(ImageSizeDialog, SidesFollowTheAspectRatio) {
  const SizeCase cases[] = {
      {"width 150 of 300 x 200", 300, 200, true, true, "150", 150, 100},
      {"height 101 rounds 151.5 to even", 300, 200, true, false, "101", 152, 101},
      {"height 3 of 5 x 2: 7.5 to even", 5, 2, true, false, "3", 8, 3},
      {"unchecked box does not couple", 300, 200, false, true, "77", 77, 200},
      {"no height, no ratio", 40, 0, true, true, "30", 30, 0},
  };
  app::TForm7 form;
  for (const SizeCase& c : cases) {
    WhenModal([&](QWidget& w) {
      EXPECT_TRUE(form.CBox1->isChecked()) << c.name << ": checked at every showing";
      EXPECT_EQ(form.SEdit1->value(), c.width) << c.name;
      EXPECT_EQ(form.SEdit2->value(), c.height) << c.name;
      if (!c.keepRatio) QTest::mouseClick(form.CBox1, Qt::LeftButton);
      QSpinBox* side = c.typeWidth ? form.SEdit1 : form.SEdit2;
      side->setFocus();
      side->selectAll();
      QTest::keyClicks(side, c.typed);
      Click(w, "OK");
    });
    EXPECT_TRUE(form.Execute(c.width, c.height)) << c.name;
    EXPECT_EQ(form.ResizeWidth(), c.expectWidth) << c.name;
    EXPECT_EQ(form.ResizeHeight(), c.expectHeight) << c.name;
  }
}

TEST(ImageSizeDialog, CancelEscapeAndCloseLeaveNoSize) {
  app::TForm7 form;
  EXPECT_EQ(form.windowTitle(), "Image size");
  const std::function<void(QWidget&)> ways[] = {
      [](QWidget& w) { Click(w, "Cancel"); },
      [](QWidget& w) { QTest::keyClick(&w, Qt::Key_Escape); },
      [](QWidget& w) { w.close(); },
  };
  for (const auto& leave : ways) {
    WhenModal([&](QWidget& w) {
      form.SEdit1->setFocus();
      form.SEdit1->selectAll();
      QTest::keyClicks(form.SEdit1, "20");
      leave(w);
    });
    EXPECT_FALSE(form.Execute(300, 200));
    EXPECT_EQ(form.ResizeWidth(), 0);
    EXPECT_EQ(form.ResizeHeight(), 0);
  }
}

}  // namespace
