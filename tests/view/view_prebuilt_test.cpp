// Display copies built away from the view: a copy built for the view's settings
// is shown at once and is the very copy the view builds itself; one built for
// other settings is dropped and the view builds its own.
#include "view_fixture.h"

namespace pgraphic::viewtest {
namespace {

// Whether two images hold the same format, palette and pixel rows.
bool SamePixels(const TPixelGraphic& a, const TPixelGraphic& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat() ||
      a.PaletteCount() != b.PaletteCount())
    return false;
  for (int i = 0; i < a.PaletteCount(); ++i)
    if (a.PaletteColor(i) != b.PaletteColor(i)) return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.Pixel(x, y) != b.Pixel(x, y)) return false;
  return true;
}

struct Case {
  const char* name;
  TStretch stretch;
  TStretchMode mode;
  int screenDepth;
  TPGPixelFormat format;
};

const Case kCases[] = {
    {"shrunk, medium", sAlwaysKAR, smMedium, 24, pf24Bit},
    {"shrunk, precise", sAlwaysKAR, smPrecise, 24, pf24Bit},
    {"stretched, 8-bit screen", sAlways, smMedium, 8, pf24Bit},
    {"palette image, 4-bit screen", sNeverKAR, smFast, 4, pf8Bit},
};

TEST_F(ViewTest, PrebuiltCopyIsTheCopyTheViewBuilds) {
  Make(220, 160);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    view->SetStretch(c.stretch);
    view->SetStretchMode(c.mode);
    view->SetScreenDepth(c.screenDepth);
    Show(Gradient(500, 300, c.format));
    ASSERT_TRUE(WaitForCopy());
    auto own = std::make_unique<TPixelGraphic>();
    own->Assign(*view->PaintPixelGraphic());

    auto image = Gradient(500, 300, c.format);
    TPrebuiltCopy prebuilt = BuildDisplayCopy(*image, view->DisplaySettings());
    ASSERT_NE(prebuilt.Copy, nullptr);
    const TPixelGraphic* handed = prebuilt.Copy.get();
    view->SetPixelGraphic(std::move(image), std::move(prebuilt));
    EXPECT_EQ(view->PaintPixelGraphic(), handed) << "shown without a build";
    EXPECT_FALSE(view->PaintThreadRunning());
    EXPECT_TRUE(SamePixels(*handed, *own));
  }
}

TEST_F(ViewTest, PrebuiltCopyForOtherSettingsIsRebuilt) {
  Make(220, 160);
  view->SetStretch(sAlwaysKAR);
  view->SetStretchMode(smMedium);
  const TDisplaySettings now = view->DisplaySettings();
  const struct {
    const char* name;
    std::function<void(TDisplaySettings&)> change;
  } others[] = {
      {"other size", [](TDisplaySettings& s) { s.Available.Width += 40; }},
      {"other zoom mode", [](TDisplaySettings& s) { s.StretchMode = smPrecise; }},
      {"other fit", [](TDisplaySettings& s) { s.Stretch = sAlways; }},
  };
  for (const auto& other : others) {
    SCOPED_TRACE(other.name);
    TDisplaySettings settings = now;
    other.change(settings);
    auto image = Gradient(500, 300);
    TPrebuiltCopy prebuilt = BuildDisplayCopy(*image, settings);
    ASSERT_NE(prebuilt.Copy, nullptr);
    const TPixelGraphic* handed = prebuilt.Copy.get();
    view->SetPixelGraphic(std::move(image), std::move(prebuilt));
    EXPECT_NE(view->PaintPixelGraphic(), handed);
    ASSERT_TRUE(WaitForCopy());
    EXPECT_EQ(view->PaintPixelGraphic()->Width(), 220);
  }
  // An image the view draws itself needs no copy, and an aborted build gives none.
  view->SetStretch(sNeverKAR);
  EXPECT_EQ(BuildDisplayCopy(*Gradient(100, 80), view->DisplaySettings()).Copy, nullptr);
  view->SetStretch(sAlwaysKAR);
  const std::atomic<bool> aborted{true};
  EXPECT_EQ(BuildDisplayCopy(*Gradient(500, 300), view->DisplaySettings(), &aborted).Copy, nullptr);
}

}  // namespace
}  // namespace pgraphic::viewtest
