// korvane-cli run as a separate process: exit codes, messages, option placement.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "cli_run.h"
#include "pgraphic/image/pixelgraphic.h"
#include "support/truncated_files.h"

namespace fs = std::filesystem;

namespace {

using korvane_test::CliResult;
using korvane_test::RunCli;

struct CliTest : korvane_test::ScratchFolderTest {
  CliTest() : ScratchFolderTest("cli") {}
};

}  // namespace

TEST_F(CliTest, SampleInfoAndConvertSucceed) {
  CliResult r = RunCli("sample " + P("s.bmp") + " --size 64x48", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  r = RunCli("info " + P("s.bmp"), dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            (dir / "s.bmp").string() +
                ": Type: Bitmap Windows, RGB; Size: 64x48; Colors: 16.7M; File size: 9.1 Kb\n");
  // A plain convert to BMP reproduces the file byte for byte; to .dib likewise.
  r = RunCli("convert " + P("s.bmp") + " " + P("t.dib"), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  pgraphic::TPixelGraphic a, b;
  a.LoadFromFile((dir / "s.bmp").string());
  b.LoadFromFile((dir / "t.dib").string());
  ASSERT_EQ(a.ImageSize(), b.ImageSize());
  EXPECT_EQ(0, std::memcmp(a.Bits(), b.Bits(), static_cast<size_t>(a.ImageSize())));
}

TEST_F(CliTest, FailuresExitOneWithTheLibraryMessage) {
  { std::ofstream(dir / "junk.bmp") << "not an image at all"; }
  CliResult r = RunCli("info " + P("junk.bmp"), dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Unknown file format"), std::string::npos) << r.err;

  ASSERT_EQ(RunCli("sample " + P("s.bmp") + " --size 8x8", dir).status, 0);
  // One bad file among good ones: the good ones are still described.
  r = RunCli("info " + P("s.bmp") + " " + P("junk.bmp"), dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("Size: 8x8"), std::string::npos);

  r = RunCli("convert " + P("s.bmp") + " " + P("out.xyz"), dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Unknown file extension \"xyz\""), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "out.xyz"));

  // A truncated header gives the reader's message.
  std::ofstream(dir / "cut.bmp", std::ios::binary)
      .write("BM\0\0\0\0\0\0\0\0\0\0\0\0\x28\0\0\0", 18);
  r = RunCli("convert " + P("cut.bmp") + " " + P("o.bmp"), dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("BMP: Unexpected end of file"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "o.bmp"));
}

TEST_F(CliTest, UsageErrorsExitTwo) {
  for (const char* line :
       {"", "frobnicate x", "convert onlyone.bmp", "convert a.bmp b.bmp --colors",
        "convert a.bmp b.bmp --colors 7", "convert a.bmp b.bmp --bogus", "info"}) {
    const CliResult r = RunCli(line, dir);
    EXPECT_EQ(r.status, 2) << line;
    // One line naming the fault and pointing to --help, not the whole usage.
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << line << ": " << r.err;
    EXPECT_NE(r.err.find("--help"), std::string::npos) << line;
    EXPECT_TRUE(r.out.empty()) << line;
  }
  const CliResult help = RunCli("--help", dir);
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("convert IN OUT"), std::string::npos);
  EXPECT_TRUE(help.err.empty());
  const CliResult version = RunCli("--version", dir);
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("korvane-cli ", 0), 0u) << version.out;
  EXPECT_TRUE(version.err.empty());
}

TEST_F(CliTest, OptionsMayStandBeforeOrAfterFileNames) {
  // "--size=WxH" and "--size WxH" before the file name.
  EXPECT_EQ(RunCli("sample --size=16x4 " + P("a.bmp"), dir).status, 0);
  EXPECT_EQ(RunCli("sample --size 16x4 " + P("b.bmp"), dir).status, 0);
  pgraphic::TPixelGraphic g;
  g.LoadFromFile((dir / "b.bmp").string());
  EXPECT_EQ(g.Width(), 16);
  EXPECT_EQ(g.Height(), 4);
  // "--" ends the options: a file name that starts with dashes.
  EXPECT_EQ(RunCli("sample --size 4x4 -- --odd.bmp", dir).status, 0);
  EXPECT_TRUE(fs::exists(dir / "--odd.bmp"));
}

TEST_F(CliTest, ColoursAndFormatFallbackWarning) {
  ASSERT_EQ(RunCli("sample s.bmp --size 40x30", dir).status, 0);
  const struct {
    const char* value;
    pgraphic::TPGPixelFormat format;
  } cases[] = {{"2", pgraphic::pf1Bit},
               {"16", pgraphic::pf4Bit},
               {"256", pgraphic::pf8Bit},
               {"gray", pgraphic::pf8Bit},
               {"true", pgraphic::pf24Bit}};
  for (const auto& c : cases) {
    const std::string out = std::string("c-") + c.value + ".bmp";
    // The option before the file names this time.
    const CliResult r = RunCli(std::string("convert --colors ") + c.value + " s.bmp " + out, dir);
    ASSERT_EQ(r.status, 0) << c.value << r.err;
    pgraphic::TPixelGraphic g;
    g.LoadFromFile((dir / out).string());
    EXPECT_EQ(g.PixelFormat(), c.format) << c.value;
    EXPECT_EQ(g.Width(), 40);
  }
  // A format that cannot hold true colour: the question is printed and answered OK.
  const CliResult r = RunCli("convert s.bmp s.pgm", dir);
  if (r.status == 1 && r.err.find("Unknown file extension") != std::string::npos) {
    GTEST_SKIP() << "no PGM writer registered";
  }
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Warning: The graphic cannot be saved to a Portable Graymap file"),
            std::string::npos)
      << r.err;
  EXPECT_TRUE(fs::exists(dir / "s.pgm"));
}

TEST_F(CliTest, JpegQualityOptionSetsTheWriterQuality) {
  ASSERT_EQ(RunCli("sample " + P("s.bmp") + " --size 96x64", dir).status, 0);
  CliResult r = RunCli("convert " + P("s.bmp") + " " + P("low.jpg") + " --jpeg-quality 5", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  r = RunCli("convert --jpeg-quality=95 " + P("s.bmp") + " " + P("high.jpg"), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_LT(fs::file_size(dir / "low.jpg") * 2, fs::file_size(dir / "high.jpg"));
  // Without the option the writer's default (80) lies in between.
  ASSERT_EQ(RunCli("convert " + P("s.bmp") + " " + P("mid.jpg"), dir).status, 0);
  EXPECT_LT(fs::file_size(dir / "low.jpg"), fs::file_size(dir / "mid.jpg"));
  EXPECT_LT(fs::file_size(dir / "mid.jpg"), fs::file_size(dir / "high.jpg"));
  for (const char* bad : {"4", "96", "x", "", "-5", "50.5"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(
        RunCli("convert " + P("s.bmp") + " " + P("o.jpg") + " --jpeg-quality '" + bad + "'", dir)
            .status,
        2);
  }
  // PNG round trip through the CLI keeps the pixels.
  ASSERT_EQ(RunCli("convert " + P("s.bmp") + " " + P("s.png"), dir).status, 0);
  pgraphic::TPixelGraphic a, b;
  a.LoadFromFile((dir / "s.bmp").string());
  b.LoadFromFile((dir / "s.png").string());
  ASSERT_EQ(a.ImageSize(), b.ImageSize());
  EXPECT_EQ(0, std::memcmp(a.Bits(), b.Bits(), static_cast<size_t>(a.ImageSize())));
}

TEST_F(CliTest, InfoAddsImageCountAndExtraText) {
  // An LZW-compressed TIFF: the reader describes it without decoding and
  // reports the compression it cannot read.
  const std::string im = "/usr/bin/convert-im6.q16";
  if (!fs::exists(im)) GTEST_SKIP() << "ImageMagick missing";
  const std::string make = im +
                           " -size 8x6 xc:red xc:blue -depth 8 -type TrueColor -compress LZW '" +
                           (dir / "two.tif").string() + "' 2>/dev/null";
  ASSERT_EQ(std::system(make.c_str()), 0);
  CliResult r = RunCli("info " + P("two.tif"), dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Type: Tagged Image File Format I, LZW, "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("; Size: 8x6;"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("; Extra: (Unsupported compression)"), std::string::npos) << r.out;
  // An animation tells how many frames it has.
  const std::string gif =
      im + " -size 8x6 xc:red xc:blue xc:lime '" + (dir / "three.gif").string() + "' 2>/dev/null";
  ASSERT_EQ(std::system(gif.c_str()), 0);
  r = RunCli("info " + P("three.gif"), dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("; Images: 3"), std::string::npos) << r.out;
}

TEST_F(CliTest, FilesThatEndEarlyFailUnlessThePartialPictureIsAskedFor) {
  for (const std::string ext : {"gif", "bmp", "tga"}) {
    for (const int side : {46340, 300}) {
      const auto bytes = korvane_test::TruncatedPicture(ext, side);
      std::ofstream(dir / ("in." + ext), std::ios::binary)
          .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
      // 2^31 pixels claimed: refused at once; --partial takes what there is.
      const std::string partial = side == 300 ? "--partial " : "";
      for (const std::string& command :
           {"convert " + partial + P("in." + ext) + " " + P("to/in.png"),
            "batch --to " + P("to") + " --format png " + partial + P("in." + ext)}) {
        fs::remove_all(dir / "to");
        fs::create_directory(dir / "to");
        const CliResult r = RunCli(command, dir);
        EXPECT_EQ(r.status, partial.empty() ? 1 : 0) << command;
        EXPECT_NE(r.err.find(": Unexpected end of file"), std::string::npos) << r.err;
        EXPECT_EQ(fs::exists(dir / "to/in.png"), !partial.empty()) << command;
      }
    }
  }
}
