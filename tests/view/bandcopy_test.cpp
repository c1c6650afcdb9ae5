// Banded resampling gives exactly the bytes of one CopyFrom, and stops when asked.
#include "pgraphic/view/bandcopy.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/random_image.h"

namespace pgraphic {
namespace {

std::unique_ptr<TPixelGraphic> Noise(int w, int h, TPGPixelFormat format) {
  return test_support::NoiseOfFormat(w, h, format, static_cast<unsigned>(w * 7 + h));
}

TEST(BandedCopy, SameBytesAsOneCopy) {
  struct Case {
    int sw, sh, dw, dh;
    TPGPixelFormat format;
  };
  const Case cases[] = {{640, 480, 300, 200, pf24Bit},
                        {300, 500, 700, 900, pf24Bit},
                        {513, 257, 200, 130, pf8Bit},
                        {128, 1000, 128, 333, pf24Bit},
                        {90, 90, 45, 300, pf4Bit}};
  for (const Case& c : cases) {
    auto source = Noise(c.sw, c.sh, c.format);
    for (TStretchMode mode : {smFast, smMedium, smPrecise}) {
      TPixelGraphic whole, banded;
      for (TPixelGraphic* g : {&whole, &banded}) {
        g->SetStretchMode(mode);
        g->SetSize(c.dw, c.dh, pf24Bit);
      }
      whole.CopyFrom(*source);
      ASSERT_TRUE(BandedCopyFrom(banded, *source, 4, nullptr));
      for (int y = 0; y < c.dh; ++y)
        ASSERT_EQ(std::memcmp(whole.ScanLine(y), banded.ScanLine(y), 3 * size_t(c.dw)), 0)
            << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh << " mode " << int(mode)
            << " row " << y;
    }
  }
}

TEST(BandedCopy, StopsWhenAborted) {
  auto source = Noise(800, 800, pf24Bit);
  TPixelGraphic dest;
  dest.SetStretchMode(smPrecise);
  dest.SetSize(300, 300, pf24Bit);
  int reports = 0;
  dest.OnProgress = [&](TPixelGraphic&, int, int, bool& abort) { abort = ++reports > 3; };
  EXPECT_FALSE(BandedCopyFrom(dest, *source, 4, nullptr));
  EXPECT_LT(reports, 40);
  dest.OnProgress = nullptr;
  EXPECT_FALSE(BandedCopyFrom(dest, *source, 4, [] { return true; }));
}

}  // namespace
}  // namespace pgraphic
