// The shuffled and blocked paths of the quarter turns, half turns and mirrors
// against plain per-pixel loops, on sizes around their block and vector widths.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "pgraphic/image/geometry.h"
#include "pgraphic/image/pixelgraphic.h"

namespace pgraphic {
namespace {

std::unique_ptr<TPixelGraphic> Random(int w, int h, TPGPixelFormat format, unsigned seed) {
  auto g = std::make_unique<TPixelGraphic>();
  g->SetSize(w, h, format);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = g->ScanLine(y);
    for (int i = 0; i < g->RowStride(); ++i) row[i] = static_cast<uint8_t>(rng());
  }
  return g;
}

// The 3 bytes of pixel (x, y) of a 24-bit image.
uint32_t Raw24(const TPixelGraphic& g, int x, int y) {
  const uint8_t* p = g.ScanLine(y) + 3 * x;
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
}

const std::vector<std::pair<int, int>> kSizes = {
    {1, 1},    {1, 9},    {9, 1},     {3, 2},     {2, 3},    {17, 5},  {5, 17},
    {16, 4},   {4, 16},   {64, 64},   {65, 64},   {64, 65},  {65, 65}, {31, 48},
    {100, 37}, {33, 300}, {530, 300}, {300, 530}, {257, 513}};

TEST(TurnPaths, QuarterAndHalfTurnsMatchThePixelPermutation) {
  for (auto [w, h] : kSizes) {
    auto src = Random(w, h, pf24Bit, static_cast<unsigned>(w * 1000 + h));
    for (bool watched : {false, true}) {
      auto turn = [&](TTurn t) {
        const bool half = t == TTurn::Half;
        auto dest = NewImageLike(*src, half ? w : h, half ? h : w, pf24Bit);
        int steps = 0;
        if (watched) dest->OnProgress = [&](TPixelGraphic&, int, int, bool&) { ++steps; };
        const int cw = w / 2, ch = h / 2;
        if (t == TTurn::Right90)
          dest->Rotate(h / 2 - (h % 2 == 0 ? 1 : 0), cw, *src, 0, 0, w, h, cw, ch, 90);
        else if (t == TTurn::Left90)
          dest->Rotate(h / 2, w / 2 - (w % 2 == 0 ? 1 : 0), *src, 0, 0, w, h, cw, ch, -90);
        else
          dest->Rotate(w / 2 - (w % 2 == 0 ? 1 : 0), h / 2 - (h % 2 == 0 ? 1 : 0), *src, 0, 0, w, h,
                       cw, ch, 180);
        if (watched) {
          EXPECT_EQ(steps, dest->Height()) << "one step per row";
        }
        return dest;
      };
      auto right = turn(TTurn::Right90);
      auto left = turn(TTurn::Left90);
      auto half = turn(TTurn::Half);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const uint32_t c = Raw24(*src, x, y);
          ASSERT_EQ(Raw24(*right, h - 1 - y, x), c) << w << "x" << h << " right " << watched;
          ASSERT_EQ(Raw24(*left, y, w - 1 - x), c) << w << "x" << h << " left " << watched;
          ASSERT_EQ(Raw24(*half, w - 1 - x, h - 1 - y), c) << w << "x" << h << " half " << watched;
        }
    }
  }
}

TEST(TurnPaths, PartialRectanglesLeaveTheRestUntouched) {
  auto src = Random(300, 90, pf24Bit, 3);
  for (int angle : {90, -90}) {
    for (bool watched : {false, true}) {
      auto dest = Random(120, 280, pf24Bit, 4);
      TPixelGraphic before;
      before.Assign(*dest);
      if (watched) dest->OnProgress = [](TPixelGraphic&, int, int, bool&) {};
      // A 250 x 70 rectangle at (23, 11) turned about (140, 40) onto (60, 130).
      const int rl = 23, rt = 11, rr = 23 + 250 - 1, rb = 11 + 70 - 1;
      dest->Rotate(60, 130, *src, rl, rt, 250, 70, 140, 40, angle);
      const int s = angle > 0 ? 1 : -1;
      for (int y = 0; y < 280; ++y)
        for (int x = 0; x < 120; ++x) {
          const int sx = 140 + s * (y - 130), sy = 40 - s * (x - 60);
          const bool in = sx >= rl && sx <= rr && sy >= rt && sy <= rb;
          ASSERT_EQ(Raw24(*dest, x, y), in ? Raw24(*src, sx, sy) : Raw24(before, x, y))
              << angle << " " << watched << " at " << x << "," << y;
        }
    }
  }
}

TEST(TurnPaths, WatchedTurnStopsAfterTheReportedRowOfABand) {
  auto src = Random(200, 150, pf24Bit, 5);
  auto dest = NewImageLike(*src, 150, 200, pf24Bit);
  dest->OnProgress = [](TPixelGraphic&, int step, int, bool& abort) { abort = step == 70; };
  dest->Rotate(74, 100, *src, 0, 0, 200, 150, 100, 75, 90);
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 150; ++x)
      ASSERT_EQ(Raw24(*dest, x, y), y <= 70 ? Raw24(*src, y, 149 - x) : 0u) << x << "," << y;
}

TEST(MirrorPaths, HorizontalMirrorMatchesThePixelPermutation) {
  for (TPGPixelFormat format : {pf8Bit, pf24Bit}) {
    for (int w = 1; w <= 120; ++w) {
      auto g = Random(w, 3, format, static_cast<unsigned>(w));
      TPixelGraphic copy;
      copy.Assign(*g);
      g->MirrorHorizontal();
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < w; ++x) {
          const uint32_t mirrored =
              format == pf24Bit ? Raw24(copy, w - 1 - x, y) : copy.ScanLine(y)[w - 1 - x];
          const uint32_t got = format == pf24Bit ? Raw24(*g, x, y) : g->ScanLine(y)[x];
          ASSERT_EQ(got, mirrored) << "width " << w << " format " << format;
        }
    }
  }
}

}  // namespace
}  // namespace pgraphic
