// Temporary: resampling, rotation and mirroring arrive with the geometry work.
#include "pgraphic/image/pixelgraphic.h"

namespace pgraphic {

void TPixelGraphic::StretchCopy(int, int, int, int, const TPixelGraphic&, int, int, int, int) {
  throw EPixelGraphic("StretchCopy not available yet");
}
void TPixelGraphic::Rotate(int, int, const TPixelGraphic&, int, int, int, int, int, int,
                           long double) {
  throw EPixelGraphic("Rotate not available yet");
}
void TPixelGraphic::MirrorHorizontal() { throw EPixelGraphic("Mirror not available yet"); }
void TPixelGraphic::MirrorVertical() { throw EPixelGraphic("Mirror not available yet"); }

}  // namespace pgraphic
