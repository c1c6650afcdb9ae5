// The file browser pane: stepping with Previous / Next Image, the arrow keys,
// clicks, folders, the file-type filter and changes made on disk.
#include <QKeyEvent>
#include <QLineEdit>

#include "app_fixture.h"

namespace apptest {
namespace {

class BrowserTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    QDir(images).mkdir("sub");
    WriteImage(Image("a.bmp"), 40, 30);
    WriteImage(Image("b.png"), 48, 32);
    WriteImage(Image("c.vqn"), 64, 48);
    WriteText(Image("d.png"), "not a picture at all");
    WriteText(Image("notes.txt"), "not listed");
  }

  QStringList Names() const {
    QStringList names;
    for (int i = 0; i < window->PTSList1->Count(); ++i) names << window->PTSList1->ItemName(i);
    return names;
  }

  void SendKey(QEvent::Type type, int key, bool autoRepeat) {
    QKeyEvent event(type, key, Qt::NoModifier, QString(), autoRepeat);
    QApplication::sendEvent(window->PTSList1, &event);
  }
};

TEST_F(BrowserTest, ListsFoldersFirstThenMatchingFiles) {
  Start({"a.bmp"});
  EXPECT_EQ(Names(), QStringList({"sub", "a.bmp", "b.png", "c.vqn", "d.png"}));
  EXPECT_EQ(window->PTShellCombo1->Folder(), images);
}

TEST_F(BrowserTest, PreviousAndNextStopAtTheFilesOfTheFolder) {
  const struct {
    const char* button;
    const char* shown;
    bool previous, next, atEnd;
  } steps[] = {
      {"SB16", "a.bmp", false, true, false},  // item before is a folder
      {"SB17", "b.png", true, true, false},
      {"SB17", "c.vqn", true, true, false},
      {"SB17", "d.png", true, false, false},
      {"SB17", "d.png", true, false, true},  // at the last file
      {"SB16", "c.vqn", true, true, true},   // only Next clears the end mark
  };
  auto& w = Start({"a.bmp"});
  for (const auto& s : steps) {
    w.RunHandler(QString(s.button) == "SB16" ? &app::TForm1::SB16Click : &app::TForm1::SB17Click);
    EXPECT_EQ(w.Shown.FileName, Image(s.shown)) << s.button << " " << s.shown;
    EXPECT_EQ(w.Button("SB16")->isEnabled(), s.previous) << s.shown;
    EXPECT_EQ(w.Button("SB17")->isEnabled(), s.next) << s.shown;
    EXPECT_EQ(w.SlideAtEnd, s.atEnd) << s.shown;
    EXPECT_FALSE(w.Busy);
  }
}

TEST_F(BrowserTest, HeldArrowKeyOpensOnlyOnRelease) {
  auto& w = Start({"a.bmp"});
  w.PTSList1->setFocus();
  SendKey(QEvent::KeyPress, Qt::Key_Down, false);
  for (int i = 0; i < 2; ++i) {
    SendKey(QEvent::KeyRelease, Qt::Key_Down, true);
    SendKey(QEvent::KeyPress, Qt::Key_Down, true);
  }
  EXPECT_EQ(w.Shown.FileName, Image("a.bmp"));
  EXPECT_EQ(w.PTSList1->ItemName(w.PTSList1->SelectedIndex()), "d.png");
  SendKey(QEvent::KeyRelease, Qt::Key_Down, false);
  // The file reached cannot be read: the view gives way to the notice.
  EXPECT_EQ(w.Shown.FileName, Image("d.png"));
  EXPECT_FALSE(w.Shown.Loaded);
  EXPECT_TRUE(w.Panel1Caption->isVisible());
  EXPECT_TRUE(w.StatusText().isEmpty());
  EXPECT_EQ(w.windowTitle(), "Korvane v3.52 - " + Image("d.png"));
  EXPECT_FALSE(w.Item("Saveas1")->isEnabled());
  EXPECT_FALSE(w.Item("Zoom1")->isEnabled());
}

TEST_F(BrowserTest, ClicksOpenFilesAndFoldersDisableImageCommands) {
  auto& w = Start({"a.bmp"});
  ClickItem("b.png");
  EXPECT_EQ(w.Shown.FileName, Image("b.png"));
  EXPECT_EQ(w.LastFileName, Image("b.png"));
  EXPECT_TRUE(w.StatusText().contains("Size: 48x32"));

  ClickItem("sub");
  EXPECT_TRUE(w.Shown.FileName.isEmpty());
  EXPECT_NE(w.PGImage1->Graphic(), nullptr);  // the last image stays on screen
  EXPECT_FALSE(w.Item("Saveas1")->isEnabled());
  EXPECT_FALSE(w.Button("SB14")->isEnabled());
  EXPECT_FALSE(w.PopupAttached());

  QTest::keyClick(w.PTSList1, Qt::Key_Return);
  EXPECT_EQ(w.PTSList1->Folder(), images + "/sub");
  EXPECT_EQ(w.PTShellCombo1->Folder(), images + "/sub");
  Click(w.SpeedButton1);
  EXPECT_EQ(w.PTSList1->Folder(), images);
  EXPECT_EQ(w.PTShellCombo1->Folder(), images);
}

TEST_F(BrowserTest, FilterChoiceShowsOnlyItsFilesAndOpensTheSelectedOne) {
  auto& w = Start({"b.png"});
  w.FilterComboBox1->setFocus();
  QTest::keyClick(w.FilterComboBox1, Qt::Key_Down);
  QTest::keyClick(w.FilterComboBox1, Qt::Key_Down);
  EXPECT_EQ(w.FilterComboBox1->currentText(), "BMP - Bitmap");
  EXPECT_EQ(w.DialogFilterIndex[0], 2);
  EXPECT_EQ(Names(), QStringList({"sub", "a.bmp"}));
  EXPECT_TRUE(w.Shown.FileName.isEmpty());  // b.png is no longer listed

  for (int i = 0; i < 9; ++i) QTest::keyClick(w.FilterComboBox1, Qt::Key_Down);
  EXPECT_EQ(w.FilterComboBox1->currentText(), "PNG - Portable Network Graphics");
  ClickItem("b.png");
  QTest::keyClick(w.FilterComboBox1, Qt::Key_Home);
  EXPECT_EQ(w.FilterComboBox1->currentText(), "All image files");
  EXPECT_EQ(w.Shown.FileName, Image("b.png"));  // still listed, opened again
  EXPECT_EQ(w.FilterComboBox1->count(), 20);
}

TEST_F(BrowserTest, ChangesOnDiskReachTheBrowser) {
  auto& w = Start({"b.png"});
  ASSERT_TRUE(QFile::remove(Image("b.png")));
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.Shown.FileName.isEmpty(); }));
  EXPECT_EQ(w.windowTitle(), "Korvane v3.52");
  EXPECT_TRUE(w.StatusText().isEmpty());
  EXPECT_FALSE(Names().contains("b.png"));

  WriteImage(Image("e.tga"), 8, 8);
  EXPECT_TRUE(QTest::qWaitFor([&] { return Names().contains("e.tga"); }));

  ClickItem("sub");
  QTest::keyClick(w.PTSList1, Qt::Key_Return);
  ASSERT_EQ(w.PTSList1->Folder(), images + "/sub");
  ASSERT_TRUE(QDir(images + "/sub").removeRecursively());
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.PTSList1->Folder() == images; }));
  EXPECT_EQ(w.PTShellCombo1->Folder(), images);
}

TEST_F(BrowserTest, RenamingInPlaceOpensNothingAndTheWindowFollows) {
  auto& w = Start({"a.bmp"});
  ClickItem("a.bmp");
  QTest::keyClick(w.PTSList1, Qt::Key_F2);
  ASSERT_TRUE(w.PTSList1->IsEditing());
  auto* editor = w.PTSList1->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  editor->selectAll();
  QTest::keyClicks(editor, "z.bmp");
  EXPECT_EQ(w.Shown.FileName, Image("a.bmp"));
  QTest::keyClick(editor, Qt::Key_Return);
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return !w.PTSList1->IsEditing(); }));  // the editor commits from the event loop
  EXPECT_TRUE(QFile::exists(Image("z.bmp")));
  EXPECT_EQ(w.Shown.FileName, Image("z.bmp"));
  EXPECT_EQ(w.windowTitle(), "Korvane v3.52 - " + Image("z.bmp"));

  // A name that is taken is refused aloud and the file keeps its name.
  QTest::keyClick(w.PTSList1, Qt::Key_F2);
  editor = w.PTSList1->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  editor->selectAll();
  QTest::keyClicks(editor, "b.png");
  QString text;
  AnswerMessageBox(QMessageBox::Ok, &text);
  QTest::keyClick(editor, Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !text.isEmpty(); }));
  EXPECT_EQ(text, "Can not rename " + Image("z.bmp") + ".");
  EXPECT_TRUE(QFile::exists(Image("z.bmp")));
}

}  // namespace
TEST_F(BrowserTest, CommandsGoOffWhenTheShownFileVanishes) {
  auto& w = Start({"b.png"});
  ASSERT_TRUE(w.Item("N4")->isEnabled());
  ASSERT_TRUE(QFile::remove(Image("b.png")));
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.Shown.FileName.isEmpty(); }));
  EXPECT_FALSE(w.Shown.Loaded);
  for (const char* name : {"Saveas1", "Compress11", "N4", "C4", "RGB1", "N19"})
    EXPECT_FALSE(w.Item(name)->isEnabled()) << name;
  for (const char* name : {"SB2", "SB10", "SB15", "SB20"})
    EXPECT_FALSE(w.Button(name)->isEnabled()) << name;
}

TEST_F(BrowserTest, ThumbnailViewHasTheListsItemsSelectionAndHandlers) {
  QTemporaryDir cache;
  qputenv("XDG_CACHE_HOME", cache.path().toLocal8Bit());
  auto& w = Start({"a.bmp"});
  const QStringList names = Names();
  w.Item("Thumbnails1")->trigger();
  EXPECT_EQ(w.PTSList1->viewMode(), QListView::IconMode);
  EXPECT_EQ(Names(), names);
  EXPECT_EQ(w.PTSList1->ItemName(w.PTSList1->SelectedIndex()), "a.bmp");
  w.PTSList1->scrollToItem(w.PTSList1->item(2));
  ClickItem("b.png");
  EXPECT_EQ(w.Shown.FileName, Image("b.png"));
  QTest::keyClick(w.PTSList1, Qt::Key_Right);  // the next item of the grid, opened on release
  EXPECT_EQ(w.Shown.FileName, Image("c.vqn"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.PTSList1->ThumbnailsSettled(); }, 10000));
  for (int i = 0; i < names.size(); ++i)  // the folder and the file that is no picture keep icons
    EXPECT_EQ(w.PTSList1->ItemThumbnail(i).isNull(), names[i] == "sub" || names[i] == "d.png");
  EXPECT_EQ(QDir(cache.path() + "/thumbnails/normal").entryList(QDir::Files).size(), 3);
  w.Item("Thumbnails1")->trigger();
  EXPECT_EQ(w.PTSList1->viewMode(), QListView::ListMode);
  EXPECT_EQ(w.PTSList1->ItemName(w.PTSList1->SelectedIndex()), "c.vqn");
  qunsetenv("XDG_CACHE_HOME");
}

}  // namespace apptest
