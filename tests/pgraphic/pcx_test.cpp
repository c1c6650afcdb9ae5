#include "pgraphic/formats/pcx.h"

#include <gtest/gtest.h>

#include <memory>

#include "pgraphic/formats/fileformat.h"
#include "support/peer_decode.h"

using namespace pgraphic;
using namespace testsupport;

namespace {

void ReadBytes(const std::vector<uint8_t>& bytes, TPixelGraphic& g) {
  TMemoryStream s(bytes);
  TPCXFileFormatReader().ReadGraphic(s, g, 0);
}

// A 128-byte header with palette info 1; the pixel data is appended by the caller.
std::vector<uint8_t> Header(int bitsPerPlane, int planes, int width, int height, int bpl,
                            int version = 5) {
  std::vector<uint8_t> h(128, 0);
  h[0] = 0x0A;
  h[1] = uint8_t(version);
  h[2] = 1;
  h[3] = uint8_t(bitsPerPlane);
  h[8] = uint8_t(width - 1);
  h[10] = uint8_t(height - 1);
  h[65] = uint8_t(planes);
  h[66] = uint8_t(bpl);
  h[68] = 1;
  return h;
}

void AppendGrayTrailer(std::vector<uint8_t>& f) {
  f.push_back(0x0C);
  for (int i = 0; i < 256; ++i) f.insert(f.end(), {uint8_t(i), uint8_t(i), uint8_t(i)});
}

class PCXPeers : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTool("/usr/bin/ppmtopcx") || !HaveTool(kImageMagick)) GTEST_SKIP() << "peers missing";
    scratch = std::make_unique<korvane_test::ScratchDir>(
        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    dir = scratch->path;
    src = dir + "/src.ppm";
    // An odd width gives odd bytes per line in every layout.
    ASSERT_TRUE(Shell(std::string(kImageMagick) +
                      " -size 37x23 gradient:red-blue -swirl 90 -depth 8 '" + src + "'"));
  }
  void Check(const std::string& file, TPGPixelFormat format, bool withImageMagick = true) {
    SCOPED_TRACE(file);
    TPixelGraphic g;
    TFileStream s(file, TFileStream::fmOpenRead);
    TPCXFileFormatReader().ReadGraphic(s, g, 0);
    EXPECT_EQ(g.PixelFormat(), format);
    TRGBImage ours = FromGraphic(g);
    EXPECT_EQ(Compare(DecodeWithNetpbm("pcxtoppm", file), ours), "");
    if (withImageMagick) {
      EXPECT_EQ(Compare(DecodeWithImageMagick(file), ours), "");
    }
  }
  std::unique_ptr<korvane_test::ScratchDir> scratch;
  std::string dir, src;
};

}  // namespace

TEST_F(PCXPeers, EveryLayoutReadsLikeThePeers) {
  const std::string d = dir + "/";
  ASSERT_TRUE(Shell("ppmtopgm '" + src + "' | pgmtopbm > '" + d + "bw.pbm'"));
  ASSERT_TRUE(Shell("ppmtopcx '" + d + "bw.pbm' > '" + d + "n1.pcx' 2>/dev/null"));
  ASSERT_TRUE(
      Shell("pnmquant 16 '" + src + "' 2>/dev/null | ppmtopcx > '" + d + "n4.pcx' 2>/dev/null"));
  ASSERT_TRUE(
      Shell("pnmquant 200 '" + src + "' 2>/dev/null | ppmtopcx > '" + d + "n8.pcx' 2>/dev/null"));
  ASSERT_TRUE(Shell("ppmtopcx -24bit '" + src + "' > '" + d + "n24.pcx' 2>/dev/null"));
  ASSERT_TRUE(Shell(std::string(kImageMagick) + " '" + src + "' -colors 200 '" + d + "im8.pcx'"));
  ASSERT_TRUE(Shell(std::string(kImageMagick) + " '" + src + "' '" + d + "im24.pcx'"));
  // ImageMagick shows 1-bit PCX files inverted against the header palette (black,
  // white) that netpbm writes and reads; the source bitmap settles it.
  Check(d + "n1.pcx", pf1Bit, false);
  {
    TPixelGraphic g;
    TFileStream s(d + "n1.pcx", TFileStream::fmOpenRead);
    TPCXFileFormatReader().ReadGraphic(s, g, 0);
    EXPECT_EQ(Compare(DecodeWithNetpbm("pbmtopgm 1 1", d + "bw.pbm"), FromGraphic(g)), "");
  }
  Check(d + "n4.pcx", pf4Bit);
  Check(d + "n8.pcx", pf8Bit);
  Check(d + "n24.pcx", pf24Bit);
  Check(d + "im8.pcx", pf8Bit);
  Check(d + "im24.pcx", pf24Bit);

  // Every truncation fails cleanly and keeps the rows read before the cut.
  std::vector<uint8_t> full = ReadFileBytes(d + "n24.pcx");
  TPixelGraphic whole;
  ReadBytes(full, whole);
  for (size_t cut = 0; cut < full.size(); cut += 7) {
    std::vector<uint8_t> part(full.begin(), full.begin() + long(cut));
    TPixelGraphic p;
    EXPECT_PG_MESSAGE(ReadBytes(part, p), "PCX: Unexpected end of file");
    if (cut > full.size() / 2) {
      EXPECT_EQ(p.PixelColor(5, 0), whole.PixelColor(5, 0)) << cut;
    }
  }
}

TEST_F(PCXPeers, Version3SixteenColoursUseTheSystemPalette) {
  const std::string n4 = dir + "/n4.pcx";
  ASSERT_TRUE(Shell("pnmquant 16 '" + src + "' 2>/dev/null | ppmtopcx > '" + n4 + "' 2>/dev/null"));
  // Version 3 files carry no palette of their own: the 16 system colours are used.
  std::vector<uint8_t> v3 = ReadFileBytes(n4);
  ASSERT_NE(v3[16 + 3 * 9], 255);  // the header palette differs from the system one
  v3[1] = 3;
  TPixelGraphic g;
  ReadBytes(v3, g);
  EXPECT_EQ(g.PaletteIdent(), pSys16);
  ASSERT_EQ(g.PaletteCount(), 16);
  EXPECT_EQ(g.PaletteColor(7), RGB(192, 192, 192));
  EXPECT_EQ(g.PaletteColor(9), RGB(255, 0, 0));
}

TEST(PCXReader, ScanLinesWithPaddingAndRunsCutAtTheLineEnd) {
  // 3 × 2 pixels, 8 bits, 4 bytes per line: the fourth byte is padding. The run
  // C5 07 covers five bytes but stops at the end of line 0; line 1 starts anew.
  std::vector<uint8_t> f = Header(8, 1, 3, 2, 4);
  f.insert(f.end(), {0x01, 0xC5, 0x07, 0xC2, 0x09, 0x0A, 0xC1, 0xFF});
  AppendGrayTrailer(f);
  TPixelGraphic g;
  ReadBytes(f, g);
  ASSERT_EQ(g.Width(), 3);
  ASSERT_EQ(g.Height(), 2);
  EXPECT_EQ(g.Pixel(0, 0), 1u);
  EXPECT_EQ(g.Pixel(1, 0), 7u);
  EXPECT_EQ(g.Pixel(2, 0), 7u);
  EXPECT_EQ(g.Pixel(0, 1), 9u);
  EXPECT_EQ(g.Pixel(1, 1), 9u);
  EXPECT_EQ(g.Pixel(2, 1), 10u);

  // Four planes of one bit: pixel = plane0 + 2·plane1 + 4·plane2 + 8·plane3,
  // plane k at k × bytes per line (2 here, one padding byte per plane).
  std::vector<uint8_t> p = Header(1, 4, 3, 1, 2);
  for (int i = 0; i < 48; ++i) p[16 + i] = uint8_t(i * 5);
  p.insert(p.end(), {0x80, 0x00, 0x40, 0x00, 0x20, 0x00, 0xC1, 0xE0, 0x00});  // E0 as a run
  TPixelGraphic q;
  ReadBytes(p, q);
  ASSERT_EQ(q.PixelFormat(), pf4Bit);
  EXPECT_EQ(q.Pixel(0, 0), 9u);
  EXPECT_EQ(q.Pixel(1, 0), 10u);
  EXPECT_EQ(q.Pixel(2, 0), 12u);
  EXPECT_EQ(q.PaletteColor(1), RGB(15, 20, 25));
}

TEST(PCXReader, RefusedHeaders) {
  TPixelGraphic g;
  std::vector<uint8_t> f = Header(8, 1, 3, 1, 4);
  f.insert(f.end(), {0xC4, 0x01});
  AppendGrayTrailer(f);

  EXPECT_PG_MESSAGE(
      {
        TMemoryStream s(f);
        TPCXFileFormatReader().ReadGraphic(s, g, 1);
      },
      "PCX: Index invalid");
  auto refused = [&](std::vector<uint8_t> bytes, const char* message) {
    EXPECT_PG_MESSAGE(ReadBytes(bytes, g), message);
  };
  std::vector<uint8_t> gray = f;
  gray[68] = 2;  // palette info "gray"
  refused(gray, "PCX: Unknown subformat");
  std::vector<uint8_t> noMarker = f;
  noMarker[noMarker.size() - 769] = 0x0B;
  refused(noMarker, "PCX: Unknown subformat");
  std::vector<uint8_t> layout = f;
  layout[65] = 2;  // 8 bits × 2 planes
  refused(layout, "PCX: Unknown subformat");
  // Sizes from the file are checked before use: a line too short for the width,
  // a negative width, and a file too small to hold the palette trailer.
  std::vector<uint8_t> shortLine = f;
  shortLine[66] = 2;
  refused(shortLine, "PCX: Unknown subformat");
  std::vector<uint8_t> negative = f;
  negative[4] = 9;  // xmin > xmax
  refused(negative, "PCX: Unknown subformat");
  refused(std::vector<uint8_t>(f.begin(), f.begin() + 300), "PCX: Unknown subformat");
  refused(std::vector<uint8_t>(f.begin(), f.begin() + 60), "PCX: Unexpected end of file");
}

TEST(PCXReader, InfoTexts) {
  TPCXFileFormatReader r;
  TPGFileInfo info;
  std::vector<uint8_t> f = Header(8, 3, 40, 30, 40);
  TMemoryStream s(f);
  r.ReadInfo(s, 0, info);
  EXPECT_EQ(info.BitsPerPixel, 24);
  EXPECT_EQ(info.Colors, "16.7M");
  EXPECT_EQ(info.Width, 40);
  EXPECT_EQ(info.Height, 30);
  EXPECT_EQ(info.SubType, "Version 3.0 (5)");
  EXPECT_EQ(info.Count, 1);

  std::vector<uint8_t> four = Header(1, 4, 8, 8, 1, 3);
  TMemoryStream s4(four);
  r.ReadInfo(s4, 0, info);
  EXPECT_EQ(info.BitsPerPixel, 4);
  EXPECT_EQ(info.Colors, "16");
  EXPECT_EQ(info.SubType, "Version 2.8 (3) without Palette");
  s4.Seek(0);
  EXPECT_PG_MESSAGE(r.ReadInfo(s4, 1, info), "PCX: Invalid value for Index");
}

TEST(PCXReader, ProgressAbortStopsAndEndRunsOnErrors) {
  std::vector<uint8_t> f = Header(8, 1, 2, 4, 2);
  for (int i = 0; i < 4; ++i) f.insert(f.end(), {uint8_t(i + 1), uint8_t(i + 1)});
  AppendGrayTrailer(f);
  TPixelGraphic g;
  int rows = 0, ends = 0;
  g.OnProgress = [&](TPixelGraphic&, int, int max, bool& abort) {
    EXPECT_EQ(max, 4);
    abort = ++rows == 2;
  };
  g.OnProgressEnd = [&](TPixelGraphic&) { ++ends; };
  ReadBytes(f, g);
  EXPECT_EQ(rows, 2);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(g.Pixel(0, 1), 2u);
  EXPECT_EQ(g.Pixel(0, 2), 0u);  // not read after the abort

  g.OnProgress = nullptr;
  std::vector<uint8_t> cut = Header(8, 3, 2, 4, 2);
  cut.insert(cut.end(), {1, 2, 3});
  EXPECT_PG_MESSAGE(ReadBytes(cut, g), "PCX: Unexpected end of file");
  EXPECT_EQ(ends, 2);
}

TEST(PCXDispatch, FoundBySignatureWhateverTheExtension) {
  std::vector<uint8_t> f = Header(8, 1, 2, 1, 2, 5);
  f.insert(f.end(), {0x05, 0x06});
  AppendGrayTrailer(f);
  const korvane_test::ScratchDir scratch("pcx_dispatch");
  const std::string file = scratch.File("picture.bmp");
  WriteFileBytes(file, f);
  TPixelGraphic g;
  g.LoadFromFile(file);
  EXPECT_EQ(g.PixelFormat(), pf8Bit);
  EXPECT_EQ(g.PixelColor(1, 0), RGB(6, 6, 6));
  std::string type;
  TPGFileInfo info;
  ASSERT_TRUE(GetFileInfo(file, 0, type, info));
  EXPECT_EQ(type, "Paintbrush");
  EXPECT_EQ(info.Colors, "256");
}
