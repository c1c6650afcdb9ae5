// The one road from a file to the window, against faults of timing and
// sequence: a file rewritten in place after it was read ahead, a read that was
// cancelled, and a failure whose state must not reach the next image.
#include <sys/stat.h>

#include <fstream>
#include <future>

#include "app/preload.h"
#include "app_fixture.h"
#include "io/files.h"
#include "support/same_pixels.h"

namespace apptest {
namespace {

class LoadRoadTest : public AppTest {
 protected:
  app::TPreloader& Preloader() { return *window->Preloader(); }
  // The window shows `name` exactly as the file holds it now.
  void ExpectShown(const QString& name) {
    const std::string path = Image(name).toStdString();
    ASSERT_EQ(window->Shown.FileName, Image(name));
    ASSERT_TRUE(window->Shown.Loaded && window->PGImage1->Graphic());
    EXPECT_TRUE(korvane_test::SamePixels(*window->PGImage1->Graphic(), *io::OpenImage(path)));
    EXPECT_EQ(window->StatusText().toStdString(), io::DescribeFile(path).Text);
  }
};

TEST_F(LoadRoadTest, FileRewrittenInPlaceIsReadAgain) {
  for (const char* name : {"b.bmp", "b.vqn"}) {
    SCOPED_TRACE(name);
    const QString next = Image(name), fresh = QDir(config).filePath(name);
    WriteImage(Image("a.bmp"), 40, 30);
    WriteImage(next, 48, 32);
    Start({"a.bmp"});
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Preloader().Holds(next) && !Preloader().Reading(); }, 10000));
    struct stat before {
    }, after{};
    ::stat(qPrintable(next), &before);
    WriteImage(fresh, 64, 50);
    std::ofstream(next.toStdString(), std::ios::binary | std::ios::trunc)
        << std::ifstream(fresh.toStdString(), std::ios::binary).rdbuf();
    ::stat(qPrintable(next), &after);
    ASSERT_EQ(before.st_ino, after.st_ino);
    ASSERT_NE(before.st_size, after.st_size);
    window->SB17Click();
    ExpectShown(name);
    EXPECT_EQ(window->PGImage1->Graphic()->Width(), 64);
    window.reset();
    QFile::remove(next);
  }
}

// A read cancelled before it began or after it ended alike gives nothing to use.
TEST(LoadRoadJob, CancelledReadIsNeverUsed) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("a.bmp").toStdString();
  WriteImage(QString::fromStdString(path), 40, 30);
  for (const bool afterItEnded : {false, true}) {
    auto job = std::make_shared<app::TPreloadJob>(path, app::TReadSettings{}, std::nullopt);
    std::promise<void> ended;
    job->WhenDone([&] { ended.set_value(); });
    if (!afterItEnded) job->Cancel();
    job->Start();
    ended.get_future().wait();
    if (afterItEnded) job->Cancel();
    EXPECT_EQ(job->Wait(), nullptr) << afterItEnded;
  }
}

TEST_F(LoadRoadTest, FailureLeavesNothingForTheNextImage) {
  for (const bool ahead : {true, false}) {
    SCOPED_TRACE(ahead ? "read ahead" : "read when opened");
    for (const char* name : {"a.bmp", "b.vqn", "c.bmp"}) WriteImage(Image(name), 48, 40);
    QByteArray vqn = ReadText(Image("b.vqn"));
    WriteText(Image("b.vqn"), vqn.left(vqn.size() - 1));
    Start({"a.bmp"});
    Preloader().SetEnabled(ahead);
    if (ahead) {
      ASSERT_TRUE(QTest::qWaitFor([&] { return Preloader().Holds(Image("b.vqn")); }, 10000));
    }
    QString text;
    AnswerMessageBox(QMessageBox::Ok, &text);
    window->SB17Click();
    EXPECT_EQ(text, "VQN-file is corrupted!");
    EXPECT_FALSE(window->Shown.Loaded);
    EXPECT_TRUE(window->StatusText().isEmpty());
    window->SB17Click();
    ExpectShown("c.bmp");
    window.reset();
  }
}

}  // namespace
}  // namespace apptest
