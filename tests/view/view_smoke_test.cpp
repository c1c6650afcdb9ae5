#include "view_fixture.h"

namespace pgraphic::viewtest {
namespace {

TEST_F(ViewTest, ShowsTheImageUnscaled) {
  Make(200, 150);
  Show(Gradient(120, 90));
  const QImage shot = Grab();
  const TPixelGraphic& g = *view->PixelGraphic();
  for (QPoint p : {QPoint(0, 0), QPoint(119, 0), QPoint(5, 89), QPoint(60, 45)})
    EXPECT_EQ(shot.pixel(p), Drawn(g, p.x(), p.y())) << p.x() << "," << p.y();
}

}  // namespace
}  // namespace pgraphic::viewtest
