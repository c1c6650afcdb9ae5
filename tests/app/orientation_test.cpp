// A phone-style JPEG (orientation 6, stored 5 x 3) opens upright with its size
// swapped in the status bar and saves upright; "Rotate by orientation tag" off
// shows it as stored, and the choice is kept in the settings file.
#include "app_fixture.h"
#include "io/files.h"
#include "support/peer_image.h"

namespace {

using apptest::AppTest;

TEST_F(AppTest, OrientationTagTurnsThePhotographUntilSwitchedOff) {
  if (!korvane_test::HaveTool(korvane_test::kImageMagick) ||
      !korvane_test::HaveTool("/usr/bin/exiftool"))
    GTEST_SKIP() << "ImageMagick or exiftool missing";
  ASSERT_TRUE(korvane_test::WriteTaggedPhoto(Image("phone.jpg").toStdString(), 6));
  auto& w = Start({Image("phone.jpg")});
  ASSERT_TRUE(w.Item("OrientTag1")->isChecked());
  EXPECT_TRUE(w.StatusText().contains("Size: 3x5")) << w.StatusText().toStdString();
  w.PGImage1->SaveToFile(Image("saved.png"));
  const auto upright = korvane_test::DecodeUprightWithImageMagick(Image("phone.jpg").toStdString());
  ASSERT_TRUE(upright);
  EXPECT_TRUE(
      korvane_test::SamePicture(*upright, *io::OpenImage(Image("saved.png").toStdString())));

  w.Item("OrientTag1")->trigger();
  EXPECT_EQ(w.PGImage1->Graphic()->Width(), 5);
  EXPECT_TRUE(w.StatusText().contains("Size: 5x3")) << w.StatusText().toStdString();
  w.close();
  EXPECT_TRUE(apptest::ReadText(IniPath()).contains("\n[Orientation tag]\nApply=0\n"));
  EXPECT_FALSE(Start().Item("OrientTag1")->isChecked());
}

}  // namespace
