#include "pgraphic/view/viewlayout.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace pgraphic {

namespace {

// Fit inside the available area keeping the aspect ratio.
TStretchLayout FitKeepingAspect(TSize2 image, TSize2 area) {
  TStretchLayout out;
  const long double ratio = static_cast<long double>(image.Width) / image.Height;
  const long double areaRatio = static_cast<long double>(area.Width) / area.Height;
  if (ratio <= areaRatio) {
    out.Displayed.Height = area.Height;
    out.Displayed.Width = static_cast<int>(std::trunc(area.Height * ratio));
    out.Zoom = static_cast<long double>(out.Displayed.Height) / image.Height;
  } else {
    out.Displayed.Width = area.Width;
    out.Displayed.Height = static_cast<int>(std::trunc(area.Width / ratio));
    out.Zoom = static_cast<long double>(out.Displayed.Width) / image.Width;
  }
  return out;
}

// Fill so that at most one scroll bar is needed.
TStretchLayout FitLongerEdge(const TStretchInput& in) {
  const TSize2 I = in.Image, A = in.Available;
  TStretchLayout out = FitKeepingAspect(I, A);
  if (out.Displayed.Width >= A.Width - in.VScrollWidth &&
      out.Displayed.Height >= A.Height - in.HScrollHeight)
    return out;
  const long double ratio = static_cast<long double>(I.Width) / I.Height;
  const long double areaRatio = static_cast<long double>(A.Width) / A.Height;
  if (ratio < areaRatio) {
    out.Displayed.Width = std::max(A.Width - in.VScrollWidth, 1);
    out.Displayed.Height = static_cast<int>(std::trunc(out.Displayed.Width / ratio));
    out.Zoom = static_cast<long double>(out.Displayed.Width) / I.Width;
  } else {
    out.Displayed.Height = std::max(A.Height - in.HScrollHeight, 1);
    out.Displayed.Width = static_cast<int>(std::trunc(out.Displayed.Height * ratio));
    out.Zoom = static_cast<long double>(out.Displayed.Height) / I.Height;
  }
  return out;
}

// The image can be shown at its own size with at most one scroll bar.
bool FitsWithOneScrollBar(const TStretchInput& in) {
  const TSize2 I = in.Image, A = in.Available;
  return (I.Width <= A.Width || I.Height <= A.Height - in.HScrollHeight) &&
         (I.Width <= A.Width - in.VScrollWidth || I.Height <= A.Height);
}

TStretchLayout Unscaled(TSize2 image) {
  return {image, 1.0L};
}

}  // namespace

namespace {

TStretchLayout FitLayout(const TStretchInput& in) {
  const TSize2 I = in.Image, A = in.Available;
  if (I.Width <= 0 || I.Height <= 0 || A.Width <= 0 || A.Height <= 0) return Unscaled(I);
  const bool smallerBoth = I.Width < A.Width && I.Height < A.Height;
  switch (in.Stretch) {
    case sNeverKAR:
      return Unscaled(I);
    case sAlways:
      return {A, -1.0L};
    case sAlwaysKAR:
      return FitKeepingAspect(I, A);
    case sShrink: {
      const TSize2 d{std::min(I.Width, A.Width), std::min(I.Height, A.Height)};
      return {d, d == I ? 1.0L : -1.0L};
    }
    case sShrinkKAR:
      return I.Width <= A.Width && I.Height <= A.Height ? Unscaled(I) : FitKeepingAspect(I, A);
    case sEnlarge: {
      // Each axis fills the space left beside a scroll bar the other axis needs.
      const int spaceW = A.Width - (I.Height > A.Height ? in.VScrollWidth : 0);
      const int spaceH = A.Height - (I.Width > A.Width ? in.HScrollHeight : 0);
      const TSize2 d{std::max(I.Width, spaceW), std::max(I.Height, spaceH)};
      return {d, d == I ? 1.0L : -1.0L};
    }
    case sEnlargeKAR:
      return smallerBoth ? FitKeepingAspect(I, A) : Unscaled(I);
    case sAlwaysLongerEdgeKAR:
      return FitLongerEdge(in);
    case sShrinkLongerEdgeKAR:
      return FitsWithOneScrollBar(in) ? Unscaled(I) : FitLongerEdge(in);
    case sEnlargeShrinkLongerEdgeKAR:
      if (smallerBoth) return FitKeepingAspect(I, A);
      return FitsWithOneScrollBar(in) ? Unscaled(I) : FitLongerEdge(in);
    case sEnlargeLongerEdgeKAR:
      return I.Width < A.Width || I.Height < A.Height ? FitLongerEdge(in) : Unscaled(I);
    case sZoomKAR:
      if (in.ZoomFactor > 0) {
        const long double w = std::nearbyint(I.Width * in.ZoomFactor);
        const long double h = std::nearbyint(I.Height * in.ZoomFactor);
        // Keep at least one pixel and stay inside the int range for absurd factors.
        const long double limit = 1 << 30;
        return {{static_cast<int>(std::clamp(w, 1.0L, limit)),
                 static_cast<int>(std::clamp(h, 1.0L, limit))},
                in.ZoomFactor};
      }
      return Unscaled(I);
  }
  return Unscaled(I);
}

}  // namespace

TStretchLayout StretchLayout(const TStretchInput& in) {
  TStretchLayout out = FitLayout(in);
  // A very long, thin picture fitted into the area would round its short side
  // down to nothing: every picture keeps at least one pixel on each axis.
  if (in.Image.Width > 0 && in.Image.Height > 0) {
    out.Displayed.Width = std::max(out.Displayed.Width, 1);
    out.Displayed.Height = std::max(out.Displayed.Height, 1);
  }
  return out;
}

TScrollBars ScrollBarsFor(TSize2 displayed, TSize2 available, int vScrollWidth, int hScrollHeight) {
  TScrollBars bars;
  for (int pass = 0; pass < 2; ++pass) {
    bars.Horizontal = displayed.Width > available.Width - (bars.Vertical ? vScrollWidth : 0);
    bars.Vertical = displayed.Height > available.Height - (bars.Horizontal ? hScrollHeight : 0);
  }
  return bars;
}

TPoint2 CenterOffset(TSize2 displayed, TSize2 available, int vScrollWidth, int hScrollHeight) {
  const TScrollBars bars = ScrollBarsFor(displayed, available, vScrollWidth, hScrollHeight);
  const int freeW = available.Width - (bars.Vertical ? vScrollWidth : 0) - displayed.Width;
  const int freeH = available.Height - (bars.Horizontal ? hScrollHeight : 0) - displayed.Height;
  return {std::max(freeW, 0) / 2, std::max(freeH, 0) / 2};
}

int ScreenDepthFrom(const char* value) {
  if (value != nullptr) {
    for (int depth : {1, 4, 8, 24})
      if (std::atoi(value) == depth && std::strspn(value, "0123456789") == std::strlen(value))
        return depth;
  }
  return 24;
}

int ScreenDepth() {
  return ScreenDepthFrom(std::getenv("KORVANE_SCREEN_DEPTH"));
}

TDisplayCopyDecision DecideDisplayCopy(const TDisplayCopyInput& in) {
  TDisplayCopyDecision d;
  const bool smoothing = in.StretchMode != smFast;
  d.Rebuild =
      in.RebuildPending || (smoothing && !in.ReduceOnLoad && in.Displayed != in.CopyBuiltFor);
  const int b = in.ScreenDepth, c = in.ImageBits;
  d.Needed = (b < c && b <= 8) || (smoothing && in.Displayed != in.Image);
  if (c <= 8 && b <= 8) {
    // A palette image on a palette screen: the copy also maps it to colours the
    // screen can show, unless its own palette already is one.
    const bool allowed = !in.ReduceOnLoad || d.Rebuild;
    if (b == 4) {
      if (in.ImagePalette != pSys16 && allowed) d.Needed = true;
    } else if (!d.Needed) {
      const bool ownPalette = in.Palette8BitSys8BitGraphic == pSource ||
                              in.Palette8BitSys8BitGraphic == in.ImagePalette;
      d.Needed = !ownPalette && allowed;
    }
  }
  return d;
}

TDisplayCopyPlan PlanDisplayCopy(const TDisplayCopyPlanInput& in) {
  TDisplayCopyPlan plan;
  const int b = in.ScreenDepth;
  if (in.Allow24BitStretch && in.SizeDiffers && in.StretchMode != smFast && b == 8 &&
      in.Palette8BitSys24BitGraphic == pOptimized252Sys16) {
    plan.ResampleFirst = true;
    ++plan.Steps;
  }
  if (b <= 7) {
    plan.Format = pf4Bit;
    plan.Palette = pSys16;
  } else if (b > 8) {
    plan.Format = pf24Bit;
  } else {
    plan.Format = pf8Bit;
    const TPaletteIdent wanted =
        in.TrueColorSource ? in.Palette8BitSys24BitGraphic : in.Palette8BitSys8BitGraphic;
    if (wanted <= pSpecial252) {
      plan.Palette = wanted;
    } else if (wanted == pSource && !in.TrueColorSource) {
      plan.AssignSourcePalette = true;
    } else {
      plan.OptimizePalette = true;
      ++plan.Steps;
    }
  }
  return plan;
}

bool TileFlippedHorizontally(int column, TTiling tiling, bool flipHorizontal) {
  const bool mirrors = tiling == tMirrorHorizontal || tiling == tMirror;
  return flipHorizontal != ((column & 1) != 0 && mirrors);
}

bool TileFlippedVertically(int row, TTiling tiling, bool flipVertical) {
  const bool mirrors = tiling == tMirrorVertical || tiling == tMirror;
  return flipVertical != ((row & 1) != 0 && mirrors);
}

std::array<TPGRect, 8> SelectionHandles(const TPGRect& d) {
  const int mx = (d.Left + d.Right) / 2, my = (d.Top + d.Bottom) / 2;
  const int xs[3][2] = {{d.Left - 8, d.Left - 3}, {mx - 2, mx + 3}, {d.Right + 3, d.Right + 8}};
  const int ys[3][2] = {{d.Top - 8, d.Top - 3}, {my - 2, my + 3}, {d.Bottom + 3, d.Bottom + 8}};
  // Column and row of each handle, in the order of the drag states.
  static constexpr int cells[8][2] = {{0, 0}, {1, 0}, {2, 0}, {0, 1},
                                      {2, 1}, {0, 2}, {1, 2}, {2, 2}};
  std::array<TPGRect, 8> out;
  for (size_t i = 0; i < 8; ++i) {
    const int c = cells[i][0], r = cells[i][1];
    out[i] = {xs[c][0], ys[r][0], xs[c][1], ys[r][1]};
  }
  return out;
}

TDragState HandleAt(const TPGRect& display, int x, int y) {
  const auto handles = SelectionHandles(display);
  for (size_t i = 0; i < handles.size(); ++i)
    if (Contains(handles[i], x, y)) return static_cast<TDragState>(dsTopLeft + i);
  return dsIdle;
}

TSelectionRect SpanSelection(TPoint2 a, TPoint2 p) {
  return {std::min(a.X, p.X), std::min(a.Y, p.Y), std::abs(p.X - a.X) + 1, std::abs(p.Y - a.Y) + 1};
}

namespace {

bool MovesLeft(TDragState s) {
  return s == dsTopLeft || s == dsLeft || s == dsBottomLeft;
}
bool MovesRight(TDragState s) {
  return s == dsTopRight || s == dsRight || s == dsBottomRight;
}
bool MovesTop(TDragState s) {
  return s == dsTopLeft || s == dsTop || s == dsTopRight;
}
bool MovesBottom(TDragState s) {
  return s == dsBottomLeft || s == dsBottom || s == dsBottomRight;
}

}  // namespace

TPoint2 HandleOffset(TDragState s, const TSelectionRect& r, TPoint2 p) {
  TPoint2 o;
  if (MovesLeft(s)) o.X = p.X - r.Left;
  if (MovesRight(s)) o.X = p.X - r.Width;
  if (MovesTop(s)) o.Y = p.Y - r.Top;
  if (MovesBottom(s)) o.Y = p.Y - r.Height;
  return o;
}

TSelectionRect ResizeSelection(TDragState s, const TSelectionRect& r, TPoint2 p, TPoint2 o) {
  TSelectionRect n = r;
  if (MovesLeft(s)) {
    const int right = r.Left + r.Width;
    n.Left = std::min(p.X - o.X, right - 1);
    n.Width = right - n.Left;
  }
  if (MovesRight(s)) n.Width = std::max(p.X - o.X, 1);
  if (MovesTop(s)) {
    const int bottom = r.Top + r.Height;
    n.Top = std::min(p.Y - o.Y, bottom - 1);
    n.Height = bottom - n.Top;
  }
  if (MovesBottom(s)) n.Height = std::max(p.Y - o.Y, 1);
  return n;
}

TSelectionRect MoveSelection(const TSelectionRect& r, TPoint2 p, TPoint2 o, TSize2 image) {
  TSelectionRect n = r;
  n.Left = std::clamp(p.X - o.X, 1 - r.Width, std::max(image.Width - 1, 1 - r.Width));
  n.Top = std::clamp(p.Y - o.Y, 1 - r.Height, std::max(image.Height - 1, 1 - r.Height));
  return n;
}

std::array<TPoint2, 5> ClockPositions(const TPGRect& c, bool fiveClocks, int& count) {
  std::array<TPoint2, 5> out{};
  count = 0;
  const int w = c.Right - c.Left, h = c.Bottom - c.Top;
  if (w > 20 && h > 20)
    out[static_cast<size_t>(count++)] = {c.Left + (w - 15) / 2, c.Top + (h - 15) / 2};
  if (fiveClocks && w >= 101 && h >= 101) {
    out[static_cast<size_t>(count++)] = {c.Left + 5, c.Top + 5};
    out[static_cast<size_t>(count++)] = {c.Right - 20, c.Top + 5};
    out[static_cast<size_t>(count++)] = {c.Left + 5, c.Bottom - 20};
    out[static_cast<size_t>(count++)] = {c.Right - 20, c.Bottom - 20};
  }
  return out;
}

TClockHands ClockHands(TPoint2 origin, int step, int percent) {
  constexpr long double pi = 3.14159265358979323846L;
  const long double a = percent * pi * 0.02L;
  const long double s = ((step - 1) * 2 * pi + a) / 12;
  const TPoint2 c{origin.X + 7, origin.Y + 7};
  auto hand = [&](int length, long double angle) {
    return TPoint2{c.X + static_cast<int>(std::nearbyint(length * std::sin(angle))),
                   c.Y - static_cast<int>(std::nearbyint(length * std::cos(angle)))};
  };
  return {c, hand(7, a), hand(6, s)};
}

}  // namespace pgraphic
