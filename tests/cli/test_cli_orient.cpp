// --auto-orient of convert and batch: a phone-style JPEG (orientation 6) comes
// out as ImageMagick's -auto-orient picture, through a lossless PNG; without the
// option the output keeps the stored rows.
#include <gtest/gtest.h>

#include "cli_run.h"
#include "io/files.h"
#include "support/peer_image.h"

namespace {

using korvane_test::RunCli;

TEST(CliAutoOrient, ConvertAndBatchWriteTheUprightPicture) {
  if (!korvane_test::HaveTool(korvane_test::kImageMagick) ||
      !korvane_test::HaveTool("/usr/bin/exiftool"))
    GTEST_SKIP() << "ImageMagick or exiftool missing";
  korvane_test::ScratchDir dir("cli-orient");
  const std::string photo = dir / "phone.jpg";
  ASSERT_TRUE(korvane_test::WriteTaggedPhoto(photo, 6));
  const auto upright = korvane_test::DecodeUprightWithImageMagick(photo);
  const auto stored = korvane_test::DecodeWithImageMagick(photo);
  ASSERT_TRUE(upright && stored);

  ASSERT_EQ(RunCli("convert --auto-orient phone.jpg up.png", dir.path).status, 0);
  ASSERT_EQ(RunCli("convert phone.jpg stored.png", dir.path).status, 0);
  ASSERT_EQ(RunCli("batch --auto-orient --to out --format png phone.jpg", dir.path).status, 0);
  EXPECT_TRUE(korvane_test::SamePicture(*upright, *io::OpenImage(dir / "up.png")));
  EXPECT_TRUE(korvane_test::SamePicture(*stored, *io::OpenImage(dir / "stored.png")));
  EXPECT_TRUE(korvane_test::SamePicture(*upright, *io::OpenImage(dir / "out/phone.png")));
}

}  // namespace
