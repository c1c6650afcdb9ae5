// On a screen of two device pixels per logical one, 100 % puts one image pixel
// on one device pixel, Shrink to Fit still fills the view, and a drag selects
// in image pixels. The checks run in a child process of this program that Qt
// starts at that scale (QT_SCALE_FACTOR=2).
#include <QProcess>

#include "view_fixture.h"

namespace pgraphic::viewtest {
namespace {

TEST_F(ViewTest, HighDpiShowsImagePixelsOnDevicePixels) {
  if (qApp->devicePixelRatio() < 2) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_SCALE_FACTOR", "2");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=ViewTest.HighDpiShowsImagePixelsOnDevicePixels"});
    ASSERT_TRUE(child.waitForFinished(60000));
    EXPECT_EQ(child.exitCode(), 0) << child.readAll().toStdString();
    return;
  }
  Make(100, 80);
  auto image = Gradient(60, 50);
  const auto& shown = *image;
  Show(std::move(image));
  view->SetCenter(true);
  view->SetStretch(sZoomKAR);
  view->SetZoomFactor(1);
  ASSERT_EQ(Box()->size(), QSize(30, 25));
  const QImage shot = Grab();
  const QPoint at = Box()->pos() * 2;
  for (int y : {0, 1, 48, 49})
    for (int x : {0, 1, 58, 59})
      EXPECT_EQ(shot.pixel(at + QPoint(x, y)), Drawn(shown, x, y)) << x << "," << y;

  view->SetActionMode(amCreateSelection);
  Drag({10, 10}, {20, 15});
  EXPECT_EQ(QRect(view->SelectionLeft(), view->SelectionTop(), view->SelectionWidth(),
                  view->SelectionHeight()),
            QRect(20, 20, 21, 11));

  view->SetStretch(sAlwaysKAR);
  EXPECT_EQ(Box()->size(), QSize(96, 80));
}

}  // namespace
}  // namespace pgraphic::viewtest
