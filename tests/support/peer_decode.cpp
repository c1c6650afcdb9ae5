#include "peer_decode.h"

#include <algorithm>
#include <optional>
#include <sstream>

namespace testsupport {

bool HavePillow() {
  return HaveTool(kPython) && Shell(std::string(kPython) + " -c 'import PIL' 2>/dev/null");
}

bool Shell(const std::string& command) {
  return korvane_test::RunShell("bash -c " + korvane_test::ShellQuote(command)) == 0;
}

TRGBImage ReadPPMFile(const std::string& path) {
  TRGBImage img;
  const std::vector<uint8_t> b = ReadFileBytes(path);
  const std::optional<korvane_test::PnmRaster> r = korvane_test::ParsePnm(b);
  if (!r || b[1] != '6' || r->maxval != 255 || r->width <= 0 || r->height <= 0) return img;
  img.Width = r->width;
  img.Height = r->height;
  img.RGB.resize(r->samples.size());
  for (size_t i = 0; i < r->samples.size(); ++i) img.RGB[i] = static_cast<uint8_t>(r->samples[i]);
  return img;
}

TRGBImage DecodeWithImageMagick(const std::string& path) {
  std::string out = path + ".im.ppm";
  if (!Shell(std::string(kImageMagick) + " '" + path + "' -alpha off -depth 8 ppm:'" + out + "'")) {
    return {};
  }
  return ReadPPMFile(out);
}

TRGBImage DecodeWithPillow(const std::string& path) {
  std::string out = path + ".pil.ppm";
  std::string cmd = std::string(kPython) +
                    " -c \"import sys; from PIL import Image; "
                    "Image.open(sys.argv[1]).convert('RGB').save(sys.argv[2], format='PPM')\" '" +
                    path + "' '" + out + "'";
  if (!Shell(cmd)) return {};
  return ReadPPMFile(out);
}

TRGBImage DecodeWithNetpbm(const std::string& tool, const std::string& path) {
  std::string out = path + ".nb.ppm";
  if (!Shell("set -o pipefail; " + tool + " '" + path +
             "' 2>/dev/null | pnmdepth 255 | ppmtoppm >'" + out + "'")) {
    return {};
  }
  return ReadPPMFile(out);
}

TRGBImage FromGraphic(const pgraphic::TPixelGraphic& g) {
  TRGBImage img;
  img.Width = g.Width();
  img.Height = g.Height();
  img.RGB.resize(size_t(img.Width) * img.Height * 3);
  size_t i = 0;
  for (int y = 0; y < img.Height; ++y) {
    for (int x = 0; x < img.Width; ++x) {
      pgraphic::TRGB c = g.PixelColor(x, y);
      img.RGB[i++] = uint8_t(pgraphic::GetR(c));
      img.RGB[i++] = uint8_t(pgraphic::GetG(c));
      img.RGB[i++] = uint8_t(pgraphic::GetB(c));
    }
  }
  return img;
}

std::string Compare(const TRGBImage& expected, const TRGBImage& actual) {
  std::ostringstream s;
  if (!expected.Valid()) return "the peer produced no image";
  if (expected.Width != actual.Width || expected.Height != actual.Height) {
    s << "size " << actual.Width << "x" << actual.Height << ", expected " << expected.Width << "x"
      << expected.Height;
    return s.str();
  }
  for (size_t i = 0; i < expected.RGB.size(); i += 3) {
    if (std::equal(expected.RGB.begin() + long(i), expected.RGB.begin() + long(i) + 3,
                   actual.RGB.begin() + long(i))) {
      continue;
    }
    size_t p = i / 3;
    s << "pixel (" << p % size_t(expected.Width) << ", " << p / size_t(expected.Width) << ") is "
      << int(actual.RGB[i]) << "," << int(actual.RGB[i + 1]) << "," << int(actual.RGB[i + 2])
      << ", expected " << int(expected.RGB[i]) << "," << int(expected.RGB[i + 1]) << ","
      << int(expected.RGB[i + 2]);
    return s.str();
  }
  return "";
}

}  // namespace testsupport
