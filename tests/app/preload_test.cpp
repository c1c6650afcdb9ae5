// Reading ahead beneath the window: a file changed after it was read ahead is
// shown as it is now, a file read ahead is taken without a second read, a walk
// back and forth over hostile files shows the same as with reading ahead
// switched off, memory stays bounded over a long walk, and pictures lie on
// ordinary pages.
#include "app/preload.h"

#include <unistd.h>

#include <QDirIterator>
#include <fstream>
#include <sstream>

#include "app/fileservice.h"
#include "app_fixture.h"
#include "io/files.h"
#include "pgraphic/formats/jpeg.h"
#include "pgraphic/view/worker.h"
#include "support/hostile_files.h"
#include "support/same_pixels.h"

namespace apptest {
namespace {

// Answers every message box with `button` while it lives, recording their texts.
struct TBoxAnswerer {
  explicit TBoxAnswerer(QMessageBox::StandardButton button) {
    QObject::connect(&timer, &QTimer::timeout, [this, button] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        texts << box->text();
        Click(box->button(button));
      }
    });
    timer.start(2);
  }
  QStringList texts;
  QTimer timer;
};

class PreloadTest : public AppTest {
 protected:
  app::TPreloader& Preloader() { return *window->Preloader(); }
  // Waits until the preloader holds `name` and reads nothing more.
  void WaitHeld(const QString& name) {
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Preloader().Holds(Image(name)) && !Preloader().Reading(); }, 10000))
        << name.toStdString();
  }
};

TEST_F(PreloadTest, FileChangedAfterItWasReadAheadShowsItsNewContent) {
  for (const bool inPlace : {true, false}) {
    SCOPED_TRACE(inPlace ? "rewritten in place with as many bytes" : "replaced by another file");
    WriteImage(Image("a.bmp"), 40, 30);
    WriteImage(Image("b.bmp"), 48, 32);
    auto& w = Start({"a.bmp"});
    WaitHeld("b.bmp");
    // 32 x 48 takes as many bytes as 48 x 32.
    const QString fresh = inPlace ? Image("b.bmp") : QDir(config).filePath("new.bmp");
    WriteImage(fresh, inPlace ? 32 : 64, 48);
    if (!inPlace) {
      ASSERT_EQ(::rename(qPrintable(fresh), qPrintable(Image("b.bmp"))), 0);
    }
    w.SB17Click();
    ASSERT_EQ(w.Shown.FileName, Image("b.bmp"));
    const std::string path = Image("b.bmp").toStdString();
    EXPECT_TRUE(korvane_test::SamePixels(*w.PGImage1->Graphic(), *io::OpenImage(path)));
    EXPECT_EQ(w.StatusText().toStdString(), app::fileservice::InfoText(path));
  }
}

TEST_F(PreloadTest, NeighbourReadAheadIsTakenWithoutASecondRead) {
  for (const char* name : {"a.bmp", "b.png", "c.vqn"}) WriteImage(Image(name), 64, 48);
  WriteImage(Image("d.bmp"), 2400, 1600);
  auto& w = Start({"b.png"});
  WaitHeld("c.vqn");
  const int taken = Preloader().ReadsTaken();
  w.SB17Click();  // c.vqn, read ahead through the decoder
  EXPECT_TRUE(w.Shown.Loaded && w.StatusText().startsWith("Type: VQN"));
  EXPECT_EQ(Preloader().ReadsTaken(), taken + 1);
  // Stepping on while the next file is being read waits for that read.
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return Preloader().Reading() || Preloader().Holds(Image("d.bmp")); }, 10000));
  w.SB17Click();
  EXPECT_EQ(w.Shown.FileName, Image("d.bmp"));
  EXPECT_EQ(w.Shown.Loaded ? w.PGImage1->Graphic()->Width() : 0, 2400);
  EXPECT_EQ(Preloader().ReadsTaken(), taken + 2);
  WaitHeld("c.vqn");  // at the end of the list the file behind is read
}

// The read begun before the window exists is taken over whether its end was
// told before the preloader watched it or after.
TEST_F(PreloadTest, StartUpReadIsAdoptedEndedOrNot) {
  WriteImage(Image("a.bmp"), 40, 30);
  for (const bool endedFirst : {true, false}) {
    Start();
    auto job = app::StartPreload(Image("a.bmp"));
    if (endedFirst) {
      ASSERT_TRUE(QTest::qWaitFor([] { return pgraphic::WorkerTasksRunning() == 0; }, 5000));
      QCoreApplication::processEvents();
    }
    Preloader().Adopt(job);
    WaitHeld("a.bmp");
  }
}

TEST_F(PreloadTest, NeighboursCopyFollowsTheZoom) {
  for (const char* name : {"a.bmp", "b.bmp"}) WriteImage(Image(name), 2400, 1600);
  // A zoom, and a zoom mode at 50%, changed once the neighbour is held.
  const struct {
    app::THandler before, change;
  } cases[] = {{nullptr, &app::TForm1::N502Click},
               {&app::TForm1::N502Click, &app::TForm1::Precise1Click}};
  for (const auto& c : cases) {
    auto& w = Start({"a.bmp"});
    if (c.before) w.RunHandler(c.before);
    WaitHeld("b.bmp");
    w.RunHandler(c.change);
    QElapsedTimer quiet;  // nothing read or rebuilt for a while
    quiet.start();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          if (Preloader().Reading() || w.PGImage1->PaintThreadRunning()) quiet.restart();
          return quiet.elapsed() > 100;
        },
        10000));
    w.SB17Click();
    // The copy for the new zoom came with the file: nothing is being built.
    EXPECT_NE(w.PGImage1->PaintPixelGraphic(), nullptr);
    EXPECT_FALSE(w.PGImage1->PaintThreadRunning());
  }
}

// A 1 x 3 grey TIFF whose one strip offset does not fit its three strips: the
// reader asks whether to go on.
QByteArray AskingTiff() {
  QByteArray t("II*\0\x0c\0\0\0\x0a\x14\x1e\0\x09\0", 14);  // header, pixels, 9 entries
  const auto put = [&t](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) t.append(char((v >> (8 * i)) & 0xFF));
  };
  const uint32_t entries[][2] = {{256, 1}, {257, 3}, {258, 8}, {259, 1}, {262, 1},
                                 {273, 8}, {277, 1}, {278, 1}, {279, 3}};  // tag, value
  for (const auto& [tag, value] : entries) {
    const bool strips = tag == 273 || tag == 279;  // offsets and byte counts are LONGs
    put(tag, 2), put(strips ? 4 : 3, 2), put(1, 4), put(value, 4);
  }
  put(0, 4);
  return t;
}

TEST_F(PreloadTest, FileThatWouldAskIsAskedOnlyWhenOpened) {
  WriteImage(Image("a.bmp"), 40, 30);
  WriteText(Image("b.tif"), AskingTiff());
  for (const auto answer : {QMessageBox::Ok, QMessageBox::Cancel}) {
    SCOPED_TRACE(answer == QMessageBox::Ok ? "OK" : "Cancel");
    auto& w = Start({"a.bmp"});
    TBoxAnswerer answerer(answer);
    WaitHeld("b.tif");
    const int reads = Preloader().ReadsStarted(), taken = Preloader().ReadsTaken();
    QTest::qWait(50);
    EXPECT_TRUE(answerer.texts.isEmpty()) << "asked while reading ahead";
    EXPECT_EQ(Preloader().ReadsStarted(), reads) << "a failed read is not repeated";
    w.SB17Click();
    EXPECT_EQ(Preloader().ReadsTaken(), taken);
    ASSERT_EQ(answerer.texts.size(), 1);
    EXPECT_TRUE(answerer.texts[0].contains("NumStripOffsets"));
    EXPECT_EQ(w.Shown.Loaded, answer == QMessageBox::Ok);
  }
}

TEST_F(PreloadTest, SpecialFilesAreRefusedAndABusyReadAheadNeverHoldsTheWindow) {
  ASSERT_FALSE(korvane_test::MakeSpecialFiles(images.toStdString()).empty());
  WriteImage(Image("a.bmp"), 40, 30);
  {  // hundreds of scans over a large picture: a read that takes a while
    pgraphic::TPGSettingScope progressive(pgraphic::PGJPEGProgressive, true);
    WriteImage(Image("b.jpg"), 1600, 1200);
    const QByteArray jpeg = ReadText(Image("b.jpg"));
    const auto many = korvane_test::RepeatLastScan({jpeg.begin(), jpeg.end()}, 900);
    WriteText(Image("b.jpg"), QByteArray(reinterpret_cast<const char*>(many.data()), many.size()));
  }
  // A link to a FIFO named at start: its read is refused at once; the list leaves it out.
  EXPECT_EQ(Start({"fifolink.jpg"}).PTSList1->IndexOfPath(Image("fifolink.jpg")), -1);
  EXPECT_TRUE(QTest::qWaitFor([] { return app::ReadsAheadRunning() == 0; }, 1000));

  Start({"a.bmp"}).PGImage1->SetReadWarningAction(pgraphic::pgwaIgnore);  // read every scan
  Preloader().SetEnabled(false);  // forget the read made before
  Preloader().SetEnabled(true);
  Preloader().Shown(Image("a.bmp"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Preloader().ReadingPath() == Image("b.jpg"); }, 5000));
  QTest::qWait(100);
  ASSERT_TRUE(Preloader().Reading());
  QElapsedTimer closing;
  closing.start();
  window->close();
  window.reset();
  EXPECT_LT(closing.elapsed(), 500);
  // Cancelled, the read stops between two scans.
  EXPECT_TRUE(QTest::qWaitFor([] { return app::ReadsAheadRunning() == 0; }, 500));
}

class HostileWalkTest : public PreloadTest {
 protected:
  // Two seeds of every fuzz corpus, each with a truncated and a corrupted copy.
  void SetUp() override {
    PreloadTest::SetUp();
    QDirIterator dirs(QStringLiteral(KORVANE_SOURCE_DIR "/fuzz/corpus"),
                      QDir::Dirs | QDir::NoDotAndDotDot);
    while (dirs.hasNext()) {
      const QDir dir(dirs.next());
      if (dir.dirName() == "metafile") continue;
      const QStringList files = dir.entryList(QDir::Files, QDir::Name);
      for (int i = 0; i < files.size() && i < 2; ++i) {
        QByteArray bytes = ReadText(dir.filePath(files[i]));
        const QString suffix = QFileInfo(files[i]).suffix();
        const QString name =
            dir.dirName() + QString::number(i) + "." + (suffix.isEmpty() ? "vqn" : suffix);
        WriteText(Image(name), bytes);
        WriteText(Image("cut-" + name), bytes.left(bytes.size() * 2 / 3));
        for (int k = 20; k < bytes.size(); k += 97) bytes[k] = char(bytes[k] ^ 0x5A);
        WriteText(Image("bad-" + name), bytes);
      }
    }
  }

  // What the window shows after a step, the picture by a hash of its pixels.
  std::string Record(const QStringList& boxes) {
    std::ostringstream s;
    s << window->Shown.FileName.toStdString() << " '" << window->windowTitle().toStdString()
      << "' loaded " << window->Shown.Loaded << " notice " << window->Panel1Caption->isVisible()
      << " status '" << window->StatusText().toStdString() << "' boxes '"
      << boxes.join('|').toStdString() << "'";
    if (const pgraphic::TPixelGraphic* g = window->PGImage1->Graphic(); g && window->Shown.Loaded) {
      uint64_t hash = 1469598103934665603ull;
      for (int y = 0; y < g->Height(); ++y)
        for (int x = 0; x < g->Width(); ++x) hash = (hash ^ g->PixelColor(x, y)) * 1099511628211ull;
      s << " " << g->Width() << "x" << g->Height() << " #" << hash;
    }
    return s.str();
  }

  // Steps back and forth with the buttons and the arrow keys, leaving the
  // program short and varying idle times in between; every message box shown
  // is answered with OK and recorded with the step.
  std::vector<std::string> Walk(bool readAhead) {
    Start({"bmp0.bmp"});
    Preloader().SetEnabled(readAhead);
    TBoxAnswerer answerer(QMessageBox::Ok);
    const int pattern[] = {+1, +1, -1, +1, +1, +1, -1, -1, +1, +1};
    const int pauses[] = {0, 3, 0, 12, 1, 40, 0, 6};
    std::vector<std::string> shown;
    window->PTSList1->setFocus();
    for (int i = 0; i < 90; ++i) {
      const int direction = pattern[i % 10];
      answerer.texts.clear();
      if (i % 3 == 2)
        QTest::keyClick(window->PTSList1, direction > 0 ? Qt::Key_Down : Qt::Key_Up);
      else
        window->RunHandler(direction > 0 ? &app::TForm1::SB17Click : &app::TForm1::SB16Click);
      shown.push_back(Record(answerer.texts));
      QTest::qWait(pauses[i % 8]);
      EXPECT_LE(Preloader().HeldCount(), 2);
    }
    EXPECT_EQ(Preloader().ReadsStarted() > 20 && Preloader().ReadsTaken() > 10, readAhead);
    return shown;
  }
};

TEST_F(HostileWalkTest, SameMessagesAndStatesAsWithoutReadingAhead) {
  const std::vector<std::string> plain = Walk(false);
  const std::vector<std::string> ahead = Walk(true);
  ASSERT_EQ(plain.size(), ahead.size());
  int refused = 0;
  for (size_t i = 0; i < plain.size(); ++i) {
    EXPECT_EQ(ahead[i], plain[i]) << "step " << i;
    refused += plain[i].find(" loaded 0 ") != std::string::npos;
  }
  EXPECT_GT(refused, 0);
}

double ResidentMB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

TEST_F(PreloadTest, MemoryStaysBoundedOverTwoHundredFiles) {
  WriteImage(Image("img000.jpg"), 1200, 900);
  for (int i = 1; i < 200; ++i)
    ASSERT_EQ(::link(qPrintable(Image("img000.jpg")),
                     qPrintable(Image(QString("img%1.jpg").arg(i, 3, 10, QChar('0'))))),
              0);
  auto& w = Start({"img000.jpg"});
  double after20 = 0;
  for (int i = 1; i < 200; ++i) {
    w.SB17Click();
    ASSERT_TRUE(w.Shown.Loaded) << i;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Preloader().Reading(); }, 10000));
    EXPECT_LE(Preloader().HeldCount(), 2);
    if (i == 20) after20 = ResidentMB();
  }
  // One decoded image is 3 MB: a leak of one per step would add over 500 MB.
  EXPECT_LT(ResidentMB() - after20, 60.0);
}

// Kilobytes of huge pages in the mapping that holds `address`; -1 when not found.
long HugePagesKB(const void* address) {
  std::ifstream smaps("/proc/self/smaps");
  const auto at = reinterpret_cast<uintptr_t>(address);
  bool inside = false;
  for (std::string line; std::getline(smaps, line);) {
    uintptr_t from = 0, to = 0;
    if (std::sscanf(line.c_str(), "%lx-%lx ", &from, &to) == 2) {  // a mapping begins
      inside = from <= at && at < to;
    } else if (inside && line.rfind("AnonHugePages:", 0) == 0) {
      return std::stol(line.substr(14));
    }
  }
  return -1;
}

// The window waits on its reads: a huge page's first touch can stall them for
// a tenth of a second, so its pictures lie on ordinary pages.
TEST_F(PreloadTest, PicturesLieOnOrdinaryPages) {
  std::ifstream mode("/sys/kernel/mm/transparent_hugepage/enabled");
  std::string modes;
  std::getline(mode, modes);
  if (modes.find("[madvise]") == std::string::npos)
    GTEST_SKIP() << "huge pages here are not given on advice: " << modes;
  WriteImage(Image("a.bmp"), 2400, 1600);  // 11 MB
  auto& w = Start({"a.bmp"});
  ASSERT_TRUE(w.Shown.Loaded);
  EXPECT_EQ(HugePagesKB(w.PGImage1->Graphic()->ScanLine(800)), 0);
}

}  // namespace
}  // namespace apptest
