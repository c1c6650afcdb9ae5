// A held arrow key shows the JPEG files it passes from reduced decodes and ends
// on the very pixels a paced walk shows; a command meanwhile acts on the file
// reached, opened first. Over other formats it opens what the read-ahead read.
#include "app/quickbrowse.h"

#include <QKeyEvent>

#include "app/preload.h"
#include "app_fixture.h"
#include "io/files.h"
#include "support/same_pixels.h"

namespace apptest {
namespace {

class QuickBrowseTest : public AppTest {
 protected:
  void Key(QEvent::Type type, bool autoRepeat) {
    QKeyEvent event(type, Qt::Key_Down, Qt::NoModifier, QString(), autoRepeat);
    QApplication::sendEvent(window->PTSList1, &event);
  }
  // JPEG files of 1600 x 1200 shown fitted to the view, so that their stand-ins
  // are smaller than they are.
  void WriteFittedJPEGs(std::initializer_list<const char*> names) {
    for (const char* name : names) WriteImage(Image(name), 1600, 1200);
    WriteText(IniPath(), QByteArray("[Path]\nOpen=") + images.toUtf8() + "\n[Zoom]\nValue=0\n");
  }
  // The display copy once it is built, as a picture of its own.
  std::unique_ptr<pgraphic::TPixelGraphic> Copy() {
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->PGImage1->PaintThreadRunning(); }, 10000));
    QCoreApplication::processEvents();
    auto copy = std::make_unique<pgraphic::TPixelGraphic>();
    if (const auto* shown = window->PGImage1->PaintPixelGraphic()) copy->Assign(*shown);
    return copy;
  }
};

TEST_F(QuickBrowseTest, HeldKeyEndsOnThePixelsOfAPacedWalk) {
  WriteFittedJPEGs({"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"});
  auto& paced = Start({"a.jpg"});
  for (int i = 0; i < 4; ++i) paced.RunHandler(&app::TForm1::SB17Click);
  const auto pacedCopy = Copy();
  ASSERT_GT(pacedCopy->Width(), 0);

  for (const bool command : {false, true}) {
    SCOPED_TRACE(command ? "a command meanwhile" : "released");
    auto& w = Start({"a.jpg"});
    w.PTSList1->setFocus();
    Key(QEvent::KeyPress, false);
    for (int i = 0; i < 3; ++i) {
      Key(QEvent::KeyRelease, true);
      Key(QEvent::KeyPress, true);
    }
    Key(QEvent::KeyRelease, true);
    EXPECT_TRUE(w.QuickBrowsing());
    EXPECT_NE(w.Shown.FileName, Image("e.jpg"));  // not opened while the key is held
    if (command) {
      w.RunHandler(&app::TForm1::GrowtoFit1Click);
      EXPECT_EQ(w.Shown.FileName, Image("e.jpg"));
      w.RunHandler(&app::TForm1::ShrinktoFit1Click);
    } else {
      ASSERT_TRUE(QTest::qWaitFor([&] { return w.QuickBrowser().StandInsShown() > 0; }, 5000));
      Key(QEvent::KeyRelease, false);
      ASSERT_TRUE(QTest::qWaitFor([&] { return !w.QuickBrowsing(); }, 5000));
    }
    ASSERT_EQ(w.Shown.FileName, Image("e.jpg"));
    EXPECT_FALSE(w.PGImage1->ShowingStandIn());
    EXPECT_TRUE(korvane_test::SamePixels(*w.PGImage1->Graphic(),
                                         *io::OpenImage(Image("e.jpg").toStdString())));
    EXPECT_TRUE(korvane_test::SamePixels(*Copy(), *pacedCopy));
  }
}

TEST_F(QuickBrowseTest, TurningBackShowsTheFilesPassedAgain) {
  WriteFittedJPEGs({"a.jpg", "b.jpg", "c.jpg", "d.jpg"});
  auto& w = Start({"a.jpg"});
  app::TQuickBrowse quick(*w.PTSList1, *w.PGImage1);
  std::vector<QString> shown;
  quick.Ready = [&](std::unique_ptr<app::TStandIn> standIn) { shown.push_back(standIn->Path); };
  const int a = w.PTSList1->IndexOfPath(Image("a.jpg"));
  for (const int step : {1, 2, 3, 2, 1}) {
    quick.Step(a + step);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !shown.empty() && shown.back() == w.PTSList1->ItemPath(a + step); }, 5000))
        << step;
  }
}

TEST_F(QuickBrowseTest, HeldKeyOverOtherFormatsShowsWhatTheReadAheadRead) {
  for (const char* name : {"a.bmp", "b.bmp", "c.bmp", "d.bmp"}) WriteImage(Image(name), 64, 48);
  auto& w = Start({"a.bmp"});
  w.PTSList1->setFocus();
  Key(QEvent::KeyPress, false);
  Key(QEvent::KeyRelease, true);
  Key(QEvent::KeyPress, true);  // the first repeat: on c.bmp
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.Shown.FileName == Image("c.bmp"); }, 5000));
  EXPECT_TRUE(w.Shown.Loaded);
  const int reads = w.Preloader()->ReadsStarted();
  Key(QEvent::KeyRelease, false);
  EXPECT_EQ(w.Shown.FileName, Image("c.bmp"));
  EXPECT_EQ(w.Preloader()->ReadsStarted(), reads);  // not read again on release
}

}  // namespace
}  // namespace apptest
