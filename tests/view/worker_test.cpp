// The worker's timing and sequence: a cancelled or superseded task's result is
// never handed over, even when it arrives last; the run after a cancel works;
// results arrive on the user-interface thread. And the view built on it drops
// the copy of an image replaced while that copy waited to be installed.
#include "pgraphic/view/worker.h"

#include <QThread>
#include <atomic>
#include <vector>

#include "view_fixture.h"

namespace pgraphic::viewtest {
namespace {

bool WaitUntil(const std::function<bool()>& done) {
  return QTest::qWaitFor(done, 5000);
}

TEST(WorkerTest, OnlyTheLatestUncancelledTaskIsHandedOver) {
  QObject owner;
  TWorker worker(&owner);
  std::vector<int> handed;
  QThread* workThread = nullptr;
  QThread* doneThread = nullptr;
  std::atomic<bool> gate{false}, slowStarted{false}, slowReturned{false};
  auto slow = [&](int value) {
    return [&, value](TWorkerTask&) {
      slowStarted.store(true);
      while (!gate.load()) QThread::msleep(1);
      slowReturned.store(true);
      return value;
    };
  };
  auto record = [&](int v) { handed.push_back(v), doneThread = QThread::currentThread(); };

  // Cancelled while running: its result is dropped.
  worker.Start(slow(1), record);
  worker.Cancel();
  gate.store(true);
  worker.Wait();
  QTest::qWait(20);
  EXPECT_TRUE(handed.empty());

  // The next run after the cancel works, on a pooled thread, handed over here.
  worker.Start([&](TWorkerTask&) { return workThread = QThread::currentThread(), 2; }, record);
  ASSERT_TRUE(WaitUntil([&] { return !handed.empty(); }));
  EXPECT_EQ(handed, std::vector<int>{2});
  EXPECT_NE(workThread, QThread::currentThread());
  EXPECT_EQ(doneThread, QThread::currentThread());

  // Superseded: the first task's result arrives after the second's and is dropped.
  gate.store(false), slowStarted.store(false), slowReturned.store(false);
  worker.Start(slow(3), record);
  ASSERT_TRUE(WaitUntil([&] { return slowStarted.load(); }));
  worker.Start([](TWorkerTask&) { return 4; }, record);
  ASSERT_TRUE(WaitUntil([&] { return handed.size() == 2; }));
  gate.store(true);
  ASSERT_TRUE(WaitUntil([&] { return slowReturned.load(); }));
  QTest::qWait(20);
  EXPECT_EQ(handed, (std::vector<int>{2, 4}));
  EXPECT_TRUE(WaitUntil([] { return WorkerTasksRunning() == 0; }));
}

TEST_F(ViewTest, CopyOfAReplacedImageIsDroppedWhenItArrivesLate) {
  Make(300, 300);
  view->SetStretch(sAlwaysKAR);
  view->SetStretchMode(smMedium);
  Show(Gradient(600, 300));
  view->viewport()->repaint();                                       // sets up the build
  QCoreApplication::sendPostedEvents(view.get(), QEvent::MetaCall);  // starts it
  view->PixelGraphic();  // waits until it returned: its copy is posted, not yet taken
  Show(Gradient(300, 600));
  QCoreApplication::processEvents();
  const TPixelGraphic* copy = view->PaintPixelGraphic();
  if (copy) {
    EXPECT_EQ(copy->Width(), 150) << "the copy of the replaced image was installed";
  }
  ASSERT_TRUE(WaitForCopy());
  EXPECT_EQ(view->PaintPixelGraphic()->Width(), 150);
  EXPECT_EQ(view->PaintPixelGraphic()->Height(), 300);
}

}  // namespace
}  // namespace pgraphic::viewtest
