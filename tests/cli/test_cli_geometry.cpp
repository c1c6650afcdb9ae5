// korvane-cli convert geometry options, filter and batch, run as a process.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "cli_run.h"
#include "pgraphic/filters/filtersettings.h"
#include "pgraphic/image/pixelgraphic.h"
#include "support/peer_image.h"

namespace fs = std::filesystem;

namespace {

using korvane_test::CliResult;

using korvane_test::RunCli;

struct CliGeometryTest : korvane_test::ScratchFolderTest {
  CliGeometryTest() : ScratchFolderTest("cligeom") {}

  void Noise(const std::string& name, int w, int h) {
    pgraphic::TPixelGraphic g;
    g.SetSize(w, h, pgraphic::pf24Bit);
    std::mt19937 rng(static_cast<unsigned>(w * 31 + h));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) g.SetPixel(x, y, rng() & 0xFFFFFF);
    g.SaveToFile((dir / name).string());
  }
  std::unique_ptr<pgraphic::TPixelGraphic> Load(const std::string& name) {
    auto g = std::make_unique<pgraphic::TPixelGraphic>();
    g->LoadFromFile((dir / name).string());
    return g;
  }
};

bool SameColours(const pgraphic::TPixelGraphic& a, const pgraphic::TPixelGraphic& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.PixelColor(x, y) != b.PixelColor(x, y)) return false;
  return true;
}

TEST_F(CliGeometryTest, ConvertTurnsAndMirrorsLikeImageMagick) {
  const char* magick = "/usr/bin/convert-im6.q16";
  if (!fs::exists(magick)) GTEST_SKIP() << "ImageMagick not installed";
  Noise("in.bmp", 23, 14);
  const struct {
    const char* ours;
    const char* theirs;
  } cases[] = {{"--rotate right", "-rotate 90"},
               {"--rotate left", "-rotate -90"},
               {"--rotate 180", "-rotate 180"},
               {"--mirror horizontal", "-flop"},
               {"--mirror vertical --rotate left", "-flip -rotate -90"},
               {"--crop 3,2,10,5", "-crop 10x5+3+2 +repage"}};
  for (const auto& c : cases) {
    const CliResult r = RunCli(std::string("convert in.bmp ours.bmp ") + c.ours, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(std::system((std::string(magick) + " '" + (dir / "in.bmp").string() + "' " +
                           c.theirs + " BMP3:'" + (dir / "theirs.bmp").string() + "'")
                              .c_str()),
              0);
    EXPECT_TRUE(SameColours(*Load("ours.bmp"), *Load("theirs.bmp"))) << c.ours;
  }
}

TEST_F(CliGeometryTest, ResizeUsesPreciseUnlessToldOtherwise) {
  pgraphic::TPixelGraphic g;
  g.SetSize(4, 1, pgraphic::pf24Bit);
  const uint32_t values[4] = {10, 20, 30, 40};
  for (int x = 0; x < 4; ++x) g.SetPixel(x, 0, pgraphic::RGB(values[x], values[x], values[x]));
  g.SaveToFile((dir / "row.bmp").string());
  ASSERT_EQ(RunCli("convert row.bmp p.bmp --resize 2x1", dir).status, 0);
  ASSERT_EQ(RunCli("convert --stretch fast row.bmp f.bmp --resize=2x1", dir).status, 0);
  auto p = Load("p.bmp"), f = Load("f.bmp");
  EXPECT_EQ(p->PixelColor(0, 0), pgraphic::RGB(15, 15, 15));
  EXPECT_EQ(p->PixelColor(1, 0), pgraphic::RGB(35, 35, 35));
  EXPECT_EQ(f->PixelColor(1, 0), pgraphic::RGB(30, 30, 30));
  EXPECT_EQ(RunCli("convert row.bmp x.bmp --resize 0x4", dir).status, 2);
  EXPECT_EQ(RunCli("convert row.bmp x.bmp --stretch slow", dir).status, 2);
  const CliResult outside = RunCli("convert row.bmp x.bmp --crop 1,0,4,1", dir);
  EXPECT_EQ(outside.status, 1);
  EXPECT_FALSE(fs::exists(dir / "x.bmp"));
}

TEST_F(CliGeometryTest, FilterSettingsAndTheirRanges) {
  Noise("in.bmp", 12, 9);
  ASSERT_EQ(RunCli("filter negative in.bmp n1.bmp", dir).status, 0);
  ASSERT_EQ(RunCli("filter negative n1.bmp n2.bmp", dir).status, 0);
  EXPECT_TRUE(SameColours(*Load("in.bmp"), *Load("n2.bmp")));

  ASSERT_EQ(RunCli("filter grayscale --rgb-weighting off in.bmp g.bmp", dir).status, 0);
  auto in = Load("in.bmp"), gray = Load("g.bmp");
  const pgraphic::TRGB c = in->PixelColor(3, 4);
  const uint32_t v = (pgraphic::GetR(c) + pgraphic::GetG(c) + pgraphic::GetB(c)) / 3;
  EXPECT_EQ(gray->PixelColor(3, 4), pgraphic::RGB(v, v, v));

  // The defaults are the ones the main window keeps: sharpen 0.75 / 50 %.
  ASSERT_EQ(RunCli("filter sharpen in.bmp s1.bmp", dir).status, 0);
  ASSERT_EQ(RunCli("filter sharpen --sigma 0.75 --strength 50 in.bmp s2.bmp", dir).status, 0);
  ASSERT_EQ(RunCli("filter sharpen --std-deviation 1.3 --strength 10 in.bmp s3.bmp", dir).status,
            0);
  EXPECT_TRUE(SameColours(*Load("s1.bmp"), *Load("s2.bmp")));
  EXPECT_FALSE(SameColours(*Load("s1.bmp"), *Load("s3.bmp")));
  ASSERT_EQ(RunCli("filter hls --h -180 --l 0 --s 0 in.bmp h.bmp", dir).status, 0);
  ASSERT_EQ(RunCli("filter bcg --contrast 1 --gamma 1 --apply-on y in.bmp b.bmp", dir).status, 0);
  ASSERT_EQ(RunCli("filter contour --background black --strength 1000 in.bmp c.bmp", dir).status,
            0);

  EXPECT_EQ(RunCli("filter sharpen --strength 5 in.bmp x.bmp", dir).status, 2);
  EXPECT_EQ(RunCli("filter contour --strength 50 in.bmp x.bmp", dir).status, 2);
  EXPECT_EQ(RunCli("filter hls --h 181 in.bmp x.bmp", dir).status, 2);
  EXPECT_EQ(RunCli("filter rgb --r 101 in.bmp x.bmp", dir).status, 2);
  EXPECT_EQ(RunCli("filter blur --radius 6 in.bmp x.bmp", dir).status, 2);
  EXPECT_EQ(RunCli("filter rgb --h 10 in.bmp x.bmp", dir).status, 2)
      << "hue belongs to hls and hsv";
  EXPECT_EQ(RunCli("filter emboss in.bmp x.bmp", dir).status, 2);
  EXPECT_FALSE(fs::exists(dir / "x.bmp"));
}

TEST_F(CliGeometryTest, BatchReportsWhichFilesFailed) {
  Noise("A.BMP", 6, 4);
  Noise("b.bmp", 5, 5);
  { std::ofstream(dir / "bad.bmp") << "no image here"; }
  const CliResult r =
      RunCli("batch --to out --format bmp --rotate right --colors gray A.BMP bad.bmp b.bmp", dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Conversion is complete! 2 of 3 files converted, 1 failed.\n");
  EXPECT_NE(r.err.find("bad.bmp: Unknown file format"), std::string::npos) << r.err;
  auto a = Load("out/a.bmp");
  EXPECT_EQ(a->Width(), 4);
  EXPECT_EQ(a->Height(), 6);
  EXPECT_EQ(a->PixelFormat(), pgraphic::pf8Bit);
  EXPECT_TRUE(fs::exists(dir / "out" / "b.bmp"));

  const CliResult ok = RunCli("batch --to out --format bmp b.bmp", dir);
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(RunCli("batch --to out b.bmp", dir).status, 2);
  EXPECT_EQ(RunCli("batch --to out --format gif b.bmp", dir).status, 2);
}

TEST_F(CliGeometryTest, BatchNeverOverwritesAnotherFileOfTheRun) {
  Noise("Photo.BMP", 6, 4);
  Noise("photo.bmp", 5, 5);
  Noise("a.bmp", 7, 3);
  Noise("a.png", 4, 4);
  const struct {
    const char* args;
    const char* output;
    int width;  // tells which source the output holds
  } cases[] = {
      // Output names are lower case: the first source keeps its output.
      {"--to out --format png Photo.BMP photo.bmp", "out/photo.png", 6},
      // Into the source folder: a.bmp's output would replace a.png before it is read.
      {"--to . --format png a.bmp a.png", "a.png", 4},
  };
  for (const auto& c : cases) {
    const CliResult r = RunCli(std::string("batch ") + c.args, dir);
    EXPECT_EQ(r.status, 1) << c.args;
    EXPECT_EQ(r.out,
              "Conversion is complete! 1 of 2 files converted. 1 file was skipped: another file "
              "of this run has the same output name.\n");
    EXPECT_NE(r.err.find("skipped"), std::string::npos) << r.err;
    EXPECT_EQ(Load(c.output)->Width(), c.width) << c.args;
  }
}

TEST_F(CliGeometryTest, BatchJpegQualityReachesTheWriter) {
  Noise("n.bmp", 64, 64);
  ASSERT_EQ(RunCli("batch --to lo --format jpg --jpeg-quality 5 n.bmp", dir).status, 0);
  ASSERT_EQ(RunCli("batch --to hi --format jpg --jpeg-quality 95 n.bmp", dir).status, 0);
  EXPECT_LT(fs::file_size(dir / "lo" / "n.jpg") * 2, fs::file_size(dir / "hi" / "n.jpg"));
  EXPECT_EQ(RunCli("batch --to x --format jpg --jpeg-quality 96 n.bmp", dir).status, 2);
}

// Four shards of a list read from a file or standard input write, together,
// exactly the files and bytes of one run of the whole list, name collisions
// included; two workers write them too.
TEST_F(CliGeometryTest, ShardsTogetherWriteWhatOneRunWrites) {
  std::string names, lines, nul;
  for (const std::string name : {"Photo.BMP", "a.bmp", "b.bmp", "bad.bmp", "c.bmp", "d.bmp",
                                 "e.bmp", "f.bmp", "photo.bmp"}) {
    Noise(name, 5 + static_cast<int>(names.size()) % 7, 4 + name[0] % 5);
    names += " " + name;
    lines += name + "\n";
    nul += name + '\0';
  }
  std::ofstream(dir / "bad.bmp") << "no image here";
  std::ofstream(dir / "list") << lines;
  std::ofstream(dir / "list0") << nul;
  auto folder = [&](const std::string& name) {
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& entry : fs::directory_iterator(dir / name))
      files[entry.path().filename().string()] = korvane_test::ReadFileBytes(entry.path().string());
    return files;
  };
  EXPECT_EQ(RunCli("batch --to one --format png --jobs 1" + names, dir).status, 1);
  EXPECT_EQ(RunCli("batch --to two --format png --jobs 2" + names, dir).status, 1);
  int total = 0;
  for (const std::string k : {"1", "2", "3", "4"}) {
    const std::string list = k == "2" ? "- -0 < list0" : k == "3" ? "- < list" : "list";
    const CliResult r = RunCli(
        "batch --to four --format png --report json --shard " + k + "/4 --files-from " + list, dir);
    const size_t at = r.out.find("\"total\": ");
    ASSERT_NE(at, std::string::npos) << r.out << r.err;
    total += std::stoi(r.out.substr(at + 9));
  }
  EXPECT_EQ(total, 9);
  EXPECT_EQ(folder("one").size(), 7u);
  EXPECT_EQ(folder("two"), folder("one"));
  EXPECT_EQ(folder("four"), folder("one"));
}

}  // namespace
