#include "pgraphic/formats/pxm.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>

#include "support/peer_decode.h"

using namespace pgraphic;
using namespace testsupport;

namespace {

void ReadText(const std::string& text, TPixelGraphic& g) {
  TMemoryStream s(std::vector<uint8_t>(text.begin(), text.end()));
  TPPMFileFormatReader().ReadGraphic(s, g, 0);
}

std::string WriteText(TFileFormatWriter&& writer, TPixelGraphic& g, bool binary) {
  TPGSettingScope raw(PGPxMBinary, binary);
  TMemoryStream s;
  writer.WriteGraphic(s, g);
  return std::string(s.Bytes().begin(), s.Bytes().end());
}

// The samples as netpbm parses them (its plain output, maxval kept), scaled the
// way the reader scales: v × 255 div maxval; bitmaps 1 = black.
TRGBImage NetpbmSamples(const std::string& path) {
  TRGBImage img;
  std::string out = path + ".plain";
  if (!Shell("pnmtoplainpnm '" + path + "' > '" + out + "'")) return img;
  std::vector<uint8_t> b = ReadFileBytes(out);
  std::istringstream in(std::string(b.begin(), b.end()));
  std::string magic;
  long maxval = 1;
  in >> magic >> img.Width >> img.Height;
  if (magic != "P1") in >> maxval;
  const int channels = magic == "P3" ? 3 : 1;
  for (long i = 0; i < long(img.Width) * img.Height; ++i) {
    uint8_t v[3];
    for (int c = 0; c < channels; ++c) {
      long s = 0;
      if (magic == "P1") {
        char ch;
        in >> ch;
        s = ch == '1' ? 0 : 1;
      } else {
        in >> s;
      }
      v[c] = uint8_t(s * 255 / maxval);
    }
    for (int c = 0; c < 3; ++c) img.RGB.push_back(v[channels == 3 ? c : 0]);
  }
  return img;
}

TPixelGraphic& Fill(TPixelGraphic& g, TPGPixelFormat format, int w, int h) {
  g.SetSize(w, h, format);
  if (format == pf1Bit) g.SetPaletteIdent(pBlackWhite);
  if (format == pf8Bit) g.SetPaletteIdent(pGray256);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (format == pf24Bit)
        g.SetPixel(x, y, RGB(x * 37 % 256, y * 59 % 256, (x * y) % 256));
      else if (format == pf8Bit)
        g.SetPixel(x, y, (x * 31 + y * 7) % 256);
      else
        g.SetPixel(x, y, (x + y * y) % 3 == 0);
    }
  }
  return g;
}

class PxMPeers : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTool("/usr/bin/pnmtoplainpnm") || !HaveTool(kImageMagick)) GTEST_SKIP();
    scratch = std::make_unique<korvane_test::ScratchDir>(
        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    dir = scratch->path + "/";
  }
  std::unique_ptr<korvane_test::ScratchDir> scratch;
  std::string dir;
};

}  // namespace

TEST_F(PxMPeers, AllSixVariantsWithCommentsAndOtherMaxvals) {
  const std::string src = dir + "src.ppm";
  ASSERT_TRUE(Shell(std::string(kImageMagick) +
                    " -size 19x13 gradient:yellow-navy -swirl 120 -depth 8 '" + src + "'"));
  struct Case {
    const char* name;
    std::string make;  // writes stdout
    bool maxval255;
  } cases[] = {
      {"p4.pbm", "ppmtopgm '" + src + "' | pgmtopbm", true},
      {"p1.pbm", "ppmtopgm '" + src + "' | pgmtopbm | pnmtoplainpnm", true},
      {"p5.pgm", "ppmtopgm '" + src + "' | pnmdepth 100", false},
      {"p5full.pgm", "ppmtopgm '" + src + "'", true},
      {"p2.pgm", "ppmtopgm '" + src + "' | pnmdepth 1000 | pnmtoplainpnm", false},
      {"p6.ppm", "pnmdepth 200 '" + src + "'", false},
      {"p6full.ppm", "cat '" + src + "'", true},
      {"p3.ppm", "pnmdepth 65535 '" + src + "' | pnmtoplainpnm", false},
      {"p3full.ppm", "pnmtoplainpnm '" + src + "'", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = dir + c.name;
    // A comment line after the magic number, as peers and people write them.
    ASSERT_TRUE(Shell(c.make + " | sed '1a # made by a peer tool' > '" + file + "'"));
    TPixelGraphic g;
    TFileStream s(file, TFileStream::fmOpenRead);
    TPPMFileFormatReader().ReadGraphic(s, g, 0);
    const char kind = c.name[1];
    EXPECT_EQ(g.PixelFormat(), kind == '1' || kind == '4'   ? pf1Bit
                               : kind == '2' || kind == '5' ? pf8Bit
                                                            : pf24Bit);
    TRGBImage ours = FromGraphic(g);
    EXPECT_EQ(Compare(NetpbmSamples(file), ours), "");
    // ImageMagick rounds when it rescales, so it only agrees at maxval 255.
    if (c.maxval255) {
      EXPECT_EQ(Compare(DecodeWithImageMagick(file), ours), "");
    }

    // Truncated copies fail with the exact message and keep the first row.
    std::vector<uint8_t> full = ReadFileBytes(file);
    for (size_t cut = full.size() * 3 / 4; cut < full.size() - 3; cut += full.size() / 9) {
      TPixelGraphic p;
      TMemoryStream ps(std::vector<uint8_t>(full.begin(), full.begin() + long(cut)));
      EXPECT_PG_MESSAGE(TPPMFileFormatReader().ReadGraphic(ps, p, 0),
                        "PBM, PGM, PPM: Unexpected end of file");
      EXPECT_EQ(p.PixelColor(3, 0), g.PixelColor(3, 0));
    }
  }
}

TEST_F(PxMPeers, WrittenFilesReadBackIdenticallyInNetpbmAndImageMagick) {
  struct Case {
    TPGPixelFormat format;
    const char* ext;
  } cases[] = {{pf1Bit, "pbm"}, {pf8Bit, "pgm"}, {pf24Bit, "ppm"}};
  for (const Case& c : cases) {
    for (bool binary : {false, true}) {
      SCOPED_TRACE(std::string(c.ext) + (binary ? " raw" : " plain"));
      TPixelGraphic g;
      Fill(g, c.format, 21, 9);
      std::unique_ptr<TFileFormatWriter> w;
      if (c.format == pf1Bit) w = std::make_unique<TPBMFileFormatWriter>();
      if (c.format == pf8Bit) w = std::make_unique<TPGMFileFormatWriter>();
      if (c.format == pf24Bit) w = std::make_unique<TPPMFileFormatWriter>();
      const std::string file = dir + "out" + (binary ? "raw." : "plain.") + c.ext;
      {
        TFileStream s(file, TFileStream::fmCreate);
        TPGSettingScope raw(PGPxMBinary, binary);
        w->WriteGraphic(s, g);
        s.Close();
      }
      const std::vector<uint8_t> bytes = ReadFileBytes(file);
      ASSERT_GE(bytes.size(), 2u);
      EXPECT_EQ(bytes[1], '1' +
                              (c.format == pf1Bit   ? 0
                               : c.format == pf8Bit ? 1
                                                    : 2) +
                              (binary ? 3 : 0));
      TRGBImage ours = FromGraphic(g);
      EXPECT_EQ(Compare(NetpbmSamples(file), ours), "");
      EXPECT_EQ(Compare(DecodeWithImageMagick(file), ours), "");
      TPixelGraphic back;
      TFileStream rs(file, TFileStream::fmOpenRead);
      TPBMFileFormatReader().ReadGraphic(rs, back, 0);
      EXPECT_EQ(Compare(ours, FromGraphic(back)), "");
    }
  }
}

TEST(PxMReader, PlainNumbersCommentsAndScaling) {
  TPixelGraphic g;
  ReadText("P2\n# a comment\n2 1\n255\n0 255\n", g);
  ASSERT_EQ(g.PixelFormat(), pf8Bit);
  ASSERT_EQ(g.Width(), 2);
  EXPECT_EQ(g.Pixel(0, 0), 0u);
  EXPECT_EQ(g.Pixel(1, 0), 255u);

  // Plain samples may exceed 255 in maxval; scaling truncates.
  ReadText("P2 3 1 65535 65535 32768 257", g);  // no final line feed
  EXPECT_EQ(g.Pixel(0, 0), 255u);
  EXPECT_EQ(g.Pixel(1, 0), 32768u * 255 / 65535);
  EXPECT_EQ(g.Pixel(2, 0), 1u);

  // Plain bitmap pixels are single digits, with or without separators.
  ReadText("P1 5 2 0110\n1 0 0 1 0#c\n1 1\n0 0", g);
  ASSERT_EQ(g.PixelFormat(), pf1Bit);
  const uint32_t expected[2][5] = {{1, 0, 0, 1, 0}, {1, 1, 0, 1, 0}};
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 5; ++x) EXPECT_EQ(g.Pixel(x, y), expected[y][x]) << x << "," << y;
  }

  // Raw bitmaps are stored inverted: a set bit is black (index 0).
  std::string p4 = "P4\n10 1\n";
  p4 += char(0xA0);
  p4 += char(0xC0);
  ReadText(p4, g);
  EXPECT_EQ(g.Pixel(0, 0), 0u);
  EXPECT_EQ(g.Pixel(1, 0), 1u);
  EXPECT_EQ(g.Pixel(2, 0), 0u);
  EXPECT_EQ(g.Pixel(8, 0), 0u);
  EXPECT_EQ(g.Pixel(9, 0), 0u);

  ReadText(std::string("P6 1 1 100 \x64\x32\x00", 14), g);
  EXPECT_EQ(g.PixelColor(0, 0), RGB(255, 127, 0));
}

TEST(PxMReader, RefusedFiles) {
  TPixelGraphic g;
  auto refused = [&](const std::string& text, const char* message) {
    SCOPED_TRACE(text);
    EXPECT_PG_MESSAGE(ReadText(text, g), message);
  };
  refused("X1 1 1 1", "PBM, PGM, PPM: Not a PBM, PGM, PPM file");
  refused("P7 1 1 1", "PBM, PGM, PPM: Unknown subformat");
  refused(std::string("P5 1 1 65535\n\0\0", 15), "PBM, PGM, PPM: Not supported subformat");
  refused("P5 1 1 256\n\x01\x02", "PBM, PGM, PPM: Not supported subformat");
  refused("P2 0 1 255\n", "PBM, PGM, PPM: Not supported subformat");
  // A maxval of 0 would divide by zero; numbers too large for the header wrap no more.
  refused("P2 1 1 0\n0\n", "PBM, PGM, PPM: Not supported subformat");
  refused("P3 1 1 0\n0 0 0\n", "PBM, PGM, PPM: Not supported subformat");
  refused("P2 4294967297 1 255\n1\n", "PBM, PGM, PPM: Not supported subformat");
  refused("P2 1 99999999999999999999999 255\n1\n", "PBM, PGM, PPM: Not supported subformat");
  refused("P3 2 2 255\n1 2 3 4 5 6\n7", "PBM, PGM, PPM: Unexpected end of file");
  refused("P2 # only a comment", "PBM, PGM, PPM: Unexpected end of file");
  TMemoryStream s(std::vector<uint8_t>{'P', '1', ' ', '1', ' ', '1', ' ', '1'});
  EXPECT_PG_MESSAGE(TPBMFileFormatReader().ReadGraphic(s, g, 1), "PxM: Index invalid");
}

TEST(PxMReader, InfoAndSignatures) {
  TPGFileInfo info;
  TMemoryStream s(std::vector<uint8_t>{'P', '6', '\n', '#', 'x', '\n', '7', ' ', '5', ' ', '9'});
  TPPMFileFormatReader r;
  r.ReadInfo(s, 0, info);
  EXPECT_EQ(info.SubType, "Binary");
  EXPECT_EQ(info.BitsPerPixel, 24);
  EXPECT_EQ(info.Colors, "16.7M");
  EXPECT_EQ(info.Width, 7);
  EXPECT_EQ(info.Height, 5);
  TMemoryStream p(std::vector<uint8_t>{'P', '2', ' ', '3', ' ', '4'});
  r.ReadInfo(p, 0, info);
  EXPECT_EQ(info.SubType, "ASCII");
  EXPECT_EQ(info.BitsPerPixel, 8);
  EXPECT_EQ(info.Colors, "256");
  p.Seek(0);
  EXPECT_PG_MESSAGE(r.ReadInfo(p, 1, info), "PBM, PGM, PPM: Invalid value for Index");

  TFileFormatReader::THeader h{};
  h[0] = 'P';
  const char* digits = "123456";
  for (int i = 0; i < 6; ++i) {
    h[1] = uint8_t(digits[i]);
    EXPECT_EQ(TPBMFileFormatReader().IsFormat(h), i % 3 == 0);
    EXPECT_EQ(TPGMFileFormatReader().IsFormat(h), i % 3 == 1);
    EXPECT_EQ(TPPMFileFormatReader().IsFormat(h), i % 3 == 2);
  }
}

TEST(PxMWriter, LayoutGuardsAndProgress) {
  TPixelGraphic bw;
  Fill(bw, pf1Bit, 10, 1);
  std::string raw = WriteText(TPBMFileFormatWriter(), bw, true);
  ASSERT_EQ(raw.size(), std::string("P4\n10 1\n").size() + 2);
  EXPECT_EQ(raw.substr(0, 8), "P4\n10 1\n");
  EXPECT_EQ(uint8_t(raw[8]), uint8_t(~bw.ScanLine(0)[0]));

  TPixelGraphic gray;
  gray.SetSize(2, 2, pf8Bit);
  gray.SetPaletteIdent(pGray256);
  gray.SetPixel(1, 0, 255);
  gray.SetPixel(0, 1, 7);
  EXPECT_EQ(WriteText(TPGMFileFormatWriter(), gray, false), "P2\n2 2\n255\n0 255\n7 0\n");

  TPixelGraphic colour;
  colour.SetSize(1, 1, pf24Bit);
  colour.SetPixel(0, 0, RGB(1, 2, 3));
  EXPECT_EQ(WriteText(TPPMFileFormatWriter(), colour, false), "P3\n1 1\n255\n1 2 3\n");
  EXPECT_EQ(WriteText(TPPMFileFormatWriter(), colour, true), "P6\n1 1\n255\n\x01\x02\x03");

  EXPECT_PG_MESSAGE(WriteText(TPGMFileFormatWriter(), colour, false),
                    "PGM: Invalid color resolution");
  EXPECT_PG_MESSAGE(WriteText(TPBMFileFormatWriter(), gray, false),
                    "PBM: Invalid color resolution");
  EXPECT_PG_MESSAGE(WriteText(TPPMFileFormatWriter(), gray, false),
                    "PPM: Invalid color resolution");
  TPixelGraphic notGray;
  notGray.SetSize(1, 1, pf8Bit);
  notGray.SetPaletteCount(256);
  notGray.SetPaletteColor(0, RGB(9, 0, 0));
  EXPECT_PG_MESSAGE(WriteText(TPGMFileFormatWriter(), notGray, false),
                    "PGM: Invalid color resolution");
  TPixelGraphic empty;
  EXPECT_PG_MESSAGE(WriteText(TPPMFileFormatWriter(), empty, false),
                    "PBM, PGM, PPM: Width = 0 or Height = 0");
  TPPMFileFormatWriter odd;
  odd.Extension = "xyz";
  EXPECT_PG_MESSAGE(WriteText(std::move(odd), colour, false),
                    "PBM, PGM, PPM: Unknown file extension \"xyz\"");

  // The writer reports every row and does not stop on abort.
  TPixelGraphic big;
  Fill(big, pf24Bit, 3, 5);
  int rows = 0, ends = 0;
  big.OnProgress = [&](TPixelGraphic&, int, int, bool& abort) {
    ++rows;
    abort = true;
  };
  big.OnProgressEnd = [&](TPixelGraphic&) { ++ends; };
  std::string text = WriteText(TPPMFileFormatWriter(), big, false);
  EXPECT_EQ(rows, 5);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3 + 5);
}

TEST(PxMDispatch, RegisteredInOrderAndSavedWithConversion) {
  std::vector<std::string> readers, writers;
  SortReadersIfNeeded();
  SortWritersIfNeeded();
  for (const auto& r : FileFormatReaders()) {
    if (std::string("pbm pcx pgm ppm tga").find(r->Extension) != std::string::npos) {
      readers.push_back(r->Extension);
    }
  }
  for (const auto& w : FileFormatWriters()) {
    if (std::string("pbm pgm ppm tga").find(w->Extension) != std::string::npos) {
      writers.push_back(w->Extension);
    }
  }
  EXPECT_EQ(readers, (std::vector<std::string>{"pbm", "pcx", "pgm", "ppm", "tga"}));
  EXPECT_EQ(writers, (std::vector<std::string>{"pbm", "pgm", "ppm", "tga"}));

  const korvane_test::ScratchDir scratch("pxm_dispatch");
  const std::string dir = scratch.path + "/";
  TPixelGraphic colour;
  Fill(colour, pf24Bit, 6, 3);
  colour.SetSaveColorResWarningAction(pgwaIgnore);
  colour.SaveToFile(dir + "c.pgm");  // 16.7 million colors → 256 shades of gray
  PGPxMBinary = true;
  colour.SaveToFile(dir + "c.PBM");
  PGPxMBinary = false;
  EXPECT_EQ(ReadFileBytes(dir + "c.pgm")[1], '2');
  EXPECT_EQ(ReadFileBytes(dir + "c.PBM")[1], '4');
  TPixelGraphic gray;
  gray.LoadFromFile(dir + "c.pgm");
  EXPECT_EQ(gray.PixelFormat(), pf8Bit);
  EXPECT_EQ(gray.PaletteIdent(), pGray256);
  TPixelGraphic bw;
  bw.LoadFromFile(dir + "c.PBM");
  EXPECT_EQ(bw.PixelFormat(), pf1Bit);
  EXPECT_EQ(bw.PaletteIdent(), pBlackWhite);

  std::string type;
  TPGFileInfo info;
  ASSERT_TRUE(GetFileInfo(dir + "c.pgm", 0, type, info));
  EXPECT_EQ(type, "Portable Graymap");
  EXPECT_EQ(info.SubType, "ASCII");
  EXPECT_EQ(info.Width, 6);
}

TEST(PxMReader, BrokenThirdPartyFilesFailCleanly) {
  const std::string root = "/usr/libexec/installed-tests/gdk-pixbuf/test-images";
  if (!std::filesystem::exists(root)) GTEST_SKIP() << "gdk-pixbuf-tests";
  int seen = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    const std::string ext = e.path().extension().string();
    if (ext != ".ppm" && ext != ".pgm" && ext != ".pbm" && ext != ".pnm") continue;
    SCOPED_TRACE(e.path().string());
    TPixelGraphic g;
    TFileStream s(e.path().string(), TFileStream::fmOpenRead);
    try {
      TPPMFileFormatReader().ReadGraphic(s, g, 0);
    } catch (const EPGPxMFileFormatReader&) {
    }
    ++seen;
  }
  EXPECT_GT(seen, 3);
}
