// korvane-cli and the wavelet format: compress, convert to and from .vqn, info,
// with a photograph-like source made by ImageMagick and the decoded result
// checked through ImageMagick's reading of the BMP we write.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli_run.h"
#include "codec/vqn.h"
#include "io/files.h"
#include "support/peer_image.h"

namespace {

namespace fs = std::filesystem;
using korvane_test::CliResult;
using korvane_test::RunCli;
using korvane_test::ShellQuote;

struct CliVqn : testing::Test {
  void SetUp() override {
    if (!korvane_test::HaveTool(korvane_test::kImageMagick)) GTEST_SKIP() << "ImageMagick missing";
    source = scratch.File("src.ppm");
    // A smooth, detailed picture at an odd size.
    ASSERT_EQ(korvane_test::RunShell(
                  std::string(korvane_test::kImageMagick) +
                  " -size 131x77 gradient:orange-navy -swirl 120 -blur 0x1 " +
                  "\\( rose: -resize 131x77! \\) -compose overlay -composite -depth 8 " +
                  ShellQuote(source)),
              0);
  }
  std::string Q(const std::string& name) const { return ShellQuote(scratch.File(name)); }
  korvane_test::ScratchDir scratch{"cli-vqn"};
  std::string source;
};

TEST_F(CliVqn, CompressConvertAndInfo) {
  CliResult r =
      RunCli("compress " + ShellQuote(source) + " " + Q("a.vqn") + " --quality 90", scratch.path);
  ASSERT_EQ(r.status, 0) << r.err;
  // The same data the library makes from the same image.
  pgraphic::TPixelGraphic image;
  image.LoadFromFile(source);
  const codec::CompressedData data = codec::Compress(image, codec::QualityFromPosition(90));
  EXPECT_EQ(r.out, "Compression ratio is 1:" + std::to_string(codec::CompressionRatio(data)) +
                       "\nSize of VQN-file will be " + codec::KbText(data.CodedLength) + " Kb\n");
  const auto bytes = korvane_test::ReadFileBytes(scratch.File("a.vqn"));
  pgraphic::TMemoryStream expected;
  codec::WriteVQN(data, expected);
  EXPECT_EQ(bytes, expected.Bytes());

  // Options before the file names, and convert to .vqn: the same file.
  r = RunCli("convert --quality 90 " + ShellQuote(source) + " " + Q("b.vqn"), scratch.path);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(korvane_test::ReadFileBytes(scratch.File("b.vqn")), bytes);
  // The default quality is position 60.
  ASSERT_EQ(RunCli("compress " + ShellQuote(source) + " " + Q("c.vqn"), scratch.path).status, 0);
  EXPECT_EQ(korvane_test::ReadFileBytes(scratch.File("c.vqn"))[40],
            static_cast<uint8_t>(codec::Compress(image, 41).CodedLength));

  r = RunCli("info " + Q("a.vqn"), scratch.path);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, scratch.File("a.vqn") +
                       ": Type: VQN, Wavelet 3.0; Size: 131x77; Colors: 16.7M; File size: " +
                       codec::KbText(static_cast<int64_t>(bytes.size())) + " Kb\n");

  // Decoding to BMP: ImageMagick reads back exactly the decoder's pixels.
  r = RunCli("convert " + Q("a.vqn") + " " + Q("a.bmp"), scratch.path);
  ASSERT_EQ(r.status, 0) << r.err;
  auto decoded = codec::LoadVQNFile(scratch.File("a.vqn"));
  auto peer = korvane_test::DecodeWithImageMagick(scratch.File("a.bmp"));
  ASSERT_TRUE(peer);
  ASSERT_EQ(peer->width, 131);
  ASSERT_EQ(peer->height, 77);
  for (int y = 0; y < 77; ++y)
    for (int x = 0; x < 131; ++x)
      ASSERT_EQ(peer->At(x, y), decoded->PixelColor(x, y)) << x << "," << y;
  // And the decoded picture is close to the source ImageMagick made.
  auto original = korvane_test::DecodeWithImageMagick(source);
  ASSERT_TRUE(original);
  double sum = 0;
  for (size_t i = 0; i < original->rgb.size(); ++i) {
    const double d = double(original->rgb[i]) - peer->rgb[i];
    sum += d * d;
  }
  EXPECT_LT(sum / double(original->rgb.size()), 40.0);  // PSNR above about 32 dB
}

TEST_F(CliVqn, BadInputAndOptions) {
  EXPECT_EQ(
      RunCli("compress " + ShellQuote(source) + " " + Q("x.vqn") + " --quality 121", scratch.path)
          .status,
      2);
  EXPECT_EQ(
      RunCli("compress " + ShellQuote(source) + " " + Q("x.vqn") + " --quality high", scratch.path)
          .status,
      2);
  EXPECT_EQ(
      RunCli("convert " + ShellQuote(source) + " " + Q("x.vqn") + " --quality -1", scratch.path)
          .status,
      2);
  EXPECT_FALSE(fs::exists(scratch.File("x.vqn")));

  ASSERT_EQ(RunCli("compress " + ShellQuote(source) + " " + Q("a.vqn"), scratch.path).status, 0);
  auto bytes = korvane_test::ReadFileBytes(scratch.File("a.vqn"));
  bytes.resize(bytes.size() - 3);
  korvane_test::WriteFileBytes(scratch.File("cut.vqn"), bytes);
  CliResult r = RunCli("convert " + Q("cut.vqn") + " " + Q("cut.bmp"), scratch.path);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("VQN-file is corrupted!"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(scratch.File("cut.bmp")));
  // The header is still fine, so info describes the file.
  EXPECT_EQ(RunCli("info " + Q("cut.vqn"), scratch.path).status, 0);
  korvane_test::WriteFileBytes(scratch.File("junk.vqn"), {'J', 'U', 'N', 'K', 0, 0});
  r = RunCli("info " + Q("junk.vqn"), scratch.path);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("Not a VQN file"), std::string::npos) << r.err;
}

// convert and batch --auto-orient write a phone-style JPEG (tag 6) as ImageMagick's
// -auto-orient picture, through a lossless PNG; without it the rows stay as stored.
TEST(CliAutoOrient, ConvertAndBatchWriteTheUprightPicture) {
  korvane_test::ScratchDir dir("cli-orient");
  if (!korvane_test::WriteTaggedPhoto(dir / "phone.jpg", 6)) GTEST_SKIP() << "no peers";
  const auto upright = korvane_test::DecodeUprightWithImageMagick(dir / "phone.jpg");
  const auto stored = korvane_test::DecodeWithImageMagick(dir / "phone.jpg");
  ASSERT_TRUE(upright && stored);
  for (const char* run : {"convert --auto-orient phone.jpg up.png", "convert phone.jpg as.png",
                          "batch --auto-orient --to out --format png phone.jpg"})
    ASSERT_EQ(korvane_test::RunCli(run, dir.path).status, 0) << run;
  EXPECT_TRUE(korvane_test::SamePicture(*upright, *io::OpenImage(dir / "up.png")));
  EXPECT_TRUE(korvane_test::SamePicture(*stored, *io::OpenImage(dir / "as.png")));
  EXPECT_TRUE(korvane_test::SamePicture(*upright, *io::OpenImage(dir / "out/phone.png")));
}

}  // namespace
