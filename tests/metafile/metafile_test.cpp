// Metafiles exported by a peer drawing program are drawn and compared with that
// program's own rendering; damaged and hostile metafiles fail with a clear error.
#include "metafile/metafile.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using metafile::mkEnhanced;
using metafile::mkWindows;
using metafile::TMetafileInfo;
using metafile::TMetafileKind;
using pgraphic::EPGMetafile;
using pgraphic::EPixelGraphic;
using pgraphic::TPixelGraphic;
using pgraphic::TRGB;

namespace {

const std::string kDir = std::string(KORVANE_TEST_DATA) + "/metafile/";

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One exported drawing: the metafile and the exporter's own PNG rendering of it.
struct Fixture {
  const char* drawing;
  const char* extension;
  TMetafileKind kind;
  std::string Path() const { return kDir + drawing + "." + extension; }
  QImage Peer() const { return QImage(QString::fromStdString(kDir + drawing + ".png")); }
};

std::ostream& operator<<(std::ostream& os, const Fixture& f) {
  return os << f.drawing << "." << f.extension;
}

const Fixture kFixtures[] = {
    {"shapes", "wmf", mkWindows},
    {"shapes", "emf", mkEnhanced},
    {"lines", "wmf", mkWindows},
    {"lines", "emf", mkEnhanced},
};

int Channel(TRGB c, int i) {
  return static_cast<int>((c >> (8 * i)) & 0xFF);
}
int PeerChannel(QRgb c, int i) {
  return i == 0 ? qRed(c) : i == 1 ? qGreen(c) : qBlue(c);
}

// A peer pixel away from every edge of the drawing: its 5 x 5 neighbourhood is one
// colour, so any renderer that places shapes within a pixel must give that colour.
bool Interior(const QImage& peer, int x, int y) {
  if (x < 2 || y < 2 || x + 2 >= peer.width() || y + 2 >= peer.height()) return false;
  const QRgb c = peer.pixel(x, y);
  for (int dy = -2; dy <= 2; ++dy)
    for (int dx = -2; dx <= 2; ++dx)
      if (peer.pixel(x + dx, y + dy) != c) return false;
  return true;
}

// How a drawn image, whose picture starts at (1, 1), differs from the peer rendering
// (picture at (0, 0)) over the area both cover.
struct Difference {
  double mean = 0;       // mean absolute difference per channel, all pixels
  int interiorCount = 0;
  int interiorOff = 0;  // interior pixels with a channel more than 4 levels off
};

Difference Compare(const TPixelGraphic& drawn, const QImage& peer) {
  Difference d;
  const int w = std::min(drawn.Width() - 1, peer.width());
  const int h = std::min(drawn.Height() - 1, peer.height());
  long long sum = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const TRGB ours = drawn.PixelColor(x + 1, y + 1);
      const QRgb theirs = peer.pixel(x, y);
      const bool interior = Interior(peer, x, y);
      int largest = 0;
      for (int i = 0; i < 3; ++i) {
        const int diff = std::abs(Channel(ours, i) - PeerChannel(theirs, i));
        sum += diff;
        largest = std::max(largest, diff);
      }
      d.interiorCount += interior;
      d.interiorOff += interior && largest > 4;
    }
  d.mean = static_cast<double>(sum) / (3.0 * w * h);
  return d;
}

class PeerDrawing : public testing::TestWithParam<Fixture> {};

INSTANTIATE_TEST_SUITE_P(Metafile, PeerDrawing, testing::ValuesIn(kFixtures));

// The size is the picture's own: a WMF's placeable frame at 96 dpi is exactly the
// peer's page; an EMF's frame (0.01 mm) is rounded outwards by the exporter, so it
// may exceed the page by a few pixels but never falls short.
TEST_P(PeerDrawing, KindSizeAndInformationText) {
  const Fixture& f = GetParam();
  const QImage peer = f.Peer();
  const TMetafileInfo info = metafile::ReadMetafileFileInfo(f.Path());
  EXPECT_EQ(info.Kind, f.kind);
  if (f.kind == mkWindows) {
    EXPECT_EQ(info.Width, peer.width());
    EXPECT_EQ(info.Height, peer.height());
  } else {
    EXPECT_GE(info.Width, peer.width());
    EXPECT_GE(info.Height, peer.height());
    EXPECT_LE(info.Width, peer.width() * 105 / 100);
    EXPECT_LE(info.Height, peer.height() * 105 / 100);
  }
  const std::string size = std::to_string(info.Width) + "x" + std::to_string(info.Height);
  EXPECT_EQ(metafile::MetafileInfoText(info),
            (f.kind == mkWindows ? "Type: Windows Metafile; Size: " : "Type: Enhanced Metafile; Size: ") +
                size + "; Colors: 256");
}

// How close a drawing must come to the peer rendering. Interior pixels carry exact
// flat colours in both, so they agree within 4 levels; edge pixels differ by how
// each renderer anti-aliases, which the mean bounds. Qt SVG (EMF) anti-aliases as
// the peer does. libwmf's bitmap device (WMF) draws 4 x 4 samples per pixel but ends
// every line with a square cap, so a line overshoots its ends by half its width:
// up to 1% of interior pixels may be off.
struct Tolerance {
  double interiorOffShare;
  double mean;
};
Tolerance ToleranceFor(TMetafileKind kind) {
  return kind == mkEnhanced ? Tolerance{0.0, 1.5} : Tolerance{0.01, 7.0};
}

TEST_P(PeerDrawing, MatchesPeerRendering) {
  const Fixture& f = GetParam();
  const auto bytes = ReadBytes(f.Path());
  TMetafileInfo info;
  const auto drawn = metafile::DrawMetafile(bytes.data(), bytes.size(), &info);
  ASSERT_EQ(drawn->PixelFormat(), pgraphic::pf24Bit);
  ASSERT_EQ(drawn->Width(), info.Width);
  ASSERT_EQ(drawn->Height(), info.Height);
  // Nothing is drawn left of or above (1, 1).
  for (int x = 0; x < drawn->Width(); ++x) EXPECT_EQ(drawn->PixelColor(x, 0), 0xFFFFFFu) << x;
  for (int y = 0; y < drawn->Height(); ++y) EXPECT_EQ(drawn->PixelColor(0, y), 0xFFFFFFu) << y;

  const Difference d = Compare(*drawn, f.Peer());
  const Tolerance t = ToleranceFor(f.kind);
  EXPECT_GT(d.interiorCount, drawn->Width() * drawn->Height() / 4);
  EXPECT_LE(d.interiorOff, t.interiorOffShare * d.interiorCount);
  EXPECT_LT(d.mean, t.mean);
}

}  // namespace
