// The slide show: the toggle and its timer interval, the order of the steps with
// and without Repeat, random mode, the settings dialog and a folder of hostile
// files. Ticks are run by calling the timer's handler, as the timer would.
#include "app/slide.h"

#include <sys/resource.h>

#include <QDirIterator>
#include <QSpinBox>

#include "app_fixture.h"

namespace apptest {
namespace {

class SlideTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    QDir(images).mkdir("sub");
    for (const char* name : {"a.bmp", "b.png", "c.bmp"}) WriteImage(Image(name), 32, 24);
  }

  widgets::TFlyoverButton* Toggle() const { return window->Button("SB20"); }
  void ClickToggle() { QTest::mouseClick(Toggle(), Qt::LeftButton); }
  QString Shown() const { return QFileInfo(window->Shown.FileName).fileName(); }
  void ExpectRunning(bool running) const {
    EXPECT_EQ(Toggle()->Down(), running);
    EXPECT_EQ(window->Timer1->isActive(), running);
    EXPECT_EQ(window->Item("N19")->isEnabled(), !running);
    EXPECT_EQ(window->Item("S5")->isEnabled(), running);
  }
};

TEST_F(SlideTest, ToggleStartsAndStopsTheTimerAtTheStoredInterval) {
  struct Case {
    int interval, expectedMs;
  };
  for (const Case c : {Case{1, 1000}, Case{0, 1000}, Case{-7, 1000}, Case{3, 3000}}) {
    SCOPED_TRACE(c.interval);
    Start({"a.bmp"});
    window->Settings.SlideInterval = c.interval;
    ClickToggle();
    ExpectRunning(true);
    EXPECT_EQ(window->Timer1->interval(), c.expectedMs);
    ClickToggle();
    ExpectRunning(false);
    window->close();
  }
}

TEST_F(SlideTest, RunAndStopItemsFollowTheToggle) {
  Start({"a.bmp"});
  window->Item("N19")->trigger();
  ExpectRunning(true);
  window->Item("S5")->trigger();
  ExpectRunning(false);
}

TEST_F(SlideTest, ListOrderStopsAtTheEndOrStartsAgainWithRepeat) {
  struct Case {
    bool repeat;
    QStringList shown;
    bool runningAtEnd;
  };
  const Case cases[] = {
      {false, {"b.png", "c.bmp", "c.bmp", "c.bmp"}, false},
      {true, {"b.png", "c.bmp", "a.bmp", "b.png"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.repeat);
    Start({"a.bmp"});
    window->Settings.SlideRepeat = c.repeat;
    ClickToggle();
    QStringList shown;
    for (int i = 0; i < c.shown.size(); ++i) {
      if (Toggle()->Down()) window->Timer1Timer();
      shown << Shown();
    }
    EXPECT_EQ(shown, c.shown);
    ExpectRunning(c.runningAtEnd);
    window->close();
  }
}

TEST_F(SlideTest, RandomModeNeverPicksAFolderAndNeverEnds) {
  Start({"a.bmp"});
  window->Settings.SlideRandom = true;
  ClickToggle();
  QSet<QString> seen;
  for (int i = 0; i < 60; ++i) {
    window->Timer1Timer();
    ASSERT_FALSE(QFileInfo(window->Shown.FileName).isDir());
    seen.insert(Shown());
  }
  EXPECT_EQ(seen, QSet<QString>({"a.bmp", "b.png", "c.bmp"}));
  ExpectRunning(true);
}

TEST_F(SlideTest, SingleFileWithRepeatKeepsRunningOnIt) {
  for (const char* name : {"b.png", "c.bmp"}) QFile::remove(Image(name));
  Start({"a.bmp"});
  window->Settings.SlideRepeat = true;
  ClickToggle();
  const pgraphic::TPixelGraphic* shown = window->PGImage1->Graphic();
  for (int i = 0; i < 3; ++i) window->Timer1Timer();
  EXPECT_EQ(window->PGImage1->Graphic(), shown) << "the file was loaded again";
  EXPECT_EQ(Shown(), "a.bmp");
  EXPECT_TRUE(window->Shown.Loaded);
  ExpectRunning(true);
}

TEST_F(SlideTest, SettingsDialogStoresOnlyOnOk) {
  struct Case {
    bool ok;
    int interval;
    bool repeat, random;
  };
  for (const Case c : {Case{true, 7, true, true}, Case{false, 2, false, false}}) {
    SCOPED_TRACE(c.ok);
    Start({"a.bmp"});
    window->Settings.SlideInterval = 2;  // the previous case's settings were stored on close
    window->Settings.SlideRepeat = window->Settings.SlideRandom = false;
    WhenModal<app::TForm9>([c](app::TForm9* dialog) {
      EXPECT_EQ(dialog->SE1->value(), 2);
      dialog->SE1->setValue(7);
      Click(dialog->CBox1);
      Click(dialog->CBox2);
      Click(c.ok ? dialog->Button1 : dialog->Button2);
    });
    window->Item("S6")->trigger();
    EXPECT_EQ(window->Settings.SlideInterval, c.interval);
    EXPECT_EQ(window->Settings.SlideRepeat, c.repeat);
    EXPECT_EQ(window->Settings.SlideRandom, c.random);
    window->close();
  }
}

// Every fuzz seed and crasher the project keeps with a truncated copy of each,
// and real photographs cut at several lengths: the show runs through them all
// and stops at the end, each file shown or refused, memory bounded.
TEST_F(SlideTest, HostileFolderRunsToTheEnd) {
  for (const char* name : {"a.bmp", "b.png", "c.bmp"}) QFile::remove(Image(name));
  int files = 0;
  const auto add = [&](const QString& name, const QByteArray& bytes) {
    WriteText(Image(name), bytes);
    ++files;
  };
  for (const char* folder : {"/fuzz/corpus", "/tests/data/crashers"}) {
    QDirIterator it(QStringLiteral(KORVANE_SOURCE_DIR) + folder, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
      const QFileInfo source(it.next());
      const QString name = source.dir().dirName() + "-" + source.fileName();
      const QByteArray bytes = ReadText(source.filePath());
      add(name, bytes);
      add("cut-" + name, bytes.left(bytes.size() / 2));
    }
  }
  // Photographs of the Go distribution's image tests, when installed.
  QDirIterator photos("/usr/share/go-1.19/src/image/testdata", {"video-001*"}, QDir::Files);
  while (photos.hasNext()) {
    const QFileInfo source(photos.next());
    const QByteArray bytes = ReadText(source.filePath());
    for (const int percent : {10, 50, 97})
      add(QString("photo%1-%2").arg(percent).arg(source.fileName()),
          bytes.left(bytes.size() * percent / 100));
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const long peakBefore = usage.ru_maxrss;
  Start();
  const int listed = window->PTSList1->Count() - 1;  // without the folder "sub"
  ASSERT_GT(listed, 20);
  ClickItem(window->PTSList1->ItemName(1));
  window->Settings.SlideInterval = 0;
  ClickToggle();
  // No message box may stop the unattended show; one that appears is counted and answered.
  int refused = 0;
  QTimer answerer;
  QObject::connect(&answerer, &QTimer::timeout, [&refused] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      ++refused;
      box->button(QMessageBox::Ok) ? Click(box->button(QMessageBox::Ok)) : box->reject();
    }
  });
  answerer.start(10);
  int ticks = 0;
  int warned = 0;  // the truncated copies say so in the status bar
  while (Toggle()->Down() && ticks <= files) {
    window->Timer1Timer();
    warned += window->StatusText().contains("Unexpected end of file") ||
              window->StatusText().contains("Premature end of JPEG file") ||
              window->StatusText().contains("VQN-file is corrupted!");
    ++ticks;
  }
  EXPECT_EQ(ticks, listed);
  EXPECT_EQ(refused, 0);
  EXPECT_GT(warned, 0);
  ExpectRunning(false);
  getrusage(RUSAGE_SELF, &usage);
  EXPECT_LT(usage.ru_maxrss - peakBefore, 512L * 1024) << "peak kilobytes grew by";
}

}  // namespace
// Behind a modal command the show waits (the image the command works on stays
// shown) and goes on after it.
TEST_F(SlideTest, ShowWaitsBehindAModalCommand) {
  Start({"a.bmp"});
  window->Settings.SlideInterval = 1;
  window->Item("N19")->trigger();
  QString during;
  WhenModal<QDialog>([&](QDialog* d) {
    QTest::qWait(1600);  // longer than a tick
    during = Shown();
    QTest::keyClick(d, Qt::Key_Escape);
  });
  window->Item("ImS1")->trigger();
  EXPECT_EQ(during, "a.bmp");
  ExpectRunning(true);
  EXPECT_TRUE(QTest::qWaitFor([&] { return Shown() == "b.png"; }, 3000)) << Shown().toStdString();
}

}  // namespace apptest
