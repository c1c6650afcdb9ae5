// Copy to Clipboard: what the clipboard holds after the command, read back
// through the application's clipboard as another paster would.
#include <QClipboard>
#include <QColorSpace>
#include <QMimeData>

#include "app_fixture.h"

namespace apptest {
namespace {

class ClipboardTest : public AppTest {};

TEST_F(ClipboardTest, ShownImageRoundTripsAsBmpAndImage) {
  struct Case { const char* name; int w, h; };
  for (const Case c : {Case{"wide.bmp", 37, 21}, Case{"tall.png", 16, 45}}) {
    SCOPED_TRACE(c.name);
    WriteImage(Image(c.name), c.w, c.h);
    Start({c.name});
    QGuiApplication::clipboard()->clear();
    window->Item("N10")->trigger();
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(mime, nullptr);
    // Only pixels count: a PNG file's colour-space tag does not travel through a DIB.
    QImage expected = QImage(Image(c.name)).convertToFormat(QImage::Format_RGB32);
    expected.setColorSpace(QColorSpace());
    const QImage fromBmp = QImage::fromData(mime->data("image/bmp"), "BMP").convertToFormat(QImage::Format_RGB32);
    const QImage plain = QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(fromBmp, expected);
    EXPECT_EQ(plain, expected);
    window->close();
  }
}

}  // namespace
}  // namespace apptest
