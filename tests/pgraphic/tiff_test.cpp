// TIFF reader and writer against files made by libtiff's tools, ImageMagick,
// Pillow and Go's test data, with pixels compared to those tools' own decode.
#include "pgraphic/formats/tiff.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "support/peer_image.h"

namespace fs = std::filesystem;
using namespace pgraphic;

namespace {

using korvane_test::HaveTool;
using korvane_test::kPython;
using korvane_test::ReadFileBytes;

const char* const kConvert = korvane_test::kImageMagick;
const char* const kGoData = "/usr/share/gocode/src/golang.org/x/image/testdata";

int Sh(const std::string& command) {
  return korvane_test::RunShell(command + " 2>/dev/null");
}

std::string ShOut(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
  pclose(p);
  return out;
}

// A fresh folder per test; the TIFF settings are reset around every test.
class TIFFTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetTIFFSettings();
    dir_ = fs::path(::testing::TempDir()) /
           ("korvane_tiff_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    ResetTIFFSettings();
    fs::remove_all(dir_);
  }
  std::string P(const std::string& name) const { return (dir_ / name).string(); }
  void NeedTools() {
    if (!HaveTool(kConvert) || !HaveTool("/usr/bin/tiffcp") || !HaveTool("/usr/bin/tiffinfo")) {
      GTEST_SKIP() << "ImageMagick or libtiff-tools missing";
    }
  }
  fs::path dir_;
};

void Read(const std::string& file, TPixelGraphic& g, int index = 0) {
  TFileStream s(file, TFileStream::fmOpenRead);
  TTIFFileFormatReader().ReadGraphic(s, g, index);
}

TPGFileInfo Info(const std::string& file, int index = 0) {
  TFileStream s(file, TFileStream::fmOpenRead);
  TPGFileInfo info;
  TTIFFileFormatReader().ReadInfo(s, index, info);
  return info;
}

std::string ReadError(const std::string& file, int index = 0) {
  try {
    TPixelGraphic g;
    Read(file, g, index);
  } catch (const EPGTIFFileFormatReader& e) {
    return e.what();
  }
  return "(no error)";
}

std::string ReadErrorBytes(const std::vector<uint8_t>& bytes, TPGWarningAction action = pgwaRaise) {
  try {
    TPixelGraphic g;
    g.SetReadWarningAction(action);
    TMemoryStream s(bytes);
    TTIFFileFormatReader().ReadGraphic(s, g, 0);
  } catch (const EPGTIFFileFormatReader& e) {
    return e.what();
  }
  return "(no error)";
}

void Write(const std::string& file, TPixelGraphic& g) {
  TFileStream s(file, TFileStream::fmCreate);
  TTIFFileFormatWriter().WriteGraphic(s, g);
  s.Close();
}

// Red, green, blue of every pixel, top row first.
std::vector<uint8_t> OurRGB(const TPixelGraphic& g) {
  std::vector<uint8_t> rgb;
  rgb.reserve(3 * static_cast<size_t>(g.Width()) * g.Height());
  for (int y = 0; y < g.Height(); ++y) {
    for (int x = 0; x < g.Width(); ++x) {
      const TRGB c = g.PixelColor(x, y);
      rgb.insert(rgb.end(), {uint8_t(GetR(c)), uint8_t(GetG(c)), uint8_t(GetB(c))});
    }
  }
  return rgb;
}

// ImageMagick's decode of one page as 8-bit samples in the given raw layout
// ("rgb" with alpha dropped, or "cmyk").
std::vector<uint8_t> PeerRaw(const std::string& file, int page, const std::string& layout,
                             const std::string& out) {
  const std::string cmd = std::string(kConvert) + " '" + file + "[" + std::to_string(page) +
                          "]' -alpha off -depth 8 " + layout + ":'" + out + "'";
  if (Sh(cmd) != 0) return {};
  return ReadFileBytes(out);
}

// Pillow's decode as RGB bytes, or as its raw CMYK samples.
std::vector<uint8_t> PillowRGB(const std::string& file, const std::string& out,
                               const char* mode = "RGB") {
  const std::string cmd = std::string(kPython) +
                          " -c \"import sys; from PIL import Image; "
                          "open(sys.argv[2],'wb').write(Image.open(sys.argv[1]).convert('" +
                          mode + "').tobytes())\" '" + file + "' '" + out + "'";
  if (Sh(cmd) != 0) return {};
  return ReadFileBytes(out);
}

// Expected RGB of a CMYK file from the raw samples: max(0, 255 - C - K) etc.
std::vector<uint8_t> RGBFromCMYK(const std::vector<uint8_t>& cmyk) {
  std::vector<uint8_t> rgb;
  for (size_t i = 0; i + 3 < cmyk.size(); i += 4) {
    for (int c = 0; c < 3; ++c)
      rgb.push_back(uint8_t(std::max(0, 255 - cmyk[i + c] - cmyk[i + 3])));
  }
  return rgb;
}

// A small TIFF assembled entry by entry: header, pixel data at offset 8, the
// directory after it and out-of-line values after the directory.
struct TinyTIFF {
  bool little = true;
  struct Entry {
    uint16_t tag, type;
    uint32_t count;
    std::vector<uint32_t> values;
    int64_t rawValue = -1;  // if set, written into the value field as is
  };
  std::vector<Entry> entries;
  std::vector<uint8_t> data;
  int64_t next = 0;  // -1: link to the directory itself

  void Add(uint16_t tag, uint16_t type, std::vector<uint32_t> values) {
    entries.push_back({tag, type, uint32_t(values.size()), std::move(values)});
  }
  void AddRaw(uint16_t tag, uint16_t type, uint32_t count, uint32_t field) {
    entries.push_back({tag, type, count, {}, field});
  }
  // A plain one-strip 8-bit gray image of w x h with the given pixels.
  static TinyTIFF Gray(uint32_t w, uint32_t h, std::vector<uint8_t> pixels) {
    TinyTIFF t;
    t.data = std::move(pixels);
    t.Add(256, 4, {w});
    t.Add(257, 4, {h});
    t.Add(258, 3, {8});
    t.Add(259, 3, {1});
    t.Add(262, 3, {1});
    t.Add(273, 4, {8});
    t.Add(277, 3, {1});
    t.Add(278, 4, {h});
    return t;
  }
  void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) const {
    b[at] = uint8_t(little ? v : v >> 8);
    b[at + 1] = uint8_t(little ? v >> 8 : v);
  }
  void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) const {
    Put16(b, little ? at : at + 2, v & 0xFFFF);
    Put16(b, little ? at + 2 : at, v >> 16);
  }
  std::vector<uint8_t> Build() const {
    std::vector<uint8_t> b(8);
    b[0] = b[1] = little ? 'I' : 'M';
    Put16(b, 2, 42);
    b.resize(8 + data.size());
    std::copy(data.begin(), data.end(), b.begin() + 8);
    if (b.size() % 2) b.push_back(0);
    const size_t ifd = b.size();
    Put32(b, 4, uint32_t(ifd));
    b.resize(ifd + 2 + 12 * entries.size() + 4);
    Put16(b, ifd, uint32_t(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
      const Entry& e = entries[i];
      const size_t at = ifd + 2 + 12 * i;
      Put16(b, at, e.tag);
      Put16(b, at + 2, e.type);
      Put32(b, at + 4, e.count);
      if (e.rawValue >= 0) {
        Put32(b, at + 8, uint32_t(e.rawValue));
        continue;
      }
      const size_t size = e.type == 1 ? 1 : e.type == 3 ? 2 : 4;
      size_t target = at + 8;
      if (size * e.values.size() > 4) {
        target = b.size();
        Put32(b, at + 8, uint32_t(target));
        b.resize(b.size() + size * e.values.size() + 1);
      }
      for (size_t k = 0; k < e.values.size(); ++k) {
        if (size == 1)
          b[target + k] = uint8_t(e.values[k]);
        else if (size == 2)
          Put16(b, target + 2 * k, e.values[k]);
        else
          Put32(b, target + 4 * k, e.values[k]);
      }
    }
    Put32(b, ifd + 2 + 12 * entries.size(), next < 0 ? uint32_t(ifd) : uint32_t(next));
    return b;
  }
};

// ---------------------------------------------------------------------------------
// Reading what others write

struct Kind {
  const char* name;
  const char* magick;  // ImageMagick options making the variant from its "rose:" image
  TPGPixelFormat format;
  bool cmyk;
};

const Kind kKinds[] = {
    {"bw", "-threshold 50% -depth 1", pf1Bit, false},
    {"gray4", "-colorspace gray -depth 4", pf4Bit, false},
    {"gray8", "-colorspace gray -depth 8", pf8Bit, false},
    {"pal4", "-colors 16 -type Palette -depth 4", pf4Bit, false},
    {"pal8", "-colors 200 -type Palette -depth 8", pf8Bit, false},
    {"rgb", "-depth 8", pf24Bit, false},
    {"rgba", "-alpha set -channel A -fx i/w +channel -depth 8", pf24Bit, false},
    {"cmyk", "-colorspace CMYK -depth 8", pf24Bit, true},
};

TEST_F(TIFFTest, ReadsPeerFilesInBothByteOrdersPixelIdentical) {
  NeedTools();
  // Each variant: ImageMagick directly (Intel, none; Motorola, PackBits) and
  // tiffcp rewrites with several strips (Motorola PackBits; Intel none).
  const std::vector<std::pair<std::string, std::string>> variants = {
      {"im-ii-none", "-define tiff:endian=lsb -compress none"},
      {"im-mm-packbits", "-define tiff:endian=msb -compress RLE"},
      {"cp-mm-packbits", "-B -c packbits -r 7"},
      {"cp-ii-none", "-L -c none -r 5"},
  };
  for (const Kind& k : kKinds) {
    const std::string base = P(std::string(k.name) + ".tif");
    ASSERT_EQ(Sh(std::string(kConvert) + " rose: -resize 300x " + k.magick + " -compress none '" +
                 base + "'"),
              0);
    for (const auto& [vname, options] : variants) {
      SCOPED_TRACE(std::string(k.name) + " " + vname);
      const std::string file = P(std::string(k.name) + "-" + vname + ".tif");
      const std::string cmd =
          vname.rfind("im", 0) == 0
              ? std::string(kConvert) + " '" + base + "' " + options + " '" + file + "'"
              : "tiffcp " + options + " '" + base + "' '" + file + "'";
      ASSERT_EQ(Sh(cmd), 0);
      TPixelGraphic g;
      ASSERT_NO_THROW(Read(file, g));
      EXPECT_EQ(g.PixelFormat(), k.format);
      EXPECT_EQ(g.Width(), 300);
      std::vector<uint8_t> expected = k.cmyk ? RGBFromCMYK(PeerRaw(file, 0, "cmyk", P("peer.raw")))
                                             : PeerRaw(file, 0, "rgb", P("peer.raw"));
      ASSERT_FALSE(expected.empty());
      EXPECT_TRUE(OurRGB(g) == expected);
    }
  }
}

TEST_F(TIFFTest, RefusedCompressionsAndTheirInformation) {
  NeedTools();
  const std::string rgb = P("rgb.tif");
  ASSERT_EQ(Sh(std::string(kConvert) + " rose: -depth 8 -compress none '" + rgb + "'"), 0);
  ASSERT_EQ(Sh("tiffcp -L -c lzw '" + rgb + "' '" + P("lzw.tif") + "'"), 0);
  ASSERT_EQ(Sh("tiffcp -B -c jpeg:r -r 16 '" + rgb + "' '" + P("jpeg.tif") + "'"), 0);
  ASSERT_EQ(Sh("tiffcp -c zip '" + rgb + "' '" + P("zip.tif") + "'"), 0);

  EXPECT_EQ(ReadError(P("lzw.tif")), "TIFF: Unsupported compression LZW");
  TPGFileInfo info = Info(P("lzw.tif"));
  EXPECT_EQ(info.SubType, "I, LZW, RGB");
  EXPECT_EQ(info.Extra, "(Unsupported compression)");
  EXPECT_EQ(info.Colors, "16.7 M");
  EXPECT_EQ(info.BitsPerPixel, 24);
  EXPECT_EQ(info.Width, 70);
  EXPECT_EQ(info.Height, 46);
  EXPECT_EQ(info.Count, 1);

  // libtiff writes JPEG as compression 7; 6 is the older JPEG scheme.
  EXPECT_EQ(ReadError(P("jpeg.tif")), "TIFF: Unsupported compression 7");
  EXPECT_EQ(Info(P("jpeg.tif")).SubType, "M, , RGB");
  {
    TinyTIFF t = TinyTIFF::Gray(1, 1, {0, 0, 0});
    t.little = false;
    t.entries[2] = {258, 3, 3, {8, 8, 8}};
    t.entries[3] = {259, 3, 1, {6}};
    t.entries[4] = {262, 3, 1, {2}};
    t.entries[6] = {277, 3, 1, {3}};
    EXPECT_EQ(ReadErrorBytes(t.Build()), "TIFF: Unsupported compression JPEG");
    TMemoryStream s(t.Build());
    TTIFFileFormatReader().ReadInfo(s, 0, info);
    EXPECT_EQ(info.SubType, "M, JPEG, RGB");
    EXPECT_EQ(info.Extra, "(Unsupported compression)");
  }
  EXPECT_EQ(ReadError(P("zip.tif")), "TIFF: Unsupported compression 8");
  EXPECT_EQ(Info(P("zip.tif")).Extra, "");

  // Information of accepted variants.
  ASSERT_EQ(Sh(std::string(kConvert) +
               " rose: -colors 16 -type Palette -depth 4 -define tiff:endian=msb "
               "-compress RLE '" +
               P("p4.tif") + "'"),
            0);
  info = Info(P("p4.tif"));
  EXPECT_EQ(info.SubType, "M, PackBits, RGB Palette");
  EXPECT_EQ(info.Colors, "16");
  EXPECT_EQ(info.BitsPerPixel, 4);
  EXPECT_EQ(info.Extra, "");
  // Colour map values are taken in 1/256 steps, as Pillow does.
  if (HaveTool(kPython) && Sh(std::string(kPython) + " -c 'import PIL'") == 0) {
    ASSERT_EQ(Sh(std::string(kConvert) + " rose: -colors 200 -type Palette '" + P("p8.tif") + "'"),
              0);
    TPixelGraphic g;
    Read(P("p8.tif"), g);
    EXPECT_TRUE(OurRGB(g) == PillowRGB(P("p8.tif"), P("pil.raw")));
  }
  ASSERT_EQ(
      Sh(std::string(kConvert) + " rose: -colorspace CMYK -compress none '" + P("c.tif") + "'"), 0);
  EXPECT_EQ(Info(P("c.tif")).SubType, "I, Uncompr., CMYK");
  EXPECT_EQ(Info(P("c.tif")).BitsPerPixel, 32);
}

TEST_F(TIFFTest, GoTestData) {
  if (!fs::exists(kGoData) || !HaveTool(kConvert)) GTEST_SKIP() << "Go image test data missing";
  const std::string go = kGoData;
  for (const char* name : {"bw-uncompressed.tiff", "bw-packbits.tiff", "no_rps.tiff",
                           "video-001-gray.tiff", "video-001-uncompressed.tiff"}) {
    SCOPED_TRACE(name);
    TPixelGraphic g;
    ASSERT_NO_THROW(Read(go + "/" + name, g));
    EXPECT_TRUE(OurRGB(g) == PeerRaw(go + "/" + name, 0, "rgb", P("peer.raw")));
  }
  EXPECT_EQ(ReadError(go + "/blue-purple-pink.lzwcompressed.tiff"),
            "TIFF: Unsupported compression LZW");
  EXPECT_EQ(ReadError(go + "/bw-gopher_ccittGroup3.tiff"),
            "TIFF: Unsupported compression Group 3 Fax");
  EXPECT_EQ(ReadError(go + "/bw-gopher_ccittGroup4.tiff"),
            "TIFF: Unsupported compression Group 4 Fax");
  EXPECT_EQ(ReadError(go + "/bw-deflate.tiff"), "TIFF: Unsupported compression 32946");
  EXPECT_EQ(ReadError(go + "/video-001-gray-16bit.tiff"), "TIFF: Invalid SamplesPerPixel");
  // This one leaves out the Compression tag; an absent tag reads as 0.
  EXPECT_EQ(ReadError(go + "/no_compress.tiff"), "TIFF: Unsupported compression 0");
  EXPECT_EQ(Info(go + "/bw-gopher_ccittGroup4.tiff").SubType, "I, Group 4 F., WhiteIsZero");
}

TEST_F(TIFFTest, MultiPageFilesAndDirectoryChains) {
  NeedTools();
  const std::string file = P("multi.tif");
  ASSERT_EQ(Sh(std::string(kConvert) +
               " rose: \\( rose: -flip \\) \\( rose: -negate \\) "
               "-compress RLE '" +
               file + "'"),
            0);
  TPixelGraphic g;
  Read(file, g);
  EXPECT_TRUE(OurRGB(g) == PeerRaw(file, 0, "rgb", P("peer.raw")));
  EXPECT_EQ(Info(file).Count, 1);
  EXPECT_EQ(ReadError(file, 1), "TIFF: Index invalid");

  PGTIFFCountImages = true;
  EXPECT_EQ(Info(file).Count, 3);
  for (int page : {1, 2}) {
    Read(file, g, page);
    EXPECT_TRUE(OurRGB(g) == PeerRaw(file, page, "rgb", P("peer.raw"))) << page;
  }
  EXPECT_EQ(ReadError(file, 3), "TIFF: Index invalid");
  EXPECT_EQ(ReadError(file, -1), "TIFF: Index invalid");
  // A chain longer than allowed is given up on: one image, the first.
  PGTIFFMaxImages = 2;
  EXPECT_EQ(Info(file).Count, 1);

  // A directory linking to itself neither hangs nor counts forever.
  PGTIFFMaxImages = std::numeric_limits<int>::max();
  TinyTIFF t = TinyTIFF::Gray(2, 1, {10, 20});
  t.next = -1;
  TMemoryStream s(t.Build());
  TPGFileInfo info;
  TTIFFileFormatReader().ReadInfo(s, 0, info);
  EXPECT_EQ(info.Count, 1);
}

// ---------------------------------------------------------------------------------
// Directory details and malformed files

TEST_F(TIFFTest, DirectoryValuesAndTheirMessages) {
  // Two strips whose offsets are SHORT values kept in the entry itself.
  {
    TinyTIFF t;
    t.data = {1, 2, 3, 4, 5, 6};
    t.Add(256, 3, {3});
    t.Add(257, 3, {2});
    t.Add(258, 3, {8});
    t.Add(259, 3, {1});
    t.Add(262, 3, {1});
    t.Add(273, 3, {11, 8});  // second row first on disk
    t.Add(277, 3, {1});
    t.Add(278, 3, {1});
    TMemoryStream s(t.Build());
    TPixelGraphic g;
    TTIFFileFormatReader().ReadGraphic(s, g, 0);
    EXPECT_EQ(g.PixelFormat(), pf8Bit);
    EXPECT_EQ(g.Pixel(0, 0), 4u);
    EXPECT_EQ(g.Pixel(2, 1), 3u);
  }
  // Motorola order, BYTE-typed sizes.
  {
    TinyTIFF t = TinyTIFF::Gray(2, 2, {9, 8, 7, 6});
    t.little = false;
    t.entries[0] = {256, 1, 1, {2}};
    TMemoryStream s(t.Build());
    TPixelGraphic g;
    TTIFFileFormatReader().ReadGraphic(s, g, 0);
    EXPECT_EQ(g.Pixel(1, 1), 6u);
  }
  const auto without = [](uint16_t tag) {
    TinyTIFF t = TinyTIFF::Gray(2, 2, {1, 2, 3, 4});
    std::erase_if(t.entries, [tag](const TinyTIFF::Entry& e) { return e.tag == tag; });
    return t;
  };
  EXPECT_EQ(ReadErrorBytes(without(259).Build()), "TIFF: Unsupported compression 0");
  EXPECT_EQ(ReadErrorBytes(without(277).Build()), "TIFF: Invalid SamplesPerPixel");
  EXPECT_EQ(ReadErrorBytes(without(258).Build()), "TIFF: Invalid count of SamplesPerPixel");
  {
    TinyTIFF t = without(278);  // RowsPerStrip absent with one strip: the whole image
    TMemoryStream s(t.Build());
    TPixelGraphic g;
    TTIFFileFormatReader().ReadGraphic(s, g, 0);
    EXPECT_EQ(g.Pixel(1, 1), 4u);
    for (auto& e : t.entries) {
      if (e.tag == 273) e = {273, 4, 2, {8, 10}};
    }
    EXPECT_EQ(ReadErrorBytes(t.Build()), "TIFF: Invalid RowsPerStrip");
  }
  const auto with = [](uint16_t tag, uint16_t type, std::vector<uint32_t> v) {
    TinyTIFF t = TinyTIFF::Gray(2, 2, {1, 2, 3, 4});
    for (auto& e : t.entries) {
      if (e.tag == tag) e = {tag, type, uint32_t(v.size()), v};
    }
    if (std::none_of(t.entries.begin(), t.entries.end(),
                     [tag](const TinyTIFF::Entry& e) { return e.tag == tag; })) {
      t.Add(tag, type, v);
    }
    return t.Build();
  };
  EXPECT_EQ(ReadErrorBytes(with(256, 5, {2, 1})), "TIFF: Unsupported field Type: 5");
  EXPECT_EQ(ReadErrorBytes(with(284, 3, {2})), "TIFF: PlanarConfiguration invalid");
  EXPECT_EQ(ReadErrorBytes(with(262, 3, {2})), "TIFF: Invalid SamplesPerPixel");
  EXPECT_EQ(ReadErrorBytes(with(258, 3, {2})), "TIFF: Invalid SamplesPerPixel");
  EXPECT_EQ(ReadErrorBytes(with(259, 3, {2})), "TIFF: Unsupported compression CCITT 1D");
  EXPECT_EQ(ReadErrorBytes(with(259, 3, {7})), "TIFF: Unsupported compression 7");
  EXPECT_EQ(ReadErrorBytes(with(262, 3, {3})), "TIFF: ColorMap invalid");
  EXPECT_EQ(ReadErrorBytes({'I', 'I', 43, 0, 8, 0, 0, 0}), "TIFF: Not a TIF file");
  EXPECT_EQ(ReadErrorBytes({'X', 'X', 42, 0}), "TIFF: Not a TIF file");

  // One strip offset for an image that needs two: the warning action decides.
  const std::vector<uint8_t> mismatch = with(278, 4, {1});
  const std::string text = "TIFF: NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip";
  EXPECT_EQ(ReadErrorBytes(mismatch, pgwaRaise), text);
  EXPECT_EQ(ReadErrorBytes(mismatch, pgwaIgnore), "(no error)");
  // Two offsets for three strips: always an error.
  TinyTIFF two = TinyTIFF::Gray(1, 3, {1, 2, 3});
  two.entries[5] = {273, 4, 2, {8, 9}};
  two.entries[7] = {278, 4, 1, {1}};
  EXPECT_EQ(ReadErrorBytes(two.Build(), pgwaIgnore), text);
}

TEST_F(TIFFTest, OffsetsAndCountsFromTheFileAreChecked) {
  // Strip offset beyond the file.
  {
    TinyTIFF t = TinyTIFF::Gray(2, 2, {1, 2, 3, 4});
    t.entries[5] = {273, 4, 1, {100000}};
    EXPECT_EQ(ReadErrorBytes(t.Build()), "TIFF: StripOffsets invalid");
  }
  // Strip that runs past the end: rows before it are kept.
  {
    TinyTIFF t = TinyTIFF::Gray(2, 3, {1, 2, 3, 4, 5, 6});
    t.entries[5] = {273, 4, 3, {8, 10, 0xFFFFFFF0}};
    t.entries[7] = {278, 4, 1, {1}};
    TMemoryStream s(t.Build());
    TPixelGraphic g;
    EXPECT_THROW(TTIFFileFormatReader().ReadGraphic(s, g, 0), EPGTIFFileFormatReader);
    EXPECT_EQ(g.Pixel(1, 1), 4u);
  }
  // Array values (ColorMap, StripOffsets) whose offset or count leave the file.
  {
    TinyTIFF t = TinyTIFF::Gray(2, 2, {1, 2, 3, 4});
    t.entries[4] = {262, 3, 1, {3}};
    t.AddRaw(320, 3, 768, 0xFFFFFF00);
    EXPECT_EQ(ReadErrorBytes(t.Build()), "TIFF: Unexpected end of file");
    t.entries.back() = {320, 3, 0x40000000, {}, 8};
    EXPECT_EQ(ReadErrorBytes(t.Build()), "TIFF: Unexpected end of file");
    TinyTIFF u = TinyTIFF::Gray(2, 2, {1, 2, 3, 4});
    u.entries[5] = {273, 4, 0xFFFFFFFF, {}, 8};
    u.entries[7] = {278, 4, 1, {1}};
    EXPECT_NE(ReadErrorBytes(u.Build()), "(no error)");
  }
  // A huge size is refused before any allocation.
  {
    TPGSettingScope limit(PGMaxImageSize, 64 << 20);
    TinyTIFF t = TinyTIFF::Gray(2, 2, {1, 2, 3, 4});
    t.entries[0] = {256, 4, 1, {0x7FFFFFFF}};
    t.entries[1] = {257, 4, 1, {0x7FFFFFFF}};
    t.entries[7] = {278, 4, 1, {0x7FFFFFFF}};
    TMemoryStream s(t.Build());
    TPixelGraphic g;
    EXPECT_THROW(TTIFFileFormatReader().ReadGraphic(s, g, 0), EPixelGraphic);
    t.entries[0] = {256, 4, 1, {0x80000000}};
    EXPECT_EQ(ReadErrorBytes(t.Build()), "TIFF: ImageWidth invalid");
    t.entries[0] = {256, 4, 1, {0}};
    EXPECT_EQ(ReadErrorBytes(t.Build()), "TIFF: Width = 0 or Height = 0");
  }
}

TEST_F(TIFFTest, TruncatedFilesFailCleanly) {
  NeedTools();
  for (const char* compress : {"none", "RLE"}) {
    const std::string file = P("t.tif");
    ASSERT_EQ(Sh(std::string(kConvert) + " rose: -colors 30 -type Palette -compress " + compress +
                 " '" + file + "'"),
              0);
    const std::vector<uint8_t> bytes = ReadFileBytes(file);
    for (size_t n = 0; n < bytes.size(); n += 7) {
      std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
      TMemoryStream s(part);
      TPixelGraphic g;
      g.SetReadWarningAction(pgwaIgnore);
      try {
        TTIFFileFormatReader().ReadGraphic(s, g, 0);
      } catch (const EPixelGraphic&) {
      }
      TMemoryStream s2(part);
      TPGFileInfo info;
      try {
        TTIFFileFormatReader().ReadInfo(s2, 0, info);
      } catch (const EPixelGraphic&) {
      }
    }
  }
}

TEST_F(TIFFTest, ReadingStopsWhenProgressAborts) {
  TinyTIFF t = TinyTIFF::Gray(1, 5, {1, 2, 3, 4, 5});
  TMemoryStream s(t.Build());
  TPixelGraphic g;
  int calls = 0, starts = 0, ends = 0;
  g.OnProgressStart = [&](TPixelGraphic&) { ++starts; };
  g.OnProgressEnd = [&](TPixelGraphic&) { ++ends; };
  g.OnProgress = [&](TPixelGraphic&, int step, int max, bool& abort) {
    EXPECT_EQ(max, 5);
    EXPECT_EQ(step, calls);
    abort = ++calls == 2;
  };
  TTIFFileFormatReader().ReadGraphic(s, g, 0);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(g.Pixel(0, 1), 2u);
  EXPECT_EQ(g.Pixel(0, 2), 0u);
}

// ---------------------------------------------------------------------------------
// PackBits

// The packing rules transcribed position by position, as the reference the
// encoder must agree with byte for byte.
std::vector<uint8_t> ReferencePackBits(const std::vector<uint8_t>& row) {
  const size_t n = row.size();
  std::vector<size_t> run(n);
  for (size_t i = 0; i < n;) {
    size_t j = i;
    while (j < n && row[j] == row[i]) ++j;
    for (size_t k = i; k < j; ++k) run[k] = j - i;
    i = j;
  }
  for (size_t i = 1; i < n; ++i) {
    if (run[i] == 2 && run[i - 1] == 1) run[i] = 1;
  }
  for (size_t i = n - 1; i-- > 0;) {
    if (run[i] == 2 && run[i + 1] == 1) run[i] = 1;
  }
  std::vector<uint8_t> out;
  for (size_t p = 0; p < n;) {
    size_t c = 1;
    if (run[p] == 1) {
      while (c < 128 && p + c < n && run[p + c] <= 1) ++c;
      out.push_back(uint8_t(c - 1));
      out.insert(out.end(), row.begin() + p, row.begin() + p + c);
    } else {
      while (c < 128 && p + c < n && row[p + c] == row[p]) ++c;
      out.push_back(uint8_t(-int(c - 1)));
      out.push_back(row[p]);
    }
    p += c;
  }
  return out;
}

TEST(TIFFPackBits, EncoderPacketsAndRoundTrip) {
  std::vector<uint8_t> out;
  const std::vector<uint8_t> equal(200, 0x55);
  PackBitsEncode(equal.data(), equal.size(), out);
  EXPECT_EQ(out, (std::vector<uint8_t>{uint8_t(-127), 0x55, uint8_t(-71), 0x55}));
  out.clear();
  const std::vector<uint8_t> abbc = {'A', 'B', 'B', 'C'};
  PackBitsEncode(abbc.data(), abbc.size(), out);
  EXPECT_EQ(out, (std::vector<uint8_t>{3, 'A', 'B', 'B', 'C'}));
  out.clear();
  const std::vector<uint8_t> mixed = {1, 1, 1, 2, 3, 3, 4, 4, 4, 4};
  PackBitsEncode(mixed.data(), mixed.size(), out);
  EXPECT_EQ(out, (std::vector<uint8_t>{uint8_t(-2), 1, 2, 2, 3, 3, uint8_t(-3), 4}));

  // Random rows of every length up to a few packets round-trip through the decoder.
  std::mt19937 rng(7);
  for (size_t length = 1; length < 700; length += 13) {
    std::vector<uint8_t> row(length);
    // Sparse noise, dense short runs (many runs of two), or long runs.
    for (size_t i = 0; i < length;) {
      const size_t mode = length % 3;
      const size_t n = mode == 2 ? 1 + rng() % 300 : 1;
      const uint8_t v = uint8_t(mode == 0 ? (rng() % 3 == 0 ? rng() : 9) : rng() % (mode + 2));
      for (size_t k = 0; k < n && i < length; ++k) row[i++] = v;
    }
    out.clear();
    PackBitsEncode(row.data(), row.size(), out);
    EXPECT_EQ(out, ReferencePackBits(row)) << length;
    std::vector<uint8_t> back(length);
    size_t filled = 0;
    EXPECT_EQ(PackBitsDecode(out.data(), out.size(), back.data(), length, filled, 0), out.size());
    EXPECT_EQ(filled, length);
    EXPECT_EQ(back, row);
  }
}

TEST(TIFFPackBits, DecoderStopsAtPacketBoundariesAndRefusesOverfill) {
  uint8_t row[4];
  size_t filled = 0;
  // -128 is skipped; a literal packet cut short is left for later.
  const uint8_t in[] = {0x80, 0xFF, 7, 2, 1, 2};
  EXPECT_EQ(PackBitsDecode(in, sizeof in, row, 4, filled, 0), 3u);
  EXPECT_EQ(filled, 2u);
  const uint8_t rest[] = {1, 3, 4};
  EXPECT_EQ(PackBitsDecode(rest, sizeof rest, row, 4, filled, 0), 3u);
  EXPECT_EQ(filled, 4u);
  EXPECT_EQ(row[3], 4);
  filled = 1;
  const uint8_t over[] = {uint8_t(-3), 9};
  try {
    PackBitsDecode(over, sizeof over, row, 4, filled, 5);
    ADD_FAILURE() << "no error";
  } catch (const EPGTIFFileFormatReader& e) {
    EXPECT_STREQ(e.what(), "TIFF (PackBits): Invalid count of bytes in row 5");
  }
}

// ---------------------------------------------------------------------------------
// Writing

struct WriteCase {
  const char* name;
  const char* magick;
  int compression;
  bool motorola, whiteIsZero, cmyk;
};

TEST_F(TIFFTest, WrittenFilesPassTiffinfoAndReadBackInPeers) {
  NeedTools();
  const bool pillow = HaveTool(kPython) && Sh(std::string(kPython) + " -c 'import PIL'") == 0;
  const WriteCase cases[] = {
      {"bw", "-threshold 50% -depth 1", 1, false, false, false},
      {"bw-wiz-mm-pb", "-threshold 50% -depth 1", 32773, true, true, false},
      {"gray16", "-colorspace gray -depth 4", 32773, false, false, false},
      {"gray16-wiz", "-colorspace gray -depth 4", 1, true, true, false},
      {"gray256", "-colorspace gray -depth 8", 1, false, false, false},
      {"gray256-wiz-pb", "-colorspace gray -depth 8", 32773, false, true, false},
      {"pal16", "-colors 16 -type Palette -depth 4", 1, true, false, false},
      {"pal256-pb", "-colors 200 -type Palette", 32773, false, false, false},
      {"rgb", "-depth 8", 1, false, false, false},
      {"rgb-mm-pb", "-depth 8", 32773, true, false, false},
      {"cmyk", "-depth 8", 1, false, false, true},
      {"cmyk-mm-pb", "-depth 8", 32773, true, false, true},
  };
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string source = P("src.tif");
    ASSERT_EQ(Sh(std::string(kConvert) + " rose: -resize 250x " + c.magick + " -compress none '" +
                 source + "'"),
              0);
    TPixelGraphic g;
    Read(source, g);
    PGTIFFCompression = c.compression;
    PGTIFFMotorola = c.motorola;
    PGTIFFWhiteIsZero = c.whiteIsZero;
    PGTIFFWriteCMYK = c.cmyk;
    const std::string file = P(std::string(c.name) + ".tif");
    Write(file, g);
    ResetTIFFSettings();

    const std::string info = ShOut("tiffinfo '" + file + "' 2>&1");
    EXPECT_EQ(info.find("Warning"), std::string::npos) << info;
    EXPECT_EQ(info.find("rror"), std::string::npos) << info;
    EXPECT_NE(info.find(c.compression == 1 ? "Compression Scheme: None" : "PackBits"),
              std::string::npos);
    EXPECT_EQ(ReadFileBytes(file)[0], c.motorola ? 'M' : 'I');
    if (c.whiteIsZero) {
      EXPECT_NE(info.find("min-is-white"), std::string::npos) << info;
    }
    if (c.cmyk) {
      EXPECT_NE(info.find("separated"), std::string::npos) << info;
    }

    const std::vector<uint8_t> ours = OurRGB(g);
    TPixelGraphic back;
    Read(file, back);
    EXPECT_EQ(back.PixelFormat(), g.PixelFormat());
    EXPECT_TRUE(OurRGB(back) == ours);
    if (c.cmyk) {
      std::vector<uint8_t> cmyk = PeerRaw(file, 0, "cmyk", P("peer.raw"));
      EXPECT_TRUE(RGBFromCMYK(cmyk) == ours);
    } else if (g.PixelFormat() == pf4Bit && c.whiteIsZero) {
      // ImageMagick 6 ignores WhiteIsZero at 4 bits; libtiff's own decode is the peer.
      ASSERT_EQ(Sh("tiff2rgba -c none '" + file + "' '" + P("rgba.tif") + "'"), 0);
      EXPECT_TRUE(PeerRaw(P("rgba.tif"), 0, "rgb", P("peer.raw")) == ours);
    } else {
      EXPECT_TRUE(PeerRaw(file, 0, "rgb", P("peer.raw")) == ours);
    }
    if (pillow && c.cmyk) {
      EXPECT_TRUE(RGBFromCMYK(PillowRGB(file, P("pil.raw"), "CMYK")) == ours);
    } else if (pillow) {
      EXPECT_TRUE(PillowRGB(file, P("pil.raw")) == ours);
    }
  }
}

TEST_F(TIFFTest, StripLayoutResolutionAndSettings) {
  NeedTools();
  TPixelGraphic g;
  g.SetSize(2000, 100, pf24Bit);
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 2000; ++x) g.SetPixel(x, y, RGB(x & 255, y, (x * y) & 255));
  }
  PGTIFFResolutionUnit = 2;
  PGTIFFXResolution = {720, 7};
  PGTIFFYResolution = {50, 1};
  Write(P("strips.tif"), g);
  const std::string info = ShOut("tiffinfo -s '" + P("strips.tif") + "' 2>&1");
  EXPECT_NE(info.find("Rows/Strip: 5"), std::string::npos) << info;
  EXPECT_NE(info.find("20 Strips:"), std::string::npos) << info;
  EXPECT_NE(info.find("Resolution: 102.857, 50 pixels/cm"), std::string::npos) << info;
  TPixelGraphic back;
  Read(P("strips.tif"), back);
  EXPECT_TRUE(OurRGB(back) == OurRGB(g));

  // Strip offsets from our own directory: even, ascending, 30000 bytes apart.
  TMemoryStream m;
  TTIFFileFormatWriter().WriteGraphic(m, g);
  EXPECT_EQ(m.Position(), m.Size());
  TPGFileInfo fi;
  m.Seek(0);
  TTIFFileFormatReader().ReadInfo(m, 0, fi);
  EXPECT_EQ(fi.SubType, "I, Uncompr., RGB");

  // PackBits halves the strip rows; an odd-sized strip is followed by a pad byte.
  PGTIFFCompression = 32773;
  Write(P("pb.tif"), g);
  const std::string pb = ShOut("tiffinfo -s '" + P("pb.tif") + "' 2>&1");
  EXPECT_NE(pb.find("Rows/Strip: 2"), std::string::npos) << pb;
  EXPECT_NE(pb.find("50 Strips:"), std::string::npos) << pb;
  Read(P("pb.tif"), back);
  EXPECT_TRUE(OurRGB(back) == OurRGB(g));

  PGTIFFCompression = 5;
  TMemoryStream bad;
  try {
    TTIFFileFormatWriter().WriteGraphic(bad, g);
    ADD_FAILURE() << "no error";
  } catch (const EPGTIFFileFormatWriter& e) {
    EXPECT_STREQ(e.what(), "TIFF: Internal Error");
  }
}

TEST_F(TIFFTest, MultiPartWritingChainsDirectories) {
  NeedTools();
  TPixelGraphic a, b;
  a.SetSize(3, 3, pf24Bit);  // odd-sized strip: the next directory must be re-aligned
  a.SetPixel(1, 1, RGB(200, 10, 20));
  b.SetSize(5, 2, pf8Bit);
  b.SetPaletteIdent(pGray256);
  b.SetPixel(4, 1, 99);
  TTIFFileFormatWriter w;
  {
    TFileStream s(P("two.tif"), TFileStream::fmCreate);
    w.WriteHeader(s);
    w.WriteBody(s, a);
    w.WriteBody(s, b);
    w.WriteTrailer(s);
    s.Close();
  }
  const std::string info = ShOut("tiffinfo '" + P("two.tif") + "' 2>&1");
  EXPECT_EQ(info.find("Warning"), std::string::npos) << info;
  EXPECT_EQ(info.find("rror"), std::string::npos) << info;
  PGTIFFCountImages = true;
  EXPECT_EQ(Info(P("two.tif")).Count, 2);
  TPixelGraphic back;
  Read(P("two.tif"), back, 1);
  EXPECT_EQ(back.Width(), 5);
  EXPECT_EQ(back.Pixel(4, 1), 99u);
  EXPECT_TRUE(PeerRaw(P("two.tif"), 1, "rgb", P("peer.raw")) == OurRGB(back));
}

// ---------------------------------------------------------------------------------
// Through the format lists

TEST_F(TIFFTest, LoadSaveAndInformationThroughTheFormatLists) {
  NeedTools();
  ASSERT_EQ(Sh(std::string(kConvert) + " rose: -compress RLE '" + P("rose.tiff") + "'"), 0);
  // Found by signature, whatever the extension.
  fs::copy_file(P("rose.tiff"), P("rose.bmp"));
  TPixelGraphic g;
  g.LoadFromFile(P("rose.bmp"));
  EXPECT_EQ(g.Width(), 70);
  EXPECT_TRUE(OurRGB(g) == PeerRaw(P("rose.tiff"), 0, "rgb", P("peer.raw")));
  std::string type;
  TPGFileInfo info;
  ASSERT_TRUE(GetFileInfo(P("rose.tiff"), 0, type, info));
  EXPECT_EQ(type, "Tagged Image File Format");
  EXPECT_EQ(info.SubType, "I, PackBits, RGB");

  // A two-colour image is saved with 16 colours; both extensions write TIFF.
  TPixelGraphic two;
  two.SetSize(9, 4, pf1Bit);
  two.SetPaletteCount(2);
  two.SetPaletteColor(0, RGB(200, 0, 0));
  two.SetPaletteColor(1, RGB(0, 0, 150));
  two.ClassifyPalette();
  two.SetPixel(3, 2, 1);
  two.SetSaveColorResWarningAction(pgwaIgnore);
  two.SaveToFile(P("two.TIF"));
  TPixelGraphic back;
  back.LoadFromFile(P("two.TIF"));
  EXPECT_EQ(back.PixelFormat(), pf4Bit);
  EXPECT_TRUE(OurRGB(back) == OurRGB(two));
  g.SaveToFile(P("copy.tiff"));
  back.LoadFromFile(P("copy.tiff"));
  EXPECT_TRUE(OurRGB(back) == OurRGB(g));

  // One strip offset for two strips: the question hook decides.
  TinyTIFF t = TinyTIFF::Gray(2, 2, {1, 2, 3, 4});
  t.entries[7] = {278, 4, 1, {1}};
  const std::vector<uint8_t> bytes = t.Build();
  std::string asked;
  bool answer = false;
  SetQuestionHook([&](const std::string& caption, const std::string& text, bool withCancel) {
    asked = caption + "|" + text + (withCancel ? "|cancel" : "");
    return answer;
  });
  const std::string text = "TIFF: NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip";
  EXPECT_EQ(ReadErrorBytes(bytes, pgwaOKCancelBox), text);
  EXPECT_EQ(asked, "TIFF-Warning|" + text + "|cancel");
  answer = true;
  EXPECT_EQ(ReadErrorBytes(bytes, pgwaOKCancelBox), "(no error)");
  asked.clear();
  EXPECT_EQ(ReadErrorBytes(bytes, pgwaOKBox), text);
  EXPECT_EQ(asked, "TIFF-Warning|" + text);
  SetQuestionHook(nullptr);
}

}  // namespace
