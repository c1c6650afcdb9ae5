// The view's rules as plain functions: fit modes, scroll bars and centring, the
// display-copy decision and plan per screen depth, tile flips, selection geometry
// and the progress clocks.
#include "pgraphic/view/viewlayout.h"

#include <gtest/gtest.h>

namespace pgraphic {
namespace {

constexpr int kBar = 16;

struct StretchCase {
  TStretch stretch;
  TSize2 image, area;
  long double zoomFactor;
  TSize2 displayed;
  long double zoom;
};

TEST(StretchLayout, EveryFitMode) {
  const StretchCase cases[] = {
      {sNeverKAR, {400, 300}, {300, 300}, 1, {400, 300}, 1},
      {sAlways, {400, 300}, {300, 200}, 1, {300, 200}, -1},
      {sAlwaysKAR, {400, 200}, {300, 300}, 1, {300, 150}, 0.75L},
      {sAlwaysKAR, {200, 400}, {300, 300}, 1, {150, 300}, 0.75L},
      {sAlwaysKAR, {10, 10}, {300, 200}, 1, {200, 200}, 20},
      {sShrink, {400, 100}, {300, 300}, 1, {300, 100}, -1},
      {sShrink, {100, 100}, {300, 300}, 1, {100, 100}, 1},
      {sShrinkKAR, {200, 100}, {300, 300}, 1, {200, 100}, 1},
      {sShrinkKAR, {600, 300}, {300, 300}, 1, {300, 150}, 0.5L},
      {sEnlarge, {100, 50}, {300, 200}, 1, {300, 200}, -1},
      {sEnlarge, {100, 400}, {300, 200}, 1, {300 - kBar, 400}, -1},
      {sEnlarge, {400, 400}, {300, 200}, 1, {400, 400}, 1},
      {sEnlargeKAR, {100, 50}, {300, 300}, 1, {300, 150}, 3},
      {sEnlargeKAR, {400, 50}, {300, 300}, 1, {400, 50}, 1},
      // Longer edge: a tall image fills the width beside a vertical bar.
      {sAlwaysLongerEdgeKAR, {1000, 4000}, {800, 600}, 1, {784, 3136}, 0.784L},
      {sAlwaysLongerEdgeKAR, {4000, 1000}, {800, 600}, 1, {2336, 584}, 0.584L},
      {sAlwaysLongerEdgeKAR, {800, 590}, {800, 600}, 1, {800, 590}, 1},
      {sShrinkLongerEdgeKAR, {780, 1000}, {800, 600}, 1, {780, 1000}, 1},
      {sShrinkLongerEdgeKAR, {790, 1000}, {800, 600}, 1, {784, 992}, 784.0L / 790},
      {sShrinkLongerEdgeKAR, {900, 580}, {800, 600}, 1, {900, 580}, 1},             // one bar
      {sShrinkLongerEdgeKAR, {900, 590}, {800, 600}, 1, {890, 584}, 584.0L / 590},  // two bars
      {sEnlargeShrinkLongerEdgeKAR, {100, 50}, {300, 300}, 1, {300, 150}, 3},
      {sEnlargeShrinkLongerEdgeKAR, {780, 1000}, {800, 600}, 1, {780, 1000}, 1},
      {sEnlargeShrinkLongerEdgeKAR, {790, 1000}, {800, 600}, 1, {784, 992}, 784.0L / 790},
      {sEnlargeLongerEdgeKAR, {100, 400}, {300, 300}, 1, {284, 1136}, 2.84L},
      {sEnlargeLongerEdgeKAR, {400, 400}, {300, 300}, 1, {400, 400}, 1},
      {sZoomKAR, {400, 300}, {300, 300}, 0.25L, {100, 75}, 0.25L},
      {sZoomKAR, {400, 300}, {300, 300}, 0, {400, 300}, 1},
      {sZoomKAR, {3, 5}, {300, 300}, 1.5L, {4, 8}, 1.5L},  // 4.5 and 7.5 to even
      {sAlwaysKAR, {20, 20000}, {300, 300}, 1, {1, 300}, 0.015L},
      {sShrinkKAR, {20000, 20}, {300, 300}, 1, {300, 1}, 0.015L},
      // Nothing to fit: the image size, zoom 1.
      {sAlways, {0, 0}, {300, 300}, 1, {0, 0}, 1},
      {sAlwaysKAR, {40, 30}, {0, 300}, 1, {40, 30}, 1},
  };
  for (const StretchCase& c : cases) {
    const TStretchLayout l = StretchLayout({c.image, c.area, kBar, kBar, c.stretch, c.zoomFactor});
    EXPECT_EQ(l.Displayed, c.displayed)
        << "mode " << int(c.stretch) << " image " << c.image.Width << "x" << c.image.Height
        << " -> " << l.Displayed.Width << "x" << l.Displayed.Height;
    EXPECT_NEAR(double(l.Zoom), double(c.zoom), 1e-9) << "mode " << int(c.stretch);
  }
}

TEST(StretchLayout, ScrollBarsAndCentring) {
  struct Case {
    TSize2 displayed, area;
    bool h, v;
    TPoint2 offset;
  };
  const Case cases[] = {
      {{300, 150}, {300, 300}, false, false, {0, 75}},
      {{295, 295}, {300, 300}, false, false, {2, 2}},
      {{400, 100}, {300, 300}, true, false, {0, 92}},
      {{100, 400}, {300, 300}, false, true, {92, 0}},
      // The horizontal bar makes the height overflow too.
      {{310, 290}, {300, 300}, true, true, {0, 0}},
      // ...and a vertical bar the width.
      {{290, 310}, {300, 300}, true, true, {0, 0}},
  };
  for (const Case& c : cases) {
    const TScrollBars bars = ScrollBarsFor(c.displayed, c.area, kBar, kBar);
    EXPECT_EQ(bars.Horizontal, c.h) << c.displayed.Width << "x" << c.displayed.Height;
    EXPECT_EQ(bars.Vertical, c.v) << c.displayed.Width << "x" << c.displayed.Height;
    EXPECT_EQ(CenterOffset(c.displayed, c.area, kBar, kBar), c.offset) << c.displayed.Width;
  }
}

TEST(Coordinates, ScaleTruncatesAndGuardsZero) {
  EXPECT_EQ(ScaleCoordinate(10, 100, 200), 5);  // twice-size display: x 10 -> image 5
  EXPECT_EQ(ScaleCoordinate(5, 200, 100), 10);
  EXPECT_EQ(ScaleCoordinate(7, 3, 4), 5);    // 21 div 4
  EXPECT_EQ(ScaleCoordinate(-3, 1, 2), -1);  // toward zero
  EXPECT_EQ(ScaleCoordinate(10, 100, 0), 0);
  EXPECT_EQ(ScaleCoordinate(60000, 60000, 20000), 180000);  // no 32-bit overflow
}

TEST(ScreenDepth, EnvironmentForcesOnlyKnownDepths) {
  const std::pair<const char*, int> cases[] = {{nullptr, 24}, {"", 24},   {"8", 8},   {"4", 4},
                                               {"1", 1},      {"24", 24}, {"16", 24}, {"8x", 24}};
  for (auto [value, depth] : cases)
    EXPECT_EQ(ScreenDepthFrom(value), depth) << (value ? value : "null");
}

TEST(DisplayCopy, DecisionPerScreenDepth) {
  struct Case {
    const char* what;
    int screen, bits;
    TPaletteIdent palette;
    TStretchMode mode;
    bool reduce;
    TSize2 displayed, builtFor;
    bool pending;
    TPaletteIdent pal8;
    bool needed, rebuild;
  };
  const TSize2 img{400, 300}, half{200, 150};
  const Case cases[] = {
      {"true colour, fast, same size",
       24,
       24,
       pTrueColor,
       smFast,
       false,
       img,
       {},
       false,
       pOptimized252Sys16,
       false,
       false},
      {"true colour, fast, zoomed",
       24,
       24,
       pTrueColor,
       smFast,
       false,
       half,
       {},
       false,
       pOptimized252Sys16,
       false,
       false},
      {"smoothing at another size", 24, 24, pTrueColor, smMedium, false, half, half, false,
       pOptimized252Sys16, true, false},
      {"smoothing, copy of an old size", 24, 24, pTrueColor, smPrecise, false, half, img, false,
       pOptimized252Sys16, true, true},
      {"smoothing at the image size", 24, 24, pTrueColor, smMedium, false, img, img, false,
       pOptimized252Sys16, false, false},
      {"smoothing, reduced on load", 24, 24, pTrueColor, smMedium, true, half, img, false,
       pOptimized252Sys16, true, false},
      {"pending rebuild", 24, 24, pTrueColor, smFast, false, img, img, true, pOptimized252Sys16,
       false, true},
      {"palette image on a true-colour screen",
       24,
       8,
       pGray256,
       smFast,
       false,
       img,
       {},
       false,
       pOptimized252Sys16,
       false,
       false},
      {"true colour on 8 bits",
       8,
       24,
       pTrueColor,
       smFast,
       false,
       img,
       {},
       false,
       pOptimized252Sys16,
       true,
       false},
      {"8-bit image, optimised screen palette",
       8,
       8,
       pGray256,
       smFast,
       false,
       img,
       {},
       false,
       pOptimized252Sys16,
       true,
       false},
      {"8-bit image, source palette",
       8,
       8,
       pGray256,
       smFast,
       false,
       img,
       {},
       false,
       pSource,
       false,
       false},
      {"8-bit image, same fixed palette",
       8,
       8,
       pGray256,
       smFast,
       false,
       img,
       {},
       false,
       pGray256,
       false,
       false},
      {"8-bit image reduced, no rebuild",
       8,
       8,
       pGray256,
       smFast,
       true,
       img,
       {},
       false,
       pOptimized252Sys16,
       false,
       false},
      {"8-bit image reduced, rebuild",
       8,
       8,
       pGray256,
       smFast,
       true,
       img,
       {},
       true,
       pOptimized252Sys16,
       true,
       true},
      {"8-bit image on 4 bits",
       4,
       8,
       pSys16,
       smFast,
       false,
       img,
       {},
       false,
       pOptimized252Sys16,
       true,
       false},
      {"4-bit system colours on 4 bits",
       4,
       4,
       pSys16,
       smFast,
       false,
       img,
       {},
       false,
       pOptimized252Sys16,
       false,
       false},
      {"4-bit grays on 4 bits",
       4,
       4,
       pGray16,
       smFast,
       false,
       img,
       {},
       false,
       pOptimized252Sys16,
       true,
       false},
      {"4-bit grays on 4 bits reduced",
       4,
       4,
       pGray16,
       smFast,
       true,
       img,
       {},
       false,
       pOptimized252Sys16,
       false,
       false},
      {"black and white on 4 bits",
       4,
       1,
       pBlackWhite,
       smFast,
       false,
       img,
       {},
       false,
       pOptimized252Sys16,
       true,
       false},
  };
  for (const Case& c : cases) {
    TDisplayCopyInput in;
    in.ScreenDepth = c.screen;
    in.ImageBits = c.bits;
    in.ImagePalette = c.palette;
    in.StretchMode = c.mode;
    in.ReduceOnLoad = c.reduce;
    in.Image = img;
    in.Displayed = c.displayed;
    in.CopyBuiltFor = c.builtFor;
    in.RebuildPending = c.pending;
    in.Palette8BitSys8BitGraphic = c.pal8;
    const TDisplayCopyDecision d = DecideDisplayCopy(in);
    EXPECT_EQ(d.Needed, c.needed) << c.what;
    EXPECT_EQ(d.Rebuild, c.rebuild) << c.what;
  }
}

TEST(DisplayCopy, PlanPerScreenDepth) {
  struct Case {
    const char* what;
    int screen;
    bool trueColor, allow24, sizeDiffers;
    TStretchMode mode;
    TPaletteIdent pal24, pal8;
    TPGPixelFormat format;
    TPaletteIdent palette;
    bool assign, optimize, resample;
    int steps;
  };
  const Case cases[] = {
      {"true-colour screen", 24, true, false, true, smMedium, pOptimized252Sys16,
       pOptimized252Sys16, pf24Bit, pNone, false, false, false, 1},
      {"4-bit screen", 4, true, false, false, smFast, pOptimized252Sys16, pOptimized252Sys16,
       pf4Bit, pSys16, false, false, false, 1},
      {"1-bit screen", 1, false, false, false, smFast, pOptimized252Sys16, pOptimized252Sys16,
       pf4Bit, pSys16, false, false, false, 1},
      {"8 bits, fixed palette", 8, true, false, false, smFast, pSpecial216, pOptimized252Sys16,
       pf8Bit, pSpecial216, false, false, false, 1},
      {"8 bits, optimised", 8, true, false, false, smFast, pOptimized252Sys16, pSource, pf8Bit,
       pNone, false, true, false, 2},
      {"8 bits, resampled then optimised", 8, true, true, true, smMedium, pOptimized252Sys16,
       pSource, pf8Bit, pNone, false, true, true, 3},
      {"no resampling without smoothing", 8, true, true, true, smFast, pOptimized252Sys16, pSource,
       pf8Bit, pNone, false, true, false, 2},
      {"no resampling for a fixed palette", 8, true, true, true, smMedium, pSpecial252, pSource,
       pf8Bit, pSpecial252, false, false, false, 1},
      {"palette source, own palette", 8, false, false, false, smFast, pOptimized252Sys16, pSource,
       pf8Bit, pNone, true, false, false, 1},
      {"palette source, fixed palette", 8, false, false, false, smFast, pOptimized252Sys16,
       pGray256, pf8Bit, pGray256, false, false, false, 1},
      {"palette source, optimised", 8, false, false, false, smFast, pSpecial125, pOptimized252Sys16,
       pf8Bit, pNone, false, true, false, 2},
  };
  for (const Case& c : cases) {
    TDisplayCopyPlanInput in;
    in.ScreenDepth = c.screen;
    in.TrueColorSource = c.trueColor;
    in.StretchMode = c.mode;
    in.SizeDiffers = c.sizeDiffers;
    in.Allow24BitStretch = c.allow24;
    in.Palette8BitSys24BitGraphic = c.pal24;
    in.Palette8BitSys8BitGraphic = c.pal8;
    const TDisplayCopyPlan p = PlanDisplayCopy(in);
    EXPECT_EQ(p.Format, c.format) << c.what;
    EXPECT_EQ(p.Palette, c.palette) << c.what;
    EXPECT_EQ(p.AssignSourcePalette, c.assign) << c.what;
    EXPECT_EQ(p.OptimizePalette, c.optimize) << c.what;
    EXPECT_EQ(p.ResampleFirst, c.resample) << c.what;
    EXPECT_EQ(p.Steps, c.steps) << c.what;
  }
}

TEST(Tiles, FlipsAlternateOnlyOnMirroredAxes) {
  // Columns -1, 0, 1, 2 as flipped (1) or not (0).
  struct Case {
    TTiling tiling;
    bool flip;
    const char* horizontal;
    const char* vertical;
  };
  const Case cases[] = {
      {tNone, false, "0000", "0000"},           {tRepeat, false, "0000", "0000"},
      {tRepeat, true, "1111", "1111"},          {tMirrorHorizontal, false, "1010", "0000"},
      {tMirrorVertical, false, "0000", "1010"}, {tMirror, false, "1010", "1010"},
      {tMirror, true, "0101", "0101"},
  };
  for (const Case& c : cases) {
    std::string h, v;
    for (int i = -1; i <= 2; ++i) {
      h += TileFlippedHorizontally(i, c.tiling, c.flip) ? '1' : '0';
      v += TileFlippedVertically(i, c.tiling, c.flip) ? '1' : '0';
    }
    EXPECT_EQ(h, c.horizontal) << int(c.tiling) << c.flip;
    EXPECT_EQ(v, c.vertical) << int(c.tiling) << c.flip;
  }
}

TEST(Selection, HandleSquaresAndHits) {
  const TPGRect d{20, 30, 60, 50};  // mid point (40, 40)
  const auto handles = SelectionHandles(d);
  EXPECT_EQ(handles[0], (TPGRect{12, 22, 17, 27}));
  EXPECT_EQ(handles[1], (TPGRect{38, 22, 43, 27}));
  EXPECT_EQ(handles[4], (TPGRect{63, 38, 68, 43}));
  EXPECT_EQ(handles[7], (TPGRect{63, 53, 68, 58}));
  const std::tuple<int, int, TDragState> hits[] = {
      {12, 22, dsTopLeft},    {16, 26, dsTopLeft}, {17, 26, dsIdle},        {40, 24, dsTop},
      {65, 24, dsTopRight},   {14, 40, dsLeft},    {63, 42, dsRight},       {63, 43, dsIdle},
      {14, 55, dsBottomLeft}, {38, 53, dsBottom},  {67, 57, dsBottomRight}, {40, 40, dsIdle}};
  for (auto [x, y, state] : hits) EXPECT_EQ(HandleAt(d, x, y), state) << x << "," << y;
}

TEST(Selection, CreateResizeAndMove) {
  EXPECT_EQ(SpanSelection({10, 10}, {4, 20}), (TSelectionRect{4, 10, 7, 11}));
  EXPECT_EQ(SpanSelection({3, 3}, {3, 3}), (TSelectionRect{3, 3, 1, 1}));

  const TSelectionRect r{10, 10, 5, 5};
  struct Case {
    TDragState handle;
    TPoint2 press, to;
    TSelectionRect result;
  };
  const Case cases[] = {
      {dsRight, {16, 12}, {20, 12}, {10, 10, 9, 5}},
      {dsRight, {16, 12}, {3, 12}, {10, 10, 1, 5}},  // past the left edge: width 1
      {dsLeft, {8, 12}, {30, 12}, {14, 10, 1, 5}},   // past the right edge
      {dsLeft, {8, 12}, {6, 12}, {8, 10, 7, 5}},
      {dsTop, {12, 8}, {12, 5}, {10, 7, 5, 8}},
      {dsBottom, {12, 16}, {12, 0}, {10, 10, 5, 1}},
      {dsTopLeft, {8, 8}, {9, 7}, {11, 9, 4, 6}},
      {dsBottomRight, {16, 16}, {18, 19}, {10, 10, 7, 8}},
  };
  for (const Case& c : cases) {
    const TPoint2 offset = HandleOffset(c.handle, r, c.press);
    EXPECT_EQ(ResizeSelection(c.handle, r, c.to, offset), c.result) << int(c.handle);
  }

  // A moved selection keeps one column and one row on the image.
  const TSelectionRect s{0, 0, 10, 10};
  const TSize2 image{50, 40};
  EXPECT_EQ(MoveSelection(s, {500, 500}, {0, 0}, image), (TSelectionRect{49, 39, 10, 10}));
  EXPECT_EQ(MoveSelection(s, {-500, -500}, {0, 0}, image), (TSelectionRect{-9, -9, 10, 10}));
  EXPECT_EQ(MoveSelection(s, {20, 15}, {3, 4}, image), (TSelectionRect{17, 11, 10, 10}));
}

TEST(Selection, OutlineBrushesAreShiftedDiagonalStripes) {
  for (int k = 0; k < 8; ++k) {
    int second = 0;
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        second += OutlineSecondColor(x, y, k);
        // Constant along anti-diagonals, and brush k + 1 is brush k moved one pixel.
        EXPECT_EQ(OutlineSecondColor(x, y, k), OutlineSecondColor((x + 1) % 8, (y + 7) % 8, k));
        EXPECT_EQ(OutlineSecondColor(x, y, (k + 1) % 8), OutlineSecondColor((x + 7) % 8, y, k));
      }
    EXPECT_EQ(second, 32) << "half of each brush";
  }
  EXPECT_FALSE(OutlineSecondColor(0, 0, 0));
  EXPECT_TRUE(OutlineSecondColor(4, 0, 0));
}

TEST(Clocks, PositionsAndHands) {
  int n = 0;
  auto at = ClockPositions({0, 0, 101, 101}, true, n);
  ASSERT_EQ(n, 5);
  const TPoint2 five[] = {{43, 43}, {5, 5}, {81, 5}, {5, 81}, {81, 81}};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(at[size_t(i)], five[i]) << i;
  ClockPositions({0, 0, 101, 101}, false, n);
  EXPECT_EQ(n, 1);
  ClockPositions({10, 10, 110, 110}, true, n);  // 100 x 100: no corner clocks
  EXPECT_EQ(n, 1);
  at = ClockPositions({10, 10, 31, 31}, true, n);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(at[0], (TPoint2{13, 13}));
  ClockPositions({0, 0, 20, 200}, true, n);
  EXPECT_EQ(n, 0);

  struct Case {
    int step, percent;
    TPoint2 longEnd, shortEnd;
  };
  // Centre (7, 7) for a clock at the origin.
  const Case cases[] = {{1, 0, {7, 0}, {7, 1}},
                        {1, 25, {14, 7}, {8, 1}},
                        {1, 50, {7, 14}, {9, 1}},
                        {4, 0, {7, 0}, {13, 7}},
                        {2, 75, {0, 7}, {12, 3}}};
  for (const Case& c : cases) {
    const TClockHands h = ClockHands({0, 0}, c.step, c.percent);
    EXPECT_EQ(h.Center, (TPoint2{7, 7}));
    EXPECT_EQ(h.Long, c.longEnd) << c.step << " " << c.percent;
    EXPECT_EQ(h.Short, c.shortEnd) << c.step << " " << c.percent;
  }
}

}  // namespace
}  // namespace pgraphic
