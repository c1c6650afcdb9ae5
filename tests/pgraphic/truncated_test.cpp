// Files that end before their picture is complete: GIF, RLE8 BMP and RLE TGA
// say "Unexpected end of file" under the image's read warning action, before
// sizing the image when the data left cannot hold it; whole files say nothing.
#include <gtest/gtest.h>

#include <climits>

#include "peer_images.h"
#include "pgraphic/formats/fileformat.h"
#include "support/pg_message.h"
#include "support/truncated_files.h"

using namespace pgraphic;

namespace {

std::string Load(TPixelGraphic& g, const std::vector<uint8_t>& bytes, const std::string& ext,
                 TPGWarningAction action) {
  g.SetReadWarningAction(action);
  TReadOnlyMemoryStream stream(bytes.data(), bytes.size());
  return korvane_test::MessageOf([&] { g.LoadFromStreamExt(stream, ext, 0); });
}

TEST(TruncatedFiles, AWarningBeforeAnyLargePictureIsMade) {
  for (const std::string prefix : {"GIF: ", "BMP: ", "TGA: "}) {
    const std::string ext = prefix == "GIF: " ? "gif" : prefix == "BMP: " ? "bmp" : "tga";
    SCOPED_TRACE(ext);
    int asked = 0;
    bool answer = false;
    SetQuestionHook([&](const std::string&, const std::string& text, bool) {
      EXPECT_EQ(text, prefix + "Unexpected end of file");
      return ++asked, answer;
    });
    // A picture of 2^31 pixels claimed by a few hundred bytes: refused unsized.
    TPixelGraphic g;
    EXPECT_EQ(Load(g, korvane_test::TruncatedPicture(ext, 46340), ext, pgwaRaise),
              prefix + "Unexpected end of file");
    EXPECT_EQ(Load(g, korvane_test::TruncatedPicture(ext, 46340), ext, pgwaOKCancelBox),
              prefix + "Operation aborted on user request");
    EXPECT_EQ(g.Width(), 0);
    // Going on gives the partial picture, after one more warning.
    answer = true;
    EXPECT_EQ(Load(g, korvane_test::TruncatedPicture(ext, 4000), ext, pgwaOKBox), "");
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(g.Height(), 4000);
    if (ext != "gif") {
      EXPECT_NE(g.PixelColor(0, 3999), g.PixelColor(0, 0));
    }
  }
  SetQuestionHook(nullptr);
}

TEST(TruncatedFiles, WholeFilesAndLegalShortRLEDataSayNothing) {
  // End of bitmap at once: a legal RLE8 file of background only.
  std::vector<uint8_t> eob = korvane_test::TruncatedPicture("bmp", 4000);
  eob.resize(eob.size() - 600);
  eob.insert(eob.end(), {0, 1});
  TPixelGraphic g;
  EXPECT_EQ(Load(g, eob, "bmp", pgwaRaise), "");
  EXPECT_EQ(g.Width(), 4000);

  if (!peer::HaveTool(peer::kImageMagick)) GTEST_SKIP() << "ImageMagick missing";
  peer::TempDir dir;
  for (const std::string coder : {"gif", "bmp3", "tga"}) {
    const std::string file = dir / ("whole." + coder.substr(0, 3));
    ASSERT_EQ(peer::Run(std::string(peer::kImageMagick) + " -seed 3 -size 300x200 plasma: " +
                        "-colors 200 -compress RLE " + coder + ":'" + file + "'"),
              0);
    EXPECT_EQ(Load(g, korvane_test::ReadFileBytes(file), coder.substr(0, 3), pgwaRaise), "");
    EXPECT_EQ(g.Width(), 300) << coder;
  }
}

TEST(TruncatedFiles, BmpHeightsAreShownWithoutSignAndMinusTwoToThe31IsRefused) {
  korvane_test::BmpSpec s;
  s.width = 100;
  s.height = -2;
  s.pixels.assign(600, 7);
  std::string type;
  TPGFileInfo info;
  auto bytes = korvane_test::BuildBmp(s);
  TReadOnlyMemoryStream stream(bytes.data(), bytes.size());
  ASSERT_TRUE(GetStreamInfo(stream, "bmp", 0, type, info));
  EXPECT_NE(InfoText(type, info, -1).find("Size: 100x2;"), std::string::npos);
  s.height = INT_MIN;
  bytes = korvane_test::BuildBmp(s);
  TPixelGraphic g;
  EXPECT_EQ(Load(g, bytes, "bmp", pgwaRaise), "BMP: BitmapInfoHeader.biHeight invalid");
}

}  // namespace
