#include "pgraphic/formats/tga.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "support/peer_decode.h"

using namespace pgraphic;
using namespace testsupport;

namespace {

const char* kRefTests = "/usr/libexec/installed-tests/gdk-pixbuf/test-images/reftests";

void ReadBytes(const std::vector<uint8_t>& bytes, TPixelGraphic& g) {
  TMemoryStream s(bytes);
  TTGAFileFormatReader().ReadGraphic(s, g, 0);
}

// This ImageMagick reads and writes bottom-left files upside down (top row
// first), while netpbm, Pillow and the reference suites agree on the layout.
TRGBImage FlipRows(TRGBImage img) {
  const size_t row = size_t(img.Width) * 3;
  for (int y = 0; y < img.Height / 2; ++y) {
    std::swap_ranges(img.RGB.begin() + long(y * row), img.RGB.begin() + long((y + 1) * row),
                     img.RGB.begin() + long((img.Height - 1 - y) * row));
  }
  return img;
}

TRGBImage ImageMagickView(const std::string& file) {
  const std::vector<uint8_t> b = ReadFileBytes(file);
  TRGBImage img = DecodeWithImageMagick(file);
  return b.size() > 17 && !(b[17] & 0x20) ? FlipRows(img) : img;
}

TRGBImage ReadFile(const std::string& path, TPixelGraphic& g) {
  TFileStream s(path, TFileStream::fmOpenRead);
  TTGAFileFormatReader().ReadGraphic(s, g, 0);
  return FromGraphic(g);
}

std::vector<uint8_t> Header(int imageType, int depth, int width, int height, int descriptor = 0,
                            int mapType = 0, int mapFirst = 0, int mapLength = 0, int mapSize = 0) {
  return {0,
          uint8_t(mapType),
          uint8_t(imageType),
          uint8_t(mapFirst),
          uint8_t(mapFirst >> 8),
          uint8_t(mapLength),
          uint8_t(mapLength >> 8),
          uint8_t(mapSize),
          0,
          0,
          0,
          0,
          uint8_t(width),
          uint8_t(width >> 8),
          uint8_t(height),
          uint8_t(height >> 8),
          uint8_t(depth),
          uint8_t(descriptor)};
}

// Turns an uncompressed 24-bit left-origin file into the same picture stored
// with a right-hand origin: every row mirrored, descriptor bit 4 set.
std::vector<uint8_t> ToRightOrigin(std::vector<uint8_t> f) {
  const size_t w = f[12] | (f[13] << 8), h = f[14] | (f[15] << 8);
  const size_t start = 18 + f[0];
  for (size_t y = 0; y < h; ++y) {
    uint8_t* row = f.data() + start + y * w * 3;
    for (size_t x = 0; x < w / 2; ++x)
      std::swap_ranges(row + 3 * x, row + 3 * x + 3, row + 3 * (w - 1 - x));
  }
  f[17] |= 0x10;
  return f;
}

class TGAPeers : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTool(kImageMagick) || !HavePillow() || !HaveTool("/usr/bin/ppmtotga")) GTEST_SKIP();
    scratch = std::make_unique<korvane_test::ScratchDir>(
        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    dir = scratch->path + "/";
    src = dir + "src.ppm";
    ASSERT_TRUE(Shell(std::string(kImageMagick) +
                      " -size 37x23 gradient:orange-teal -swirl 100 -depth 8 '" + src + "'"));
  }
  std::string Pillow(const std::string& code) {
    return std::string(kPython) + " -c \"from PIL import Image; im = Image.open('" + src + "'); " +
           code + "\"";
  }
  std::unique_ptr<korvane_test::ScratchDir> scratch;
  std::string dir, src;
};

}  // namespace

TEST(TGAReader, ThirdPartyReferenceImagesInEveryTypeAndOrigin) {
  const std::string tga = std::string(kRefTests) + "/tga";
  if (!std::filesystem::exists(tga) || !HavePillow()) GTEST_SKIP() << "gdk-pixbuf-tests";
  int checked = 0;
  for (const auto& e : std::filesystem::directory_iterator(tga)) {
    const std::string path = e.path().string();
    if (e.path().extension() != ".tga" || !std::filesystem::exists(path + ".ref.png")) continue;
    SCOPED_TRACE(path);
    TPixelGraphic g;
    TRGBImage ours;
    try {
      ours = ReadFile(path, g);
    } catch (const EPixelGraphic& ex) {
      ADD_FAILURE() << ex.what();
      continue;
    }
    TRGBImage ref = DecodeWithPillow(path + ".ref.png");
    // 5-bit channels widen by × 8 here; the reference also fills the low bits.
    if (path.find("-16bpp") != std::string::npos && path.find("gray") == std::string::npos) {
      for (uint8_t& v : ref.RGB) v &= 0xF8;
    }
    EXPECT_EQ(Compare(ref, ours), "");
    ++checked;
  }
  EXPECT_GE(checked, 40);
}

TEST(TGAReader, BrokenThirdPartyFilesFailCleanly) {
  const std::string root = std::string(kRefTests) + "/..";
  if (!std::filesystem::exists(root)) GTEST_SKIP() << "gdk-pixbuf-tests";
  int seen = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    if (e.path().extension() != ".tga" || e.path().parent_path().filename() == "tga") continue;
    SCOPED_TRACE(e.path().string());
    TPixelGraphic g;
    try {
      TFileStream s(e.path().string(), TFileStream::fmOpenRead);
      TTGAFileFormatReader().ReadGraphic(s, g, 0);
    } catch (const EPixelGraphic&) {
    }
    ++seen;
  }
  EXPECT_GT(seen, 3);
}

TEST_F(TGAPeers, FilesFromImageMagickNetpbmAndPillow) {
  const std::string im = std::string(kImageMagick) + " '" + src + "' -depth 8 ";
  ASSERT_TRUE(Shell(im + "'" + dir + "raw24.tga'"));
  ASSERT_TRUE(Shell(im + "-compress RLE '" + dir + "rle24.tga'"));
  ASSERT_TRUE(Shell(im + "-colors 50 -type palette '" + dir + "cmap.tga'"));
  ASSERT_TRUE(Shell(im + "-colors 50 -type palette -compress RLE '" + dir + "cmaprle.tga'"));
  ASSERT_TRUE(Shell(im + "-type grayscale '" + dir + "gray.tga'"));
  ASSERT_TRUE(Shell("ppmtotga '" + src + "' > '" + dir + "nrle24.tga' 2>/dev/null"));
  ASSERT_TRUE(Shell("pnmquant 30 '" + src + "' 2>/dev/null | ppmtotga -cmap > '" + dir +
                    "ncmap.tga' 2>/dev/null"));
  ASSERT_TRUE(Shell(Pillow("im.save('" + dir + "ptl.tga', orientation=1)")));
  ASSERT_TRUE(Shell(Pillow("im.save('" + dir + "ptlrle.tga', rle=True, orientation=1)")));
  ASSERT_TRUE(Shell(Pillow("im.quantize(40).save('" + dir + "pcmap.tga')")));
  ASSERT_TRUE(Shell(Pillow("im.convert('L').save('" + dir + "pgray.tga', rle=True)")));
  ASSERT_TRUE(Shell(Pillow("im.convert('RGBA').save('" + dir + "p32.tga', rle=True)")));
  for (const char* name : {"raw24", "rle24", "cmap", "cmaprle", "gray", "nrle24", "ncmap", "ptl",
                           "ptlrle", "pcmap", "pgray", "p32"}) {
    SCOPED_TRACE(name);
    const std::string file = dir + name + ".tga";
    TPixelGraphic g;
    TRGBImage ours = ReadFile(file, g);
    EXPECT_EQ(Compare(ImageMagickView(file), ours), "");
    EXPECT_EQ(Compare(DecodeWithPillow(file), ours), "");
    EXPECT_EQ(Compare(DecodeWithNetpbm("tgatoppm", file), ours), "");
    const bool indexed = std::string(name).find("cmap") != std::string::npos ||
                         std::string(name).find("gray") != std::string::npos;
    EXPECT_EQ(g.PixelFormat(), indexed ? pf8Bit : pf24Bit);
  }

  // Right-hand origins, built from the peers' left-origin files.
  for (const char* name : {"raw24", "ptl"}) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> left = ReadFileBytes(dir + name + ".tga");
    const std::string right = dir + name + "-right.tga";
    WriteFileBytes(right, ToRightOrigin(left));
    TPixelGraphic g;
    TRGBImage ours = ReadFile(right, g);
    EXPECT_EQ(Compare(DecodeWithPillow(dir + name + ".tga"), ours), "");
    EXPECT_EQ(Compare(DecodeWithNetpbm("tgatoppm", dir + name + ".tga"), ours), "");
  }

  // A 16-bit colour map, converted from the 24-bit map the peer wrote.
  std::vector<uint8_t> f = ReadFileBytes(dir + "ncmap.tga");
  ASSERT_EQ(f[7], 24);
  const size_t n = f[5] | (f[6] << 8), mapAt = 18 + f[0];
  std::vector<uint8_t> out(f.begin(), f.begin() + long(mapAt));
  out[7] = 16;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t* e = f.data() + mapAt + 3 * i;  // blue, green, red
    const int v = ((e[2] >> 3) << 10) | ((e[1] >> 3) << 5) | (e[0] >> 3);
    out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8)});
  }
  out.insert(out.end(), f.begin() + long(mapAt + 3 * n), f.end());
  TPixelGraphic m16;
  ReadBytes(out, m16);
  TPixelGraphic m24;
  ReadBytes(f, m24);
  ASSERT_EQ(m16.PaletteCount(), int(n));
  for (int i = 0; i < int(n); ++i) {
    EXPECT_EQ(m16.PaletteColor(i), m24.PaletteColor(i) & 0xF8F8F8) << i;
  }

  // A file that ends early keeps the rows read so far and leaves the rest alone.
  std::vector<uint8_t> whole = ReadFileBytes(dir + "rle24.tga");
  TPixelGraphic full;
  ReadBytes(whole, full);
  for (size_t cut = 0; cut < whole.size(); cut += 13) {
    TPixelGraphic p;
    std::vector<uint8_t> part(whole.begin(), whole.begin() + long(cut));
    try {
      ReadBytes(part, p);
    } catch (const EPGTGAFileFormatReader& e) {
      EXPECT_LT(cut, 18u) << e.what();  // only a missing header is refused
      continue;
    }
    if (cut > whole.size() / 2) {
      EXPECT_EQ(p.PixelColor(4, full.Height() - 1), full.PixelColor(4, full.Height() - 1));
    }
  }
}

TEST(TGAReader, RunLengthPacketsCarryAcrossRowEnds) {
  // 3 × 2, 24 bits, top-left origin: a run of 4 fills row 0 and the first pixel
  // of row 1; a literal packet of 3 ends row 1 and would run one pixel past it.
  std::vector<uint8_t> f = Header(10, 24, 3, 2, 0x20);
  f.insert(f.end(), {0x83, 1, 2, 3, 0x02, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  TPixelGraphic g;
  ReadBytes(f, g);
  ASSERT_EQ(g.Width(), 3);
  for (int x = 0; x < 3; ++x) EXPECT_EQ(g.PixelColor(x, 0), RGB(3, 2, 1));
  EXPECT_EQ(g.PixelColor(0, 1), RGB(3, 2, 1));
  EXPECT_EQ(g.PixelColor(1, 1), RGB(6, 5, 4));
  EXPECT_EQ(g.PixelColor(2, 1), RGB(9, 8, 7));

  // A single run over the whole image, bottom-right origin, 8-bit gray.
  std::vector<uint8_t> r = Header(11, 8, 4, 3, 0x10);
  r.insert(r.end(), {0x8B, 77});
  TPixelGraphic q;
  ReadBytes(r, q);
  ASSERT_EQ(q.PixelFormat(), pf8Bit);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(q.PixelColor(x, y), RGB(77, 77, 77));
  }
}

TEST(TGAReader, ColourMapsAndPixelCodings) {
  // Map entry 7FFF in 16 bits is (248, 248, 248); first entry 16 of a 24-bit map
  // starts reading 48 bytes into the map.
  std::vector<uint8_t> f = Header(1, 8, 2, 1, 0x20, 1, 16, 18, 24);
  for (int i = 0; i < 18; ++i) f.insert(f.end(), {uint8_t(i), uint8_t(2 * i), uint8_t(3 * i)});
  f.insert(f.end(), {0, 1});
  TPixelGraphic g;
  ReadBytes(f, g);
  ASSERT_EQ(g.PaletteCount(), 2);
  EXPECT_EQ(g.PaletteColor(0), RGB(48, 32, 16));
  EXPECT_EQ(g.PixelColor(1, 0), RGB(51, 34, 17));

  std::vector<uint8_t> m = Header(1, 8, 1, 1, 0, 1, 0, 2, 16);
  m.insert(m.end(), {0xFF, 0x7F, 0x1F, 0x7C, 1});
  ReadBytes(m, g);
  EXPECT_EQ(g.PaletteColor(0), RGB(248, 248, 248));
  EXPECT_EQ(g.PixelColor(0, 0), RGB(248, 0, 248));

  // 16-bit pixels 5-5-5 (red 7C00, green 03E0), 32-bit with alpha ignored.
  std::vector<uint8_t> p = Header(2, 16, 2, 1, 0x20);
  p.insert(p.end(), {0x00, 0x7C, 0xE0, 0x03});
  ReadBytes(p, g);
  EXPECT_EQ(g.PixelColor(0, 0), RGB(248, 0, 0));
  EXPECT_EQ(g.PixelColor(1, 0), RGB(0, 248, 0));
  std::vector<uint8_t> q = Header(2, 32, 1, 1);
  q.insert(q.end(), {10, 20, 30, 0});
  ReadBytes(q, g);
  EXPECT_EQ(g.PixelColor(0, 0), RGB(30, 20, 10));
}

TEST(TGAReader, RefusedFilesAndInfoTexts) {
  TPixelGraphic g;
  std::vector<uint8_t> ok = Header(2, 24, 1, 1);
  ok.insert(ok.end(), {1, 2, 3});
  EXPECT_PG_MESSAGE(
      {
        TMemoryStream s(ok);
        TTGAFileFormatReader().ReadGraphic(s, g, 1);
      },
      "TGA: Index invalid");
  std::vector<uint8_t> depth15 = Header(2, 15, 1, 1);
  EXPECT_PG_MESSAGE(ReadBytes(depth15, g), "TGA: Not supported subformat");
  std::vector<uint8_t> map15 = Header(1, 8, 1, 1, 0, 1, 0, 1, 15);
  map15.insert(map15.end(), {0, 0, 0});
  EXPECT_PG_MESSAGE(ReadBytes(map15, g), "TGA: Not supported subformat");
  // Types without pixels (0) or with a coding not read (32) are refused.
  std::vector<uint8_t> noImage = Header(0, 8, 1, 1);
  EXPECT_PG_MESSAGE(ReadBytes(noImage, g), "TGA: Invalid value for ImageType");
  EXPECT_PG_MESSAGE(ReadBytes({}, g), "TGA: Not supported subformat");

  TTGAFileFormatReader r;
  TPGFileInfo info;
  struct Case {
    int type, depth;
    const char *subType, *extra, *colors;
  } cases[] = {{1, 8, "Uncompressed", "Color-mapped", "256"},
               {10, 24, "Run-length encoded", "True-color", "16.7M"},
               {11, 16, "Run-length encoded", "\"Black-and-white\"", "65536"},
               {2, 32, "Uncompressed", "True-color", "16.7M ?"}};
  for (const Case& c : cases) {
    TMemoryStream s(Header(c.type, c.depth, 300, 200));
    r.ReadInfo(s, 0, info);
    EXPECT_EQ(info.SubType, c.subType);
    EXPECT_EQ(info.Extra, c.extra);
    EXPECT_EQ(info.Colors, c.colors);
    EXPECT_EQ(info.BitsPerPixel, c.depth);
    EXPECT_EQ(info.Width, 300);
    EXPECT_EQ(info.Height, 200);
  }
  TMemoryStream bad(Header(5, 8, 1, 1));
  EXPECT_PG_MESSAGE(r.ReadInfo(bad, 0, info), "TGA: Invalid value for ImageType");
  bad.Seek(0);
  EXPECT_PG_MESSAGE(r.ReadInfo(bad, 1, info), "TGA: Invalid value for Index");
}

TEST_F(TGAPeers, WrittenFilesReadBackIdentically) {
  TPixelGraphic colour;
  colour.SetSize(23, 11, pf24Bit);
  for (int y = 0; y < 11; ++y) {
    for (int x = 0; x < 23; ++x) colour.SetPixel(x, y, RGB(x * 11, y * 23, (x ^ y) * 9));
  }
  TPixelGraphic indexed;
  indexed.SetSize(23, 11, pf8Bit);
  indexed.SetPaletteCount(40);
  for (int i = 0; i < 40; ++i) indexed.SetPaletteColor(i, RGB(i * 6, 255 - i * 5, i * i % 256));
  for (int y = 0; y < 11; ++y) {
    for (int x = 0; x < 23; ++x) indexed.SetPixel(x, y, (x * 3 + y) % 40);
  }
  for (TPixelGraphic* g : {&colour, &indexed}) {
    const std::string file = dir + (g == &colour ? "c24.tga" : "c8.tga");
    {
      TFileStream s(file, TFileStream::fmCreate);
      TTGAFileFormatWriter().WriteGraphic(s, *g);
      s.Close();
    }
    const std::vector<uint8_t> bytes = ReadFileBytes(file);
    ASSERT_GE(bytes.size(), 18u);
    EXPECT_EQ(bytes[2], g == &colour ? 2 : 1);
    EXPECT_EQ(bytes[7], g == &colour ? 0 : 24);
    EXPECT_EQ(bytes[17], 0);  // bottom-left origin
    const TRGBImage ours = FromGraphic(*g);
    EXPECT_EQ(Compare(ImageMagickView(file), ours), "") << file;
    EXPECT_EQ(Compare(DecodeWithNetpbm("tgatoppm", file), ours), "") << file;
    EXPECT_EQ(Compare(DecodeWithPillow(file), ours), "") << file;
    TPixelGraphic back;
    EXPECT_EQ(Compare(ours, ReadFile(file, back)), "") << file;
  }
  // The colour-mapped layout: header, map as blue, green, red, rows bottom-up.
  TMemoryStream s;
  TTGAFileFormatWriter().WriteGraphic(s, indexed);
  const auto& b = s.Bytes();
  ASSERT_EQ(b.size(), 18u + 40 * 3 + 23 * 11);
  EXPECT_EQ(b[18 + 3 * 5], GetB(indexed.PaletteColor(5)));
  EXPECT_EQ(b[18 + 3 * 5 + 2], GetR(indexed.PaletteColor(5)));
  EXPECT_EQ(b[18 + 120 + 4], indexed.Pixel(4, 10));
}

TEST(TGADispatch, FoundByExtensionOnlySavedWithConversionAndDescribed) {
  const korvane_test::ScratchDir scratch("tga_dispatch");
  const std::string dir = scratch.path + "/";
  TPixelGraphic bw;
  bw.SetSize(9, 4, pf1Bit);
  bw.SetPaletteIdent(pBlackWhite);
  for (int x = 0; x < 9; ++x) bw.SetPixel(x, x % 4, 1);
  bw.SetSaveColorResWarningAction(pgwaIgnore);
  bw.SaveToFile(dir + "bw.tga");  // black and white → 256 colors
  const std::vector<uint8_t> bytes = ReadFileBytes(dir + "bw.tga");
  ASSERT_GT(bytes.size(), 18u);
  EXPECT_EQ(bytes[2], 1);
  EXPECT_EQ(bytes[16], 8);
  TPixelGraphic back;
  back.LoadFromFile(dir + "bw.tga");
  EXPECT_EQ(Compare(FromGraphic(bw), FromGraphic(back)), "");

  std::string type;
  TPGFileInfo info;
  std::vector<uint8_t> rle = Header(10, 24, 5, 6);
  rle.insert(rle.end(), {0x9D, 1, 2, 3});
  WriteFileBytes(dir + "rle.tga", rle);
  ASSERT_TRUE(GetFileInfo(dir + "rle.tga", 0, type, info));
  EXPECT_EQ(type, "Truevision Targa");
  EXPECT_EQ(info.SubType, "Run-length encoded");
  EXPECT_EQ(info.Extra, "True-color");

  // No signature: another extension does not find the reader, and a first byte
  // 0A (an ID field of 10 bytes) is taken for PCX.
  WriteFileBytes(dir + "rle.tgx", rle);
  EXPECT_PG_MESSAGE(back.LoadFromFile(dir + "rle.tgx"), "Unknown file format");
  rle[0] = 0x0A;
  rle.insert(rle.begin() + 18, 10, 0);
  WriteFileBytes(dir + "id.tga", rle);
  EXPECT_THROW(back.LoadFromFile(dir + "id.tga"), EPGPCXFileFormatReader);
}
