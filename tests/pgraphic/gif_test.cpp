// GIF reader: pixels against the peers' decode of files the peers wrote, the
// third-party GIF suite, hand-assembled code streams for the decoder's corner
// cases, truncated and broken files, progress and abort.
#include "pgraphic/formats/gif.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>

#include "peer_images.h"
#include "support/pg_message.h"

using namespace pgraphic;
using peer::TempDir;

namespace {

const char* const kGdkGifSuite =
    "/usr/libexec/installed-tests/gdk-pixbuf/test-images/gif-test-suite";
const char* const kGdkImages = "/usr/libexec/installed-tests/gdk-pixbuf/test-images";

void ReadGif(const std::vector<uint8_t>& bytes, TPixelGraphic& graphic, int index = 0) {
  TMemoryStream stream(bytes);
  tGifFileFormatReader reader;
  reader.ReadGraphic(stream, graphic, index);
}

TPGFileInfo GifInfo(const std::vector<uint8_t>& bytes, int index = 0) {
  TMemoryStream stream(bytes);
  tGifFileFormatReader reader;
  TPGFileInfo info;
  reader.ReadInfo(stream, index, info);
  return info;
}

using korvane_test::MessageOf;

// Frame index of a GIF decoded by netpbm, which ignores the logical screen and
// shows transparent pixels in their palette colour, as our reader does.
bool PeerFrame(const TempDir& dir, const std::string& gif, int index, peer::RGBImage& image) {
  const std::string out = dir / "peer.pnm";
  if (peer::Run("giftopnm --image=" + std::to_string(index + 1) + " '" + gif + "' > '" + out +
                "'") != 0) {
    return false;
  }
  return peer::ReadPNMFile(out, image);
}

// Every frame of the file reads as netpbm decodes it; returns the frame count.
int ExpectFramesMatchPeer(const TempDir& dir, const std::string& gif) {
  const auto bytes = korvane_test::ReadFileBytes(gif);
  const TPGFileInfo info = GifInfo(bytes);
  for (int i = 0; i < info.Count; ++i) {
    SCOPED_TRACE(gif + " frame " + std::to_string(i));
    peer::RGBImage theirs;
    EXPECT_TRUE(PeerFrame(dir, gif, i, theirs));
    TPixelGraphic ours;
    ReadGif(bytes, ours, i);
    EXPECT_EQ(peer::ComparePixels(ours, theirs), "");
    EXPECT_EQ(GifInfo(bytes, i).Width, theirs.Width);
    EXPECT_EQ(GifInfo(bytes, i).Height, theirs.Height);
  }
  return info.Count;
}

void RequireTools(const std::vector<std::string>& tools) {
  for (const auto& t : tools) {
    if (!peer::HaveTool(t)) GTEST_SKIP() << t << " missing";
  }
}

// Packs codes of growing width the way a GIF encoder does and wraps them in
// data sub-blocks: the widths follow the table the decoder builds.
class CodePacker {
 public:
  explicit CodePacker(int codeSize) : codeSize_(codeSize) { Clear(); }
  void Emit(int code) {
    bits_ |= static_cast<uint64_t>(code) << count_;
    count_ += width_;
    while (count_ >= 8) {
      bytes_.push_back(static_cast<uint8_t>(bits_));
      bits_ >>= 8;
      count_ -= 8;
    }
  }
  // A clear code followed by codes that each add one table entry after the first.
  void Clear() {
    if (started_) Emit(1 << codeSize_);
    width_ = codeSize_ + 1;
    next_ = (1 << codeSize_) + 2;
    first_ = true;
    started_ = true;
  }
  void Data(int code) {
    Emit(code);
    if (first_) {
      first_ = false;
      return;
    }
    if (next_ < 4096) {
      ++next_;
      if (next_ >= (1 << width_) && width_ < 12) ++width_;
    }
  }
  std::vector<uint8_t> Finish(bool endCode = true) {
    if (endCode) Emit((1 << codeSize_) + 1);
    if (count_ > 0) bytes_.push_back(static_cast<uint8_t>(bits_));
    std::vector<uint8_t> out;
    for (size_t i = 0; i < bytes_.size(); i += 255) {
      const size_t n = std::min<size_t>(255, bytes_.size() - i);
      out.push_back(static_cast<uint8_t>(n));
      out.insert(out.end(), bytes_.begin() + i, bytes_.begin() + i + n);
    }
    out.push_back(0);
    return out;
  }
  int Width() const { return width_; }

 private:
  int codeSize_;
  int width_ = 0, next_ = 0;
  bool first_ = true, started_ = false;
  uint64_t bits_ = 0;
  int count_ = 0;
  std::vector<uint8_t> bytes_;
};

// A one-image GIF around the given image data (code size byte and sub-blocks).
std::vector<uint8_t> WrapImage(int width, int height, int bits, const std::vector<uint8_t>& data,
                               bool interlaced = false) {
  std::vector<uint8_t> f = {'G',
                            'I',
                            'F',
                            '8',
                            '9',
                            'a',
                            static_cast<uint8_t>(width),
                            static_cast<uint8_t>(width >> 8),
                            static_cast<uint8_t>(height),
                            static_cast<uint8_t>(height >> 8),
                            static_cast<uint8_t>(0x80 | (bits - 1)),
                            0,
                            0};
  for (int i = 0; i < (1 << bits); ++i) {
    f.push_back(static_cast<uint8_t>(i));
    f.push_back(static_cast<uint8_t>(255 - i));
    f.push_back(static_cast<uint8_t>(i * 7));
  }
  const std::vector<uint8_t> desc = {0x2C,
                                     0,
                                     0,
                                     0,
                                     0,
                                     static_cast<uint8_t>(width),
                                     static_cast<uint8_t>(width >> 8),
                                     static_cast<uint8_t>(height),
                                     static_cast<uint8_t>(height >> 8),
                                     static_cast<uint8_t>(interlaced ? 0x40 : 0)};
  f.insert(f.end(), desc.begin(), desc.end());
  f.insert(f.end(), data.begin(), data.end());
  f.push_back(0x3B);
  return f;
}

std::vector<uint8_t> Indices(const TPixelGraphic& g) {
  std::vector<uint8_t> v;
  for (int y = 0; y < g.Height(); ++y) {
    for (int x = 0; x < g.Width(); ++x) v.push_back(static_cast<uint8_t>(g.Pixel(x, y)));
  }
  return v;
}

}  // namespace

// ---------------------------------------------------------------------------
// Files written by the peers

TEST(GifPeers, ImageMagickColourTablesOfEveryDepth) {
  RequireTools({peer::kImageMagick, "/usr/bin/giftopnm"});
  TempDir dir;
  ASSERT_EQ(peer::Run(std::string(peer::kImageMagick) + " -seed 7 -size 67x45 plasma:fractal '" +
                      (dir / "src.ppm") + "'"),
            0);
  for (int colours : {2, 3, 4, 8, 13, 16, 32, 64, 128, 256}) {
    for (bool interlaced : {false, true}) {
      SCOPED_TRACE(std::to_string(colours) + (interlaced ? " interlaced" : ""));
      const std::string gif = dir / "c.gif";
      ASSERT_EQ(peer::Run(std::string(peer::kImageMagick) + " '" + (dir / "src.ppm") +
                          "' -colors " + std::to_string(colours) +
                          (interlaced ? " -interlace GIF" : "") + " '" + gif + "'"),
                0);
      ExpectFramesMatchPeer(dir, gif);
      const auto bytes = korvane_test::ReadFileBytes(gif);
      const TPGFileInfo info = GifInfo(bytes);
      EXPECT_EQ(info.Extra, interlaced ? "Interlaced" : "Non-interlaced");
      EXPECT_EQ(info.Colors, std::to_string(1 << info.BitsPerPixel));
      EXPECT_GE(1 << info.BitsPerPixel, colours);
      TPixelGraphic g;
      ReadGif(bytes, g);
      const TPGPixelFormat expected =
          info.BitsPerPixel == 1 ? pf1Bit : (info.BitsPerPixel <= 4 ? pf4Bit : pf8Bit);
      EXPECT_EQ(g.PixelFormat(), expected);
      EXPECT_EQ(g.PaletteCount(), 1 << info.BitsPerPixel);
    }
  }
}

TEST(GifPeers, ImageMagickAnimationWithFramesOfTheirOwnSize) {
  RequireTools({peer::kImageMagick, "/usr/bin/giftopnm"});
  TempDir dir;
  const std::string gif = dir / "anim.gif";
  ASSERT_EQ(peer::Run(std::string(peer::kImageMagick) +
                      " -size 30x20 xc:red"
                      " \\( -size 11x15 gradient:blue-yellow -colors 7 -set page +3+2 \\)"
                      " \\( -seed 3 -size 25x5 plasma:fractal -colors 100 -set page +1+9 \\)"
                      " \\( -size 30x20 gradient:white-black -colors 16 -interlace GIF \\)"
                      " -set delay 10 -loop 0 '" +
                      gif + "'"),
            0);
  EXPECT_EQ(ExpectFramesMatchPeer(dir, gif), 4);
  const auto bytes = korvane_test::ReadFileBytes(gif);
  EXPECT_EQ(GifInfo(bytes, 0).Count, 4);
  EXPECT_EQ(GifInfo(bytes, 2).Width, 25);
  EXPECT_EQ(GifInfo(bytes, 2).Height, 5);
  EXPECT_EQ(GifInfo(bytes).SubType, "89a");
  TPixelGraphic third;
  ReadGif(bytes, third, 2);
  EXPECT_EQ(third.Width(), 25);
  EXPECT_EQ(third.Height(), 5);
}

TEST(GifPeers, PillowPalettesTransparencyInterlaceAndAnimation) {
  RequireTools({peer::kPython, "/usr/bin/giftopnm"});
  TempDir dir;
  const std::string script = dir / "make.py";
  std::ofstream(script) << R"(import sys, random
from PIL import Image
out = sys.argv[1]
random.seed(5)
def noise(w, h, n):
    im = Image.new('P', (w, h))
    im.putpalette([random.randrange(256) for _ in range(3 * n)])
    im.putdata([random.randrange(n) for _ in range(w * h)])
    return im
noise(40, 33, 2).save(out + '/p2.gif')
noise(40, 33, 8).save(out + '/p8.gif', transparency=3)
noise(97, 61, 256).save(out + '/p256i.gif', interlace=True)
noise(50, 50, 32).save(out + '/p32.gif', interlace=False)
Image.new('1', (17, 9), 1).save(out + '/bw.gif')
frames = [noise(40 - 5 * i, 20 - 3 * i, 4 << i) for i in range(4)]
frames[0].save(out + '/anim.gif', save_all=True, append_images=frames[1:], duration=40, loop=0,
               optimize=False, disposal=2)
)";
  ASSERT_EQ(peer::Run(std::string(peer::kPython) + " '" + script + "' '" + dir.Path() + "'"), 0);
  for (const char* name : {"p2.gif", "p8.gif", "p256i.gif", "p32.gif", "bw.gif"}) {
    EXPECT_EQ(ExpectFramesMatchPeer(dir, dir / name), 1) << name;
  }
  EXPECT_EQ(GifInfo(korvane_test::ReadFileBytes(dir / "p256i.gif")).Extra, "Interlaced");
  EXPECT_EQ(ExpectFramesMatchPeer(dir, dir / "anim.gif"), 4);
}

TEST(GifPeers, GiflibQuantisedFile) {
  RequireTools({"/usr/bin/gif2rgb", "/usr/bin/giftopnm"});
  TempDir dir;
  std::vector<uint8_t> rgb(3 * 90 * 70);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>((i * 37) ^ (i >> 5));
  korvane_test::WriteFileBytes(dir / "in.rgb", rgb);
  ASSERT_EQ(
      peer::Run("gif2rgb -c 3 -s 90 70 < '" + (dir / "in.rgb") + "' > '" + (dir / "q.gif") + "'"),
      0);
  EXPECT_EQ(ExpectFramesMatchPeer(dir, dir / "q.gif"), 1);
}

// ---------------------------------------------------------------------------
// The third-party GIF suite

namespace {
std::map<std::string, std::string> ReadConf(const std::string& path) {
  std::map<std::string, std::string> conf;
  std::ifstream in(path);
  std::string line, section;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      continue;
    }
    const size_t eq = line.find(" = ");
    if (eq != std::string::npos) conf[section + "." + line.substr(0, eq)] = line.substr(eq + 3);
  }
  return conf;
}
}  // namespace

TEST(GifSuite, FirstFramesMatchTheExpectedPixels) {
  if (!peer::fs::exists(kGdkGifSuite)) GTEST_SKIP() << "gdk-pixbuf-tests missing";
  int compared = 0;
  for (const auto& entry : peer::fs::directory_iterator(kGdkGifSuite)) {
    if (entry.path().extension() != ".conf") continue;
    auto conf = ReadConf(entry.path());
    const std::string frames = conf["config.frames"];
    if (frames.empty()) continue;  // a file the suite expects to be refused
    // A screen without any image: there is no frame to read.
    if (conf["config.input"] == "no-data.gif") continue;
    SCOPED_TRACE(entry.path().filename().string());
    const auto bytes =
        korvane_test::ReadFileBytes(std::string(kGdkGifSuite) + "/" + conf["config.input"]);
    const int width = std::stoi(conf["config.width"]), height = std::stoi(conf["config.height"]);
    const int count = static_cast<int>(std::count(frames.begin(), frames.end(), ',')) + 1;
    TPGFileInfo info;
    ASSERT_EQ(MessageOf([&] { info = GifInfo(bytes); }), "");
    EXPECT_EQ(info.SubType, conf["config.version"].substr(3));
    // The suite merges images shown without delay into one frame; where it does
    // not, its frames are our images.
    if (info.Count != count) continue;
    const auto rgba =
        korvane_test::ReadFileBytes(std::string(kGdkGifSuite) + "/" + conf["frame0.pixels"]);
    ASSERT_EQ(rgba.size(), 4u * width * height);
    TPixelGraphic g;
    EXPECT_EQ(MessageOf([&] { ReadGif(bytes, g, 0); }), "");
    // The expected frames are composed on the logical screen; a first frame that
    // covers it shows the same colours wherever it is opaque.
    if (g.Width() != width || g.Height() != height) continue;
    int differing = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const uint8_t* p = &rgba[4 * (static_cast<size_t>(y) * width + x)];
        if (p[3] == 255 && g.PixelColor(x, y) != RGB(p[0], p[1], p[2])) ++differing;
      }
    }
    EXPECT_EQ(differing, 0);
    ++compared;
  }
  EXPECT_GT(compared, 40);
}

TEST(GifSuite, BrokenFilesFailCleanlyOrKeepWhatWasDecoded) {
  if (!peer::fs::exists(kGdkImages)) GTEST_SKIP() << "gdk-pixbuf-tests missing";
  int files = 0;
  for (const char* sub : {"fail", "randomly-modified", "gif-test-suite"}) {
    for (const auto& entry : peer::fs::directory_iterator(std::string(kGdkImages) + "/" + sub)) {
      if (entry.path().extension() != ".gif") continue;
      SCOPED_TRACE(entry.path().string());
      const auto bytes = korvane_test::ReadFileBytes(entry.path());
      for (int index = 0; index < 2; ++index) {
        const std::string m = MessageOf([&] {
          TPixelGraphic g;
          ReadGif(bytes, g, index);
        });
        EXPECT_TRUE(m.empty() || m == "Index out of bounds" || m == "Not a proper GIF file" ||
                    m == "CreateDIBSection failed")
            << m;
        const std::string i = MessageOf([&] { GifInfo(bytes, index); });
        EXPECT_TRUE(i.empty() || i == "Index out of bounds" || i == "Not a proper GIF file") << i;
      }
      ++files;
    }
  }
  EXPECT_GT(files, 50);
}

// ---------------------------------------------------------------------------
// The decoder's corner cases, on code streams assembled here

TEST(GifLZW, CodeEqualToTheNextFreeEntryRepeatsThePreviousStringsFirstCharacter) {
  CodePacker p(2);
  p.Data(1);  // "1"
  p.Data(6);  // next free entry: "1" + "1"
  p.Data(7);  // next free entry: "11" + "1"
  p.Data(2);
  p.Data(9);  // next free entry 9 = "2" + "2"
  TPixelGraphic g;
  ReadGif(WrapImage(11, 1, 2,
                    [&] {
                      auto d = p.Finish();
                      d.insert(d.begin(), 2);
                      return d;
                    }()),
          g);
  EXPECT_EQ(Indices(g), (std::vector<uint8_t>{1, 1, 1, 1, 1, 1, 2, 2, 2, 0, 0}));
}

TEST(GifLZW, TableStopsAtFourThousandEntriesAndWidthStaysTwelveBitsUntilClear) {
  // Literals only: every code after the first adds an entry; past 4096 entries
  // the codes stay 12 bits wide, and after a clear they are 9 bits again.
  CodePacker p(8);
  std::vector<uint8_t> expected;
  for (int i = 0; i < 5000; ++i) {
    p.Data(i * 7 % 256);
    expected.push_back(static_cast<uint8_t>(i * 7 % 256));
  }
  EXPECT_EQ(p.Width(), 12);
  p.Clear();
  for (int i = 0; i < 300; ++i) {
    p.Data(255 - i % 256);
    expected.push_back(static_cast<uint8_t>(255 - i % 256));
  }
  auto data = p.Finish();
  data.insert(data.begin(), 8);
  TPixelGraphic g;
  ReadGif(WrapImage(100, 53, 8, data), g);
  EXPECT_EQ(Indices(g), expected);
}

TEST(GifLZW, ClearCodesRepeatedAndMissingEndCode) {
  CodePacker p(3);
  p.Clear();
  p.Clear();
  p.Data(5);
  p.Data(5);
  p.Data(10);  // the entry just added: "55"
  p.Clear();
  p.Data(3);
  auto data = p.Finish(false);
  data.insert(data.begin(), 3);
  TPixelGraphic g;
  ReadGif(WrapImage(3, 3, 3, data), g);
  EXPECT_EQ(Indices(g), (std::vector<uint8_t>{5, 5, 5, 5, 3, 0, 0, 0, 0}));
}

TEST(GifLZW, CorruptCodesEndTheImageAndNeverLeaveTheBuffer) {
  CodePacker q(2);
  q.Data(1);
  q.Data(2);  // adds entry 6; the next free entry is 7
  q.Emit(8);  // refers to nothing: decoding ends with the pixels so far
  auto bad = q.Finish();
  bad.insert(bad.begin(), 2);
  TPixelGraphic g;
  ReadGif(WrapImage(6, 1, 2, bad), g);
  EXPECT_EQ(Indices(g), (std::vector<uint8_t>{1, 2, 0, 0, 0, 0}));
  // Code sizes that leave no room for a table give no pixels.
  TPixelGraphic h;
  ReadGif(WrapImage(4, 4, 8, {12, 2, 0xFF, 0xFF, 0}), h);
  EXPECT_EQ(Indices(h), std::vector<uint8_t>(16, 0));
  // On its own the decoder stops at the end of the buffer it was given.
  const uint8_t blocks[] = {255, 0x04, 0x01};  // claims 255 bytes, has 2
  TGifLZWDecoder decoder(blocks, sizeof blocks, 2);
  uint8_t out[64];
  EXPECT_LT(decoder.Decode(out, sizeof out), sizeof out);
  EXPECT_EQ(decoder.SkipRest(), sizeof blocks);
}

// ---------------------------------------------------------------------------
// Interlace order, progress, abort, messages, truncation

TEST(GifReader, InterlacedRowsArriveInPassOrderWithProgressPerRow) {
  // Row r holds index r + 1 everywhere; the rows come in the four passes.
  const int width = 3, height = 21;
  CodePacker p(5);
  const int order[] = {0, 8, 16, 4, 12, 20, 2, 6, 10, 14, 18, 1, 3, 5, 7, 9, 11, 13, 15, 17, 19};
  for (int r : order) {
    for (int x = 0; x < width; ++x) p.Data(r + 1);
    if (r == 16) p.Clear();
  }
  auto data = p.Finish();
  data.insert(data.begin(), 5);
  const auto file = WrapImage(width, height, 5, data, true);

  TPixelGraphic g;
  std::vector<int> steps, filledRows;
  g.OnProgress = [&](TPixelGraphic& s, int step, int max, bool&) {
    EXPECT_EQ(max, height - 1);
    steps.push_back(step);
    int filled = 0;
    for (int y = 0; y < height; ++y) filled += s.Pixel(0, y) != 0;
    filledRows.push_back(filled);
    // The row just finished is the next one of the pass order.
    EXPECT_EQ(s.Pixel(width - 1, order[step]), static_cast<uint32_t>(order[step] + 1));
  };
  int starts = 0, ends = 0;
  g.OnProgressStart = [&](TPixelGraphic&) { ++starts; };
  g.OnProgressEnd = [&](TPixelGraphic&) { ++ends; };
  ReadGif(file, g);
  ASSERT_EQ(steps.size(), static_cast<size_t>(height));
  for (int i = 0; i < height; ++i) {
    EXPECT_EQ(steps[i], i);
    EXPECT_EQ(filledRows[i], i + 1);
  }
  for (int y = 0; y < height; ++y) EXPECT_EQ(g.Pixel(1, y), static_cast<uint32_t>(y + 1));
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(ends, 1);

  // Abort after the third row: the rest stays as it was, without an error.
  TPixelGraphic a;
  a.OnProgress = [&](TPixelGraphic&, int step, int, bool& abort) { abort = step == 2; };
  ends = 0;
  a.OnProgressEnd = [&](TPixelGraphic&) { ++ends; };
  ReadGif(file, a);
  int filled = 0;
  for (int y = 0; y < height; ++y) filled += a.Pixel(0, y) != 0;
  EXPECT_EQ(filled, 3);
  EXPECT_EQ(ends, 1);
}

TEST(GifReader, MessagesAndInformation) {
  const std::vector<uint8_t> notGif = {'G', 'I', 'X', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0};
  EXPECT_EQ(MessageOf([&] { GifInfo(notGif); }), "Not a proper GIF file");
  EXPECT_EQ(MessageOf([&] { GifInfo({}); }), "Not a proper GIF file");
  EXPECT_EQ(MessageOf([&] {
              TPixelGraphic g;
              ReadGif(notGif, g);
            }),
            "Not a proper GIF file");

  CodePacker p(2);
  p.Data(3);
  auto data = p.Finish();
  data.insert(data.begin(), 2);
  auto one = WrapImage(1, 1, 2, data);
  one[4] = '7';
  EXPECT_EQ(MessageOf([&] {
              TPixelGraphic g;
              ReadGif(one, g, 1);
            }),
            "Index out of bounds");
  EXPECT_EQ(MessageOf([&] {
              TPixelGraphic g;
              ReadGif(one, g, -1);
            }),
            "Index out of bounds");
  EXPECT_EQ(MessageOf([&] { GifInfo(one, 1); }), "Index out of bounds");
  const TPGFileInfo info = GifInfo(one);
  EXPECT_EQ(info.Count, 1);
  EXPECT_EQ(info.BitsPerPixel, 2);
  EXPECT_EQ(info.Colors, "4");
  EXPECT_EQ(info.SubType, "87a");
  EXPECT_EQ(info.Extra, "Non-interlaced");
  // A header without images: nothing to read.
  const std::vector<uint8_t> empty = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B};
  EXPECT_EQ(MessageOf([&] {
              TPixelGraphic g;
              ReadGif(empty, g);
            }),
            "Index out of bounds");

  tGifFileFormatReader reader;
  TFileFormatReader::THeader header{};
  std::copy(one.begin(), one.begin() + 17, header.begin());
  EXPECT_TRUE(reader.IsFormat(header));
  header[2] = 'X';
  EXPECT_FALSE(reader.IsFormat(header));
}

TEST(GifReader, TruncatedFilesKeepThePixelsDecodedSoFar) {
  RequireTools({peer::kImageMagick});
  TempDir dir;
  const std::string cmd = std::string(peer::kImageMagick) + " -seed 11 -size 61x37 plasma:fractal ";
  ASSERT_EQ(peer::Run(cmd + "-colors 200 '" + (dir / "a.gif") + "'"), 0);
  ASSERT_EQ(peer::Run(cmd + "-colors 9 -interlace GIF '" + (dir / "b.gif") + "'"), 0);
  for (const char* name : {"a.gif", "b.gif"}) {
    const auto full = korvane_test::ReadFileBytes(dir / name);
    TPixelGraphic whole;
    ReadGif(full, whole);
    const auto reference = Indices(whole);
    int partial = 0;
    for (size_t cut = 0; cut < full.size(); cut += 1 + cut / 40) {
      SCOPED_TRACE(std::string(name) + " cut at " + std::to_string(cut));
      const std::vector<uint8_t> part(full.begin(), full.begin() + cut);
      TPixelGraphic g;
      const std::string m = MessageOf([&] { ReadGif(part, g); });
      if (!m.empty()) {
        EXPECT_TRUE(m == "Index out of bounds" || m == "Not a proper GIF file") << m;
        continue;
      }
      ASSERT_EQ(g.Width(), whole.Width());
      ASSERT_EQ(g.Height(), whole.Height());
      if (std::string(name) == "b.gif") continue;  // interlaced: rows arrive out of order
      // What was decoded agrees with the whole file; the rest is untouched.
      const auto got = Indices(g);
      size_t k = 0;
      while (k < got.size() && got[k] == reference[k]) ++k;
      for (size_t i = k; i < got.size(); ++i) {
        ASSERT_EQ(got[i], 0) << "pixel " << i;
      }
      if (k > 0 && k < got.size()) ++partial;
    }
    if (std::string(name) == "a.gif") {
      EXPECT_GT(partial, 10);
    }
  }
}

TEST(GifReader, OpensThroughTheRegisteredReaders) {
  TempDir dir;
  CodePacker p(2);
  for (int i = 0; i < 6; ++i) p.Data(i % 3 + 1);
  auto data = p.Finish();
  data.insert(data.begin(), 2);
  // Named .ico: the signature decides, not the extension.
  const std::string name = dir / "frame.ico";
  korvane_test::WriteFileBytes(name, WrapImage(3, 2, 2, data));
  TPixelGraphic g;
  g.LoadFromFile(name);
  EXPECT_EQ(g.Width(), 3);
  EXPECT_EQ(g.PixelColor(2, 1), RGB(3, 252, 21));
  std::string type;
  TPGFileInfo info;
  ASSERT_TRUE(GetFileInfo(name, 0, type, info));
  EXPECT_EQ(type, "GIF");
  EXPECT_EQ(info.Count, 1);
  EXPECT_EQ(MessageOf([&] { g.LoadFromFile(name, 1); }), "Index out of bounds");
}
