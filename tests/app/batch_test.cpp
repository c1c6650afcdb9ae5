// The batch conversion dialog, opened from the toolbar and driven like a user:
// files picked in its list with Ctrl+click, choices clicked, Start pressed, and
// every question and message answered as it comes while the run goes on.
#include <QSlider>
#include <cmath>

#include "app/convers.h"
#include "app/jquality.h"
#include "app/quality.h"
#include "app_fixture.h"
#include "io/files.h"
#include "pgraphic/formats/jpeg.h"
#include "support/peer_image.h"

// Readable failure messages for texts and lists of texts.
static void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

namespace apptest {
namespace {

// What one press of Start showed.
struct TRun {
  QStringList messages;  // message boxes, in order
  QStringList reports;   // their informative and detailed texts
  std::vector<int> meterAtMessage;
  QStringList buttonAtMessage;  // caption of Close/Stop while each box was up
  std::vector<int> meter;       // every change of the meter, up to the dialog's closing
};

struct TAnswers {
  bool yes = true;            // to Yes/No questions
  bool acceptQuality = true;  // in the JPEG and VQN quality dialogs
  int stopAtMeter = -1;       // press Stop once the meter gets there
};

class BatchDialogTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    target = QDir(config).filePath("out");
    QDir().mkpath(target);
  }

  QStringList Outputs() const {
    return QDir(target).entryList(QDir::Files | QDir::Hidden | QDir::Dirs | QDir::NoDotAndDotDot,
                                  QDir::Name);
  }

  // Opens the dialog with its toolbar button on the images folder, lets
  // `prepare` choose, Ctrl+clicks the named items, types the target, presses
  // Start and answers everything, then closes the dialog with Escape.
  TRun Press(const QStringList& names, const QString& typedTarget,
             const std::function<void(app::TForm8&)>& prepare = {}, const TAnswers& answers = {},
             bool selectAll = false) {
    if (!window) Start();
    window->Settings.ConvertPath = images;
    TRun run;
    bool driven = false;
    WhenModal<app::TForm8>([&](app::TForm8* d) {
      if (prepare) prepare(*d);
      d->PTSList1->clearSelection();  // the list keeps its selection between showings
      if (selectAll) {
        d->PTSList1->setFocus();
        QTest::keyClick(d->PTSList1, Qt::Key_A, Qt::ControlModifier);
      }
      for (const QString& name : names) ClickItem(*d->PTSList1, name);
      d->Edit1->clear();
      QTest::keyClicks(d->Edit1, typedTarget);
      auto meter = QObject::connect(d->EPMeter1, &QProgressBar::valueChanged,
                                    [&run](int v) { run.meter.push_back(v); });
      QTimer answerer;
      QObject::connect(&answerer, &QTimer::timeout, [&] { Answer(*d, answers, run); });
      answerer.start(10);
      QTimer stopper;
      QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (!d->Running() || d->EPMeter1->Position() < answers.stopAtMeter) return;
        stopper.stop();
        QTest::keyClick(d, Qt::Key_Escape);
        EXPECT_TRUE(d->isVisible()) << "Escape does nothing while a run goes on";
        Click(d->Button2);
      });
      if (answers.stopAtMeter >= 0) stopper.start(5);
      Click(d->Button1);
      answerer.stop();
      QObject::disconnect(meter);
      EXPECT_TRUE(d->GB1->isEnabled() && d->GB2->isEnabled() && d->Button1->isEnabled());
      EXPECT_EQ(d->Button2->text(), "Close");
      QTest::keyClick(d, Qt::Key_Escape);  // closes the dialog when no run goes on
      driven = true;
    });
    Click(window->Button("SB3"));
    EXPECT_TRUE(driven);
    return run;
  }

  static void ClickItem(widgets::TPTShellList& list, const QString& name) {
    const int index = list.IndexOfPath(QDir(list.Folder()).filePath(name));
    ASSERT_GE(index, 0) << name.toStdString();
    list.scrollToItem(list.item(index));
    const QRect rect = list.visualItemRect(list.item(index));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier, rect.center());
  }

  static void Answer(app::TForm8& d, const TAnswers& answers, TRun& run) {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == &d || !Ready(modal)) return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      run.messages << box->text();
      run.reports << box->informativeText() + "|" + box->detailedText();
      run.meterAtMessage.push_back(d.EPMeter1->Position());
      run.buttonAtMessage << d.Button2->text();
      if (box->button(QMessageBox::Yes))
        Click(box->button(answers.yes ? QMessageBox::Yes : QMessageBox::No));
      else
        Click(box->button(QMessageBox::Ok));
    } else if (auto* jpeg = qobject_cast<app::TForm4*>(modal)) {
      Click(answers.acceptQuality ? jpeg->OkButton : jpeg->CancelButton);
    } else if (auto* vqn = qobject_cast<app::TForm3*>(modal)) {
      Click(answers.acceptQuality ? vqn->Button1 : vqn->Button2);
    }
  }

  QString target;
};

const QString kComplete = "Conversion is complete!";
const QString kInterrupted = "Conversion was interrupted by user.";

TEST_F(BatchDialogTest, MeterRisesInEqualStepsAndDropsAfterTheClosingMessage) {
  for (const char* name : {"a.bmp", "b.png", "c.bmp"}) WriteImage(Image(name), 20, 10);
  const TRun run =
      Press({"a.bmp", "b.png", "c.bmp"}, target, [](app::TForm8& d) { d.SpinJobs->setValue(1); });
  EXPECT_EQ(window->Settings.ConvertJobs, 1) << "kept with the other settings";
  EXPECT_EQ(run.messages, QStringList{kComplete});
  EXPECT_EQ(run.meterAtMessage, std::vector<int>{100});
  EXPECT_EQ(run.buttonAtMessage, QStringList{"Stop"});
  std::vector<int> expected;
  for (int k = 1; k <= 9; ++k) expected.push_back(static_cast<int>(std::lround(k * 100.0 / 9)));
  expected.push_back(0);
  EXPECT_EQ(run.meter, expected);
  EXPECT_EQ(Outputs(), (QStringList{"a.bmp", "b.bmp", "c.bmp"}));
}

TEST_F(BatchDialogTest, WritesTheChosenFormatUnderTheLowerCaseName) {
  const struct {
    QString source;
    int format, colors, rotate;  // item indices of the radio groups
    QString output;
    int width, height;
    pgraphic::TPGPixelFormat pixelFormat;
  } cases[] = {
      {"photo.JPEG", 4, 4, 0, "photo.png", 640, 480, pgraphic::pf24Bit},
      {"Wide.bmp", 0, 4, 2, "wide.bmp", 480, 640, pgraphic::pf24Bit},
      {"Wide.bmp", 7, 3, 3, "wide.tif", 480, 640, pgraphic::pf8Bit},
      {"Wide.bmp", 2, 0, 1, "wide.pbm", 640, 480, pgraphic::pf1Bit},
      {"Wide.bmp", 1, 4, 0, "wide.jpg", 640, 480, pgraphic::pf24Bit},
  };
  const int quality = pgraphic::PGJPEGQuality;
  Start();
  window->Form4->TrBar1->setValue(35);  // the JPEG quality dialog is accepted as it stands
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output.toStdString());
    WriteImage(Image(c.source), 640, 480);
    const TRun run = Press({c.source}, target, [&](app::TForm8& d) {
      Click(d.RG4->Item(c.format));
      Click(d.RG3->Item(c.colors));
      Click(d.RG2->Item(c.rotate));
    });
    EXPECT_EQ(run.messages, QStringList{kComplete});
    ASSERT_EQ(Outputs(), QStringList{c.output});
    auto out = io::OpenImage(QDir(target).filePath(c.output).toStdString());
    EXPECT_EQ(QSize(out->Width(), out->Height()), QSize(c.width, c.height));
    EXPECT_EQ(out->PixelFormat(), c.pixelFormat);
    QFile::remove(QDir(target).filePath(c.output));
  }
  EXPECT_EQ(static_cast<int>(pgraphic::PGJPEGQuality), 35)
      << "the dialog's quality reaches the writer";
  pgraphic::PGJPEGQuality = quality;
}

TEST_F(BatchDialogTest, ChecksBeforeTheRunStopWithTheirMessage) {
  WriteImage(Image("a.bmp"), 8, 8);
  const QString deep = QDir(config).filePath("no/such"), fresh = QDir(config).filePath("fresh");
  const QString create = "Directory %1 does not exist. Create?";
  const struct {
    QStringList select;
    QString target;
    int format;
    TAnswers answers;
    QStringList messages;
  } cases[] = {
      {{}, target, 0, {}, {"No files are selected!"}},
      {{"a.bmp"}, "   ", 0, {}, {"Please, fill destination path."}},
      {{"a.bmp"}, deep, 0, {}, {create.arg(deep), "Can not create directory " + deep}},
      {{"a.bmp"}, fresh, 0, {.yes = false}, {create.arg(fresh)}},
      {{"a.bmp"}, target, 1, {.acceptQuality = false}, {kInterrupted}},  // JPEG
      {{"a.bmp"}, target, 8, {.acceptQuality = false}, {kInterrupted}},  // VQN
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.messages.join(" / ").toStdString());
    const TRun run = Press(
        c.select, c.target, [&](app::TForm8& d) { Click(d.RG4->Item(c.format)); }, c.answers);
    EXPECT_EQ(run.messages, c.messages);
    EXPECT_TRUE(run.meter.empty()) << "the meter does not move before the run";
    EXPECT_TRUE(Outputs().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(fresh));
  }
}

TEST_F(BatchDialogTest, FilesLeftOutAndTheClosingMessage) {
  QDir(images).mkdir("sub");
  WriteText(Image("broken.png"), "not an image at all");
  for (const char* name : {"a.bmp", "Photo.BMP", "photo.bmp", "photo.png"})
    WriteImage(Image(name), 12, 9);
  const QString skipped = ": skipped, its output name is the output or the source of another file";
  const QString proc = "\": No such file or directory";
  struct Case {
    QStringList select;
    QString message;
    QStringList outputs;
    QString counts;
    QStringList problems;  // named after the counts, and in the box's details
    QString into = "";
  };
  const Case cases[] = {
      {{"sub", "broken.png", "a.bmp"},
       kComplete,
       {"a.bmp"},
       "1 of 3 files converted, 2 failed.",
       {Image("sub") + ": Is a folder", Image("broken.png") + ": Unknown file format"}},
      {{"Photo.BMP", "photo.bmp"},
       kComplete + " 1 file was skipped: another file of this run has the same output name.",
       {"photo.bmp"},
       "1 of 2 files converted.",
       {Image("photo.bmp") + skipped}},
      {{"a.bmp", "Photo.BMP", "photo.bmp", "photo.png"},
       kComplete + " 2 files were skipped: other files of this run have the same output names.",
       {"a.bmp", "photo.bmp"},
       "2 of 4 files converted.",
       {Image("photo.bmp") + skipped, Image("photo.png") + skipped}},
      // Nothing can be written there: every file failed, with the system's reason.
      {{"a.bmp", "photo.bmp"},
       kComplete,
       {},
       "0 of 2 files converted, 2 failed.",
       {Image("a.bmp") + ": Cannot write file \"/proc/a.bmp" + proc,
        Image("photo.bmp") + ": Cannot write file \"/proc/photo.bmp" + proc},
       "/proc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.select.join(", ").toStdString());
    for (const QString& f : Outputs()) QFile::remove(QDir(target).filePath(f));
    const TRun run = Press(c.select, c.into.isEmpty() ? target : c.into);
    EXPECT_EQ(run.messages, QStringList{c.message});
    const QString problems = c.problems.join('\n');
    EXPECT_EQ(run.reports, QStringList{c.counts + "\n" + problems + "|" + problems});
    EXPECT_EQ(run.meterAtMessage, std::vector<int>{100});
    EXPECT_EQ(Outputs(), c.outputs);
  }
}

// Writes small pictures in mixed formats with Pillow, in one process: readable
// ones img000.* .., then unreadable ones, then upper-case copies (IMG000.BMP ..)
// whose output names meet the first ones'.
bool WriteMixedFolder(const QString& folder, int readable, int broken, int twins) {
  const char* script = R"(
import random, sys
from PIL import Image
folder, readable, broken, twins = sys.argv[1], *map(int, sys.argv[2:])
random.seed(7)
exts = ["png", "jpg", "bmp", "gif", "tif", "ppm", "pgm", "pbm", "pcx", "tga"]
modes = {"pgm": "L", "pbm": "1", "gif": "P"}
picture = lambda: Image.effect_noise((random.randint(8, 48), random.randint(8, 48)), 60).convert("RGB")
for i in range(readable):
    ext = exts[i % len(exts)]
    picture().convert(modes.get(ext, "RGB")).save("%s/img%03d.%s" % (folder, i, ext))
for i in range(broken):
    open("%s/bad%03d.png" % (folder, i), "wb").write(b"\x89PNG broken" * (i + 1))
for i in range(twins):
    picture().save("%s/IMG%03d.BMP" % (folder, i))
)";
  using korvane_test::ShellQuote;
  return korvane_test::RunShell(std::string(korvane_test::kPython) + " -c " + ShellQuote(script) +
                                " " + ShellQuote(folder.toStdString()) + " " +
                                std::to_string(readable) + " " + std::to_string(broken) + " " +
                                std::to_string(twins)) == 0;
}

TEST_F(BatchDialogTest, FiveHundredMixedFilesAndStopMidRun) {
  const int readable = 470, broken = 20, twins = 10;
  if (!WriteMixedFolder(images, readable, broken, twins))
    GTEST_SKIP() << "Pillow (python3-pil) is needed to write the mixed folder";
  ASSERT_EQ(QDir(images).entryList(QDir::Files).size(), readable + broken + twins);

  // Stop pressed and then declined: the run goes on to the end.
  const TRun full = Press({}, target, {}, {.yes = false, .stopAtMeter = 50}, true);
  EXPECT_EQ(full.messages, (QStringList{"The conversion will be interrupted.",
                                        kComplete + " 10 files were skipped: other files of "
                                                    "this run have the same output names."}));
  EXPECT_EQ(full.meterAtMessage.back(), 100);
  EXPECT_EQ(*std::max_element(full.meter.begin(), full.meter.end()), 100);
  EXPECT_EQ(full.meter.back(), 0);
  EXPECT_EQ(Outputs().size(), readable);

  for (const QString& f : Outputs()) QFile::remove(QDir(target).filePath(f));
  // VQN output: the longest write of all, the compressing included.
  const TRun stopped = Press(
      {}, target, [](app::TForm8& d) { Click(d.RG4->Item(8)); }, {.stopAtMeter = 30}, true);
  ASSERT_EQ(stopped.messages.size(), 2);
  EXPECT_EQ(stopped.messages[0], "The conversion will be interrupted.");
  EXPECT_TRUE(stopped.messages[1].startsWith(kInterrupted)) << stopped.messages[1].toStdString();
  EXPECT_EQ(stopped.meter.back(), 0);
  const QStringList outputs = Outputs();
  EXPECT_GT(outputs.size(), 0);
  EXPECT_LT(outputs.size(), readable);
  for (const QString& name : outputs) {
    ASSERT_TRUE(name.endsWith(".vqn") && !name.startsWith('.')) << name.toStdString();
    EXPECT_NO_THROW(io::OpenImage(QDir(target).filePath(name).toStdString())) << name.toStdString();
  }
}

}  // namespace
}  // namespace apptest
