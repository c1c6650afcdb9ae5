// Files that end before their picture is complete: GIF, RLE8 BMP and RLE TGA
// say "Unexpected end of file" under the image's read warning action, before
// sizing the image when the data left cannot hold it; whole files say nothing.
#include <gtest/gtest.h>

#include <climits>

#include "peer_images.h"
#include "support/pg_message.h"
#include "pgraphic/formats/fileformat.h"
#include "pgraphic/image/pixelgraphic.h"
#include "support/truncated_files.h"

using namespace pgraphic;
using korvane_test::MessageOf;
using korvane_test::TruncatedPicture;

namespace {

// Counts the questions the library asks and gives one answer to all of them.
struct Questions {
  int asked = 0;
  std::string last;
  explicit Questions(bool answer) {
    SetQuestionHook([this, answer](const std::string&, const std::string& text, bool) {
      ++asked;
      last = text;
      return answer;
    });
  }
  ~Questions() { SetQuestionHook(nullptr); }
};

std::string Load(TPixelGraphic& g, const std::vector<uint8_t>& bytes, const std::string& ext,
                 TPGWarningAction action) {
  g.SetReadWarningAction(action);
  TReadOnlyMemoryStream stream(bytes.data(), bytes.size());
  return MessageOf([&] { g.LoadFromStreamExt(stream, ext, 0); });
}

struct Format {
  const char* ext;
  const char* prefix;
};
const Format kFormats[] = {{"gif", "GIF: "}, {"bmp", "BMP: "}, {"tga", "TGA: "}};

TEST(TruncatedFiles, AWarningBeforeAnyLargePictureIsMade) {
  for (const Format& f : kFormats) {
    SCOPED_TRACE(f.ext);
    const std::string end = std::string(f.prefix) + "Unexpected end of file";
    // A picture of 2^31 pixels claimed by a few hundred bytes: refused unsized.
    TPixelGraphic g;
    EXPECT_EQ(Load(g, TruncatedPicture(f.ext, 46340), f.ext, pgwaRaise), end);
    EXPECT_EQ(g.Width(), 0);
    {
      Questions cancel(false);
      EXPECT_EQ(Load(g, TruncatedPicture(f.ext, 46340), f.ext, pgwaOKCancelBox),
                std::string(f.prefix) + "Operation aborted on user request");
      EXPECT_EQ(cancel.last, end);
      EXPECT_EQ(g.Width(), 0);
    }
    // Going on gives the partial picture, after one warning.
    Questions ok(true);
    EXPECT_EQ(Load(g, TruncatedPicture(f.ext, 4000), f.ext, pgwaOKBox), "");
    EXPECT_EQ(ok.asked, 1);
    EXPECT_EQ(g.Width(), 4000);
    EXPECT_EQ(g.Height(), 4000);
    if (f.ext != std::string("gif")) EXPECT_NE(g.PixelColor(0, 3999), g.PixelColor(0, 0));
  }
}

TEST(TruncatedFiles, WholeFilesAndLegalShortRLEDataSayNothing) {
  // End of bitmap at once: a legal RLE8 file of background only.
  korvane_test::BmpSpec s;
  s.width = s.height = 4000;
  s.bitCount = 8;
  s.compression = 1;
  s.palette = {0x000000, 0xFFFFFF};
  s.clrUsed = 2;
  s.pixels = {0, 1};
  TPixelGraphic g;
  EXPECT_EQ(Load(g, korvane_test::BuildBmp(s), "bmp", pgwaRaise), "");
  EXPECT_EQ(g.Width(), 4000);

  if (!peer::HaveTool(peer::kImageMagick)) GTEST_SKIP() << "ImageMagick missing";
  peer::TempDir dir;
  struct Whole {
    const char* coder;
    const char* ext;
  };
  for (const Whole w : {Whole{"gif", "gif"}, Whole{"bmp3", "bmp"}, Whole{"tga", "tga"}}) {
    SCOPED_TRACE(w.coder);
    const std::string file = dir / (std::string("whole.") + w.ext);
    ASSERT_EQ(peer::Run(std::string(peer::kImageMagick) +
                        " -seed 3 -size 300x200 plasma: -colors 200 -compress RLE " + w.coder +
                        ":'" + file + "'"),
              0);
    EXPECT_EQ(Load(g, korvane_test::ReadFileBytes(file), w.ext, pgwaRaise), "");
    EXPECT_EQ(g.Width(), 300);
  }
}

TEST(TruncatedFiles, BmpHeightsAreShownWithoutSignAndMinusTwoToThe31IsRefused) {
  korvane_test::BmpSpec s;
  s.width = 100;
  s.height = -2;
  s.pixels.assign(600, 7);
  auto bytes = korvane_test::BuildBmp(s);
  TReadOnlyMemoryStream stream(bytes.data(), bytes.size());
  std::string type;
  TPGFileInfo info;
  ASSERT_TRUE(GetStreamInfo(stream, "bmp", 0, type, info));
  EXPECT_NE(InfoText(type, info, -1).find("Size: 100x2;"), std::string::npos);
  s.height = INT_MIN;
  bytes = korvane_test::BuildBmp(s);
  TReadOnlyMemoryStream corrupt(bytes.data(), bytes.size());
  EXPECT_FALSE(GetStreamInfo(corrupt, "bmp", 0, type, info));
  TPixelGraphic g;
  EXPECT_EQ(Load(g, bytes, "bmp", pgwaRaise), "BMP: BitmapInfoHeader.biHeight invalid");
}

}  // namespace
