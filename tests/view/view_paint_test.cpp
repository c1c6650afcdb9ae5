// What the view draws and how it builds, replaces and hands out images: display
// copies per mode and screen depth, the progress clocks, tiles, the selection
// outline, the worker thread under quick replacement, files and ownership.
#include <QTemporaryDir>

#include "pgraphic/formats/fileformat.h"
#include "view_fixture.h"

namespace pgraphic::viewtest {
namespace {

std::unique_ptr<TPixelGraphic> Solid(int w, int h, TRGB colour) {
  auto g = std::make_unique<TPixelGraphic>();
  g->SetSize(w, h, pf24Bit);
  g->SetBackGroundColor(colour);
  g->Clear();
  return g;
}

QRgb Q(TRGB c) {
  return qRgb(int(GetR(c)), int(GetG(c)), int(GetB(c)));
}

TEST_F(ViewTest, DisplayCopyOnlyForSmoothingModes) {
  Make(300, 300);
  view->SetStretch(sAlwaysKAR);
  Show(Gradient(400, 200));
  Grab();
  QCoreApplication::processEvents();
  EXPECT_EQ(view->PaintPixelGraphic(), nullptr) << "smFast draws the image itself";
  for (TStretchMode mode : {smMedium, smPrecise}) {
    view->SetStretchMode(mode);
    ASSERT_TRUE(WaitForCopy()) << int(mode);
    const TPixelGraphic& copy = *view->PaintPixelGraphic();
    EXPECT_EQ(copy.Width(), 300);
    EXPECT_EQ(copy.Height(), 150);
    EXPECT_EQ(copy.PixelFormat(), pf24Bit);
    const QImage shot = Grab();
    for (QPoint p : {QPoint(0, 0), QPoint(299, 149), QPoint(150, 70)})
      EXPECT_EQ(shot.pixel(p), Drawn(copy, p.x(), p.y())) << int(mode);
  }
  // Back at the image's own size no copy is needed.
  view->SetStretch(sNeverKAR);
  Grab();
  EXPECT_EQ(view->PaintPixelGraphic(), nullptr);
}

TEST_F(ViewTest, ClocksWhileTheCopyIsBuilt) {
  Make(300, 300);
  view->SetStretch(sAlwaysKAR);
  view->SetStretchMode(smPrecise);
  const QColor face(1, 2, 3), line(4, 5, 6), child(7, 8, 9), frame(10, 11, 12);
  view->SetProgressClockBkColor(face);
  view->SetProgressClockLineColor(line);
  view->SetPicBoxColor(child);
  view->SetPicBoxFrameColor(frame);
  for (bool visible : {true, false}) {
    view->SetProgressClockVisible(visible);
    Show(Gradient(1200, 1200));
    // The copy arrives by a posted event, so this first picture is drawn without it.
    const QImage shot = Grab();
    const QRect c = view->DisplayRect();  // 300 x 300: five clocks
    EXPECT_EQ(shot.pixelColor(c.topLeft()), frame);
    EXPECT_EQ(shot.pixelColor(c.bottomRight()), frame);
    EXPECT_EQ(shot.pixelColor(c.left() + 30, c.top() + 2), child);
    const QPoint clocks[] = {{c.left() + 142, c.top() + 142},
                             {c.left() + 5, c.top() + 5},
                             {c.right() + 1 - 20, c.top() + 5},
                             {c.left() + 5, c.bottom() + 1 - 20},
                             {c.right() + 1 - 20, c.bottom() + 1 - 20}};
    for (QPoint o : clocks) {
      EXPECT_EQ(shot.pixelColor(o + QPoint(3, 7)), visible ? face : child) << o.x() << "," << o.y();
      EXPECT_EQ(shot.pixelColor(o + QPoint(7, 3)), visible ? line : child) << "hand at 12 o'clock";
      EXPECT_EQ(shot.pixelColor(o + QPoint(0, 7)), visible ? line : child) << "outline";
    }
    ASSERT_TRUE(WaitForCopy());
  }
}

TEST_F(ViewTest, TilesMirrorOnTheScreen) {
  Make(40, 30);
  auto image = Gradient(4, 3);
  const TPixelGraphic& g = *image;
  Show(std::move(image));
  struct Case {
    TTiling tiling;
    bool flipH;
    QPoint at, source;
  };
  const Case cases[] = {
      {tRepeat, false, {5, 4}, {1, 1}},          {tMirror, false, {4, 0}, {3, 0}},
      {tMirror, false, {0, 3}, {0, 2}},          {tMirror, false, {9, 7}, {1, 1}},
      {tMirrorVertical, true, {1, 3}, {2, 2}},   {tNone, true, {0, 0}, {3, 0}},
      {tMirrorHorizontal, true, {5, 1}, {1, 1}},
  };
  for (const Case& c : cases) {
    view->SetTiling(c.tiling);
    view->SetFlipHorizontal(c.flipH);
    EXPECT_EQ(Grab().pixel(c.at), Drawn(g, c.source.x(), c.source.y()))
        << int(c.tiling) << " at " << c.at.x() << "," << c.at.y();
  }
  view->SetTiling(tNone);
  EXPECT_EQ(Grab().pixel(10, 10),
            view->viewport()->palette().color(view->viewport()->backgroundRole()).rgb());
}

TEST_F(ViewTest, SelectionOutlineAndHandles) {
  Make(200, 200);
  Show(Solid(100, 100, RGB(0, 0, 0)));
  const QColor one(0, 255, 0), two(0, 0, 255);
  view->SetSelectionColor1(one);
  view->SetSelectionColor2(two);
  view->SetSelection(true);
  view->SetSelectionRect(30, 30, 20, 20);
  for (TActionMode mode : {amMoveResizeCreateSelection, amMoveImage}) {
    view->SetActionMode(mode);
    const QImage shot = Grab();
    int seen[2] = {0, 0};
    for (int i = 29; i <= 50; ++i)
      for (QPoint p : {QPoint(i, 29), QPoint(i, 50), QPoint(29, i), QPoint(50, i)}) {
        const QColor c = shot.pixelColor(p);
        ASSERT_TRUE(c == one || c == two) << p.x() << "," << p.y();
        ++seen[c == two];
      }
    EXPECT_GT(seen[0], 10);
    EXPECT_GT(seen[1], 10);
    EXPECT_EQ(shot.pixelColor(30, 30), QColor(0, 0, 0)) << "inside stays the image";
    const QColor handleCorner = shot.pixelColor(22, 22);  // top-left handle (22..26)
    if (mode == amMoveResizeCreateSelection)
      EXPECT_TRUE(handleCorner == one || handleCorner == two);
    else
      EXPECT_EQ(handleCorner, QColor(0, 0, 0));
  }
  // The outline walks: over 8 phases the pattern changes.
  const QImage before = Grab();
  QTest::qWait(120);
  EXPECT_NE(Grab(), before);
}

TEST_F(ViewTest, PaletteScreensGetReducedCopies) {
  Make(200, 200);
  struct Case {
    int depth;
    TPGPixelFormat image;
    bool reduce;
    TPGPixelFormat copy;
  };
  const Case cases[] = {{4, pf24Bit, false, pf4Bit},
                        {8, pf24Bit, false, pf8Bit},
                        {8, pf4Bit, false, pf8Bit},
                        {8, pf24Bit, true, pf8Bit}};
  for (const Case& c : cases) {
    view->SetScreenDepth(c.depth);
    view->SetReduceOnLoad(c.reduce);
    Show(Gradient(60, 50, c.image));
    if (c.reduce) {
      QElapsedTimer t;
      t.start();
      while (view->PixelGraphicNoWait()->PixelFormat() == c.image && t.elapsed() < 10000) {
        view->viewport()->repaint();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      }
      EXPECT_EQ(view->PixelGraphic()->PixelFormat(), c.copy) << "the copy replaced the image";
      EXPECT_EQ(view->PaintPixelGraphic(), nullptr);
      continue;
    }
    ASSERT_TRUE(WaitForCopy()) << c.depth;
    const TPixelGraphic& copy = *view->PaintPixelGraphic();
    EXPECT_EQ(copy.PixelFormat(), c.copy) << c.depth;
    EXPECT_EQ(copy.Width(), 60);
    if (c.depth == 4) {
      EXPECT_EQ(copy.PaletteIdent(), pSys16);
    }
    const QImage shot = Grab();
    for (QPoint p : {QPoint(0, 0), QPoint(59, 49), QPoint(31, 17)})
      EXPECT_EQ(shot.pixel(p), Drawn(copy, p.x(), p.y())) << c.depth;
  }
}

TEST_F(ViewTest, ReducedSmoothCopyBecomesTheShownPicture) {
  Make(300, 300);
  view->SetStretch(sAlwaysKAR);
  view->SetStretchMode(smMedium);
  view->SetReduceOnLoad(true);
  Show(Solid(600, 300, RGB(30, 60, 90)));
  QElapsedTimer t;
  t.start();
  while (view->PixelGraphicNoWait()->Width() == 600 && t.elapsed() < 10000) {
    view->viewport()->repaint();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  EXPECT_EQ(view->PixelGraphic()->Width(), 300);
  EXPECT_EQ(view->PixelGraphic()->Height(), 150);
  EXPECT_EQ(Grab().pixel(100, 100), qRgb(30, 60, 90)) << "drawn, not waiting for another copy";
  EXPECT_EQ(view->PaintPixelGraphic(), nullptr);
}

TEST_F(ViewTest, EightBitImageKeepsItsColoursThroughAnOptimisedPalette) {
  Make(200, 200);
  view->SetScreenDepth(8);
  auto image = std::make_unique<TPixelGraphic>();
  image->SetSize(40, 30, pf8Bit);
  image->SetPaletteCount(256);
  for (int i = 0; i < 256; ++i) image->SetPaletteColor(i, RGB(i, (i * 7) & 255, 255 - i));
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) image->SetPixel(x, y, 5 * ((x + y) % 50));  // 50 colours in use
  const TPixelGraphic& g = *image;
  Show(std::move(image));
  ASSERT_TRUE(WaitForCopy());
  const TPixelGraphic& copy = *view->PaintPixelGraphic();
  ASSERT_EQ(copy.PixelFormat(), pf8Bit);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x)
      ASSERT_EQ(copy.PixelColor(x, y), g.PixelColor(x, y)) << x << "," << y;
}

TEST_F(ViewTest, QuickReplacementsEndWithTheLastPicture) {
  Make(300, 300);
  view->SetStretch(sAlwaysKAR);
  view->SetStretchMode(smPrecise);
  TRGB last = 0;
  for (int i = 0; i < 100; ++i) {
    last = RGB(i, 255 - i, (i * 3) & 255);
    Show(Solid(640, 480, last));
    if (i % 3 == 0) view->viewport()->repaint();  // start a build now and then
    if (i % 7 == 0) QCoreApplication::processEvents();
  }
  ASSERT_TRUE(WaitForCopy());
  // Let any copy that was already posted arrive; stale ones must be dropped.
  QTest::qWait(50);
  EXPECT_EQ(view->PaintPixelGraphic()->PixelColor(10, 10), last);
  EXPECT_EQ(Grab().pixel(150, 100), Q(last));
}

TEST_F(ViewTest, KeptCopyStaysUntilTheNewOneArrives) {
  Make(300, 300);
  view->SetStretch(sAlwaysKAR);
  view->SetStretchMode(smMedium);
  view->SetKeepOldPaintPixelGraphic(true);
  Show(Solid(600, 600, RGB(200, 0, 0)));
  ASSERT_TRUE(WaitForCopy());
  Show(Solid(600, 600, RGB(0, 200, 0)));
  ASSERT_NE(view->PaintPixelGraphic(), nullptr);
  EXPECT_EQ(Grab().pixel(100, 100), qRgb(200, 0, 0)) << "old copy while the new one is built";
  QElapsedTimer t;
  t.start();
  while (view->PaintPixelGraphic()->PixelColor(0, 0) != RGB(0, 200, 0) && t.elapsed() < 10000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  EXPECT_EQ(Grab().pixel(100, 100), qRgb(0, 200, 0));
}

TEST_F(ViewTest, WithoutThreadTheCopyIsBuiltDuringThePaint) {
  Make(300, 300);
  view->SetUseThread(false);
  view->SetStretch(sAlwaysKAR);
  view->SetStretchMode(smMedium);
  Show(Gradient(600, 300));
  Grab();
  ASSERT_NE(view->PaintPixelGraphic(), nullptr);
  EXPECT_EQ(view->PaintPixelGraphic()->Width(), 300);
}

TEST_F(ViewTest, OwnedImageProtocol) {
  Make(200, 200);
  int changes = 0;
  view->OnPixelGraphicChange = [&](TPGImage&) { ++changes; };
  Show(Gradient(50, 40));
  EXPECT_EQ(changes, 1);
  // A change of the shown image relays out.
  view->PixelGraphic()->SetSize(70, 20, pf24Bit);
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(view->DisplayRect().size(), QSize(70, 20));

  auto copy = view->PixelGraphicCopy();
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->Width(), 70);
  EXPECT_NE(copy.get(), view->PixelGraphic());

  auto released = view->ReleasePixelGraphic();
  EXPECT_EQ(view->PixelGraphic(), nullptr);
  EXPECT_EQ(view->DisplayRect().size(), QSize(0, 0));
  const int before = changes;
  released->Changed();  // no longer tied to the view
  EXPECT_EQ(changes, before);
}

TEST_F(ViewTest, NoCopyIsBuiltWhileAnOperationChangesTheImage) {
  Make(300, 300);
  view->SetStretch(sAlwaysKAR);
  view->SetStretchMode(smMedium);
  Show(Gradient(600, 600));
  ASSERT_TRUE(WaitForCopy());
  auto other = Gradient(500, 500);
  view->SetStretchMode(smPrecise);  // a rebuild is due
  int reports = 0, building = 0;
  view->OnPixelGraphicProgress = [&](TPixelGraphic&, int, int, bool&) {
    ++reports;
    view->viewport()->repaint();  // the window repaints during the operation
    building += view->PaintThreadRunning();
  };
  view->PixelGraphic()->CopyFrom(*other);
  EXPECT_GT(reports, 10);
  EXPECT_EQ(building, 0);
  view->OnPixelGraphicProgress = nullptr;
  ASSERT_TRUE(WaitForCopy()) << "built once the operation is over";
}

TEST_F(ViewTest, AutoSizeTakesTheImageSize) {
  Make(100, 100);
  view->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  QSize announced;
  view->OnNewAutoSize = [&](TPGImage&, int w, int h) { announced = QSize(w, h); };
  view->SetAutoSize(true);
  Show(Gradient(150, 60));
  const int border = 2 * view->frameWidth();
  EXPECT_EQ(announced, QSize(150 + border, 60 + border));
  EXPECT_EQ(view->size(), announced);
  view->SetAutoSizeMaxWidth(120);
  Show(Gradient(150, 60));  // too wide: a horizontal bar below, bounded width
  EXPECT_EQ(view->width(), 120);
  EXPECT_GT(view->height(), 60 + border);
}

class ViewFileTest : public ViewTest {
 protected:
  void SetUp() override {
    PGraphicStartup();
    ASSERT_TRUE(dir.isValid());
  }
  std::string Path(const char* name) { return dir.filePath(name).toStdString(); }
  QTemporaryDir dir;
};

TEST_F(ViewFileTest, LoadAndSaveByName) {
  Make(200, 200);
  try {
    view->SaveToFile(Path("none.bmp"));
    FAIL() << "saving nothing";
  } catch (const EPGEmpty& e) {
    EXPECT_STREQ(e.what(), "PixelGraphic is empty");
  }
  Show(Gradient(30, 20));
  view->SaveToFile(Path("a.bmp"));
  EXPECT_EQ(view->FileName(), Path("a.bmp"));

  int changes = 0, progressStarts = 0, progressEnds = 0;
  view->OnPixelGraphicChange = [&](TPGImage&) { ++changes; };
  view->OnPixelGraphicProgressStart = [&](TPixelGraphic&) { ++progressStarts; };
  view->OnPixelGraphicProgressEnd = [&](TPixelGraphic&) { ++progressEnds; };
  view->SetFileName(Path("a.bmp"));
  EXPECT_GE(progressStarts, 1) << "the loading image reports through the view";
  EXPECT_EQ(progressEnds, progressStarts);
  ASSERT_NE(view->PixelGraphic(), nullptr);
  EXPECT_EQ(view->PixelGraphic()->Width(), 30);
  EXPECT_EQ(view->FileName(), Path("a.bmp"));
  EXPECT_EQ(changes, 1);

  for (const char* bad : {"missing.bmp", "a.unknownext"}) {
    EXPECT_THROW(view->SetFileName(Path(bad)), std::exception) << bad;
    EXPECT_EQ(view->PixelGraphic(), nullptr) << "reset to no image";
    EXPECT_EQ(view->FileName(), "");
  }
  EXPECT_EQ(changes, 3);
  view->SetFileName(Path("a.bmp"));
  view->SetFileName(dir.path().toStdString() + "/");  // no file part: just cleared
  EXPECT_EQ(view->PixelGraphic(), nullptr);
}

}  // namespace
}  // namespace pgraphic::viewtest

namespace pgraphic::viewtest {
namespace {

TEST_F(ViewTest, CopyTooLargeToAllocateShowsTheImageStretched) {
  Make(300, 300);
  view->SetStretch(sZoomKAR);
  view->SetZoomFactor(2);
  view->SetStretchMode(smMedium);
  auto image = Gradient(40, 30);
  const TPixelGraphic& g = *image;
  const int64_t limit = PGMaxImageSize;
  PGMaxImageSize = 40 * 4 * 30;  // the image fits, a copy twice its size does not
  Show(std::move(image));
  const QImage shot = Grab();
  PGMaxImageSize = limit;
  EXPECT_EQ(view->PaintPixelGraphic(), nullptr);
  for (QPoint p : {QPoint(0, 0), QPoint(79, 59), QPoint(33, 21)})
    EXPECT_EQ(shot.pixel(p), Drawn(g, p.x() / 2, p.y() / 2)) << p.x() << "," << p.y();
}

// At two device pixels per logical one, 100 % puts an image pixel on a device
// pixel, a drag selects in image pixels, Shrink to Fit still fills the view.
TEST_F(ViewTest, HighDpiShowsImagePixelsOnDevicePixels) {
  if (qApp->devicePixelRatio() < 2) GTEST_SKIP() << "run by ctest view_high_dpi at scale 2";
  Make(100, 80);
  Show(Gradient(60, 50));
  view->SetCenter(true);
  view->SetStretch(sZoomKAR);
  view->SetZoomFactor(1);
  ASSERT_EQ(Box()->size(), QSize(30, 25));
  const QImage shot = Grab();
  for (int y : {0, 1, 49})
    for (int x : {0, 1, 59})
      EXPECT_EQ(shot.pixel(Box()->pos() * 2 + QPoint(x, y)), qRgb(x, y, 7)) << x << "," << y;
  view->SetActionMode(amCreateSelection);
  Drag({10, 10}, {20, 15});
  EXPECT_EQ(QRect(view->SelectionLeft(), view->SelectionTop(), view->SelectionWidth(),
                  view->SelectionHeight()),
            QRect(20, 20, 21, 11));
  view->SetStretch(sAlwaysKAR);
  EXPECT_EQ(Box()->size(), QSize(96, 80));
}

}  // namespace
}  // namespace pgraphic::viewtest
