#include "support/jpegpng_peer.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <stdexcept>

namespace peer {

bool Have(const std::string& program) {
  if (!program.empty() && program[0] == '/') return korvane_test::HaveTool(program);
  return korvane_test::RunShell("command -v " + program + " >/dev/null 2>&1") == 0;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  if (!std::ifstream(path, std::ios::binary)) throw std::runtime_error("cannot open " + path);
  return korvane_test::ReadFileBytes(path);
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  if (!korvane_test::WriteFileBytes(path, bytes)) throw std::runtime_error("cannot write " + path);
}

pgraphic::TRGB TPeerImage::Color(int x, int y) const {
  const size_t at = (static_cast<size_t>(y) * Width + x) * Channels;
  if (Channels == 1) return pgraphic::RGB(Samples[at], Samples[at], Samples[at]);
  return pgraphic::RGB(Samples[at], Samples[at + 1], Samples[at + 2]);
}

TPeerImage ReadPNM(const std::string& path) {
  const std::optional<korvane_test::PnmRaster> r = korvane_test::ParsePnm(ReadFile(path));
  if (!r) throw std::runtime_error("not a complete binary PNM: " + path);
  TPeerImage img;
  img.Width = r->width;
  img.Height = r->height;
  img.Channels = r->channels;
  img.MaxVal = r->maxval;
  int bits = 0;
  while ((1u << bits) <= unsigned(img.MaxVal)) ++bits;
  img.Samples.resize(r->samples.size());
  for (size_t i = 0; i < r->samples.size(); ++i) {
    unsigned v = r->samples[i];
    if (img.MaxVal > 255) {
      // 16-bit samples (maxval 2^k - 1, e.g. after sBIT scaling) keep their top 8 bits.
      v >>= bits - 8;
    } else if (img.MaxVal != 255) {
      v = v * 255 / img.MaxVal;
    }
    img.Samples[i] = static_cast<uint8_t>(v);
  }
  return img;
}

int MaxDifference(const pgraphic::TPixelGraphic& image, const TPeerImage& peer) {
  if (image.Width() != peer.Width || image.Height() != peer.Height) return INT32_MAX;
  int worst = 0;
  for (int y = 0; y < peer.Height; ++y) {
    for (int x = 0; x < peer.Width; ++x) {
      const pgraphic::TRGB a = image.PixelColor(x, y), b = peer.Color(x, y);
      worst = std::max({worst, std::abs(int(pgraphic::GetR(a)) - int(pgraphic::GetR(b))),
                        std::abs(int(pgraphic::GetG(a)) - int(pgraphic::GetG(b))),
                        std::abs(int(pgraphic::GetB(a)) - int(pgraphic::GetB(b)))});
    }
  }
  return worst;
}

int MaxDifference(const pgraphic::TPixelGraphic& a, const pgraphic::TPixelGraphic& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return INT32_MAX;
  int worst = 0;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      const pgraphic::TRGB p = a.PixelColor(x, y), q = b.PixelColor(x, y);
      worst = std::max({worst, std::abs(int(pgraphic::GetR(p)) - int(pgraphic::GetR(q))),
                        std::abs(int(pgraphic::GetG(p)) - int(pgraphic::GetG(q))),
                        std::abs(int(pgraphic::GetB(p)) - int(pgraphic::GetB(q)))});
    }
  }
  return worst;
}

void WritePPM(const std::string& path, const pgraphic::TPixelGraphic& image) {
  std::string header =
      "P6\n" + std::to_string(image.Width()) + " " + std::to_string(image.Height()) + "\n255\n";
  std::vector<uint8_t> bytes(header.begin(), header.end());
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) {
      const pgraphic::TRGB c = image.PixelColor(x, y);
      bytes.push_back(static_cast<uint8_t>(pgraphic::GetR(c)));
      bytes.push_back(static_cast<uint8_t>(pgraphic::GetG(c)));
      bytes.push_back(static_cast<uint8_t>(pgraphic::GetB(c)));
    }
  }
  WriteFile(path, bytes);
}

}  // namespace peer
