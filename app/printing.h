// Printing an image fitted to the page: the page fitting of pgraphic/image/print.h
// applied to a Qt printer, with the print dialog and the printer's orientation.
#pragma once

#include <QRect>

#include "pgraphic/image/pixelgraphic.h"

class QPrinter;
class QWidget;

namespace app {

enum class TPrintOutcome { Printed, Cancelled, Failed };

// The rectangle, in the printer's device pixels relative to its printable area,
// that an image of width x height fills on the printer's current page.
QRect PrintTarget(int width, int height, const QPrinter& printer);

// Prints the image on one page of the printer, stretched into PrintTarget. With
// showDialog the print dialog owned by owner comes first (cancelling prints
// nothing); with fitOrientation a wider than high image turns the page to
// landscape, a higher than wide one to portrait, and the printer's orientation
// is restored afterwards. The pixels go to the printer at the image's own
// resolution and without lossy compression; the window repaints meanwhile but
// takes no input. An empty image prints nothing, as a cancelled print does.
TPrintOutcome PrintGraphic(const pgraphic::TPixelGraphic& image, QPrinter& printer, bool showDialog,
                           bool fitOrientation, QWidget* owner);

}  // namespace app
