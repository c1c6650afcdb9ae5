// Metafiles exported by a peer drawing program are drawn and compared with that
// program's own rendering; damaged and hostile metafiles fail with a clear error.
#include "metafile/metafile.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "support/metafile_peer.h"

using korvane_test::CompareWithPeer;
using korvane_test::MetafileDifference;
using korvane_test::MetafileToleranceFor;
using korvane_test::PeerImage;
using korvane_test::PeerInterior;
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

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  Put16(b, at, static_cast<uint16_t>(v));
  Put16(b, at + 2, static_cast<uint16_t>(v >> 16));
}

// One exported drawing: the metafile and the exporter's own PNG rendering of it.
struct Fixture {
  const char* drawing;
  const char* extension;
  TMetafileKind kind;
  std::string Path() const { return kDir + drawing + "." + extension; }
  QImage Peer() const { return QImage(QString::fromStdString(kDir + drawing + ".png")); }
  PeerImage PeerPixels() const {
    return korvane_test::DecodeWithImageMagick(kDir + drawing + ".png").value();
  }
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
  const std::string type =
      f.kind == mkWindows ? "Type: Windows Metafile" : "Type: Enhanced Metafile";
  EXPECT_EQ(metafile::MetafileInfoText(info), type + "; Size: " + size + "; Colors: 256");
  const auto labels = metafile::MetafileDialogLabels(info);
  EXPECT_EQ(labels.Type, "");
  EXPECT_EQ(labels.SubType, type);
  EXPECT_EQ(labels.Size, "Size: " + size + " pixeles");
  EXPECT_EQ(labels.Colors, "Colors: 256");
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

  const MetafileDifference d = CompareWithPeer(*drawn, f.PeerPixels());
  EXPECT_GT(d.interiorCount, drawn->Width() * drawn->Height() / 4);
  EXPECT_TRUE(MetafileToleranceFor(f.kind == mkEnhanced).Holds(d))
      << "mean " << d.mean << ", interior off " << d.interiorOff << " of " << d.interiorCount;
}

// The image the program shows: 8 bits with the fixed 252-colour palette, the
// drawing's size, and its colours, dithered, keep the local means of the drawing.
TEST_P(PeerDrawing, ShownImageUsesThe252ColourPalette) {
  const Fixture& f = GetParam();
  const auto bytes = ReadBytes(f.Path());
  const auto drawn = metafile::DrawMetafile(bytes.data(), bytes.size());
  TMetafileInfo info;
  const auto shown = metafile::LoadMetafileFile(f.Path(), &info);
  ASSERT_EQ(shown->PixelFormat(), pgraphic::pf8Bit);
  EXPECT_EQ(shown->PaletteIdent(), pgraphic::pSpecial252);
  ASSERT_EQ(shown->Width(), drawn->Width());
  ASSERT_EQ(shown->Height(), drawn->Height());
  EXPECT_EQ(info.Width, shown->Width());
  int worst = 0;
  for (int by = 0; by + 4 <= shown->Height(); by += 4)
    for (int bx = 0; bx + 4 <= shown->Width(); bx += 4)
      for (int i = 0; i < 3; ++i) {
        int a = 0, b = 0;
        for (int y = by; y < by + 4; ++y)
          for (int x = bx; x < bx + 4; ++x) {
            a += Channel(shown->PixelColor(x, y), i);
            b += Channel(drawn->PixelColor(x, y), i);
          }
        worst = std::max(worst, std::abs(a - b) / 16);
      }
  EXPECT_LE(worst, 24);
  // The lazily made application runs on the offscreen platform, whatever the
  // environment asks for: drawing never needs a display.
  if (f.kind == mkEnhanced) {
    EXPECT_EQ(QGuiApplication::platformName(), "offscreen");
  }
}

// Every cut copy of a fixture is either refused with the component's error or
// drawn at the size its headers give.
TEST_P(PeerDrawing, TruncatedCopiesFailCleanlyOrDraw) {
  const Fixture& f = GetParam();
  const auto bytes = ReadBytes(f.Path());
  int drawnCount = 0;
  for (size_t length = 0; length < bytes.size(); length += length < 128 ? 1 : 13) {
    SCOPED_TRACE(length);
    try {
      TMetafileInfo info;
      const auto image = metafile::LoadMetafile(bytes.data(), length, &info);
      EXPECT_EQ(image->Width(), info.Width);
      EXPECT_EQ(image->Height(), info.Height);
      ++drawnCount;
    } catch (const EPGMetafile&) {
    }
  }
  EXPECT_GT(drawnCount, 0);
}

// Offset of the last record of a given type (WMF function or EMF record type).
size_t LastRecord(const std::vector<uint8_t>& b, TMetafileKind kind, uint32_t type) {
  auto u32 = [&](size_t p) {
    return b[p] | b[p + 1] << 8 | b[p + 2] << 16 | uint32_t{b[p + 3]} << 24;
  };
  size_t found = 0;
  if (kind == mkWindows) {
    for (size_t p = 40; p + 6 <= b.size() && u32(p) >= 3; p += 2 * u32(p))
      if (static_cast<uint32_t>(b[p + 4] | b[p + 5] << 8) == type) found = p;
  } else {
    for (size_t p = 0; p + 8 <= b.size() && u32(p + 4) >= 8; p += u32(p + 4))
      if (u32(p) == type) found = p;
  }
  return found;
}

// A file cut inside its last shape still shows everything recorded before it.
TEST(MetafileRepair, CutInsideTheLastShapeDrawsTheShapesBefore) {
  const struct {
    Fixture fixture;
    uint32_t lastShapeRecord;  // the triangle: a polygon (WMF) or the path it opens (EMF)
  } cases[] = {{kFixtures[0], 0x0324}, {kFixtures[1], 59}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fixture.extension);
    const auto bytes = ReadBytes(c.fixture.Path());
    const size_t cut = LastRecord(bytes, c.fixture.kind, c.lastShapeRecord) + 12;
    ASSERT_GT(cut, 12u);
    const auto drawn = metafile::DrawMetafile(bytes.data(), cut);
    const QImage peer = c.fixture.Peer();
    // Centres of the red rectangle and of the triangle in the drawing.
    EXPECT_EQ(drawn->PixelColor(31 + 1, 21 + 1) & 0xFFFFFF,
              pgraphic::RGB(qRed(peer.pixel(31, 21)), qGreen(peer.pixel(31, 21)),
                            qBlue(peer.pixel(31, 21))));
    EXPECT_NE(peer.pixel(92, 64), qRgb(255, 255, 255));
    EXPECT_EQ(drawn->PixelColor(92 + 1, 64 + 1), 0xFFFFFFu);
  }
}

// An EMF's frame places the picture; the bounds of what was drawn do not, even
// when a writer records them tighter than the frame.
TEST(MetafileRepair, EmfFramePlacesThePicture) {
  const auto bytes = ReadBytes(kFixtures[1].Path());
  auto tight = bytes;
  Put32(tight, 8, 100);  // bounds left and top, device units inside the frame
  Put32(tight, 12, 50);
  const auto expected = metafile::DrawMetafile(bytes.data(), bytes.size());
  const auto drawn = metafile::DrawMetafile(tight.data(), tight.size());
  ASSERT_EQ(drawn->Width(), expected->Width());
  ASSERT_EQ(drawn->Height(), expected->Height());
  int off = 0;
  for (int y = 0; y < drawn->Height(); ++y)
    for (int x = 0; x < drawn->Width(); ++x)
      for (int i = 0; i < 3; ++i)
        off += std::abs(Channel(drawn->PixelColor(x, y), i) -
                        Channel(expected->PixelColor(x, y), i)) > 4;
  EXPECT_EQ(off, 0);
}

// Without the placeable header a WMF is in device units: its window extent is the
// picture size, and the drawing fills it at that scale.
TEST(MetafileRepair, PlainWmfIsSizedByItsWindow) {
  auto bytes = ReadBytes(kFixtures[0].Path());
  const int frameWidth = bytes[10] | bytes[11] << 8, frameHeight = bytes[12] | bytes[13] << 8;
  bytes.erase(bytes.begin(), bytes.begin() + 22);
  TMetafileInfo info;
  const auto drawn = metafile::DrawMetafile(bytes.data(), bytes.size(), &info);
  EXPECT_EQ(info.Kind, mkWindows);
  ASSERT_EQ(info.Width, frameWidth);
  ASSERT_EQ(info.Height, frameHeight);
  const QImage peer = kFixtures[0].Peer();
  const PeerImage peerPixels = kFixtures[0].PeerPixels();
  int checked = 0;
  for (int y = 0; y < peer.height(); y += 3)
    for (int x = 0; x < peer.width(); x += 3) {
      if (!PeerInterior(peerPixels, x, y)) continue;
      const int dx = 1 + (2 * x + 1) * info.Width / (2 * peer.width());
      const int dy = 1 + (2 * y + 1) * info.Height / (2 * peer.height());
      const TRGB ours = drawn->PixelColor(dx, dy);
      for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(Channel(ours, i), PeerChannel(peer.pixel(x, y), i), 4) << x << "," << y;
      ++checked;
    }
  EXPECT_GT(checked, 100);
}

// Where a rendering has ink (any channel below 160): its bounding box, amount and
// the columns that hold any.
struct Ink {
  int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1, count = 0;
  std::vector<bool> columns;
  void Add(int x, int y, int r, int g, int b) {
    if (std::min({r, g, b}) >= 160) return;
    left = std::min(left, x), top = std::min(top, y);
    right = std::max(right, x), bottom = std::max(bottom, y);
    ++count;
    if (columns.size() <= static_cast<size_t>(x)) columns.resize(x + 1);
    columns[x] = true;
  }
  // Columns inked here with no ink within `slack` columns in `other`: where a
  // glyph is missing.
  int ColumnsMissingIn(const Ink& other, int slack) const {
    int missing = 0;
    for (int x = 0; x < static_cast<int>(columns.size()); ++x) {
      if (!columns[x]) continue;
      bool found = false;
      for (int o = std::max(0, x - slack);
           o <= x + slack && o < static_cast<int>(other.columns.size()); ++o)
        found = found || other.columns[o];
      missing += !found;
    }
    return missing;
  }
};

// A line of text is drawn with the fonts at hand (the player's own set for WMF,
// the system's for EMF), not the exporter's, so glyph shapes differ: the text must
// stand where the peer put it, within 3 pixels on every side, with about as much ink.
// The exporter writes text as glyph outlines, some of them (u) as a polygon
// list that ends with an empty polygon.
TEST(MetafileText, TextStandsWhereThePeerDrewIt) {
  for (const std::string drawing : {"text", "glyphs"}) {
    const QImage peer(QString::fromStdString(kDir + drawing + ".png"));
    Ink expected;
    for (int y = 0; y < peer.height(); ++y)
      for (int x = 0; x < peer.width(); ++x) {
        const QRgb c = peer.pixel(x, y);
        expected.Add(x, y, qRed(c), qGreen(c), qBlue(c));
      }
    ASSERT_GT(expected.count, 100);
    for (const char* extension : {"wmf", "emf"}) {
      SCOPED_TRACE(drawing + "." + extension);
      const auto bytes = ReadBytes(kDir + drawing + "." + extension);
      const auto drawn = metafile::DrawMetafile(bytes.data(), bytes.size());
      Ink ink;
      for (int y = 1; y < drawn->Height(); ++y)
        for (int x = 1; x < drawn->Width(); ++x) {
          const TRGB c = drawn->PixelColor(x, y);
          ink.Add(x - 1, y - 1, Channel(c, 0), Channel(c, 1), Channel(c, 2));
        }
      EXPECT_NEAR(ink.left, expected.left, 3);
      EXPECT_NEAR(ink.top, expected.top, 3);
      EXPECT_NEAR(ink.right, expected.right, 3);
      EXPECT_NEAR(ink.bottom, expected.bottom, 3);
      EXPECT_GT(ink.count, expected.count * 7 / 10);
      EXPECT_LT(ink.count, expected.count * 14 / 10);
      EXPECT_EQ(expected.ColumnsMissingIn(ink, 2), 0);
    }
  }
}

// Damaged headers and hostile sizes are refused before any library sees them.
struct Hostile {
  const char* name;
  size_t fixture;  // index into kFixtures
  std::function<void(std::vector<uint8_t>&)> damage;
  const char* message;
};

std::ostream& operator<<(std::ostream& os, const Hostile& h) {
  return os << h.name;
}

const Hostile kHostile[] = {
    {"Empty", 0, [](auto& b) { b.clear(); }, "Metafile: Unknown format"},
    {"Text", 0, [](auto& b) { b.assign(200, 'x'); }, "Metafile: Unknown format"},
    {"WmfZeroUnitsPerInch", 0, [](auto& b) { Put16(b, 14, 0); }, "WMF: Invalid header"},
    {"WmfBadVersion", 0, [](auto& b) { Put16(b, 22 + 4, 0x0200); }, "WMF: Invalid header"},
    {"WmfHugeFrame", 0,
     [](auto& b) {
       Put16(b, 10, 32767);
       Put16(b, 12, 32767);
       Put16(b, 14, 1);
     },
     "WMF: Picture too large"},
    {"WmfEmptyFrame", 0, [](auto& b) { Put16(b, 10, 0); }, "WMF: Invalid picture size"},
    {"WmfPolygonPointsBeyondRecord", 0,
     [](auto& b) { Put16(b, LastRecord(b, mkWindows, 0x0324) + 6, 0x7FFF); },
     "WMF: Invalid record"},
    {"WmfPlainWithoutWindow", 0,
     [](auto& b) {
       b.erase(b.begin(), b.begin() + 22);
       Put16(b, 18 + 4, 0x0F00);  // the window-extent record becomes an unknown one
     },
     "WMF: Picture size unknown"},
    {"EmfHugeFrame", 1, [](auto& b) { Put32(b, 32, 0x7FFFFFFF); }, "EMF: Picture too large"},
    {"EmfEmptyFrame", 1,
     [](auto& b) {
       Put32(b, 32, 0);
       Put32(b, 24, 0);
     },
     "EMF: Invalid picture size"},
    {"EmfHeaderBeyondFile", 1, [](auto& b) { Put32(b, 4, 0xFFFFFFF0); }, "EMF: Invalid header"},
    {"EmfDescriptionBeyondHeader", 1, [](auto& b) { Put32(b, 60, 5000); }, "EMF: Invalid header"},
    {"EmfUnknownRecord", 1, [](auto& b) { Put32(b, 216, 0x7777); }, "EMF: Invalid record"},
    {"EmfSecondHeader", 1, [](auto& b) { Put32(b, 216, 1); }, "EMF: Invalid record"},
};

class HostileMetafile : public testing::TestWithParam<Hostile> {};

INSTANTIATE_TEST_SUITE_P(Metafile, HostileMetafile, testing::ValuesIn(kHostile),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(HostileMetafile, IsRefusedWithAClearMessage) {
  auto bytes = ReadBytes(kFixtures[GetParam().fixture].Path());
  GetParam().damage(bytes);
  for (const bool draw : {false, true}) {
    try {
      if (draw)
        metafile::LoadMetafile(bytes.data(), bytes.size());
      else
        metafile::ReadMetafileInfo(bytes.data(), bytes.size());
      ADD_FAILURE() << "accepted (draw = " << draw << ")";
    } catch (const EPGMetafile& e) {
      EXPECT_EQ(std::string(e.what()).rfind(GetParam().message, 0), 0u) << e.what();
    }
  }
}

TEST(MetafileFiles, MissingFileAndNamesByExtension) {
  EXPECT_THROW(metafile::LoadMetafileFile(kDir + "missing.wmf"), EPixelGraphic);
  const struct {
    const char* name;
    bool metafile;
  } names[] = {{"a.wmf", true},  {"B.EMF", true},   {"dir.x/c.Wmf", true},
               {".emf", true},   {"a.wmfx", false}, {"emf", false},
               {"a.png", false}, {"", false},       {"a.wmf.png", false}};
  for (const auto& n : names)
    EXPECT_EQ(metafile::IsMetafileExtension(n.name), n.metafile) << n.name;
}

}  // namespace
