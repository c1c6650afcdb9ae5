// ICO reader: icons written by netpbm and ImageMagick in several sizes and
// depths against ImageMagick's decode, both modes, the information texts,
// the refusals and damaged files.
#include "pgraphic/formats/ico.h"

#include <gtest/gtest.h>

#include "peer_images.h"
#include "support/jpegpng_peer.h"
#include "support/pg_message.h"

using namespace pgraphic;
using peer::TempDir;

namespace {

const char* const kGdkImages = "/usr/libexec/installed-tests/gdk-pixbuf/test-images";

// Sets the ICO unit's mode for one test and puts the defaults back afterwards.
struct IcoSettings {
  explicit IcoSettings(int mode, TRGB transparent = RGB(255, 255, 255)) {
    PGIcoMode = mode;
    PGIcoTransparentColor = transparent;
  }
  ~IcoSettings() {
    PGIcoMode = 1;
    PGIcoTransparentColor = RGB(255, 255, 255);
  }
};

void ReadIco(const std::vector<uint8_t>& bytes, TPixelGraphic& graphic, int index = 0) {
  TMemoryStream stream(bytes);
  tIcoFileFormatReader reader;
  reader.ReadGraphic(stream, graphic, index);
}

TPGFileInfo IcoInfo(const std::vector<uint8_t>& bytes) {
  TMemoryStream stream(bytes);
  tIcoFileFormatReader reader;
  TPGFileInfo info;
  reader.ReadInfo(stream, 0, info);
  return info;
}

using korvane_test::MessageOf;

// Image index of an icon as ImageMagick decodes it: painted on white (what mode
// 1 shows), or the colours without the mask (what mode 0's palette shows).
bool PeerIcon(const TempDir& dir, const std::string& ico, int index, bool onWhite,
              peer::RGBImage& image) {
  const std::string out = dir / "peer.ppm";
  const std::string how = onWhite ? " -background white -flatten" : " -alpha off";
  if (peer::Run(std::string(peer::kImageMagick) + " '" + ico + "[" + std::to_string(index) + "]'" +
                how + " -depth 8 '" + out + "'") != 0) {
    return false;
  }
  return peer::ReadPNMFile(out, image);
}

// True-colour and PNG images (palette false) read as 24 bits in both modes.
void ExpectBothModesMatchPeer(const TempDir& dir, const std::string& ico, int index,
                              bool palette = true) {
  SCOPED_TRACE(ico + " image " + std::to_string(index));
  const auto bytes = korvane_test::ReadFileBytes(ico);
  peer::RGBImage onWhite, bare;
  ASSERT_TRUE(PeerIcon(dir, ico, index, false, bare));
  ASSERT_TRUE(PeerIcon(dir, ico, index, true, onWhite));  // left in peer.ppm
  {
    IcoSettings mode(1);
    TPixelGraphic g;
    ReadIco(bytes, g, index);
    EXPECT_EQ(g.PixelFormat(), pf24Bit);
    EXPECT_EQ(g.PaletteCount(), 0);
    if (palette) {
      EXPECT_EQ(peer::ComparePixels(g, onWhite), "");
    } else {  // gamma and alpha mixing may move a channel by a level or two
      EXPECT_LE(peer::MaxDifference(g, peer::ReadPNM(dir / "peer.ppm")), 2);
    }
  }
  if (palette) {
    IcoSettings mode(0);
    TPixelGraphic g;
    ReadIco(bytes, g, index);
    EXPECT_NE(g.PixelFormat(), pf24Bit);
    EXPECT_EQ(g.PaletteCount(), 1 << g.BitsPerPixel());
    EXPECT_EQ(peer::ComparePixels(g, bare), "");
  }
}

// A one-image icon of the given size and depth, assembled byte by byte.
std::vector<uint8_t> MakeIcon(int width, int height, int bits, int type = 1) {
  const int colours = 1 << bits;
  const size_t xorRow = (static_cast<size_t>(width) * bits + 31) / 32 * 4;
  const size_t andRow = (static_cast<size_t>(width) + 31) / 32 * 4;
  const uint32_t res = static_cast<uint32_t>(40 + 4 * colours + (xorRow + andRow) * height);
  std::vector<uint8_t> f;
  auto put16 = [&](uint32_t v) {
    f.push_back(v & 0xFF);
    f.push_back((v >> 8) & 0xFF);
  };
  auto put32 = [&](uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  put16(0);
  put16(type);
  put16(1);
  f.push_back(static_cast<uint8_t>(width));
  f.push_back(static_cast<uint8_t>(height));
  f.push_back(0);
  f.push_back(0);
  put16(1);
  put16(bits);
  put32(res);
  put32(22);
  put32(40);
  put32(width);
  put32(2 * height);
  put16(1);
  put16(bits);
  for (int i = 0; i < 6; ++i) put32(0);
  for (int i = 0; i < colours; ++i) {
    f.push_back(static_cast<uint8_t>(i));
    f.push_back(static_cast<uint8_t>(2 * i));
    f.push_back(static_cast<uint8_t>(255 - i));
    f.push_back(0);
  }
  for (size_t i = 0; i < xorRow * height; ++i) f.push_back(static_cast<uint8_t>(i * 13));
  for (size_t i = 0; i < andRow * height; ++i) f.push_back(static_cast<uint8_t>(i % 3 ? 0 : 0xF0));
  return f;
}

}  // namespace

TEST(IcoPeers, NetpbmIconsOfEachDepthWithMasks) {
  for (const char* tool : {peer::kImageMagick, "/usr/bin/ppmtowinicon"}) {
    if (!peer::HaveTool(tool)) GTEST_SKIP() << tool << " missing";
  }
  TempDir dir;
  const std::string im = peer::kImageMagick;
  ASSERT_EQ(peer::Run(im + " -size 16x16 gradient:red-blue -colors 2 '" + (dir / "a.ppm") + "'"),
            0);
  ASSERT_EQ(
      peer::Run(im + " -seed 2 -size 32x32 plasma:fractal -colors 16 '" + (dir / "b.ppm") + "'"),
      0);
  ASSERT_EQ(
      peer::Run(im + " -seed 4 -size 48x48 plasma:fractal -colors 200 '" + (dir / "c.ppm") + "'"),
      0);
  ASSERT_EQ(peer::Run(im + " -size 16x16 radial-gradient:white-black -threshold 50% '" +
                      (dir / "am.pgm") + "'"),
            0);
  ASSERT_EQ(
      peer::Run(im + " -size 32x32 pattern:checkerboard -threshold 50% '" + (dir / "bm.pgm") + "'"),
      0);
  ASSERT_EQ(
      peer::Run(im + " -size 48x48 gradient:white-black -threshold 50% '" + (dir / "cm.pgm") + "'"),
      0);
  const std::string multi = dir / "multi.ico";
  ASSERT_EQ(peer::Run("ppmtowinicon -andpgms -output='" + multi + "' '" + (dir / "a.ppm") + "' '" +
                      (dir / "am.pgm") + "' '" + (dir / "b.ppm") + "' '" + (dir / "bm.pgm") +
                      "' '" + (dir / "c.ppm") + "' '" + (dir / "cm.pgm") + "'"),
            0);
  for (int i = 0; i < 3; ++i) ExpectBothModesMatchPeer(dir, multi, i);

  const auto bytes = korvane_test::ReadFileBytes(multi);
  const TPGFileInfo info = IcoInfo(bytes);
  EXPECT_EQ(info.Count, 3);
  EXPECT_EQ(info.Width, 16);
  EXPECT_EQ(info.Height, 16);
  EXPECT_EQ(info.BitsPerPixel, 1);
  EXPECT_EQ(info.Colors, "");
  EXPECT_EQ(info.Extra, "Colors 2..256");
  EXPECT_EQ(info.SubType, "Sizes 16..48");

  // The masks made some pixels transparent; another transparent colour shows there.
  IcoSettings mode(1, RGB(1, 2, 3));
  TPixelGraphic g;
  ReadIco(bytes, g, 1);
  int painted = 0;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) painted += g.PixelColor(x, y) == RGB(1, 2, 3);
  }
  EXPECT_GT(painted, 100);
  EXPECT_LT(painted, 32 * 32);

  // Two images, the sizes and depths of the usual example.
  const std::string two = dir / "two.ico";
  ASSERT_EQ(peer::Run("ppmtowinicon -output='" + two + "' '" + (dir / "a.ppm") + "' '" +
                      (dir / "c.ppm") + "'"),
            0);
  const TPGFileInfo twoInfo = IcoInfo(korvane_test::ReadFileBytes(two));
  EXPECT_EQ(twoInfo.Count, 2);
  EXPECT_EQ(twoInfo.Extra, "Colors 2..256");
  EXPECT_EQ(twoInfo.SubType, "Sizes 16..48");
  // One image: the colour count is told directly.
  const std::string one = dir / "one.ico";
  ASSERT_EQ(peer::Run("ppmtowinicon -output='" + one + "' '" + (dir / "b.ppm") + "'"), 0);
  const TPGFileInfo oneInfo = IcoInfo(korvane_test::ReadFileBytes(one));
  EXPECT_EQ(oneInfo.Count, 1);
  EXPECT_EQ(oneInfo.Colors, "16");
  EXPECT_EQ(oneInfo.Extra, "");
  EXPECT_EQ(oneInfo.SubType, "");
}

TEST(IcoPeers, ImageMagickIconsAndTheDepthsAndSizesRefused) {
  if (!peer::HaveTool(peer::kImageMagick)) GTEST_SKIP() << "ImageMagick missing";
  TempDir dir;
  const std::string im = peer::kImageMagick;
  const std::string src = " -seed 9 -size 64x64 plasma:fractal ";
  struct Case {
    std::string args;
    int bits;
  };
  for (const Case& c : {Case{"-resize 8x8 -colors 2", 1}, Case{"-resize 24x24 -colors 16", 4},
                        Case{"-colors 16", 4}, Case{"-resize 40x40 -colors 256", 8},
                        Case{"-resize 13x9 -colors 50", 8}}) {
    const std::string ico = dir / "im.ico";
    ASSERT_EQ(peer::Run(im + src + c.args + " '" + ico + "'"), 0);
    EXPECT_EQ(IcoInfo(korvane_test::ReadFileBytes(ico)).BitsPerPixel, c.bits) << c.args;
    ExpectBothModesMatchPeer(dir, ico, 0);
  }
  // Transparency from ImageMagick's own alpha.
  const std::string alpha = dir / "alpha.ico";
  ASSERT_EQ(peer::Run(im + " -size 32x32 xc:none -fill red -draw 'circle 16,16 16,4' -colors 4 '" +
                      alpha + "'"),
            0);
  ExpectBothModesMatchPeer(dir, alpha, 0);

  // True-colour icons, and palette icons beyond 64 pixels.
  const std::string deep = dir / "deep.ico";
  ASSERT_EQ(peer::Run(im + src + "'" + deep + "'"), 0);
  ExpectBothModesMatchPeer(dir, deep, 0, false);
  ASSERT_EQ(peer::Run(im + " -size 32x32 xc:none -fill '#FF000080' -draw 'circle 16,16 16,4' '" +
                      deep + "'"),
            0);
  ExpectBothModesMatchPeer(dir, deep, 0, false);
  const std::string large = dir / "large.ico";
  ASSERT_EQ(peer::Run(im + src + "-resize 128x128 -colors 16 '" + large + "'"), 0);
  EXPECT_EQ(IcoInfo(korvane_test::ReadFileBytes(large)).Width, 128);
  ExpectBothModesMatchPeer(dir, large, 0);
  // A 256-pixel image is stored as a PNG stream, described from its own header
  // and read by the PNG reader.
  const std::string png = dir / "png.ico";
  ASSERT_EQ(peer::Run(im + src + "-resize 256x256! '" + png + "'"), 0);
  const TPGFileInfo pngInfo = IcoInfo(korvane_test::ReadFileBytes(png));
  EXPECT_EQ(pngInfo.Width, 256);
  EXPECT_EQ(pngInfo.Height, 256);
  EXPECT_GE(pngInfo.BitsPerPixel, 24);
  ExpectBothModesMatchPeer(dir, png, 0, false);
}

TEST(IcoSuite, ThirdPartyIconsReadOrAreRefusedCleanly) {
  if (!peer::fs::exists(kGdkImages)) GTEST_SKIP() << "gdk-pixbuf-tests missing";
  TempDir dir;
  // Eighteen images of every depth and size agree with ImageMagick.
  const std::string many = std::string(kGdkImages) + "/reftests/bug785447.ico";
  const auto bytes = korvane_test::ReadFileBytes(many);
  EXPECT_EQ(IcoInfo(bytes).Count, 18);
  for (int i = 0; i < 18; ++i) {
    TPixelGraphic g;
    IcoSettings paletteMode(0);
    EXPECT_EQ(MessageOf([&] { ReadIco(bytes, g, i); }), "") << i;
    if (peer::HaveTool(peer::kImageMagick)) {
      ExpectBothModesMatchPeer(dir, many, i, g.PixelFormat() != pf24Bit);
    }
  }
  // 100 x 100 pixels.
  const std::string squares = std::string(kGdkImages) + "/reftests/squares.ico";
  if (peer::HaveTool(peer::kImageMagick)) ExpectBothModesMatchPeer(dir, squares, 0);

  for (const char* sub : {"fail", "randomly-modified"}) {
    for (const auto& entry : peer::fs::directory_iterator(std::string(kGdkImages) + "/" + sub)) {
      if (entry.path().extension() != ".ico") continue;
      SCOPED_TRACE(entry.path().string());
      const auto damaged = korvane_test::ReadFileBytes(entry.path());
      const std::string m = MessageOf([&] {
        TPixelGraphic g;
        ReadIco(damaged, g);
      });
      EXPECT_TRUE(m.empty() || m == "Not an Icon file" || m == "Index out of bounds" ||
                  m.starts_with("Icon image 0: "))
          << m;
      // An icon we read anyway (directory fields zero) must read as ImageMagick reads it.
      if (m.empty() && peer::HaveTool(peer::kImageMagick)) {
        ExpectBothModesMatchPeer(dir, entry.path().string(), 0);
      }
      const std::string i = MessageOf([&] { IcoInfo(damaged); });
      EXPECT_TRUE(i.empty() || i == "Not an Icon file") << i;
    }
  }
}

TEST(IcoReader, ChecksBeforeUsingSizesAndOffsets) {
  const auto icon = MakeIcon(32, 32, 4);
  {
    TPixelGraphic g;
    EXPECT_EQ(MessageOf([&] { ReadIco(icon, g); }), "");
    EXPECT_EQ(g.Width(), 32);
  }
  auto refused = [](const std::vector<uint8_t>& f, int index = 0) {
    return MessageOf([&] {
      TPixelGraphic g;
      ReadIco(f, g, index);
    });
  };
  EXPECT_EQ(refused(icon, 1), "Index out of bounds");
  EXPECT_EQ(refused(icon, -1), "Index out of bounds");
  EXPECT_EQ(refused(MakeIcon(32, 32, 4, 2)), "Not an Icon file");  // a cursor
  EXPECT_EQ(refused(MakeIcon(7, 16, 1)), "");
  EXPECT_EQ(refused(MakeIcon(256, 200, 8)), "");
  EXPECT_EQ(refused(MakeIcon(257, 8, 1)), "Icon image 0: 257x8 pixels are not supported");
  EXPECT_EQ(refused(MakeIcon(64, 64, 8)), "");
  EXPECT_EQ(refused(MakeIcon(8, 8, 1)), "");

  auto bad = icon;
  bad[14] += 1;  // the resource claims one byte more than the file holds
  EXPECT_EQ(refused(bad), "Not an Icon file");
  bad = icon;
  bad[18] = 0xFF;  // image offset far beyond the end
  EXPECT_EQ(refused(bad), "Not an Icon file");
  bad = icon;
  bad[19] = 0xFF;  // offset + size would wrap in 32 bits
  bad[17] = 0xFF;
  bad[21] = 0xFF;
  EXPECT_EQ(refused(bad), "Not an Icon file");
  EXPECT_EQ(MessageOf([&] { IcoInfo(bad); }), "Not an Icon file");
  bad = icon;
  bad[4] = 200;  // more directory entries than the file can hold
  EXPECT_EQ(refused(bad), "Not an Icon file");
  bad = icon;
  bad.push_back(0);
  bad[10] = 2;  // resource size disagrees with the header's depth
  bad[14] += 1;
  EXPECT_EQ(refused(bad),
            "Icon image 0: the size in the directory disagrees with the image header");
  bad = icon;
  bad[22 + 8] = 0xF0;  // negative stored height
  bad[22 + 11] = 0xFF;
  EXPECT_EQ(refused(bad), "Icon image 0: 32x-8388488 pixels are not supported");

  // Every truncation fails the directory check.
  for (size_t cut = 0; cut < icon.size(); ++cut) {
    const std::vector<uint8_t> part(icon.begin(), icon.begin() + cut);
    EXPECT_EQ(refused(part), "Not an Icon file") << cut;
    EXPECT_EQ(MessageOf([&] { IcoInfo(part); }), "Not an Icon file") << cut;
  }
}

TEST(IcoReader, ModesProgressAbortAndStreamPosition) {
  const auto icon = MakeIcon(16, 24, 8);
  TMemoryStream stream(icon);
  stream.Seek(5);
  tIcoFileFormatReader reader;
  TPixelGraphic g;
  std::vector<int> steps;
  int starts = 0, ends = 0;
  g.OnProgressStart = [&](TPixelGraphic&) { ++starts; };
  g.OnProgressEnd = [&](TPixelGraphic&) { ++ends; };
  g.OnProgress = [&](TPixelGraphic&, int step, int max, bool&) {
    EXPECT_EQ(max, 24);
    steps.push_back(step);
  };
  {
    IcoSettings mode(0);
    reader.ReadGraphic(stream, g, 0);
  }
  EXPECT_EQ(stream.Position(), 5);
  EXPECT_EQ(g.PixelFormat(), pf8Bit);
  EXPECT_EQ(g.PaletteCount(), 256);
  EXPECT_EQ(g.PaletteColor(7), RGB(255 - 7, 14, 7));
  // The bottom row of the file is the last row of the image.
  EXPECT_EQ(g.Pixel(1, 23), 13u);
  EXPECT_EQ(steps.size(), 24u);
  EXPECT_EQ(steps.front(), 0);
  EXPECT_EQ(steps.back(), 23);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(ends, 1);

  TPixelGraphic a;
  a.OnProgress = [&](TPixelGraphic&, int step, int, bool& abort) { abort = step == 1; };
  IcoSettings mode(1, RGB(9, 8, 7));
  reader.ReadGraphic(stream, a, 0);
  EXPECT_EQ(a.PixelFormat(), pf24Bit);
  EXPECT_NE(a.PixelColor(0, 1), 0u);
  for (int x = 0; x < 16; ++x) EXPECT_EQ(a.PixelColor(x, 2), 0u);  // not reached

  TFileFormatReader::THeader header{};
  std::copy(icon.begin(), icon.begin() + 17, header.begin());
  EXPECT_TRUE(reader.IsFormat(header));
  header[4] = 0;
  EXPECT_FALSE(reader.IsFormat(header));
  header[4] = 1;
  header[2] = 2;
  EXPECT_FALSE(reader.IsFormat(header));
}

TEST(IcoReader, OpensThroughTheRegisteredReaders) {
  TempDir dir;
  const std::string name = dir / "icon.gif";  // the signature decides
  korvane_test::WriteFileBytes(name, MakeIcon(16, 8, 4));
  TPixelGraphic g;
  g.LoadFromFile(name);
  EXPECT_EQ(g.Width(), 16);
  EXPECT_EQ(g.Height(), 8);
  EXPECT_EQ(g.PixelFormat(), pf24Bit);
  std::string type;
  TPGFileInfo info;
  ASSERT_TRUE(GetFileInfo(name, 0, type, info));
  EXPECT_EQ(type, "Windows Icon");
  EXPECT_EQ(info.Colors, "16");
  // A cursor file is not taken for an icon by its signature.
  const std::string cursor = dir / "pointer.ico";
  korvane_test::WriteFileBytes(cursor, MakeIcon(16, 16, 4, 2));
  EXPECT_EQ(MessageOf([&] { g.LoadFromFile(cursor); }), "Unknown file format");
}
