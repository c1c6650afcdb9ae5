// The BMP reader and writer on hand-built files: every header path, the bit-field
// rule, RLE decoding, progress and abort, and the image's own DIB streams.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pgraphic/formats/bmp.h"
#include "pgraphic/image/pixelgraphic.h"
#include "pgraphic/image/print.h"
#include "support/bmp_builder.h"

using namespace pgraphic;
using korvane_test::BmpSpec;
using korvane_test::BuildBmp;

namespace {

void Load(TPixelGraphic& g, const std::vector<uint8_t>& bytes) {
  TReadOnlyMemoryStream s(bytes.data(), bytes.size());
  g.LoadFromStream(s);
}

std::string LoadError(const std::vector<uint8_t>& bytes) {
  TPixelGraphic g;
  try {
    Load(g, bytes);
  } catch (const EPGBMPFileFormatReader& e) {
    return e.what();
  }
  return "no error";
}

TPGFileInfo Info(const std::vector<uint8_t>& bytes) {
  TReadOnlyMemoryStream s(bytes.data(), bytes.size());
  std::string type;
  TPGFileInfo info;
  EXPECT_TRUE(GetStreamInfo(s, "", 0, type, info));
  EXPECT_EQ(type, "Bitmap");
  return info;
}

}  // namespace

TEST(BmpReader, RefusesHeadersAndFieldsItCannotRead) {
  BmpSpec v5;
  v5.headerSize = 108;
  v5.pixels = {1, 2, 3, 0};
  EXPECT_EQ(LoadError(BuildBmp(v5)), "BMP: Invalid size of BitmapInfoHeader/BitmapCoreHeader");
  v5.headerSize = 124;
  EXPECT_EQ(LoadError(BuildBmp(v5)), "BMP: Invalid size of BitmapInfoHeader/BitmapCoreHeader");

  BmpSpec rle;
  rle.bitCount = 8;
  rle.compression = 1;
  rle.height = -2;
  rle.palette.assign(256, 0);
  rle.pixels = {0, 1};
  EXPECT_EQ(LoadError(BuildBmp(rle)), "BMP: BitmapInfoHeader.biCompression invalid");
  rle.bitCount = 4;  // RLE8 with 4 bits
  rle.height = 2;
  rle.palette.assign(16, 0);
  EXPECT_EQ(LoadError(BuildBmp(rle)), "BMP: BitmapInfoHeader.biCompression invalid");
  rle.compression = 3;  // bit fields with 4 bits
  EXPECT_EQ(LoadError(BuildBmp(rle)), "BMP: BitmapInfoHeader.biCompression invalid");

  BmpSpec planes;
  planes.planes = 2;
  planes.pixels = {0, 0, 0, 0};
  EXPECT_EQ(LoadError(BuildBmp(planes)), "BMP: BitmapInfoHeader.biPlanes invalid");
  planes.planes = 1;
  planes.bitCount = 2;
  EXPECT_EQ(LoadError(BuildBmp(planes)), "BMP: BitmapInfoHeader.biBitCount invalid");

  BmpSpec core;
  core.headerSize = 12;
  core.planes = 0;
  EXPECT_EQ(LoadError(BuildBmp(core)), "BMP: BitmapCoreHeader.bcPlanes invalid");
  core.planes = 1;
  core.bitCount = 16;  // core headers know no 16-bit pixels
  EXPECT_EQ(LoadError(BuildBmp(core)), "BMP: BitmapCoreHeader.bcBitCount invalid");

  // A file cut inside its information header.
  std::vector<uint8_t> cut = BuildBmp(BmpSpec{});
  cut.resize(30);
  EXPECT_EQ(LoadError(cut), "BMP: Unexpected end of file");
}

TEST(BmpReader, ImageIndexOtherThanZeroIsRefused) {
  const std::vector<uint8_t> bytes = BuildBmp(korvane_test::PixelsOnly({1, 2, 3, 0}));
  TBMPFileFormatReader reader;
  TReadOnlyMemoryStream s(bytes.data(), bytes.size());
  TPixelGraphic g;
  try {
    reader.ReadGraphic(s, g, 1);
    FAIL();
  } catch (const EPGBMPFileFormatReader& e) {
    EXPECT_STREQ(e.what(), "BMP: Index invalid");
  }
  TPGFileInfo info;
  try {
    reader.ReadInfo(s, 1, info);
    FAIL();
  } catch (const EPGBMPFileFormatReader& e) {
    EXPECT_STREQ(e.what(), "BMP: Invalid value for Index");
  }
}

TEST(BmpReader, BitFieldChannelsWidenByTheRoundingRule) {
  // Default 5-5-5 masks: red 31, green 0, blue 1 in one pixel.
  BmpSpec s;
  s.bitCount = 16;
  s.width = 2;
  const uint16_t p0 = (31 << 10) | (0 << 5) | 1;
  const uint16_t p1 = (1 << 10) | (31 << 5) | 0;
  s.pixels = {static_cast<uint8_t>(p0), static_cast<uint8_t>(p0 >> 8), static_cast<uint8_t>(p1),
              static_cast<uint8_t>(p1 >> 8)};
  TPixelGraphic g;
  Load(g, BuildBmp(s));
  ASSERT_EQ(g.PixelFormat(), pf24Bit);
  EXPECT_EQ(g.PixelColor(0, 0), RGB(255, 0, 16));
  EXPECT_EQ(g.PixelColor(1, 0), RGB(16, 255, 0));

  {
    TPGSettingScope plain(PGBMP16BitRounding, false);
    Load(g, BuildBmp(s));
  }
  EXPECT_EQ(g.PixelColor(0, 0), RGB(248, 0, 8));

  // 5-6-5 bit fields: green has six bits (a 6-bit value v gives 4 v + 4).
  s.compression = 3;
  s.masks = {0xF800, 0x07E0, 0x001F};
  const uint16_t q = (31 << 11) | (1 << 5) | 16;
  s.pixels = {static_cast<uint8_t>(q), static_cast<uint8_t>(q >> 8), 0, 0};
  Load(g, BuildBmp(s));
  EXPECT_EQ(g.PixelColor(0, 0), RGB(255, 8, 136));

  // A zero mask reads as 0; a mask narrower than the stored value widens left.
  s.masks = {0, 0x000F, 0x00F0};
  const uint16_t z = 0x00A5;
  s.pixels = {static_cast<uint8_t>(z), 0, 0, 0};
  Load(g, BuildBmp(s));
  EXPECT_EQ(g.PixelColor(0, 0), RGB(0, 5 * 16 + 16, 10 * 16 + 16));
}

TEST(BmpReader, ThirtyTwoBitPixelsAndMasks) {
  BmpSpec s;
  s.bitCount = 32;
  s.pixels = {86, 52, 18, 0};
  TPixelGraphic g;
  Load(g, BuildBmp(s));
  EXPECT_EQ(g.PixelColor(0, 0), RGB(18, 52, 86));

  // Masks in the top bytes (as alpha-carrying writers store them); no rounding
  // for 32 bits.
  s.compression = 3;
  s.masks = {0xFF000000, 0x00FF0000, 0x0000FF00};
  s.pixels = {0xEE, 3, 2, 1};
  Load(g, BuildBmp(s));
  EXPECT_EQ(g.PixelColor(0, 0), RGB(1, 2, 3));
}

TEST(BmpReader, TopDownFilesLoadUprightAndReportTheirHeight) {
  BmpSpec s;
  s.bitCount = 8;
  s.width = 2;
  s.height = -3;
  s.palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
  s.clrUsed = 4;
  // First stored row is the top row.
  s.pixels = {1, 1, 0, 0, 2, 2, 0, 0, 3, 3, 0, 0};
  const std::vector<uint8_t> bytes = BuildBmp(s);
  TPixelGraphic g;
  Load(g, bytes);
  ASSERT_EQ(g.Height(), 3);
  EXPECT_EQ(g.Pixel(0, 0), 1u);
  EXPECT_EQ(g.Pixel(1, 1), 2u);
  EXPECT_EQ(g.Pixel(0, 2), 3u);
  EXPECT_EQ(g.PaletteCount(), 4);
  const TPGFileInfo info = Info(bytes);
  EXPECT_EQ(info.Height, -3);
  EXPECT_EQ(info.Width, 2);
  EXPECT_EQ(info.SubType, "Windows, RGB, Top-Down");
  EXPECT_EQ(info.Colors, "256");
  EXPECT_EQ(info.BitsPerPixel, 8);
  EXPECT_EQ(info.Count, 1);

  // Top-down 32 bits go row by row straight to their place.
  BmpSpec t;
  t.bitCount = 32;
  t.height = -2;
  t.pixels = {0, 0, 200, 0, 0, 100, 0, 0};
  Load(g, BuildBmp(t));
  EXPECT_EQ(g.PixelColor(0, 0), RGB(200, 0, 0));
  EXPECT_EQ(g.PixelColor(0, 1), RGB(0, 100, 0));
}

TEST(BmpReader, InfoTextsOfEverySubtype) {
  BmpSpec s;
  s.headerSize = 12;
  s.bitCount = 4;
  s.width = 7;
  s.height = 5;
  EXPECT_EQ(Info(BuildBmp(s)).SubType, "OS/2");
  EXPECT_EQ(Info(BuildBmp(s)).Colors, "16");
  s.headerSize = 40;
  s.bitCount = 8;
  s.compression = 1;
  EXPECT_EQ(Info(BuildBmp(s)).SubType, "Windows, RLE8");
  s.bitCount = 4;
  s.compression = 2;
  EXPECT_EQ(Info(BuildBmp(s)).SubType, "Windows, RLE4");
  s.bitCount = 16;
  s.compression = 3;
  EXPECT_EQ(Info(BuildBmp(s)).SubType, "Windows");
  EXPECT_EQ(Info(BuildBmp(s)).Colors, "64K");
  s.bitCount = 32;
  EXPECT_EQ(Info(BuildBmp(s)).Colors, "16.7M");
  s.bitCount = 1;
  s.compression = 0;
  EXPECT_EQ(Info(BuildBmp(s)).Colors, "2");
}

TEST(BmpReader, ShortAndOversizedColourTables) {
  BmpSpec s;
  s.bitCount = 8;
  s.width = 2;
  s.clrUsed = 5;
  s.palette = {0x010203, 0x040506, 0x070809, 0x0A0B0C, 0x0D0E0F};
  s.pixels = {4, 0, 0, 0};
  TPixelGraphic g;
  Load(g, BuildBmp(s));
  EXPECT_EQ(g.PaletteCount(), 5);
  EXPECT_EQ(g.PixelColor(0, 0), RGB(0x0D, 0x0E, 0x0F));
  EXPECT_EQ(g.PaletteColor(0), RGB(1, 2, 3));

  // More colours declared than a 1-bit image can index: the surplus is stepped
  // over and the pixels are still found after it.
  BmpSpec m;
  m.bitCount = 1;
  m.width = 8;
  m.clrUsed = 4;
  m.palette = {0x000000, 0xFFFFFF, 0x123456, 0x654321};
  m.pixels = {0xA0, 0, 0, 0};
  Load(g, BuildBmp(m));
  EXPECT_EQ(g.PaletteCount(), 2);
  EXPECT_EQ(g.Pixel(0, 0), 1u);
  EXPECT_EQ(g.Pixel(1, 0), 0u);
  EXPECT_EQ(g.Pixel(2, 0), 1u);

  // OS/2: three-byte entries, always the full table.
  BmpSpec o;
  o.headerSize = 12;
  o.bitCount = 1;
  o.width = 2;
  o.palette = {0x112233, 0x445566};
  o.pixels = {0x40, 0, 0, 0};
  Load(g, BuildBmp(o));
  EXPECT_EQ(g.PaletteCount(), 2);
  EXPECT_EQ(g.PixelColor(0, 0), RGB(0x11, 0x22, 0x33));
  EXPECT_EQ(g.PixelColor(1, 0), RGB(0x44, 0x55, 0x66));
}

TEST(BmpReader, RunLengthEncodedPixels) {
  // RLE8 on 4 x 2: a run of three 5s in the bottom row, end of line, two 7s in
  // the top row, end of bitmap.
  BmpSpec s;
  s.bitCount = 8;
  s.compression = 1;
  s.width = 4;
  s.height = 2;
  s.palette.assign(8, 0);
  s.clrUsed = 8;
  s.pixels = {0x03, 0x05, 0x00, 0x00, 0x02, 0x07, 0x00, 0x01};
  TPixelGraphic g;
  Load(g, BuildBmp(s));
  const uint32_t expected[2][4] = {{7, 7, 0, 0}, {5, 5, 5, 0}};
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(g.Pixel(x, y), expected[y][x]) << x << "," << y;
  }

  // Absolute run of three (padded to even), a delta right 1 and up 1, a run.
  s.pixels = {0x00, 0x03, 1, 2, 3, 0x00, 0x00, 0x02, 0x00, 0x01, 0x01, 0x04, 0x00, 0x01};
  Load(g, BuildBmp(s));
  EXPECT_EQ(g.Pixel(0, 1), 1u);
  EXPECT_EQ(g.Pixel(2, 1), 3u);
  EXPECT_EQ(g.Pixel(3, 0), 4u);  // after the delta up by one: x = 3, top row
  EXPECT_EQ(g.Pixel(0, 0), 0u);

  // RLE4: nibbles alternate high, low; an absolute run of 3 nibbles; pixels
  // past the right edge are dropped.
  BmpSpec r;
  r.bitCount = 4;
  r.compression = 2;
  r.width = 5;
  r.height = 1;
  r.palette.assign(16, 0);
  r.pixels = {0x03, 0x12, 0x00, 0x03, 0x9A, 0xB0, 0x00, 0x00};
  Load(g, BuildBmp(r));
  const uint32_t row[5] = {1, 2, 1, 9, 10};
  for (int x = 0; x < 5; ++x) EXPECT_EQ(g.Pixel(x, 0), row[x]) << x;

  // A run that leaves the image raises only when the image checks ranges.
  s.pixels = {0x06, 0x02, 0x00, 0x01};
  TPixelGraphic quiet;
  EXPECT_NO_THROW(Load(quiet, BuildBmp(s)));
  EXPECT_EQ(quiet.Pixel(3, 1), 2u);
  TPixelGraphic strict;
  strict.SetCheckRange(true);
  const std::vector<uint8_t> bytes = BuildBmp(s);
  TReadOnlyMemoryStream stream(bytes.data(), bytes.size());
  try {
    strict.LoadFromStream(stream);
    FAIL();
  } catch (const EPGXYIndexOutOfRange& e) {
    EXPECT_STREQ(e.what(), "X, Y index out of range");
  }
}

TEST(BmpReader, ProgressInTenSlicesAndAbortLeavesTheRest) {
  BmpSpec s;
  s.width = 100;
  s.height = 10;
  s.pixels.assign(300 * 10, 0x55);
  const std::vector<uint8_t> bytes = BuildBmp(s);
  TPixelGraphic g;
  std::vector<int> steps;
  int starts = 0, ends = 0;
  g.OnProgressStart = [&](TPixelGraphic&) { ++starts; };
  g.OnProgressEnd = [&](TPixelGraphic&) { ++ends; };
  g.OnProgress = [&](TPixelGraphic&, int step, int max, bool& abort) {
    EXPECT_EQ(max, 10);
    steps.push_back(step);
    abort = step == 3;
  };
  Load(g, bytes);
  EXPECT_EQ(steps, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(ends, 1);
  // Three tenths of the buffer were read: bottom rows 0..2 of storage.
  EXPECT_EQ(g.Pixel(0, 9), 0x555555u);
  EXPECT_EQ(g.Pixel(0, 0), 0u);
}

TEST(BmpReader, HeadersClaimingHugeImagesFailCleanly) {
  BmpSpec s;
  s.width = 0x7FFFFFFF;
  s.height = 0x7FFFFFFF;
  s.pixels = {1, 2, 3, 4};
  TPixelGraphic g;
  EXPECT_THROW(Load(g, BuildBmp(s)), EPixelGraphic);
  EXPECT_EQ(g.Width(), 0);
  s.height = INT32_MIN;
  EXPECT_THROW(Load(g, BuildBmp(s)), EPixelGraphic);
  // Negative width.
  s.width = -5;
  s.height = 1;
  EXPECT_THROW(Load(g, BuildBmp(s)), EPixelGraphic);
  // An RLE size field far beyond the data: only what exists is read.
  BmpSpec r;
  r.bitCount = 8;
  r.compression = 1;
  r.width = 4;
  r.height = 1;
  r.sizeImage = 0xFFFFFFF0u;
  r.palette.assign(256, 0);
  r.pixels = {0x02, 0x09};
  Load(g, BuildBmp(r));
  EXPECT_EQ(g.Pixel(1, 0), 9u);
}

TEST(BmpWriter, WritesTheUncompressedLayoutAndReadsBack) {
  TPixelGraphic g;
  g.SetSize(1, 2, pf24Bit);
  g.SetPixelColor(0, 0, RGB(10, 20, 30));
  g.SetPixelColor(0, 1, RGB(40, 50, 60));
  TMemoryStream out;
  g.SaveToStream(out);
  const std::vector<uint8_t>& b = out.Bytes();
  ASSERT_EQ(b.size(), 14u + 40u + 8u);  // two rows of 3 bytes + 1 padding
  EXPECT_EQ(b[0], 'B');
  EXPECT_EQ(b[2], 62);   // file size
  EXPECT_EQ(b[10], 54);  // pixel offset
  EXPECT_EQ(b[14], 40);  // header size
  EXPECT_EQ(b[28], 24);  // bit count
  EXPECT_EQ(b[34], 8);   // image size
  EXPECT_EQ(b[46], 0);   // colours used
  EXPECT_EQ(b[54], 60);  // bottom row first, blue first
  EXPECT_EQ(b[58], 30);

  for (TPGPixelFormat f : {pf1Bit, pf4Bit, pf8Bit}) {
    TPixelGraphic p;
    p.SetSize(13, 3, f);
    const int n = f == pf1Bit ? 2 : f == pf4Bit ? 11 : 200;
    p.SetPaletteCount(n);
    for (int i = 0; i < n; ++i) p.SetPaletteColor(i, RGB(i, 255 - i, i * 7 % 256));
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 13; ++x) p.SetPixel(x, y, static_cast<uint32_t>((x * 3 + y) % n));
    }
    TMemoryStream s;
    p.SaveToStream(s);
    EXPECT_EQ(s.Bytes()[10], static_cast<uint8_t>(54 + 4 * n));
    s.Seek(0);
    TPixelGraphic q;
    q.LoadFromStream(s);
    ASSERT_EQ(q.PixelFormat(), f);
    ASSERT_EQ(q.PaletteCount(), n);
    for (int i = 0; i < n; ++i) EXPECT_EQ(q.PaletteColor(i), p.PaletteColor(i));
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 13; ++x) EXPECT_EQ(q.Pixel(x, y), p.Pixel(x, y));
    }
  }
}

TEST(DibStreams, PackedDibClipboardAndComponentData) {
  TPixelGraphic g;
  g.SetSize(5, 4, pf4Bit);
  g.SetPaletteCount(3);
  g.SetPaletteColor(0, RGB(1, 2, 3));
  g.SetPaletteColor(1, RGB(4, 5, 6));
  g.SetPaletteColor(2, RGB(7, 8, 9));
  for (int x = 0; x < 5; ++x) g.SetPixel(x, x % 4, static_cast<uint32_t>(1 + x % 2));
  EXPECT_EQ(g.DIBSize(), 58 + 12 + 16);

  unsigned format = 0;
  const std::vector<uint8_t> packed = g.SaveToClipboardFormat(format);
  EXPECT_EQ(format, 8u);
  EXPECT_EQ(packed.size(), 40u + 12u + 16u);
  TPixelGraphic c;
  c.SetGamma(1.0L);
  c.LoadFromClipboardFormat(8, packed.data(), packed.size());
  EXPECT_EQ(c.Gamma(), PGDisplayGamma);
  ASSERT_EQ(c.Width(), 5);
  ASSERT_EQ(c.PaletteCount(), 3);
  for (int x = 0; x < 5; ++x) EXPECT_EQ(c.PixelColor(x, x % 4), g.PixelColor(x, x % 4));
  try {
    c.LoadFromClipboardFormat(3, packed.data(), packed.size());
    FAIL();
  } catch (const EPGUnknownClipboardFormat& e) {
    EXPECT_STREQ(e.what(), "Unknown clipboard format");
  }
  EXPECT_THROW(c.LoadFromClipboardFormat(8, nullptr, 0), EPGUnknownClipboardFormat);

  // Component data: length-prefixed BMP; the reader continues after it.
  TMemoryStream s;
  g.WriteData(s);
  const uint8_t tail[3] = {0xAB, 0xCD, 0xEF};
  s.WriteBuffer(tail, 3);
  const auto& b = s.Bytes();
  const uint32_t length = b[0] | (b[1] << 8) | (b[2] << 16) | (b[3] << 24);
  EXPECT_EQ(length, b.size() - 4 - 3);
  s.Seek(0);
  TPixelGraphic d;
  d.ReadData(s);
  EXPECT_EQ(s.Position(), static_cast<int64_t>(4 + length));
  EXPECT_EQ(d.PixelColor(2, 2), g.PixelColor(2, 2));
}

TEST(PrintFitting, RectangleAndTitle) {
  EXPECT_EQ(PrintRect(200, 100, 2000, 3000, 1, 1), (TPGRect{0, 1000, 2000, 2000}));
  EXPECT_EQ(PrintRect(100, 300, 2000, 3000, 1, 1), (TPGRect{500, 0, 1500, 3000}));
  // Printer pixels twice as tall as wide: the image's height takes half the dots.
  EXPECT_EQ(PrintRect(200, 100, 2000, 3000, 1, 2), (TPGRect{0, 1250, 2000, 1750}));
  EXPECT_EQ(PrintTitle("Korvane", 640, 480, 24), "Korvane Graphic 640x480x16777216");
  EXPECT_TRUE(PrintLandscape(3, 2));
  EXPECT_FALSE(PrintLandscape(2, 3));
}

TEST(PrintFitting, RoundingRemaindersAndAspectKeepTheImageOnThePage) {
  struct Case {
    int w, h, pw, ph, ax, ay;
    TPGRect expected;
  };
  const Case cases[] = {
      {3, 1, 10, 10, 1, 1, {0, 3, 10, 7}},       // 3.33 rounds to 3
      {4, 1, 10, 10, 1, 1, {0, 4, 10, 6}},       // 2.5 rounds to even 2
      {4, 3, 10, 10, 1, 1, {0, 1, 10, 9}},       // 7.5 rounds to even 8
      {1, 1, 7, 10, 1, 1, {0, 1, 7, 9}},         // odd leftover: top = 3 div 2
      {1, 3, 10, 10, 1, 1, {3, 0, 7, 10}},       // spans the height
      {2, 3, 200, 300, 1, 1, {0, 0, 200, 300}},  // same shape as the page
      // Device pixels twice as wide as high: a square takes half the dots across.
      {100, 100, 1000, 1000, 2, 1, {250, 0, 750, 1000}},
      {100, 100, 1000, 1000, 1, 2, {0, 250, 1000, 750}},
      {300, 100, 1000, 1000, 2, 1, {0, 166, 1000, 834}},  // 666.7 rounds to 667
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " on " << c.pw << "x" << c.ph
                                    << " aspect " << c.ax << ":" << c.ay);
    const TPGRect r = PrintRect(c.w, c.h, c.pw, c.ph, c.ax, c.ay);
    EXPECT_EQ(r, c.expected);
    EXPECT_TRUE(r.Left >= 0 && r.Top >= 0 && r.Right <= c.pw && r.Bottom <= c.ph);
  }
}
