// The image view's decisions as plain functions, free of any widget: how an image
// is laid out for a fit mode, where it sits when centred, which scroll bars appear,
// whether and how a display copy is built for a screen depth, how tiles are flipped,
// where the selection's handles lie, and the mapping between image and display
// coordinates.
#pragma once

#include <array>
#include <cstdint>

#include "pgraphic/image/pixelgraphic.h"
#include "pgraphic/image/print.h"

namespace pgraphic {

enum TStretch : uint8_t {
  sNeverKAR = 0,
  sAlways = 1,
  sAlwaysKAR = 2,
  sShrink = 3,
  sShrinkKAR = 4,
  sEnlarge = 5,
  sEnlargeKAR = 6,
  sAlwaysLongerEdgeKAR = 7,
  sShrinkLongerEdgeKAR = 8,
  sEnlargeShrinkLongerEdgeKAR = 9,
  sEnlargeLongerEdgeKAR = 10,
  sZoomKAR = 11,
};

enum TActionMode : uint8_t {
  amMoveImage,
  amMoveResizeCreateSelection,
  amMoveSelection,
  amMoveSelectionMoveImage,
  amCreateSelection,
  amNone,
};

enum TTiling : uint8_t { tNone, tRepeat, tMirrorHorizontal, tMirrorVertical, tMirror };

// The palettes a display copy can take on an 8-bit screen: the fixed ones up to
// pSpecial252, an optimised one, or (palette images only) the source's own.
using TPalette8BitSys24BitGraphic = TPaletteIdent;
using TPalette8BitSys8BitGraphic = TPaletteIdent;

struct TSize2 {
  int Width = 0;
  int Height = 0;
  bool operator==(const TSize2&) const = default;
};

struct TPoint2 {
  int X = 0;
  int Y = 0;
  bool operator==(const TPoint2&) const = default;
};

// Rectangles are TPGRect, by their edges; Right and Bottom are exclusive.
inline bool Contains(const TPGRect& r, int x, int y) {
  return r.Left <= x && x < r.Right && r.Top <= y && y < r.Bottom;
}

// ---- Layout ----------------------------------------------------------------------

struct TStretchInput {
  TSize2 Image;           // I
  TSize2 Available;       // A: the area inside the border, scroll bars not taken off
  int VScrollWidth = 0;   // width of a vertical scroll bar
  int HScrollHeight = 0;  // height of a horizontal scroll bar
  TStretch Stretch = sNeverKAR;
  long double ZoomFactor = 1.0L;
};

struct TStretchLayout {
  TSize2 Displayed;
  long double Zoom = 1.0L;  // -1 when no single factor applies
};

TStretchLayout StretchLayout(const TStretchInput& in);

struct TScrollBars {
  bool Horizontal = false;
  bool Vertical = false;
};

// The scroll bars a displayed size needs in the available area, decided in two
// passes (a horizontal bar when the width overflows, a vertical one when the
// height overflows, each pass with the other bar taken off).
TScrollBars ScrollBarsFor(TSize2 displayed, TSize2 available, int vScrollWidth, int hScrollHeight);

// Offset of the displayed image from the client's top-left corner when centred:
// half the free space left beside the scroll bars on each axis, 0 on an axis that
// overflows.
TPoint2 CenterOffset(TSize2 displayed, TSize2 available, int vScrollWidth, int hScrollHeight);

// ---- Coordinates -------------------------------------------------------------------

// v * to div from, 0 when from is 0; 64-bit so that huge images cannot overflow.
inline int ScaleCoordinate(int v, int to, int from) {
  return from == 0 ? 0 : static_cast<int>(static_cast<int64_t>(v) * to / from);
}

// ---- Screen depth and the display copy -------------------------------------------

// The screen depth the view works for: 24 unless the environment variable
// KORVANE_SCREEN_DEPTH names 1, 4, 8 or 24 (so the palette copies can be seen and
// tested on any screen).
int ScreenDepthFrom(const char* environmentValue);
int ScreenDepth();

struct TDisplayCopyInput {
  int ScreenDepth = 24;
  int ImageBits = 24;  // 1, 4, 8 or 24
  TPaletteIdent ImagePalette = pTrueColor;
  TStretchMode StretchMode = smFast;
  bool ReduceOnLoad = false;
  TSize2 Image;
  TSize2 Displayed;
  TSize2 CopyBuiltFor;  // size the current copy was built for
  bool RebuildPending = false;
  TPalette8BitSys8BitGraphic Palette8BitSys8BitGraphic = pOptimized252Sys16;
};

struct TDisplayCopyDecision {
  bool Needed = false;   // paint from a display copy rather than the image
  bool Rebuild = false;  // the copy (if any) is out of date
};

TDisplayCopyDecision DecideDisplayCopy(const TDisplayCopyInput& in);

struct TDisplayCopyPlanInput {
  int ScreenDepth = 24;
  bool TrueColorSource = true;
  TStretchMode StretchMode = smFast;
  bool SizeDiffers = false;  // displayed size differs from the image size
  bool Allow24BitStretch = false;
  TPalette8BitSys24BitGraphic Palette8BitSys24BitGraphic = pOptimized252Sys16;
  TPalette8BitSys8BitGraphic Palette8BitSys8BitGraphic = pOptimized252Sys16;
};

struct TDisplayCopyPlan {
  TPGPixelFormat Format = pf24Bit;
  TPaletteIdent Palette = pNone;  // fixed palette to set, pNone for none
  bool AssignSourcePalette = false;
  bool OptimizePalette = false;  // build an optimised 252 + 16 colour palette
  bool ResampleFirst = false;    // resample into a true-colour intermediate first
  int Steps = 1;
};

TDisplayCopyPlan PlanDisplayCopy(const TDisplayCopyPlanInput& in);

// ---- Tiles -----------------------------------------------------------------------

// Whether tile column i (row j for the vertical axis) relative to the image is
// drawn mirrored on that axis.
bool TileFlippedHorizontally(int column, TTiling tiling, bool flipHorizontal);
bool TileFlippedVertically(int row, TTiling tiling, bool flipVertical);

// ---- Selection -------------------------------------------------------------------

// Drag states of the mouse handling.
enum TDragState : uint8_t {
  dsIdle = 0,
  dsScroll = 1,
  dsMove = 2,
  dsCreate = 3,
  dsTopLeft = 4,
  dsTop = 5,
  dsTopRight = 6,
  dsLeft = 7,
  dsRight = 8,
  dsBottomLeft = 9,
  dsBottom = 10,
  dsBottomRight = 11,
};

// The selection rectangle in image pixels.
struct TSelectionRect {
  int Left = 0;
  int Top = 0;
  int Width = 1;
  int Height = 1;
  bool operator==(const TSelectionRect&) const = default;
};

// The eight handle squares of a display rectangle, in the order of the drag states
// dsTopLeft .. dsBottomRight.
std::array<TPGRect, 8> SelectionHandles(const TPGRect& display);

// The drag state of the handle under (x, y), dsIdle when none.
TDragState HandleAt(const TPGRect& display, int x, int y);

// The rectangle spanned by the anchor and a point, both included.
TSelectionRect SpanSelection(TPoint2 anchor, TPoint2 point);

// Offset kept while dragging a handle: from the moved left/top edge, or from the
// width/height for the right/bottom edges.
TPoint2 HandleOffset(TDragState state, const TSelectionRect& r, TPoint2 point);

// The rectangle after dragging a handle to point (image coordinates); the edges
// opposite the moved ones stay, width and height stay at least 1.
TSelectionRect ResizeSelection(TDragState state, const TSelectionRect& r, TPoint2 point,
                               TPoint2 offset);

// The rectangle moved so that its top-left is point - offset, kept overlapping the
// image by at least one column and row.
TSelectionRect MoveSelection(const TSelectionRect& r, TPoint2 point, TPoint2 offset, TSize2 image);

// Whether pixel (x, y) of outline brush k (0..7) takes the second colour: diagonal
// stripes four pixels wide.
inline bool OutlineSecondColor(int x, int y, int k) {
  return (x + y - k + 8) % 8 > 3;
}

// ---- Progress clocks ---------------------------------------------------------------

// Top-left corners of the 15 x 15 clocks for a child rectangle: one centred when
// the child is larger than 20 x 20, four more near the corners when fiveClocks and
// the child is at least 101 x 101.
std::array<TPoint2, 5> ClockPositions(const TPGRect& child, bool fiveClocks, int& count);

// End points of the long and short hands of a clock whose top-left is origin.
struct TClockHands {
  TPoint2 Center;
  TPoint2 Long;
  TPoint2 Short;
};
TClockHands ClockHands(TPoint2 origin, int step, int percent);

}  // namespace pgraphic
