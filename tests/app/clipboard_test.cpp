// Copy to Clipboard: what the clipboard holds after the command, read back
// through the application's clipboard as another paster would, and pasted by
// xclip in another process from the program running on a virtual X server.
#include <QClipboard>
#include <QColorSpace>
#include <QMimeData>
#include <QProcess>
#include <QStandardPaths>

#include "app_fixture.h"
#include "pgraphic/stream.h"
#include "selection_drag.h"

namespace apptest {
namespace {

class ClipboardTest : public AppTest {};

// Only pixels count: a PNG file's colour-space tag does not travel through a DIB.
QImage Pixels(QImage image) {
  image = image.convertToFormat(QImage::Format_RGB32);
  image.setColorSpace(QColorSpace());
  return image;
}

TEST_F(ClipboardTest, ShownImageRoundTripsAsBmpAndImage) {
  struct Case {
    const char* name;
    int w, h;
  };
  for (const Case c : {Case{"wide.bmp", 37, 21}, Case{"tall.png", 16, 45}}) {
    SCOPED_TRACE(c.name);
    WriteImage(Image(c.name), c.w, c.h);
    Start({c.name});
    QGuiApplication::clipboard()->clear();
    window->Item("N10")->trigger();
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(mime, nullptr);
    const QImage expected = Pixels(QImage(Image(c.name)));
    EXPECT_EQ(Pixels(QImage::fromData(mime->data("image/bmp"), "BMP")), expected);
    EXPECT_EQ(Pixels(QGuiApplication::clipboard()->image()), expected);
    window->close();
  }
}

// The selection is copied only while "Create Selection" is down and something
// is selected; otherwise the whole image.
TEST_F(ClipboardTest, SelectionIsCopiedOnlyWithTheSelectionToolAndASelection) {
  struct Case {
    const char* name;
    QRect selection;
    bool handAfterwards;
    QRect copied;
  };
  const Case cases[] = {
      {"selected", QRect(5, 3, 9, 7), false, QRect(5, 3, 9, 7)},
      {"hand pressed after selecting", QRect(5, 3, 9, 7), true, QRect(0, 0, 30, 20)},
      {"selection tool, nothing selected", QRect(), false, QRect(0, 0, 30, 20)},
  };
  WriteImage(Image("a.bmp"), 30, 20);
  const QImage source = Pixels(QImage(Image("a.bmp")));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start({"a.bmp"});
    if (c.selection.isEmpty())
      QTest::mouseClick(window->Button("SB18"), Qt::LeftButton);
    else
      DragSelection(*window, c.selection);
    if (c.handAfterwards) QTest::mouseClick(window->Button("SB19"), Qt::LeftButton);
    QGuiApplication::clipboard()->clear();
    QTest::mouseClick(window->Button("SB8"), Qt::LeftButton);
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(mime, nullptr);
    EXPECT_EQ(Pixels(QImage::fromData(mime->data("image/bmp"), "BMP")), source.copy(c.copied));
    window->close();
  }
}

// A virtual X server for the test's lifetime, on a display number of its own.
class TVirtualDisplay {
 public:
  TVirtualDisplay() {
    server_.setProgram(QStandardPaths::findExecutable("Xvfb"));
    if (server_.program().isEmpty()) return;
    server_.setArguments({"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "640x480x24"});
    server_.start();
    QByteArray number;
    QDeadlineTimer deadline(10000);
    while (!number.contains('\n') && !deadline.hasExpired() && server_.waitForReadyRead(200))
      number += server_.readAllStandardOutput();
    if (number.contains('\n')) display_ = ":" + QString::fromLatin1(number.trimmed());
  }
  ~TVirtualDisplay() {
    server_.terminate();
    server_.waitForFinished(5000);
  }
  bool HaveServer() const { return !server_.program().isEmpty(); }
  QString Display() const { return display_; }
  QProcessEnvironment Environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display_);
    env.insert("QT_QPA_PLATFORM", "xcb");
    // Under the address sanitizer: what the system's D-Bus library keeps is not ours.
    env.insert("LSAN_OPTIONS", "suppressions=" KORVANE_SOURCE_DIR "/tests/app/owner/lsan.supp");
    return env;
  }

 private:
  QProcess server_;
  QString display_;
};

class CrossProcessClipboardTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    if (!x_.HaveServer()) GTEST_SKIP() << "Xvfb missing";
    ASSERT_FALSE(QStandardPaths::findExecutable("xclip").isEmpty())
        << "xclip missing: scripts/setup test installs it";
    ASSERT_FALSE(x_.Display().isEmpty()) << "Xvfb did not start";
  }

  // What xclip pastes from the clipboard as this target.
  QByteArray Paste(const QString& target) {
    QProcess xclip;
    xclip.setProcessEnvironment(x_.Environment());
    xclip.start("xclip", {"-selection", "clipboard", "-t", target, "-o"});
    EXPECT_TRUE(xclip.waitForFinished(20000)) << target.toStdString();
    EXPECT_EQ(xclip.exitCode(), 0) << xclip.readAllStandardError().toStdString();
    return xclip.readAllStandardOutput();
  }

  TVirtualDisplay x_;
};

// The library's decoding of pasted bytes, as a QImage to compare.
QImage Decoded(const QByteArray& bytes, const char* extension) {
  pgraphic::TReadOnlyMemoryStream stream(bytes.constData(), static_cast<size_t>(bytes.size()));
  pgraphic::TPixelGraphic g;
  g.LoadFromStreamExt(stream, extension, 0);
  QImage image(g.Width(), g.Height(), QImage::Format_RGB32);
  for (int y = 0; y < g.Height(); ++y)
    for (int x = 0; x < g.Width(); ++x) {
      const pgraphic::TRGB c = g.PixelColor(x, y);
      image.setPixel(x, y, qRgb(pgraphic::GetR(c), pgraphic::GetG(c), pgraphic::GetB(c)));
    }
  return image;
}

TEST_F(CrossProcessClipboardTest, AnotherProgramPastesTheImageOrSelection) {
  struct Case {
    const char* name;
    QRect selection;
  };
  const Case cases[] = {{"whole image", {}}, {"selection", QRect(4, 2, 11, 6)}};
  WriteImage(Image("a.bmp"), 23, 13);
  WriteText(IniPath(), QByteArray("[Path]\nOpen=") + images.toUtf8() + "\n");
  const QImage source = Pixels(QImage(Image("a.bmp")));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QProcess owner;
    owner.setProcessEnvironment(x_.Environment());
    QStringList arguments{config, Image("a.bmp")};
    if (!c.selection.isEmpty())
      for (int v : {c.selection.x(), c.selection.y(), c.selection.width(), c.selection.height()})
        arguments << QString::number(v);
    owner.start(CLIPBOARD_OWNER, arguments);
    QByteArray said;
    QDeadlineTimer deadline(30000);
    while (!said.contains("copied") && !deadline.hasExpired() && owner.waitForReadyRead(500))
      said += owner.readAllStandardOutput();
    ASSERT_TRUE(said.contains("copied")) << owner.readAllStandardError().toStdString();

    const QImage expected = c.selection.isEmpty() ? source : source.copy(c.selection);
    const QList<QByteArray> targets = Paste("TARGETS").split('\n');
    EXPECT_TRUE(targets.contains("image/bmp"));
    EXPECT_TRUE(targets.contains("image/png"));
    EXPECT_EQ(Decoded(Paste("image/bmp"), "bmp"), expected);
    EXPECT_EQ(Decoded(Paste("image/png"), "png"), expected);

    owner.closeWriteChannel();  // the owner quits when its input closes
    EXPECT_TRUE(owner.waitForFinished(10000));
    EXPECT_EQ(owner.exitCode(), 0) << owner.readAllStandardError().toStdString();
  }
}

}  // namespace
}  // namespace apptest
