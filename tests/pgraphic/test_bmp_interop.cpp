// BMP files written by other programs (ImageMagick, netpbm, third-party test
// folders) read pixel-identically to those programs' own decode; files we write
// are read back identically by ImageMagick; every fixture survives truncation.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <filesystem>

#include "pgraphic/formats/bmp.h"
#include "pgraphic/image/pixelgraphic.h"
#include "support/peer_image.h"

using namespace pgraphic;
using namespace korvane_test;
namespace fs = std::filesystem;

namespace {

const std::string kBmpJs = std::string(KORVANE_SOURCE_DIR) + "/build-ext/bmp-js/test";
const std::string kGoImage = "/usr/share/gocode/src/golang.org/x/image/testdata";

uint32_t LE32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

// Our widening of an n-bit channel that a peer decoded to `peer`. Peers widen
// v to somewhere in [v << (8 - n), (v + 1) << (8 - n)) (bit replication, scaling
// or a plain shift), so the top n bits give v back; our rule gives v << (8 - n)
// plus the lowest widened bit for a non-zero v, clipped to 255.
uint32_t OurWidening(uint32_t peer, int n) {
  if (n >= 8) return peer;
  const uint32_t v = peer >> (8 - n);
  if (v == 0) return 0;
  return std::min<uint32_t>(255, (v << (8 - n)) + (1u << (8 - n)));
}

// Compares every pixel; `channelBits` (red, green, blue) below 8 applies the
// 16-bit widening rule to the peer's values.
void ExpectSamePixels(const TPixelGraphic& ours, const PeerImage& peer, const std::string& what,
                      const int channelBits[3] = nullptr) {
  ASSERT_EQ(ours.Width(), peer.width) << what;
  ASSERT_EQ(ours.Height(), peer.height) << what;
  int mismatches = 0;
  for (int y = 0; y < peer.height; ++y) {
    for (int x = 0; x < peer.width; ++x) {
      uint32_t expected = peer.At(x, y);
      if (channelBits) {
        expected = OurWidening(GetR(expected), channelBits[0]) |
                   (OurWidening(GetG(expected), channelBits[1]) << 8) |
                   (OurWidening(GetB(expected), channelBits[2]) << 16);
      }
      const uint32_t got = ours.PixelColor(x, y);
      if (got != expected && ++mismatches <= 3) {
        ADD_FAILURE() << what << " pixel " << x << "," << y << ": ours " << std::hex << got
                      << " peer " << expected;
      }
    }
  }
  EXPECT_EQ(mismatches, 0) << what;
}

std::string LoadMessage(const std::string& path) {
  TPixelGraphic g;
  try {
    g.LoadFromFile(path);
  } catch (const EPixelGraphic& e) {
    return e.what();
  }
  return "loaded";
}

// A v3/v4/v5 header file rewrapped as a 40-byte information header followed by
// its three channel masks: the same pixel bytes under a header this reader takes.
std::vector<uint8_t> RewrapWithInfoHeader(const std::vector<uint8_t>& file) {
  const uint32_t headerSize = LE32(file, 14);
  const uint32_t compression = LE32(file, 30);
  const uint32_t offset = LE32(file, 10);
  std::vector<uint8_t> out;
  out.reserve(file.size());
  auto copy = [&](size_t from, size_t to) {
    for (size_t i = from; i < to && i < file.size(); ++i) out.push_back(file[i]);
  };
  copy(0, 54);
  out[14] = 40;
  out[15] = out[16] = out[17] = 0;
  if (compression == 3) copy(54, 66);  // the masks open the longer headers
  copy(14 + headerSize, offset);       // colour table, if any
  copy(offset, file.size());
  return out;
}

void ExpectTruncationsAreClean(const std::vector<uint8_t>& bytes, const std::string& what) {
  std::vector<size_t> cuts;
  for (size_t n = 0; n < std::min<size_t>(bytes.size(), 160); ++n) cuts.push_back(n);
  for (size_t n = 160; n < bytes.size(); n += std::max<size_t>(1, bytes.size() / 40)) {
    cuts.push_back(n);
  }
  for (size_t n : cuts) {
    TReadOnlyMemoryStream s(bytes.data(), n);
    TPixelGraphic g;
    try {
      g.LoadFromStream(s);
    } catch (const EPixelGraphic&) {
      // a clean, library-worded failure
    } catch (const std::exception& e) {
      ADD_FAILURE() << what << " cut at " << n << ": " << e.what();
    }
  }
}

struct Generated {
  std::string name;
  std::string command;  // {in} = the rose PPM, {out} = the BMP to write
  bool netpbm = false;
};

std::string Expand(std::string command, const std::string& in, const std::string& out) {
  auto replace = [&](const std::string& key, const std::string& value) {
    for (size_t at; (at = command.find(key)) != std::string::npos;)
      command.replace(at, key.size(), value);
  };
  replace("{in}", ShellQuote(in));
  replace("{out}", ShellQuote(out));
  replace("{im}", kImageMagick);
  return command;
}

class BmpInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTool(kImageMagick)) GTEST_SKIP() << "ImageMagick is not installed";
  }
};

}  // namespace

TEST_F(BmpInterop, FilesWrittenByImageMagickAndNetpbm) {
  ScratchDir dir("bmp-interop");
  const std::string rose = dir.File("rose.ppm");
  const std::string narrow = dir.File("narrow.ppm");
  ASSERT_EQ(RunShell(std::string(kImageMagick) + " rose: " + ShellQuote(rose)), 0);
  ASSERT_EQ(
      RunShell(std::string(kImageMagick) + " rose: -crop 13x9+20+10 +repage " + ShellQuote(narrow)),
      0);
  const bool netpbm = HaveTool("/usr/bin/ppmtobmp") && HaveTool("/usr/bin/bmptopnm");
  const std::vector<Generated> cases = {
      {"im-24", "{im} {in} bmp3:{out}"},
      {"im-8", "{im} {in} -colors 200 -compress None bmp3:{out}"},
      {"im-rle8", "{im} {in} -colors 200 -compress RLE bmp3:{out}"},
      {"im-rle8-16", "{im} {in} -colors 16 -compress RLE bmp3:{out}"},
      {"im-4", "{im} {in} -colors 16 -compress None bmp3:{out}"},
      {"im-1", "{im} {in} -monochrome bmp3:{out}"},
      {"im-os2", "{im} {in} bmp2:{out}"},
      {"pbm-os2-24", "ppmtobmp -os2 {in} > {out}", true},
      {"pbm-os2-4", "ppmquant 16 {in} | ppmtobmp -os2 -bpp 4 > {out}", true},
      {"pbm-os2-1", "ppmquant 2 {in} | ppmtobmp -os2 -bpp 1 > {out}", true},
      {"pbm-24", "ppmtobmp {in} > {out}", true},
      {"pbm-8", "ppmquant 256 {in} | ppmtobmp -bpp 8 > {out}", true},
      {"pbm-4", "ppmquant 16 {in} | ppmtobmp -bpp 4 > {out}", true},
      {"pbm-1", "ppmquant 2 {in} | ppmtobmp -bpp 1 > {out}", true},
  };
  for (const std::string& source : {rose, narrow}) {
    for (const Generated& c : cases) {
      if (c.netpbm && !netpbm) continue;
      const std::string what = c.name + (source == rose ? "" : "-narrow");
      const std::string out = dir.File(what + ".bmp");
      ASSERT_EQ(RunShell("(" + Expand(c.command, source, out) + ") 2>/dev/null"), 0) << what;
      TPixelGraphic g;
      ASSERT_NO_THROW(g.LoadFromFile(out)) << what;
      const auto peer = DecodeWithImageMagick(out);
      ASSERT_TRUE(peer) << what;
      ExpectSamePixels(g, *peer, what + " vs ImageMagick");
      if (c.netpbm) {
        const auto own = DecodePnmFromCommand("bmptopnm " + ShellQuote(out) + " 2>/dev/null");
        ASSERT_TRUE(own) << what;
        ExpectSamePixels(g, *own, what + " vs bmptopnm");
      }
      ExpectTruncationsAreClean(ReadFileBytes(out), what);
    }
  }
}

TEST_F(BmpInterop, SixteenBitBitFieldsFromImageMagick) {
  ScratchDir dir("bmp-bitfields");
  for (const char* subtype : {"RGB565", "RGB555"}) {
    const std::string out = dir.File(std::string(subtype) + ".bmp");
    ASSERT_EQ(RunShell(std::string(kImageMagick) + " rose: -define bmp:subtype=" + subtype +
                       " bmp:" + ShellQuote(out)),
              0);
    const std::vector<uint8_t> file = ReadFileBytes(out);
    ASSERT_GT(file.size(), 70u);
    // ImageMagick stores these with a 124-byte header, which is refused.
    EXPECT_EQ(LoadMessage(out), "BMP: Invalid size of BitmapInfoHeader/BitmapCoreHeader");
    const std::vector<uint8_t> wrapped = RewrapWithInfoHeader(file);
    TPixelGraphic g;
    TReadOnlyMemoryStream s(wrapped.data(), wrapped.size());
    ASSERT_NO_THROW(g.LoadFromStream(s));
    const int bits[3] = {std::popcount(LE32(wrapped, 54)), std::popcount(LE32(wrapped, 58)),
                         std::popcount(LE32(wrapped, 62))};
    EXPECT_EQ(bits[1], std::string(subtype) == "RGB565" ? 6 : 5);
    const auto peer = DecodeWithImageMagick(out);
    ASSERT_TRUE(peer);
    ExpectSamePixels(g, *peer, subtype, bits);
    ExpectTruncationsAreClean(wrapped, subtype);
  }
}

TEST_F(BmpInterop, ThirdPartyBmpJsFiles) {
  if (!fs::exists(kBmpJs)) GTEST_SKIP() << "bmp-js test files not fetched (scripts/setup)";
  int compared = 0;
  for (const auto& entry : fs::directory_iterator(kBmpJs)) {
    const std::string path = entry.path().string();
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".bmp") continue;
    if (name.find("_out") != std::string::npos) continue;
    const std::vector<uint8_t> file = ReadFileBytes(path);
    ExpectTruncationsAreClean(file, name);
    const uint32_t headerSize = LE32(file, 14);
    // Two peers: ImageMagick's decode (it rejects a few of these files) and the
    // package's own decode, stored beside each file as NAME_out.bmp.
    std::vector<std::pair<std::string, PeerImage>> peers;
    if (auto im = DecodeWithImageMagick(path)) peers.emplace_back("ImageMagick", *im);
    const std::string own = path.substr(0, path.size() - 4) + "_out.bmp";
    // The package's RLE decoder drops the upward move of a delta that opens the
    // data (its first run lands one row low), so its RLE output is not a reference;
    // ImageMagick's is.
    const bool rle = name.find("RLE") != std::string::npos;
    if (fs::exists(own) && !rle) {
      if (auto js = DecodeWithImageMagick(own)) peers.emplace_back("bmp-js", *js);
    }
    ASSERT_FALSE(peers.empty()) << name;
    std::vector<uint8_t> readable = file;
    if (headerSize != 40) {
      // 56-byte headers: refused as they are; their pixels are checked rewrapped.
      EXPECT_EQ(LoadMessage(path), "BMP: Invalid size of BitmapInfoHeader/BitmapCoreHeader")
          << name;
      readable = RewrapWithInfoHeader(file);
    }
    TPixelGraphic g;
    TReadOnlyMemoryStream s(readable.data(), readable.size());
    ASSERT_NO_THROW(g.LoadFromStream(s)) << name;
    const uint16_t bitCount = static_cast<uint16_t>(readable[28] | (readable[29] << 8));
    if (bitCount == 16) {
      const bool fields = LE32(readable, 30) == 3;
      const int bits[3] = {fields ? std::popcount(LE32(readable, 54)) : 5,
                           fields ? std::popcount(LE32(readable, 58)) : 5,
                           fields ? std::popcount(LE32(readable, 62)) : 5};
      for (auto& [who, peer] : peers) ExpectSamePixels(g, peer, name + " vs " + who, bits);
    } else {
      for (auto& [who, peer] : peers) ExpectSamePixels(g, peer, name + " vs " + who);
    }
    ++compared;
  }
  EXPECT_GE(compared, 12);
}

TEST_F(BmpInterop, GoImageTestFiles) {
  const std::string topDown = kGoImage + "/yellow_rose-small.bmp";
  if (!fs::exists(topDown)) GTEST_SKIP() << "golang-golang-x-image-dev is not installed";
  TPixelGraphic g;
  g.LoadFromFile(topDown);
  const auto peer = DecodeWithImageMagick(topDown);
  ASSERT_TRUE(peer);
  ExpectSamePixels(g, *peer, "yellow_rose-small");
  std::string type;
  TPGFileInfo info;
  ASSERT_TRUE(GetFileInfo(topDown, 0, type, info));
  EXPECT_EQ(info.Height, -12);
  EXPECT_EQ(info.SubType, "Windows, RGB, Top-Down");
  EXPECT_EQ(info.Colors, "16.7M");

  EXPECT_EQ(LoadMessage(kGoImage + "/yellow_rose-small-v5.bmp"),
            "BMP: Invalid size of BitmapInfoHeader/BitmapCoreHeader");
  EXPECT_FALSE(GetFileInfo(kGoImage + "/yellow_rose-small-v5.bmp", 0, type, info));

  const std::string video = kGoImage + "/video-001.bmp";
  g.LoadFromFile(video);
  ExpectSamePixels(g, *DecodeWithImageMagick(video), "video-001");
  for (const char* f :
       {"yellow_rose-small.bmp", "yellow_rose-small-v5.bmp", "video-001.bmp", "colormap.bmp"}) {
    ExpectTruncationsAreClean(ReadFileBytes(kGoImage + "/" + f), f);
  }
}

TEST_F(BmpInterop, FilesWeWriteReadBackIdenticallyInImageMagick) {
  ScratchDir dir("bmp-written");
  const std::string rose = dir.File("rose.ppm");
  ASSERT_EQ(RunShell(std::string(kImageMagick) + " rose: " + ShellQuote(rose)), 0);
  ASSERT_EQ(RunShell(std::string(kImageMagick) + " rose: bmp3:" + ShellQuote(dir.File("rose.bmp"))),
            0);
  TPixelGraphic source;
  source.LoadFromFile(dir.File("rose.bmp"));
  const int w = source.Width(), h = source.Height();
  ASSERT_GT(w, 0);

  struct Variant {
    TPGPixelFormat format;
    int colours;
  };
  for (const Variant v : {Variant{pf24Bit, 0}, Variant{pf8Bit, 256}, Variant{pf8Bit, 5},
                          Variant{pf4Bit, 16}, Variant{pf4Bit, 3}, Variant{pf1Bit, 2}}) {
    TPixelGraphic g;
    g.SetSize(w, h, v.format);
    if (v.colours > 0) {
      // A gray ramp palette; pixels take the entry nearest their brightness.
      g.SetPaletteCount(v.colours);
      for (int i = 0; i < v.colours; ++i) {
        const uint32_t level = static_cast<uint32_t>(255 * i / (v.colours - 1));
        g.SetPaletteColor(i, RGB(level, level / 2, 255 - level));
      }
    }
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const TRGB c = source.PixelColor(x, y);
        if (v.format == pf24Bit) {
          g.SetPixel(x, y, c);
        } else {
          const int brightness = static_cast<int>(GetR(c) + GetG(c) + GetB(c)) / 3;
          g.SetPixel(x, y, static_cast<uint32_t>(brightness * (v.colours - 1) / 255));
        }
      }
    }
    const std::string what =
        "bits" + std::to_string(g.BitsPerPixel()) + "-colours" + std::to_string(v.colours);
    const std::string out = dir.File(what + ".bmp");
    g.SaveToFile(out);
    const auto peer = DecodeWithImageMagick(out);
    ASSERT_TRUE(peer) << what;
    ExpectSamePixels(g, *peer, what);
    if (HaveTool("/usr/bin/bmptopnm")) {
      const auto own = DecodePnmFromCommand("bmptopnm " + ShellQuote(out) + " 2>/dev/null");
      ASSERT_TRUE(own) << what;
      ExpectSamePixels(g, *own, what + " vs bmptopnm");
    }
  }
}
