// The PNG reader and writer against PngSuite, files made by pnmtopng,
// ImageMagick and Pillow, and the decodes of netpbm's pngtopnm and Pillow.
#include "pgraphic/formats/png.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/jpegpng_peer.h"
#include "support/pg_message.h"

using namespace pgraphic;

namespace {

const std::string kSuite = "/usr/share/doc/libsixel-examples/examples/images/pngsuite/";
const std::string kMagick = "/usr/bin/convert-im6.q16";
const std::string kPython = "/usr/bin/python3";

// Restores the unit-wide settings a test changes, and removes its question hook.
struct TSettingsGuard {
  TPGSettingScope<bool> useFileBackground{PGPNGUseFileBackground}, writeGamma{PGPNGWriteGamma};
  TPGSettingScope<int64_t> maxSize{PGMaxImageSize};
  ~TSettingsGuard() { SetQuestionHook(nullptr); }
};

void ReadPNGBytes(const std::vector<uint8_t>& bytes, TPixelGraphic& g,
                  TPGWarningAction action = pgwaIgnore) {
  g.SetReadWarningAction(action);
  TReadOnlyMemoryStream in(bytes.data(), bytes.size());
  TPNGFileFormatReader().ReadGraphic(in, g, 0);
}

// PngSuite files may come gzip-compressed in some packagings.
std::vector<uint8_t> SuiteFile(const std::string& relative) {
  const std::string path = kSuite + relative;
  if (std::filesystem::exists(path)) return peer::ReadFile(path);
  const std::vector<uint8_t> packed = peer::ReadFile(path + ".gz");
  std::vector<uint8_t> out(1 << 20);
  z_stream z{};
  inflateInit2(&z, 16 + MAX_WBITS);
  z.next_in = const_cast<Bytef*>(packed.data());
  z.avail_in = static_cast<uInt>(packed.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  inflate(&z, Z_FINISH);
  out.resize(z.total_out);
  inflateEnd(&z);
  return out;
}

TPGFileInfo InfoOfBytes(const std::vector<uint8_t>& bytes) {
  TReadOnlyMemoryStream in(bytes.data(), bytes.size());
  TPGFileInfo info;
  TPNGFileFormatReader().ReadInfo(in, 0, info);
  return info;
}

std::string MessageOf(const std::function<void()>& f) {
  return korvane_test::MessageOf(f, "(no error)");
}

std::vector<uint8_t> WriteToMemory(TPixelGraphic& g) {
  TMemoryStream out;
  TPNGFileFormatWriter().WriteGraphic(out, g);
  return out.Bytes();
}

bool HasChunk(const std::vector<uint8_t>& png, const char* type) {
  return std::search(png.begin(), png.end(), type, type + 4) != png.end();
}

// The background a file asks for in its bKGD chunk, in 8 bits; false without one.
bool FileBackground(const std::vector<uint8_t>& png, TRGB& colour) {
  auto be32 = [&](size_t at) {
    return uint32_t(png[at]) << 24 | uint32_t(png[at + 1]) << 16 | uint32_t(png[at + 2]) << 8 |
           png[at + 3];
  };
  int depth = 8, colorType = 0;
  std::vector<TRGB> palette;
  for (size_t at = 8; at + 12 <= png.size();) {
    const uint32_t n = be32(at);
    const std::string type(png.begin() + at + 4, png.begin() + at + 8);
    const uint8_t* d = png.data() + at + 8;
    if (at + 12 + n > png.size()) break;
    auto sample = [&](int i) {
      const unsigned v = unsigned(d[2 * i]) << 8 | d[2 * i + 1];
      return depth == 16 ? v >> 8 : v * 255 / ((1u << depth) - 1);
    };
    if (type == "IHDR") {
      depth = d[8];
      colorType = d[9];
    } else if (type == "PLTE") {
      for (uint32_t i = 0; i + 3 <= n; i += 3) palette.push_back(RGB(d[i], d[i + 1], d[i + 2]));
    } else if (type == "bKGD") {
      if (colorType == 3)
        colour = d[0] < palette.size() ? palette[d[0]] : 0;
      else if (colorType & 2)
        colour = RGB(sample(0), sample(1), sample(2));
      else
        colour = RGB(sample(0), sample(0), sample(0));
      return true;
    }
    at += 12 + n;
  }
  return false;
}

// pngtopnm's decode of colour and ImageMagick's of alpha (tRNS included), mixed with the
// file's bKGD (when it has one and it is to be used) or the given colour.
peer::TPeerImage PeerDecode(const korvane_test::ScratchDir& s, const std::string& png,
                            TRGB background = 0, bool useFile = true) {
  EXPECT_EQ(
      korvane_test::RunShell("pngtopnm " + png + " > " + s.File("colour.pnm") + " 2>/dev/null"), 0);
  // ImageMagick's alpha honours tRNS for every colour type (pngtopnm's does not
  // for RGB files).
  EXPECT_EQ(korvane_test::RunShell(kMagick + " " + png +
                                   " -alpha extract -depth 8 pgm:" + s.File("alpha.pnm")),
            0);
  peer::TPeerImage colour = peer::ReadPNM(s.File("colour.pnm"));
  const peer::TPeerImage alpha = peer::ReadPNM(s.File("alpha.pnm"));
  TRGB bg = background;
  if (useFile) FileBackground(peer::ReadFile(png), bg);
  const uint32_t bgSample[3] = {GetR(bg), GetG(bg), GetB(bg)};
  const uint32_t bgGray = (GetR(bg) + GetG(bg) + GetB(bg)) / 3;
  for (size_t p = 0; p < alpha.Samples.size(); ++p) {
    const uint32_t a = alpha.Samples[p];
    for (int c = 0; c < colour.Channels; ++c) {
      uint8_t& v = colour.Samples[p * colour.Channels + c];
      const uint32_t b = colour.Channels == 1 ? bgGray : bgSample[c];
      v = static_cast<uint8_t>((v * a + b * (255 - a) + 127) / 255);
    }
  }
  return colour;
}

// Appends a chunk with its CRC to a PNG byte vector at the given position.
void InsertChunk(std::vector<uint8_t>& png, size_t at, const char* type,
                 const std::vector<uint8_t>& data, bool badCrc = false) {
  std::vector<uint8_t> chunk;
  const uint32_t n = static_cast<uint32_t>(data.size());
  for (int i = 3; i >= 0; --i) chunk.push_back(static_cast<uint8_t>(n >> (8 * i)));
  chunk.insert(chunk.end(), type, type + 4);
  chunk.insert(chunk.end(), data.begin(), data.end());
  uint32_t crc = static_cast<uint32_t>(crc32(0, chunk.data() + 4, static_cast<uInt>(4 + n)));
  if (badCrc) crc ^= 1;
  for (int i = 3; i >= 0; --i) chunk.push_back(static_cast<uint8_t>(crc >> (8 * i)));
  png.insert(png.begin() + static_cast<std::ptrdiff_t>(at), chunk.begin(), chunk.end());
}

constexpr size_t kAfterIHDR = 8 + 25;

}  // namespace

TEST(PNGReader, PngSuiteDecodesAsPngtopnm) {
  if (!std::filesystem::exists(kSuite) || !peer::Have("pngtopnm") || !peer::Have(kMagick)) {
    GTEST_SKIP() << "PngSuite, netpbm or ImageMagick missing";
  }
  korvane_test::ScratchDir s("png-suite");
  int checked = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(kSuite)) {
    if (!entry.is_regular_file()) continue;
    const std::string relative = std::filesystem::relative(entry.path(), kSuite).string();
    if (relative.rfind("corrupted", 0) == 0) continue;
    std::string name = relative;
    if (name.size() > 3 && name.substr(name.size() - 3) == ".gz") name.resize(name.size() - 3);
    SCOPED_TRACE(name);
    const std::vector<uint8_t> bytes = SuiteFile(name);
    peer::WriteFile(s.File("in.png"), bytes);
    TPixelGraphic g;
    ReadPNGBytes(bytes, g);
    EXPECT_LE(peer::MaxDifference(g, PeerDecode(s, s.File("in.png"))), 2);
    ++checked;
  }
  EXPECT_GE(checked, 150);
}

TEST(PNGReader, PixelFormatsAndPalettesFollowTheColourType) {
  if (!std::filesystem::exists(kSuite)) GTEST_SKIP() << "PngSuite missing";
  const struct {
    const char* file;
    TPGPixelFormat format;
    TPaletteIdent ident;
  } cases[] = {
      {"basic/basn0g01.png", pf1Bit, pBlackWhite}, {"basic/basn0g02.png", pf4Bit, pGray4},
      {"basic/basn0g04.png", pf4Bit, pGray16},     {"basic/basn0g08.png", pf8Bit, pGray256},
      {"basic/basn0g16.png", pf8Bit, pGray256},    {"basic/basn4a08.png", pf8Bit, pGray256},
      {"basic/basn3p01.png", pf1Bit, pUnknown},    {"basic/basn3p02.png", pf4Bit, pUnknown},
      {"basic/basn3p04.png", pf4Bit, pUnknown},    {"basic/basn3p08.png", pf8Bit, pUnknown},
      {"basic/basn2c16.png", pf24Bit, pTrueColor}, {"basic/basn6a16.png", pf24Bit, pTrueColor},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    TPixelGraphic g;
    ReadPNGBytes(SuiteFile(c.file), g);
    EXPECT_EQ(g.Width(), 32);
    EXPECT_EQ(g.PixelFormat(), c.format);
    if (c.ident != pUnknown) {
      EXPECT_EQ(g.PaletteIdent(), c.ident);
    }
  }
  // 2-bit gray: a 4-entry gray palette and pixel values 0..3 unpacked in place;
  // the file's first row runs 0,0,0,0,1,1,1,1,2,2,2,2,3,3,3,3,...
  TPixelGraphic g;
  ReadPNGBytes(SuiteFile("basic/basn0g02.png"), g);
  ASSERT_EQ(g.PaletteCount(), 4);
  EXPECT_EQ(g.PaletteColor(1), RGB(85, 85, 85));
  uint32_t highest = 0;
  for (int x = 0; x < 32; ++x) highest = std::max(highest, g.Pixel(x, 0));
  EXPECT_EQ(highest, 3u);
  // A 2-bit palette file keeps its own entries.
  ReadPNGBytes(SuiteFile("basic/basn3p02.png"), g);
  EXPECT_EQ(g.PaletteCount(), 4);
  EXPECT_EQ(g.PixelFormat(), pf4Bit);
}

TEST(PNGReader, InterlacedFilesMatchTheirPlainTwins) {
  if (!std::filesystem::exists(kSuite)) GTEST_SKIP() << "PngSuite missing";
  const char* kinds[] = {"0g01", "0g02", "0g04", "0g08", "0g16", "2c08", "2c16", "3p01",
                         "3p02", "3p04", "3p08", "4a08", "4a16", "6a08", "6a16"};
  for (const char* k : kinds) {
    SCOPED_TRACE(k);
    TPixelGraphic plain, interlaced;
    ReadPNGBytes(SuiteFile(std::string("basic/basn") + k + ".png"), plain);
    ReadPNGBytes(SuiteFile(std::string("interlacing/basi") + k + ".png"), interlaced);
    EXPECT_EQ(interlaced.PixelFormat(), plain.PixelFormat());
    EXPECT_EQ(peer::MaxDifference(plain, interlaced), 0);
  }
  // The odd sizes: every interlaced file equals its non-interlaced twin.
  for (int size = 1; size <= 9; ++size) {
    SCOPED_TRACE(size);
    const std::string depth = size <= 4 ? "3p01" : "3p02";
    char n[8];
    std::snprintf(n, sizeof n, "%02d", size);
    TPixelGraphic plain, interlaced;
    ReadPNGBytes(SuiteFile(std::string("odd/s") + n + "n" + depth + ".png"), plain);
    ReadPNGBytes(SuiteFile(std::string("odd/s") + n + "i" + depth + ".png"), interlaced);
    EXPECT_EQ(plain.Width(), size);
    EXPECT_EQ(peer::MaxDifference(plain, interlaced), 0);
  }
}

TEST(PNGReader, TransparencyUsesFileOrImageBackground) {
  if (!std::filesystem::exists(kSuite) || !peer::Have("pngtopnm") || !peer::Have(kMagick)) {
    GTEST_SKIP() << "PngSuite, netpbm or ImageMagick missing";
  }
  TSettingsGuard guard;
  korvane_test::ScratchDir s("png-background");
  const char* files[] = {"background/bgyn6a16.png",   "background/bgwn6a08.png",
                         "background/bggn4a16.png",   "transparency/tbrn2c08.png",
                         "transparency/tbbn3p08.png", "transparency/tbwn0g16.png",
                         "transparency/tbbn0g04.png", "background/bgan6a08.png",
                         "transparency/tp1n3p08.png", "transparency/tm3n3p02.png"};
  for (const char* f : files) {
    SCOPED_TRACE(f);
    const std::vector<uint8_t> bytes = SuiteFile(f);
    peer::WriteFile(s.File("in.png"), bytes);
    TRGB fileBackground = 0;
    const bool hasBKGD = FileBackground(bytes, fileBackground);

    // With the setting on, bKGD wins and becomes the image's background.
    PGPNGUseFileBackground = true;
    TPixelGraphic g;
    g.SetBackGroundColor(RGB(10, 200, 30));
    ReadPNGBytes(bytes, g);
    EXPECT_LE(peer::MaxDifference(g, PeerDecode(s, s.File("in.png"), RGB(10, 200, 30))), 2);
    if (hasBKGD) {
      EXPECT_EQ(g.BackGroundColorRGB(), fileBackground);
    }

    // With it off, the image's own background colour is used.
    PGPNGUseFileBackground = false;
    TPixelGraphic h;
    h.SetBackGroundColor(RGB(250, 40, 120));
    ReadPNGBytes(bytes, h);
    EXPECT_LE(peer::MaxDifference(h, PeerDecode(s, s.File("in.png"), RGB(250, 40, 120), false)),
              h.PixelFormat() == pf24Bit ? 2 : 86);
  }
}

TEST(PNGReader, GammaChunkSetsTheImageGamma) {
  if (!std::filesystem::exists(kSuite)) GTEST_SKIP() << "PngSuite missing";
  const struct {
    const char* file;
    long double gamma;
  } cases[] = {{"gamma/g03n2c08.png", 1 / 0.35L},
               {"gamma/g10n0g16.png", 1 / 1.0L},
               {"gamma/g25n3p04.png", 1 / 2.5L},
               {"basic/basn2c08.png", 1.0L}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    TPixelGraphic g;
    ReadPNGBytes(SuiteFile(c.file), g);
    EXPECT_NEAR(static_cast<double>(g.Gamma()), static_cast<double>(c.gamma), 1e-4);
  }
  // Without gAMA the image keeps the display gamma.
  std::vector<uint8_t> bytes = SuiteFile("basic/basn2c08.png");
  const auto at = std::search(bytes.begin(), bytes.end(), "gAMA", "gAMA" + 4) - 4;
  bytes.erase(at, at + 16);
  TPixelGraphic g;
  g.SetGamma(3);
  ReadPNGBytes(bytes, g);
  EXPECT_EQ(g.Gamma(), PGDisplayGamma);
}

TEST(PNGReader, PeerMadeVariantsDecodeAsThePeers) {
  if (!peer::Have("pnmtopng") || !peer::Have(kMagick) || !peer::Have(kPython)) {
    GTEST_SKIP() << "netpbm, ImageMagick or Pillow missing";
  }
  korvane_test::ScratchDir s("png-variants");
  const std::string src = s.File("src.ppm");
  ASSERT_EQ(
      korvane_test::RunShell(kMagick + " -size 61x37 gradient:#ff2000-#0030ff -depth 8 " + src), 0);
  const std::string gray2 = s.File("gray2.pgm");
  ASSERT_EQ(korvane_test::RunShell("pgmramp -lr 61 37 | pamdepth 3 > " + gray2), 0);
  const struct {
    const char* name;
    std::string command;
    int bits;
  } variants[] = {
      {"pnmtopng 2-bit gray", "pnmtopng " + gray2 + " > OUT", 2},
      {"pnmtopng tRNS+bKGD",
       "pnmtopng -force -transparent =rgb:ff/20/00 -background rgb:00/ff/00 " + src + " > OUT", 24},
      {"pnmtopng gAMA", "pnmtopng -force -gamma 0.45455 " + src + " > OUT", 24},
      {"ImageMagick 16-bit RGB", kMagick + " " + src + " -depth 16 PNG48:OUT", 48},
      {"ImageMagick interlaced", kMagick + " " + src + " -interlace PNG PNG24:OUT", 24},
      {"Pillow RGBA",
       kPython + " -c \"from PIL import Image; im=Image.open('" + src +
           "').convert('RGBA'); im.putalpha(Image.linear_gradient('L').resize(im.size)); "
           "im.save('OUT')\"",
       32},
      {"Pillow 2-bit palette",
       kPython + " -c \"from PIL import Image; im=Image.open('" + src +
           "').quantize(4); im.save('OUT', bits=2)\"",
       2},
  };
  for (const auto& v : variants) {
    SCOPED_TRACE(v.name);
    const std::string out = s.File("variant.png");
    std::string command = v.command;
    command.replace(command.find("OUT"), 3, out);
    ASSERT_EQ(korvane_test::RunShell(command), 0);
    const std::vector<uint8_t> bytes = peer::ReadFile(out);
    EXPECT_EQ(InfoOfBytes(bytes).BitsPerPixel, v.bits);
    TPixelGraphic g;
    ReadPNGBytes(bytes, g);
    EXPECT_LE(peer::MaxDifference(g, PeerDecode(s, out)), 2);
  }
}

TEST(PNGReader, InfoNamesTypeDepthAndChunks) {
  if (!std::filesystem::exists(kSuite)) GTEST_SKIP() << "PngSuite missing";
  struct {
    const char* file;
    int bits;
    const char* colors;
    const char* subtype;
    const char* extra;
  } cases[] = {
      {"basic/basn0g01.png", 1, "2", "GrayScale", "(gama)"},
      {"basic/basn0g02.png", 2, "4", "GrayScale", "(gama)"},
      {"basic/basn3p04.png", 4, "16", "palette", "(gama, sbit, plte)"},
      {"basic/basn0g16.png", 16, "64K?", "GrayScale", "(gama)"},
      {"basic/basn2c08.png", 24, "16.7M", "RGB", "(gama)"},
      {"basic/basn6a08.png", 32, "16.7M?", "RGB, alpha", "(gama)"},
      {"basic/basn2c16.png", 48, "?", "RGB", "(gama)"},
      {"interlacing/basi4a08.png", 16, "64K?", "GrayScale, alpha, interlaced", "(gama)"},
      {"transparency/tbrn2c08.png", 24, "16.7M", "RGB", "(gama, trns, bkgd)"},
      {"chunk/ch2n3p08.png", 8, "256", "palette", "(gama, plte, hist)"},
      {"chunk/cdfn2c08.png", 24, "16.7M", "RGB", "(gama, sbit, phys)"},
      {"chunk/ccwn2c08.png", 24, "16.7M", "RGB", "(gama, chrm)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const TPGFileInfo info = InfoOfBytes(SuiteFile(c.file));
    EXPECT_EQ(info.Width, std::string(c.file) == "chunk/cdfn2c08.png" ? 8 : 32);
    EXPECT_EQ(info.Height, 32);
    EXPECT_EQ(info.Count, 1);
    EXPECT_EQ(info.BitsPerPixel, c.bits);
    EXPECT_EQ(info.Colors, c.colors);
    EXPECT_EQ(info.SubType, c.subtype);
    EXPECT_EQ(info.Extra, c.extra);
  }
  // A file whose only extra chunk is oFFs.
  std::vector<uint8_t> bytes = SuiteFile("basic/basn0g08.png");
  const auto at = std::search(bytes.begin(), bytes.end(), "gAMA", "gAMA" + 4) - 4;
  bytes.erase(at, at + 16);
  InsertChunk(bytes, kAfterIHDR, "oFFs", {0, 0, 0, 5, 0, 0, 0, 7, 0});
  EXPECT_EQ(InfoOfBytes(bytes).Extra, "(offs)");
  bytes = SuiteFile("basic/basn0g08.png");
  bytes.erase(std::search(bytes.begin(), bytes.end(), "gAMA", "gAMA" + 4) - 4,
              std::search(bytes.begin(), bytes.end(), "gAMA", "gAMA" + 4) + 12);
  EXPECT_EQ(InfoOfBytes(bytes).Extra, "");
}

TEST(PNGReader, BadFilesGiveCleanErrors) {
  if (!std::filesystem::exists(kSuite)) GTEST_SKIP() << "PngSuite missing";
  TSettingsGuard guard;
  int refused = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kSuite + "corrupted")) {
    SCOPED_TRACE(entry.path().filename().string());
    TPixelGraphic g;
    const std::string message =
        MessageOf([&] { ReadPNGBytes(peer::ReadFile(entry.path().string()), g); });
    EXPECT_EQ(message.rfind("PNG: ", 0), 0u) << message;
    ++refused;
  }
  EXPECT_GE(refused, 10);

  TPixelGraphic g;
  const std::vector<uint8_t> whole = SuiteFile("interlacing/basi6a16.png");
  TReadOnlyMemoryStream in(whole.data(), whole.size());
  EXPECT_EQ(MessageOf([&] { TPNGFileFormatReader().ReadGraphic(in, g, 1); }), "PNG: Index invalid");
  TPGFileInfo info;
  EXPECT_EQ(MessageOf([&] { TPNGFileFormatReader().ReadInfo(in, 1, info); }),
            "PNG: Invalid value for Index");

  // Every cut position: a clean error with the prefix, never a fault.
  for (size_t n = 0; n < whole.size(); n += 37) {
    const std::vector<uint8_t> part(whole.begin(), whole.begin() + n);
    TPixelGraphic p;
    const std::string message = MessageOf([&] { ReadPNGBytes(part, p); });
    EXPECT_EQ(message.rfind("PNG: ", 0), 0u) << n << ": " << message;
  }
  const std::vector<uint8_t> cut(whole.begin(), whole.begin() + whole.size() / 2);
  EXPECT_EQ(MessageOf([&] { ReadPNGBytes(cut, g); }), "PNG: Unexpected end of file");
  EXPECT_EQ(g.Width(), 32);

  // Sizes from the header are checked before anything is allocated.
  PGMaxImageSize = 1 << 20;
  std::vector<uint8_t> huge = SuiteFile("basic/basn2c08.png");
  huge[16] = 0x00, huge[17] = 0x01, huge[18] = 0x00, huge[19] = 0x00;  // width 65536
  huge[20] = 0x00, huge[21] = 0x01, huge[22] = 0x00, huge[23] = 0x00;  // height 65536
  const uint32_t crc = static_cast<uint32_t>(crc32(0, huge.data() + 12, 17));
  for (int i = 0; i < 4; ++i) huge[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
  TPixelGraphic h;
  EXPECT_THROW(ReadPNGBytes(huge, h), EPixelGraphic);
  EXPECT_EQ(h.ImageSize(), 0);
}

TEST(PNGReader, WarningsFollowTheWarningAction) {
  if (!std::filesystem::exists(kSuite)) GTEST_SKIP() << "PngSuite missing";
  TSettingsGuard guard;
  // An ancillary chunk with a bad CRC is only a warning to the library.
  std::vector<uint8_t> bytes = SuiteFile("basic/basn2c08.png");
  InsertChunk(bytes, kAfterIHDR, "tEXt", {'a', 0, 'b'}, true);
  TPixelGraphic g;
  EXPECT_EQ(MessageOf([&] { ReadPNGBytes(bytes, g, pgwaRaise); }), "PNG: tEXt: CRC error");
  int asked = 0;
  bool answer = false;
  SetQuestionHook([&](const std::string& caption, const std::string& text, bool withCancel) {
    ++asked;
    EXPECT_EQ(caption, "PNG Warning");
    EXPECT_EQ(text, "tEXt: CRC error");
    EXPECT_TRUE(withCancel);
    return answer;
  });
  EXPECT_EQ(MessageOf([&] { ReadPNGBytes(bytes, g, pgwaOKCancelBox); }),
            "PNG: Operation aborted on user request");
  EXPECT_EQ(asked, 1);
  answer = true;
  EXPECT_EQ(MessageOf([&] { ReadPNGBytes(bytes, g, pgwaOKCancelBox); }), "(no error)");
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(MessageOf([&] { ReadPNGBytes(bytes, g, pgwaIgnore); }), "(no error)");
  EXPECT_EQ(asked, 2);
  // The information always raises on warnings.
  EXPECT_EQ(MessageOf([&] { InfoOfBytes(bytes); }), "PNG: tEXt: CRC error");
}

TEST(PNGReader, ProgressCoversAllPassesAndAbortStops) {
  if (!std::filesystem::exists(kSuite)) GTEST_SKIP() << "PngSuite missing";
  TPixelGraphic g;
  int calls = 0, starts = 0, ends = 0, max = 0, last = -1;
  g.OnProgressStart = [&](TPixelGraphic&) { ++starts; };
  g.OnProgressEnd = [&](TPixelGraphic&) { ++ends; };
  g.OnProgress = [&](TPixelGraphic&, int step, int m, bool&) {
    ++calls;
    EXPECT_EQ(step, last + 1);
    last = step;
    max = m;
  };
  ReadPNGBytes(SuiteFile("interlacing/basi2c08.png"), g);
  EXPECT_EQ(calls, 7 * 32);
  EXPECT_EQ(max, 7 * 32);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(ends, 1);

  // Abort within the first pass: later rows keep what they had, the file's end
  // is not read, and the read still counts as done.
  g.OnProgress = [&](TPixelGraphic&, int step, int, bool& abort) { abort = step == 40; };
  TPixelGraphic plain;
  ReadPNGBytes(SuiteFile("basic/basn2c08.png"), plain);
  ends = 0;
  ReadPNGBytes(SuiteFile("basic/basn2c08.png"), g);
  EXPECT_EQ(ends, 1);
  g.OnProgress = [&](TPixelGraphic&, int step, int, bool& abort) { abort = step == 10; };
  g.SetBackGroundColor(0);
  ReadPNGBytes(SuiteFile("basic/basn2c08.png"), g);
  EXPECT_EQ(g.PixelColor(3, 10), plain.PixelColor(3, 10));
  EXPECT_EQ(g.PixelColor(3, 20), 0u);

  g.OnProgress = [&](TPixelGraphic&, int step, int, bool&) {
    if (step == 5) throw std::runtime_error("handler failed");
  };
  ends = 0;
  EXPECT_THROW(ReadPNGBytes(SuiteFile("basic/basn2c08.png"), g), std::runtime_error);
  EXPECT_EQ(ends, 1);
}

// ---- Writer ------------------------------------------------------------------------------

namespace {

// One image per colour resolution, with content that uses its palette.
void MakeImage(TPixelGraphic& g, TPGColorResolution r) {
  const int w = 45, h = 29;
  switch (r) {
    case crBlackWhite:
    case cr2Colors:
      g.SetSize(w, h, pf1Bit);
      if (r == crBlackWhite) {
        g.SetPaletteIdent(pBlackWhite);
      } else {
        g.SetPaletteCount(2);
        g.SetPaletteColor(0, RGB(200, 10, 10));
        g.SetPaletteColor(1, RGB(10, 10, 200));
      }
      break;
    case cr16Grays:
    case cr16SysColors:
    case cr16Colors:
      g.SetSize(w, h, pf4Bit);
      if (r == cr16Grays)
        g.SetPaletteIdent(pGray16);
      else if (r == cr16SysColors)
        g.SetPaletteIdent(pSys16);
      else {
        g.SetPaletteCount(16);
        for (int i = 0; i < 16; ++i) g.SetPaletteColor(i, RGB(i * 16, 255 - i * 9, i * 5));
      }
      break;
    case cr256Grays:
    case cr256Colors:
      g.SetSize(w, h, pf8Bit);
      if (r == cr256Grays)
        g.SetPaletteIdent(pGray256);
      else {
        g.SetPaletteCount(200);
        for (int i = 0; i < 200; ++i) g.SetPaletteColor(i, RGB(i, (i * 7) & 255, 255 - i));
      }
      break;
    case crTrueColor:
      g.SetSize(w, h, pf24Bit);
      break;
  }
  g.ClassifyPalette();
  const int colours = g.PixelFormat() == pf24Bit ? 1 << 24 : g.PaletteCount();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      g.SetPixel(x, y, static_cast<uint32_t>((x * 131 + y * 977 + x * y * 7919) % colours));
}

}  // namespace

TEST(PNGWriter, EveryResolutionPassesPngcheckAndReadsBackInPeers) {
  if (!peer::Have("pngcheck") || !peer::Have("pngtopnm") || !peer::Have(kPython)) {
    GTEST_SKIP() << "pngcheck, netpbm or Pillow missing";
  }
  TSettingsGuard guard;
  korvane_test::ScratchDir s("png-writer");
  const struct {
    TPGColorResolution r;
    const char* ihdr;  // what pngcheck reports
    bool plte;
  } cases[] = {
      {crBlackWhite, "1-bit palette", true}, {cr2Colors, "1-bit palette", true},
      {cr16Grays, "4-bit palette", true},    {cr16SysColors, "4-bit palette", true},
      {cr16Colors, "4-bit palette", true},   {cr256Grays, "8-bit grayscale", false},
      {cr256Colors, "8-bit palette", true},  {crTrueColor, "24-bit RGB", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ihdr + std::string(" ") + std::to_string(c.r));
    TPixelGraphic g;
    MakeImage(g, c.r);
    g.SetGamma(2.2L);
    const std::vector<uint8_t> bytes = WriteToMemory(g);
    const std::string path = s.File("out.png");
    peer::WriteFile(path, bytes);
    EXPECT_EQ(korvane_test::RunShell("pngcheck -q " + path), 0);
    EXPECT_EQ(korvane_test::RunShell("pngcheck -v " + path + " | grep -q '" + c.ihdr + "'"), 0);
    EXPECT_EQ(HasChunk(bytes, "PLTE"), c.plte);
    EXPECT_EQ(korvane_test::RunShell("pngcheck -v " + path + " | grep -q '0.4545'"), 0);
    // netpbm and Pillow both see our pixels.
    EXPECT_EQ(peer::MaxDifference(g, PeerDecode(s, path)), 0);
    ASSERT_EQ(korvane_test::RunShell(kPython + " -c \"from PIL import Image; Image.open('" + path +
                                     "').convert('RGB').save('" + s.File("pil.ppm") + "')\""),
              0);
    EXPECT_EQ(peer::MaxDifference(g, peer::ReadPNM(s.File("pil.ppm"))), 0);
    // And we read back the same image, format and gamma.
    TPixelGraphic back;
    ReadPNGBytes(bytes, back);
    EXPECT_EQ(back.PixelFormat(), g.PixelFormat());
    EXPECT_EQ(peer::MaxDifference(g, back), 0);
    EXPECT_NEAR(static_cast<double>(back.Gamma()), 2.2, 1e-4);
  }
}

TEST(PNGWriter, GammaChunkFollowsTheSettingAndFailuresAreClean) {
  TSettingsGuard guard;
  TPixelGraphic g;
  MakeImage(g, crTrueColor);
  PGPNGWriteGamma = false;
  EXPECT_FALSE(HasChunk(WriteToMemory(g), "gAMA"));
  PGPNGWriteGamma = true;
  EXPECT_TRUE(HasChunk(WriteToMemory(g), "gAMA"));

  int starts = 0, ends = 0, last = -1, max = 0;
  g.OnProgressStart = [&](TPixelGraphic&) { ++starts; };
  g.OnProgressEnd = [&](TPixelGraphic&) { ++ends; };
  g.OnProgress = [&](TPixelGraphic&, int step, int m, bool& abort) {
    last = step;
    max = m;
    abort = true;  // the writer goes on regardless
  };
  const std::vector<uint8_t> bytes = WriteToMemory(g);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(last, g.Height() - 1);
  EXPECT_EQ(max, g.Height() - 1);
  TPixelGraphic back;
  ReadPNGBytes(bytes, back);
  EXPECT_EQ(peer::MaxDifference(g, back), 0);

  struct TFullStream : TMemoryStream {
    size_t Write(const void* b, size_t n) override {
      if (Size() + static_cast<int64_t>(n) > 100) return 0;
      return TMemoryStream::Write(b, n);
    }
  } full;
  ends = 0;
  EXPECT_THROW(TPNGFileFormatWriter().WriteGraphic(full, g), EPixelGraphic);
  TPixelGraphic empty;
  TMemoryStream out;
  EXPECT_EQ(MessageOf([&] { TPNGFileFormatWriter().WriteGraphic(out, empty); }).rfind("PNG: ", 0),
            0u);
  EXPECT_EQ(TPNGFileFormatWriter().CanWriteResolutions, 255);
}

TEST(PNGFormat, RegistersItsExtension) {
  TReaderList readers;
  TWriterList writers;
  AddPNGReaders(readers);
  AddPNGWriters(writers);
  ASSERT_EQ(readers.size(), 1u);
  ASSERT_EQ(writers.size(), 1u);
  EXPECT_EQ(readers[0]->Extension, "png");
  EXPECT_EQ(readers[0]->Description, "Portable Network Graphics");
  EXPECT_EQ(writers[0]->Description, "Portable Network Graphics");
  TFileFormatReader::THeader h{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  EXPECT_TRUE(readers[0]->IsFormat(h));
  h[7] = 0;
  EXPECT_FALSE(readers[0]->IsFormat(h));
}

// ---- Through the format lists ------------------------------------------------------------

TEST(PNGDispatch, LoadsBySignatureAndCorrectsGamma) {
  if (!std::filesystem::exists(kSuite)) GTEST_SKIP() << "PngSuite missing";
  korvane_test::ScratchDir s("png-dispatch");
  // gAMA 0.45455: the image gamma becomes 2.2 and the colours are raised to
  // 2.2 / 1.8 on loading, which leaves the image at the display gamma.
  const std::vector<uint8_t> bytes = SuiteFile("gamma/g04n2c08.png");  // gAMA 0.45
  std::vector<uint8_t> g45 = bytes;
  const auto at = std::search(g45.begin(), g45.end(), "gAMA", "gAMA" + 4);
  ASSERT_NE(at, g45.end());
  const uint32_t gamma = 45455;
  for (int i = 0; i < 4; ++i) at[4 + i] = static_cast<uint8_t>(gamma >> (24 - 8 * i));
  const uint32_t crc = static_cast<uint32_t>(crc32(0, &*at, 8));
  for (int i = 0; i < 4; ++i) at[8 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
  // Stored under a foreign extension: the signature decides.
  peer::WriteFile(s.File("photo.bmp"), g45);

  TPixelGraphic raw;
  ReadPNGBytes(g45, raw);
  EXPECT_NEAR(static_cast<double>(raw.Gamma()), 2.2, 1e-4);
  TPixelGraphic loaded;
  loaded.LoadFromFile(s.File("photo.bmp"));
  EXPECT_EQ(loaded.Gamma(), PGDisplayGamma);
  const double exponent = 1 / 0.45455 / 1.8;
  for (int y = 0; y < 32; y += 5) {
    for (int x = 0; x < 32; x += 3) {
      const TRGB v = raw.PixelColor(x, y), t = loaded.PixelColor(x, y);
      EXPECT_EQ(GetR(t), std::nearbyint(255 * std::pow(GetR(v) / 255.0, exponent)));
      EXPECT_EQ(GetB(t), std::nearbyint(255 * std::pow(GetB(v) / 255.0, exponent)));
    }
  }
  std::string type;
  TPGFileInfo info;
  ASSERT_TRUE(GetFileInfo(s.File("photo.bmp"), 0, type, info));
  EXPECT_EQ(type, "Portable Network Graphics");
  EXPECT_EQ(info.SubType, "RGB");
}

TEST(PNGDispatch, SavesAnyResolutionAsItIs) {
  korvane_test::ScratchDir s("png-save");
  for (TPGColorResolution r : {crBlackWhite, cr16Colors, cr256Grays, cr256Colors}) {
    SCOPED_TRACE(r);
    TPixelGraphic g;
    MakeImage(g, r);
    g.SetSaveColorResWarningAction(pgwaRaise);
    g.SaveToFile(s.File("out.PNG"));
    TPixelGraphic back;
    back.LoadFromFile(s.File("out.PNG"));
    EXPECT_EQ(back.PixelFormat(), g.PixelFormat());
    EXPECT_EQ(peer::MaxDifference(g, back), 0);
  }
}
