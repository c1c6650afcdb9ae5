// The widgets: grouped flyover buttons, the folder and filter combos, the
// splitter's position, and the shell list's masks, hidden files, new folders and
// dropped files.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <functional>

#include "../support/hostile_files.h"
#include "widgets/browserpane.h"
#include "widgets/controls.h"
#include "widgets/shelllist.h"

namespace {

void Touch(const QString& path) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("x");
}

TEST(FlyoverButtonTest, GroupedButtonsStayDownAndToggleRaises) {
  QWidget bar;
  widgets::TFlyoverButton hand(&bar), select(&bar), toggle(&bar), command(&bar);
  hand.SetGroupIndex(1);
  select.SetGroupIndex(1);
  toggle.setCheckable(true);
  toggle.SetAllowAllUp(true);
  hand.SetDown(true);
  const struct {
    widgets::TFlyoverButton* clicked;
    bool hand, select, toggle;
  } steps[] = {
      {&hand, true, false, false},  // a grouped button is not raised by a click
      {&select, false, true, false}, {&select, false, true, false},  {&toggle, false, true, true},
      {&toggle, false, true, false}, {&command, false, true, false}, {&command, false, true, false},
  };
  for (const auto& s : steps) {
    QTest::mouseClick(s.clicked, Qt::LeftButton);
    EXPECT_EQ(hand.Down(), s.hand);
    EXPECT_EQ(select.Down(), s.select);
    EXPECT_EQ(toggle.Down(), s.toggle);
    EXPECT_FALSE(command.Down()) << "a plain command button is never left down";
  }
  EXPECT_TRUE(hand.autoRaise());
}

TEST(ShellComboTest, ShowsTheChainAndMovesUp) {
  QTemporaryDir dir;
  const QString deep = dir.filePath("a/b");
  QDir().mkpath(deep);
  widgets::TPTShellCombo combo;
  int changes = 0;
  QObject::connect(&combo, &widgets::TPTShellCombo::Change, [&] { ++changes; });
  combo.SetFolder(deep + "/");
  EXPECT_EQ(combo.Folder(), deep);
  EXPECT_EQ(combo.currentText().trimmed(), "b");
  combo.SetFolder(deep);
  EXPECT_EQ(changes, 1);                // the same folder again is no change
  QTest::keyClick(&combo, Qt::Key_Up);  // the entry above is the parent
  EXPECT_EQ(combo.Folder(), dir.filePath("a"));
  EXPECT_TRUE(combo.GoUp());
  EXPECT_EQ(combo.Folder(), QDir::cleanPath(dir.path()));
  EXPECT_EQ(changes, 3);
  combo.SetFolder("/");
  EXPECT_FALSE(combo.GoUp());
}

TEST(BrowserPaneTest, ComboAndListShowOneFolderAndOnlyComboMovesAreReported) {
  QTemporaryDir dir;
  const QString root = QDir::cleanPath(dir.path());
  QDir().mkpath(root + "/a/b");
  widgets::TBrowserPane pane({});
  int chosen = 0;
  QObject::connect(&pane, &widgets::TBrowserPane::FolderChosen, [&] { ++chosen; });
  const struct {
    std::function<void()> move;
    QString shown;
    int chosen;
  } steps[] = {
      {[&] { pane.ShowFolder(root + "/a"); }, root + "/a", 0},
      {[&] { pane.List->BrowseInto(pane.List->IndexOfPath(root + "/a/b")); }, root + "/a/b", 0},
      {[&] { pane.GoUp(); }, root + "/a", 1},
      {[&] { pane.Combo->SetFolder(root + "/a/gone"); }, root + "/a", 2},  // nearest existing
      {[&] { pane.ShowFolder(root + "/a/b/gone"); }, root + "/a/b", 2},
  };
  for (const auto& s : steps) {
    s.move();
    EXPECT_EQ(pane.List->Folder(), s.shown);
    EXPECT_EQ(pane.Combo->Folder(), s.shown);
    EXPECT_EQ(chosen, s.chosen) << s.shown.toStdString();
  }
}

TEST(FilterComboTest, MasksExtensionsAndQuietIndexChanges) {
  widgets::TFilterComboBox combo;
  combo.SetFilters({{"All", "*.bmp;*.png"}, {"BMP", "*.bmp"}, {"Any", "*"}});
  int changes = 0;
  QObject::connect(&combo, &widgets::TFilterComboBox::Change, [&] { ++changes; });
  const struct {
    int index;
    int shown;
    const char* mask;
    const char* extension;
  } cases[] = {{0, 0, "*.bmp;*.png", ""},
               {1, 1, "*.bmp", ".bmp"},
               {7, 2, "*", ""},
               {-3, 0, "*.bmp;*.png", ""}};
  for (const auto& c : cases) {
    combo.SetItemIndex(c.index);
    EXPECT_EQ(combo.ItemIndex(), c.shown);
    EXPECT_EQ(combo.Mask(), c.mask);
    EXPECT_EQ(combo.Extension(), c.extension);
  }
  EXPECT_EQ(changes, 0);
  QTest::keyClick(&combo, Qt::Key_Down);
  EXPECT_EQ(changes, 1);
}

TEST(SplitterTest, PositionSetBeforeShowingIsApplied) {
  widgets::TPTSplitter splitter(Qt::Horizontal);
  splitter.addWidget(new QWidget);
  splitter.addWidget(new QWidget);
  splitter.SetMinimum(50);
  splitter.SetPosition(180);
  EXPECT_EQ(splitter.Position(), 180);
  splitter.resize(600, 300);
  splitter.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&splitter));
  EXPECT_EQ(splitter.Position(), 180);
  splitter.SetPosition(10);
  EXPECT_EQ(splitter.Position(), 50);
}

class ShellListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = dir.path();
    QDir(folder).mkdir("zfolder");
    for (const char* name : {"b.png", "A.BMP", "c.txt", ".hidden.png"}) Touch(folder + "/" + name);
  }
  QStringList Names() const {
    QStringList names;
    for (int i = 0; i < list.Count(); ++i) names << list.ItemName(i);
    return names;
  }
  QTemporaryDir dir;
  QString folder;
  widgets::TPTShellList list;
};

TEST_F(ShellListTest, FoldersFirstThenFilesMatchingTheMask) {
  list.SetFolder(folder);
  const struct {
    const char* mask;
    bool hidden;
    QStringList names;
  } cases[] = {
      {"*.bmp;*.png", false, {"zfolder", "A.BMP", "b.png"}},
      {"*.bmp", false, {"zfolder", "A.BMP"}},
      {"*.png", true, {"zfolder", ".hidden.png", "b.png"}},
      {"", false, {"zfolder", "A.BMP", "b.png", "c.txt"}},
  };
  for (const auto& c : cases) {
    list.SetShowHidden(c.hidden);
    list.SetMask(c.mask);
    EXPECT_EQ(Names(), c.names) << c.mask;
  }
  EXPECT_TRUE(list.ItemIsFolder(0));
  EXPECT_EQ(list.ItemPath(1), QDir(folder).filePath("A.BMP"));
}

TEST_F(ShellListTest, SpecialFilesAndLinksToThemAreLeftOutAndNothingIsTwice) {
  ASSERT_FALSE(korvane_test::MakeSpecialFiles(folder.toStdString()).empty());
  QFile::link("b.png", folder + "/link.png");
  list.SetFolder(folder);
  list.SetMask("");
  EXPECT_EQ(Names(), QStringList({"folder.png", "zfolder", "A.BMP", "b.png", "c.txt", "link.png"}));
}

TEST_F(ShellListTest, NewFoldersGetFreeNames) {
  list.SetFolder(folder);
  EXPECT_EQ(list.CreateFolder(), folder + "/New Folder");
  QTest::keyClick(list.viewport(), Qt::Key_Escape);
  EXPECT_EQ(list.CreateFolder(), folder + "/New Folder (2)");
  EXPECT_TRUE(QDir(folder + "/New Folder (2)").exists());
}

TEST_F(ShellListTest, DroppedFilesAreCopiedWithoutOverwriting) {
  QTemporaryDir other;
  Touch(other.filePath("new.png"));
  QFile::copy(folder + "/b.png", other.filePath("b.png"));
  QFile(other.filePath("b.png")).open(QIODevice::Append);
  list.SetFolder(folder);
  list.SetMask("*.png");
  list.resize(300, 300);
  list.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(other.filePath("new.png")),
                QUrl::fromLocalFile(other.filePath("b.png"))});
  // A drop arrives after the drag entered the list.
  QDragEnterEvent enter(QPoint(5, 250), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(list.viewport(), &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(5, 250), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(list.viewport(), &drop);
  EXPECT_EQ(Names(), QStringList({"zfolder", "b.png", "new.png"}));
  EXPECT_TRUE(QFile::exists(other.filePath("new.png")));  // copied, not moved
  EXPECT_EQ(QFileInfo(folder + "/b.png").size(), 1);      // the existing file is kept
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
