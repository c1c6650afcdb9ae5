#include "support/jpegpng_peer.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
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

namespace {

// Next header number, skipping white space and comments.
int HeaderNumber(const std::vector<uint8_t>& b, size_t& pos) {
  for (;;) {
    while (pos < b.size() && std::isspace(b[pos])) ++pos;
    if (pos < b.size() && b[pos] == '#') {
      while (pos < b.size() && b[pos] != '\n') ++pos;
      continue;
    }
    break;
  }
  if (pos >= b.size() || !std::isdigit(b[pos])) throw std::runtime_error("bad PNM header");
  long v = 0;
  while (pos < b.size() && std::isdigit(b[pos])) {
    v = v * 10 + (b[pos++] - '0');
    if (v > INT_MAX) throw std::runtime_error("bad PNM header");
  }
  return static_cast<int>(v);
}

}  // namespace

pgraphic::TRGB TPeerImage::Color(int x, int y) const {
  const size_t at = (static_cast<size_t>(y) * Width + x) * Channels;
  if (Channels == 1) return pgraphic::RGB(Samples[at], Samples[at], Samples[at]);
  return pgraphic::RGB(Samples[at], Samples[at + 1], Samples[at + 2]);
}

TPeerImage ReadPNM(const std::string& path) {
  const std::vector<uint8_t> b = ReadFile(path);
  if (b.size() < 2 || b[0] != 'P' || (b[1] != '4' && b[1] != '5' && b[1] != '6')) {
    throw std::runtime_error("not a binary PNM: " + path);
  }
  TPeerImage img;
  size_t pos = 2;
  img.Width = HeaderNumber(b, pos);
  img.Height = HeaderNumber(b, pos);
  img.MaxVal = b[1] == '4' ? 1 : HeaderNumber(b, pos);
  ++pos;  // the single white-space character before the raster
  img.Channels = b[1] == '6' ? 3 : 1;
  const size_t count = static_cast<size_t>(img.Width) * img.Height * img.Channels;
  img.Samples.resize(count);
  if (b[1] == '4') {
    const size_t rowBytes = (static_cast<size_t>(img.Width) + 7) / 8;
    if (pos + rowBytes * img.Height > b.size()) throw std::runtime_error("short PNM");
    for (int y = 0; y < img.Height; ++y) {
      for (int x = 0; x < img.Width; ++x) {
        const bool black = (b[pos + y * rowBytes + x / 8] >> (7 - x % 8)) & 1;
        img.Samples[static_cast<size_t>(y) * img.Width + x] = black ? 0 : 255;
      }
    }
    return img;
  }
  const size_t bytesPerSample = img.MaxVal > 255 ? 2 : 1;
  if (pos + count * bytesPerSample > b.size()) throw std::runtime_error("short PNM");
  for (size_t i = 0; i < count; ++i) {
    unsigned v;
    if (bytesPerSample == 2) {
      // 16-bit samples (maxval 2^k - 1, e.g. after sBIT scaling) keep their top 8 bits.
      v = (unsigned(b[pos + 2 * i]) << 8) | b[pos + 2 * i + 1];
      int bits = 0;
      while ((1u << bits) <= unsigned(img.MaxVal)) ++bits;
      v >>= bits - 8;
    } else {
      v = b[pos + i];
      if (img.MaxVal != 255) v = v * 255 / img.MaxVal;
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
