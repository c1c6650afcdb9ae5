// Full screen, the zoom keys and Ctrl + wheel, the key aliases and Escape, driven
// by real key and wheel events.
#include <QClipboard>
#include <QLineF>
#include <QMenuBar>
#include <QWheelEvent>

#include "app_fixture.h"

namespace apptest {
namespace {

class ViewKeysTest : public AppTest {
 protected:
  app::TForm1& Open(int width = 200, int height = 150) {
    for (const char* name : {"a.bmp", "b.bmp"}) WriteImage(Image(name), width, height);
    auto& w = Start({"a.bmp"});
    EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
    return w;
  }
  void Key(int key, Qt::KeyboardModifiers mods = {}) {
    QWidget* to = QApplication::focusWidget();
    QTest::keyClick(to ? to : window.get(), Qt::Key(key), mods);
  }
};

TEST_F(ViewKeysTest, FullScreenShowsOnlyTheImageKeepsTheKeysAndComesBackAsItWas) {
  for (const bool maximized : {false, true}) {
    auto& w = Open();
    if (maximized) w.showMaximized();
    w.PTSplitter1->SetPosition(180);
    Key(Qt::Key_F11);
    ASSERT_TRUE(w.isFullScreen());
    EXPECT_FALSE(w.menuBar()->isVisible() || w.Pane->isVisible() || w.Panel3->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.PGImage1->size() == w.size(); }));
    Key(Qt::Key_Right);  // steps through the hidden list
    EXPECT_TRUE(w.Shown.FileName.endsWith("b.bmp"));
    Key(Qt::Key_0);
    EXPECT_EQ(w.PGImage1->DisplayedSize(), QSize(w.width(), w.width() * 3 / 4));
    Key(Qt::Key_Escape);
    EXPECT_FALSE(w.isFullScreen());
    EXPECT_EQ(w.isMaximized(), maximized);
    EXPECT_TRUE(w.menuBar()->isVisible() && w.Pane->isVisible());
    EXPECT_EQ(w.PTSplitter1->Position(), 180);
  }
}

TEST_F(ViewKeysTest, KeysStepTheZoomAndAliasesRunTheirCommands) {
  auto& w = Open();
  const std::pair<const char*, int> cases[] = {{"+", 6},      {"=", 7}, {"+", 7}, {"-", 6},
                                               {"Ctrl+Z", 7}, {"0", 0}, {"-", 6}, {"1", 5}};
  for (const auto& [key, zoom] : cases) {
    QTest::keySequence(QApplication::focusWidget(), QKeySequence(key));
    EXPECT_EQ(w.PGImage1->ZoomChoice(), zoom) << key;
  }
  QStringList keys;
  for (QAction* a : w.actions())
    for (const QKeySequence& key : a->shortcuts()) keys << key.toString();
  EXPECT_EQ(keys.removeDuplicates(), 0) << "a key twice";

  QApplication::clipboard()->clear();
  Key(Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->image().size(), QSize(200, 150));
  QString asked;
  AnswerMessageBox(QMessageBox::No, &asked);
  Key(Qt::Key_Delete);
  EXPECT_TRUE(asked.contains("a.bmp") && QFile::exists(Image("a.bmp")));
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  Key(Qt::Key_Q, Qt::ControlModifier);
  EXPECT_FALSE(w.isVisible());
}

TEST_F(ViewKeysTest, CtrlWheelZoomsAroundThePointUnderTheCursor) {
  auto& w = Open(400, 300);
  QWidget* view = w.PGImage1->viewport();
  const QRect shown = w.PGImage1->DisplayRect();
  const QPoint at = shown.topLeft() + QPoint(shown.width() * 3 / 4, shown.height() / 2);
  const QPointF before = w.PGImage1->ImagePointAt(at);
  for (const int notches : {1, 1, -2}) {
    QWheelEvent wheel(at, view->mapToGlobal(at), {}, QPoint(0, 120 * notches), Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &wheel);
    const QPointF now = w.PGImage1->ImagePointAt(at);
    EXPECT_LT(QLineF(now, before).length(), 1.5) << w.PGImage1->ZoomChoice();
  }
  EXPECT_EQ(w.PGImage1->ZoomChoice(), 5);
}

TEST_F(ViewKeysTest, EscapeStopsTheSlideShowInAndOutOfFullScreen) {
  for (const bool full : {false, true}) {
    auto& w = Open();
    w.Settings.SlideFullScreen = full;
    w.Item("N19")->trigger();
    EXPECT_TRUE(w.Timer1->isActive());
    EXPECT_EQ(w.isFullScreen(), full);
    Key(Qt::Key_Escape);
    EXPECT_FALSE(w.Timer1->isActive() || w.Button("SB20")->Down() || w.isFullScreen());
  }
}

}  // namespace
}  // namespace apptest
