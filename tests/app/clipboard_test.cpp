// Copy to Clipboard: what the clipboard holds after the command, read back
// through the application's clipboard as another paster would, and pasted by
// xclip in another process from the program running on a virtual X server.
#include <QClipboard>
#include <QColorSpace>
#include <QMimeData>
#include <QProcess>

#include "app_fixture.h"
#include "io/files.h"
#include "selection_drag.h"
#include "support/same_pixels.h"

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
  for (const auto& [name, w, h] : {std::tuple{"wide.bmp", 37, 21}, {"tall.png", 16, 45}}) {
    SCOPED_TRACE(name);
    WriteImage(Image(name), w, h);
    Start({name});
    QGuiApplication::clipboard()->clear();
    window->Item("N10")->trigger();
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(mime, nullptr);
    const QImage expected = Pixels(QImage(Image(name)));
    EXPECT_EQ(Pixels(QImage::fromData(mime->data("image/bmp"), "BMP")), expected);
    EXPECT_EQ(Pixels(QGuiApplication::clipboard()->image()), expected);
    window->close();
  }
}

// The selection is copied only while "Create Selection" is down and something
// is selected; otherwise the whole image.
TEST_F(ClipboardTest, SelectionIsCopiedOnlyWithTheSelectionToolAndASelection) {
  WriteImage(Image("a.bmp"), 30, 20);
  const QImage source = Pixels(QImage(Image("a.bmp")));
  const QRect part(5, 3, 9, 7), whole = source.rect(), none;
  // What is dragged (nothing: the tool is only pressed), whether the hand is
  // pressed afterwards, and what is copied.
  for (const auto& [selection, hand, copied] :
       {std::tuple{part, false, part}, {part, true, whole}, {none, false, whole}}) {
    SCOPED_TRACE(testing::Message() << "selected " << !selection.isEmpty() << ", hand " << hand);
    Start({"a.bmp"});
    if (selection.isEmpty())
      QTest::mouseClick(window->Button("SB18"), Qt::LeftButton);
    else
      DragSelection(*window, selection);
    if (hand) QTest::mouseClick(window->Button("SB19"), Qt::LeftButton);
    QGuiApplication::clipboard()->clear();
    QTest::mouseClick(window->Button("SB8"), Qt::LeftButton);
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(mime, nullptr);
    EXPECT_EQ(Pixels(QImage::fromData(mime->data("image/bmp"), "BMP")), source.copy(copied));
    window->close();
  }
}

// A virtual X server for the test's lifetime on a display number of its own, and
// the environment of the programs that use it.
struct TVirtualDisplay {
  TVirtualDisplay() {
    server.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "640x480x24"});
    QByteArray number;
    QDeadlineTimer deadline(10000);
    while (!number.contains('\n') && !deadline.hasExpired() && server.waitForReadyRead(200))
      number += server.readAllStandardOutput();
    started = number.contains('\n');
    env.insert("DISPLAY", ":" + QString::fromLatin1(number.trimmed()));
    env.insert("QT_QPA_PLATFORM", "xcb");
    // Under the address sanitizer: what the system's D-Bus library keeps is not ours.
    env.insert("LSAN_OPTIONS", "suppressions=" KORVANE_SOURCE_DIR "/tests/app/owner/lsan.supp");
  }
  ~TVirtualDisplay() {
    server.terminate();
    server.waitForFinished(5000);
  }
  QProcess server;
  bool started = false;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
};

// The program copies in a process of its own on the virtual display; xclip
// pastes the offered targets, and the library reads the BMP and PNG bytes.
TEST_F(ClipboardTest, AnotherProgramPastesTheImage) {
  TVirtualDisplay x;
  ASSERT_TRUE(x.started) << "Xvfb did not start: scripts/setup test installs it";
  const auto paste = [&x](const QString& target) {
    QProcess xclip;
    xclip.setProcessEnvironment(x.env);
    xclip.start("xclip", {"-selection", "clipboard", "-t", target, "-o"});
    EXPECT_TRUE(xclip.waitForFinished(20000) && xclip.exitCode() == 0)
        << "xclip (scripts/setup test installs it): " << xclip.readAllStandardError().toStdString();
    return xclip.readAllStandardOutput();
  };
  WriteImage(Image("a.bmp"), 23, 13);
  WriteText(IniPath(), QByteArray("[Path]\nOpen=") + images.toUtf8() + "\n");
  QProcess owner;
  owner.setProcessEnvironment(x.env);
  owner.start(CLIPBOARD_OWNER, {config, Image("a.bmp")});
  ASSERT_TRUE(owner.waitForReadyRead(30000) && owner.readAllStandardOutput() == "copied\n")
      << owner.readAllStandardError().toStdString();

  const QList<QByteArray> targets = paste("TARGETS").split('\n');
  EXPECT_TRUE(targets.contains("image/bmp") && targets.contains("image/png"));
  const auto source = io::OpenImage(Image("a.bmp").toStdString());
  for (const QString type : {"bmp", "png"}) {
    WriteText(Image("pasted." + type), paste("image/" + type));
    EXPECT_TRUE(
        korvane_test::SamePixels(*io::OpenImage(Image("pasted." + type).toStdString()), *source))
        << type.toStdString();
  }

  owner.closeWriteChannel();  // the owner quits when its input closes
  EXPECT_TRUE(owner.waitForFinished(10000) && owner.exitCode() == 0)
      << owner.readAllStandardError().toStdString();
}

}  // namespace
}  // namespace apptest
