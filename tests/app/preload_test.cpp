// Reading ahead beneath the window: a file changed after it was read ahead is
// shown as it is now, a walk back and forth over hostile files shows the same as
// with reading ahead switched off, and memory stays bounded over a long walk.
#include <QDirIterator>
#include <QFileInfo>
#include <fstream>
#include <unistd.h>

#include "app/fileservice.h"
#include "app/preload.h"
#include "app_fixture.h"

namespace apptest {
namespace {

// Processes events for `ms` milliseconds.
void Idle(int ms) {
  QElapsedTimer t;
  t.start();
  do QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
  while (t.elapsed() < ms);
}

// Processes events until `done` holds; false after ten seconds.
bool WaitUntil(const std::function<bool()>& done) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > 10000) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

double ResidentMB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Writes a w x h picture of one colour.
void WriteSolid(const QString& path, int w, int h, pgraphic::TRGB colour) {
  pgraphic::TPixelGraphic g;
  g.SetSize(w, h, pgraphic::pf24Bit);
  g.SetBackGroundColor(colour);
  g.Clear();
  g.SaveToFile(path.toStdString());
}

class PreloadTest : public AppTest {
 protected:
  app::TPreloader& Preloader() { return *window->Preloader(); }
  // Waits until the preloader holds `name` (and reads nothing more).
  void WaitHeld(const QString& name) {
    ASSERT_TRUE(WaitUntil([&] { return Preloader().Holds(Image(name)) && !Preloader().Reading(); }))
        << name.toStdString();
  }
};

TEST_F(PreloadTest, FileChangedAfterItWasReadAheadShowsItsNewContent) {
  const pgraphic::TRGB before = 0x0000FF, after = 0x00FF00;
  const struct {
    const char* name;
    bool sameLength;  // rewritten in place with as many bytes
  } cases[] = {{"rewritten in place", true}, {"replaced by another file", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteSolid(Image("a.bmp"), 40, 30, 0x808080);
    WriteSolid(Image("b.bmp"), 48, 32, before);
    auto& w = Start({"a.bmp"});
    WaitHeld("b.bmp");
    if (c.sameLength) {
      WriteSolid(Image("b.bmp"), 48, 32, after);
    } else {
      const QString elsewhere = QDir(config).filePath("new.bmp");
      WriteSolid(elsewhere, 64, 20, after);
      ASSERT_EQ(::rename(elsewhere.toLocal8Bit().constData(),
                         Image("b.bmp").toLocal8Bit().constData()),
                0);
    }
    w.SB17Click();
    ASSERT_EQ(w.CurrentFileName, Image("b.bmp"));
    const pgraphic::TPixelGraphic* shown = w.PGImage1->Graphic();
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->PixelColor(5, 5), after);
    EXPECT_EQ(shown->Width(), c.sameLength ? 48 : 64);
    EXPECT_EQ(w.StatusText(), QString::fromStdString(app::fileservice::InfoText(Image("b.bmp").toStdString())));
    window->close();
    window.reset();
  }
}

TEST_F(PreloadTest, NeighbourReadAheadIsTakenWithoutASecondRead) {
  for (const char* name : {"a.bmp", "b.png", "c.vqn"}) WriteImage(Image(name), 64, 48);
  WriteImage(Image("d.bmp"), 2400, 1600);
  auto& w = Start({"b.png"});
  WaitHeld("c.vqn");
  const int taken = Preloader().ReadsTaken();
  w.SB17Click();  // c.vqn, read ahead through the decoder
  EXPECT_EQ(w.CurrentFileName, Image("c.vqn"));
  EXPECT_TRUE(w.ImageLoaded);
  EXPECT_TRUE(w.StatusText().startsWith("Type: VQN"));
  EXPECT_EQ(Preloader().ReadsTaken(), taken + 1);
  // Stepping on while the next file is being read waits for that read.
  ASSERT_TRUE(WaitUntil([&] { return Preloader().Reading() || Preloader().Holds(Image("d.bmp")); }));
  w.SB17Click();
  EXPECT_EQ(w.CurrentFileName, Image("d.bmp"));
  EXPECT_TRUE(w.ImageLoaded);
  EXPECT_EQ(w.PGImage1->Graphic()->Width(), 2400);
  EXPECT_EQ(Preloader().ReadsTaken(), taken + 2);
  // At the end of the list the file behind is read.
  WaitHeld("c.vqn");
}

TEST_F(PreloadTest, NeighboursCopyFollowsTheZoom) {
  for (const char* command : {"N502Click", "Precise1Click"}) {
    SCOPED_TRACE(command);
    WriteImage(Image("a.bmp"), 2400, 1600);
    WriteImage(Image("b.bmp"), 2400, 1600);
    auto& w = Start({"a.bmp"});
    WaitHeld("b.bmp");
    w.RunHandler(command);
    // Quiet: nothing read or rebuilt for a while.
    QElapsedTimer quiet;
    quiet.start();
    ASSERT_TRUE(WaitUntil([&] {
      if (Preloader().Reading() || w.PGImage1->PaintThreadRunning()) quiet.restart();
      return quiet.elapsed() > 100;
    }));
    w.SB17Click();
    // The copy for the new zoom came with the file: nothing is being built.
    EXPECT_NE(w.PGImage1->PaintPixelGraphic(), nullptr);
    EXPECT_FALSE(w.PGImage1->PaintThreadRunning());
    window->close();
    window.reset();
  }
}

// A 1 x 3 grey TIFF whose one strip offset does not fit its three strips: the
// reader asks whether to go on.
QByteArray AskingTiff() {
  QByteArray t("II*\0\x0c\0\0\0", 8);
  t.append(QByteArray("\x0a\x14\x1e\0", 4));  // the pixels
  const struct { uint16_t tag, type; uint32_t value; } entries[] = {
      {256, 3, 1}, {257, 3, 3}, {258, 3, 8}, {259, 3, 1}, {262, 3, 1},
      {273, 4, 8}, {277, 3, 1}, {278, 3, 1}, {279, 4, 3}};
  auto put = [&t](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) t.append(char((v >> (8 * i)) & 0xFF));
  };
  put(9, 2);
  for (const auto& e : entries) {
    put(e.tag, 2);
    put(e.type, 2);
    put(1, 4);
    put(e.value, 4);
  }
  put(0, 4);
  return t;
}

TEST_F(PreloadTest, FileThatWouldAskIsAskedOnlyWhenOpened) {
  for (const auto answer : {QMessageBox::Ok, QMessageBox::Cancel}) {
    SCOPED_TRACE(answer == QMessageBox::Ok ? "OK" : "Cancel");
    WriteImage(Image("a.bmp"), 40, 30);
    WriteText(Image("b.tif"), AskingTiff());
    auto& w = Start({"a.bmp"});
    QStringList asked;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        asked << box->text();
        Click(box->button(answer));
      }
    });
    answerer.start(5);
    WaitHeld("b.tif");
    const int reads = Preloader().ReadsStarted();
    Idle(50);
    EXPECT_TRUE(asked.isEmpty()) << "asked while reading ahead";
    EXPECT_EQ(Preloader().ReadsStarted(), reads) << "a failed read is not repeated";
    const int taken = Preloader().ReadsTaken();
    w.SB17Click();
    EXPECT_EQ(Preloader().ReadsTaken(), taken);
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].contains("NumStripOffsets"));
    EXPECT_EQ(w.ImageLoaded, answer == QMessageBox::Ok);
    window->close();
    window.reset();
  }
}

// What the window shows after each step of a walk.
struct Shown {
  QString file, caption, status, boxes;
  bool loaded = false, notice = false;
  int width = 0, height = 0;
  uint64_t hash = 0;
  bool operator==(const Shown&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Shown& s) {
  return out << s.file.toStdString() << " loaded " << s.loaded << " " << s.width << "x" << s.height
             << " status '" << s.status.toStdString() << "' boxes '" << s.boxes.toStdString() << "'";
}

class HostileWalkTest : public PreloadTest {
 protected:
  // A few seeds of every fuzz corpus, with a truncated and a corrupted copy of each.
  void SetUp() override {
    PreloadTest::SetUp();
    QDirIterator dirs(QStringLiteral(KORVANE_SOURCE_DIR "/fuzz/corpus"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (dirs.hasNext()) {
      const QDir dir(dirs.next());
      if (dir.dirName() == "metafile") continue;
      const QStringList files = dir.entryList(QDir::Files, QDir::Name);
      for (int i = 0; i < files.size() && i < 2; ++i) {
        const QByteArray bytes = ReadText(dir.filePath(files[i]));
        const QString ext = QFileInfo(files[i]).suffix().isEmpty() ? "vqn" : QFileInfo(files[i]).suffix();
        const QString name = dir.dirName() + QString::number(i);
        WriteText(Image(name + "." + ext), bytes);
        WriteText(Image("cut-" + name + "." + ext), bytes.left(bytes.size() * 2 / 3));
        QByteArray corrupt = bytes;
        for (int k = 20; k < corrupt.size(); k += 97) corrupt[k] = char(corrupt[k] ^ 0x5A);
        WriteText(Image("bad-" + name + "." + ext), corrupt);
      }
    }
  }

  Shown Record(const QString& boxes) {
    Shown s;
    s.file = window->CurrentFileName;
    s.caption = window->windowTitle();
    s.status = window->StatusText();
    s.boxes = boxes;
    s.loaded = window->ImageLoaded;
    s.notice = window->Panel1Caption->isVisible();
    if (const pgraphic::TPixelGraphic* g = window->PGImage1->Graphic(); g && s.loaded) {
      s.width = g->Width();
      s.height = g->Height();
      s.hash = 1469598103934665603ull;
      for (int y = 0; y < g->Height(); ++y)
        for (int x = 0; x < g->Width(); ++x) s.hash = (s.hash ^ g->PixelColor(x, y)) * 1099511628211ull;
    }
    return s;
  }

  // Steps back and forth with the buttons and the arrow keys, leaving the
  // program short and varying idle times in between; every message box shown
  // is answered with OK and recorded with the step.
  std::vector<Shown> Walk(bool readAhead) {
    Start({"bmp0.bmp"});
    Preloader().SetEnabled(readAhead);
    QString boxes;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&boxes] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        boxes += box->text() + "|";
        Click(box->button(QMessageBox::Ok));
      }
    });
    answerer.start(2);
    const int pattern[] = {+1, +1, -1, +1, +1, +1, -1, -1, +1, +1};
    const int pauses[] = {0, 3, 0, 12, 1, 40, 0, 6};
    std::vector<Shown> shown;
    window->PTSList1->setFocus();
    for (int i = 0; i < 90; ++i) {
      const int direction = pattern[i % 10];
      boxes.clear();
      if (i % 3 == 2)
        QTest::keyClick(window->PTSList1, direction > 0 ? Qt::Key_Down : Qt::Key_Up);
      else
        window->RunHandler(direction > 0 ? "SB17Click" : "SB16Click");
      shown.push_back(Record(boxes));
      Idle(pauses[i % 8]);
      EXPECT_LE(Preloader().HeldCount(), 2);
    }
    EXPECT_EQ(Preloader().ReadsStarted() > 20 && Preloader().ReadsTaken() > 10, readAhead);
    window->close();
    window.reset();
    return shown;
  }
};

TEST_F(HostileWalkTest, SameMessagesAndStatesAsWithoutReadingAhead) {
  const std::vector<Shown> plain = Walk(false);
  const std::vector<Shown> ahead = Walk(true);
  ASSERT_EQ(plain.size(), ahead.size());
  int refused = 0;
  for (size_t i = 0; i < plain.size(); ++i) {
    EXPECT_EQ(ahead[i], plain[i]) << "step " << i;
    refused += !plain[i].loaded;
  }
  EXPECT_GT(refused, 0);
}

TEST_F(PreloadTest, MemoryStaysBoundedOverTwoHundredFiles) {
  WriteImage(Image("img000.jpg"), 1200, 900);
  for (int i = 1; i < 200; ++i)
    ASSERT_EQ(::link(Image("img000.jpg").toLocal8Bit().constData(),
                     Image(QString("img%1.jpg").arg(i, 3, 10, QChar('0'))).toLocal8Bit().constData()),
              0);
  auto& w = Start({"img000.jpg"});
  double after20 = 0;
  for (int i = 1; i < 200; ++i) {
    w.SB17Click();
    ASSERT_TRUE(w.ImageLoaded) << i;
    ASSERT_TRUE(WaitUntil([&] { return !Preloader().Reading(); }));
    EXPECT_LE(Preloader().HeldCount(), 2);
    if (i == 20) after20 = ResidentMB();
  }
  // One decoded image is 3 MB: a leak of one per step would add over 500 MB.
  EXPECT_LT(ResidentMB() - after20, 60.0);
}

}  // namespace
}  // namespace apptest
