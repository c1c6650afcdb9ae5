// Display copies built away from the view: a copy built for the view's settings
// is shown at once and is the very copy the view builds itself; one built for
// other settings is dropped and the view builds its own.
#include "support/same_pixels.h"
#include "view_fixture.h"

namespace pgraphic::viewtest {
namespace {

// Each case shows the image once to get the copy the view builds itself, then
// again with a copy built for the view's settings, or for settings changed so.
TEST_F(ViewTest, PrebuiltCopyIsTakenOnlyForTheViewsSettings) {
  using TChange = std::function<void(TDisplaySettings&)>;
  const struct {
    const char* name;
    TStretch stretch;
    TStretchMode mode;
    int screenDepth;
    TPGPixelFormat format;
    TChange change;
  } cases[] = {
      {"shrunk, medium", sAlwaysKAR, smMedium, 24, pf24Bit, {}},
      {"shrunk, precise", sAlwaysKAR, smPrecise, 24, pf24Bit, {}},
      {"stretched, 8-bit screen", sAlways, smMedium, 8, pf24Bit, {}},
      {"palette image, 4-bit screen", sNeverKAR, smFast, 4, pf8Bit, {}},
      {"other size", sAlwaysKAR, smMedium, 24, pf24Bit,
       [](TDisplaySettings& s) { s.Available.Width += 40; }},
      {"other zoom mode", sAlwaysKAR, smMedium, 24, pf24Bit,
       [](TDisplaySettings& s) { s.StretchMode = smPrecise; }},
      {"other fit", sAlwaysKAR, smMedium, 24, pf24Bit,
       [](TDisplaySettings& s) { s.Stretch = sAlways; }},
  };
  Make(220, 160);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    view->SetStretch(c.stretch);
    view->SetStretchMode(c.mode);
    view->SetScreenDepth(c.screenDepth);
    Show(Gradient(500, 300, c.format));
    ASSERT_TRUE(WaitForCopy());
    const auto own = std::make_unique<TPixelGraphic>();
    own->Assign(*view->PaintPixelGraphic());

    auto image = Gradient(500, 300, c.format);
    TDisplaySettings settings = view->DisplaySettings();
    if (c.change) c.change(settings);
    TPrebuiltCopy prebuilt = BuildDisplayCopy(*image, settings);
    ASSERT_NE(prebuilt.Copy, nullptr);
    const TPixelGraphic* handed = prebuilt.Copy.get();
    view->SetPixelGraphic(std::move(image), std::move(prebuilt));
    if (c.change) {
      EXPECT_NE(view->PaintPixelGraphic(), handed);
      ASSERT_TRUE(WaitForCopy());
    } else {
      EXPECT_EQ(view->PaintPixelGraphic(), handed) << "shown without a build";
      EXPECT_FALSE(view->PaintThreadRunning());
    }
    EXPECT_EQ(view->PaintPixelGraphic()->PixelFormat(), own->PixelFormat());
    EXPECT_TRUE(korvane_test::SamePixels(*view->PaintPixelGraphic(), *own));
  }
}

TEST_F(ViewTest, NoPrebuiltCopyWhenNoneIsNeededOrTheBuildIsAborted) {
  Make(220, 160);
  view->SetStretch(sNeverKAR);
  EXPECT_EQ(BuildDisplayCopy(*Gradient(100, 80), view->DisplaySettings()).Copy, nullptr);
  view->SetStretch(sAlwaysKAR);
  const std::atomic<bool> aborted{true};
  EXPECT_EQ(BuildDisplayCopy(*Gradient(500, 300), view->DisplaySettings(), &aborted).Copy, nullptr);
}

}  // namespace
}  // namespace pgraphic::viewtest
