// Scopes that pair progress events, hold change notifications and restore
// settings, whether the work inside them ends normally or by an exception.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "pgraphic/formats/jpeg.h"
#include "pgraphic/image/pixelgraphic.h"

namespace pgraphic {
namespace {

class Scopes : public ::testing::TestWithParam<bool> {
 protected:
  // Runs work inside the scope; the parameter says whether it throws.
  template <class Scope, class... Args>
  void Within(Args&&... args) {
    try {
      Scope scope(std::forward<Args>(args)...);
      inside_ = events_;
      if (GetParam()) throw std::runtime_error("failed half-way");
    } catch (const std::runtime_error&) {
    }
  }
  void Watch(TPixelGraphic& g) {
    g.OnProgressStart = [this](TPixelGraphic&) { events_ += "start "; };
    g.OnProgressEnd = [this](TPixelGraphic&) { events_ += "end "; };
    g.OnChange = [this](TPixelGraphic&) { events_ += "change "; };
  }
  std::string events_, inside_;
};

TEST_P(Scopes, ProgressEventsComeInPairs) {
  TPixelGraphic g;
  Watch(g);
  Within<TProgressScope>(g);
  EXPECT_EQ(inside_, "start ");
  EXPECT_EQ(events_, "start end ");
}

TEST_P(Scopes, UpdatesNestAndNotifyOnceAtTheOutermostEnd) {
  TPixelGraphic g;
  Watch(g);
  {
    TUpdateScope outer(g);
    Within<TUpdateScope>(g);
    g.Changed();
    EXPECT_EQ(events_, "") << "held while the outer scope lasts";
  }
  EXPECT_EQ(events_, "change ");
  EXPECT_EQ(g.UpdateCount(), 0);
}

TEST_P(Scopes, SettingsReturnToTheirValue) {
  const int quality = PGJPEGQuality;
  {
    TPGSettingScope changed(PGJPEGQuality, quality + 7);
    EXPECT_EQ(PGJPEGQuality.Load(), quality + 7);
  }
  Within<TPGSettingScope<int>>(PGJPEGQuality, quality + 7);
  EXPECT_EQ(PGJPEGQuality.Load(), quality);
  const int64_t limit = PGMaxImageSize;
  {
    TPGSettingScope keep(PGMaxImageSize);
    PGMaxImageSize = 1000;
  }
  EXPECT_EQ(PGMaxImageSize.Load(), limit);
}

INSTANTIATE_TEST_SUITE_P(EndedBy, Scopes, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Exception" : "Return"; });

}  // namespace
}  // namespace pgraphic
