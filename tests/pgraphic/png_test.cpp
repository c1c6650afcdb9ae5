// The PNG reader and writer against PngSuite, files made by pnmtopng,
// ImageMagick and Pillow, and the decodes of netpbm's pngtopnm and Pillow.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "pgraphic/formats/png.h"
#include "support/peer_image.h"

using namespace pgraphic;

namespace {

const std::string kSuite = "/usr/share/doc/libsixel-examples/examples/images/pngsuite/";
const std::string kMagick = "/usr/bin/convert-im6.q16";
const std::string kPython = "/usr/bin/python3";

struct TSettingsGuard {
  bool useFileBackground = PGPNGUseFileBackground, writeGamma = PGPNGWriteGamma;
  int64_t maxSize = PGMaxImageSize;
  ~TSettingsGuard() {
    PGPNGUseFileBackground = useFileBackground;
    PGPNGWriteGamma = writeGamma;
    PGMaxImageSize = maxSize;
    SetQuestionHook(nullptr);
  }
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

void ReadPNG(const std::string& path, TPixelGraphic& g, TPGWarningAction action = pgwaIgnore) {
  ReadPNGBytes(peer::ReadFile(path), g, action);
}

TPGFileInfo InfoOfBytes(const std::vector<uint8_t>& bytes) {
  TReadOnlyMemoryStream in(bytes.data(), bytes.size());
  TPGFileInfo info;
  TPNGFileFormatReader().ReadInfo(in, 0, info);
  return info;
}

std::string MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EPixelGraphic& e) {
    return e.what();
  }
  return "(no error)";
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
      if (colorType == 3) colour = d[0] < palette.size() ? palette[d[0]] : 0;
      else if (colorType & 2) colour = RGB(sample(0), sample(1), sample(2));
      else colour = RGB(sample(0), sample(0), sample(0));
      return true;
    }
    at += 12 + n;
  }
  return false;
}

// pngtopnm's decode of colour and ImageMagick's of alpha (tRNS included), mixed with the
// file's bKGD (when it has one and it is to be used) or the given colour.
peer::TPeerImage PeerDecode(const peer::TScratch& s, const std::string& png,
                            TRGB background = 0, bool useFile = true) {
  EXPECT_EQ(peer::Run("pngtopnm " + png + " > " + s.Path("colour.pnm") + " 2>/dev/null"), 0);
  // ImageMagick's alpha honours tRNS for every colour type (pngtopnm's does not
  // for RGB files).
  EXPECT_EQ(peer::Run(kMagick + " " + png + " -alpha extract -depth 8 pgm:" + s.Path("alpha.pnm")),
            0);
  peer::TPeerImage colour = peer::ReadPNM(s.Path("colour.pnm"));
  const peer::TPeerImage alpha = peer::ReadPNM(s.Path("alpha.pnm"));
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
  peer::TScratch s("png-suite");
  int checked = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(kSuite)) {
    if (!entry.is_regular_file()) continue;
    const std::string relative = std::filesystem::relative(entry.path(), kSuite).string();
    if (relative.rfind("corrupted", 0) == 0) continue;
    std::string name = relative;
    if (name.size() > 3 && name.substr(name.size() - 3) == ".gz") name.resize(name.size() - 3);
    SCOPED_TRACE(name);
    const std::vector<uint8_t> bytes = SuiteFile(name);
    peer::WriteFile(s.Path("in.png"), bytes);
    TPixelGraphic g;
    ReadPNGBytes(bytes, g);
    EXPECT_LE(peer::MaxDifference(g, PeerDecode(s, s.Path("in.png"))), 2);
    ++checked;
  }
  EXPECT_GE(checked, 150);
}

TEST(PNGDebug, One) {
  const char* f = getenv("PNGDEBUG");
  if (!f) GTEST_SKIP();
  peer::TScratch s("png-debug");
  TPixelGraphic g;
  ReadPNG(f, g);
  auto p = PeerDecode(s, f);
  printf("fmt %d pal %d bg %x gamma %Lf\n", g.PixelFormat(), g.PaletteCount(), g.BackGroundColor(), g.Gamma());
  int shown = 0;
  for (int y = 0; y < g.Height() && shown < 8; ++y)
    for (int x = 0; x < g.Width() && shown < 8; ++x)
      if (g.PixelColor(x, y) != p.Color(x, y)) {
        printf("(%d,%d) ours %06x peer %06x idx %u\n", x, y, g.PixelColor(x, y), p.Color(x, y), g.Pixel(x,y));
        ++shown;
      }
}
