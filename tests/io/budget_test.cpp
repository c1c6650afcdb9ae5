// The decode budget: a decode that would pass it is refused before the picture
// is allocated, naming the picture's size.
#include <gtest/gtest.h>

#include "io/files.h"
#include "pgraphic/formats/jpeg.h"
#include "support/peer_image.h"
#include "support/pg_message.h"
#include "support/random_image.h"

namespace io {
namespace {

// A progressive JPEG also needs room for its coefficients. The description
// tells the picture's bytes beforehand.
TEST(DecodeBudget, DecodesPastTheBudgetAreRefusedNamingThePictureSize) {
  korvane_test::ScratchDir dir("io_budget");
  const auto image = test_support::RandomImage(300, 200, 11);
  const int64_t picture = 300 * 200 * 3;
  const struct {
    const char* name;
    bool progressive;
    int64_t budget;
    bool refused;
  } cases[] = {
      {"a.vqn", false, picture, true},     {"a.png", false, picture - 1, true},
      {"a.bmp", false, picture - 1, true}, {"a.jpg", false, picture - 1, true},
      {"b.jpg", false, picture, false},    {"p.jpg", true, picture, true},
      {"a.png", false, picture, false},    {"a.bmp", false, picture, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " within " + std::to_string(c.budget));
    const std::string path = dir / c.name;
    {
      pgraphic::TPGSettingScope progressive(pgraphic::PGJPEGProgressive, c.progressive);
      SaveImage(*image, path);
    }
    EXPECT_EQ(PictureBytes(DescribeFile(path)), picture);
    pgraphic::TPGSettingScope budget(pgraphic::PGMaxDecodeBytes, c.budget);
    EXPECT_EQ(korvane_test::MessageOf([&] { OpenImage(path); }, "opened"),
              c.refused ? "Not enough memory for a 300 \u00d7 200 picture (1 MB)" : "opened");
  }
}

}  // namespace
}  // namespace io
