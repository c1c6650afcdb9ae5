// What the source files of TPGImage share beyond its header.
#pragma once

#include "pgraphic/view/pgimage.h"

namespace pgraphic {

// Detaches the image's events from the view.
void ClearEvents(TPixelGraphic& image);

// The layout of an image under a view's settings, as Relayout makes it; a widget
// cannot be larger than QWIDGETSIZE_MAX, so absurd zooms stop there.
TStretchLayout LayoutFor(TSize2 image, const TDisplaySettings& s);

}  // namespace pgraphic
