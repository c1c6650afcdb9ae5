// The pixel image: storage layout, pixel and palette access, failures, events.
#include "pgraphic/image/pixelgraphic.h"

#include <gtest/gtest.h>

#include <limits>

#include "pgraphic/image/palettes.h"

namespace pgraphic {
namespace {

uint32_t LE32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

template <class E>
void ExpectRaises(const std::function<void()>& f, const std::string& message) {
  try {
    f();
    ADD_FAILURE() << "expected \"" << message << "\"";
  } catch (const E& e) {
    EXPECT_EQ(e.what(), message);
  }
}

TEST(PixelGraphicStorage, DefaultsAndRowLayout) {
  TPixelGraphic g;
  EXPECT_TRUE(g.Empty());
  EXPECT_EQ(g.PixelFormat(), pf24Bit);
  EXPECT_EQ(g.PaletteIdent(), pTrueColor);
  EXPECT_TRUE(g.Dither());
  EXPECT_EQ(g.DitherErrorLimit(), 32);
  EXPECT_EQ(g.StretchMode(), smPrecise);
  EXPECT_EQ(g.ScanLine(0), nullptr);

  g.SetSize(1, 1, pf1Bit);
  EXPECT_EQ(g.RowStride(), 4);
  EXPECT_EQ(g.ImageSize(), 4);
  g.SetSize(33, 2, pf1Bit);
  EXPECT_EQ(g.RowStride(), 8);
  g.SetSize(3, 5, pf24Bit);
  EXPECT_EQ(g.RowStride(), 12);
  EXPECT_EQ(g.ImageSize(), 60);
  g.SetSize(5, 3, pf4Bit);
  EXPECT_EQ(g.RowStride(), 4);

  // Rows are stored bottom-up: the top row is the last in memory.
  g.SetSize(2, 3, pf24Bit);
  EXPECT_EQ(g.ScanLine(0), g.Bits() + 2 * g.RowStride());
  EXPECT_EQ(g.ScanLine(2), g.Bits());
  g.SetPixel(1, 0, RGB(10, 20, 30));
  const uint8_t* p = g.ScanLine(0) + 3;
  EXPECT_EQ(p[0], 30);  // blue, green, red
  EXPECT_EQ(p[1], 20);
  EXPECT_EQ(p[2], 10);
}

TEST(PixelGraphicStorage, BitmapInfoHeaderAndColourTable) {
  TPixelGraphic g;
  g.SetSize(7, 5, pf4Bit);
  g.SetPaletteCount(3);
  g.SetPaletteColor(0, RGB(1, 2, 3));
  g.SetPaletteColor(2, RGB(200, 100, 50));
  const auto& bi = g.BitmapInfo();
  ASSERT_EQ(bi.size(), 40u + 16 * 4);
  EXPECT_EQ(LE32(bi, 0), 40u);
  EXPECT_EQ(LE32(bi, 4), 7u);
  EXPECT_EQ(LE32(bi, 8), 5u);
  EXPECT_EQ(bi[12], 1);
  EXPECT_EQ(bi[14], 4);
  EXPECT_EQ(LE32(bi, 20), uint32_t(g.ImageSize()));
  // Entry 2 as blue, green, red, 0; entries beyond the palette repeat entry 0.
  EXPECT_EQ(bi[40 + 8], 50);
  EXPECT_EQ(bi[40 + 9], 100);
  EXPECT_EQ(bi[40 + 10], 200);
  for (int i = 3; i < 16; ++i) {
    EXPECT_EQ(bi[40 + 4 * i], 3) << i;
    EXPECT_EQ(bi[40 + 4 * i + 2], 1) << i;
  }
}

TEST(PixelGraphicPixels, RawValuesPerFormatAndOutsideAccess) {
  TPixelGraphic g;
  g.SetSize(3, 2, pf4Bit);
  g.SetPixel(1, 0, 7);
  g.SetPixel(0, 0, 0x1F);  // stored mod 16 in the high nibble; pixel 1 untouched
  EXPECT_EQ(g.Pixel(0, 0), 0xFu);
  EXPECT_EQ(g.Pixel(1, 0), 7u);
  EXPECT_EQ(g.ScanLine(0)[0], 0xF7);

  g.SetSize(10, 1, pf1Bit);
  g.SetPixel(0, 0, 1);
  g.SetPixel(9, 0, 1);
  EXPECT_EQ(g.ScanLine(0)[0], 0x80);
  EXPECT_EQ(g.ScanLine(0)[1], 0x40);
  g.SetPixel(9, 0, 3);  // anything but 1 clears the bit
  EXPECT_EQ(g.Pixel(9, 0), 0u);

  g.SetSize(2, 2, pf8Bit);
  g.SetBackGroundColor(42);
  g.SetPixel(1, 1, 0x1FF);
  EXPECT_EQ(g.Pixel(1, 1), 0xFFu);
  EXPECT_EQ(g.Pixel(-1, 0), 42u);
  EXPECT_EQ(g.Pixel(2, 0), 42u);
  EXPECT_EQ(g.Pixel(0, 2), 42u);
  const std::vector<uint8_t> before(g.Bits(), g.Bits() + g.ImageSize());
  g.SetPixel(-1, 0, 9);
  g.SetPixel(0, -1, 9);
  g.SetPixel(2, 1, 9);
  EXPECT_EQ(std::vector<uint8_t>(g.Bits(), g.Bits() + g.ImageSize()), before);

  g.SetCheckRange(true);
  ExpectRaises<EPGXYIndexOutOfRange>([&] { g.Pixel(2, 0); }, "X, Y index out of range");
  ExpectRaises<EPGXYIndexOutOfRange>([&] { g.SetPixel(0, -1, 1); }, "X, Y index out of range");
}

TEST(PixelGraphicPixels, ColoursThroughThePalette) {
  TPixelGraphic g;
  g.SetSize(2, 1, pf8Bit);
  EXPECT_EQ(g.PaletteColor(5), 5u);  // no palette yet: indices are colours
  g.SetPaletteIdent(pGray256);
  g.SetPixelColor(0, 0, RGB(30, 30, 30));
  EXPECT_EQ(g.Pixel(0, 0), 30u);
  EXPECT_EQ(g.PixelColor(0, 0), RGB(30, 30, 30));
  g.SetBackGroundColorRGB(RGB(90, 90, 90));
  EXPECT_EQ(g.BackGroundColor(), 90u);
  EXPECT_EQ(g.BackGroundColorRGB(), RGB(90, 90, 90));
}

TEST(PixelGraphicFailures, MessagesOfTheFailureTable) {
  TPixelGraphic g;
  ExpectRaises<EPGInvalidSize>([&] { g.SetSize(-1, -1, pf8Bit); }, "Negative width");
  ExpectRaises<EPGInvalidSize>([&] { g.SetSize(1, -1, pf8Bit); }, "Negative height");
  ExpectRaises<EPGNoPalette>([&] { g.SetPaletteColor(0, 0); }, "No palette");  // pTrueColor
  g.SetSize(2, 2, pf8Bit);
  g.SetPaletteIdent(pNone);
  ExpectRaises<EPGNoPalette>([&] { g.SetPaletteColor(0, 0); }, "No palette");
  ExpectRaises<EPGNoPalette>([&] { g.NearestIndex(RGB(1, 2, 3)); }, "No palette");
  ExpectRaises<EPGNoPalette>([&] { g.SetPixelColor(0, 0, RGB(1, 2, 3)); }, "No palette");
  g.SetPaletteCount(4);
  ExpectRaises<EPGInvalidPaletteIndex>([&] { g.SetPaletteColor(4, 0); }, "Invalid palette index");
  ExpectRaises<EPGInvalidPaletteIndex>([&] { g.SetPaletteColor(-1, 0); }, "Invalid palette index");
  ExpectRaises<EPGInvalidPaletteIndex>([&] { g.PaletteColor(4); }, "Invalid palette index");
}

// Sizes whose storage the signed 32-bit ImageSize cannot describe are refused
// cleanly, computed without overflow, and leave an empty image that can be sized
// again.
TEST(PixelGraphicFailures, OversizedStorageIsRefusedCleanly) {
  TPixelGraphic g;
  g.SetSize(4, 4, pf8Bit);
  g.SetPaletteIdent(pGray256);
  struct Case {
    int w, h;
    TPGPixelFormat f;
  };
  for (Case c : {Case{70000, 70000, pf24Bit}, Case{std::numeric_limits<int>::max(), 1, pf24Bit},
                 Case{std::numeric_limits<int>::max(), std::numeric_limits<int>::max(), pf1Bit},
                 Case{1, std::numeric_limits<int>::max(), pf8Bit}, Case{65536, 32768, pf8Bit}}) {
    int changes = 0;
    g.OnChange = [&](TPixelGraphic&) { ++changes; };
    ExpectRaises<EPixelGraphic>([&] { g.SetSize(c.w, c.h, c.f); }, "CreateDIBSection failed");
    EXPECT_TRUE(g.Empty());
    EXPECT_EQ(g.ImageSize(), 0);
    EXPECT_EQ(g.ScanLine(0), nullptr);
    EXPECT_TRUE(g.BitmapInfo().empty());
    g.SetBackGroundColor(7);
    EXPECT_EQ(g.Pixel(0, 0), 7u);
    EXPECT_EQ(g.Pixel(c.w - 1, c.h - 1), 7u);
    g.SetPixel(0, 0, 1);  // must not touch missing storage
    g.Clear();
    g.OnChange = nullptr;
  }
  g.SetSize(3, 3, pf8Bit);
  EXPECT_FALSE(g.Empty());
  EXPECT_EQ(g.ImageSize(), 12);

  // The configurable limit is honoured the same way.
  {
    TPGSettingScope limit(PGMaxImageSize, 1000);
    ExpectRaises<EPixelGraphic>([&] { g.SetSize(100, 100, pf24Bit); }, "CreateDIBSection failed");
    EXPECT_TRUE(g.Empty());
    g.SetSize(10, 10, pf24Bit);  // 320 bytes fit
  }
  EXPECT_EQ(g.ImageSize(), 320);
}

TEST(PixelGraphicSize, ResizingKeepsPaletteWithinCapacityAndClearsOnSameSize) {
  TPixelGraphic g;
  g.SetSize(4, 2, pf8Bit);
  g.SetPaletteIdent(pGray256);
  g.SetSize(4, 2, pf4Bit);
  EXPECT_EQ(g.PaletteCount(), 16);
  EXPECT_EQ(g.PaletteColor(15), RGB(15, 15, 15));
  EXPECT_EQ(g.PaletteIdent(), pUnknown);
  g.SetSize(4, 2, pf24Bit);
  EXPECT_EQ(g.PaletteCount(), 0);
  EXPECT_EQ(g.PaletteIdent(), pTrueColor);

  // Same size and format: a clear to the background instead of a new allocation.
  g.SetPixel(0, 0, RGB(1, 2, 3));
  const uint8_t* bits = g.Bits();
  g.SetBackGroundColor(RGB(9, 8, 7));
  g.SetSize(4, 2, pf24Bit);
  EXPECT_EQ(g.Bits(), bits);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(g.Pixel(x, y), RGB(9, 8, 7));

  g.SetSize(5, 3, pf4Bit);
  g.SetBackGroundColor(0xA);
  g.Clear();
  for (int x = 0; x < 5; ++x) EXPECT_EQ(g.Pixel(x, 2), 0xAu);
  EXPECT_EQ(g.ScanLine(0)[3], 0) << "padding stays untouched";

  int changes = 0;
  g.OnChange = [&](TPixelGraphic&) { ++changes; };
  g.SetSize(0, 5, pf8Bit);
  EXPECT_TRUE(g.Empty());
  EXPECT_EQ(changes, 1);
}

TEST(PixelGraphicEvents, ChangeNotificationNests) {
  TPixelGraphic g;
  int changes = 0;
  g.OnChange = [&](TPixelGraphic& sender) {
    EXPECT_EQ(&sender, &g);
    ++changes;
  };
  g.BeginUpdate();
  g.BeginUpdate();
  g.SetSize(2, 2, pf24Bit);
  g.Changed();
  g.EndUpdate();
  EXPECT_EQ(changes, 0);
  g.EndUpdate();
  EXPECT_EQ(changes, 1);

  TPixelGraphic source;
  source.SetSize(3, 3, pf8Bit);
  source.SetPaletteIdent(pGray256);
  changes = 0;
  g.Assign(source);  // many inner changes, one notification
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(g.UpdateCount(), 0);
}

TEST(PixelGraphicPalette, PaletteChangesFollowTheKind) {
  TPixelGraphic g;
  g.SetSize(2, 2, pf8Bit);
  g.SetPaletteCount(3);
  EXPECT_EQ(g.PaletteIdent(), pUnknown);
  EXPECT_EQ(g.PaletteColor(2), 0u);  // new entries are black
  g.SetPaletteColor(1, RGB(5, 5, 5));
  g.SetPaletteCount(5);
  EXPECT_EQ(g.PaletteColor(1), RGB(5, 5, 5));
  g.SetPaletteCount(0);
  EXPECT_EQ(g.PaletteIdent(), pNone);
  g.SetPaletteIdent(pGray16);
  EXPECT_EQ(g.PaletteIdent(), pGray16);
  g.SetPaletteColor(3, RGB(1, 2, 3));
  EXPECT_EQ(g.PaletteIdent(), pUnknown);

  TPixelGraphic copy;
  copy.AssignPalette(g);
  EXPECT_EQ(copy.PaletteCount(), 16);
  EXPECT_EQ(copy.PaletteColor(3), RGB(1, 2, 3));
  g.SetPaletteColor(3, RGB(51, 51, 51));
  copy.AssignPalette(g);
  EXPECT_EQ(copy.PaletteIdent(), pGray16);
}

TEST(PixelGraphicAssign, CopiesPixelsPaletteAndSettingsButNotEvents) {
  TPixelGraphic source;
  source.SetSize(5, 3, pf8Bit);
  source.SetPaletteIdent(pGray256);
  source.SetPixel(4, 2, 200);
  source.SetDither(false);
  source.SetDitherErrorLimit(7);
  source.SetStretchMode(smFast);
  source.SetRGBWeighting(false);
  source.SetGamma(2.2L);
  source.SetBackGroundColor(3);
  bool sourceFired = false;
  source.OnChange = [&](TPixelGraphic&) { sourceFired = true; };

  TPixelGraphic g;
  g.Assign(source);
  EXPECT_EQ(g.Width(), 5);
  EXPECT_EQ(g.PixelFormat(), pf8Bit);
  EXPECT_EQ(g.Pixel(4, 2), 200u);
  EXPECT_EQ(g.PaletteIdent(), pGray256);
  EXPECT_EQ(g.PaletteCount(), 256);
  EXPECT_TRUE(g.IsGray());
  EXPECT_FALSE(g.Dither());
  EXPECT_EQ(g.DitherErrorLimit(), 7);
  EXPECT_EQ(g.StretchMode(), smFast);
  EXPECT_FALSE(g.RGBWeighting());
  EXPECT_EQ(g.Gamma(), 2.2L);
  EXPECT_EQ(g.BackGroundColor(), 3u);
  EXPECT_FALSE(g.OnChange);
  sourceFired = false;
  g.SetPixel(0, 0, 1);
  g.Changed();
  EXPECT_FALSE(sourceFired);

  g.Assign(nullptr);
  EXPECT_TRUE(g.Empty());
  EXPECT_EQ(g.PixelFormat(), pf24Bit);
  EXPECT_EQ(g.Width(), 0);
}

}  // namespace
}  // namespace pgraphic
