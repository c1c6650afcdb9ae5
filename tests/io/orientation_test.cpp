// Photographs with each orientation tag, written by the peer tools: opened
// upright they are ImageMagick's -auto-orient picture pixel for pixel and are
// described with the upright size; opened by default they stay as stored.
#include <gtest/gtest.h>

#include "io/files.h"
#include "support/peer_image.h"

namespace io {
namespace {

using korvane_test::PeerImage;

class UprightPhoto : public testing::TestWithParam<std::tuple<int, const char*>> {};

TEST_P(UprightPhoto, MatchesThePeers) {
  const auto [orientation, extension] = GetParam();
  if (!korvane_test::HaveTool(korvane_test::kImageMagick) ||
      !korvane_test::HaveTool("/usr/bin/exiftool"))
    GTEST_SKIP() << "ImageMagick or exiftool missing";
  korvane_test::ScratchDir dir("orientation");
  const std::string path = dir / (std::string("photo") + extension);
  ASSERT_TRUE(korvane_test::WriteTaggedPhoto(path, orientation));
  EXPECT_EQ(FileOrientation(path), orientation);

  const std::optional<PeerImage> upright = korvane_test::DecodeUprightWithImageMagick(path);
  const std::optional<PeerImage> stored = korvane_test::DecodeWithImageMagick(path);
  ASSERT_TRUE(upright && stored);
  EXPECT_TRUE(korvane_test::SamePicture(*upright, *OpenImage(path, 0, {.AutoOrient = true})));
  EXPECT_TRUE(korvane_test::SamePicture(*stored, *OpenImage(path)));

  const TFileDescription d = DescribeFile(path, 0, {.AutoOrient = true});
  EXPECT_EQ(d.Info.Width, upright->width);
  EXPECT_EQ(d.Info.Height, upright->height);
  EXPECT_NE(d.Text.find("Size: " + std::to_string(upright->width) + "x"), std::string::npos);
  EXPECT_EQ(DescribeFile(path).Info.Width, 5);
}

INSTANTIATE_TEST_SUITE_P(Tags, UprightPhoto,
                         testing::Combine(testing::Range(1, 9), testing::Values(".jpg", ".tif")));

}  // namespace
}  // namespace io
