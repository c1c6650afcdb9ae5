// korvane-cli sample OUT: writes a 24-bit test picture the project draws itself:
// a colour gradient with a disc, a framed square, stripes and a gray ramp, so
// every later step (colour reduction, compression) has smooth areas, hard edges
// and fine detail to work on.
#include <cmath>

#include "cli/cli.h"

namespace cli {
namespace {

std::unique_ptr<pgraphic::TPixelGraphic> DrawSample(int width, int height) {
  auto image = std::make_unique<pgraphic::TPixelGraphic>();
  image->SetSize(width, height, pgraphic::pf24Bit);
  const double cx = width * 0.62, cy = height * 0.45, radius = height * 0.28;
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image->ScanLine(y);
    for (int x = 0; x < width; ++x) {
      int r = 255 * x / (width - 1);
      int g = 255 * y / (height - 1);
      int b = 255 - (r + g) / 2;
      const double dx = x - cx, dy = y - cy;
      const double d = std::sqrt(dx * dx + dy * dy);
      if (d < radius) {  // a shaded disc
        const int shade = static_cast<int>(255 * (1.0 - d / radius));
        r = 255;
        g = 200 * shade / 255;
        b = 40;
      }
      if (x >= width / 10 && x < width * 4 / 10 && y >= height / 8 && y < height / 2) {
        const bool frame = x < width / 10 + 6 || x >= width * 4 / 10 - 6 || y < height / 8 + 6 ||
                           y >= height / 2 - 6;
        if (frame) {
          r = g = b = 20;
        } else {
          r = 30;
          g = 90 + (x + y) % 64;
          b = 200;
        }
      }
      if (y >= height * 3 / 4 && y < height * 7 / 8 && ((x + y) / 6) % 2 == 0) {
        r = 250, g = 250, b = 250;  // diagonal stripes
      }
      if (y >= height * 7 / 8) r = g = b = 255 * x / (width - 1);  // gray ramp
      row[3 * x] = static_cast<uint8_t>(b);
      row[3 * x + 1] = static_cast<uint8_t>(g);
      row[3 * x + 2] = static_cast<uint8_t>(r);
    }
  }
  return image;
}

int Sample(const TArgs& args) {
  int width = 640, height = 480;
  if (args.Has("--size")) {
    const std::string v = args.Get("--size");
    if (std::sscanf(v.c_str(), "%dx%d", &width, &height) != 2 || width < 2 || height < 2 ||
        width > 20000 || height > 20000) {
      throw UsageError("--size takes WxH, each 2..20000");
    }
  }
  std::unique_ptr<pgraphic::TPixelGraphic> image = DrawSample(width, height);
  SaveImage(*image, args.files[0], args);
  return 0;
}

const TCommandRegistrar reg({.name = "sample",
                             .synopsis = "sample OUT [--size WxH]",
                             .options = {{"--size", true, "WxH"}},
                             .acceptsConvertOptions = false,
                             .minFiles = 1,
                             .maxFiles = 1,
                             .run = Sample});

}  // namespace
}  // namespace cli
